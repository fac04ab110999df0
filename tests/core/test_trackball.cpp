// Trackball, quaternion and cofactor maths, and the navigation steps on the view state,
// checked against what a rotation must do: where model points go in eye space.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "view/trackball.h"

namespace tivarel {
namespace {

using Vec3d = std::array<double, 3>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const Quat kIdentity{0.0f, 0.0f, 0.0f, 1.0f};

// Eye-space image of model vector v under the column-major matrix m (no translation).
Vec3d Apply(const Mat4& m, const Vec3d& v) {
    Vec3d out{};
    for (size_t row = 0; row < 3; ++row)
        for (size_t k = 0; k < 3; ++k) out[row] += double(m[k * 4 + row]) * v[k];
    return out;
}

Mat4 MatrixOf(const Quat& q) {
    Mat4 m{};
    QuatToMatrix(m, q);
    return m;
}

Quat AxisAngle(float x, float y, float z, float phi) {
    Vec4 axis{x, y, z, 0.0f};
    Quat q{};
    QuatFromAxisAngle(axis, phi, q);
    return q;
}

template <class A, class B>
void ExpectNear(const A& actual, const B& expected, double tol) {
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tol) << "element " << i;
}

Vec3d Unit(const Vec3d& v) {
    const double n = std::hypot(v[0], v[1], v[2]);
    return {v[0] / n, v[1] / n, v[2] / n};
}

// The drag and spin flags as letters: S spinning, R rotating, Z zooming.
std::string Flags(const ViewState& v) {
    return std::string(v.isSpinning ? "S" : "") + (v.isRotating ? "R" : "") + (v.isZooming ? "Z" : "");
}

ViewState BusyState() {
    ViewState v;
    v.viewQuat = AxisAngle(1.0f, 2.0f, 3.0f, 0.8f);
    v.dragQuat = AxisAngle(0.0f, 1.0f, 0.0f, 0.1f);
    v.modelShift = {1.0f, -2.0f, 3.0f};
    v.zoomScale = 1.7f;
    v.isSpinning = v.isRotating = v.isZooming = true;
    v.lastX = 12;
    v.lastY = -7;
    return v;
}

// The ball of radius 0.8 inside the circle of radius 0.8 / sqrt 2, where it meets the sheet
// z = 0.32 / d at 45 degrees, d being the distance from the centre. Worked out by hand:
// sqrt(0.64 - 0.25) at d = 0.5, 0.32 / 0.7 and 0.32 / sqrt 2.
TEST(Trackball, DepthIsTheSphereInsideTheSwitchCircleAndTheSheetOutside) {
    const std::array<float, 3> cases[] = {{0.0f, 0.0f, 0.8f}, {0.3f, 0.4f, 0.6244998f}, {-0.5f, 0.0f, 0.6244998f},
                                          {0.7f, 0.0f, 0.45714286f}, {0.0f, -0.7f, 0.45714286f}, {1.0f, -1.0f, 0.22627417f}};
    for (const auto& [x, y, z] : cases) EXPECT_FLOAT_EQ(TrackballDepth(0.8f, x, y), z) << x << "," << y;
}

// Drags on the ball (depths as above): the rotation carries the first ball point's direction
// onto the second's; equal points give exactly no rotation, drags longer than the ball's
// diameter 1.6 half a turn.
TEST(Trackball, QuatCarriesFirstBallPointOntoSecond) {
    const Vec3d points[] = {{0.0, 0.0, 0.8}, {0.3, 0.4, 0.6244998}, {-0.4, 0.3, 0.6244998}, {0.5, 0.0, 0.6244998}, {0.0, -0.5, 0.6244998}};
    for (const Vec3d& a : points)
        for (const Vec3d& b : points) {
            Quat q{kNaN, 5.0f, -3.0f, 0.0f};
            TrackballQuat(q, float(a[0]), float(a[1]), float(b[0]), float(b[1]));
            ExpectNear(Apply(MatrixOf(q), Unit(a)), Unit(b), 2e-6);
            if (a == b) {
                EXPECT_EQ(q, kIdentity);
            }
        }
    for (float reach : {0.9f, 3.0f}) {
        Quat q{};
        TrackballQuat(q, -reach, 0.0f, reach, 0.0f);
        ExpectNear(q, Quat{0.0f, -1.0f, 0.0f, 0.0f}, 1e-7);
    }
}

// Quarter turns about x, y and z: q = (sin 45 * axis, cos 45); the matrix's columns are the
// eye images of the model axes.
TEST(Quaternions, MatrixAxisAngleNormaliseAndCompose) {
    const float s = std::sqrt(0.5f);
    const std::array<Vec3d, 3> images[3] = {{{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}}, {{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}},
                                            {{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}}};
    for (size_t a = 0; a < 3; ++a) {
        Quat q{0, 0, 0, s};
        q[a] = s;
        const Mat4 m = MatrixOf(q);
        for (size_t k = 0; k < 3; ++k) ExpectNear(Apply(m, Vec3d{double(k == 0), double(k == 1), double(k == 2)}), images[a][k], 1e-6);
        for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u}) EXPECT_EQ(m[k], 0.0f) << k;
        EXPECT_EQ(m[15], 1.0f);
    }
    Vec4 axis{0.0f, 3.0f, 4.0f, 0.0f};
    Quat q{};
    QuatFromAxisAngle(axis, 1.0f, q);   // the axis is normalised in place
    ExpectNear(axis, Vec4{0.0f, 0.6f, 0.8f, 0.0f}, 1e-7);
    ExpectNear(q, std::array{0.0, 0.6 * std::sin(0.5), 0.8 * std::sin(0.5), std::cos(0.5)}, 1e-7);
    EXPECT_EQ(AxisAngle(0.0f, 0.0f, 0.0f, 1.0f), kIdentity);
    for (auto [raw, unit] : {std::pair{Quat{3, 0, 4, 0}, Quat{0.6f, 0, 0.8f, 0}}, std::pair{Quat{0, 0, 0, 2}, kIdentity}, std::pair{Quat{}, kIdentity}}) {
        QuatNormalize(raw);
        ExpectNear(raw, unit, 1e-7);
    }
    // The second input's turn, then the first's (inputs of length 2 and 3): the quarter turn
    // about z takes x to -y, y to x, z to z; the one about x then takes -y to z, x to x, z to y.
    Quat aboutX{2 * s, 0, 0, 2 * s}, aboutZ{0, 0, 3 * s, 3 * s}, dest{};
    QuatCompose(aboutX, aboutZ, dest);
    const Mat4 m = MatrixOf(dest);
    ExpectNear(Apply(m, {1, 0, 0}), Vec3d{0, 0, 1}, 1e-6);
    ExpectNear(Apply(m, {0, 1, 0}), Vec3d{1, 0, 0}, 1e-6);
    ExpectNear(Apply(m, {0, 0, 1}), Vec3d{0, 1, 0}, 1e-6);
    QuatCompose(aboutX, aboutZ, aboutZ);   // the destination may be an input
    EXPECT_EQ(aboutZ, dest);
}

