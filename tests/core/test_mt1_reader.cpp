// MT1 binary maps: documented byte offsets, little-endian decoding, section skips,
// atom records, the silent stop on a foreign record length, and bad or cut files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "mapio/fou_reader.h"
#include "mapio/mt1_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

const std::string kPath = "/maps/test.mt1";

// Skipped bytes hold this: read as a float it is far above the value limit, as an int
// far above any count, so a reader that takes a skip for data stops or reads wrong.
constexpr char kFiller = '\x7f';
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Distinct for every grid point, negative and positive, so any mix-up of order shows.
float DefaultValue(int x, int y, int z) { return float(100 * x + 10 * y + z) - 250.25f; }

struct Mt1Atom {
    std::string label;  // four bytes
    std::array<float, 3> position;
};

// Everything an MT1 file holds, with the knobs the tests turn.
struct Mt1File {
    std::array<float, 9> matrix{5.5f, -3.125f, 1.25f, 0.5f, 5.375f, -0.75f, -0.25f, 0.125f, 7.5f};  // row by row
    std::array<float, 3> origin{0.125f, -0.25f, 0.5f};
    std::array<float, 6> cell{5.5f, 6.25f, 7.75f, 80.0f, 95.5f, 120.0f};
    std::array<std::array<float, 2>, 3> axes{{{-1.5f, 0.25f}, {0.5f, 0.375f}, {2.0f, 0.75f}}};  // first, step
    int nx = 3, ny = 4, nz = 2;
    std::optional<std::array<int32_t, 3>> counts;  // written instead of nx, ny, nz when set
    std::function<float(int, int, int)> value = DefaultValue;
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
    for (float m : f.matrix) w.real(m);
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
    const std::array<int32_t, 3> counts = f.counts.value_or(std::array<int32_t, 3>{f.nx, f.ny, f.nz});
    for (int32_t n : counts) w.integer(n);
}

