// MT1 binary maps: documented byte offsets, little-endian decoding, section skips,
// atom records, the silent stop on a foreign record length, and bad or cut files.
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
#include "mapio/fou_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.mt1";
const MapReader kReader{ParseMt1Map, ReadMt1Map, kPath};

// Skipped bytes hold this: read as a float it is far above the value limit, as an int
// far above any count, so a reader that takes a skip for data stops or reads wrong.
constexpr char kFiller = '\x7f';
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Mt1Atom {
    std::string label;  // four bytes
    std::array<float, 3> position;
};

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
class ByteWriter {
public:
    void filler(int count) { out_.append(size_t(count), kFiller); }
    void word(uint32_t w) {
        for (int i = 0; i < 4; ++i) out_ += static_cast<char>((w >> (8 * i)) & 0xffu);
    }
    void integer(int32_t v) { word(std::bit_cast<uint32_t>(v)); }
    void real(float v) { word(std::bit_cast<uint32_t>(v)); }
    // Floats the reader must consume but not look at: NaN, which it rejects in data.
    void unused(int count) {
        for (int i = 0; i < count; ++i) real(kNaN);
    }
    void text(const std::string& s) { out_ += s; }
    std::string bytes() const { return out_; }

private:
    std::string out_;
};

void WriteHeader(ByteWriter& w, const Mt1File& f) {
    w.filler(38);
    for (const auto& row : f.matrix)
        for (float m : row) w.real(m);
    for (float o : f.origin) w.real(o);
    w.filler(6);
    for (float c : f.cell) w.real(c);
    w.filler(6);
    for (const auto& axis : f.axes) {
        w.real(axis[0]);
        w.real(axis[1]);
        w.unused(2);
    }
    w.filler(6);
    const std::array<int32_t, 3> counts = f.counts.value_or(f.n);
    for (int32_t n : counts) w.integer(n);
}

void WriteSections(ByteWriter& w, const Mt1File& f) {
    for (int z = 1; z <= f.n[2]; ++z) {
        w.filler(z == 1 ? f.firstSectionSkip : f.laterSectionSkip);
        for (int x = 1; x <= f.n[0]; ++x)
            for (int y = 1; y <= f.n[1]; ++y) w.real(f.value(x, y, z));
    }
}

void WriteAtoms(ByteWriter& w, const Mt1File& f) {
    w.filler(6);
    w.integer(f.atomCount.value_or(int32_t(f.atoms.size())));
    w.integer(f.itemsPerRecord);
    for (const Mt1Atom& atom : f.atoms) {
        w.filler(2);
        w.text(atom.label);
        w.unused(3);
        for (float p : atom.position) w.real(p);
        w.unused(7);
    }
}

std::string WriteMt1(const Mt1File& f) {
    ByteWriter w;
    WriteHeader(w, f);
    WriteSections(w, f);
    WriteAtoms(w, f);
    return w.bytes();
}

DensityMap Parse(const Mt1File& f) { return ParseMt1Map(WriteMt1(f), kPath); }

ProgramStop StopOf(const std::string& bytes) { return test_support::StopOf(kReader, bytes); }

std::string StopMessage(const std::string& bytes) { return StopOf(bytes).what(); }

void ExpectMessageNames(const std::string& message, const std::string& part) {
    test_support::ExpectMessageNames(kReader, message, part);
}

// Independent little-endian decoding of the file's bytes.
uint32_t WordAt(const std::string& b, size_t at) {
    uint32_t w = 0;
    for (size_t i = 0; i < 4; ++i) w |= uint32_t(static_cast<unsigned char>(b.at(at + i))) << (8 * i);
    return w;
}
float FloatAt(const std::string& b, size_t at) { return std::bit_cast<float>(WordAt(b, at)); }

void PutBytes(std::string& b, size_t at, std::initializer_list<unsigned char> bytes) {
    for (unsigned char c : bytes) b.at(at++) = static_cast<char>(c);
}
void PutWord(std::string& b, size_t at, uint32_t w) {
    PutBytes(b, at, {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                     static_cast<unsigned char>(w >> 16), static_cast<unsigned char>(w >> 24)});
}

// Offsets of the documented layout, for counts n.
size_t SectionStart(const std::array<int, 3>& n, int z) {
    return 198 + size_t(z - 1) * (4 * size_t(n[0]) * size_t(n[1]) + 14);
}
size_t AtomBlockStart(const std::array<int, 3>& n) { return SectionStart(n, n[2]) + 4 * size_t(n[0]) * size_t(n[1]); }
size_t AtomRecordStart(const std::array<int, 3>& n, int i) { return AtomBlockStart(n) + 14 + 58 * size_t(i - 1); }

