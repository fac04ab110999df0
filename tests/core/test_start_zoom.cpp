// The zoom a map starts at: 1.0 exactly for every map up to twice the start view's height,
// and for a larger one the zoom that keeps its whole box in the window.
#include <gtest/gtest.h>

#include <array>

#include "view/start_zoom.h"

namespace tivarel {
namespace {

// A grid of n points per axis, `step` apart, from `first`.
GridParams Box(std::array<int, 3> n, std::array<float, 3> first, std::array<float, 3> step) {
    GridParams g;
    for (int a = 0; a < 3; ++a) {
        g(1 + a) = float(n[size_t(a)]);
        g(4 + a) = first[size_t(a)];
        g(7 + a) = step[size_t(a)];
    }
    return g;
}

// The frustum's half-height is 6 at the zero plane, where the model origin lies: 12 across
// the shorter side. Twice that, 24, is the largest side that keeps zoom 1. Beyond, worked by
// hand: the sphere of radius r about the origin, 22.5 from the eye, looks as tall as 90 % of
// the 12 when r / sqrt(22.5^2 - r^2) = 0.9 * 6 / 22.5 = 0.24, r = 22.5 * 0.24 / sqrt(1.0576)
// = 5.250891; the zoom is r over the distance of the box's farthest corner from the origin.
TEST(StartZoom, OneUpToTwiceTheStartViewThenTheSphereAboutTheOriginHoldingTheBox) {
    EXPECT_EQ(StartViewHeight(), 12.0f);
    const struct {
        GridParams g;
        float side, zoom;   // corner distance in the comment
    } cases[] = {
        {Box({61, 63, 59}, {-4.609375f, -4.84375f, -4.453125f}, {0.15625f, 0.15625f, 0.15625f}), 9.6875f, 1.0f},
        {Box({25, 2, 2}, {-12, 0, 0}, {1, 1, 1}), 24.0f, 1.0f},
        {Box({229, 229, 229}, {-114, -114, -114}, {1, 1, 1}), 228.0f, 0.0265930f},   // 114 sqrt 3 = 197.4538
        {Box({25, 1, 1}, {-12.012f, 0, 0}, {1.001f, 1, 1}), 24.024f, 0.437137f},      // 12.012
        {Box({9, 49, 9}, {-4, 30, -4}, {1, -1, 1}), 48.0f, 0.171999f},   // sqrt 932 = 30.529; y from 30 down to -18
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(LargestBoxSide(c.g), c.side, 1e-4);
        EXPECT_NEAR(StartZoom(c.g), c.zoom, c.zoom == 1.0f ? 0.0f : c.zoom * 2e-5f) << c.side;
    }
}

}   // namespace
}   // namespace tivarel
