// A CCP4 map of a box far from its cell's origin, converted by the real tivarel-import
// command, opens in the real window with its surfaces in view.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "../import/ccp4_test_file.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

bool IsMeshPixel(const Rgb8& p, const Rgb& colour) {
    return std::abs(p.r - colour[0] * 255.0) <= 1.01 && std::abs(p.g - colour[1] * 255.0) <= 1.01 &&
           std::abs(p.b - colour[2] * 255.0) <= 1.01;
}

TEST_F(WindowTest, ImportedBoxFarFromTheCellOriginOpensWithItsSurfacesInView) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "tivarel-imported-view";
    std::filesystem::create_directories(folder);
    const std::string map = (folder / "far.ccp4").string();
    test_support::WriteFile(map, test_support::Ccp4Bytes(test_support::BoxFile({80, -50, 100}, {20, 20, 20})));
    ASSERT_EQ(std::system(("\"" TIVAREL_IMPORT "\" " + map + " 2>/dev/null").c_str()), 0);
    Open((folder / "far.mt1").string());
    const FrameImage image = Frame();
    int layerPixels[3] = {0, 0, 0};
    Centroid c;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int layer = 1; layer <= 3; ++layer)
                if (IsMeshPixel(image.at(x, y), window->program().layers.meshColour(layer))) {
                    ++layerPixels[layer - 1];
                    c.x += x;
                    c.y += y;
                    ++c.count;
                }
    for (int layer = 1; layer <= 3; ++layer) EXPECT_GT(layerPixels[layer - 1], 50) << "layer " << layer;
    ASSERT_GT(c.count, 0);
    EXPECT_NEAR(c.x / c.count, image.width / 2.0, image.width / 4.0);
    EXPECT_NEAR(c.y / c.count, image.height / 2.0, image.height / 4.0);
    EXPECT_TRUE(platform.events.empty());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tivarel::testing
