#include "mapio/mt1_reader.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "mapio/grid_counts.h"
#include "mapio/input_error.h"
#include "mapio/side_files.h"

namespace tivarel {
namespace {

// Items of an atom record; any other number ends the program without a message.
constexpr int32_t kRecordItems = 14;
constexpr uint64_t kAtomRecordBytes = 58;
constexpr uint64_t kFirstSectionSkip = 10;
constexpr uint64_t kLaterSectionSkip = 14;

// Sequential little-endian reads over the file's bytes, independent of host order.
class ByteReader {
public:
    ByteReader(std::string_view bytes, std::string fileName) : bytes_(bytes), fileName_(std::move(fileName)) {}

    void skip(uint64_t count, const char* what) {
        need(count, what);
        pos_ += static_cast<size_t>(count);
    }
    uint32_t readWord(const char* what) {
        need(4, what);
        uint32_t w = 0;
        for (size_t i = 0; i < 4; ++i) w |= uint32_t{static_cast<unsigned char>(bytes_[pos_ + i])} << (8 * i);
        pos_ += 4;
        return w;
    }
    int32_t readInt(const char* what) { return std::bit_cast<int32_t>(readWord(what)); }
    // A float stored and never computed with, such as the cell constants.
    float readStoredFloat(const char* what) { return std::bit_cast<float>(readWord(what)); }
    // A float the map computes with: NaN would slip through every range check later on.
    float readFloat(const char* what) {
        const size_t at = pos_;
        const float v = std::bit_cast<float>(readWord(what));
        if (std::isnan(v))
            fail(std::string("holds a value that is not a number (NaN) at byte ") + std::to_string(at) + " (" +
                 what + ")");
        return v;
    }
    std::string readBytes(size_t count, const char* what) {
        need(count, what);
        std::string text(bytes_.substr(pos_, count));
        pos_ += count;
        return text;
    }
    uint64_t remaining() const { return bytes_.size() - pos_; }

    // Throws "The map file <name> <problem>."
    [[noreturn]] void fail(const std::string& problem) const {
        Fail("The map file " + fileName_ + " " + problem + ".");
    }

private:
    void need(uint64_t count, const char* what) const {
        if (count > remaining()) fail(std::string("ends early (reading ") + what + ")");
    }

    std::string_view bytes_;
    std::string fileName_;
    size_t pos_ = 0;
};

// Offsets 0 to 122: cell matrix row by row, origin, cell constants.
void ReadCellRecords(ByteReader& in, DensityMap& map) {
    in.skip(38, "the file head");
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) map.cellMatrix(i, j) = in.readFloat("the cell matrix");
    for (int c = 0; c < 3; ++c) map.mapOrigin[c] = in.readFloat("the map origin");
    in.skip(2, "the bytes after the map origin");
    in.skip(4, "the bytes after the map origin");
    for (float& constant : map.cellParams) constant = in.readStoredFloat("the cell constants");
    in.skip(6, "the bytes after the cell constants");
}

// Offsets 122 to 176: per axis the first grid coordinate, the step and two floats not used.
void ReadAxes(ByteReader& in, GridParams& g) {
    for (int axis = 1; axis <= 3; ++axis) {
        g(3 + axis) = in.readFloat("the first grid coordinate");
        g(6 + axis) = in.readFloat("the grid step");
        in.skip(8, "the axis floats not used");
    }
    in.skip(6, "the bytes after the grid axes");
}

// From offset 188: nz sections, each after its skip, with y running fastest.
void ReadSections(ByteReader& in, DensityMap& map) {
    ValueAcceptor acceptor;
    DensityGrid& grid = map.grid;
    for (int z = 1; z <= grid.nz(); ++z) {
        in.skip(z == 1 ? kFirstSectionSkip : kLaterSectionSkip, "the head of a Z section");
        for (int x = 1; x <= grid.nx(); ++x)
            for (int y = 1; y <= grid.ny(); ++y)
                acceptor.accept(grid, x, y, z, in.readFloat("the Z section values"));
    }
    acceptor.store(map.gridParams);
}

// 58 bytes: skip, label as it is, 3 floats not used, the position, 7 floats not used.
AtomRecord ReadAtom(ByteReader& in) {
    AtomRecord atom;
    in.skip(2, "an atom record");
    atom.name = in.readBytes(4, "an atom label");
    in.skip(12, "an atom record");
    for (int c = 0; c < 3; ++c) atom.position[c] = in.readFloat("an atom position");
    in.skip(28, "an atom record");
    return atom;
}

void CheckAtomsFitFile(const ByteReader& in, int32_t count) {
    CheckAtomCount(in, count);
    const uint64_t needed = kAtomRecordBytes * uint64_t(count);
    if (needed > in.remaining())
        in.fail("ends early: its " + std::to_string(count) + " atoms need " + std::to_string(needed) +
                " more bytes, but only " + std::to_string(in.remaining()) + " remain");
}

// After the sections: skip, N, K, then the records. A count below 1 means no atoms.
void ReadAtoms(ByteReader& in, DensityMap& map) {
    in.skip(6, "the bytes before the atom list");
    const int32_t count = in.readInt("the atom count");
    const int32_t itemsPerRecord = in.readInt("the number of items per atom record");
    if (itemsPerRecord != kRecordItems) FailSilently();
    if (count < 1) return;
    CheckAtomsFitFile(in, count);
    map.atoms.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) map.atoms.push_back(ReadAtom(in));
}

}  // namespace

DensityMap ParseMt1Map(std::string_view bytes, const std::string& path) {
    ByteReader in(bytes, path);
    DensityMap map;
    ReadCellRecords(in, map);
    ReadAxes(in, map.gridParams);
    // The sections take 4 bytes a value plus their skips.
    ReadGridCounts(in, map, [](uint64_t nx, uint64_t ny, uint64_t nz) {
        return 4 * nx * ny * nz + kFirstSectionSkip + kLaterSectionSkip * (nz - 1);
    });
    ReadSections(in, map);
    ReadAtoms(in, map);
    FinishCellGeometry(map);
    return map;
}

DensityMap ReadMt1Map(const std::string& path) { return ParseMt1Map(FileBytes(path).view(), path); }

}  // namespace tivarel
