// View maths checked against where model points must go in eye space: the trackball,
// quaternions and navigation steps; the stereo frustum and window extents; the start zoom.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <tuple>

#include "stereo/frustum.h"
#include "view/start_zoom.h"
#include "view/trackball.h"

namespace tivarel {
namespace {

using Vec3d = std::array<double, 3>;

const Quat kIdentity{0.0f, 0.0f, 0.0f, 1.0f};

// Eye-space image of model vector v under the column-major matrix m (no translation).
Vec3d Apply(const Mat4& m, const Vec3d& v) {
    Vec3d out{};
    for (size_t row = 0; row < 3; ++row)
        for (size_t k = 0; k < 3; ++k) out[row] += double(m[k * 4 + row]) * v[k];
    return out;
}

template <class A, class B>
void ExpectNear(const A& actual, const B& expected, double tol) {
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tol) << "element " << i;
}

// The eye images of the model axes x, y and z under the rotation q.
void ExpectImages(const Quat& q, const std::array<Vec3d, 3>& images) {
    Mat4 m{};
    QuatToMatrix(m, q);
    for (size_t k = 0; k < 3; ++k)
        ExpectNear(Apply(m, {double(k == 0), double(k == 1), double(k == 2)}), images[k], 1e-6);
}

// The drag and spin flags as letters: S spinning, R rotating, Z zooming.
std::string Flags(const ViewState& v) {
    return std::string(v.isSpinning ? "S" : "") + (v.isRotating ? "R" : "") + (v.isZooming ? "Z" : "");
}

ViewState BusyState() {
    return {.viewQuat = {0.1f, 0.3f, 0.5f, 0.8062258f}, .dragQuat = {0.0f, 0.6f, 0.0f, 0.8f},
            .modelShift = {1.0f, -2.0f, 3.0f}, .zoomScale = 1.7f, .isSpinning = true, .isRotating = true,
            .isZooming = true, .lastX = 12, .lastY = -7};
}

// The ball of radius 0.8 inside the circle of radius 0.8 / sqrt 2, where it meets the sheet z = 0.32 / d at 45 degrees,
// d being the distance from the centre. Worked out by hand: sqrt(0.64 - 0.25) at d = 0.5, 0.32 / 0.7 and 0.32 / sqrt 2.
// A drag carries the first ball point's direction onto the second's; equal points give exactly no rotation, drags
// longer than the ball's diameter 1.6 half a turn.
TEST(Trackball, DepthAndTheDragCarryingOneBallPointOntoAnother) {
    const std::array<float, 3> depths[] = {
        {0.0f, 0.0f, 0.8f}, {0.3f, 0.4f, 0.6244998f}, {0.0f, -0.7f, 0.45714286f}, {1.0f, -1.0f, 0.22627417f}};
    for (const auto& [x, y, z] : depths) EXPECT_FLOAT_EQ(TrackballDepth(0.8f, x, y), z) << x << "," << y;
    const Vec3d points[] = {{0.0, 0.0, 0.8}, {0.3, 0.4, 0.6244998}, {-0.4, 0.3, 0.6244998}, {0.0, -0.5, 0.6244998}};
    for (const Vec3d& a : points)
        for (const Vec3d& b : points) {
            Quat q{NAN, 5.0f, -3.0f, 0.0f};
            TrackballQuat(q, float(a[0]), float(a[1]), float(b[0]), float(b[1]));
            Mat4 m{};
            QuatToMatrix(m, q);
            ExpectNear(Apply(m, a), b, 2e-6);   // |a| = |b| = 0.8
            EXPECT_TRUE(a != b || q == kIdentity);
        }
    for (float reach : {0.9f, 3.0f}) {
        Quat q{};
        TrackballQuat(q, -reach, 0.0f, reach, 0.0f);
        ExpectNear(q, Quat{0.0f, -1.0f, 0.0f, 0.0f}, 1e-7);
    }
}

// Quarter turns about x, y and z: q = (sin 45 * axis, cos 45). Composed, the second input's turn comes first (inputs of
// length 2 and 3): about z x goes to -y, y to x; about x then -y to z, x to x, z to y.
TEST(Quaternions, MatrixAndCompose) {
    const float s = std::sqrt(0.5f);
    ExpectImages({s, 0, 0, s}, {{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}});
    ExpectImages({0, s, 0, s}, {{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}});
    ExpectImages({0, 0, s, s}, {{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}});
    Quat aboutX{2 * s, 0, 0, 2 * s}, aboutZ{0, 0, 3 * s, 3 * s}, dest{};
    QuatCompose(aboutX, aboutZ, dest);
    ExpectImages(dest, {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}});
    QuatCompose(aboutX, aboutZ, aboutZ);   // the destination may be an input
    EXPECT_EQ(aboutZ, dest);
}

