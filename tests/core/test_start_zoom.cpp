// The zoom a map starts at: 1.0 exactly for every map up to twice the start view's height,
// and for a larger one the zoom that keeps its whole box in the window, in any orientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

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
        {Box({2, 2, 13}, {500, 500, 500}, {1, 1, 2}), 24.0f, 1.0f},                   // far out, but 24 long
        {Box({229, 229, 229}, {-114, -114, -114}, {1, 1, 1}), 228.0f, 0.0265930f},   // 114 sqrt 3 = 197.4538
        {Box({25, 1, 1}, {-12.012f, 0, 0}, {1.001f, 1, 1}), 24.024f, 0.437137f},      // 12.012
        {Box({9, 49, 9}, {-4, 30, -4}, {1, -1, 1}), 48.0f, 0.171999f},   // sqrt 932 = 30.529; y from 30 down to -18
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(LargestBoxSide(c.g), c.side, 1e-4);
        EXPECT_NEAR(StartZoom(c.g), c.zoom, c.zoom == 1.0f ? 0.0f : c.zoom * 2e-5f) << c.side;
    }
}

// Every corner of a large box, under the start zoom, is seen within 45 % of the shorter side
// from the window's centre (the 90 % share), whatever the orientation: eye point (x, y, z)
// lies 22.5 - z from the eye, and the window's half-height shows 6 at 22.5. With the box's
// diagonal across the screen a corner reaches r / 6 * 0.5 = 0.4376 of it, so the box is not
// shrunk further than the margin needs.
TEST(StartZoom, TheWholeBoxIsInViewInEveryOrientation) {
    const GridParams boxes[] = {Box({229, 229, 229}, {-114, -114, -114}, {1, 1, 1}),
                                Box({101, 11, 11}, {0, 0, 0}, {1, 1, 1}), Box({41, 3, 3}, {-30, -1, -1}, {1.5f, 1, 1})};
    // Identity, the three axis views, a turn putting the cube's diagonal (1, 1, -1) across
    // the screen, and an odd turn.
    Vec4 odd{0.3f, -0.7f, 0.2f, 0}, across{1, -1, 0, 0};
    Quat oddTurn{}, acrossTurn{};
    QuatFromAxisAngle(odd, 2.1f, oddTurn);
    QuatFromAxisAngle(across, float(std::atan(std::sqrt(0.5))), acrossTurn);
    const float s = std::sqrt(0.5f);
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
                const double p[3] = {g.x0() + float(corner & 1) * float(g.nx() - 1) * g.dx(),
                                     g.y0() + float((corner >> 1) & 1) * float(g.ny() - 1) * g.dy(),
                                     g.z0() + float((corner >> 2) & 1) * float(g.nz() - 1) * g.dz()};
                double eye[3];
                for (size_t row = 0; row < 3; ++row)
                    eye[row] = m[12 + row] + m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2];
                const double reach = std::hypot(eye[0], eye[1]) * 22.5 / (22.5 - eye[2]) / 12.0;
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
    ResetViewState(v);
    EXPECT_EQ(v.zoomScale, 0.25f);
    MouseDown(v, MouseButton::Left, {.shift = true}, 10.0f, 400.0f);
    MouseMove(v, 10.0f, 0.0f, 640, 400);   // up by the whole height: twice
    EXPECT_EQ(v.zoomScale, 0.5f);
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 0.25f);
}

}   // namespace
}   // namespace tivarel