// Read row by row, b is the transpose of the block's inverse: block * b^T = I. A singular
// block gives the identity block; only the block is written.
TEST(CofactorInverse, GivesTransposeOfInverse) {
    const Mat4 general{2.0f, 1.0f, 0.0f, 7, 0.5f, 3.0f, 1.0f, 7, 1.0f, -1.0f, 4.0f, 7, 7, 7, 7, 7};
    Mat4 b;
    b.fill(9.0f);
    CofactorInverse(general, b);
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (size_t k = 0; k < 3; ++k) sum += double(general[4 * i + k]) * b[4 * j + k];
            EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-6) << i << j;
        }
    for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u, 15u}) EXPECT_EQ(b[k], 9.0f) << k;
    CofactorInverse(Mat4{1, 2, 3, 0, 4, 5, 6, 0, 5, 7, 9, 0, 0, 0, 0, 1}, b);   // third row = first + second
    EXPECT_EQ(b, (Mat4{1, 0, 0, 9, 0, 1, 0, 9, 0, 0, 1, 9, 9, 9, 9, 9}));
}

TEST(ViewState, ResetAndSpinStep) {
    ViewState v = BusyState();
    ResetViewState(v);
    EXPECT_EQ(v.viewQuat, kIdentity);
    EXPECT_EQ(v.dragQuat, (Quat{}));
    EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(Flags(v), "");
    EXPECT_EQ(std::make_pair(v.lastX, v.lastY), std::make_pair(int16_t{12}, int16_t{-7}));
    // Two steps of an eighth turn about y after the view's quarter turn about x: model y goes
    // to -z, then to x; model z to y, and stays.
    const float s = std::sqrt(0.5f);
    v.viewQuat = {s, 0, 0, s};
    v.dragQuat = AxisAngle(0.0f, 1.0f, 0.0f, float(M_PI / 4));
    SpinStep(v);
    SpinStep(v);
    ExpectNear(Apply(MatrixOf(v.viewQuat), {0, 1, 0}), Vec3d{1, 0, 0}, 1e-6);
    ExpectNear(Apply(MatrixOf(v.viewQuat), {0, 0, 1}), Vec3d{0, 1, 0}, 1e-6);
}

