#include "import/map_density.h"

#include <algorithm>
#include <cmath>

namespace tivarel {

Vec3d Times(const Mat3d& m, const Vec3d& v) {
    Vec3d w{};
    for (size_t i = 0; i < 3; ++i) w[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return w;
}

Mat3d Inverse(const Mat3d& m) {
    const auto cofactor = [&m](size_t i, size_t j) {
        const size_t i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
        return m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1];
    };
    const double det = m[0][0] * cofactor(0, 0) + m[0][1] * cofactor(0, 1) + m[0][2] * cofactor(0, 2);
    Mat3d inverse{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) inverse[i][j] = cofactor(j, i) / det;
    return inverse;
}

namespace {

// Where a position falls between two data points along one axis.
struct AxisStencil {
    size_t low = 0, high = 0;   // data indices
    double weight = 0.0;        // of the high point
};

// Periodic axis: n points per cell, the position wraps.
AxisStencil WrappedStencil(double g, int n) {
    const double wrapped = g - std::floor(g / n) * n;
    const int low = std::min(static_cast<int>(wrapped), n - 1);
    return {size_t(low), size_t((low + 1) % n), wrapped - low};
}

// Box axis: points 0 .. n-1; a position a hair outside the end points, left by
// rounding, counts as on them.
std::optional<AxisStencil> BoxStencil(double g, int n) {
    constexpr double kEdgeTolerance = 1e-6;
    if (!(g >= -kEdgeTolerance && g <= n - 1 + kEdgeTolerance)) return std::nullopt;
    const double clamped = std::clamp(g, 0.0, double(n - 1));
    const int low = std::min(static_cast<int>(clamped), std::max(n - 2, 0));
    return AxisStencil{size_t(low), size_t(std::min(low + 1, n - 1)), clamped - low};
}

}  // namespace

std::optional<double> MapDensity::valueAt(const Vec3d& fractional) const {
    std::array<AxisStencil, 3> s;
    for (size_t a = 0; a < 3; ++a) {
        const double g = fractional[a] * sampling[a] - dataStart[a];
        if (wholeCell) {
            s[a] = WrappedStencil(g, dataSize[a]);
        } else if (const std::optional<AxisStencil> box = BoxStencil(g, dataSize[a])) {
            s[a] = *box;
        } else {
            return std::nullopt;
        }
    }
    const size_t nx = size_t(dataSize[0]), nxy = nx * size_t(dataSize[1]);
    double sum = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        double weight = 1.0;
        size_t index = 0;
        for (size_t a = 0; a < 3; ++a) {
            const bool high = (corner >> a) & 1;
            weight *= high ? s[a].weight : 1.0 - s[a].weight;
            index += (high ? s[a].high : s[a].low) * (a == 0 ? 1 : a == 1 ? nx : nxy);
        }
        if (weight != 0.0) sum += weight * double(values[index]);
    }
    return sum;
}

double MapDensity::finestSpacing() const {
    double finest = INFINITY;
    for (size_t a = 0; a < 3; ++a) finest = std::min(finest, cell[a] / sampling[a]);
    return finest;
}

}  // namespace tivarel
