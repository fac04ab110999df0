// Trackball, quaternion and cofactor maths, and the navigation steps on the view state, checked
// against what a rotation must do (where model points go in eye space, products in double).
#include <gtest/gtest.h>

#include <algorithm>
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
const std::array<float, 3> kNoShift{0.0f, 0.0f, 0.0f};

// Eye-space image of model vector v under the column-major matrix m (no translation).
Vec3d Apply(const Mat4& m, const Vec3d& v) {
    Vec3d out{};
    for (size_t row = 0; row < 3; ++row)
        for (size_t k = 0; k < 3; ++k) out[row] += double(m[k * 4 + row]) * v[k];
    return out;
}

// Column-major product a * b in double.
std::array<double, 16> Product(const Mat4& a, const Mat4& b) {
    std::array<double, 16> c{};
    for (size_t col = 0; col < 4; ++col)
        for (size_t row = 0; row < 4; ++row)
            for (size_t k = 0; k < 4; ++k) c[col * 4 + row] += double(a[k * 4 + row]) * b[col * 4 + k];
    return c;
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

// Element by element, for vectors, quaternions and matrices.
template <class A, class B>
void ExpectNear(const A& actual, const B& expected, double tol) {
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tol) << "element " << i;
}

double Norm(const Quat& q) { return std::hypot(double(q[0]), double(q[1]), std::hypot(double(q[2]), double(q[3]))); }

Vec3d Unit(const Vec3d& v) {
    const double n = std::hypot(v[0], v[1], v[2]);
    return {v[0] / n, v[1] / n, v[2] / n};
}

Vec3d Axis(size_t k) { return {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0}; }

// Trackball surface point above normalised window point (x, y), straight from the geometry:
// a sphere of radius 0.8 inside the switch circle, the sheet z = r^2 / 2d on and outside it.
Vec3d BallPoint(double x, double y) {
    const double r = 0.8, d = std::hypot(x, y);
    return {x, y, d < r / std::sqrt(2.0) ? std::sqrt(r * r - d * d) : r * r / 2.0 / d};
}

// The drag and spin flags as letters: S spinning, R rotating, Z zooming.
std::string Flags(const ViewState& v) {
    return std::string(v.isSpinning ? "S" : "") + (v.isRotating ? "R" : "") + (v.isZooming ? "Z" : "");
}

std::pair<int, int> LastPoint(const ViewState& v) { return {v.lastX, v.lastY}; }

// ---------------------------------------------------------------- trackball

TEST(TrackballDepth, SphereInsideTheSwitchCircleHyperbolaOnAndOutside) {
    const float edge = static_cast<float>(0.8f * 0.707106781186548);
    const std::array<std::array<float, 2>, 9> points{{{0.0f, 0.0f}, {0.3f, 0.4f}, {-0.5f, 0.1f},
                                                      {std::nextafter(edge, 0.0f), 0.0f},  // just inside
                                                      {edge, 0.0f}, {0.0f, -edge},  // on the circle: strict test
                                                      {0.7f, 0.0f}, {1.0f, -1.0f}, {0.2f, 0.9f}}};
    for (const auto& p : points)
        EXPECT_FLOAT_EQ(TrackballDepth(0.8f, p[0], p[1]), float(BallPoint(p[0], p[1])[2])) << p[0] << "," << p[1];
}

TEST(TrackballQuat, EqualPointsGiveExactIdentity) {
    Quat q{kNaN, 5.0f, -3.0f, 0.0f};
    TrackballQuat(q, 0.3f, -0.2f, 0.3f, -0.2f);
    EXPECT_EQ(q, kIdentity);
}

// The point of the model nearest the viewer moves on screen the way the mouse went.
TEST(TrackballQuat, FrontPointFollowsTheDrag) {
    for (const auto& [dx, dy] : {std::array{0.5f, 0.0f}, std::array{0.0f, 0.5f}, std::array{-0.3f, -0.2f}}) {
        Quat q{};
        TrackballQuat(q, 0.0f, 0.0f, dx, dy);
        const Vec3d eye = Apply(MatrixOf(q), {0.0, 0.0, 1.0});
        EXPECT_GT(eye[0] * dx + eye[1] * dy, 0.1) << dx << "," << dy;
        EXPECT_NEAR(eye[0] * dy - eye[1] * dx, 0.0, 1e-6) << dx << "," << dy;
    }
}

TEST(TrackballQuat, CarriesFirstBallPointOntoSecond) {
    const std::array<std::array<float, 4>, 4> drags{
        {{0.0f, 0.0f, 0.3f, 0.2f}, {-0.2f, 0.1f, 0.4f, -0.3f}, {0.5f, 0.0f, 0.0f, 0.5f}, {0.1f, -0.45f, -0.3f, 0.35f}}};
    for (const auto& d : drags) {
        Quat q{};
        TrackballQuat(q, d[0], d[1], d[2], d[3]);
        ExpectNear(Apply(MatrixOf(q), Unit(BallPoint(d[0], d[1]))), Unit(BallPoint(d[2], d[3])), 2e-6);
        EXPECT_NEAR(Norm(q), 1.0, 1e-6);
    }
}

