// The side files beside the program: atom parameters, atom types and the bond search, and the layer presets.
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "mapio/atoms.h"
#include "mapio/presets.h"
#include "../test_files.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/opt/tivarel/atompar2.txt";

// One entry line in the file's fixed columns: type 1-3, a number 7-9, radius in hundredths 14-16, a number 21-23,
// tolerance 27-29, label 34-37, a number 38-47; column 13 holds a 9 that belongs to no field.
std::string EntryLine(int type, int radius, const char* tolerance, const std::string& label) {
    char line[80];
    std::snprintf(line, sizeof line, "%3d   %3d   9%3d    %3d   %3s    %-4s%10d", type, 12, radius, 13, tolerance,
                  label.c_str(), 14);
    return line;
}

using Row = std::tuple<std::string, int, const char*>;   // label, radius in hundredths, tolerance

std::string TableText(const std::vector<Row>& rows) {
    std::string text = "Typ  .  Rad  .  Tol  Name\r\n";
    int type = 0;
    for (const auto& [label, radius, tolerance] : rows) text += EntryLine(++type, radius, tolerance, label) + "\r\n";
    return text + "  0\r\n";
}

AtomParTable Table(const std::vector<Row>& rows) { return ParseAtomParameters(TableText(rows), kPath); }

AtomRecord Atom(const std::string& name, float x, float y = 0.0f, float z = 0.0f) { return {name, {x, y, z}}; }

TEST(AtomParameterFile, FieldsComeFromTheirColumnsAndTheFirstLineBelowOneEndsTheTable) {
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        const std::string entries =
            "heading" + eol + EntryLine(1, 77, "0.4", "Cl") + eol + EntryLine(2, 150, "1.5", " Na ") + eol;
        // Whatever follows the end line is not read, not even a broken entry.
        for (const std::string end : {"  0", "   ", "", " -1", "0.5", "abc", "  0   1    2"}) {
            const AtomParTable t = ParseAtomParameters(entries + end + eol + EntryLine(9, 10, "0.1", "X") + eol, kPath);
            ASSERT_EQ(t.count(), 2) << "end line '" << end << "'";
            EXPECT_EQ((std::array{t.entries[0].BondRadius, t.entries[0].BondTolerance, t.entries[1].BondRadius}),
                      (std::array{0.77f, 0.4f, 1.5f}));
            EXPECT_EQ(t.entries[0].EntryLabel + t.entries[1].EntryLabel, "Cl   Na ");   // label blanks are kept
        }
    }
}

// No end line, more than 400 entries and a type number other than its row (the heading is line 1) name the file.
TEST(AtomParameterFile, BadFilesEndWithMessagesNamingTheFile) {
    const std::string one = "head\n" + EntryLine(1, 77, "0.4", "C") + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {one, "has no end line"},
        {"", "has no end line"},
        {TableText(std::vector<Row>(401, Row{"C", 77, "0.4"})), "400"},
        {one + EntryLine(5, 71, "0.4", "N") + "\n  0\n", "gives the type number 5 on line 3, where 2 is expected"}};
    for (const auto& [text, part] : cases)
        ExpectHolds(StopMessage([&in = text] { ParseAtomParameters(in, kPath); }), {kPath, part});
    EXPECT_EQ(Table(std::vector<Row>(400, Row{"C", 77, "0.4"})).count(), 400);
}

// A label matches only an entry of exactly its four characters, case included; the first such entry gives the type.
TEST(AtomTypes, LabelsMatchExactlyTheFirstEntryWinsAndUnknownLabelsEndTheProgram) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"Cl", 99, "0.4"}, {"C", 10, "0.1"}, {"CL", 99, "0.4"}});
    std::vector<AtomRecord> atoms{Atom("CL  ", 0), Atom("C   ", 0), Atom("Cl  ", 0)};
    AssignAtomTypes(atoms, table);
    EXPECT_EQ((std::array{atoms[0].type, atoms[1].type, atoms[2].type}), (std::array<int16_t, 3>{4, 1, 2}));
    for (const std::string name : {"cl  ", "Cl ", " C  ", "N   "}) {
        atoms = {Atom("C   ", 0), Atom(name, 1)};
        EXPECT_EQ(StopMessage([&] { AssignAtomTypes(atoms, table); }), "I do not know this atom name: " + name);
    }
}

