#pragma once
// The program's points, vectors and matrices: one kit for the map, the surfaces, the view,
// the stereo projection, the exports and the import. What is drawn is single precision;
// the import resamples in double precision.
#include <array>
#include <cstddef>

namespace tivarel {

// A point or a vector.
struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    friend bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
};

// A 3 x 3 matrix addressed 1-based: m(i, j) is row i, column j.
struct Mat3 {
    std::array<float, 9> a{};
    float& operator()(int i, int j) { return a[static_cast<std::size_t>((i - 1) * 3 + (j - 1))]; }
    float operator()(int i, int j) const { return a[static_cast<std::size_t>((i - 1) * 3 + (j - 1))]; }
    static Mat3 identity() {
        Mat3 m;
        m(1, 1) = m(2, 2) = m(3, 3) = 1.0f;
        return m;
    }
};

// A rotation (x, y, z, w): the scalar part is element 3.
using Quat = std::array<float, 4>;
// The trackball's vectors: four floats of which its vector operations use 0..2, so that a
// quaternion's vector part is one of them.
using Vec4 = std::array<float, 4>;
// A 4 x 4 matrix in GL's column-major order: elements 0..3 are the first column.
using Mat4 = std::array<float, 16>;

// Double precision for the import: a vector, and a matrix as its rows.
using Vec3d = std::array<double, 3>;
using Mat3d = std::array<Vec3d, 3>;

}  // namespace tivarel
