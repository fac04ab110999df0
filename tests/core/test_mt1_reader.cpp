// MT1 binary maps: fixed byte offsets, little-endian decoding, section skips, atom records,
// the silent stop on a foreign record length, and input that must stop.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.mt1";

struct Mt1Atom {
    std::string label;   // four bytes, taken as they are
    std::array<float, 3> position;
};

struct Mt1File : CellMapContents {
    std::optional<std::array<int32_t, 3>> counts;   // written instead of n when set
    std::vector<Mt1Atom> atoms{{"C   ", {0.1f, 0.2f, 0.3f}}, {std::string("\x01\xff\0Z", 4), {0.5f, -0.25f, 1.125f}},
                               {"O1  ", {-0.75f, 0.875f, 0.0625f}}};
    std::optional<int32_t> atomCount;   // written instead of the number of atoms when set
    int32_t itemsPerRecord = 14;
};

// Little-endian words built with shifts, so the host's byte order plays no part.
void Word(std::string& out, uint32_t w) { for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i)); }
void Real(std::string& out, float v) { Word(out, std::bit_cast<uint32_t>(v)); }
// Skipped bytes: read as a float far above the value limit, as an int far above any count.
void Filler(std::string& out, int count) { out.append(size_t(count), '\x7f'); }
// Floats that are consumed but never looked at hold NaN, which the reader rejects in data.
void Unused(std::string& out, int count) { for (int i = 0; i < count; ++i) Real(out, std::nanf("")); }

std::string WriteMt1(const Mt1File& f) {
    std::string b;
    Filler(b, 38);
    for (const auto& row : f.matrix)
        for (float m : row) Real(b, m);
    for (float o : f.origin) Real(b, o);
    Filler(b, 6);
    for (float c : f.cell) Real(b, c);
    Filler(b, 6);
    for (const auto& [first, step] : f.axes) {
        Real(b, first);
        Real(b, step);
        Unused(b, 2);
    }
    Filler(b, 6);
    for (int32_t n : f.counts.value_or(f.n)) Word(b, uint32_t(n));
    for (int z = 1; z <= f.n[2]; ++z) {
        Filler(b, z == 1 ? 10 : 14);
        for (int x = 1; x <= f.n[0]; ++x)
            for (int y = 1; y <= f.n[1]; ++y) Real(b, f.value(x, y, z));
    }
    Filler(b, 6);
    Word(b, uint32_t(f.atomCount.value_or(int32_t(f.atoms.size()))));
    Word(b, uint32_t(f.itemsPerRecord));
    for (const Mt1Atom& atom : f.atoms) {
        Filler(b, 2);
        b += atom.label;
        Unused(b, 3);
        for (float p : atom.position) Real(b, p);
        Unused(b, 7);
    }
    return b;
}

void PutWord(std::string& b, size_t at, uint32_t w) { for (size_t i = 0; i < 4; ++i) b.at(at + i) = char(w >> (8 * i)); }

void ExpectMap(const Mt1File& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(CellFrame(f), f.atoms, [](const Mt1Atom& a) { return a.label; }, map);
}

TEST(Mt1Reader, ReadsEveryRecordFromMemoryAndDisk) {
    Mt1File f;
    f.n[2] = 4;   // 10 bytes skipped before the first section, 14 before the others
    ExpectMap(f, ParseMt1Map(WriteMt1(f), kPath));
    const std::string path = ::testing::TempDir() + "mt1_reader_test.mt1";
    std::ofstream(path, std::ios::binary) << WriteMt1(f);
    ExpectMap(f, ReadMt1Map(path));
    std::remove(path.c_str());
}

// The single-precision patterns of 1.0, 2.0 ... 12.0 written by hand at the offsets of: the
// first, second, fourth and ninth matrix float, the third origin float, a, gamma, the first
// y coordinate, the z step, the values (1, 1, 1) and (1, 2, 1), and atom 2's y. The counts
// are little-endian ints at 176.
TEST(Mt1Reader, FieldsSitAtTheirOffsets) {
    std::string b = WriteMt1(Mt1File{});   // 3 x 4 x 2: sections of 48 bytes at 198 and 260
    const std::array<std::pair<size_t, uint32_t>, 12> floats{
        {{38, 0x3f800000}, {42, 0x40000000}, {50, 0x40400000}, {70, 0x40800000}, {82, 0x40a00000}, {92, 0x40c00000},
         {112, 0x40e00000}, {138, 0x41000000}, {158, 0x41100000}, {198, 0x41200000}, {202, 0x41300000},
         {322 + 58 + 22, 0x41400000}}};
    for (const auto& [at, word] : floats) PutWord(b, at, word);
    const DensityMap map = ParseMt1Map(b, kPath);
    const std::array<float, 11> read{map.cellMatrix(1, 1), map.cellMatrix(1, 2), map.cellMatrix(2, 1), map.cellMatrix(3, 3),
                                     map.mapOrigin[2], map.cellParams[0], map.cellParams[5], map.gridParams(5),
                                     map.gridParams(9), map.grid(1, 1, 1), map.grid(1, 2, 1)};
    for (size_t k = 0; k < read.size(); ++k) EXPECT_EQ(read[k], float(k + 1)) << "field at " << floats[k].first;
    Mt1File f;   // atom 2 at y = 12 in the cell of the file as patched
    f.matrix[0][0] = 1.0f;
    f.matrix[0][1] = 2.0f;
    f.matrix[1][0] = 3.0f;
    f.matrix[2][2] = 4.0f;
    f.origin[2] = 5.0f;
    ExpectNearPoint(map.atoms.at(1).position, CellFrame(f).point(std::array{0.5f, 12.0f, 1.125f}), "atom 2");
    PutWord(b, 176, 4);
    PutWord(b, 180, 3);   // 4 x 3 x 2: the same values in other rows
    const DensityMap reshaped = ParseMt1Map(b, kPath);
    EXPECT_EQ((std::array{reshaped.grid.nx(), reshaped.grid.ny(), reshaped.grid.nz()}), (std::array{4, 3, 2}));
    EXPECT_EQ(reshaped.grid(1, 2, 1), 11.0f);
    EXPECT_EQ(reshaped.grid(2, 1, 1), map.grid(1, 4, 1));
}