TEST(MouseNavigation, ButtonUpEndsDragKeepsSpinAndOtherButtonsChangeNothing) {
    ViewState v = BusyState();
    MouseUp(v, kLeftButton);
    EXPECT_EQ(Flags(v), "S");
    for (int button : {kRightButton, 4}) {
        MouseDown(v, button, 1, 300.0f, 200.0f);
        MouseUp(v, button);
        EXPECT_FALSE(MouseMove(v, 5.0f, 6.0f, 800, 600));
        EXPECT_EQ(Flags(v), "S");
        EXPECT_EQ(v.lastX, 12);
        EXPECT_EQ(v.dragQuat, BusyState().dragQuat);
    }
}

TEST(MouseNavigation, ShiftDragZoomsFullHeightUpDoubles) {
    ViewState v;
    v.isSpinning = true;
    MouseDown(v, kLeftButton, 1, 3.5f, 480.5f);
    EXPECT_EQ(Flags(v), "RZ");
    EXPECT_EQ(std::make_pair(v.lastX, v.lastY), std::make_pair(int16_t{4}, int16_t{480}));   // nearest, ties to even
    EXPECT_TRUE(MouseMove(v, 100.0f, 0.0f, 640, 480));
    EXPECT_EQ(v.zoomScale, 2.0f);
    EXPECT_TRUE(MouseMove(v, 100.0f, 240.0f, 640, 480));   // half the height down halves it
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.viewQuat, kIdentity);
}

// From the centre a quarter width to the right is the ball drag (0, 0) -> (0.5, 0): about -y
// by 2 asin(|(0.5, 0, 0.6245) - (0, 0, 0.8)| / 1.6), worked out by hand.
TEST(MouseNavigation, ShiftCtrlDragRotatesWithoutRepaintAndWindowYPointsDown) {
    ViewState v;
    MouseDown(v, kLeftButton, 3, 400.0f, 300.0f);
    EXPECT_FALSE(MouseMove(v, 600.0f, 300.0f, 800, 600));
    EXPECT_EQ(Flags(v), "SR");
    ExpectNear(v.dragQuat, Quat{0.0f, -0.33119f, 0.0f, 0.94356f}, 5e-6);
    EXPECT_EQ(v.viewQuat, kIdentity);   // applied by the spin step only
    MouseMove(v, 600.0f, 300.0f, 800, 600);
    EXPECT_EQ(v.dragQuat, kIdentity);
    // From the upper half of the window down to its centre: the front of the model turns down.
    MouseDown(v, kLeftButton, 0, 400.0f, 150.0f);
    MouseMove(v, 400.0f, 300.0f, 800, 600);
    SpinStep(v);
    const Vec3d front = Apply(ModelViewMatrix(v), {0, 0, 1});
    EXPECT_LT(front[1], -0.3);
    EXPECT_NEAR(front[0], 0.0, 1e-6);
    MouseDown(v, kLeftButton, 0, 0.0f, 0.0f);   // a collapsed window counts as one pixel
    MouseMove(v, 0.3f, 0.6f, 0, 0);
    SpinStep(v);
    EXPECT_TRUE(std::isfinite(v.viewQuat[0]) && std::isfinite(v.viewQuat[3]));
}

