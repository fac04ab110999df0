// FOU text maps: layout, separators and line ends, atoms, value limits and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mapio/fou_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

const std::string kPath = "/maps/test.fou";

enum class Separator { blank, comma, lineEnd, mixed };

struct FouAtom {
    std::string label;
    std::array<float, 3> position;
};

// Distinct for every grid point, negative and positive, so any mix-up of order shows.
float DefaultValue(int x, int y, int z) { return float(100 * x + 10 * y + z) - 250.25f; }

// Everything a FOU file holds, with the ways of writing it that the reader must accept.
struct FouFile {
    std::array<std::array<float, 3>, 3> matrix{{{5.5f, -3.125f, 1.25f}, {0.5f, 5.375f, -0.75f}, {-0.25f, 0.125f, 7.5f}}};
    std::array<float, 3> origin{0.125f, -0.25f, 0.5f};
    std::array<float, 6> cell{5.5f, 6.25f, 7.75f, 80.0f, 95.5f, 120.0f};
    // Per axis: first grid coordinate, step, two numbers not used.
    std::array<std::array<float, 4>, 3> axes{{{-1.5f, 0.25f, 91.0f, 92.0f}, {0.5f, 0.375f, 93.0f, 94.0f}, {2.0f, 0.75f, 95.0f, 96.0f}}};
    int nx = 3, ny = 4, nz = 2;
    std::function<float(int, int, int)> value = DefaultValue;
    std::vector<FouAtom> atoms{{"C", {0.1f, 0.2f, 0.3f}}, {"Fe", {0.5f, -0.25f, 1.125f}}, {"O1", {-0.75f, 0.875f, 0.0625f}}};
    int itemsPerRecord = 14;
    std::string counts;      // written instead of "nx ny nz" when set
    std::string atomCounts;  // written instead of "N K" when set
    Separator separator = Separator::blank;
    std::string lineEnd = "\r\n";
    // The numbers before each skipped line end with a comma, so that the skipped
    // line is only the rest of their own line and no filler line is written.
    bool commaBeforeSkippedLines = false;
};

std::string NumberText(float v) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

class FouWriter {
public:
    explicit FouWriter(const FouFile& f) : f_(f) {}

    std::string write() {
        line("Test map, first title line");
        line("second title line");
        for (const auto& row : f_.matrix) numbers({row[0], row[1], row[2]});
        numbers({f_.origin[0], f_.origin[1], f_.origin[2]});
        skipped("after the origin");
        numbers(std::vector<float>(f_.cell.begin(), f_.cell.end()));
        skipped("after the cell constants");
        for (const auto& axis : f_.axes) numbers(std::vector<float>(axis.begin(), axis.end()));
        skipped("after the axes");
        countLine(f_.counts, {float(f_.nx), float(f_.ny), float(f_.nz)});
        for (int z = 1; z <= f_.nz; ++z) section(z);
        skipped("atoms follow");
        countLine(f_.atomCounts, {float(f_.atoms.size()), float(f_.itemsPerRecord)});
        for (const FouAtom& atom : f_.atoms) atomRecord(atom);
        return out_;
    }

private:
    void section(int z) {
        skipped("Section " + std::to_string(z));
        numbers({float(z)});
        for (int x = 1; x <= f_.nx; ++x) {
            std::vector<float> column;
            for (int y = 1; y <= f_.ny; ++y) column.push_back(f_.value(x, y, z));
            numbers(column);
        }
    }

    void atomRecord(const FouAtom& atom) {
        line(atom.label);
        numbers({81.5f, 82.5f, 83.5f});
        numbers({atom.position[0], atom.position[1], atom.position[2]});
        numbers({1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f});
        // Filler that would be taken for a label and numbers if it were not skipped.
        for (int item = 14; item < f_.itemsPerRecord; ++item) skipped("Q 9.5 9.5 9.5");
    }