TEST(TrackballQuat, LongDragClampsToHalfTurn) {
    for (float reach : {0.9f, 3.0f}) {  // chords of 1.8 and 6, both past 1.6
        Quat q{};
        TrackballQuat(q, -reach, 0.0f, reach, 0.0f);
        ExpectNear(q, Quat{0.0f, -1.0f, 0.0f, 0.0f}, 1e-7);
    }
}

// ---------------------------------------------------------------- quaternions

TEST(QuatToMatrix, IdentityAndHalfTurnAboutYZDiagonal) {
    Mat4 m;
    m.fill(kNaN);
    QuatToMatrix(m, kIdentity);
    EXPECT_EQ(m, (Mat4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    const float s = std::sqrt(0.5f);
    m = MatrixOf(Quat{0.0f, s, s, 0.0f});
    const std::array<Vec3d, 3> images{{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}};  // of model x, y, z
    for (size_t k = 0; k < 3; ++k) ExpectNear(Apply(m, Axis(k)), images[k], 1e-6);
    for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u}) EXPECT_EQ(m[k], 0.0f) << k;
    EXPECT_EQ(m[15], 1.0f);
}

TEST(QuatFromAxisAngle, NormalisesAxisInPlaceAndZeroAxisGivesIdentity) {
    Vec4 axis{0.0f, 3.0f, 4.0f, 0.0f};
    Quat q{};
    QuatFromAxisAngle(axis, 1.0f, q);
    ExpectNear(axis, Vec4{0.0f, 0.6f, 0.8f, 0.0f}, 1e-7);
    ExpectNear(q, std::array{0.0, 0.6 * std::sin(0.5), 0.8 * std::sin(0.5), std::cos(0.5)}, 1e-7);
    axis = {};
    q = {kNaN, kNaN, kNaN, kNaN};
    QuatFromAxisAngle(axis, 1.0f, q);
    EXPECT_EQ(q, kIdentity);
}

TEST(QuatNormalize, ScalesToUnitLengthAndZeroBecomesIdentity) {
    const std::array<std::array<Quat, 2>, 3> cases{{{Quat{3.0f, 0.0f, 4.0f, 0.0f}, Quat{0.6f, 0.0f, 0.8f, 0.0f}},
                                                    {Quat{0.0f, 0.0f, 0.0f, 2.0f}, kIdentity},
                                                    {Quat{0.0f, 0.0f, 0.0f, 0.0f}, kIdentity}}};
    for (auto [q, unit] : cases) {
        QuatNormalize(q);
        ExpectNear(q, unit, 1e-7);
    }
}

// Inputs of length 2 and 3: the result is renormalised to the unit product of the two.
TEST(QuatCompose, MatrixOfUnitResultIsProductOfMatricesAndDestMayBeSecond) {
    const Quat u1 = AxisAngle(1.0f, 0.0f, 0.0f, 0.7f), u2 = AxisAngle(0.0f, 1.0f, 0.2f, 1.1f);
    const auto expected = Product(MatrixOf(u1), MatrixOf(u2)), reversed = Product(MatrixOf(u2), MatrixOf(u1));
    double orderGap = 0.0;  // the order is observable with these two
    for (size_t k = 0; k < 16; ++k) orderGap = std::max(orderGap, std::abs(reversed[k] - expected[k]));
    ASSERT_GT(orderGap, 0.1);
    Quat q1 = u1, q2 = u2, dest{};
    for (size_t i = 0; i < 4; ++i) q1[i] *= 2.0f, q2[i] *= 3.0f;
    QuatCompose(q1, q2, dest);
    EXPECT_NEAR(Norm(dest), 1.0, 1e-7);
    ExpectNear(MatrixOf(dest), expected, 1e-6);
    QuatCompose(q1, q2, q2);
    EXPECT_EQ(q2, dest);
}

// ---------------------------------------------------------------- cofactor inverse

TEST(CofactorInverse, IdentityWritesOnlyTheBlock) {
    Mat4 b;
    b.fill(7.0f);
    CofactorInverse(Mat4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, b);
    for (size_t k : {0u, 5u, 10u}) EXPECT_EQ(b[k], 1.0f) << k;
    for (size_t k : {1u, 2u, 4u, 6u, 8u, 9u}) EXPECT_EQ(b[k], 0.0f) << k;
    for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u, 15u}) EXPECT_EQ(b[k], 7.0f) << k;
}