// Arrows and "a"/"s" move the model origin 0.3 along an eye axis (x right, y up, z towards the
// viewer); other keys move nothing; "c" clears shift and zoom but not the turn. Every key
// stops the spin.
TEST(KeyboardNavigation, KeysMoveTheModelAlongEyeAxes) {
    const struct { int key; char character; Vec3d move; } cases[] = {
        {kKeyUp, 0, {0, -0.3, 0}}, {kKeyDown, 0, {0, 0.3, 0}}, {kKeyRight, 0, {-0.3, 0, 0}}, {kKeyLeft, 0, {0.3, 0, 0}},
        {0, 'a', {0, 0, 0.3}}, {0, 's', {0, 0, -0.3}}, {65, 0, {}}, {0, 'X', {}}, {0, 'A', {}}};
    for (const auto& c : cases) {
        ViewState v = BusyState();
        const Mat4 before = ModelViewMatrix(v);
        c.character ? KeyPressMove(v, c.character) : KeyDownMove(v, c.key);
        const Mat4 after = ModelViewMatrix(v);
        for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(after[12 + i] - before[12 + i], c.move[i], 1e-6) << c.key << c.character;
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_FALSE(v.isSpinning);
    }
    ViewState v = BusyState();
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
}

// Axis views turn the model as drawn; any text clears the shift and the drag states, not the
// zoom. The model view scales, then shifts, then turns.
TEST(SetView, AxisViewsPlaceModelAxesAndTheModelViewScalesShiftsTurns) {
    const struct { std::string direction; std::array<Vec3d, 3> axes; } cases[] = {   // eye images of model x, y, z
        {"X", {{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}}},   // x left, y towards the viewer, z up
        {"Y", {{{0, 0, 1}, {0, -1, 0}, {1, 0, 0}}}},   // x towards the viewer, y down, z right
        {"Z", {{{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}}},   // x up, y right, z away
        {"x", {}}, {"", {}}, {"XY", {}}};
    for (const auto& c : cases) {
        ViewState v = BusyState();
        SetViewQuat(v, c.direction);
        EXPECT_EQ(v.modelShift, (std::array{0.0f, 0.0f, 0.0f})) << c.direction;
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_EQ(Flags(v), "");
        if (c.axes[0] == Vec3d{}) EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
        else for (size_t k = 0; k < 3; ++k) ExpectNear(Apply(MatrixOf(v.viewQuat), Vec3d{double(k == 0), double(k == 1), double(k == 2)}), c.axes[k], 1e-6);
        // Under view "Y", zoom 1.7 and shift (1, -2, 3): model (1, 0, 0) at 1.7 * (1, 0, 0) +
        // (1, -2, 3) = (2.7, -2, 3), seen at (3, 2, 2.7).
        if (c.direction != "Y") continue;
        v.modelShift = {1.0f, -2.0f, 3.0f};
        const Mat4 m = ModelViewMatrix(v);
        const Vec3d turned = Apply(m, {1, 0, 0});
        ExpectNear(Vec3d{turned[0] + m[12], turned[1] + m[13], turned[2] + m[14]}, Vec3d{3, 2, 2.7}, 1e-5);
        for (size_t k : {3u, 7u, 11u, 15u}) EXPECT_EQ(m[k], k == 15 ? 1.0f : 0.0f) << k;   // the bottom row
    }
}

}  // namespace
}  // namespace tivarel