// Shift alone zooms: a move up by the whole height doubles the scale, down by half of it halves it. Window points are
// kept nearest, ties to even. Shift+Ctrl turns, applied by the spin step only.
TEST(MouseNavigation, ShiftDragZoomsShiftCtrlDragTurns) {
    ViewState v = BusyState();
    MouseUp(v, MouseButton::Left);
    EXPECT_EQ(Flags(v), "S");
    MouseDown(v, MouseButton::Left, {.shift = true}, 3.5f, 480.5f);
    EXPECT_EQ(Flags(v) + std::to_string(v.lastX) + " " + std::to_string(v.lastY), "RZ4 480");
    v.zoomScale = 1.0f;
    EXPECT_TRUE(MouseMove(v, 100.0f, 0.0f, 640, 480));
    EXPECT_EQ(v.zoomScale, 2.0f);
    EXPECT_TRUE(MouseMove(v, 100.0f, 240.0f, 640, 480));
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
    v = ViewState{};
    MouseDown(v, MouseButton::Left, {.shift = true, .control = true}, 400.0f, 300.0f);
    EXPECT_FALSE(MouseMove(v, 600.0f, 300.0f, 800, 600));
    EXPECT_EQ(Flags(v), "SR");
    EXPECT_EQ(v.viewQuat, kIdentity);
    // From the upper half of the window down to its centre: the front of the model turns down.
    MouseDown(v, MouseButton::Left, {}, 400.0f, 150.0f);
    MouseMove(v, 400.0f, 300.0f, 800, 600);
    SpinStep(v);
    const Vec3d front = Apply(ModelViewMatrix(v), {0, 0, 1});
    EXPECT_LT(front[1], -0.3);
}

// Arrows and "a"/"s" move the model origin 0.3 along an eye axis (x right, y up, z towards the
// viewer); other keys move nothing; "c", like a reset, clears the shift and goes back to the
// start zoom, but keeps the turn. Every key stops the spin.
TEST(KeyboardNavigation, KeysMoveTheModelAlongEyeAxes) {
    const std::tuple<Key, char, size_t, double> cases[] = {
        {Key::Up, 0, 1, -0.3},  {Key::Down, 0, 1, 0.3},    {Key::Right, 0, 0, -0.3}, {Key::Left, 0, 0, 0.3},
        {Key::None, 'a', 2, 0.3}, {Key::None, 's', 2, -0.3}, {Key::Escape, 0, 0, 0.0},  {Key::None, 'A', 0, 0.0}};
    for (const auto& [key, character, axis, step] : cases) {
        ViewState v = BusyState();
        const Mat4 before = ModelViewMatrix(v);
        character ? KeyPressMove(v, character) : KeyDownMove(v, key);
        const Mat4 after = ModelViewMatrix(v);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(after[12 + i] - before[12 + i], i == axis ? step : 0.0, 1e-6) << int(key) << character;
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_FALSE(v.isSpinning);
    }
    ViewState v = BusyState();
    v.startZoom = 0.25f;
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 0.25f);
    EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
    v.zoomScale = 3.0f;
    ResetViewState(v);
    EXPECT_EQ(v.zoomScale, 0.25f);
}