TEST(BondGeometry, DistanceAndLimitsInSinglePrecision) {
    EXPECT_EQ(AtomDistance(4, 6, 15, 1, 2, 3), 13.0);
    // (0.37 + 0.01) -/+ (0.1 + 0.7) with every sum rounded to single precision, worked out
    // by hand: -0.42000002 and 1.1800001 (any other grouping gives -0.42 and 1.18).
    const AtomParTable table = Table({{"A", 1, "0.7"}, {"B", 37, "0.1"}, {"X", 75, "0.5"}});
    for (const auto& [a, b] : {std::pair{1, 2}, std::pair{2, 1}})
        EXPECT_EQ(BondLimits(table, a, b), std::make_pair(-0x1.ae147cp-2f, 0x1.2e147cp+0f)) << a << b;
    // X (75, 0.5) has the limits 0.5 and 2.5, exact in single precision: neither is a bond.
    for (const auto& [distance, bonded] : std::vector<std::pair<float, bool>>{
             {2.5f, false}, {std::nextafter(2.5f, 0.0f), true}, {0.5f, false}, {std::nextafter(0.5f, 1.0f), true}}) {
        std::vector<AtomRecord> atoms{Atom("X   ", 0.0f), Atom("X   ", distance)};
        AssignAtomTypes(atoms, table);
        BondList list;
        EXPECT_FALSE(FindBonds(atoms, table, list));
        EXPECT_EQ(list.bonds.size(), size_t(bonded)) << distance;
    }
}

// Against the rule as written, every pair once. Atoms, box and the scale of each axis (0 puts
// all atoms on a line); the last has over 100 000 bonds, of which the first are kept.
TEST(BondSearch, FindsExactlyTheAllPairBondsOnRandomStructures) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"N", 71, "0.4"}, {"H", 31, "0.2"}, {"X", 150, "1.0"}});
    const float shapes[][5] = {{1500, 15, 1, 1, 1}, {800, 200, 1, 0, 0}, {900, 2, 1, 1, 1}};
    const char* labels[] = {"C   ", "N   ", "H   ", "X   "};
    std::mt19937 random(31);
    for (const auto& shape : shapes) {
        std::uniform_real_distribution<float> coordinate(0.0f, shape[1]);
        std::vector<AtomRecord> atoms;
        for (int i = 0; i < int(shape[0]); ++i)
            atoms.push_back(Atom(labels[random() % 4], coordinate(random) * shape[2], coordinate(random) * shape[3],
                                 coordinate(random) * shape[4]));
        AssignAtomTypes(atoms, table);
        std::vector<Bond> want;
        for (size_t i = 0; i < atoms.size() && want.size() <= size_t(kMaxBonds); ++i)
            for (size_t j = i + 1; j < atoms.size() && want.size() <= size_t(kMaxBonds); ++j) {
                const Vec3 a = atoms[i].position, b = atoms[j].position;
                const double d = AtomDistance(a.x, a.y, a.z, b.x, b.y, b.z);
                const auto [low, high] = BondLimits(table, atoms[i].type, atoms[j].type);
                if (d > low && d < high) want.push_back({int16_t(i + 1), int16_t(j + 1)});
            }
        const bool cut = want.size() > size_t(kMaxBonds);
        if (cut) want.pop_back();
        BondList list;
        EXPECT_EQ(FindBonds(atoms, table, list), cut) << shape[0];
        EXPECT_EQ(list.bonds, want) << shape[0];
        EXPECT_EQ(cut, &shape == &shapes[2]) << shape[0];
        EXPECT_GT(want.size(), 50u) << shape[0];
    }
}

