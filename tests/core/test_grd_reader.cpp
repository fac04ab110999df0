// GRD text maps: the box frame (identity matrix, grid from zero, origin at the box
// corner), fixed-column atom lines, values with x fastest, and bad or cut files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

using namespace test_support;

const MapReader kReader{ParseGrdMap, ReadGrdMap, "/maps/test.grd"};
constexpr std::array<int, 3> kFieldStart{10, 20, 30};
constexpr int kFieldWidth = 9;

// Writes `text` into a line from 1-based column `first` on, padding with blanks.
void PlaceAt(std::string& line, int first, const std::string& text) {
    const size_t at = size_t(first - 1);
    if (line.size() < at + text.size()) line.resize(at + text.size(), ' ');
    line.replace(at, text.size(), text);
}

// One atom line and what it must give: the stored label and the box position.
struct GrdAtom {
    std::string line;
    std::string name;
    std::array<double, 3> position;
};

// An atom line with the element from column 1 and each coordinate text `shift`
// columns into its nine-column field (right-justified when shift is negative).
GrdAtom Atom(const std::string& element, const std::array<std::string, 3>& fields, int shift = -1) {
    GrdAtom atom{element, element.substr(0, 1) + "   ", {}};
    for (size_t a = 0; a < 3; ++a) {
        const int inField = shift < 0 ? kFieldWidth - int(fields[a].size()) : shift;
        PlaceAt(atom.line, kFieldStart[a] + inField, fields[a]);
        atom.position[a] = std::strtod(fields[a].c_str(), nullptr);  // tests with odd fields set it themselves
    }
    return atom;
}

// Everything a GRD file holds, with the knobs the tests turn.
struct GrdFile {
    std::array<int, 3> n{4, 3, 2};
    std::string counts;  // written instead of "nx ny nz" when set
    std::array<float, 3> centre{2.0f, -1.0f, 4.5f};
    std::array<float, 3> length{3.0f, 5.0f, 7.0f};
    std::vector<GrdAtom> atoms{Atom("C", {"1.000", "2.000", "3.000"}), Atom("Fe", {"-0.5", "12.25", "0"}),
                               Atom("O", {"1e-1", "+2.5", "-3.75E1"})};
    std::string atomCount;  // written instead of the number of atoms when set
    std::function<float(int, int, int)> value = DefaultValue;
    std::string lineEnd = "\r\n";
    std::string separator = " ";
    int valuesPerLine = 10;
};

class GrdWriter {
public:
    explicit GrdWriter(const GrdFile& f) : f_(f) {}

    std::string write() {
        line("GRD test map");
        line("12 34 56");  // titles that would read as numbers if they were not skipped
        line("third title line");
        line("Grid points nx ny nz; box centre; box lengths");
        line(f_.counts.empty() ? numbers({float(f_.n[0]), float(f_.n[1]), float(f_.n[2])}) : f_.counts);
        line(numbers({f_.centre[0], f_.centre[1], f_.centre[2]}));
        line(numbers({f_.length[0], f_.length[1], f_.length[2]}));
        line("Atoms");
        line(f_.atomCount.empty() ? std::to_string(f_.atoms.size()) : f_.atomCount);
        for (const GrdAtom& atom : f_.atoms) line(atom.line);
        line("Density");
        line("x fastest, then y, then z");
        line("1 2 3 values");
        values();
        return out_;
    }

private:
    void values() {
        std::vector<float> row;
        for (int z = 1; z <= f_.n[2]; ++z)
            for (int y = 1; y <= f_.n[1]; ++y)
                for (int x = 1; x <= f_.n[0]; ++x) {
                    row.push_back(f_.value(x, y, z));
                    if (int(row.size()) < f_.valuesPerLine) continue;
                    line(numbers(row));
                    row.clear();
                }
        if (!row.empty()) line(numbers(row));
    }
    std::string numbers(const std::vector<float>& values) const {
        std::string text;
        for (size_t i = 0; i < values.size(); ++i) text += (i > 0 ? f_.separator : "") + NumberText(values[i]);
        return text;
    }
    void line(const std::string& text) { out_ += text + f_.lineEnd; }

    const GrdFile& f_;
    std::string out_;
};

std::string WriteGrd(const GrdFile& f) { return GrdWriter(f).write(); }

DensityMap Parse(const GrdFile& f) { return kReader.parse(WriteGrd(f), kReader.path); }