void ExpectAtomsAndCorners(const Mt1File& f, const DensityMap& map) {
    test_support::ExpectAtomsAndCorners(CellFrame(f), f.atoms, [](const Mt1Atom& a) { return a.label; }, map);
}

void ExpectMap(const Mt1File& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(f, map);
}

bool SameGrid(const DensityMap& a, const DensityMap& b) {
    return a.grid.nx() == b.grid.nx() && a.grid.ny() == b.grid.ny() && a.grid.nz() == b.grid.nz() &&
           a.grid.values() == b.grid.values();
}

// ---------------------------------------------------------------- layout

// Every load in these tests also holds NaN in the floats not used: they must be
// consumed, never looked at.
TEST(Mt1ReaderLayout, ReadsEveryRecordOfTheFile) {
    const Mt1File f;
    ExpectMap(f, Parse(f));
}

// Hand-written little-endian bytes at the documented offsets reach the documented fields.
TEST(Mt1ReaderLayout, FieldsSitAtTheirDocumentedOffsets) {
    const Mt1File f;  // 3 x 4 x 2
    std::string b = WriteMt1(f);
    PutBytes(b, 38, {0x00, 0x00, 0x80, 0x3f});   // 1.0: first matrix float
    PutBytes(b, 42, {0x00, 0x00, 0x00, 0x40});   // 2.0: second matrix float
    PutBytes(b, 50, {0x00, 0x00, 0x40, 0x40});   // 3.0: fourth matrix float
    PutBytes(b, 70, {0x00, 0x00, 0x80, 0x40});   // 4.0: ninth matrix float
    PutBytes(b, 82, {0x00, 0x00, 0xa0, 0x40});   // 5.0: third origin float
    PutBytes(b, 92, {0x00, 0x00, 0xc0, 0x40});   // 6.0: a
    PutBytes(b, 112, {0x00, 0x00, 0xe0, 0x40});  // 7.0: gamma
    PutBytes(b, 138, {0x00, 0x00, 0x00, 0x41});  // 8.0: first y coordinate
    PutBytes(b, 158, {0x00, 0x00, 0x10, 0x41});  // 9.0: z step
    PutBytes(b, 198, {0x00, 0x00, 0x20, 0x41});  // 10.0: first value
    PutBytes(b, 202, {0x00, 0x00, 0x30, 0x41});  // 11.0: second value
    const DensityMap map = ParseMt1Map(b, kPath);
    EXPECT_EQ(map.cellMatrix(1, 1), 1.0f);
    EXPECT_EQ(map.cellMatrix(1, 2), 2.0f);
    EXPECT_EQ(map.cellMatrix(2, 1), 3.0f);
    EXPECT_EQ(map.cellMatrix(3, 3), 4.0f);
    EXPECT_EQ(map.mapOrigin[2], 5.0f);
    EXPECT_EQ(map.cellParams[0], 6.0f);
    EXPECT_EQ(map.cellParams[5], 7.0f);
    EXPECT_EQ(map.gridParams(5), 8.0f);
    EXPECT_EQ(map.gridParams(9), 9.0f);
    EXPECT_EQ(map.grid(1, 1, 1), 10.0f);
    EXPECT_EQ(map.grid(1, 2, 1), 11.0f);
}

