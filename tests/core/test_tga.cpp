// TGA image bytes: the 18-byte header field by field, little-endian sizes, and the pixels
// bottom row first, left to right, blue-green-red.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

#include "export/tga.h"

namespace tivarel {
namespace {

// 640 = 2 * 256 + 128, 480 = 256 + 224, 65535 = 255 * 256 + 255.
TEST(Tga, HeaderFieldsAndLittleEndianSizes) {
    EXPECT_EQ(TgaHeader(640, 480),
              (std::array<uint8_t, 18>{0, 0, 2, 0, 0, 0, 0, 24, 0, 0, 0, 0, 128, 2, 224, 1, 24, 0}));
    const auto largest = TgaHeader(65535, 256);
    EXPECT_EQ((std::array{largest[12], largest[13], largest[14], largest[15]}),
              (std::array<uint8_t, 4>{255, 255, 0, 1}));
    EXPECT_THROW(TgaHeader(65536, 1), std::invalid_argument);
    EXPECT_THROW(TgaHeader(1, -1), std::invalid_argument);
}

TEST(Tga, PixelsBottomRowFirstStoredBlueGreenRed) {
    std::vector<uint8_t> rgb;   // as read back from the framebuffer: bottom row first, RGB; every byte distinct
    for (uint8_t k = 0; k < 15; ++k) rgb.insert(rgb.end(), {k, uint8_t(100 + k), uint8_t(200 + k)});
    const std::vector<uint8_t> file = TgaBytes(5, 3, rgb);
    ASSERT_EQ(file.size(), 18u + 45u);
    const auto header = TgaHeader(5, 3);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
    for (size_t k = 0; k < 15; ++k)
        EXPECT_EQ((std::array{file[18 + 3 * k], file[19 + 3 * k], file[20 + 3 * k]}),
                  (std::array{rgb[3 * k + 2], rgb[3 * k + 1], rgb[3 * k]}))
            << k;
    EXPECT_EQ(TgaBytes(0, 7, {}).size(), 18u);
    EXPECT_THROW(TgaBytes(2, 2, std::vector<uint8_t>(11)), std::invalid_argument);
    EXPECT_THROW(TgaBytes(2, 2, std::vector<uint8_t>(13)), std::invalid_argument);
}

}   // namespace
}   // namespace tivarel
