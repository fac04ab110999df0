#pragma once
// Uncompressed 24-bit true-colour TGA: an 18-byte header, then the pixels bottom
// row first, left to right, each stored blue, green, red. Nothing else.
#include <array>
#include <cstdint>
#include <vector>

namespace tivarel {

constexpr int kTgaHeaderSize = 18;
// Width and height are 16-bit fields.
constexpr int kTgaMaxSide = 65535;

// The header for a w x h image; throws std::invalid_argument outside 0..65535.
std::array<uint8_t, kTgaHeaderSize> TgaHeader(int width, int height);

// The whole file from pixels as read back from the framebuffer: rows from the
// bottom up, each pixel red, green, blue, no row padding (exactly w * h * 3 bytes,
// else std::invalid_argument).
std::vector<uint8_t> TgaBytes(int width, int height, const std::vector<uint8_t>& rgbBottomUp);

}  // namespace tivarel