// Water: H...H at 1.52 is no bond. A list left from an earlier map is emptied.
TEST(BondSearch, BuildBondsReadsTheTableBesideTheProgram) {
    const TempFolder folder;
    const std::filesystem::path file = folder.path() / "atompar2.txt";
    WriteFile(file, TableText({{"O", 66, "0.4"}, {"H", 31, "0.2"}}));
    DensityMap map;
    map.atoms = {Atom("H   ", 0.76f, 0.59f), Atom("O   ", 0), Atom("H   ", -0.76f, 0.59f)};
    BondList list{{{7, 9}}};
    EXPECT_FALSE(BuildBonds(map, folder.path().string(), list));
    EXPECT_EQ(map.atoms[0].type, 2);
    EXPECT_EQ(list.bonds, (std::vector<Bond>{{1, 2}, {2, 3}}));
    std::filesystem::remove(file);
    ExpectHolds(StopMessage([&] { BuildBonds(map, folder.path().string(), list); }), {file.string()});
}

const std::string kPresetsPath = "/opt/tivarel/layer_limit_presets.txt";

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    return text;
}

// Lines after the twelfth are ignored; the last needs no line end, an empty one is a line.
// Levels read by the lenient rule: inner blanks ignored, text only gives 0.
TEST(LayerPresets, TwelveLinesGiveThreeNamedPresets) {
    const std::vector<std::string> twelve{"First", "0",    "1.0",         "1.5", "  Second  preset\t", "-2.5",
                                          "1 2.5", "3e1",  "Third: (1, 2, 3)", "none", " 4.25 units", "+.5"};
    std::vector<std::string> longer = twelve;
    longer.insert(longer.end(), {"Fourth", "99"});
    const std::string lf = Join(twelve, "\n");
    for (const std::string& text :
         {Join(twelve, "\r\n"), Join(twelve, "\r"), Join(longer, "\r\n"), lf.substr(0, lf.size() - 1)}) {
        const LayerPresets p = ParseLayerPresets(text, kPresetsPath);
        EXPECT_EQ(p[0].name + "|" + p[1].name + "|" + p[2].name, "First|  Second  preset\t|Third: (1, 2, 3)");
        EXPECT_EQ(p[0].levels, (std::array{0.0, 1.0, 1.5}));
        EXPECT_EQ(p[1].levels, (std::array{-2.5, 12.5, 30.0}));
        EXPECT_EQ(p[2].levels, (std::array{0.0, 4.25, 0.5}));
    }
    const std::vector<std::string> eleven(twelve.begin(), twelve.end() - 1);
    EXPECT_EQ(ParseLayerPresets(Join(eleven, "\n") + "\n", kPresetsPath)[2].levels[2], 0.0);
    const std::string cut = Join(eleven, "\r\n");
    for (const auto& [text, lines] :
         {std::pair{cut, "11"}, std::pair{cut.substr(0, cut.size() - 2), "11"}, std::pair{std::string(), "0"}})
        EXPECT_EQ(StopMessage([&in = text] { ParseLayerPresets(in, kPresetsPath); }),
                  "The layer presets file " + kPresetsPath + " has only " + lines +
                      " lines; it needs twelve: for each of three presets a name line and three level lines.");
}

TEST(LayerPresets, LevelsAreClampedIntoTheMapsRangeInSinglePrecision) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::array<double, 4> cases[] = {   // level, min, max, applied
        {0.0, 0.0, 1.0, 0.0},  {1.5, 0.0, 1.0, 1.0},   {0.0, 2.5, 9.0, 2.5},    {-7.0, -3.0, 9.0, -3.0},
        {0.1, 0.0, 1.0, 0.1f}, {1e300, -10, 10, 10}, {-1e300, -10, 10, -10}, {inf, -10.0, 10.0, 10.0}};
    for (const auto& [level, min, max, applied] : cases)
        EXPECT_EQ(ClampPresetLevel(level, float(min), float(max)), applied) << level;
}

}   // namespace
}   // namespace tivarel
