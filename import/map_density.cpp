#include "import/map_density.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

void ValueExtremes::add(const ValueExtremes& e) {
    lowest = std::min(lowest, e.lowest);
    highest = std::max(highest, e.highest);
    lowestFinite = std::min(lowestFinite, e.lowestFinite);
    highestFinite = std::max(highestFinite, e.highestFinite);
    anyNaN |= e.anyNaN;
}

void ValueExtremes::add(const float* values, size_t count) {
    constexpr size_t kLanes = 8;
    float lo[kLanes], hi[kLanes], finiteLo[kLanes], finiteHi[kLanes];
    int nan[kLanes];
    for (size_t k = 0; k < kLanes; ++k) {
        lo[k] = finiteLo[k] = INFINITY;
        hi[k] = finiteHi[k] = -INFINITY;
        nan[k] = 0;
    }
    const auto take = [&](size_t k, float v) {
        const float finite = std::fabs(v) <= std::numeric_limits<float>::max() ? v : NAN;
        lo[k] = v < lo[k] ? v : lo[k];
        hi[k] = v > hi[k] ? v : hi[k];
        finiteLo[k] = finite < finiteLo[k] ? finite : finiteLo[k];
        finiteHi[k] = finite > finiteHi[k] ? finite : finiteHi[k];
        nan[k] |= v != v;
    };
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        for (size_t k = 0; k < kLanes; ++k) take(k, values[i + k]);
    for (size_t k = 0; i < count; ++i, ++k) take(k, values[i]);
    for (size_t k = 0; k < kLanes; ++k) add({lo[k], hi[k], finiteLo[k], finiteHi[k], nan[k] != 0});
}

ValueExtremes ExtremesOf(const std::vector<float>& values) {
    ValueExtremes e;
    e.add(values.data(), values.size());
    return e;
}

namespace {

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

std::optional<AxisStencil> MapDensity::stencil(size_t axis, double fractional) const {
    const double g = fractional * sampling[axis] - dataStart[axis];
    if (wholeCell) return WrappedStencil(g, dataSize[axis]);
    return BoxStencil(g, dataSize[axis]);
}

MapDensity::RowBlend MapDensity::blend(const AxisStencil& y, const AxisStencil& z) const {
    const size_t nx = size_t(dataSize[0]), nxy = nx * size_t(dataSize[1]);
    RowBlend rows;
    rows.row = {&values[y.low * nx + z.low * nxy], &values[y.high * nx + z.low * nxy], &values[y.low * nx + z.high * nxy],
                &values[y.high * nx + z.high * nxy]};
    rows.weight = {(1.0 - y.weight) * (1.0 - z.weight), y.weight * (1.0 - z.weight), (1.0 - y.weight) * z.weight,
                   y.weight * z.weight};
    return rows;
}

double MapDensity::interpolate(const AxisStencil& x, const AxisStencil& y, const AxisStencil& z) const {
    return along(blend(y, z), x);
}

std::optional<double> MapDensity::valueAt(const Vec3d& fractional) const {
    std::array<AxisStencil, 3> s;
    for (size_t a = 0; a < 3; ++a) {
        const std::optional<AxisStencil> along = stencil(a, fractional[a]);
        if (!along) return std::nullopt;
        s[a] = *along;
    }
    return interpolate(s[0], s[1], s[2]);
}

double MapDensity::finestSpacing() const {
    double finest = INFINITY;
    for (size_t a = 0; a < 3; ++a) finest = std::min(finest, cell[a] / sampling[a]);
    return finest;
}

}  // namespace tivarel
