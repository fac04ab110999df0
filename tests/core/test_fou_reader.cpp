// FOU text maps: layout, separators and line ends, atoms, and input that must stop.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/fou_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.fou";

// Everything a FOU file holds, with the ways of writing it that the reader must accept.
struct FouFile : CellMapContents {
    std::vector<FileAtom> atoms{
        {"C", "C   ", {0.1, 0.2, 0.3}}, {"Fe", "Fe  ", {0.5, -0.25, 1.125}}, {"O1", "O1  ", {-0.75, 0.875, 0.0625}}};
    int itemsPerRecord = 14;
    std::string atomCounts;   // written instead of "N K" when set
    std::string separator = " ", lineEnd = "\r\n";
    bool commaBeforeSkippedLines = false;   // then a skipped line is the rest of the numbers' own line
};

std::string WriteFou(const FouFile& f) {
    std::string out;
    bool afterNumbers = false;
    const auto line = [&](const std::string& text) {
        out += text + f.lineEnd;
        afterNumbers = false;
    };
    const auto numbers = [&](const std::vector<float>& values) {
        std::string text;
        for (size_t i = 0; i < values.size(); ++i) text += (i > 0 ? f.separator : "") + NumberText(values[i]);
        line(text);
        afterNumbers = true;
    };
    const auto skipped = [&](const std::string& filler) {   // filler that must not be read as numbers
        if (f.commaBeforeSkippedLines && afterNumbers) out.insert(out.size() - f.lineEnd.size(), ",");
        if (!f.commaBeforeSkippedLines || !afterNumbers) line(filler);
        afterNumbers = false;
    };
    line("Test map, first title line");
    line("second title line");
    for (const auto& row : f.matrix) numbers({row[0], row[1], row[2]});
    numbers({f.origin[0], f.origin[1], f.origin[2]});
    skipped("1 2 3 after the origin");
    numbers(std::vector<float>(f.cell.begin(), f.cell.end()));
    skipped("4 5 6 after the cell constants");
    // Per axis: first grid coordinate, step, two numbers not used.
    for (size_t a = 0; a < 3; ++a) numbers({f.axes[a][0], f.axes[a][1], float(91 + 2 * a), float(92 + 2 * a)});
    skipped("7 8 9 after the axes");
    numbers({float(f.n[0]), float(f.n[1]), float(f.n[2])});
    for (int z = 1; z <= f.n[2]; ++z) {
        skipped("1 2 3 section " + std::to_string(z));
        numbers({float(z + 5000)});   // the section number, far beyond any value
        for (int x = 1; x <= f.n[0]; ++x) {
            std::vector<float> column;   // y runs fastest in the file
            for (int y = 1; y <= f.n[1]; ++y) column.push_back(f.value(x, y, z));
            numbers(column);
        }
    }
    skipped("4 5 6 atoms follow");
    if (f.atomCounts.empty())
        numbers({float(f.atoms.size()), float(f.itemsPerRecord)});
    else
        line(f.atomCounts);
    for (const FileAtom& atom : f.atoms) {
        line(atom.text);
        numbers({81.5f, 82.5f, 83.5f});
        numbers({float(atom.position[0]), float(atom.position[1]), float(atom.position[2])});
        numbers({1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f});
        for (int item = 14; item < f.itemsPerRecord; ++item) skipped("Q 9.5 9.5 9.5");
    }
    return out;
}

void ExpectMap(const FouFile& f, const DensityMap& map) {
    ExpectHeader(f, map);
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(CellFrame(f), f.atoms, map);
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
}

TEST(FouReader, LabelsArePaddedRecordsSkipTheirExtraLinesAndNoAtomsIsNone) {
    for (int items : {3, 15, 20}) {
        FouFile f;
        f.itemsPerRecord = items;
        f.atoms = {{"Abc", "Abc ", {0, 0, 0}}, {"ABCD", "ABCD", {1, 1, 1}}, {"C   ", "C   ", {-0.5, 2, 0.125}}};
        ExpectMap(f, ParseFouMap(WriteFou(f), kPath));
    }
    for (const char* none : {"0 14", "-3 14"}) {
        FouFile f;
        f.atoms.clear();
        f.atomCounts = none;
        ExpectMap(f, ParseFouMap(WriteFou(f), kPath));
    }
}

std::string Replaced(const std::string& from, const std::string& to) {
    return test_support::Replaced(WriteFou(FouFile{}), from, to);
}

TEST(FouReader, BadInputStopsWithItsMessage) {
    const std::string inFile = "The map file " + kPath + " ",
                      label = "Your atom name looks strange, name lengh  <> [1,2,3,4]";
    const std::pair<std::string, std::string> cases[] = {
        {Replaced("\n3 4 2\r", "\n0 4 2\r"), inFile + "declares nx = 0; a grid needs 1 to 32767 points on each axis."},
        {Replaced("\n3 4 2\r", "\n3 -1 2\r"),
         inFile + "declares ny = -1; a grid needs 1 to 32767 points on each axis."},
        {Replaced("\n3 4 2\r", "\n3 4 32768\r"),
         inFile + "declares nz = 32768; a grid needs 1 to 32767 points on each axis."},
        {Replaced("\n3 4 2\r", "\nabc 4 2\r"), inFile + "holds \"abc\" where a whole number belongs (nx, line 14)."},
        {Replaced("\n3 4 2\r", "\n40 40 40\r"),
         inFile + "ends early: its grid of 40 x 40 x 40 points needs at least 127999 more bytes"},
        {Replaced("-19.25", "-1x9.25"),
         inFile + "holds \"-1x9.25\" where a number belongs (the Z section values, line 18)."},
        {Replaced("-18.25", "10000.5"), "Your input data looks strange, ZOL > 10000"},
        {Replaced("-18.25", "-10001"), "Your input data looks strange, ZOL < -10000"},
        {Replaced("\n3 14\r", "\n32768 14\r"), inFile + "declares 32768 atoms; at most 32767 are allowed."},
        {Replaced("\n3 14\r", "\n4 14\r"), inFile + "ends early (reading an atom label)."},
        {Replaced("\nFe\r", "\n\r"), label},
        {Replaced("\nFe\r", "\nABCDE\r"), label},
        {Replaced("\nFe\r", "\nC    \r"), label}};
    for (const auto& [text, message] : cases)   // the messages as far as given
        EXPECT_EQ(StopMessage([&] { ParseFouMap(text, kPath); }).substr(0, message.size()), message);
    ExpectHolds(StopMessage([] { ReadFouMap("/nonexistent-tivarel-dir/missing.fou"); }),
                {"/nonexistent-tivarel-dir/missing.fou"});
}

}   // namespace
}   // namespace tivarel