// Read row by row, b is the transpose of the block's inverse: block * b^T = I. For a
// rotation that makes b equal to a, which the keyboard moves rely on.
TEST(CofactorInverse, GivesTransposeOfInverseSoRotationsAreTheirOwn) {
    const Mat4 rotation = MatrixOf(AxisAngle(0.4f, -1.0f, 2.0f, 2.6f));
    const Mat4 general{2.0f, 1.0f, 0.0f, 0, 0.5f, 3.0f, 1.0f, 0, 1.0f, -1.0f, 4.0f, 0, 0, 0, 0, 1};
    for (const Mat4& a : {rotation, general}) {
        Mat4 b{};
        CofactorInverse(a, b);
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j) {
                double sum = 0.0;
                for (size_t k = 0; k < 3; ++k) sum += double(a[4 * i + k]) * b[4 * j + k];
                EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-6) << i << j;
                if (a == rotation) { EXPECT_NEAR(b[4 * i + j], a[4 * i + j], 1e-6) << i << j; }
            }
    }
}

TEST(CofactorInverse, SingularBlockGivesIdentityBlock) {
    const Mat4 a{1, 2, 3, 0, 4, 5, 6, 0, 5, 7, 9, 0, 0, 0, 0, 1};  // third row = first + second
    Mat4 b{};
    CofactorInverse(a, b);
    EXPECT_EQ(b, (Mat4{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
}

// ---------------------------------------------------------------- view state and mouse

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

TEST(ViewReset, RestoresStartValuesButNotLastPoint) {
    ViewState v = BusyState();
    v.viewQuat = {kNaN, 2.0f, 3.0f, 4.0f};
    ResetViewState(v);
    EXPECT_EQ(v.viewQuat, kIdentity);
    EXPECT_EQ(v.dragQuat, (Quat{0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.modelShift, kNoShift);
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(Flags(v), "");
    EXPECT_EQ(LastPoint(v), std::make_pair(12, -7));
}

TEST(SpinStep, AppliesDragAfterCurrentOrientationOnEveryStep) {
    ViewState v;
    v.viewQuat = AxisAngle(1.0f, 0.0f, 0.0f, 0.6f);
    v.dragQuat = AxisAngle(0.0f, 1.0f, 0.0f, 0.4f);
    const auto expected = Product(MatrixOf(AxisAngle(0.0f, 1.0f, 0.0f, 0.8f)), MatrixOf(v.viewQuat));
    SpinStep(v);
    SpinStep(v);
    ExpectNear(MatrixOf(v.viewQuat), expected, 1e-6);
}

TEST(MouseNavigation, ButtonUpEndsDragKeepsSpinAndOtherButtonsChangeNothing) {
    ViewState v = BusyState();
    MouseUp(v, kLeftButton);
    EXPECT_EQ(Flags(v), "S");
    // Without a drag, neither other buttons nor moves change anything.
    for (int button : {kRightButton, 4}) {
        MouseDown(v, button, 1, 300.0f, 200.0f);
        MouseUp(v, button);
        EXPECT_FALSE(MouseMove(v, 5.0f, 6.0f, 800, 600));
        EXPECT_EQ(Flags(v), "S");
        EXPECT_EQ(v.lastX, 12);
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_EQ(v.dragQuat, BusyState().dragQuat);
    }
}

TEST(MouseNavigation, ShiftDragZoomsFullHeightUpDoubles) {
    ViewState v;
    v.isSpinning = true;
    MouseDown(v, kLeftButton, 1, 3.5f, 480.5f);
    EXPECT_EQ(Flags(v), "RZ");
    EXPECT_EQ(LastPoint(v), std::make_pair(4, 480));  // nearest, ties to even
    EXPECT_TRUE(MouseMove(v, 100.0f, 0.0f, 640, 480));
    EXPECT_EQ(v.zoomScale, 2.0f);
    EXPECT_EQ(v.lastY, 0);
    EXPECT_TRUE(MouseMove(v, 100.0f, 240.0f, 640, 480));  // half the height down halves it
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.viewQuat, kIdentity);
    EXPECT_EQ(Flags(v), "RZ");
}

TEST(MouseNavigation, ShiftCtrlDragRotatesWithoutRepaintUntilThePointStops) {
    ViewState v;
    MouseDown(v, kLeftButton, 3, 400.0f, 300.0f);
    EXPECT_FALSE(MouseMove(v, 600.0f, 300.0f, 800, 600));
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(Flags(v), "SR");
    EXPECT_EQ(v.lastX, 600);
    // From the centre a quarter width to the right: the ball drag (0, 0) -> (0.5, 0).
    ExpectNear(v.dragQuat, Quat{0.0f, -0.33119f, 0.0f, 0.94356f}, 5e-6);
    EXPECT_EQ(v.viewQuat, kIdentity);  // applied by the spin step only
    MouseMove(v, 600.0f, 300.0f, 800, 600);  // the same point again: no more turning
    EXPECT_EQ(v.dragQuat, kIdentity);
    EXPECT_EQ(Flags(v), "SR");
    // Window y grows downwards: a drag up the window turns the front of the model up.
    MouseDown(v, kLeftButton, 0, 400.0f, 300.0f);
    MouseMove(v, 400.0f, 150.0f, 800, 600);
    SpinStep(v);
    const Vec3d front = Apply(ModelViewMatrix(v), {0, 0, 1});
    EXPECT_GT(front[1], 0.5);
    EXPECT_NEAR(front[0], 0.0, 1e-6);
}

TEST(MouseNavigation, ZeroWindowSizeStaysFinite) {
    ViewState v;
    MouseDown(v, kLeftButton, 0, 0.0f, 0.0f);
    MouseMove(v, 0.3f, 0.6f, 0, 0);
    SpinStep(v);
    MouseDown(v, kLeftButton, 1, 0.0f, 0.0f);
    MouseMove(v, 0.0f, 0.4f, 0, 0);
    EXPECT_TRUE(std::isfinite(Norm(v.viewQuat)) && std::isfinite(v.zoomScale));
}

// ---------------------------------------------------------------- keyboard and axis views

// Arrows and "a"/"s" move the model origin 0.3 along an eye axis (x right, y up, z towards
// the viewer); other keys move nothing. Every key stops the spin.
TEST(KeyboardNavigation, KeysMoveTheModelAlongEyeAxes) {
    struct Case { int key; char character; Vec3d move; };
    const Case cases[] = {{kKeyUp, 0, {0, -0.3, 0}}, {kKeyDown, 0, {0, 0.3, 0}}, {kKeyRight, 0, {-0.3, 0, 0}},
                          {kKeyLeft, 0, {0.3, 0, 0}}, {0, 'a', {0, 0, 0.3}}, {0, 's', {0, 0, -0.3}},
                          {65, 0, {}}, {0, 'X', {}}, {0, 'A', {}}};
    for (const Case& c : cases) {
        ViewState v = BusyState();
        const Mat4 before = ModelViewMatrix(v);
        c.character ? KeyPressMove(v, c.character) : KeyDownMove(v, c.key);
        const Mat4 after = ModelViewMatrix(v);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(after[12 + i] - before[12 + i], c.move[i], 1e-6) << c.key << c.character;
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_FALSE(v.isSpinning);
    }
}

TEST(KeyboardNavigation, CRestoresScaleAndShiftButNotOrientation) {
    ViewState v = BusyState();
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.modelShift, kNoShift);
    EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
    EXPECT_FALSE(v.isSpinning);
}

// Axis views turn the model as drawn; any text clears the shift and the drag states, not the zoom.
TEST(SetView, AxisViewsPlaceModelAxesAnyTextClearsShiftAndStates) {
    struct Case { std::string direction; std::array<Vec3d, 3> axes; };  // eye images of model x, y, z
    const Case cases[] = {
        {"X", {{{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}}},  // x left, y towards viewer, z up
        {"Y", {{{0, 0, 1}, {0, -1, 0}, {1, 0, 0}}}},  // x towards viewer, y down, z right
        {"Z", {{{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}}},  // x up, y right, z away
        {"x", {}}, {"", {}}, {"XY", {}}, {"W", {}}};  // no turn
    for (const Case& c : cases) {
        ViewState v = BusyState();
        SetViewQuat(v, c.direction);
        SCOPED_TRACE(c.direction);
        EXPECT_EQ(v.modelShift, kNoShift);
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_EQ(Flags(v), "");
        if (c.axes[0] == Vec3d{}) EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
        else for (size_t k = 0; k < 3; ++k) ExpectNear(Apply(MatrixOf(v.viewQuat), Axis(k)), c.axes[k], 1e-6);
    }
}

TEST(ModelView, ScalesThenShiftsThenRotates) {
    const ViewState v = BusyState();
    const Mat4 m = ModelViewMatrix(v), r = MatrixOf(v.viewQuat);
    for (const Vec3d p : {Vec3d{0, 0, 0}, Vec3d{1, 0, 0}, Vec3d{-2, 0.5, 3}}) {
        Vec3d moved{}, eye = Apply(m, p);
        for (size_t i = 0; i < 3; ++i) moved[i] = 1.7 * p[i] + v.modelShift[i], eye[i] += m[12 + i];
        ExpectNear(eye, Apply(r, moved), 1e-5);
    }
    for (size_t k : {3u, 7u, 11u, 15u}) EXPECT_EQ(m[k], k == 15 ? 1.0f : 0.0f) << k;  // bottom row
}

}  // namespace
}  // namespace tivarel