TEST(Mt1ReaderLayout, CountsAreLittleEndianIntsAtOffset176) {
    Mt1File f;
    f.n = {2, 6, 2};
    std::string b = WriteMt1(f);
    // Same number of values per section, read as 4 x 3 x 2.
    PutBytes(b, 176, {0x04, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
    const DensityMap map = ParseMt1Map(b, kPath);
    EXPECT_EQ(map.grid.nx(), 4);
    EXPECT_EQ(map.grid.ny(), 3);
    EXPECT_EQ(map.grid.nz(), 2);
    EXPECT_EQ(map.gridParams(1), 4.0f);
    EXPECT_EQ(map.gridParams(2), 3.0f);
    EXPECT_EQ(map.gridParams(3), 2.0f);
}

// Section z begins at 198 + (z - 1)(4 nx ny + 14), its values with y fastest.
TEST(Mt1ReaderLayout, EveryValueComesFromItsDocumentedOffset) {
    Mt1File f;
    f.n = {2, 5, 3};
    const std::string b = WriteMt1(f);
    const DensityMap map = ParseMt1Map(b, kPath);
    for (int z = 1; z <= f.n[2]; ++z)
        for (int x = 1; x <= f.n[0]; ++x)
            for (int y = 1; y <= f.n[1]; ++y) {
                const size_t at = SectionStart(f.n, z) + 4 * (size_t(x - 1) * size_t(f.n[1]) + size_t(y - 1));
                ASSERT_EQ(map.grid(x, y, z), FloatAt(b, at)) << x << "," << y << "," << z;
            }
    ExpectGrid(f, map);
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
    // With x one unit past the origin and y, z as written, p = M (1, y - oy, z - oz).
    Mt1File moved = f;
    moved.atoms[1].position[0] = f.origin[0] + 1.0f;
    ExpectNearPoint(map.atoms[1].position, CellFrame(moved).point(moved.atoms[1].position), "moved atom");
}

TEST(Mt1ReaderLayout, ReadsFromDisk) {
    const Mt1File f;
    ExpectMap(f, ReadThroughDisk(kReader, WriteMt1(f), "mt1_reader_test_map.mt1"));
}

// ---------------------------------------------------------------- section skips

TEST(Mt1ReaderSections, TenBytesBeforeTheFirstSectionAndFourteenBeforeTheOthers) {
    Mt1File f;
    f.n[2] = 4;
    ExpectMap(f, Parse(f));
}

TEST(Mt1ReaderSections, OtherSkipsDoNotLoadTheSame) {
    const struct {
        int first, later;
    } cases[] = {{10, 10}, {14, 14}, {14, 10}, {6, 14}};
    for (const auto& c : cases) {
        Mt1File f;
        f.n[2] = 3;
        const DensityMap expected = Parse(f);
        f.firstSectionSkip = c.first;
        f.laterSectionSkip = c.later;
        try {
            const DensityMap map = Parse(f);
            EXPECT_FALSE(SameGrid(map, expected)) << c.first << " then " << c.later;
        } catch (const ProgramStop&) {
        }
    }
}

// ---------------------------------------------------------------- atoms

TEST(Mt1ReaderAtoms, LabelsAreTakenAsTheyAre) {
    Mt1File f;
    f.atoms = {{"C   ", {0.5f, 0.5f, 0.5f}},
               {std::string("\x01\xff\0Z", 4), {0.25f, 0.5f, 0.75f}},
               {"  O ", {0.0f, 0.0f, 0.0f}},
               {"ABCD", {1.0f, 1.0f, 1.0f}},
               {"    ", {-0.5f, 2.0f, 0.125f}}};
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

// The record length is checked before any atom is read: these files hold no
// records at all, which would otherwise stop with a message.
TEST(Mt1ReaderAtoms, ARecordLengthOtherThan14EndsSilently) {
    for (int32_t items : {13, 15, 0, -14, INT32_MAX}) {
        Mt1File f;
        f.atoms.clear();
        f.atomCount = 3;
        f.itemsPerRecord = items;
        const ProgramStop stop = StopOf(WriteMt1(f));
        EXPECT_TRUE(stop.silent()) << items << ": " << stop.what();
    }
    Mt1File f;
    f.atoms.clear();
    f.atomCount = 3;
    const ProgramStop stop = StopOf(WriteMt1(f));
    EXPECT_FALSE(stop.silent());
    ExpectMessageNames(stop.what(), "ends early");
}

TEST(Mt1ReaderAtoms, TooManyAtomsStop) {
    Mt1File f;
    f.atomCount = 32768;
    ExpectMessageNames(StopMessage(WriteMt1(f)), "32768 atoms");
}

TEST(Mt1ReaderAtoms, FewerRecordsThanDeclaredStop) {
    for (int32_t count : {4, 32767}) {
        Mt1File f;
        f.atomCount = count;
        ExpectMessageNames(StopMessage(WriteMt1(f)), "ends early");
    }
}

// ---------------------------------------------------------------- density values

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

TEST(Mt1ReaderValues, NotANumberStopsWithAMessage) {
    const Mt1File f;
    const size_t value = SectionStart(f.n, 2) + 4 * 5;
    const size_t origin = 78;
    const size_t position = AtomRecordStart(f.n, 3) + 22;
    for (uint32_t nan : {0x7fc00000u, 0xffc00000u, 0x7f800001u, 0xffffffffu}) {
        for (size_t at : {value, origin, position}) {
            std::string b = WriteMt1(f);
            PutWord(b, at, nan);
            ExpectMessageNames(StopMessage(b), "NaN");
        }
    }
}

// ---------------------------------------------------------------- grid counts

TEST(Mt1ReaderCounts, CountsOutsideOneTo32767Stop) {
    const struct {
        std::array<int32_t, 3> counts;
        const char* named;
    } cases[] = {{{0, 4, 2}, "nx = 0"},           {{-5, 4, 2}, "nx = -5"},
                 {{3, -1, 2}, "ny = -1"},         {{3, 4, 0}, "nz = 0"},
                 {{3, 4, 32768}, "nz = 32768"},   {{INT32_MIN, 4, 2}, "nx = -2147483648"},
                 {{3, INT32_MAX, 2}, "ny = 2147483647"}};
    for (const auto& c : cases) {
        Mt1File f;
        f.counts = c.counts;
        ExpectMessageNames(StopMessage(WriteMt1(f)), c.named);
    }
}

TEST(Mt1ReaderCounts, LargestCountLoads) {
    Mt1File f;
    f.n = {1, 32767, 1};
    f.value = [](int, int y, int) { return float(y % 7) * 0.5f; };
    ExpectGrid(f, Parse(f));
}

// 16384 x 16384 x 4 and 1024^3 values take 2^32 bytes, which a 32-bit size computation
// would take for 0 (the skips of four sections fit the file); 3 x 4 x 9 needs more
// bytes than the whole file holds.
TEST(Mt1ReaderCounts, CountsTooLargeForTheFileStopBeforeAllocating) {
    const std::array<std::array<int32_t, 3>, 4> cases{
        {{32767, 32767, 32767}, {16384, 16384, 4}, {1024, 1024, 1024}, {3, 4, 9}}};
    for (const auto& counts : cases) {
        Mt1File f;
        f.counts = counts;
        ExpectMessageNames(StopMessage(WriteMt1(f)), "ends early");
    }
}

// ---------------------------------------------------------------- bad input

TEST(Mt1ReaderBadInput, MissingFileStops) {
    ExpectMissingFileStops(kReader, "/nonexistent-tivarel-dir/missing.mt1");
}

// Every cut, in the header, the sections, the counts or the atoms, stops with a message.
TEST(Mt1ReaderBadInput, EveryTruncationStops) {
    const std::string b = WriteMt1(Mt1File{});
    for (size_t cut = 0; cut < b.size(); ++cut) {
        const ProgramStop stop = StopOf(b.substr(0, cut));
        ExpectMessageNames(stop.what(), "ends early");
    }
    EXPECT_NO_THROW(ParseMt1Map(b, kPath));
}

TEST(Mt1ReaderBadInput, GarbageBytesStopOrLoad) {
    ParseEverySpoiledByte(kReader, WriteMt1(Mt1File{}), {'\0', '\xff', '\x80', '\x7f', '\x01', '\x40'});
}

TEST(Mt1ReaderBadInput, RandomBytesStopOrLoad) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string good = WriteMt1(Mt1File{});
    for (int n = 0; n < 500; ++n) {
        // Random tails after a sound header reach the counts, sections and atoms.
        std::string b = n % 2 == 0 ? std::string() : good.substr(0, 176);
        const size_t length = size_t(byte(random)) * 2;
        for (size_t i = 0; i < length; ++i) b += static_cast<char>(byte(random));
        try {
            ParseMt1Map(b, kPath);
        } catch (const ProgramStop&) {
        }
    }
}

// ---------------------------------------------------------------- the shipped sample

// The sample MT1 map holds exactly the header, grid and atoms of the sample FOU map.
TEST(Mt1ReaderSample, ReadsTheSameMapAsTheSampleFouFile) {
    const DensityMap fou = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    const DensityMap mt1 = ReadMt1Map(TIVAREL_SOURCE_DIR "/data/sample.mt1");
    EXPECT_EQ(mt1.cellMatrix.a, fou.cellMatrix.a);
    EXPECT_EQ(mt1.mapOrigin, fou.mapOrigin);
    EXPECT_EQ(mt1.cellParams, fou.cellParams);
    EXPECT_EQ(mt1.gridParams.p, fou.gridParams.p);
    EXPECT_TRUE(SameGrid(mt1, fou));
    EXPECT_EQ(mt1.cellCorners, fou.cellCorners);
    ASSERT_EQ(mt1.atoms.size(), fou.atoms.size());
    ASSERT_FALSE(fou.atoms.empty());
    for (size_t i = 0; i < fou.atoms.size(); ++i) {
        EXPECT_EQ(mt1.atoms[i].name, fou.atoms[i].name) << "atom " << i + 1;
        EXPECT_EQ(mt1.atoms[i].position, fou.atoms[i].position) << "atom " << i + 1;
    }
}

}  // namespace
}  // namespace tivarel
