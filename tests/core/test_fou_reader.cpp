// FOU text maps: layout, separators and line ends, atoms, and input that must stop.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/fou_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.fou";

struct FouAtom {
    std::string label;
    std::array<float, 3> position;
};

// Everything a FOU file holds, with the ways of writing it that the reader must accept.
struct FouFile : CellMapContents {
    std::vector<FouAtom> atoms{{"C", {0.1f, 0.2f, 0.3f}}, {"Fe", {0.5f, -0.25f, 1.125f}}, {"O1", {-0.75f, 0.875f, 0.0625f}}};
    int itemsPerRecord = 14;
    std::string counts, atomCounts;   // written instead of "nx ny nz" and "N K" when set
    std::string separator = " ", lineEnd = "\r\n";
    // The numbers before each skipped line end with a comma: the skipped line is then the
    // rest of their own line, and no filler line is written.
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
        for (int z = 1; z <= f_.n[2]; ++z) {
            skipped("Section " + std::to_string(z));
            numbers({float(z + 5000)});   // the section number, far beyond any value
            for (int x = 1; x <= f_.n[0]; ++x) {
                std::vector<float> column;   // y runs fastest in the file
                for (int y = 1; y <= f_.n[1]; ++y) column.push_back(f_.value(x, y, z));
                numbers(column);
            }
        }
        skipped("atoms follow");
        countLine(f_.atomCounts, {float(f_.atoms.size()), float(f_.itemsPerRecord)});
        for (const FouAtom& atom : f_.atoms) {
            line(atom.label);
            numbers({81.5f, 82.5f, 83.5f});
            numbers({atom.position[0], atom.position[1], atom.position[2]});
            numbers({1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f});
            // Filler that would be taken for a label and numbers if it were not skipped.
            for (int item = 14; item < f_.itemsPerRecord; ++item) skipped("Q 9.5 9.5 9.5");
        }
        return out_;
    }

private:
    void line(const std::string& text) {
        out_ += text + f_.lineEnd;
        afterNumbers_ = false;
    }
    void skipped(const std::string& filler) {
        if (f_.commaBeforeSkippedLines && afterNumbers_) out_.insert(out_.size() - f_.lineEnd.size(), ",");
        else line(filler);
        afterNumbers_ = false;
    }
    void countLine(const std::string& replacement, const std::vector<float>& values) {
        if (replacement.empty()) return numbers(values);
        line(replacement);
        afterNumbers_ = true;
    }
    void numbers(const std::vector<float>& values) {
        std::string text;
        for (size_t i = 0; i < values.size(); ++i) text += (i > 0 ? f_.separator : "") + NumberText(values[i]);
        line(text);
        afterNumbers_ = true;
    }
    const FouFile& f_;
    std::string out_;
    bool afterNumbers_ = false;
};

std::string WriteFou(const FouFile& f) { return FouWriter(f).write(); }

void ExpectMap(const FouFile& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(CellFrame(f), f.atoms, [](const FouAtom& a) { return (a.label + "   ").substr(0, 4); }, map);
}

TEST(FouReader, EveryWayOfWritingReadsTheSame) {
    for (const std::string separator : {" ", ",", " \t, ", "\n"})
        for (const std::string lineEnd : {"\r\n", "\r", "\n"})
            for (const bool comma : {false, true}) {
                FouFile f;
                f.separator = separator == "\n" ? lineEnd : separator;
                f.lineEnd = lineEnd;
                f.commaBeforeSkippedLines = comma;
                f.itemsPerRecord = 16;
                SCOPED_TRACE(testing::Message() << "separator size " << separator.size() << ", comma " << comma);
                ExpectMap(f, ParseFouMap(WriteFou(f), kPath));
            }
    FouFile f;
    f.n = {2, 5, 3};
    const std::string path = ::testing::TempDir() + "fou_reader_test.fou";
    std::ofstream(path, std::ios::binary) << WriteFou(f);
    ExpectMap(f, ReadFouMap(path));
    std::remove(path.c_str());
}

