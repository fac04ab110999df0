#pragma once
// The loaded density map: grid header, density values, cell geometry and atoms.
// Two frames: the fractional frame of the file and the Cartesian grid frame in
// which everything is drawn; p = CellMatrix * (f - MapOrigin).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tivarel {

struct Vec3f {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    friend bool operator==(const Vec3f&, const Vec3f&) = default;
};

// 3x3 single-precision matrix addressed 1-based: m(i, j) is row i, column j.
struct Mat3f {
    std::array<float, 9> a{};
    float& operator()(int i, int j) { return a[static_cast<size_t>((i - 1) * 3 + (j - 1))]; }
    float operator()(int i, int j) const { return a[static_cast<size_t>((i - 1) * 3 + (j - 1))]; }
    static Mat3f identity() {
        Mat3f m;
        m(1, 1) = m(2, 2) = m(3, 3) = 1.0f;
        return m;
    }
};

// The eleven header numbers, addressed by 1-based position as the file formats give them.
struct GridParams {
    std::array<float, 11> p{};
    float& operator()(int pos) { return p[static_cast<size_t>(pos - 1)]; }
    float operator()(int pos) const { return p[static_cast<size_t>(pos - 1)]; }

    int nx() const { return static_cast<int>(p[0]); }
    int ny() const { return static_cast<int>(p[1]); }
    int nz() const { return static_cast<int>(p[2]); }
    float x0() const { return p[3]; }
    float y0() const { return p[4]; }
    float z0() const { return p[5]; }
    float dx() const { return p[6]; }
    float dy() const { return p[7]; }
    float dz() const { return p[8]; }
    float minValue() const { return p[9]; }
    float maxValue() const { return p[10]; }
};

// Density values with x varying fastest, then y, then z. Indices are 1-based
// (1..nx, 1..ny, 1..nz); storage is 0-based without the unused index-0 planes.
class DensityGrid {
public:
    void resize(int nx, int ny, int nz);
    int nx() const { return nx_; }
    int ny() const { return ny_; }
    int nz() const { return nz_; }
    size_t index(int x, int y, int z) const {
        return static_cast<size_t>(x - 1) +
               static_cast<size_t>(nx_) * (static_cast<size_t>(y - 1) + static_cast<size_t>(ny_) * static_cast<size_t>(z - 1));
    }
    float operator()(int x, int y, int z) const { return values_[index(x, y, z)]; }
    float& operator()(int x, int y, int z) { return values_[index(x, y, z)]; }
    const std::vector<float>& values() const { return values_; }

private:
    int nx_ = 0, ny_ = 0, nz_ = 0;
    std::vector<float> values_;
};

// One atom as read from the map; the type number is filled by the atom-parameter step.
struct AtomRecord {
    std::string name;   // exactly four characters, the label padded with blanks
    Vec3f position;     // fractional as read; grid frame after FinishCellGeometry
    int16_t type = 0;
};

struct DensityMap {
    GridParams gridParams;
    DensityGrid grid;
    Mat3f cellMatrix;
    Vec3f mapOrigin;
    std::array<float, 6> cellParams{};
    std::array<Vec3f, 8> cellCorners{};
    std::vector<AtomRecord> atoms;
};

// Largest grid or atom count: the program counts them with 16-bit loops.
constexpr int kMaxCount = 32767;
// Density values outside this range are rejected.
constexpr float kValueLimit = 10000.0f;

Vec3f MatrixVector(const Mat3f& m, const Vec3f& v);
Vec3f FractionalToGrid(const DensityMap& map, const Vec3f& f);
// Inverse of the cell matrix (adjugate over the Sarrus determinant); false when singular.
bool InvertCellMatrix(const Mat3f& m, Mat3f& inverse);
Vec3f GridToFractional(const Mat3f& inverse, const Vec3f& origin, const Vec3f& p);
float GridPointCoordinate(const GridParams& g, int axis, int k);

// Running min/max and range check shared by the three readers.
class ValueAcceptor {
public:
    // Throws InputError with the program's message for values out of range.
    void accept(DensityGrid& grid, int x, int y, int z, float v) { grid(x, y, z) = accept(v); }
    // The value itself, once checked and counted.
    float accept(float v) {
        if (v > kValueLimit || v < -kValueLimit) reject(v);
        if (v > max_) max_ = v;
        if (v < min_) min_ = v;
        return v;
    }
    void store(GridParams& g) const { g(10) = min_; g(11) = max_; }
    // Takes in the values another acceptor saw after this one's, as if they had come
    // here: of equal extremes the first seen stays, as it would.
    void merge(const ValueAcceptor& later) {
        if (later.max_ > max_) max_ = later.max_;
        if (later.min_ < min_) min_ = later.min_;
    }

private:
    [[noreturn]] static void reject(float v);
    float max_ = -1e30f;
    float min_ = 1e30f;
};

// Atoms into the grid frame and the eight cell corners; run by every reader.
void FinishCellGeometry(DensityMap& map);

}  // namespace tivarel
