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
    const char* eyes[] = {"CentralEye", "CentralEyePicking", "LeftEye", "RightEye"};
    const double lefts[] = {-4, -4, -4 + third, -4 - third}, rights[] = {4, 4, 4 + third, 4 - third},
                 shifts[] = {0, 0, 0.31, -0.31};
    for (size_t k = 0; k < 4; ++k) {
        const std::optional<EyeFrustum> f = EyeFrustumFor(eyes[k], 2.0f, 1.5f);
        ASSERT_TRUE(f.has_value()) << eyes[k];
        const std::array<double, 9> got{f->left,    f->right,  f->bottom, f->top,   f->nearClip,
                                        f->farClip, f->shiftX, f->shiftY, f->shiftZ};
        const std::array<double, 9> want{lefts[k], rights[k], -3, 3, 7.5, 37.5, shifts[k], 0, -22.5};
        for (size_t i = 0; i < 9; ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << eyes[k] << " " << i;
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

// In an 800 x 400 window (12, 6) of the zero plane is the top right corner, (-4, 2) at a third
// of the width and two thirds of the height.
TEST(Projection, ZeroPlaneFillsTheWindow) {
    const EyeFrustum f = *EyeFrustumFor("CentralEye", 2.0f, 1.0f);
    EXPECT_NEAR(ProjectToWindow(f, kIdentity, 12.0f, 6.0f, 0.0f, 800, 400)[0], 800.0, 1e-3);
    EXPECT_NEAR(ProjectToWindow(f, kIdentity, 12.0f, 6.0f, 0.0f, 800, 400)[1], 400.0, 1e-3);
    EXPECT_NEAR(ProjectToWindow(f, kIdentity, -4.0f, 2.0f, 0.0f, 800, 400)[0], 800.0 / 3, 1e-3);
    EXPECT_NEAR(ProjectToWindow(f, kIdentity, -4.0f, 2.0f, 0.0f, 800, 400)[1], 800.0 / 3, 1e-3);
}

}   // namespace
}   // namespace tivarel
