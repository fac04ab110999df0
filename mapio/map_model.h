#pragma once
// The loaded density map: grid header, density values, cell geometry and atoms.
// Two frames: the fractional frame of the file and the Cartesian grid frame in
// which everything is drawn; p = CellMatrix * (f - MapOrigin).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "geometry/geometry.h"

namespace tivarel {

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

// Leaves a new element uninitialised when no value is given for it (a resize without one),
// for grids whose every value is written before it is read.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using GridValues = std::vector<float, UninitialisedAllocator<float>>;

// Density values with x varying fastest, then y, then z. Indices are 1-based
// (1..nx, 1..ny, 1..nz); storage is 0-based without the unused index-0 planes.
class DensityGrid {
public:
    void resize(int nx, int ny, int nz);   // every value 0
    // The same with the values left unset, for a grid whose every value is written next:
    // its pages are then first touched by whatever writes them.
    void resizeForOverwrite(int nx, int ny, int nz);
    int nx() const { return nx_; }
    int ny() const { return ny_; }
    int nz() const { return nz_; }
    size_t index(int x, int y, int z) const {
        return static_cast<size_t>(x - 1) +
               static_cast<size_t>(nx_) * (static_cast<size_t>(y - 1) + static_cast<size_t>(ny_) * static_cast<size_t>(z - 1));
    }
    float operator()(int x, int y, int z) const { return values_[index(x, y, z)]; }
    float& operator()(int x, int y, int z) { return values_[index(x, y, z)]; }
    const GridValues& values() const { return values_; }

private:
    int nx_ = 0, ny_ = 0, nz_ = 0;
    GridValues values_;
};

// One atom as read from the map; the type number is filled by the atom-parameter step.
struct AtomRecord {
    std::string name;   // exactly four characters, the label padded with blanks
    Vec3 position;     // fractional as read; grid frame after FinishCellGeometry
    int16_t type = 0;
};

struct DensityMap {
    GridParams gridParams;
    DensityGrid grid;
    Mat3 cellMatrix;
    Vec3 mapOrigin;
    std::array<float, 6> cellParams{};
    std::array<Vec3, 8> cellCorners{};
    std::vector<AtomRecord> atoms;
};

// Largest grid or atom count: the program counts them with 16-bit loops.
constexpr int kMaxCount = 32767;
// Most values a grid holds (the viewer's and the import's): 2^31, 8 GiB of floats.
constexpr uint64_t kMaxGridValues = uint64_t{1} << 31;
// Density values outside this range are rejected.
constexpr float kValueLimit = 10000.0f;

Vec3 MatrixVector(const Mat3& m, const Vec3& v);
Vec3 FractionalToGrid(const DensityMap& map, const Vec3& f);
// Inverse of the cell matrix (adjugate over the Sarrus determinant); false when singular.
bool InvertCellMatrix(const Mat3& m, Mat3& inverse);
Vec3 GridToFractional(const Mat3& inverse, const Vec3& origin, const Vec3& p);
float GridPointCoordinate(const GridParams& g, int axis, int k);

// The contour map's rectangle: grid plane `section` (1..nz) at height z, from the grid's
// first to its last point in x and in y.
struct SectionPlane {
    float x0, x1, y0, y1, z;
};
inline SectionPlane SectionPlaneOf(const GridParams& g, int section) {
    return {g.x0(), static_cast<float>(g.nx() - 1) * g.dx() + g.x0(), g.y0(),
            static_cast<float>(g.ny() - 1) * g.dy() + g.y0(), static_cast<float>(section - 1) * g.dz() + g.z0()};
}

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