TEST(FouReader, LabelsArePaddedRecordsSkipTheirExtraLinesAndNoAtomsIsNone) {
    for (int items : {3, 15, 20}) {
        FouFile f;
        f.itemsPerRecord = items;
        f.atoms = {{"C", {0.5f, 0.5f, 0.5f}}, {"Abc", {0.0f, 0.0f, 0.0f}}, {"ABCD", {1.0f, 1.0f, 1.0f}}, {"C   ", {-0.5f, 2.0f, 0.125f}}};
        ExpectMap(f, ParseFouMap(WriteFou(f), kPath));
    }
    for (const char* none : {"0 14", "-3 14"}) {
        FouFile f;
        f.atoms.clear();
        f.atomCounts = none;
        ExpectMap(f, ParseFouMap(WriteFou(f), kPath));
    }
}

// Single-digit values with single separators and no line end after the last are the
// densest a file can be: it is not mistaken for a short one.
TEST(FouReader, DensestFileIsNotMistakenForAShortOne) {
    FouFile f;
    f.n = {100, 100, 1};
    f.value = [](int x, int y, int) { return float((x + y) % 10); };
    f.atoms.clear();
    f.atomCounts = "0 14";
    f.separator = ",";
    f.lineEnd = "\n";
    std::string text = WriteFou(f);
    text.pop_back();
    ExpectGrid(f, ParseFouMap(text, kPath));
}

TEST(FouReader, BadInputStopsWithItsMessage) {
    const auto withCounts = [](const char* counts) { FouFile f; f.counts = counts; return WriteFou(f); };
    const auto withAtoms = [](const char* atomCounts) { FouFile f; f.atomCounts = atomCounts; return WriteFou(f); };
    const auto withLabel = [](const char* label) { FouFile f; f.atoms[1].label = label; return WriteFou(f); };
    const auto withValue = [](float v) {
        FouFile f;
        f.value = [v](int x, int y, int z) { return x == 2 && y == 3 && z == 2 ? v : DefaultValue(x, y, z); };
        return WriteFou(f);
    };
    std::string badValue = WriteFou(FouFile{});
    const std::string value = NumberText(DefaultValue(2, 3, 1));
    badValue.replace(badValue.find(value), value.size(), "-1x9.25");
    const std::string inFile = "The map file " + kPath + " ";
    const struct { std::string text, message; } cases[] = {
        {withCounts("0 4 2"), inFile + "declares nx = 0; a grid needs 1 to 32767 points on each axis."},
        {withCounts("3 -1 2"), inFile + "declares ny = -1; a grid needs 1 to 32767 points on each axis."},
        {withCounts("3 4 32768"), inFile + "declares nz = 32768; a grid needs 1 to 32767 points on each axis."},
        {withCounts("abc 4 2"), inFile + "holds \"abc\" where a whole number belongs (nx, line 14)."},
        {withCounts("40 40 40"), inFile + "ends early: its grid of 40 x 40 x 40 points needs at least 127999 more bytes"},
        {badValue, inFile + "holds \"-1x9.25\" where a number belongs (the Z section values, line 18)."},
        {withValue(10000.5f), "Your input data looks strange, ZOL > 10000"},
        {withValue(-10001.0f), "Your input data looks strange, ZOL < -10000"},
        {withAtoms("32768 14"), inFile + "declares 32768 atoms; at most 32767 are allowed."},
        {withAtoms("4 14"), inFile + "ends early (reading an atom label)."},
        {withLabel(""), "Your atom name looks strange, name lengh  <> [1,2,3,4]"},
        {withLabel("ABCDE"), "Your atom name looks strange, name lengh  <> [1,2,3,4]"},
        {withLabel("C    "), "Your atom name looks strange, name lengh  <> [1,2,3,4]"}};
    for (const auto& c : cases)   // the messages as far as given
        EXPECT_EQ(StopMessage([&] { ParseFouMap(c.text, kPath); }).substr(0, c.message.size()), c.message);
    ExpectHolds(StopMessage([] { ReadFouMap("/nonexistent-tivarel-dir/missing.fou"); }), {"/nonexistent-tivarel-dir/missing.fou"});
}

}  // namespace
}  // namespace tivarel
