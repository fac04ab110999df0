// MT1 binary maps: fixed byte offsets, little-endian decoding, section skips, atom
// records, the silent stop on a foreign record length, and bad or cut files.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/mt1_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.mt1";
const MapReader kReader{ParseMt1Map, ReadMt1Map, kPath};

// Skipped bytes hold this: read as a float it is far above the value limit, as an int far
// above any count, so a reader that takes a skip for data stops or reads wrong.
constexpr char kFiller = '\x7f';

struct Mt1Atom { std::string label; std::array<float, 3> position; };  // a four-byte label

// Everything an MT1 file holds, with the knobs the tests turn.
struct Mt1File : CellMapContents {
    std::optional<std::array<int32_t, 3>> counts;  // written instead of n when set
    std::vector<Mt1Atom> atoms{{"C   ", {0.1f, 0.2f, 0.3f}}, {"Fe  ", {0.5f, -0.25f, 1.125f}},
                               {"O1  ", {-0.75f, 0.875f, 0.0625f}}};
    std::optional<int32_t> atomCount;  // written instead of the number of atoms when set
    int32_t itemsPerRecord = 14;
    int firstSectionSkip = 10;
    int laterSectionSkip = 14;
};

// Little-endian bytes, built with shifts so the host's byte order plays no part.
void Word(std::string& out, uint32_t w) { for (int i = 0; i < 4; ++i) out += static_cast<char>(w >> (8 * i)); }
void Real(std::string& out, float v) { Word(out, std::bit_cast<uint32_t>(v)); }
void Filler(std::string& out, int count) { out.append(size_t(count), kFiller); }
// Floats the reader must consume but not look at: NaN, which it rejects in data.
void Unused(std::string& out, int count) {
    for (int i = 0; i < count; ++i) Real(out, std::numeric_limits<float>::quiet_NaN());
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
        for (float v : {first, step}) Real(b, v);
        Unused(b, 2);
    }
    Filler(b, 6);
    for (int32_t n : f.counts.value_or(f.n)) Word(b, std::bit_cast<uint32_t>(n));
    for (int z = 1; z <= f.n[2]; ++z) {
        Filler(b, z == 1 ? f.firstSectionSkip : f.laterSectionSkip);
        for (int x = 1; x <= f.n[0]; ++x)
            for (int y = 1; y <= f.n[1]; ++y) Real(b, f.value(x, y, z));
    }
    Filler(b, 6);
    Word(b, std::bit_cast<uint32_t>(f.atomCount.value_or(int32_t(f.atoms.size()))));
    Word(b, std::bit_cast<uint32_t>(f.itemsPerRecord));
    for (const Mt1Atom& atom : f.atoms) {
        Filler(b, 2);
        b += atom.label;
        Unused(b, 3);
        for (float p : atom.position) Real(b, p);
        Unused(b, 7);
    }
    return b;
}

DensityMap Parse(const Mt1File& f) { return ParseMt1Map(WriteMt1(f), kPath); }

// The message of a file that must not load, checked to name the file and `part`.
void ExpectStopNames(const std::string& bytes, const std::string& part) {
    ExpectMessageNames(kReader, StopOf(kReader, bytes).what(), part);
}

// Independent little-endian decoding and patching of the file's bytes.
float FloatAt(const std::string& b, size_t at) {
    uint32_t w = 0;
    for (size_t i = 0; i < 4; ++i) w |= uint32_t(static_cast<unsigned char>(b.at(at + i))) << (8 * i);
    return std::bit_cast<float>(w);
}
void PutWord(std::string& b, size_t at, uint32_t w) {
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(w >> (8 * i));
}

