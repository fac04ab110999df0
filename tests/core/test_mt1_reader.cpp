// MT1 binary maps: fixed byte offsets, little-endian decoding, section skips, atom records,
// the silent stop on a foreign record length, and input that must stop.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.mt1";

struct Mt1File : CellMapContents {
    // Labels are four bytes, taken as they are.
    std::vector<FileAtom> atoms{{"C   ", "C   ", {0.1, 0.2, 0.3}},
                                {std::string("\x01\xff\0Z", 4), std::string("\x01\xff\0Z", 4), {0.5, -0.25, 1.125}},
                                {"O1  ", "O1  ", {-0.75, 0.875, 0.0625}}};
};

// Little-endian words built with shifts, so the host's byte order plays no part.
void Word(std::string& out, uint32_t w) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i));
}
void Real(std::string& out, float v) { Word(out, std::bit_cast<uint32_t>(v)); }
// Skipped bytes: read as a float far above the value limit, as an int far above any count.
void Filler(std::string& out, int count) { out.append(size_t(count), '\x7f'); }
// Floats that are consumed but never looked at hold NaN, which the reader rejects in data.
void Unused(std::string& out, int count) {
    for (int i = 0; i < count; ++i) Real(out, std::nanf(""));
}

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
    for (int32_t n : f.n) Word(b, uint32_t(n));
    for (int z = 1; z <= f.n[2]; ++z) {
        Filler(b, z == 1 ? 10 : 14);
        for (int x = 1; x <= f.n[0]; ++x)
            for (int y = 1; y <= f.n[1]; ++y) Real(b, f.value(x, y, z));
    }
    Filler(b, 6);
    Word(b, uint32_t(f.atoms.size()));
    Word(b, 14);
    for (const FileAtom& atom : f.atoms) {
        Filler(b, 2);
        b += atom.text;
        Unused(b, 3);
        for (double p : atom.position) Real(b, float(p));
        Unused(b, 7);
    }
    return b;
}

// The default 3 x 4 x 2 file with the little-endian word `w` at byte `at`. Its counts lie at 176,
// 180 and 184; its sections of 48 bytes at 198 and 260; N and K at 314 and 318; its 58-byte atom
// records from 322, each with the position 18 bytes in.
std::string Patched(std::initializer_list<std::pair<size_t, uint32_t>> words) {
    std::string b = WriteMt1(Mt1File{});
    for (const auto& [at, w] : words)
        for (size_t i = 0; i < 4; ++i) b.at(at + i) = char(w >> (8 * i));
    return b;
}

void ExpectMap(const Mt1File& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(CellFrame(f), f.atoms, map);
}

// 10 bytes are skipped before the first section, 14 before the others. A record length other
// than 14 ends the program silently, before any atom is read.
TEST(Mt1Reader, ReadsEveryRecordAndNoAtomsBelowOne) {
    Mt1File f;
    f.n[2] = 4;
    ExpectMap(f, ParseMt1Map(WriteMt1(f), kPath));
    f.n[2] = 2;
    f.atoms.clear();
    for (int32_t none : {0, -2, INT32_MIN}) ExpectMap(f, ParseMt1Map(Patched({{314, uint32_t(none)}}), kPath));
    for (uint32_t items : {13u, 15u})
        EXPECT_TRUE(StopFrom([&] { ParseMt1Map(Patched({{318, items}}), kPath); }).silent());
    Mt1File largest;
    largest.n = {1, 32767, 1};
    largest.value = [](int, int y, int) { return float(y % 7) * 0.5f; };
    largest.atoms.clear();
    ExpectGrid(largest, ParseMt1Map(WriteMt1(largest), kPath));
    const DensityMap limits = ParseMt1Map(Patched({{198, 0x461c4000u}, {304, 0xc61c4000u}}), kPath);   // +-10000
    EXPECT_EQ(std::make_pair(limits.gridParams.minValue(), limits.gridParams.maxValue()),
              std::make_pair(-10000.0f, 10000.0f));
}

// 16384 x 16384 x 4 and 1024^3 values take 2^32 bytes, which a 32-bit size computation would
// take for 0; 3 x 4 x 9 needs more bytes than the file holds. Values just beyond the limits,
// infinite or NaN (also in the origin and an atom position) stop.
TEST(Mt1Reader, BadInputStopsWithAMessageNamingTheFileAndTheFault) {
    const std::string nan = "holds a value that is not a number (NaN) at byte ";
    const std::pair<std::string, std::string> cases[] = {
        {Patched({{176, 0}}), "declares nx = 0"},
        {Patched({{180, uint32_t(-1)}}), "declares ny = -1"},
        {Patched({{184, 32768}}), "declares nz = 32768"},
        {Patched({{176, 0x80000000u}}), "declares nx = -2147483648"},
        {Patched({{180, 0x7fffffffu}}), "declares ny = 2147483647"},
        {Patched({{176, 32767}, {180, 32767}, {184, 32767}}), "ends early"},
        {Patched({{176, 16384}, {180, 16384}, {184, 4}}), "ends early"},
        {Patched({{176, 1024}, {180, 1024}, {184, 1024}}), "ends early"},
        {Patched({{184, 9}}), "ends early"},
        {Patched({{314, 32768}}), "declares 32768 atoms"},
        {Patched({{314, 4}}), "ends early"},
        {Patched({{280, 0x7fc00000u}}), nan + "280"},
        {Patched({{78, 0xffc00000u}}), nan + "78"},
        {Patched({{322 + 2 * 58 + 22, 0x7f800001u}}), nan + "460"},
        {Patched({{280, 0x461c4001u}}), "Your input data looks strange, ZOL > 10000"},
        {Patched({{280, 0x7f800000u}}), "Your input data looks strange, ZOL > 10000"},
        {Patched({{280, 0xc61c4001u}}), "Your input data looks strange, ZOL < -10000"},
        {Patched({{280, 0xff800000u}}), "Your input data looks strange, ZOL < -10000"}};
    for (const auto& [bytes, part] : cases) ExpectHolds(StopMessage([&] { ParseMt1Map(bytes, kPath); }), {part});
    ExpectHolds(StopMessage([] { ParseMt1Map(Patched({{176, 0}}), kPath); }), {"The map file " + kPath + " "});
    ExpectHolds(StopMessage([] { ReadMt1Map("/nonexistent-tivarel-dir/missing.mt1"); }),
                {"/nonexistent-tivarel-dir/missing.mt1"});
}

}   // namespace
}   // namespace tivarel
