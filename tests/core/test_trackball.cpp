// Trackball, quaternion and cofactor maths, and the navigation steps on the view state.
//
// Results are checked against what a rotation must do (where model points go
// in eye space, products of matrices computed here in double), not against
// numbers read back from the code.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "stereo/frustum.h"
#include "view/trackball.h"

namespace tivarel {
namespace {

using Vec3d = std::array<double, 3>;
using Mat3d = std::array<std::array<double, 3>, 3>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Eye-space image of model vector v under the column-major matrix m (no translation).
Vec3d Apply(const Mat4& m, const Vec3d& v) {
    Vec3d out{};
    for (size_t row = 0; row < 3; ++row)
        for (size_t k = 0; k < 3; ++k) out[row] += double(m[k * 4 + row]) * v[k];
    return out;
}

// Eye-space image of model point p, translation included.
Vec3d ApplyPoint(const Mat4& m, const Vec3d& p) {
    Vec3d out = Apply(m, p);
    for (size_t row = 0; row < 3; ++row) out[row] += m[12 + row];
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

void ExpectVecNear(const Vec3d& actual, const Vec3d& expected, double tol) {
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tol) << "component " << i;
}

double Norm(const Quat& q) {
    return std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] +
                     double(q[3]) * q[3]);
}

// Trackball surface point above normalised window point (x, y), straight from the geometry.
Vec3d BallPoint(double x, double y) {
    const double r = 0.8;
    const double d = std::hypot(x, y);
    const double z = d < r / std::sqrt(2.0) ? std::sqrt(r * r - d * d) : r * r / 2.0 / d;
    return {x, y, z};
}

Vec3d Unit(const Vec3d& v) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / n, v[1] / n, v[2] / n};
}

// ---------------------------------------------------------------- trackball surface

const double kBallRadius = double(0.8f);

float SphereFormula(float x, float y) {
    const double d = std::hypot(double(x), double(y));
    return static_cast<float>(std::sqrt(kBallRadius * kBallRadius - d * d));
}

float HyperbolaFormula(float x, float y) {
    const double t = kBallRadius / 1.4142135623731;
    return static_cast<float>(t * t / std::hypot(double(x), double(y)));
}

TEST(TrackballDepth, SphereInsideTheSwitchCircle) {
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, 0.0f, 0.0f), 0.8f);
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, 0.3f, 0.4f), SphereFormula(0.3f, 0.4f));
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, -0.5f, 0.1f), SphereFormula(-0.5f, 0.1f));
}

TEST(TrackballDepth, HyperbolaOnAndOutsideTheSwitchCircle) {
    const float edge = static_cast<float>(0.8f * 0.707106781186548);
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, edge, 0.0f), HyperbolaFormula(edge, 0.0f));
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, 0.0f, -edge), HyperbolaFormula(0.0f, -edge));
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, 0.7f, 0.0f), HyperbolaFormula(0.7f, 0.0f));
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, 1.0f, -1.0f), HyperbolaFormula(1.0f, -1.0f));
    // Just inside the circle the sphere still holds.
    const float inside = std::nextafter(edge, 0.0f);
    EXPECT_FLOAT_EQ(TrackballDepth(0.8f, inside, 0.0f), SphereFormula(inside, 0.0f));
}

TEST(TrackballDepth, SheetJoinsSphereWithoutStepOrKink) {
    const float edge = static_cast<float>(0.8f * 0.707106781186548);
    EXPECT_NEAR(TrackballDepth(0.8f, edge, 0.0f), SphereFormula(edge, 0.0f), 1e-7);
    // Both sides fall at 45 degrees where they meet.
    const float h = 1e-3f;
    const double outside = (TrackballDepth(0.8f, edge + h, 0.0f) - TrackballDepth(0.8f, edge, 0.0f)) / h;
    const double inside = (TrackballDepth(0.8f, edge, 0.0f) - TrackballDepth(0.8f, edge - h, 0.0f)) / h;
    EXPECT_NEAR(outside, -1.0, 5e-3);
    EXPECT_NEAR(inside, -1.0, 5e-3);
}

// ---------------------------------------------------------------- trackball rotation

