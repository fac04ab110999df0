// FOU text maps: layout, separators and line ends, atoms, value limits and bad input.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "map_test_support.h"
#include "mapio/fou_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

using namespace test_support;

const MapReader kReader{ParseFouMap, ReadFouMap, "/maps/test.fou"};

enum class Separator { blank, comma, lineEnd, mixed };

struct FouAtom {
    std::string label;
    std::array<float, 3> position;
};

// Everything a FOU file holds, with the ways of writing it that the reader must accept.
struct FouFile : CellMapContents {
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
        // Per axis: first grid coordinate, step, two numbers not used.
        for (size_t a = 0; a < 3; ++a) numbers({f_.axes[a][0], f_.axes[a][1], float(91 + 2 * a), float(92 + 2 * a)});
        skipped("after the axes");
        countLine(f_.counts, {float(f_.n[0]), float(f_.n[1]), float(f_.n[2])});
        for (int z = 1; z <= f_.n[2]; ++z) section(z);
        skipped("atoms follow");
        countLine(f_.atomCounts, {float(f_.atoms.size()), float(f_.itemsPerRecord)});
        for (const FouAtom& atom : f_.atoms) atomRecord(atom);
        return out_;
    }

private:
    void section(int z) {
        skipped("Section " + std::to_string(z));
        numbers({float(z)});
        for (int x = 1; x <= f_.n[0]; ++x) {
            std::vector<float> column;
            for (int y = 1; y <= f_.n[1]; ++y) column.push_back(f_.value(x, y, z));
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

DensityMap Parse(const FouFile& f) { return kReader.parse(WriteFou(f), kReader.path); }

std::string StopMessage(const std::string& text) { return StopOf(kReader, text).what(); }

void ExpectMessageNames(const std::string& message, const std::string& part) {
    test_support::ExpectMessageNames(kReader, message, part);
}

std::string Padded(const std::string& label) { return label + std::string(4 - label.size(), ' '); }

void ExpectAtomsAndCorners(const FouFile& f, const DensityMap& map) {
    test_support::ExpectAtomsAndCorners(CellFrame(f), f.atoms, [](const FouAtom& a) { return Padded(a.label); }, map);
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
    f.n = {2, 5, 3};
    const DensityMap map = Parse(f);
    ExpectGrid(f, map);
    // The first value of a section is (1, 1, z) and the next one (1, 2, z).
    EXPECT_EQ(map.grid(1, 1, 2), DefaultValue(1, 1, 2));
    EXPECT_EQ(map.grid(1, 2, 2), DefaultValue(1, 2, 2));
    EXPECT_EQ(map.grid(2, 5, 3), DefaultValue(2, 5, 3));
}

TEST(FouReaderLayout, ReadsFromDisk) {
    const FouFile f;
    ExpectMap(f, ReadThroughDisk(kReader, WriteFou(f), "fou_reader_test_map.fou"));
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
    ExpectMessageNames(StopMessage(WriteFou(f)), "32768");
}

TEST(FouReaderAtoms, FewerRecordsThanDeclaredStop) {
    FouFile f;
    f.atomCounts = "4 14";
    ExpectMessageNames(StopMessage(WriteFou(f)), "ends early");
}

// ---------------------------------------------------------------- density values

TEST(FouReaderValues, LimitValuesAreAccepted) {
    FouFile f;
    f.value = ValueAtLimits;
    const DensityMap map = Parse(f);
    EXPECT_EQ(map.gridParams.maxValue(), 10000.0f);
    EXPECT_EQ(map.gridParams.minValue(), -10000.0f);
    ExpectGrid(f, map);
}

TEST(FouReaderValues, ValuesBeyondTheLimitsStop) {
    ExpectValuesStop(kReader, WriteFou);
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
        ExpectMessageNames(StopMessage(WriteFou(f)), c.named);
    }
}

TEST(FouReaderCounts, LargestCountLoads) {
    FouFile f;
    f.n = {32767, 1, 1};
    f.value = [](int x, int, int) { return float(x % 7) * 0.5f; };
    ExpectGrid(f, Parse(f));
}

TEST(FouReaderCounts, CountsTooLargeForTheFileStopBeforeAllocating) {
    for (const char* counts : {"32767 32767 32767", "1300 1300 1300", "40 40 40"}) {
        FouFile f;
        f.counts = counts;
        ExpectMessageNames(StopMessage(WriteFou(f)), "ends early");
    }
}

// Single-digit values with single separators are the densest a file can be.
TEST(FouReaderCounts, DensestFileIsNotMistakenForAShortOne) {
    FouFile f;
    f.n = {100, 100, 1};
    f.value = [](int x, int y, int) { return float((x + y) % 10); };
    f.atoms.clear();
    f.separator = Separator::comma;
    f.lineEnd = "\n";
    ExpectGrid(f, Parse(f));
}

// ---------------------------------------------------------------- bad input

TEST(FouReaderBadInput, MissingFileStops) {
    ExpectMissingFileStops(kReader, "/nonexistent-tivarel-dir/missing.fou");
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
        ExpectMessageNames(message, "\"" + c.item + "\"");
        EXPECT_NE(message.find(where), std::string::npos) << message << " should hold " << where;
    }
}

TEST(FouReaderBadInput, EveryTruncationStopsOrLoads) {
    ExpectEveryCutStopsOrLoads(kReader, WriteFou);
}

TEST(FouReaderBadInput, GarbageBytesStopOrLoad) {
    FouFile f;
    f.itemsPerRecord = 15;
    ParseEverySpoiledByte(kReader, WriteFou(f), {'x', '\0', '\xff', ',', '\n', ' ', '9', '-'});
}

TEST(FouReaderBadInput, RandomTextStopsOrLoads) { ParseRandomText(kReader, 7); }

}  // namespace
}  // namespace tivarel