// Offsets of the MT1 layout, for counts n: section z begins at
// 198 + (z - 1)(4 nx ny + 14); the atom records follow the last one after 14 bytes.
size_t SectionStart(const std::array<int, 3>& n, int z) { return 198 + size_t(z - 1) * (4 * size_t(n[0] * n[1]) + 14); }
size_t AtomRecordStart(const std::array<int, 3>& n, int i) {
    return SectionStart(n, n[2]) + 4 * size_t(n[0] * n[1]) + 14 + 58 * size_t(i - 1);
}

void ExpectAtomsAndCorners(const Mt1File& f, const DensityMap& map) {
    test_support::ExpectAtomsAndCorners(CellFrame(f), f.atoms, [](const Mt1Atom& a) { return a.label; }, map);
}

void ExpectMap(const Mt1File& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(f, map);
}

// ---------------------------------------------------------------- layout

// Four sections: 10 bytes skipped before the first, 14 before the others. Every load in
// these tests also holds NaN in the floats not used: they are consumed, never looked at.
TEST(Mt1ReaderLayout, ReadsEveryRecordFromMemoryAndDisk) {
    Mt1File f;
    f.n[2] = 4;
    ExpectMap(f, Parse(f));
    ExpectMap(f, ReadThroughDisk(kReader, WriteMt1(f), "mt1_reader_test_map.mt1"));
}

// Hand-written little-endian bytes at their offsets reach the fields they belong to.
TEST(Mt1ReaderLayout, FieldsSitAtTheirOffsets) {
    std::string b = WriteMt1(Mt1File{});  // 3 x 4 x 2
    // The single-precision patterns of 1.0, 2.0 ... 11.0 at the offsets of: the first, second,
    // fourth and ninth matrix float, the third origin float, a, gamma, the first y
    // coordinate, the z step, and the first two values.
    const std::array<std::pair<size_t, uint32_t>, 11> floats{{{38, 0x3f800000}, {42, 0x40000000}, {50, 0x40400000},
                                                              {70, 0x40800000}, {82, 0x40a00000}, {92, 0x40c00000},
                                                              {112, 0x40e00000}, {138, 0x41000000}, {158, 0x41100000},
                                                              {198, 0x41200000}, {202, 0x41300000}}};
    for (const auto& [at, word] : floats) PutWord(b, at, word);
    const DensityMap map = ParseMt1Map(b, kPath);
    const std::array<float, 11> read{map.cellMatrix(1, 1), map.cellMatrix(1, 2), map.cellMatrix(2, 1),
                                     map.cellMatrix(3, 3), map.mapOrigin[2],     map.cellParams[0],
                                     map.cellParams[5],    map.gridParams(5),    map.gridParams(9),
                                     map.grid(1, 1, 1),    map.grid(1, 2, 1)};
    for (size_t k = 0; k < read.size(); ++k) EXPECT_EQ(read[k], float(k + 1)) << "field at " << floats[k].first;
}

// The counts are little-endian ints at 176; every value comes from its own offset,
// with y fastest in a section. Same number of values per section, read as 4 x 3 x 2.
TEST(Mt1ReaderLayout, CountsAt176AndEveryValueFromItsOffset) {
    Mt1File f;
    f.n = {2, 6, 2};
    std::string b = WriteMt1(f);
    for (size_t axis = 0; axis < 3; ++axis) PutWord(b, 176 + 4 * axis, uint32_t(4 - axis));
    const DensityMap map = ParseMt1Map(b, kPath);
    const std::array<int, 3> n{4, 3, 2};
    ASSERT_EQ((std::array{map.grid.nx(), map.grid.ny(), map.grid.nz()}), n);
    EXPECT_EQ((std::array{map.gridParams(1), map.gridParams(2), map.gridParams(3)}), (std::array{4.0f, 3.0f, 2.0f}));
    for (int z = 1; z <= n[2]; ++z)
        for (int x = 1; x <= n[0]; ++x)
            for (int y = 1; y <= n[1]; ++y) {
                const size_t at = SectionStart(n, z) + 4 * (size_t(x - 1) * size_t(n[1]) + size_t(y - 1));
                ASSERT_EQ(map.grid(x, y, z), FloatAt(b, at)) << x << "," << y << "," << z;
            }
}

