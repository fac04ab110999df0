#include "export/tga.h"

#include <stdexcept>
#include <string>

namespace tivarel {

namespace {

// A 16-bit little-endian field: low byte = value mod 256, high byte = the rest / 256.
void PutWord(std::array<uint8_t, kTgaHeaderSize>& header, size_t offset, int value) {
    const int low = value % 256;
    header[offset] = static_cast<uint8_t>(low);
    header[offset + 1] = static_cast<uint8_t>((value - low) / 256);
}

void CheckSide(int side, const char* name) {
    if (side < 0 || side > kTgaMaxSide)
        throw std::invalid_argument(std::string("TGA ") + name + " out of range: " + std::to_string(side));
}

}  // namespace

std::array<uint8_t, kTgaHeaderSize> TgaHeader(int width, int height) {
    CheckSide(width, "width");
    CheckSide(height, "height");
    std::array<uint8_t, kTgaHeaderSize> header{};   // ID length, colour map type, origins: 0
    header[2] = 2;                                   // image type: uncompressed true colour
    header[7] = 24;                                  // colour map entry size, written although unused
    PutWord(header, 12, width);
    PutWord(header, 14, height);
    header[16] = 24;                                 // pixel depth
    header[17] = 0;                                  // descriptor: origin bottom left, no alpha
    return header;
}

std::vector<uint8_t> TgaBytes(int width, int height, const std::vector<uint8_t>& rgbBottomUp) {
    const std::array<uint8_t, kTgaHeaderSize> header = TgaHeader(width, height);
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (rgbBottomUp.size() != n)
        throw std::invalid_argument("TGA pixel buffer holds " + std::to_string(rgbBottomUp.size()) +
                                    " bytes, expected " + std::to_string(n));
    std::vector<uint8_t> file(header.begin(), header.end());
    file.resize(kTgaHeaderSize + n);
    uint8_t* out = file.data() + kTgaHeaderSize;
    for (size_t i = 0; i < n; i += 3) {   // RGB -> BGR, rows keep their bottom-up order
        out[i] = rgbBottomUp[i + 2];
        out[i + 1] = rgbBottomUp[i + 1];
        out[i + 2] = rgbBottomUp[i];
    }
    return file;
}

}  // namespace tivarel