std::string StopMessage(const std::string& text) { return StopOf(kReader, text).what(); }

void ExpectMessageNames(const std::string& message, const std::string& part) {
    test_support::ExpectMessageNames(kReader, message, part);
}

// The box frame: identity matrix, origin at the box corner centre - L/2, in double.
GridFrame BoxFrame(const GrdFile& f) {
    GridFrame frame;
    for (size_t a = 0; a < 3; ++a) {
        frame.matrix[a][a] = 1.0;
        frame.origin[a] = double(f.centre[a]) - double(f.length[a]) / 2.0;
    }
    return frame;
}

// Identity matrix, unit constants, grid from 0 to L, origin at the box corner.
void ExpectBoxFrame(const GrdFile& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(map.cellMatrix(i, j), i == j ? 1.0f : 0.0f) << i << "," << j;
    for (float c : map.cellParams) EXPECT_EQ(c, 1.0f);
    const std::array<double, 3> corner = BoxFrame(f).origin;
    for (int a = 1; a <= 3; ++a) {
        const size_t k = size_t(a - 1);
        EXPECT_EQ(map.gridParams(a), float(f.n[k]));
        EXPECT_EQ(map.gridParams(3 + a), 0.0f);
        EXPECT_NEAR(map.gridParams(6 + a), double(f.length[k]) / (f.n[k] - 1), 1e-6 * f.length[k]);
        EXPECT_NEAR(GridPointCoordinate(map.gridParams, a, f.n[k]), f.length[k], 1e-5 * f.length[k]);
        EXPECT_NEAR(map.mapOrigin[a - 1], corner[k], 1e-6 * (1.0 + std::fabs(corner[k])));
    }
}

// Atoms moved by minus the box corner; the cell a unit cube with its first corner there.
void ExpectAtomsAndCorners(const GrdFile& f, const DensityMap& map) {
    test_support::ExpectAtomsAndCorners(BoxFrame(f), f.atoms, [](const GrdAtom& a) { return a.name; }, map);
}

void ExpectMap(const GrdFile& f, const DensityMap& map) {
    ExpectBoxFrame(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(f, map);
}

// ---------------------------------------------------------------- layout and box

TEST(GrdReaderLayout, ReadsEveryRecordOfTheFile) {
    const GrdFile f;
    ExpectMap(f, Parse(f));
}

TEST(GrdReaderLayout, LineEndsAndSeparatorsReadTheSame) {
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        for (const std::string separator : {" ", ",", "  \t", " , "}) {
            for (int perLine : {1, 7, 30}) {
                GrdFile f;
                f.lineEnd = eol;
                f.separator = separator;
                f.valuesPerLine = perLine;
                ExpectMap(f, Parse(f));
            }
        }
    }
}

// x runs fastest in the file: the first values are (1,1,1), (2,1,1), ... and
// the (nx + 1)-th is (1,2,1).
TEST(GrdReaderLayout, ValuesRunWithXFastest) {
    GrdFile f;
    f.n = {3, 2, 2};
    f.value = [](int x, int y, int z) { return float(x + 3 * (y - 1) + 6 * (z - 1)); };  // file order 1..12
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.grid(2, 1, 1), 2.0f);
    EXPECT_EQ(map.grid(1, 2, 1), 4.0f);
    EXPECT_EQ(map.grid(1, 1, 2), 7.0f);
    EXPECT_EQ(map.grid(3, 2, 2), 12.0f);
    EXPECT_EQ(map.gridParams.minValue(), 1.0f);
    EXPECT_EQ(map.gridParams.maxValue(), 12.0f);
}

TEST(GrdReaderLayout, TwentyOnePointsOverTenGiveHalfSteps) {
    GrdFile f;
    f.n = {21, 2, 3};
    f.length = {10.0f, 4.0f, 1.0f};
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.dx(), 0.5f);
    for (int k = 1; k <= 21; ++k) EXPECT_EQ(GridPointCoordinate(map.gridParams, 1, k), 0.5f * float(k - 1));
    EXPECT_EQ(GridPointCoordinate(map.gridParams, 1, 21), 10.0f);
    EXPECT_EQ(map.gridParams.dy(), 4.0f);
    EXPECT_EQ(map.gridParams.dz(), 0.5f);
}