    void line(const std::string& text) {
        out_ += text + f_.lineEnd;
        afterNumbers_ = false;
    }

    void skipped(const std::string& filler) {
        if (f_.commaBeforeSkippedLines && afterNumbers_)
            out_.insert(out_.size() - f_.lineEnd.size(), ",");
        else
            line(filler);
        afterNumbers_ = false;
    }

    void countLine(const std::string& replacement, const std::vector<float>& values) {
        if (replacement.empty()) return numbers(values);
        out_ += replacement + f_.lineEnd;
        afterNumbers_ = true;
    }

    void numbers(const std::vector<float>& values) {
        const bool mixed = f_.separator == Separator::mixed;
        out_ += mixed ? "  " : "";
        for (size_t i = 0; i < values.size(); ++i) out_ += (i > 0 ? separator() : "") + NumberText(values[i]);
        out_ += (mixed ? "\t " : "") + f_.lineEnd;
        afterNumbers_ = true;
    }

    std::string separator() const {
        switch (f_.separator) {
            case Separator::blank: return " ";
            case Separator::comma: return ",";
            case Separator::lineEnd: return f_.lineEnd;
            case Separator::mixed: return " \t, ";
        }
        return " ";
    }

    const FouFile& f_;
    std::string out_;
    bool afterNumbers_ = false;
};

std::string WriteFou(const FouFile& f) { return FouWriter(f).write(); }

DensityMap Parse(const FouFile& f) { return ParseFouMap(WriteFou(f), kPath); }

std::string StopMessage(const std::string& text) {
    try {
        ParseFouMap(text, kPath);
    } catch (const ProgramStop& stop) {
        return stop.what();
    }
    ADD_FAILURE() << "the map loaded";
    return {};
}

// Fractional point into the grid frame, computed in double: M * (f - origin).
std::array<double, 3> ExpectedGridPoint(const FouFile& f, const std::array<float, 3>& frac) {
    std::array<double, 3> p{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) p[i] += double(f.matrix[i][j]) * (double(frac[j]) - double(f.origin[j]));
    return p;
}

void ExpectNearPoint(const Vec3f& actual, const std::array<double, 3>& expected, const std::string& what) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(actual[c], expected[c], 1e-5 * (1.0 + std::fabs(expected[c]))) << what << " component " << c;
}

std::string Padded(const std::string& label) { return label + std::string(4 - label.size(), ' '); }

void ExpectHeader(const FouFile& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(map.cellMatrix(i, j), f.matrix[i - 1][j - 1]) << i << "," << j;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(map.mapOrigin[c], f.origin[size_t(c)]);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(map.cellParams[k], f.cell[k]);
    const std::array<int, 3> counts{f.nx, f.ny, f.nz};
    for (int axis = 1; axis <= 3; ++axis) {
        EXPECT_EQ(map.gridParams(axis), float(counts[size_t(axis - 1)]));
        EXPECT_EQ(map.gridParams(3 + axis), f.axes[size_t(axis - 1)][0]);
        EXPECT_EQ(map.gridParams(6 + axis), f.axes[size_t(axis - 1)][1]);
    }
}

