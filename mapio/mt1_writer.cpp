#include "mapio/mt1_writer.h"

#include <bit>
#include <cstdint>
#include <utility>

namespace tivarel {
namespace {

constexpr int32_t kRecordItems = 14;   // label + 3 + 3 + 7 numbers

class ByteWriter {
public:
    void zeros(size_t count) { bytes_.append(count, '\0'); }
    void int32(int32_t v) { word(static_cast<uint32_t>(v)); }
    void float32(float v) { word(std::bit_cast<uint32_t>(v)); }
    void label(const std::string& text) {
        std::string four = text.substr(0, 4);
        four.resize(4, ' ');
        bytes_ += four;
    }
    // Room for `count` bytes at the end, to be written through the pointer returned.
    char* extend(size_t count) {
        bytes_.resize(bytes_.size() + count);
        return bytes_.data() + bytes_.size() - count;
    }
    void reserve(size_t size) { bytes_.reserve(size); }
    std::string take() { return std::move(bytes_); }

    // Little-endian whatever the machine.
    static void PutWord(char* at, uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) *at++ = static_cast<char>((v >> shift) & 0xFFu);
    }

private:
    void word(uint32_t v) {
        char bytes[4];
        PutWord(bytes, v);
        bytes_.append(bytes, 4);
    }
    std::string bytes_;
};

// Offsets 0 to 188: skip, matrix row by row, origin, skip, cell, skip, axes, skip, counts.
void WriteHeader(ByteWriter& out, const Mt1Contents& map) {
    out.zeros(38);
    for (float v : map.cellMatrix.a) out.float32(v);
    for (int c = 0; c < 3; ++c) out.float32(map.mapOrigin[c]);
    out.zeros(6);
    for (float v : map.cellParams) out.float32(v);
    out.zeros(6);
    for (size_t axis = 0; axis < 3; ++axis) {   // first coordinate, step, two unused
        out.float32(map.first[axis]);
        out.float32(map.step[axis]);
        out.float32(0.0f);
        out.float32(0.0f);
    }
    out.zeros(6);
    out.int32(map.grid.nx());
    out.int32(map.grid.ny());
    out.int32(map.grid.nz());
}

// Each section's values, y running fastest: the section's bytes are made room for at once
// and filled a column of y at a time.
void WriteSections(ByteWriter& out, const DensityGrid& grid) {
    const size_t nx = static_cast<size_t>(grid.nx()), ny = static_cast<size_t>(grid.ny());
    for (int z = 1; z <= grid.nz(); ++z) {
        out.zeros(z == 1 ? 10 : 14);
        char* at = out.extend(4 * nx * ny);
        const float* section = grid.values().data() + grid.index(1, 1, z);
        for (size_t x = 0; x < nx; ++x)
            for (size_t y = 0; y < ny; ++y, at += 4) ByteWriter::PutWord(at, std::bit_cast<uint32_t>(section[x + nx * y]));
    }
}

void WriteAtoms(ByteWriter& out, const std::vector<Mt1Atom>& atoms) {
    out.zeros(6);
    out.int32(static_cast<int32_t>(atoms.size()));
    out.int32(kRecordItems);
    for (const Mt1Atom& atom : atoms) {
        out.zeros(2);
        out.label(atom.label);
        for (float v : atom.before) out.float32(v);
        for (int c = 0; c < 3; ++c) out.float32(atom.position[c]);
        for (float v : atom.after) out.float32(v);
    }
}

}  // namespace

std::string Mt1Bytes(const Mt1Contents& map) {
    ByteWriter out;
    out.reserve(200 + 14 * static_cast<size_t>(map.grid.nz()) + 4 * map.grid.values().size() +
                58 * map.atoms.size());
    WriteHeader(out, map);
    WriteSections(out, map.grid);
    WriteAtoms(out, map.atoms);
    return out.take();
}

}  // namespace tivarel