TEST(GrdReaderLayout, ABoxCentredAtItsHalfLengthsKeepsAtomsInPlace) {
    GrdFile f;
    f.centre = {5.0f, 5.0f, 5.0f};
    f.length = {10.0f, 10.0f, 10.0f};
    f.atoms = {Atom("C", {"5", "5.0", "5.000"})};
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.mapOrigin, (Vec3f{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(map.atoms.at(0).position, (Vec3f{5.0f, 5.0f, 5.0f}));
    EXPECT_EQ(map.cellCorners[6], (Vec3f{1.0f, 1.0f, 1.0f}));
}

TEST(GrdReaderLayout, ReadsFromDisk) {
    const GrdFile f;
    ExpectMap(f, ReadThroughDisk(kReader, WriteGrd(f), "grd_reader_test_map.grd"));
}

TEST(GrdReaderLayout, AnAxisWithOnePointStops) {
    const std::array<const char*, 3> axes{"along x", "along y", "along z"};
    for (size_t a = 0; a < 3; ++a) {
        GrdFile f;
        f.n[a] = 1;
        ExpectMessageNames(StopMessage(WriteGrd(f)), axes[a]);
    }
}

// ---------------------------------------------------------------- atom lines

TEST(GrdReaderAtoms, NumbersAnywhereInTheirFieldsReadTheSame) {
    for (int shift : {0, 1, 2, 3, 4, -1}) {
        GrdFile f;
        f.atoms = {Atom("C", {"1.000", "2.000", "3.000"}, shift)};
        const DensityMap map = Parse(f);
        ASSERT_EQ(map.atoms.size(), 1u);
        EXPECT_EQ(map.atoms[0].name, "C   ");
        ExpectAtomsAndCorners(f, map);
    }
}

TEST(GrdReaderAtoms, FieldsAreReadLeniently) {
    GrdFile f;
    GrdAtom inner = Atom("N", {"1 5", "\t2.5\t", "-  0.25"}, 1);
    inner.position = {15.0, 2.5, -0.25};
    GrdAtom junk = Atom("S", {"7.5xyz", "abc", "1.5E"}, 0);
    junk.position = {7.5, 0.0, 1.5};
    GrdAtom empty{"H", "H   ", {0.0, 0.0, 0.0}};  // shorter than every field's start
    GrdAtom partly{"O        2.5    ", "O   ", {2.5, 0.0, 0.0}};
    GrdAtom inY{"P        1.0       -3.", "P   ", {1.0, -3.0, 0.0}};  // ends inside the y field
    GrdAtom beyond = Atom("K", {"1", "2", "3"});
    beyond.line += "  99.9 and more";  // past column 38: not read
    GrdAtom packed = Atom("B", {"1.250", "2.500", "-3.750"});
    for (int column : {19, 29, 39}) PlaceAt(packed.line, column, "9");  // between the fields: not read
    f.atoms = {inner, junk, empty, partly, inY, beyond, packed};
    ExpectAtomsAndCorners(f, Parse(f));
}

TEST(GrdReaderAtoms, OnlyTheFirstLetterOfTheElementIsKept) {
    GrdFile f;
    f.atoms = {Atom("Fe", {"1", "2", "3"}), Atom("Cl1", {"1", "2", "3"}), Atom("Zn", {"1", "2", "3"})};
    const DensityMap map = Parse(f);
    ASSERT_EQ(map.atoms.size(), 3u);
    EXPECT_EQ(map.atoms[0].name, "F   ");
    EXPECT_EQ(map.atoms[1].name, "C   ");
    EXPECT_EQ(map.atoms[2].name, "Z   ");
}

TEST(GrdReaderAtoms, AnEmptyAtomLineStopsNamingTheAtom) {
    GrdFile f;
    f.atoms[1] = {"", "", {}};
    ExpectMessageNames(StopMessage(WriteGrd(f)), "atom 2");
}

TEST(GrdReaderAtoms, CoordinatesBeyondSinglePrecisionStop) {
    for (const std::string big : {"1e39", "-4e38", "1e999"}) {
        GrdFile f;
        f.atoms[2] = Atom("O", {"1", "2", big});
        ExpectMessageNames(StopMessage(WriteGrd(f)), "atom 3");
    }
}

TEST(GrdReaderAtoms, NoAtomsStillGiveTheCellCorners) {
    for (const char* count : {"0", "-4"}) {
        GrdFile f;
        f.atoms.clear();
        f.atomCount = count;
        ExpectMap(f, Parse(f));
    }
}

TEST(GrdReaderAtoms, TooManyOrTooFewAtomLinesStop) {
    GrdFile f;
    f.atomCount = "32768";
    ExpectMessageNames(StopMessage(WriteGrd(f)), "32768 atoms");
    f.atomCount = "40";
    ExpectMessageNames(StopMessage(WriteGrd(f)), "ends early");
}

// ---------------------------------------------------------------- values and counts

TEST(GrdReaderValues, ValuesBeyondTheLimitsStop) {
    ExpectValuesStop(kReader, WriteGrd);
}

TEST(GrdReaderCounts, BadCountsStop) {
    const struct {
        const char* counts;
        const char* named;
    } cases[] = {{"0 3 2", "nx = 0"}, {"4 -1 2", "ny = -1"}, {"4 3 32768", "nz = 32768"}, {"abc 3 2", "\"abc\""}};
    for (const auto& c : cases) {
        GrdFile f;
        f.counts = c.counts;
        ExpectMessageNames(StopMessage(WriteGrd(f)), c.named);
    }
}

TEST(GrdReaderCounts, CountsTooLargeForTheFileStopBeforeAllocating) {
    for (const char* counts : {"32767 32767 32767", "1024 1024 1024", "40 40 40"}) {
        GrdFile f;
        f.counts = counts;
        ExpectMessageNames(StopMessage(WriteGrd(f)), "ends early");
    }
}

TEST(GrdReaderBadInput, NonNumericItemsStop) {
    GrdFile f;
    f.value = ValueAt(3, 2, 1, 4321.5f);
    std::string text = WriteGrd(f);
    ASSERT_EQ(text.find("4321.5"), text.rfind("4321.5"));
    text.replace(text.find("4321.5"), 6, "1.5q");
    ExpectMessageNames(StopMessage(text), "\"1.5q\"");
    text = WriteGrd(f);
    text.replace(text.find("3 5 7"), 5, "3 x 7");
    ExpectMessageNames(StopMessage(text), "\"x\"");
}

TEST(GrdReaderBadInput, MissingFileStops) {
    ExpectMissingFileStops(kReader, "/nonexistent-tivarel-dir/missing.grd");
}

TEST(GrdReaderBadInput, EveryTruncationStopsOrLoads) {
    ExpectEveryCutStopsOrLoads(kReader, WriteGrd);
}

TEST(GrdReaderBadInput, GarbageBytesStopOrLoad) {
    ParseEverySpoiledByte(kReader, WriteGrd(GrdFile{}), {'x', '\0', '\xff', ',', '\n', ' ', '9', '-'});
}

TEST(GrdReaderBadInput, RandomTextStopsOrLoads) { ParseRandomText(kReader, 5); }

// ---------------------------------------------------------------- the shipped sample

// The sample GRD map is the sample FOU map in the box frame: same counts, steps and
// values, its grid and atoms moved by minus the FOU grid's first point.
TEST(GrdReaderSample, ReadsTheSampleFouMapInTheBoxFrame) {
    const DensityMap fou = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    const DensityMap grd = ReadGrdMap(TIVAREL_SOURCE_DIR "/data/sample.grd");
    for (int pos : {1, 2, 3, 7, 8, 9, 10, 11}) EXPECT_EQ(grd.gridParams(pos), fou.gridParams(pos)) << pos;
    EXPECT_TRUE(grd.grid.values() == fou.grid.values());
    const Vec3f first{fou.gridParams.x0(), fou.gridParams.y0(), fou.gridParams.z0()};
    for (int a = 1; a <= 3; ++a) {
        for (int k : {1, static_cast<int>(fou.gridParams(a))})
            EXPECT_NEAR(GridPointCoordinate(grd.gridParams, a, k), GridPointCoordinate(fou.gridParams, a, k) - first[a - 1],
                        1e-4);
    }
    ASSERT_EQ(grd.atoms.size(), fou.atoms.size());
    ASSERT_FALSE(fou.atoms.empty());
    for (size_t i = 0; i < fou.atoms.size(); ++i) {
        EXPECT_EQ(grd.atoms[i].name, fou.atoms[i].name.substr(0, 1) + "   ") << "atom " << i + 1;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(grd.atoms[i].position[c], fou.atoms[i].position[c] - first[c], 1e-4)
                << "atom " << i + 1 << " axis " << c;
    }
}

}  // namespace
}  // namespace tivarel
