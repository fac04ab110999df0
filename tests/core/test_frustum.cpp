// Stereo frustum numbers, window extents and where points land on screen.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "stereo/frustum.h"
#include "view/trackball.h"

namespace tivarel {
namespace {

const Mat4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Expected {
    double left, right, bottom, top, shiftX;
};

void ExpectFrustum(const std::optional<EyeFrustum>& f, const Expected& e) {
    ASSERT_TRUE(f.has_value());
    EXPECT_NEAR(f->left, e.left, 1e-6);
    EXPECT_NEAR(f->right, e.right, 1e-6);
    EXPECT_NEAR(f->bottom, e.bottom, 1e-6);
    EXPECT_NEAR(f->top, e.top, 1e-6);
    EXPECT_EQ(f->nearClip, 7.5);
    EXPECT_EQ(f->farClip, 37.5);
    EXPECT_NEAR(f->shiftX, e.shiftX, 1e-7);
    EXPECT_EQ(f->shiftY, 0.0f);
    EXPECT_EQ(f->shiftZ, -22.5f);
}

// ---------------------------------------------------------------- per-eye frustum

TEST(EyeFrustum, ThreeEyesForSeveralExtents) {
    const double side = 0.31 / 3.0;
    for (const auto& [ex, ey] : {std::pair{1.0, 1.0}, std::pair{2.0, 1.0}, std::pair{1.0, 1.5}}) {
        SCOPED_TRACE(testing::Message() << ex << " x " << ey);
        const float fx = static_cast<float>(ex), fy = static_cast<float>(ey);
        ExpectFrustum(EyeFrustumFor("CentralEye", fx, fy), {-2 * ex, 2 * ex, -2 * ey, 2 * ey, 0.0});
        ExpectFrustum(EyeFrustumFor("LeftEye", fx, fy), {-2 * ex + side, 2 * ex + side, -2 * ey, 2 * ey, 0.31});
        ExpectFrustum(EyeFrustumFor("RightEye", fx, fy), {-2 * ex - side, 2 * ex - side, -2 * ey, 2 * ey, -0.31});
    }
}

TEST(EyeFrustum, PickingUsesCentralNumbers) {
    const auto central = EyeFrustumFor("CentralEye", 2.0f, 1.0f);
    const auto picking = EyeFrustumFor("CentralEyePicking", 2.0f, 1.0f);
    ASSERT_TRUE(central && picking);
    EXPECT_EQ(picking->left, central->left);
    EXPECT_EQ(picking->right, central->right);
    EXPECT_EQ(picking->bottom, central->bottom);
    EXPECT_EQ(picking->top, central->top);
    EXPECT_EQ(picking->nearClip, central->nearClip);
    EXPECT_EQ(picking->farClip, central->farClip);
    EXPECT_EQ(picking->shiftX, central->shiftX);
    EXPECT_EQ(picking->shiftY, central->shiftY);
    EXPECT_EQ(picking->shiftZ, central->shiftZ);
}

TEST(EyeFrustum, UnknownEyeNamesGiveNone) {
    for (const char* name : {"", "centraleye", "LeftEye ", "Left", "CENTRALEYE", "StereoHW"})
        EXPECT_FALSE(EyeFrustumFor(name, 1.0f, 1.0f).has_value()) << name;
}

TEST(EyeFrustum, ClipDistancesMeasuredFromTheEye) {
    // Zero plane 2 and distance 30: the eye sits at z = 32.
    const EyeFrustum f = ComputeEyeFrustum(-3.0f, 5.0f, -1.0f, 2.0f, 10.0f, -4.0f, 2.0f, 30.0f, 0.0f);
    EXPECT_EQ(f.nearClip, 22.0);
    EXPECT_EQ(f.farClip, 36.0);
    EXPECT_EQ(f.shiftX, -1.0f);
    EXPECT_EQ(f.shiftY, -0.5f);
    EXPECT_EQ(f.shiftZ, -32.0f);
}

// ---------------------------------------------------------------- window extents

TEST(WindowExtents, ShorterSideKeepsOne) {
    EXPECT_EQ(WindowExtents(800, 400), (std::pair{2.0f, 1.0f}));
    EXPECT_EQ(WindowExtents(400, 800), (std::pair{1.0f, 2.0f}));
    EXPECT_EQ(WindowExtents(500, 500), (std::pair{1.0f, 1.0f}));
    EXPECT_EQ(WindowExtents(300, 200), (std::pair{1.5f, 1.0f}));
    EXPECT_EQ(WindowExtents(640, 480), (std::pair{static_cast<float>(640.0 / 480.0), 1.0f}));
}

TEST(WindowExtents, ZeroSizeCountsAsOnePixel) {
    EXPECT_EQ(WindowExtents(0, 0), (std::pair{1.0f, 1.0f}));
    EXPECT_EQ(WindowExtents(0, 300), (std::pair{1.0f, 1.0f}));
    EXPECT_EQ(WindowExtents(300, 0), (std::pair{1.0f, 1.0f}));
}

// ---------------------------------------------------------------- projection

TEST(Projection, ZeroPlaneSpansSixUnitsOnTheShorterSide) {
    const auto [ex, ey] = WindowExtents(800, 400);
    const EyeFrustum f = *EyeFrustumFor("CentralEye", ex, ey);
    auto at = [&](float x, float y) { return ProjectToWindow(f, kIdentity, x, y, 0.0f, 800, 400); };
    const auto centre = at(0.0f, 0.0f);
    EXPECT_NEAR(centre[0], 400.0, 1e-4);
    EXPECT_NEAR(centre[1], 200.0, 1e-4);
    const auto topRight = at(12.0f, 6.0f);
    EXPECT_NEAR(topRight[0], 800.0, 1e-4);
    EXPECT_NEAR(topRight[1], 400.0, 1e-4);
    const auto bottomLeft = at(-12.0f, -6.0f);
    EXPECT_NEAR(bottomLeft[0], 0.0, 1e-4);
    EXPECT_NEAR(bottomLeft[1], 0.0, 1e-4);
}

TEST(Projection, NearerPointsLookBigger) {
    const EyeFrustum f = *EyeFrustumFor("CentralEye", 1.0f, 1.0f);
    const auto onPlane = ProjectToWindow(f, kIdentity, 3.0f, 0.0f, 0.0f, 600, 600);
    const auto nearer = ProjectToWindow(f, kIdentity, 3.0f, 0.0f, 7.5f, 600, 600);
    // 22.5 / 15 times the offset from the centre.
    EXPECT_NEAR(nearer[0] - 300.0, (onPlane[0] - 300.0) * 1.5, 1e-3);
}

TEST(Projection, ZeroPlanePointsCoincideForBothEyes) {
    const EyeFrustum left = *EyeFrustumFor("LeftEye", 2.0f, 1.0f);
    const EyeFrustum right = *EyeFrustumFor("RightEye", 2.0f, 1.0f);
    for (const auto& p : {std::array{0.0f, 0.0f}, std::array{5.0f, -2.0f}, std::array{-11.0f, 5.5f}}) {
        const auto l = ProjectToWindow(left, kIdentity, p[0], p[1], 0.0f, 800, 400);
        const auto r = ProjectToWindow(right, kIdentity, p[0], p[1], 0.0f, 800, 400);
        EXPECT_NEAR(l[0], r[0], 1e-3);
        EXPECT_NEAR(l[1], r[1], 1e-3);
    }
}

TEST(Projection, PointsOffTheZeroPlaneSeparate) {
    const EyeFrustum left = *EyeFrustumFor("LeftEye", 1.0f, 1.0f);
    const EyeFrustum right = *EyeFrustumFor("RightEye", 1.0f, 1.0f);
    // In front of the zero plane the images cross: the left eye sees the point further right.
    auto l = ProjectToWindow(left, kIdentity, 1.0f, 2.0f, 5.0f, 600, 600);
    auto r = ProjectToWindow(right, kIdentity, 1.0f, 2.0f, 5.0f, 600, 600);
    EXPECT_GT(l[0] - r[0], 1.0);
    EXPECT_NEAR(l[1], r[1], 1e-3);
    l = ProjectToWindow(left, kIdentity, 1.0f, 2.0f, -5.0f, 600, 600);
    r = ProjectToWindow(right, kIdentity, 1.0f, 2.0f, -5.0f, 600, 600);
    EXPECT_LT(l[0] - r[0], -1.0);
}

TEST(Projection, GeneralZeroPlaneIsSharedByTheEyes) {
    const float z0 = 3.0f;
    const EyeFrustum l = ComputeEyeFrustum(-4.0f, 4.0f, -3.0f, 3.0f, 8.0f, -8.0f, z0, 30.0f, -0.5f);
    const EyeFrustum r = ComputeEyeFrustum(-4.0f, 4.0f, -3.0f, 3.0f, 8.0f, -8.0f, z0, 30.0f, 0.5f);
    const auto pl = ProjectToWindow(l, kIdentity, 2.0f, -1.0f, z0, 400, 300);
    const auto pr = ProjectToWindow(r, kIdentity, 2.0f, -1.0f, z0, 400, 300);
    EXPECT_NEAR(pl[0], pr[0], 1e-3);
    // The zero-plane rectangle fills the window: x = 2 of -4..4 lies at three quarters.
    EXPECT_NEAR(pl[0], 300.0, 1e-3);
    EXPECT_NEAR(pl[1], 100.0, 1e-3);
}

}  // namespace
}  // namespace tivarel