// The record length is checked before any atom is read: with 14 these files, which hold
// no records at all, end early with a message; with any other length silently.
TEST(Mt1Reader, ARecordLengthOtherThan14EndsSilently) {
    for (int32_t items : {13, 15, 14}) {
        Mt1File f;
        f.atoms.clear();
        f.atomCount = 3;
        f.itemsPerRecord = items;
        const ProgramStop stop = StopFrom([&] { ParseMt1Map(WriteMt1(f), kPath); });
        EXPECT_EQ(stop.silent(), items != 14) << items << ": " << stop.what();
    }
    for (int32_t none : {0, -2, INT32_MIN}) {
        Mt1File f;
        f.atoms.clear();
        f.atomCount = none;
        ExpectMap(f, ParseMt1Map(WriteMt1(f), kPath));
    }
}

TEST(Mt1Reader, LimitValuesLoadAndValuesBeyondThemOrNaNStop) {
    Mt1File limits;
    limits.value = [](int x, int y, int z) { return x + y + z == 3 ? 10000.0f : x + y + z == 9 ? -10000.0f : 0.5f; };
    ExpectGrid(limits, ParseMt1Map(WriteMt1(limits), kPath));
    const auto withValue = [](float v) {
        Mt1File f;
        f.value = [v](int x, int y, int z) { return x == 2 && y == 3 && z == 2 ? v : DefaultValue(x, y, z); };
        return WriteMt1(f);
    };
    for (const auto& [v, message] : std::vector<std::pair<float, std::string>>{
             {std::nextafter(10000.0f, INFINITY), "Your input data looks strange, ZOL > 10000"},
             {INFINITY, "Your input data looks strange, ZOL > 10000"},
             {-10000.5f, "Your input data looks strange, ZOL < -10000"},
             {-INFINITY, "Your input data looks strange, ZOL < -10000"}})
        EXPECT_EQ(StopMessage([&] { ParseMt1Map(withValue(v), kPath); }), message) << v;
    // In a value, the origin and an atom position.
    for (uint32_t nan : {0x7fc00000u, 0xffc00000u, 0x7f800001u})
        for (size_t at : {size_t{260 + 20}, size_t{78}, size_t{322 + 2 * 58 + 22}}) {
            std::string b = WriteMt1(Mt1File{});
            PutWord(b, at, nan);
            ExpectHolds(StopMessage([&] { ParseMt1Map(b, kPath); }),
                        {"The map file " + kPath + " holds a value that is not a number (NaN) at byte " + std::to_string(at)});
        }
}

// 16384 x 16384 x 4 and 1024^3 values take 2^32 bytes, which a 32-bit size computation
// would take for 0; 3 x 4 x 9 needs more bytes than the file holds.
TEST(Mt1Reader, CountsOutsideOneTo32767OrTooLargeForTheFileStop) {
    const std::vector<std::pair<std::array<int32_t, 3>, std::string>> cases{
        {{0, 4, 2}, "nx = 0"}, {{3, -1, 2}, "ny = -1"}, {{3, 4, 32768}, "nz = 32768"}, {{INT32_MIN, 4, 2}, "nx = -2147483648"},
        {{3, INT32_MAX, 2}, "ny = 2147483647"}, {{32767, 32767, 32767}, "ends early"}, {{16384, 16384, 4}, "ends early"},
        {{1024, 1024, 1024}, "ends early"}, {{3, 4, 9}, "ends early"}};
    for (const auto& [counts, part] : cases) {
        Mt1File f;
        f.counts = counts;
        ExpectHolds(StopMessage([&] { ParseMt1Map(WriteMt1(f), kPath); }), {"The map file " + kPath + " ", part});
    }
    for (const auto& [count, part] : std::vector<std::pair<int32_t, std::string>>{{32768, "declares 32768 atoms"}, {4, "ends early"}}) {
        Mt1File f;
        f.atomCount = count;
        ExpectHolds(StopMessage([&] { ParseMt1Map(WriteMt1(f), kPath); }), {"The map file " + kPath + " ", part});
    }
    Mt1File largest;
    largest.n = {1, 32767, 1};
    largest.value = [](int, int y, int) { return float(y % 7) * 0.5f; };
    largest.atoms.clear();
    ExpectGrid(largest, ParseMt1Map(WriteMt1(largest), kPath));
}

}  // namespace
}  // namespace tivarel
