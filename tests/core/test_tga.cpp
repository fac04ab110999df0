// TGA image bytes: the 18-byte header field by field, little-endian sizes, and
// the pixels bottom row first, left to right, blue-green-red.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

#include "export/tga.h"

namespace tivarel {
namespace {

TEST(TgaHeader, WindowOf640By480) {
    const std::array<uint8_t, 18> expected = {0, 0, 2,  0, 0, 0, 0,   24, 0,
                                              0, 0, 0, 128, 2, 224, 1, 24, 0};
    EXPECT_EQ(TgaHeader(640, 480), expected);
    const std::vector<uint8_t> file = TgaBytes(640, 480, std::vector<uint8_t>(640 * 480 * 3, 0));
    EXPECT_EQ(file.size(), 18u + 921600u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin()));
}

TEST(TgaHeader, SizesAreLittleEndianWords) {
    const auto w257 = TgaHeader(257, 1);
    EXPECT_EQ(w257[12], 1);
    EXPECT_EQ(w257[13], 1);
    const auto h256 = TgaHeader(1, 256);
    EXPECT_EQ(h256[14], 0);
    EXPECT_EQ(h256[15], 1);
    const auto largest = TgaHeader(65535, 255);
    EXPECT_EQ(largest[12], 255);
    EXPECT_EQ(largest[13], 255);
    EXPECT_EQ(largest[14], 255);
    EXPECT_EQ(largest[15], 0);
    EXPECT_THROW(TgaHeader(65536, 1), std::invalid_argument);
    EXPECT_THROW(TgaHeader(1, -1), std::invalid_argument);
}

// A colour per (column, row from the bottom), all bytes distinct in a 5 x 3 image.
uint8_t Red(int x, int y) { return static_cast<uint8_t>(10 * y + x); }
uint8_t Green(int x, int y) { return static_cast<uint8_t>(100 + 10 * y + x); }
uint8_t Blue(int x, int y) { return static_cast<uint8_t>(200 + 10 * y + x); }

TEST(TgaBytes, BottomLeftPixelFirstStoredBlueGreenRed) {
    const int w = 5, h = 3;
    std::vector<uint8_t> rgb;   // as read back from the framebuffer: bottom row first, RGB
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rgb.insert(rgb.end(), {Red(x, y), Green(x, y), Blue(x, y)});
    const std::vector<uint8_t> file = TgaBytes(w, h, rgb);
    ASSERT_EQ(file.size(), 18u + 45u);
    EXPECT_EQ(file[18], Blue(0, 0));
    EXPECT_EQ(file[19], Green(0, 0));
    EXPECT_EQ(file[20], Red(0, 0));
    size_t i = 18;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            EXPECT_EQ(file[i++], Blue(x, y)) << x << "," << y;
            EXPECT_EQ(file[i++], Green(x, y)) << x << "," << y;
            EXPECT_EQ(file[i++], Red(x, y)) << x << "," << y;
        }
}

TEST(TgaBytes, EmptyImageIsTheHeaderAlone) {
    const std::vector<uint8_t> file = TgaBytes(0, 7, {});
    ASSERT_EQ(file.size(), 18u);
    EXPECT_EQ(file[14], 7);
}

TEST(TgaBytes, PixelBufferMustMatchTheSize) {
    EXPECT_THROW(TgaBytes(2, 2, std::vector<uint8_t>(11)), std::invalid_argument);
    EXPECT_THROW(TgaBytes(2, 2, std::vector<uint8_t>(13)), std::invalid_argument);
}

}  // namespace
}  // namespace tivarel