TEST(Mt1ReaderLayout, AtomRecordsSitAfterTheLastSection) {
    const Mt1File f;
    std::string b = WriteMt1(f);
    const size_t second = AtomRecordStart(f.n, 2);
    ASSERT_EQ(b.size(), AtomRecordStart(f.n, 4));
    b.replace(second + 2, 4, "Zn  ");
    PutWord(b, second + 18, std::bit_cast<uint32_t>(f.origin[0] + 1.0f));  // x one cell edge along
    const DensityMap map = ParseMt1Map(b, kPath);
    ASSERT_EQ(map.atoms.size(), 3u);
    EXPECT_EQ(map.atoms[1].name, "Zn  ");
    Mt1File moved = f;
    moved.atoms[1].position[0] = f.origin[0] + 1.0f;
    ExpectNearPoint(map.atoms[1].position, CellFrame(moved).point(moved.atoms[1].position), "moved atom");
}

TEST(Mt1ReaderLayout, OtherSectionSkipsDoNotLoadTheSame) {
    Mt1File f;
    f.n[2] = 3;
    const DensityMap expected = Parse(f);
    for (const auto& [first, later] : {std::pair{10, 10}, std::pair{14, 14}, std::pair{14, 10}, std::pair{6, 14}}) {
        f.firstSectionSkip = first;
        f.laterSectionSkip = later;
        try {
            EXPECT_NE(Parse(f).grid.values(), expected.grid.values()) << first << " then " << later;
        } catch (const ProgramStop&) {
        }
    }
}

// ---------------------------------------------------------------- atoms

TEST(Mt1ReaderAtoms, LabelsAreTakenAsTheyAre) {
    Mt1File f;
    f.atoms = {{"C   ", {0.5f, 0.5f, 0.5f}}, {std::string("\x01\xff\0Z", 4), {0.25f, 0.5f, 0.75f}},
               {"  O ", {0.0f, 0.0f, 0.0f}}, {"ABCD", {1.0f, 1.0f, 1.0f}}, {"    ", {-0.5f, 2.0f, 0.125f}}};
    ExpectAtomsAndCorners(f, Parse(f));
}

TEST(Mt1ReaderAtoms, NoAtomsStillGiveTheCellCorners) {
    for (int32_t count : {0, -2, INT32_MIN}) {
        Mt1File f;
        f.atoms.clear();
        f.atomCount = count;
        ExpectMap(f, Parse(f));
    }
}

// The record length is checked before any atom is read: these files hold no records at
// all, which with 14 stops with a message.
TEST(Mt1ReaderAtoms, ARecordLengthOtherThan14EndsSilently) {
    for (int32_t items : {13, 15, 0, -14, INT32_MAX, 14}) {
        Mt1File f;
        f.atoms.clear();
        f.atomCount = 3;
        f.itemsPerRecord = items;
        const ProgramStop stop = StopOf(kReader, WriteMt1(f));
        EXPECT_EQ(stop.silent(), items != 14) << items << ": " << stop.what();
        if (items == 14) ExpectMessageNames(kReader, stop.what(), "ends early");
    }
}

TEST(Mt1ReaderAtoms, AtomCountsTheFileCannotHoldStop) {
    for (const auto& [count, part] : std::vector<std::pair<int32_t, std::string>>{
             {32768, "32768 atoms"}, {4, "ends early"}, {32767, "ends early"}}) {
        Mt1File f;
        f.atomCount = count;
        ExpectStopNames(WriteMt1(f), part);
    }
}

// ---------------------------------------------------------------- values and counts

