#include "view/start_zoom.h"

#include <algorithm>
#include <cmath>

#include "stereo/frustum.h"

namespace tivarel {

namespace {
// Share of the window's shorter side that the box's sphere may fill.
constexpr double kStartFill = 0.9;
// A map counts as large beyond this many start-view heights.
constexpr double kLargeMapHeights = 2.0;

// The eye's distance from the model origin, which the projection puts on the zero plane.
double OriginDistance() { return double(kZeroPlane) + double(kViewerDistance); }
// Tangent of the half-angle under which the eye sees the window's shorter side: the zero
// plane's half-width at the eye's distance from it.
double HalfAngleTangent() { return double(kViewHalfWidth) / double(kViewerDistance); }
}  // namespace

float StartViewHeight() { return static_cast<float>(2.0 * OriginDistance() * HalfAngleTangent()); }

float LargestBoxSide(const GridParams& g) {
    const int counts[3] = {g.nx(), g.ny(), g.nz()};
    const float steps[3] = {g.dx(), g.dy(), g.dz()};
    double largest = 0.0;
    for (int a = 0; a < 3; ++a)
        largest = std::max(largest, std::max(counts[a] - 1, 0) * std::fabs(double(steps[a])));
    return static_cast<float>(largest);
}

float StartZoom(const GridParams& g) {
    // Written so that a NaN side keeps the designed zoom.
    if (!(double(LargestBoxSide(g)) > kLargeMapHeights * double(StartViewHeight()))) return 1.0f;
    const int counts[3] = {g.nx(), g.ny(), g.nz()};
    const float firsts[3] = {g.x0(), g.y0(), g.z0()};
    const float steps[3] = {g.dx(), g.dy(), g.dz()};
    // The corner farthest from the origin: along each axis the farther of the two ends.
    double squared = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double first = firsts[a];
        const double last = first + std::max(counts[a] - 1, 0) * double(steps[a]);
        const double reach = std::max(std::fabs(first), std::fabs(last));
        squared += reach * reach;
    }
    // A sphere of radius r at distance d from the eye looks as wide as the cone of half-angle
    // asin(r / d); that half-angle's tangent is the share kStartFill of the view's,
    // t = kStartFill * tan(half view), when r = d t / sqrt(1 + t^2).
    const double t = kStartFill * HalfAngleTangent();
    const double radius = OriginDistance() * t / std::sqrt(1.0 + t * t);
    const float zoom = static_cast<float>(radius / std::sqrt(squared));
    // A box too far out to measure would vanish at zoom 0: it keeps the designed zoom.
    return std::isfinite(zoom) && zoom > 0.0f ? zoom : 1.0f;
}

}  // namespace tivarel
