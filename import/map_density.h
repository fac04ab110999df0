#pragma once
// A density map as read from a CCP4/MRC file, in the fractional frame of its cell,
// ready to be sampled anywhere: either one whole cell that repeats through the crystal,
// or the box of the cell that the file holds, with no data outside it.
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "geometry/geometry.h"

namespace tivarel {

Vec3d Times(const Mat3d& m, const Vec3d& v);
// Inverse by cofactors; the matrix must not be singular.
Mat3d Inverse(const Mat3d& m);

// A symmetry operation of the crystal on fractional coordinates: rotation * f + translation.
struct SymmetryOperation {
    Mat3d rotation{};
    Vec3d translation{};
};

// The extremes of a set of values: of those that are numbers, and of the finite ones.
struct ValueExtremes {
    float lowest = INFINITY, highest = -INFINITY;
    float lowestFinite = INFINITY, highestFinite = -INFINITY;
    bool anyNaN = false;

    void add(const ValueExtremes& e);
    // The same for many values, in eight lanes that the compiler turns into vector
    // instructions, so that a pass over a large map costs little more than reading it.
    void add(const float* values, size_t count);
    bool allFinite() const { return !anyNaN && lowest == lowestFinite && highest == highestFinite; }
};

ValueExtremes ExtremesOf(const std::vector<float>& values);

// Where a position falls between two data points along one axis.
struct AxisStencil {
    size_t low = 0, high = 0;   // data indices along the axis
    double weight = 0.0;        // of the high point
};

struct MapDensity {
    std::array<double, 6> cell{};   // a, b, c in Angstrom; alpha, beta, gamma in degrees
    Mat3d orthogonalisation{};      // fractional -> Cartesian: a along x, b in the x-y plane
    std::array<int, 3> sampling{};  // grid intervals along the cell edges a, b, c
    std::vector<SymmetryOperation> operations;   // of the space group, the identity first; none: P 1

    // values[x + nx * (y + ny * z)] lies at grid coordinate dataStart + (x, y, z), where
    // grid coordinate g along an edge is the fractional coordinate g / sampling.
    bool wholeCell = false;         // the data is one cell (dataSize == sampling) and repeats
    Vec3d dataStart{};
    std::array<int, 3> dataSize{};
    std::vector<float> values;      // x fastest, then y, then z
    std::optional<ValueExtremes> extremes;   // of the values, when the reader found them on its way

    // The fractional box the file covers: one whole cell from the file's first point
    // when the data fills the cell, else the file's own box.
    Vec3d boxLow{}, boxHigh{};

    // Trilinear interpolation between the 8 surrounding data points; nothing when the
    // position lies outside the data of a box.
    std::optional<double> valueAt(const Vec3d& fractional) const;
    // The same in two steps: the stencil of a fractional coordinate along one axis (nothing
    // outside a box's data), and the value the three stencils give.
    std::optional<AxisStencil> stencil(size_t axis, double fractional) const;
    double interpolate(const AxisStencil& x, const AxisStencil& y, const AxisStencil& z) const;
    // The four data rows along x, and their weights, that stencils along y and z pick; then
    // a value along those rows. Together they are `interpolate`, for reuse along a row.
    struct RowBlend {
        std::array<const float*, 4> row{};
        std::array<double, 4> weight{};
    };
    RowBlend blend(const AxisStencil& y, const AxisStencil& z) const;
    static double along(const RowBlend& rows, const AxisStencil& x);
    // Finest distance between grid points along a cell edge (Angstrom).
    double finestSpacing() const;
};

// Inline: the resampling calls it for every point.
inline double MapDensity::along(const RowBlend& rows, const AxisStencil& x) {
    const double wx[2] = {1.0 - x.weight, x.weight};
    const size_t at[2] = {x.low, x.high};
    double sum = 0.0;
    // Corners of no weight are left out, so that a missing value there does not spoil the sum.
    for (size_t r = 0; r < 4; ++r)
        for (size_t k = 0; k < 2; ++k)
            if (const double w = wx[k] * rows.weight[r]; w != 0.0) sum += w * double(rows.row[r][at[k]]);
    return sum;
}

}  // namespace tivarel
