// The zoom a map starts at: 1.0 exactly for every map up to twice the start view's height,
// and for a larger one the zoom that keeps its whole box in the window, in any orientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "stereo/frustum.h"
#include "window_projection.h"
#include "view/start_zoom.h"
#include "view/trackball.h"

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
// the shorter side. Twice that, 24, is the largest side that keeps the designed zoom.
TEST(StartZoom, MapsUpToTwiceTheStartViewKeepZoomOneExactly) {
    EXPECT_EQ(StartViewHeight(), 12.0f);
    const GridParams small[] = {
        Box({61, 63, 59}, {-4.609375f, -4.84375f, -4.453125f}, {0.15625f, 0.15625f, 0.15625f}),   // the sample's size
        Box({25, 2, 2}, {-12, 0, 0}, {1, 1, 1}),                                                   // 24 exactly
        Box({2, 2, 13}, {500, 500, 500}, {1, 1, 2}),   // far out but 24 long: still 1.0
    };
    for (const GridParams& g : small) EXPECT_EQ(StartZoom(g), 1.0f) << LargestBoxSide(g);
    EXPECT_EQ(LargestBoxSide(small[2]), 24.0f);
}

// Worked by hand: the sphere of radius r about the origin, 22.5 from the eye, looks as tall
// as 90 % of the 12 the view shows there when r / sqrt(22.5^2 - r^2) = 0.9 * 6 / 22.5 = 0.24,
// r = 22.5 * 0.24 / sqrt(1.0576) = 5.4 / 1.028397 = 5.250891. The zoom is r over the distance
// of the box's farthest corner from the origin.
TEST(StartZoom, LargeMapsFitTheSphereAboutTheOriginHoldingTheirBox) {
    struct Case {
        GridParams g;
        float side, zoom;   // corner distance in the comment
    };
    const Case cases[] = {
        {Box({229, 229, 229}, {-114, -114, -114}, {1, 1, 1}), 228.0f, 0.0265930f},   // 114 sqrt 3 = 197.4538
        {Box({25, 1, 1}, {-12.012f, 0, 0}, {1.001f, 1, 1}), 24.024f, 0.437137f},      // 12.012
        {Box({9, 49, 9}, {-4, 30, -4}, {1, -1, 1}), 48.0f, 0.171999f},                // sqrt 932 = 30.529; y from 30 down to -18
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(LargestBoxSide(c.g), c.side, 1e-4);
        EXPECT_NEAR(StartZoom(c.g), c.zoom, c.zoom * 2e-5) << c.side;
    }
}

// Every corner of a large box, under the start zoom, projects within 45 % of the shorter side
// from the window's centre (the 90 % share), whatever the orientation; with the box's
// diagonal across the screen a corner reaches r / 6 * 0.5 = 0.4376 of it, so the box is not
// shrunk further than the margin needs.
TEST(StartZoom, TheWholeBoxIsInViewInEveryOrientation) {
    const int w = 800, h = 600;
    const auto [ex, ey] = WindowExtents(w, h);
    const EyeFrustum frustum = EyeFrustumFor(Eye::Central, ex, ey);
    const GridParams boxes[] = {Box({229, 229, 229}, {-114, -114, -114}, {1, 1, 1}),
                                Box({101, 11, 11}, {0, 0, 0}, {1, 1, 1}),
                                Box({41, 3, 3}, {-30, -1, -1}, {1.5f, 1, 1})};
    const float s = std::sqrt(0.5f);
    // Identity, the three axis views, a turn putting the cube's diagonal (1, 1, -1) across
    // the screen, and an odd turn.
    Vec4 odd{0.3f, -0.7f, 0.2f, 0};
    Quat oddTurn{};
    QuatFromAxisAngle(odd, 2.1f, oddTurn);
    Vec4 across{1, -1, 0, 0};
    Quat acrossTurn{};
    QuatFromAxisAngle(across, float(std::atan(std::sqrt(0.5))), acrossTurn);
    const Quat turns[] = {{0, 0, 0, 1}, {0, s, s, 0}, {s, 0, s, 0}, {s, s, 0, 0}, acrossTurn, oddTurn};
    for (const GridParams& g : boxes) {
        ViewState view;
        view.startZoom = StartZoom(g);
        ResetViewState(view);
        ASSERT_LT(view.zoomScale, 1.0f);
        double widest = 0.0;
        for (const Quat& q : turns) {
            view.viewQuat = q;
            const Mat4 m = ModelViewMatrix(view);
            for (int corner = 0; corner < 8; ++corner) {
                const float x = g.x0() + float(corner & 1) * float(g.nx() - 1) * g.dx();
                const float y = g.y0() + float((corner >> 1) & 1) * float(g.ny() - 1) * g.dy();
                const float z = g.z0() + float((corner >> 2) & 1) * float(g.nz() - 1) * g.dz();
                const auto at = ProjectToWindow(frustum, m, x, y, z, w, h);
                const double reach = std::hypot(at[0] - w / 2.0, at[1] - h / 2.0) / h;
                EXPECT_LE(reach, 0.45) << LargestBoxSide(g) << " corner " << corner;
                widest = std::max(widest, reach);
            }
        }
        if (g.nx() == 229) {
            EXPECT_GT(widest, 0.437);
        }
    }
}

// A reset and "c" go to the start zoom; a zoom drag goes on from it.
TEST(StartZoom, ResetAndTheCKeySetTheStartZoom) {
    ViewState v;
    v.startZoom = 0.25f;
    v.zoomScale = 3.0f;
    v.modelShift = {1, 2, 3};
    ResetViewState(v);
    EXPECT_EQ(v.zoomScale, 0.25f);
    MouseDown(v, MouseButton::Left, {.shift = true}, 10.0f, 400.0f);
    MouseMove(v, 10.0f, 0.0f, 640, 400);   // up by the whole height: twice
    EXPECT_EQ(v.zoomScale, 0.5f);
    KeyPressMove(v, 'a');
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 0.25f);
    EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f}));
}

}   // namespace
}   // namespace tivarel
