// Stereo frustum numbers, window extents and where points land on screen.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>

#include "stereo/frustum.h"

namespace tivarel {
namespace {

const Mat4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The zero plane is 6 * extent to each side; the eye 22.5 in front of it, the near plane 15
// in front, the far one 15 behind: near 7.5, far 37.5, and at the near plane a third of the
// zero plane's half-sizes, each side shifted against the eye's 0.31 to the side.
TEST(EyeFrustum, ThreeEyesAndPickingFromWorkedNumbers) {
    const double third = 0.31 / 3.0;
    const struct {
        const char* eye;
        double left, right, shiftX;
    } cases[] = {{"CentralEye", -4, 4, 0},
                 {"CentralEyePicking", -4, 4, 0},
                 {"LeftEye", -4 + third, 4 + third, 0.31},
                 {"RightEye", -4 - third, 4 - third, -0.31}};
    for (const auto& c : cases) {
        const std::optional<EyeFrustum> f = EyeFrustumFor(c.eye, 2.0f, 1.5f);
        ASSERT_TRUE(f.has_value()) << c.eye;
        EXPECT_NEAR(f->left, c.left, 1e-6) << c.eye;
        EXPECT_NEAR(f->right, c.right, 1e-6) << c.eye;
        EXPECT_NEAR(f->bottom, -3.0, 1e-6);
        EXPECT_NEAR(f->top, 3.0, 1e-6);
        EXPECT_EQ(f->nearClip, 7.5);
        EXPECT_EQ(f->farClip, 37.5);
        EXPECT_NEAR(f->shiftX, c.shiftX, 1e-7) << c.eye;
        EXPECT_EQ(f->shiftY, 0.0f);
        EXPECT_EQ(f->shiftZ, -22.5f);
    }
    for (const char* name : {"", "centraleye", "LeftEye ", "Left", "StereoHW"})
        EXPECT_FALSE(EyeFrustumFor(name, 1.0f, 1.0f).has_value()) << name;
    // Zero plane 2 and distance 30: the eye sits at z = 32; near 10 and far -4 from the zero plane.
    const EyeFrustum f = ComputeEyeFrustum(-3.0f, 5.0f, -1.0f, 2.0f, 10.0f, -4.0f, 2.0f, 30.0f, 0.0f);
    EXPECT_EQ((std::array{f.nearClip, f.farClip}), (std::array{22.0, 36.0}));
    EXPECT_EQ((std::array{f.shiftX, f.shiftY, f.shiftZ}), (std::array{-1.0f, -0.5f, -32.0f}));
}

// The shorter side spans -6..6: its extent is 1, the longer side's the ratio of the sides.
TEST(WindowExtents, ShorterSideKeepsOneAndZeroSizeCountsAsOnePixel) {
    const std::tuple<int, int, float, float> cases[] = {
        {800, 400, 2.0f, 1.0f}, {400, 800, 1.0f, 2.0f}, {500, 500, 1.0f, 1.0f}, {300, 200, 1.5f, 1.0f},
        {0, 0, 1.0f, 1.0f},     {0, 300, 1.0f, 1.0f},   {300, 0, 1.0f, 1.0f}};
    for (const auto& [w, h, x, y] : cases) EXPECT_EQ(WindowExtents(w, h), std::make_pair(x, y)) << w << " x " << h;
}

// In an 800 x 400 window (12, 6) of the zero plane is the top right corner; a point 7.5 nearer
// looks 22.5 / 15 times as far from the centre. The eyes see the zero plane alike; in front
// of it the left eye sees a point further right, behind it further left.
TEST(Projection, ZeroPlaneFillsTheWindowAndEyesSeparateOffIt) {
    const EyeFrustum central = *EyeFrustumFor("CentralEye", 2.0f, 1.0f);
    const auto at = [&](const EyeFrustum& f, float x, float y, float z) {
        return ProjectToWindow(f, kIdentity, x, y, z, 800, 400);
    };
    for (const auto& [x, y, px, py] :
         {std::array{0.0f, 0.0f, 400.0f, 200.0f}, std::array{12.0f, 6.0f, 800.0f, 400.0f},
          std::array{-12.0f, -6.0f, 0.0f, 0.0f}, std::array{-4.0f, 2.0f, 800.0f / 3, 800.0f / 3}}) {
        EXPECT_NEAR(at(central, x, y, 0.0f)[0], px, 1e-3);
        EXPECT_NEAR(at(central, x, y, 0.0f)[1], py, 1e-3);
    }
    EXPECT_NEAR(at(central, 4.0f, 0.0f, 7.5f)[0], 400.0 + 4.0 / 12.0 * 400.0 * 1.5, 1e-3);
    const EyeFrustum left = *EyeFrustumFor("LeftEye", 2.0f, 1.0f), right = *EyeFrustumFor("RightEye", 2.0f, 1.0f);
    EXPECT_NEAR(at(left, 5.0f, -2.0f, 0.0f)[0], at(right, 5.0f, -2.0f, 0.0f)[0], 1e-3);
    EXPECT_GT(at(left, 1.0f, 2.0f, 5.0f)[0] - at(right, 1.0f, 2.0f, 5.0f)[0], 1.0);
    EXPECT_LT(at(left, 1.0f, 2.0f, -5.0f)[0] - at(right, 1.0f, 2.0f, -5.0f)[0], -1.0);
}

}   // namespace
}   // namespace tivarel