void ExpectGrid(const FouFile& f, const DensityMap& map) {
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

void ExpectAtomsAndCorners(const FouFile& f, const DensityMap& map) {
    ASSERT_EQ(map.atoms.size(), f.atoms.size());
    for (size_t i = 0; i < f.atoms.size(); ++i) {
        EXPECT_EQ(map.atoms[i].name, Padded(f.atoms[i].label));
        ExpectNearPoint(map.atoms[i].position, ExpectedGridPoint(f, f.atoms[i].position), "atom " + std::to_string(i + 1));
    }
    // The fractional cell corners: bottom face in cyclic order, then the top face.
    const std::array<std::array<float, 3>, 8> corners{
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (size_t k = 0; k < 8; ++k)
        ExpectNearPoint(map.cellCorners[k], ExpectedGridPoint(f, corners[k]), "corner " + std::to_string(k + 1));
}

void ExpectMap(const FouFile& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(f, map);
}

// 1-based line of the first occurrence of `item` in the text (CR LF line ends).
int LineOf(const std::string& text, const std::string& item) {
    const size_t at = text.find(item);
    int line = 1;
    for (size_t p = text.find("\r\n"); p < at; p = text.find("\r\n", p + 2)) ++line;
    return line;
}

// ---------------------------------------------------------------- layout

TEST(FouReaderLayout, ReadsEveryRecordOfTheFile) {
    const FouFile f;
    ExpectMap(f, Parse(f));
}

TEST(FouReaderLayout, AxisCountsDifferAndYRunsFastestInTheFile) {
    FouFile f;
    f.nx = 2;
    f.ny = 5;
    f.nz = 3;
    const DensityMap map = Parse(f);
    ExpectGrid(f, map);
    // The first value of a section is (1, 1, z) and the next one (1, 2, z).
    EXPECT_EQ(map.grid(1, 1, 2), DefaultValue(1, 1, 2));
    EXPECT_EQ(map.grid(1, 2, 2), DefaultValue(1, 2, 2));
    EXPECT_EQ(map.grid(2, 5, 3), DefaultValue(2, 5, 3));
}

TEST(FouReaderLayout, ReadsFromDisk) {
    const FouFile f;
    const std::string path = ::testing::TempDir() + "fou_reader_test_map.fou";
    std::ofstream(path, std::ios::binary) << WriteFou(f);
    ExpectMap(f, ReadFouMap(path));
    std::remove(path.c_str());
}

TEST(FouReaderLayout, AFileWithoutAtomsStillGetsItsCellCorners) {
    for (const char* noAtoms : {"0 14", "-3 14"}) {
        FouFile f;
        f.atoms.clear();
        f.atomCounts = noAtoms;
        const DensityMap map = Parse(f);
        ExpectMap(f, map);
    }
}

// ---------------------------------------------------------------- separators and line ends

class FouReaderWriting : public ::testing::TestWithParam<std::tuple<Separator, std::string, bool>> {};

TEST_P(FouReaderWriting, EveryWayOfWritingReadsTheSame) {
    FouFile f;
    std::tie(f.separator, f.lineEnd, f.commaBeforeSkippedLines) = GetParam();
    f.itemsPerRecord = 16;
    ExpectMap(f, Parse(f));
}

INSTANTIATE_TEST_SUITE_P(SeparatorsAndLineEnds, FouReaderWriting,
                         ::testing::Combine(::testing::Values(Separator::blank, Separator::comma,
                                                              Separator::lineEnd, Separator::mixed),
                                            ::testing::Values(std::string("\r\n"), std::string("\r"),
                                                              std::string("\n")),
                                            ::testing::Bool()));

// ---------------------------------------------------------------- atoms

TEST(FouReaderAtoms, LabelsArePaddedToFourCharacters) {
    FouFile f;
    f.atoms = {{"C", {0.5f, 0.5f, 0.5f}}, {"Fe", {0.25f, 0.5f, 0.75f}}, {"Abc", {0.0f, 0.0f, 0.0f}},
               {"ABCD", {1.0f, 1.0f, 1.0f}}, {"C   ", {-0.5f, 2.0f, 0.125f}}};
    const DensityMap map = Parse(f);
    const std::vector<std::string> expected{"C   ", "Fe  ", "Abc ", "ABCD", "C   "};
    ASSERT_EQ(map.atoms.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(map.atoms[i].name, expected[i]);
}

TEST(FouReaderAtoms, RejectsEmptyAndLongLabels) {
    for (const char* label : {"", "C    ", "ABCDE"}) {
        FouFile f;
        f.atoms[1].label = label;
        EXPECT_EQ(StopMessage(WriteFou(f)), "Your atom name looks strange, name lengh  <> [1,2,3,4]") << label;
    }
}

TEST(FouReaderAtoms, LongRecordsSkipTheirExtraLines) {
    for (int items : {3, 14, 15, 16, 20}) {
        FouFile f;
        f.itemsPerRecord = items;
        ExpectAtomsAndCorners(f, Parse(f));
    }
}

TEST(FouReaderAtoms, TooManyAtomsStop) {
    FouFile f;
    f.atomCounts = "32768 14";
    const std::string message = StopMessage(WriteFou(f));
    EXPECT_NE(message.find(kPath), std::string::npos) << message;
    EXPECT_NE(message.find("32768"), std::string::npos) << message;
}

TEST(FouReaderAtoms, FewerRecordsThanDeclaredStop) {
    FouFile f;
    f.atomCounts = "4 14";
    const std::string message = StopMessage(WriteFou(f));
    EXPECT_NE(message.find(kPath), std::string::npos) << message;
    EXPECT_NE(message.find("ends early"), std::string::npos) << message;
}

// ---------------------------------------------------------------- density values

TEST(FouReaderValues, LimitValuesAreAccepted) {
    FouFile f;
    f.value = [](int x, int y, int z) {
        if (x == 1 && y == 1 && z == 1) return 10000.0f;
        if (x == 3 && y == 4 && z == 2) return -10000.0f;
        return DefaultValue(x, y, z);
    };
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.maxValue(), 10000.0f);
    EXPECT_EQ(map.gridParams.minValue(), -10000.0f);
    ExpectGrid(f, map);
}

TEST(FouReaderValues, ValuesBeyondTheLimitsStop) {
    const struct {
        float value;
        const char* message;
    } cases[] = {{10000.5f, "Your input data looks strange, ZOL > 10000"},
                 {-10001.0f, "Your input data looks strange, ZOL < -10000"}};
    for (const auto& c : cases) {
        FouFile f;
        f.value = [&](int x, int y, int z) { return x == 2 && y == 3 && z == 2 ? c.value : DefaultValue(x, y, z); };
        EXPECT_EQ(StopMessage(WriteFou(f)), c.message);
    }
}

TEST(FouReaderValues, AllEqualValuesGiveEqualMinAndMax) {
    FouFile f;
    f.value = [](int, int, int) { return 2.5f; };
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.minValue(), 2.5f);
    EXPECT_EQ(map.gridParams.maxValue(), 2.5f);
}

// ---------------------------------------------------------------- grid counts

TEST(FouReaderCounts, CountsOutsideOneTo32767Stop) {
    const struct {
        const char* counts;
        const char* named;
    } cases[] = {{"0 4 2", "nx = 0"}, {"-5 4 2", "nx = -5"}, {"3 -1 2", "ny = -1"}, {"3 4 0", "nz = 0"},
                 {"3 4 32768", "nz = 32768"}, {"2147483647 4 2", "nx = 2147483647"}};
    for (const auto& c : cases) {
        FouFile f;
        f.counts = c.counts;
        const std::string message = StopMessage(WriteFou(f));
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        EXPECT_NE(message.find(c.named), std::string::npos) << message;
    }
}

TEST(FouReaderCounts, LargestCountLoads) {
    FouFile f;
    f.nx = 32767;
    f.ny = 1;
    f.nz = 1;
    f.value = [](int x, int, int) { return float(x % 7) * 0.5f; };
    ExpectGrid(f, Parse(f));
}

TEST(FouReaderCounts, CountsTooLargeForTheFileStopBeforeAllocating) {
    for (const char* counts : {"32767 32767 32767", "1300 1300 1300", "40 40 40"}) {
        FouFile f;
        f.counts = counts;
        const std::string message = StopMessage(WriteFou(f));
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        EXPECT_NE(message.find("ends early"), std::string::npos) << message;
    }
}

// Single-digit values with single separators are the densest a file can be.
TEST(FouReaderCounts, DensestFileIsNotMistakenForAShortOne) {
    FouFile f;
    f.nx = 100;
    f.ny = 100;
    f.nz = 1;
    f.value = [](int x, int y, int) { return float((x + y) % 10); };
    f.atoms.clear();
    f.separator = Separator::comma;
    f.lineEnd = "\n";
    ExpectGrid(f, Parse(f));
}

// ---------------------------------------------------------------- bad input

TEST(FouReaderBadInput, MissingFileStops) {
    const std::string path = "/nonexistent-tivarel-dir/missing.fou";
    try {
        ReadFouMap(path);
        FAIL() << "a missing file loaded";
    } catch (const ProgramStop& stop) {
        EXPECT_NE(std::string(stop.what()).find(path), std::string::npos) << stop.what();
    }
}

TEST(FouReaderBadInput, NonNumericItemsAreNamedWithTheirLine) {
    const FouFile plain;
    const std::string good = WriteFou(plain);
    FouFile badCount;
    badCount.counts = "abc 4 2";
    std::string badValue = good;
    const std::string value = NumberText(DefaultValue(2, 3, 1));
    ASSERT_EQ(badValue.find(value), badValue.rfind(value));
    badValue.replace(badValue.find(value), value.size(), "-1x9.25");
    const struct {
        std::string text, item, what;
    } cases[] = {{WriteFou(badCount), "abc", "nx"}, {badValue, "-1x9.25", "the Z section values"}};
    for (const auto& c : cases) {
        const std::string message = StopMessage(c.text);
        const std::string where = "(" + c.what + ", line " + std::to_string(LineOf(c.text, c.item)) + ")";
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        EXPECT_NE(message.find("\"" + c.item + "\""), std::string::npos) << message;
        EXPECT_NE(message.find(where), std::string::npos) << message << " should hold " << where;
    }
}

// Whatever the cut, the reader stops with a message or loads; it loads the whole
// map once the last number is complete and never while that number is missing.
TEST(FouReaderBadInput, EveryTruncationStopsOrLoads) {
    for (const std::string eol : {"\r\n", "\n"}) {
        FouFile f;
        f.lineEnd = eol;
        const std::string text = WriteFou(f);
        const size_t lastNumber = text.rfind(' ') + 1;
        for (size_t cut = 0; cut < text.size(); ++cut) {
            bool loaded = false;
            try {
                ParseFouMap(text.substr(0, cut), kPath);
                loaded = true;
            } catch (const ProgramStop&) {
            }
            if (cut <= lastNumber) {
                EXPECT_FALSE(loaded) << "cut at " << cut;
            }
            if (cut >= text.size() - eol.size()) {
                EXPECT_TRUE(loaded) << "cut at " << cut;
            }
        }
    }
}

TEST(FouReaderBadInput, GarbageBytesStopOrLoad) {
    FouFile f;
    f.itemsPerRecord = 15;
    const std::string text = WriteFou(f);
    for (size_t at = 0; at < text.size(); ++at) {
        for (const char garbage : {'x', '\0', '\xff', ',', '\n', ' ', '9', '-'}) {
            std::string spoiled = text;
            spoiled[at] = garbage;
            try {
                ParseFouMap(spoiled, kPath);
            } catch (const ProgramStop&) {
            }
        }
    }
}

TEST(FouReaderBadInput, RandomTextStopsOrLoads) {
    static const char alphabet[] = "0123456789 .,-+eE\r\n\tabc\xff";
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);  // includes the '\0'
    std::uniform_int_distribution<size_t> length(0, 400);
    for (int n = 0; n < 500; ++n) {
        std::string text(length(random), ' ');
        for (char& c : text) c = alphabet[pick(random)];
        try {
            ParseFouMap(text, kPath);
        } catch (const ProgramStop&) {
        }
    }
}

}  // namespace
}  // namespace tivarel