void WriteSections(ByteWriter& w, const Mt1File& f) {
    for (int z = 1; z <= f.nz; ++z) {
        w.filler(z == 1 ? f.firstSectionSkip : f.laterSectionSkip);
        for (int x = 1; x <= f.nx; ++x)
            for (int y = 1; y <= f.ny; ++y) w.real(f.value(x, y, z));
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

// The stop of a file that must not load; fails the test when it loads.
ProgramStop StopOf(const std::string& bytes) {
    try {
        ParseMt1Map(bytes, kPath);
    } catch (const ProgramStop& stop) {
        return stop;
    }
    ADD_FAILURE() << "the map loaded";
    return ProgramStop("(loaded)");
}

std::string StopMessage(const std::string& bytes) { return StopOf(bytes).what(); }

void ExpectMessageNames(const std::string& message, const std::string& part) {
    EXPECT_NE(message.find(kPath), std::string::npos) << message;
    EXPECT_NE(message.find(part), std::string::npos) << message << " should hold " << part;
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

// Offsets of the documented layout.
size_t SectionStart(int nx, int ny, int z) { return 198 + size_t(z - 1) * (4 * size_t(nx) * size_t(ny) + 14); }
size_t AtomBlockStart(int nx, int ny, int nz) { return SectionStart(nx, ny, nz) + 4 * size_t(nx) * size_t(ny); }
size_t AtomRecordStart(int nx, int ny, int nz, int i) { return AtomBlockStart(nx, ny, nz) + 14 + 58 * size_t(i - 1); }

// Fractional point into the grid frame, computed in double: M * (f - origin).
std::array<double, 3> ExpectedGridPoint(const Mt1File& f, const std::array<float, 3>& frac) {
    std::array<double, 3> p{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) p[i] += double(f.matrix[3 * i + j]) * (double(frac[j]) - double(f.origin[j]));
    return p;
}

void ExpectNearPoint(const Vec3f& actual, const std::array<double, 3>& expected, const std::string& what) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(actual[c], expected[size_t(c)], 1e-5 * (1.0 + std::fabs(expected[size_t(c)])))
            << what << " component " << c;
}

void ExpectHeader(const Mt1File& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(map.cellMatrix(i, j), f.matrix[size_t(3 * (i - 1) + (j - 1))]);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(map.mapOrigin[c], f.origin[size_t(c)]);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(map.cellParams[k], f.cell[k]);
    const std::array<int, 3> counts{f.nx, f.ny, f.nz};
    for (int axis = 1; axis <= 3; ++axis) {
        EXPECT_EQ(map.gridParams(axis), float(counts[size_t(axis - 1)]));
        EXPECT_EQ(map.gridParams(3 + axis), f.axes[size_t(axis - 1)][0]);
        EXPECT_EQ(map.gridParams(6 + axis), f.axes[size_t(axis - 1)][1]);
    }
}

void ExpectGrid(const Mt1File& f, const DensityMap& map) {
    ASSERT_EQ(map.grid.nx(), f.nx);
    ASSERT_EQ(map.grid.ny(), f.ny);
    ASSERT_EQ(map.grid.nz(), f.nz);
    float lowest = INFINITY, highest = -INFINITY;
    for (int z = 1; z <= f.nz; ++z)
        for (int y = 1; y <= f.ny; ++y)
            for (int x = 1; x <= f.nx; ++x) {
                const float v = f.value(x, y, z);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                // x runs fastest in memory, then y, then z.
                const size_t slot = size_t(x - 1) + size_t(f.nx) * (size_t(y - 1) + size_t(f.ny) * size_t(z - 1));
                ASSERT_EQ(map.grid.values()[slot], v) << x << "," << y << "," << z;
            }
    EXPECT_EQ(map.gridParams.minValue(), lowest);
    EXPECT_EQ(map.gridParams.maxValue(), highest);
}

void ExpectAtomsAndCorners(const Mt1File& f, const DensityMap& map) {
    ASSERT_EQ(map.atoms.size(), f.atoms.size());
    for (size_t i = 0; i < f.atoms.size(); ++i) {
        EXPECT_EQ(map.atoms[i].name, f.atoms[i].label);
        ExpectNearPoint(map.atoms[i].position, ExpectedGridPoint(f, f.atoms[i].position), "atom " + std::to_string(i + 1));
    }
    const std::array<std::array<float, 3>, 8> corners{
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (size_t k = 0; k < 8; ++k)
        ExpectNearPoint(map.cellCorners[k], ExpectedGridPoint(f, corners[k]), "corner " + std::to_string(k + 1));
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
    f.nx = 2;
    f.ny = 6;
    f.nz = 2;
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
    f.nx = 2;
    f.ny = 5;
    f.nz = 3;
    const std::string b = WriteMt1(f);
    const DensityMap map = ParseMt1Map(b, kPath);
    for (int z = 1; z <= f.nz; ++z)
        for (int x = 1; x <= f.nx; ++x)
            for (int y = 1; y <= f.ny; ++y) {
                const size_t at = SectionStart(f.nx, f.ny, z) + 4 * (size_t(x - 1) * size_t(f.ny) + size_t(y - 1));
                ASSERT_EQ(map.grid(x, y, z), FloatAt(b, at)) << x << "," << y << "," << z;
            }
    ExpectGrid(f, map);
}

TEST(Mt1ReaderLayout, AtomRecordsSitAfterTheLastSection) {
    const Mt1File f;
    std::string b = WriteMt1(f);
    const size_t second = AtomRecordStart(f.nx, f.ny, f.nz, 2);
    ASSERT_EQ(b.size(), AtomRecordStart(f.nx, f.ny, f.nz, 4));
    b.replace(second + 2, 4, "Zn  ");
    PutWord(b, second + 18, std::bit_cast<uint32_t>(f.origin[0] + 1.0f));  // x one cell edge along
    const DensityMap map = ParseMt1Map(b, kPath);
    ASSERT_EQ(map.atoms.size(), 3u);
    EXPECT_EQ(map.atoms[1].name, "Zn  ");
    // With x one unit past the origin and y, z as written, p = M (1, y - oy, z - oz).
    Mt1File moved = f;
    moved.atoms[1].position[0] = f.origin[0] + 1.0f;
    ExpectNearPoint(map.atoms[1].position, ExpectedGridPoint(moved, moved.atoms[1].position), "moved atom");
}

TEST(Mt1ReaderLayout, ReadsFromDisk) {
    const Mt1File f;
    const std::string path = ::testing::TempDir() + "mt1_reader_test_map.mt1";
    std::ofstream(path, std::ios::binary) << WriteMt1(f);
    ExpectMap(f, ReadMt1Map(path));
    std::remove(path.c_str());
}

// ---------------------------------------------------------------- section skips

TEST(Mt1ReaderSections, TenBytesBeforeTheFirstSectionAndFourteenBeforeTheOthers) {
    Mt1File f;
    f.nz = 4;
    ExpectMap(f, Parse(f));
}

TEST(Mt1ReaderSections, OtherSkipsDoNotLoadTheSame) {
    const struct {
        int first, later;
    } cases[] = {{10, 10}, {14, 14}, {14, 10}, {6, 14}};
    for (const auto& c : cases) {
        Mt1File f;
        f.nz = 3;
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
    f.value = [](int x, int y, int z) {
        if (x == 1 && y == 1 && z == 1) return 10000.0f;
        if (x == 3 && y == 4 && z == 2) return -10000.0f;
        return DefaultValue(x, y, z);
    };
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.maxValue(), 10000.0f);
    EXPECT_EQ(map.gridParams.minValue(), -10000.0f);
    const struct {
        float value;
        const char* message;
    } cases[] = {{std::nextafter(10000.0f, INFINITY), "Your input data looks strange, ZOL > 10000"},
                 {INFINITY, "Your input data looks strange, ZOL > 10000"},
                 {-10000.5f, "Your input data looks strange, ZOL < -10000"},
                 {-INFINITY, "Your input data looks strange, ZOL < -10000"}};
    for (const auto& c : cases) {
        f.value = [&](int x, int y, int z) { return x == 2 && y == 3 && z == 2 ? c.value : DefaultValue(x, y, z); };
        EXPECT_EQ(StopMessage(WriteMt1(f)), c.message) << c.value;
    }
}

TEST(Mt1ReaderValues, NotANumberStopsWithAMessage) {
    const Mt1File f;
    const size_t value = SectionStart(f.nx, f.ny, 2) + 4 * 5;
    const size_t origin = 78;
    const size_t position = AtomRecordStart(f.nx, f.ny, f.nz, 3) + 22;
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
    f.nx = 1;
    f.ny = 32767;
    f.nz = 1;
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
    const std::string path = "/nonexistent-tivarel-dir/missing.mt1";
    try {
        ReadMt1Map(path);
        FAIL() << "a missing file loaded";
    } catch (const ProgramStop& stop) {
        EXPECT_NE(std::string(stop.what()).find(path), std::string::npos) << stop.what();
    }
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
    const std::string b = WriteMt1(Mt1File{});
    for (size_t at = 0; at < b.size(); ++at) {
        for (const char garbage : {'\0', '\xff', '\x80', '\x7f', '\x01', '\x40'}) {
            std::string spoiled = b;
            spoiled[at] = garbage;
            try {
                ParseMt1Map(spoiled, kPath);
            } catch (const ProgramStop&) {
            }
        }
    }
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