TEST(TrackballQuat, EqualPointsGiveExactIdentity) {
    Quat q{kNaN, 5.0f, -3.0f, 0.0f};
    TrackballQuat(q, 0.3f, -0.2f, 0.3f, -0.2f);
    EXPECT_EQ(q, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    q = {1.0f, 1.0f, 1.0f, 1.0f};
    TrackballQuat(q, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(q, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
}

TEST(TrackballQuat, DragToTheRightTurnsAboutMinusY) {
    Quat q{};
    TrackballQuat(q, 0.0f, 0.0f, 0.5f, 0.0f);
    EXPECT_NEAR(q[0], 0.0, 1e-7);
    EXPECT_NEAR(q[1], -0.33119, 5e-6);
    EXPECT_NEAR(q[2], 0.0, 1e-7);
    EXPECT_NEAR(q[3], 0.94356, 5e-6);
    // Half angle from the chord between the two ball points.
    const double chord = std::hypot(0.5, 0.8 - std::sqrt(0.64 - 0.25));
    const double t = chord / 1.6;
    EXPECT_NEAR(q[1], -t, 1e-6);
    EXPECT_NEAR(q[3], std::sqrt(1.0 - t * t), 1e-6);
}

TEST(TrackballQuat, FrontPointFollowsTheDrag) {
    const Vec3d front{0.0, 0.0, 1.0};
    Quat q{};
    TrackballQuat(q, 0.0f, 0.0f, 0.5f, 0.0f);
    Vec3d eye = Apply(MatrixOf(q), front);
    EXPECT_GT(eye[0], 0.5);  // right
    EXPECT_NEAR(eye[1], 0.0, 1e-6);
    TrackballQuat(q, 0.0f, 0.0f, 0.0f, 0.5f);
    eye = Apply(MatrixOf(q), front);
    EXPECT_GT(eye[1], 0.5);  // up
    EXPECT_NEAR(eye[0], 0.0, 1e-6);
    TrackballQuat(q, 0.1f, 0.2f, -0.2f, -0.1f);
    eye = Apply(MatrixOf(q), front);
    EXPECT_LT(eye[0], 0.0);  // left
    EXPECT_LT(eye[1], 0.0);  // and down
}

TEST(TrackballQuat, CarriesFirstBallPointOntoSecond) {
    const std::array<std::array<float, 4>, 4> drags{{
        {0.0f, 0.0f, 0.3f, 0.2f},
        {-0.2f, 0.1f, 0.4f, -0.3f},
        {0.5f, 0.0f, 0.0f, 0.5f},
        {0.1f, -0.45f, -0.3f, 0.35f},
    }};
    for (const auto& d : drags) {
        Quat q{};
        TrackballQuat(q, d[0], d[1], d[2], d[3]);
        const Vec3d from = Unit(BallPoint(d[0], d[1]));
        const Vec3d to = Unit(BallPoint(d[2], d[3]));
        ExpectVecNear(Apply(MatrixOf(q), from), to, 2e-6);
        EXPECT_NEAR(Norm(q), 1.0, 1e-6);
    }
}

TEST(TrackballQuat, LongDragClampsToHalfTurn) {
    Quat q{};
    TrackballQuat(q, -0.9f, 0.0f, 0.9f, 0.0f);
    EXPECT_NEAR(q[3], 0.0, 1e-7);  // cos(pi / 2)
    EXPECT_NEAR(std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2]), 1.0, 1e-7);
    EXPECT_NEAR(q[1], -1.0, 1e-7);
    // Any longer drag along the same line gives the same half turn.
    Quat longer{};
    TrackballQuat(longer, -3.0f, 0.0f, 3.0f, 0.0f);
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(longer[i], q[i], 1e-7);
}

TEST(ArcSine, QuarterTurnAtOneAndArcSineBelow) {
    EXPECT_EQ(ArcSine(1.0), 3.14159265358979 / 2.0);
    EXPECT_EQ(ArcSine(0.0), 0.0);
    EXPECT_NEAR(ArcSine(0.5), std::asin(0.5), 1e-15);
    EXPECT_NEAR(ArcSine(0.999), std::asin(0.999), 1e-12);
}

// ---------------------------------------------------------------- quaternions

TEST(QuatToMatrix, IdentityQuaternionGivesIdentityMatrix) {
    const Mat4 expected{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat4 m;
    m.fill(kNaN);
    QuatToMatrix(m, Quat{0.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_EQ(m, expected);
}

TEST(QuatToMatrix, HalfTurnAboutYZDiagonalSwapsYAndZ) {
    const float s = std::sqrt(0.5f);
    const Mat4 m = MatrixOf(Quat{0.0f, s, s, 0.0f});
    ExpectVecNear(Apply(m, {1, 0, 0}), {-1, 0, 0}, 1e-6);
    ExpectVecNear(Apply(m, {0, 1, 0}), {0, 0, 1}, 1e-6);
    ExpectVecNear(Apply(m, {0, 0, 1}), {0, 1, 0}, 1e-6);
    for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u}) EXPECT_EQ(m[k], 0.0f) << k;
    EXPECT_EQ(m[15], 1.0f);
}

TEST(QuatToMatrix, UnitQuaternionGivesProperRotation) {
    const Mat4 m = MatrixOf(AxisAngle(1.0f, -2.0f, 0.5f, 2.2f));
    const Vec3d x = Apply(m, {1, 0, 0}), y = Apply(m, {0, 1, 0}), z = Apply(m, {0, 0, 1});
    auto dot = [](const Vec3d& a, const Vec3d& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    EXPECT_NEAR(dot(x, x), 1.0, 1e-6);
    EXPECT_NEAR(dot(y, y), 1.0, 1e-6);
    EXPECT_NEAR(dot(x, y), 0.0, 1e-6);
    EXPECT_NEAR(dot(y, z), 0.0, 1e-6);
    // Right-handed: x cross y = z.
    ExpectVecNear({x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]}, z, 1e-6);
}

TEST(QuatFromAxisAngle, NormalisesAxisInPlace) {
    Vec4 axis{0.0f, 3.0f, 4.0f, 0.0f};
    Quat q{};
    QuatFromAxisAngle(axis, 1.0f, q);
    EXPECT_FLOAT_EQ(axis[1], 0.6f);
    EXPECT_FLOAT_EQ(axis[2], 0.8f);
    EXPECT_FLOAT_EQ(q[1], static_cast<float>(0.6 * std::sin(0.5)));
    EXPECT_FLOAT_EQ(q[2], static_cast<float>(0.8 * std::sin(0.5)));
    EXPECT_FLOAT_EQ(q[3], static_cast<float>(std::cos(0.5)));
}

TEST(QuatFromAxisAngle, ZeroAxisGivesIdentity) {
    Vec4 axis{0.0f, 0.0f, 0.0f, 0.0f};
    Quat q{kNaN, kNaN, kNaN, kNaN};
    QuatFromAxisAngle(axis, 1.0f, q);
    EXPECT_EQ(q, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(axis, (Vec4{0.0f, 0.0f, 0.0f, 0.0f}));
}

TEST(QuatNormalize, ScalesToUnitLengthAndZeroBecomesIdentity) {
    Quat q{3.0f, 0.0f, 4.0f, 0.0f};
    QuatNormalize(q);
    EXPECT_FLOAT_EQ(q[0], 0.6f);
    EXPECT_FLOAT_EQ(q[2], 0.8f);
    q = {0.0f, 0.0f, 0.0f, 2.0f};
    QuatNormalize(q);
    EXPECT_EQ(q, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    q = {0.0f, 0.0f, 0.0f, 0.0f};
    QuatNormalize(q);
    EXPECT_EQ(q, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
}

TEST(QuatCompose, MatrixOfCompositionIsProductOfMatrices) {
    const Quat q1 = AxisAngle(1.0f, 0.0f, 0.0f, 0.7f);
    const Quat q2 = AxisAngle(0.0f, 1.0f, 0.2f, 1.1f);
    Quat dest{};
    QuatCompose(q1, q2, dest);
    const Mat4 composed = MatrixOf(dest);
    const auto expected = Product(MatrixOf(q1), MatrixOf(q2));
    const auto reversed = Product(MatrixOf(q2), MatrixOf(q1));
    double reversedGap = 0.0;
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_NEAR(composed[k], expected[k], 1e-6) << k;
        reversedGap = std::max(reversedGap, std::abs(reversed[k] - expected[k]));
    }
    EXPECT_GT(reversedGap, 0.1);  // the order is observable with these two
}

TEST(QuatCompose, DestinationMayBeTheSecondArgument) {
    const Quat q1 = AxisAngle(0.3f, 1.0f, -0.4f, 0.9f);
    Quat q2 = AxisAngle(-1.0f, 0.2f, 0.5f, 2.0f);
    Quat separate{};
    QuatCompose(q1, q2, separate);
    QuatCompose(q1, q2, q2);
    EXPECT_EQ(q2, separate);
}

TEST(QuatCompose, RenormalisesEveryResult) {
    Quat q1 = AxisAngle(1.0f, 1.0f, 0.0f, 0.5f);
    Quat q2 = AxisAngle(0.0f, 0.0f, 1.0f, 1.5f);
    for (size_t i = 0; i < 4; ++i) {
        q1[i] *= 2.0f;
        q2[i] *= 3.0f;
    }
    Quat dest{};
    QuatCompose(q1, q2, dest);
    EXPECT_NEAR(Norm(dest), 1.0, 1e-7);
}

TEST(QuatCompose, SpinningKeepsUnitLength) {
    const Quat step = AxisAngle(0.3f, -0.7f, 0.2f, 0.05f);
    Quat view{0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 10000; ++i) QuatCompose(step, view, view);
    EXPECT_NEAR(Norm(view), 1.0, 1e-6);
}

// ---------------------------------------------------------------- cofactor inverse

TEST(CofactorInverse, IdentityWritesOnlyTheBlock) {
    const Mat4 identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat4 b;
    b.fill(7.0f);
    CofactorInverse(identity, b);
    for (size_t k : {0u, 5u, 10u}) EXPECT_EQ(b[k], 1.0f) << k;
    for (size_t k : {1u, 2u, 4u, 6u, 8u, 9u}) EXPECT_EQ(b[k], 0.0f) << k;
    for (size_t k : {3u, 7u, 11u, 12u, 13u, 14u, 15u}) EXPECT_EQ(b[k], 7.0f) << k;
}

TEST(CofactorInverse, RotationIsItsOwnCofactorInverse) {
    const Mat4 a = MatrixOf(AxisAngle(0.4f, -1.0f, 2.0f, 2.6f));
    Mat4 b{};
    CofactorInverse(a, b);
    for (size_t k : {0u, 1u, 2u, 4u, 5u, 6u, 8u, 9u, 10u}) EXPECT_NEAR(b[k], a[k], 1e-6) << k;
}

// Inverse of a 3x3 matrix by Gauss-Jordan elimination with partial pivoting.
Mat3d Inverse(Mat3d m) {
    Mat3d inv{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (size_t col = 0; col < 3; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < 3; ++r)
            if (std::abs(m[r][col]) > std::abs(m[pivot][col])) pivot = r;
        std::swap(m[col], m[pivot]);
        std::swap(inv[col], inv[pivot]);
        const double p = m[col][col];
        for (size_t c = 0; c < 3; ++c) m[col][c] /= p, inv[col][c] /= p;
        for (size_t r = 0; r < 3; ++r) {
            if (r == col) continue;
            const double f = m[r][col];
            for (size_t c = 0; c < 3; ++c) m[r][c] -= f * m[col][c], inv[r][c] -= f * inv[col][c];
        }
    }
    return inv;
}

TEST(CofactorInverse, GeneralBlockGivesTransposeOfInverse) {
    // Block read row by row from elements 0-2, 4-6, 8-10.
    const Mat3d block{{{2.0, 1.0, 0.0}, {0.5, 3.0, 1.0}, {1.0, -1.0, 4.0}}};
    Mat4 a{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) a[4 * i + j] = static_cast<float>(block[i][j]);
    a[15] = 1.0f;
    Mat4 b{};
    CofactorInverse(a, b);
    const Mat3d inv = Inverse(block);
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) EXPECT_NEAR(b[4 * i + j], inv[j][i], 1e-6) << i << j;
}

TEST(CofactorInverse, SingularBlockGivesIdentityBlock) {
    // Third row is the sum of the first two.
    const Mat4 a{1, 2, 3, 0, 4, 5, 6, 0, 5, 7, 9, 0, 0, 0, 0, 1};
    Mat4 b{};
    CofactorInverse(a, b);
    const Mat4 expected{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(b, expected);
}

// ---------------------------------------------------------------- view state

bool AllFinite(const ViewState& v) {
    for (float f : v.viewQuat) if (!std::isfinite(f)) return false;
    for (float f : v.dragQuat) if (!std::isfinite(f)) return false;
    for (float f : v.modelShift) if (!std::isfinite(f)) return false;
    return std::isfinite(v.zoomScale);
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

TEST(ViewReset, RestoresStartValuesButNotLastPoint) {
    ViewState v = BusyState();
    v.viewQuat = {kNaN, 2.0f, 3.0f, 4.0f};
    ResetViewState(v);
    EXPECT_EQ(v.viewQuat, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(v.dragQuat, (Quat{0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.modelShift, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_FALSE(v.isSpinning || v.isRotating || v.isZooming);
    EXPECT_EQ(v.lastX, 12);
    EXPECT_EQ(v.lastY, -7);
}

TEST(SpinStep, AppliesDragAfterCurrentOrientation) {
    ViewState v;
    v.viewQuat = AxisAngle(1.0f, 0.0f, 0.0f, 0.6f);
    v.dragQuat = AxisAngle(0.0f, 1.0f, 0.0f, 0.4f);
    const auto expected = Product(MatrixOf(v.dragQuat), MatrixOf(v.viewQuat));
    SpinStep(v);
    const Mat4 m = MatrixOf(v.viewQuat);
    for (size_t k = 0; k < 16; ++k) EXPECT_NEAR(m[k], expected[k], 1e-6) << k;
}

TEST(SpinStep, RepeatedStepsAddUpTheAngle) {
    ViewState v;
    v.dragQuat = AxisAngle(0.0f, 0.0f, 1.0f, 0.25f);
    for (int i = 0; i < 4; ++i) SpinStep(v);
    const Mat4 m = MatrixOf(v.viewQuat);
    const Mat4 once = MatrixOf(AxisAngle(0.0f, 0.0f, 1.0f, 1.0f));
    for (size_t k = 0; k < 16; ++k) EXPECT_NEAR(m[k], once[k], 1e-6) << k;
}

// ---------------------------------------------------------------- mouse

TEST(MouseNavigation, LeftButtonStartsDragAndStopsSpin) {
    ViewState v;
    v.isSpinning = true;
    MouseDown(v, kLeftButton, 0, 10.0f, 20.0f);
    EXPECT_FALSE(v.isSpinning);
    EXPECT_TRUE(v.isRotating);
    EXPECT_FALSE(v.isZooming);
    MouseDown(v, kLeftButton, 1, 10.0f, 20.0f);
    EXPECT_TRUE(v.isZooming);
    for (int shift : {2, 3, 4, 5}) {  // Ctrl or Alt with or without Shift: rotate
        MouseDown(v, kLeftButton, shift, 10.0f, 20.0f);
        EXPECT_FALSE(v.isZooming) << shift;
        EXPECT_TRUE(v.isRotating) << shift;
    }
}

TEST(MouseNavigation, LastPointRoundsToNearestEven) {
    ViewState v;
    MouseDown(v, kLeftButton, 0, 2.5f, 3.5f);
    EXPECT_EQ(v.lastX, 2);
    EXPECT_EQ(v.lastY, 4);
    MouseDown(v, kLeftButton, 0, -1.5f, 10.49f);
    EXPECT_EQ(v.lastX, -2);
    EXPECT_EQ(v.lastY, 10);
}

TEST(MouseNavigation, OtherButtonsChangeNothing) {
    for (int button : {kRightButton, 4}) {
        ViewState v = BusyState();
        v.isRotating = v.isZooming = false;
        MouseDown(v, button, 1, 300.0f, 200.0f);
        MouseUp(v, button);
        EXPECT_TRUE(v.isSpinning);
        EXPECT_FALSE(v.isRotating || v.isZooming);
        EXPECT_EQ(v.lastX, 12);
    }
}

TEST(MouseNavigation, ButtonUpEndsDragButKeepsSpin) {
    ViewState v = BusyState();
    MouseUp(v, kLeftButton);
    EXPECT_FALSE(v.isRotating);
    EXPECT_FALSE(v.isZooming);
    EXPECT_TRUE(v.isSpinning);
}

TEST(MouseNavigation, FullHeightMoveUpDoublesZoom) {
    ViewState v;
    MouseDown(v, kLeftButton, 1, 100.0f, 480.0f);
    EXPECT_TRUE(MouseMove(v, 100.0f, 0.0f, 640, 480));
    EXPECT_EQ(v.zoomScale, 2.0f);
    EXPECT_EQ(v.lastY, 0);
    EXPECT_TRUE(MouseMove(v, 100.0f, 240.0f, 640, 480));  // half the height down halves it
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.viewQuat, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_FALSE(v.isSpinning);
}

TEST(MouseNavigation, ShiftCtrlDragRotatesWithoutRepaint) {
    ViewState v;
    MouseDown(v, kLeftButton, 3, 400.0f, 300.0f);
    EXPECT_FALSE(MouseMove(v, 600.0f, 300.0f, 800, 600));
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_TRUE(v.isSpinning);
    EXPECT_EQ(v.lastX, 600);
    // From the centre a quarter width to the right: the ball drag (0, 0) -> (0.5, 0).
    EXPECT_NEAR(v.dragQuat[1], -0.33119, 5e-6);
    EXPECT_NEAR(v.dragQuat[3], 0.94356, 5e-6);
    EXPECT_EQ(v.viewQuat, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));  // applied by the spin step only
}

TEST(MouseNavigation, DragUpTurnsFrontOfModelUp) {
    ViewState v;
    MouseDown(v, kLeftButton, 0, 400.0f, 300.0f);
    MouseMove(v, 400.0f, 150.0f, 800, 600);
    SpinStep(v);
    const Vec3d front = Apply(ModelViewMatrix(v), {0, 0, 1});
    EXPECT_GT(front[1], 0.5);
    EXPECT_NEAR(front[0], 0.0, 1e-6);
}

TEST(MouseNavigation, MoveToSamePointStopsTurning) {
    ViewState v;
    MouseDown(v, kLeftButton, 0, 10.0f, 20.0f);
    MouseMove(v, 30.0f, 25.0f, 800, 600);
    EXPECT_NE(v.dragQuat, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    MouseMove(v, 30.0f, 25.0f, 800, 600);
    EXPECT_EQ(v.dragQuat, (Quat{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(v.isSpinning);
}

TEST(MouseNavigation, MoveWithoutDragDoesNothing) {
    ViewState v = BusyState();
    v.isRotating = v.isZooming = false;
    EXPECT_FALSE(MouseMove(v, 5.0f, 6.0f, 800, 600));
    EXPECT_EQ(v.lastX, 12);
    EXPECT_EQ(v.zoomScale, 1.7f);
    EXPECT_EQ(v.dragQuat, BusyState().dragQuat);
}

TEST(MouseNavigation, ZeroWindowSizeStaysFinite) {
    ViewState v;
    MouseDown(v, kLeftButton, 0, 0.0f, 0.0f);
    MouseMove(v, 0.3f, 0.6f, 0, 0);
    SpinStep(v);
    EXPECT_TRUE(AllFinite(v));
    MouseDown(v, kLeftButton, 1, 0.0f, 0.0f);
    MouseMove(v, 0.0f, 0.4f, 0, 0);
    EXPECT_TRUE(AllFinite(v));
}

// ---------------------------------------------------------------- keyboard

// Window position of the model origin in a 600 x 600 central view.
std::array<double, 2> OriginOnScreen(const ViewState& v) {
    const EyeFrustum central = *KameraFrustum("CentralEye", 1.0f, 1.0f);
    return ProjectToWindow(central, ModelViewMatrix(v), 0.0f, 0.0f, 0.0f, 600, 600);
}

ViewState TurnedState() {
    ViewState v;
    v.viewQuat = AxisAngle(1.0f, 2.0f, 3.0f, 0.8f);
    v.isSpinning = true;
    return v;
}

TEST(KeyboardNavigation, ArrowKeysMoveModelAcrossScreen) {
    struct Case { int key; double dx, dy; };
    for (const Case c : {Case{kKeyUp, 0, -1}, Case{kKeyDown, 0, 1}, Case{kKeyRight, -1, 0},
                         Case{kKeyLeft, 1, 0}}) {
        ViewState v = TurnedState();
        const auto before = OriginOnScreen(v);
        KeyDownMove(v, c.key);
        EXPECT_FALSE(v.isSpinning);
        const auto after = OriginOnScreen(v);
        // 0.3 units at the zero plane of a view 12 units across 600 pixels: 15 pixels.
        EXPECT_NEAR(after[0] - before[0], 15.0 * c.dx, 1e-3) << c.key;
        EXPECT_NEAR(after[1] - before[1], 15.0 * c.dy, 1e-3) << c.key;
    }
}

TEST(KeyboardNavigation, AAndSMoveAlongViewingAxis) {
    ViewState v = TurnedState();
    KeyPressMove(v, 'a');
    Vec3d eye = ApplyPoint(ModelViewMatrix(v), {0, 0, 0});
    ExpectVecNear(eye, {0.0, 0.0, 0.3}, 1e-6);
    KeyPressMove(v, 's');
    KeyPressMove(v, 's');
    eye = ApplyPoint(ModelViewMatrix(v), {0, 0, 0});
    ExpectVecNear(eye, {0.0, 0.0, -0.3}, 1e-6);
    EXPECT_FALSE(v.isSpinning);
}

TEST(KeyboardNavigation, CRestoresScaleAndShiftButNotOrientation) {
    ViewState v = BusyState();
    const Quat turned = v.viewQuat;
    KeyPressMove(v, 'c');
    EXPECT_EQ(v.zoomScale, 1.0f);
    EXPECT_EQ(v.modelShift, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.viewQuat, turned);
    EXPECT_FALSE(v.isSpinning);
}

TEST(KeyboardNavigation, OtherKeysOnlyStopTheSpin) {
    ViewState v = BusyState();
    KeyDownMove(v, 65);
    KeyPressMove(v, 'X');
    KeyPressMove(v, 'A');
    EXPECT_FALSE(v.isSpinning);
    EXPECT_EQ(v.modelShift, BusyState().modelShift);
    EXPECT_EQ(v.zoomScale, BusyState().zoomScale);
    EXPECT_EQ(v.viewQuat, BusyState().viewQuat);
}

// ---------------------------------------------------------------- axis views

TEST(SetView, AxisViewsPlaceModelAxes) {
    struct Case { const char* direction; Vec3d x, y, z; };
    const Case cases[] = {
        {"X", {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   // x left, y towards viewer, z up
        {"Y", {0, 0, 1}, {0, -1, 0}, {1, 0, 0}},   // x towards viewer, y down, z right
        {"Z", {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},   // x up, y right, z away
    };
    for (const Case& c : cases) {
        ViewState v = BusyState();
        v.zoomScale = 1.0f;
        SetViewQuat(v, c.direction);
        const Mat4 m = ModelViewMatrix(v);
        SCOPED_TRACE(c.direction);
        ExpectVecNear(Apply(m, {1, 0, 0}), c.x, 1e-6);
        ExpectVecNear(Apply(m, {0, 1, 0}), c.y, 1e-6);
        ExpectVecNear(Apply(m, {0, 0, 1}), c.z, 1e-6);
    }
}

TEST(SetView, ClearsShiftAndStatesKeepsZoom) {
    ViewState v = BusyState();
    SetViewQuat(v, "Y");
    EXPECT_EQ(v.modelShift, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(v.zoomScale, 1.7f);
    EXPECT_FALSE(v.isSpinning || v.isRotating || v.isZooming);
}

TEST(SetView, OtherTextKeepsOrientation) {
    for (const char* text : {"x", "", "XY", "W"}) {
        ViewState v = BusyState();
        SetViewQuat(v, text);
        EXPECT_EQ(v.viewQuat, BusyState().viewQuat) << text;
        EXPECT_EQ(v.modelShift, (std::array<float, 3>{0.0f, 0.0f, 0.0f})) << text;
        EXPECT_FALSE(v.isSpinning || v.isRotating || v.isZooming) << text;
    }
}

// ---------------------------------------------------------------- model-view

TEST(ModelView, ScalesThenShiftsThenRotates) {
    const ViewState v = BusyState();
    const Mat4 m = ModelViewMatrix(v);
    const Mat4 r = MatrixOf(v.viewQuat);
    for (const Vec3d p : {Vec3d{0, 0, 0}, Vec3d{1, 0, 0}, Vec3d{-2, 0.5, 3}}) {
        Vec3d moved{};
        for (size_t i = 0; i < 3; ++i) moved[i] = 1.7 * p[i] + v.modelShift[i];
        ExpectVecNear(ApplyPoint(m, p), Apply(r, moved), 1e-5);
    }
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
}

}  // namespace
}  // namespace tivarel