TEST(Mt1ReaderValues, LimitValuesAreAcceptedAndBeyondThemStop) {
    Mt1File f;
    f.value = ValueAtLimits;
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.maxValue(), 10000.0f);
    EXPECT_EQ(map.gridParams.minValue(), -10000.0f);
    const ValueCase cases[] = {{std::nextafter(10000.0f, INFINITY), "Your input data looks strange, ZOL > 10000"},
                               {INFINITY, "Your input data looks strange, ZOL > 10000"},
                               {-10000.5f, "Your input data looks strange, ZOL < -10000"},
                               {-INFINITY, "Your input data looks strange, ZOL < -10000"}};
    ExpectValuesStop(kReader, WriteMt1, cases);
}

// In a value, the origin and an atom position.
TEST(Mt1ReaderValues, NotANumberStopsWithAMessage) {
    const Mt1File f;
    for (uint32_t nan : {0x7fc00000u, 0xffc00000u, 0x7f800001u, 0xffffffffu})
        for (size_t at : {SectionStart(f.n, 2) + 4 * 5, size_t{78}, AtomRecordStart(f.n, 3) + 22}) {
            std::string b = WriteMt1(f);
            PutWord(b, at, nan);
            ExpectStopNames(b, "NaN");
        }
}

// Counts outside 1..32767 are named; 16384 x 16384 x 4 and 1024^3 values take 2^32 bytes,
// which a 32-bit size computation would take for 0, and 3 x 4 x 9 needs more bytes than
// the file holds: all stop before allocating.
TEST(Mt1ReaderCounts, CountsOutsideOneTo32767OrTooLargeForTheFileStop) {
    const std::vector<std::pair<std::array<int32_t, 3>, std::string>> cases{
        {{0, 4, 2}, "nx = 0"},          {{-5, 4, 2}, "nx = -5"},
        {{3, -1, 2}, "ny = -1"},        {{3, 4, 0}, "nz = 0"},
        {{3, 4, 32768}, "nz = 32768"},  {{INT32_MIN, 4, 2}, "nx = -2147483648"},
        {{3, INT32_MAX, 2}, "ny = 2147483647"},
        {{32767, 32767, 32767}, "ends early"}, {{16384, 16384, 4}, "ends early"},
        {{1024, 1024, 1024}, "ends early"},    {{3, 4, 9}, "ends early"}};
    for (const auto& [counts, part] : cases) {
        Mt1File f;
        f.counts = counts;
        ExpectStopNames(WriteMt1(f), part);
    }
}

TEST(Mt1ReaderCounts, LargestCountLoads) {
    Mt1File f;
    f.n = {1, 32767, 1};
    f.value = [](int, int y, int) { return float(y % 7) * 0.5f; };
    ExpectGrid(f, Parse(f));
}

// ---------------------------------------------------------------- bad input

// Every cut, in the header, the sections, the counts or the atoms, stops with a message.
TEST(Mt1ReaderBadInput, MissingOrCutFilesStop) {
    ExpectMissingFileStops(kReader, "/nonexistent-tivarel-dir/missing.mt1");
    const std::string b = WriteMt1(Mt1File{});
    for (size_t cut = 0; cut < b.size(); ++cut) ExpectStopNames(b.substr(0, cut), "ends early");
    EXPECT_NO_THROW(ParseMt1Map(b, kPath));
}

// Spoiled bytes, random bytes and random tails after a sound header (reaching the counts,
// sections and atoms) stop with a message or load.
TEST(Mt1ReaderBadInput, GarbageBytesStopOrLoad) {
    const std::string good = WriteMt1(Mt1File{});
    ParseEverySpoiledByte(kReader, good, {'\0', '\xff', '\x80', '\x7f', '\x01', '\x40'});
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 500; ++n) {
        std::string b = n % 2 == 0 ? std::string() : good.substr(0, 176);
        for (size_t i = 0, length = size_t(byte(random)) * 2; i < length; ++i) b += static_cast<char>(byte(random));
        try {
            ParseMt1Map(b, kPath);
        } catch (const ProgramStop&) {
        }
    }
}

}  // namespace
}  // namespace tivarel