// Axis views turn the model as drawn: "X" x left, y towards the viewer, z up; "Y" x towards the viewer, y down, z
// right; "Z" x up, y right, z away. Each clears the shift and the drag states, not the zoom. Under "Y", zoom 1.7 and
// shift (1, -2, 3), model (1, 0, 1) lies at 1.7 * (1, 0, 1) + (1, -2, 3) = (2.7, -2, 4.7), seen at (4.7, 2, 2.7).
TEST(SetView, AxisViewsPlaceModelAxesAndTheModelViewScalesShiftsTurns) {
    const std::array<Vec3d, 3> views[] = {{{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}},
                                          {{{0, 0, 1}, {0, -1, 0}, {1, 0, 0}}},
                                          {{{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}}};
    for (const ViewAxis axis : {ViewAxis::X, ViewAxis::Y, ViewAxis::Z}) {
        ViewState v = BusyState();
        SetViewQuat(v, axis);
        EXPECT_EQ(Flags(v) + std::to_string(v.zoomScale), "1.700000");
        EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f}));
        ExpectImages(v.viewQuat, views[static_cast<size_t>(axis)]);
        if (axis != ViewAxis::Y) continue;
        v.modelShift = {1.0f, -2.0f, 3.0f};
        const Mat4 m = ModelViewMatrix(v);
        const Vec3d turned = Apply(m, {1, 0, 1});
        ExpectNear(std::array{turned[0] + m[12], turned[1] + m[13], turned[2] + m[14], double(m[3]), double(m[7]),
                              double(m[11]), double(m[15])},
                   std::array{4.7, 2.0, 2.7, 0.0, 0.0, 0.0, 1.0}, 1e-5);
    }
}

// The zero plane is 6 * extent to each side; the eye 22.5 in front of it, the near plane 15
// in front, the far one 15 behind: near 7.5, far 37.5, and at the near plane a third of the
// zero plane's half-sizes, each side shifted against the eye's 0.31 to the side. The shorter
// side of a window spans -6..6: its extent is 1, the longer side's the ratio of the sides.
TEST(EyeFrustum, ThreeEyesAndPickingFromWorkedNumbersAndWindowExtents) {
    const double third = 0.31 / 3.0;
    const std::tuple<Eye, double, double, double> eyes[] = {{Eye::Central, -4, 4, 0},
                                                            {Eye::CentralPicking, -4, 4, 0},
                                                            {Eye::Left, -4 + third, 4 + third, 0.31},
                                                            {Eye::Right, -4 - third, 4 - third, -0.31}};
    for (const auto& [eye, left, right, shift] : eyes) {
        const EyeFrustum f = EyeFrustumFor(eye, 2.0f, 1.5f);
        ExpectNear(std::array{f.left, f.right, f.bottom, f.top, f.nearClip, f.farClip, double(f.shiftX),
                              double(f.shiftY), double(f.shiftZ)},
                   std::array{left, right, -3.0, 3.0, 7.5, 37.5, shift, 0.0, -22.5}, 1e-6);
    }
    const std::tuple<int, int, float, float> windows[] = {
        {800, 400, 2.0f, 1.0f}, {400, 800, 1.0f, 2.0f}, {500, 500, 1.0f, 1.0f}, {300, 200, 1.5f, 1.0f},
        {0, 0, 1.0f, 1.0f},     {0, 300, 1.0f, 1.0f},   {300, 0, 1.0f, 1.0f}};
    for (const auto& [w, h, x, y] : windows) EXPECT_EQ(WindowExtents(w, h), std::make_pair(x, y)) << w << " x " << h;
}

// The frustum's half-height is 6 at the zero plane, where the model origin lies: 12 across the shorter side. Twice
// that, 24, is the largest side that keeps zoom 1. Beyond, worked by hand: the sphere of radius r about the origin,
// 22.5 from the eye, looks as tall as 90 % of the 12 when r / sqrt(22.5^2 - r^2) = 0.9 * 6 / 22.5 = 0.24, r = 22.5 *
// 0.24 / sqrt(1.0576) = 5.250891; the zoom is r over the distance of the box's farthest corner from the origin.
TEST(StartZoom, OneUpToTwiceTheStartViewThenTheSphereAboutTheOriginHoldingTheBox) {
    const struct {
        GridParams g;   // points, first point and step along x, y and z
        float side, zoom;   // corner distance in the comment
    } cases[] = {
        {{{25, 2, 2, -12, 0, 0, 1, 1, 1}}, 24.0f, 1.0f},
        {{{25, 1, 1, -12.012f, 0, 0, 1.001f, 1, 1}}, 24.024f, 0.437137f},   // 12.012
        {{{9, 49, 9, -4, 30, -4, 1, -1, 1}}, 48.0f, 0.171999f},   // sqrt 932 = 30.529; y from 30 down to -18
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(LargestBoxSide(c.g), c.side, 1e-4);
        EXPECT_NEAR(StartZoom(c.g), c.zoom, c.zoom == 1.0f ? 0.0f : c.zoom * 2e-5f) << c.side;
    }
}

}   // namespace
}   // namespace tivarel
