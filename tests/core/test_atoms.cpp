// Atom parameter file, atom types and the bond search, the shipped parameter table and the
// bonds of the sample map's urea molecules.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <unistd.h>

#include "map_test_support.h"
#include "mapio/atoms.h"
#include "mapio/fou_reader.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

using test_support::StopMessage;

namespace fs = std::filesystem;

const std::string kPath = "/opt/tivarel/atompar2.txt";
const std::string kShippedTable = TIVAREL_SOURCE_DIR "/data/atompar2.txt";

// One entry line in the file's fixed columns: type 1-3, a number 7-9, radius in
// hundredths 14-16, a number 21-23, tolerance 27-29, label 34-37, a number 38-47.
std::string EntryLine(int type, int radius, const char* tolerance, const std::string& label) {
    char line[80];
    std::snprintf(line, sizeof line, "%3d   %3d    %3d    %3d   %3s    %-4s%10d", type, 12, radius, 13, tolerance,
                  label.c_str(), 14);
    return line;
}

struct Row { std::string label; int radius; const char* tolerance; };

// A whole file: heading, entries numbered in order, end line.
std::string TableText(const std::vector<Row>& rows, const std::string& lineEnd = "\r\n") {
    std::string text = "Typ  .  Rad  .  Tol  Name" + lineEnd;
    int type = 0;
    for (const Row& r : rows) text += EntryLine(++type, r.radius, r.tolerance, r.label) + lineEnd;
    return text + "  0" + lineEnd;
}

std::string Padded(std::string label) { return label + std::string(4 - label.size(), ' '); }

AtomParTable Table(const std::vector<Row>& rows) { return ParseAtomParameters(TableText(rows), kPath); }

AtomRecord Atom(const std::string& name, float x, float y = 0.0f, float z = 0.0f) { return {name, {x, y, z}}; }

std::vector<std::pair<int, int>> Pairs(const BondList& list) {
    std::vector<std::pair<int, int>> pairs;
    for (const Bond& b : list.bonds) pairs.emplace_back(b.first, b.second);
    return pairs;
}

// Typed atoms and their bonds under the given table.
std::vector<std::pair<int, int>> BondsOf(std::vector<AtomRecord> atoms, const AtomParTable& table) {
    AssignAtomTypes(atoms, table);
    BondList list;
    EXPECT_FALSE(FindBonds(atoms, table, list));
    return Pairs(list);
}

bool BondedAt(const AtomParTable& table, const std::string& a, const std::string& b, float distance) {
    return !BondsOf({Atom(a, 0.0f), Atom(b, distance)}, table).empty();
}

TEST(AtomParameterFile, FieldsComeFromTheirFixedColumnsWithAnyLineEnd) {
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        const std::string text =
            "heading" + eol + EntryLine(1, 77, "0.4", "Cl") + eol + EntryLine(2, 150, "1.5", " Na ") + eol + "  0";
        const AtomParTable table = ParseAtomParameters(text, kPath);
        ASSERT_EQ(table.count(), 2) << "line end size " << eol.size();
        const AtomParEntry &cl = table.entries[0], &na = table.entries[1];
        EXPECT_FLOAT_EQ(cl.BondRadius, 0.77f);
        EXPECT_FLOAT_EQ(cl.BondTolerance, 0.4f);
        EXPECT_EQ(cl.EntryLabel, "Cl  ");
        EXPECT_FLOAT_EQ(na.BondRadius, 1.5f);
        EXPECT_FLOAT_EQ(na.BondTolerance, 1.5f);
        EXPECT_EQ(na.EntryLabel, " Na ");  // blanks of the label columns are kept
    }
}

TEST(AtomParameterFile, TheFirstLineBelowOneEndsTheTable) {
    const std::string entries = "head\n" + EntryLine(1, 77, "0.4", "C") + "\n" + EntryLine(2, 31, "0.2", "H") + "\n";
    // Whatever follows the end line is not read, not even a broken entry.
    const std::string after = "\n" + EntryLine(9, 10, "0.1", "X") + "\nrubbish\n";
    for (const std::string end : {"  0", "   ", "", " -1", "0.5", "abc", "  0   1    2"})
        EXPECT_EQ(ParseAtomParameters(entries + end + after, kPath).count(), 2) << "end line '" << end << "'";
    EXPECT_EQ(ParseAtomParameters("head\n  0\n", kPath).count(), 0);
}

// No end line, more than 400 entries, a type number other than its row (the heading is
// line 1) and a missing file end with a message naming the file.
TEST(AtomParameterFile, BadFilesEndWithMessagesNamingTheFile) {
    const std::string one = "head\n" + EntryLine(1, 77, "0.4", "C") + "\n";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {one, {"has no end line"}}, {one.substr(0, one.size() - 1), {"has no end line"}}, {"", {"has no end line"}},
        {TableText(std::vector<Row>(401, Row{"C", 77, "0.4"})), {"400"}},
        {"head\n" + EntryLine(1, 77, "0.4", "C") + "\n" + EntryLine(5, 71, "0.4", "N") + "\n  0\n",
         {"line 3", " 5 ", " 2 "}}};
    for (const auto& c : cases) {
        const std::string message = StopMessage([&] { ParseAtomParameters(c.first, kPath); });
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        for (const std::string& part : c.second) EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    EXPECT_EQ(Table(std::vector<Row>(400, Row{"C", 77, "0.4"})).count(), 400);
    const std::string missing = (fs::temp_directory_path() / "tivarel_no_such_dir" / "atompar2.txt").string();
    EXPECT_NE(StopMessage([&] { ReadAtomParameters(missing); }).find(missing), std::string::npos);
}

// A label matches only an entry of exactly its four characters, case included; the first
// such entry gives the type.
TEST(AtomTypes, LabelsMatchExactlyTheFirstEntryWinsAndUnknownLabelsEndTheProgram) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"Cl", 99, "0.4"}, {"C", 10, "0.1"}, {"CL", 99, "0.4"}});
    std::vector<AtomRecord> atoms{Atom("CL  ", 0), Atom("C   ", 0), Atom("Cl  ", 0), Atom("C   ", 0)};
    AssignAtomTypes(atoms, table);
    const int want[] = {4, 1, 2, 1};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(atoms[i].type, want[i]) << atoms[i].name;
    for (const std::string name : {"cl  ", "c   ", "Cl ", " C  ", "N   "}) {
        atoms = {Atom("C   ", 0), Atom(name, 1)};
        EXPECT_EQ(StopMessage([&] { AssignAtomTypes(atoms, table); }), "I do not know this atom name: " + name);
    }
    atoms = {Atom("C   ", 0)};
    EXPECT_EQ(StopMessage([&] { AssignAtomTypes(atoms, Table({})); }), "I do not know this atom name: C   ");
}

TEST(BondGeometry, DistanceSumsInSinglePrecisionAndRootsInDouble) {
    EXPECT_EQ(AtomDistance(4, 6, 15, 1, 2, 3), 13.0);
    // 1 + 1e-8 is 1 in single precision; a double sum would give 1.000000005.
    EXPECT_EQ(AtomDistance(0, 0, 0, 1, 1e-4f, 0), 1.0);
    // The root of the single-precision sum 2 is taken in double precision.
    EXPECT_EQ(AtomDistance(0, 0, 0, 1, 1, 0), std::sqrt(2.0));
    EXPECT_NE(std::sqrt(2.0), double(std::sqrt(2.0f)));
}

TEST(BondGeometry, LimitsAreRadiusSumMinusAndPlusToleranceSum) {
    const AtomParTable table = Table({{"A", 1, "0.7"}, {"B", 37, "0.1"}});
    // These values are rounded differently by every other grouping of the sums.
    const float r1 = 0.01f, r2 = 0.37f, t1 = 0.7f, t2 = 0.1f;
    const std::pair<float, float> want{(r2 + r1) - (t2 + t1), (r2 + r1) + (t2 + t1)};
    ASSERT_NE(want.first, (r1 - t1) + (r2 - t2));
    ASSERT_NE(want.second, (r1 + t1) + (r2 + t2));
    ASSERT_NE(want.first, float(0.38 - 0.8));
    for (const auto& [a, b] : {std::pair{1, 2}, std::pair{2, 1}}) EXPECT_EQ(BondLimits(table, a, b), want) << a << b;
}

// Carbon (77, 0.4) bonds strictly between about 0.74 and 2.34. The limits of X, 0.5 and
// 2.5, are exact in single precision: a distance equal to either is no bond.
TEST(BondGeometry, AtomsBondStrictlyBetweenTheLimits) {
    const AtomParTable carbon = Table({{"C", 77, "0.4"}}), x = Table({{"X", 75, "0.5"}});
    for (const auto& [distance, bonded] : std::vector<std::pair<float, bool>>{
             {0.0f, false}, {0.7399f, false}, {0.7401f, true}, {1.54f, true}, {2.3399f, true}, {2.3401f, false}})
        EXPECT_EQ(BondedAt(carbon, "C   ", "C   ", distance), bonded) << distance;
    ASSERT_EQ(BondLimits(x, 1, 1), std::make_pair(0.5f, 2.5f));
    const float belowHigh = std::nextafter(2.5f, 0.0f), aboveLow = std::nextafter(0.5f, 1.0f);
    ASSERT_LT(AtomDistance(0, 0, 0, belowHigh, 0, 0), 2.5);
    ASSERT_GT(AtomDistance(0, 0, 0, aboveLow, 0, 0), 0.5);
    for (const auto& [distance, bonded] :
         std::vector<std::pair<float, bool>>{{2.5f, false}, {belowHigh, true}, {0.5f, false}, {aboveLow, true}})
        EXPECT_EQ(BondedAt(x, "X   ", "X   ", distance), bonded) << distance;
}

// Random C, N and H atoms: the bonds of the distance rule, computed here in double from the
// radii and tolerances, in the order of first and then second atom. No atom or one atom has
// none (and a list left from an earlier map is emptied).
TEST(BondSearch, BondsAreListedByFirstThenSecondAtom) {
    const std::vector<Row> rows{{"C", 77, "0.4"}, {"N", 71, "0.4"}, {"H", 31, "0.2"}};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 5.0f);
    std::vector<AtomRecord> atoms;
    for (size_t i = 0; i < 60; ++i)
        atoms.push_back(Atom(Padded(rows[i % 3].label), coordinate(random), coordinate(random), coordinate(random)));
    std::vector<std::pair<int, int>> expected;
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size(); ++j) {
            const Row &ri = rows[i % 3], &rj = rows[j % 3];
            const double reach = (ri.radius + rj.radius) / 100.0;
            const double slack = std::stod(ri.tolerance) + std::stod(rj.tolerance);
            const Vec3f a = atoms[i].position, b = atoms[j].position;
            const double d = std::hypot(double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z);
            if (d > reach - slack && d < reach + slack) expected.emplace_back(int(i) + 1, int(j) + 1);
        }
    ASSERT_GT(expected.size(), 20u);
    EXPECT_EQ(BondsOf(atoms, Table(rows)), expected);
    EXPECT_TRUE(BondsOf({Atom("C   ", 0)}, Table(rows)).empty());
    BondList list;
    list.bonds.push_back({1, 2});
    EXPECT_FALSE(FindBonds({}, Table(rows), list));
    EXPECT_EQ(list.count(), 0);
}

TEST(BondSearch, TheListKeepsTheFirstHundredThousandBonds) {
    const AtomParTable table = Table({{"X", 999, "9.9"}});  // limits 0.19 and 39.78
    // Clusters on lattices of spacing 1, 100 apart along x: all atoms of a cluster bond. 450
    // atoms give 101025 bonds (1, 2) ... (1, 450), (2, 3) ...; atoms 1 to 404 start 99990 of
    // them, so the last kept is (405, 415). Clusters of 447, 23 and 12 give exactly 100000.
    const std::vector<std::tuple<std::vector<int>, bool, Bond>> cases{{{450}, true, {405, 415}},
                                                                      {{447, 23, 12}, false, {481, 482}}};
    for (const auto& [sizes, cutShort, last] : cases) {
        std::vector<AtomRecord> atoms;
        for (size_t c = 0; c < sizes.size(); ++c)
            for (int k = 0; k < sizes[c]; ++k)
                atoms.push_back(Atom("X   ", 100.0f * float(c) + float(k % 8), float(k / 8 % 8), float(k / 64)));
        AssignAtomTypes(atoms, table);
        BondList list;
        EXPECT_EQ(FindBonds(atoms, table, list), cutShort);
        ASSERT_EQ(list.count(), kMaxBonds);
        EXPECT_EQ(list.bonds.front(), (Bond{1, 2}));
        EXPECT_EQ(list.bonds.back(), last);
    }
    EXPECT_NE(TooManyBondsMessage().find("100000"), std::string::npos);
}

// The rule as written, every pair once: the reference for the search by boxes.
std::pair<std::vector<Bond>, bool> AllPairBonds(const std::vector<AtomRecord>& atoms, const AtomParTable& table) {
    std::vector<Bond> bonds;
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size(); ++j) {
            const Vec3f a = atoms[i].position, b = atoms[j].position;
            const double d = AtomDistance(a.x, a.y, a.z, b.x, b.y, b.z);
            const auto [low, high] = BondLimits(table, atoms[i].type, atoms[j].type);
            if (!(d > low && d < high)) continue;
            if (bonds.size() == static_cast<size_t>(kMaxBonds)) return {bonds, true};
            bonds.push_back({static_cast<int16_t>(i + 1), static_cast<int16_t>(j + 1)});
        }
    return {bonds, false};
}

TEST(BondSearch, FindsExactlyTheAllPairBondsOnRandomStructures) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"N", 71, "0.4"}, {"H", 31, "0.2"}, {"X", 150, "1.0"}});
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    std::mt19937 random(31);
    struct Shape {
        const char* name;
        int atoms;
        float box;               // coordinates uniform in [0, box), per axis
        Vec3f squash;            // scales each axis: 0 puts all atoms in a plane or on a line
        std::vector<Vec3f> odd;  // atoms added at these positions
    };
    const std::vector<Shape> shapes = {
        {"dense", 3000, 12.0f, {1, 1, 1}, {}},
        {"sparse", 2000, 60.0f, {1, 1, 1}, {}},
        {"flat", 1500, 20.0f, {1, 1, 0}, {}},
        {"line", 800, 200.0f, {1, 0, 0}, {}},
        {"far atoms", 1500, 15.0f, {1, 1, 1}, {{1e30f, 0, 0}, {-3e38f, 3e38f, 0}, {1e30f, 0.5f, 0}, {7, 7, 7}}},
        {"not finite", 1500, 15.0f, {1, 1, 1}, {{inf, 1, 1}, {nan, 2, 2}, {3, -inf, 3}, {inf, 1, 1}, {4, 4, nan}}},
        {"crowded", 300, 1.0f, {1, 1, 1}, {{0, 0, 0}, {0, 0, 0}}},
        {"one box", 900, 2.0f, {1, 1, 1}, {}},   // over 100 000 bonds: the cut keeps the first
    };
    const char* labels[] = {"C   ", "N   ", "H   ", "X   "};
    int cut = 0;
    for (const Shape& shape : shapes) {
        std::uniform_real_distribution<float> coordinate(0.0f, shape.box);
        std::vector<AtomRecord> atoms;
        for (int i = 0; i < shape.atoms; ++i)
            atoms.push_back(Atom(labels[random() % 4], coordinate(random) * shape.squash.x,
                                 coordinate(random) * shape.squash.y, coordinate(random) * shape.squash.z));
        for (const Vec3f& p : shape.odd)
            atoms.insert(atoms.begin() + static_cast<long>(random() % atoms.size()), Atom("C   ", p.x, p.y, p.z));
        AssignAtomTypes(atoms, table);
        const auto [want, wantCut] = AllPairBonds(atoms, table);
        BondList list;
        EXPECT_EQ(FindBonds(atoms, table, list), wantCut) << shape.name;
        EXPECT_EQ(list.bonds, want) << shape.name;
        EXPECT_GT(want.size(), 50u) << shape.name;
        cut += wantCut;
    }
    EXPECT_GE(cut, 1);   // at least one structure runs past the list
}

TEST(BondSearch, BuildBondsReadsTheTableBesideTheProgram) {
    const fs::path dir = fs::temp_directory_path() / ("tivarel_atoms_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "atompar2.txt", std::ios::binary) << TableText({{"O", 66, "0.4"}, {"H", 31, "0.2"}});
    DensityMap map;
    map.atoms = {Atom("H   ", 0.76f, 0.59f), Atom("O   ", 0), Atom("H   ", -0.76f, 0.59f)};  // water
    BondList list;
    EXPECT_FALSE(BuildBonds(map, dir.string(), list));
    EXPECT_EQ(map.atoms[0].type, 2);
    EXPECT_EQ(map.atoms[1].type, 1);
    EXPECT_EQ(Pairs(list), (std::vector<std::pair<int, int>>{{1, 2}, {2, 3}}));  // H...H 1.52 is no bond
    fs::remove(dir / "atompar2.txt");
    const std::string message = StopMessage([&] { BuildBonds(map, dir.string(), list); });
    EXPECT_NE(message.find((dir / "atompar2.txt").string()), std::string::npos) << message;
    fs::remove_all(dir);
}

const AtomParEntry& EntryOf(const AtomParTable& table, const std::string& label) {
    std::vector<AtomRecord> atoms{Atom(Padded(label), 0)};
    AssignAtomTypes(atoms, table);
    return table.entries[size_t(atoms[0].type - 1)];
}

// Every element and its upper-case form, and the peak label Q, typed with a covalent radius
// (about 0.3 to 2.6) and a tolerance.
TEST(ShippedAtomTable, TypesEveryElementAndItsUpperCaseForm) {
    const AtomParTable table = ReadAtomParameters(kShippedTable);
    const std::string symbols =
        "H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se Br Kr Rb Sr Y "
        "Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re "
        "Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg "
        "Cn Nh Fl Mc Lv Ts Og";
    std::istringstream in(symbols);
    int count = 0;
    for (std::string symbol; in >> symbol; ++count) {
        std::string upper = symbol;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        const AtomParEntry &e = EntryOf(table, symbol), &u = EntryOf(table, upper);
        EXPECT_TRUE(e.BondRadius >= 0.25f && e.BondRadius <= 2.7f && e.BondTolerance > 0.0f) << symbol;
        EXPECT_TRUE(u.BondRadius == e.BondRadius && u.BondTolerance == e.BondTolerance) << symbol;
    }
    EXPECT_EQ(count, 118);
    EXPECT_NO_THROW(EntryOf(table, "Q"));
}

TEST(ShippedAtomTable, BondsFollowChemistry) {
    const AtomParTable table = ReadAtomParameters(kShippedTable);
    // a, b, distance, bonded: common bonds, then the closest contacts that are none (H...H in NH2 and
    // CH2, 1,3 C...C, geminal C...H, O...O of COO, N...N and N...O of urea, hydrogen bonds, peaks).
    std::istringstream contacts(
        "C C 1.54 1  C C 1.20 1  C H 1.09 1  N H 1.01 1  O H 0.96 1  H H 0.74 1  C N 1.47 1  C N 1.35 1  C O 1.21 1 "
        "C O 1.43 1  S S 2.05 1  C S 1.82 1  C Cl 1.77 1  C F 1.35 1  Fe N 2.00 1  P O 1.60 1 "
        "H H 1.60 0  H H 1.78 0  C C 2.50 0  C H 2.10 0  O O 2.25 0  N N 2.30 0  N O 2.27 0  O H 1.90 0  N H 2.00 0 "
        "Q Q 1.0 0");
    std::string a, b;
    float distance = 0.0f;
    int count = 0;
    for (bool bonded = false; contacts >> a >> b >> distance >> bonded; ++count)
        EXPECT_EQ(BondedAt(table, Padded(a), Padded(b), distance), bonded) << a << "-" << b << " at " << distance;
    EXPECT_EQ(count, 26);
}

// Urea's covalent bonds are all shorter than 1.6 A, its closest other contact (H...H in NH2)
// about 1.75 A: the sample map's two molecules have 14 such bonds.
TEST(ShippedAtomTable, BondsTheSampleMapsUreaMolecules) {
    DensityMap map = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    BondList list;
    EXPECT_FALSE(BuildBonds(map, TIVAREL_SOURCE_DIR "/data", list));
    ASSERT_EQ(list.count(), 14);
    for (const Bond& b : list.bonds) {
        const Vec3f p = map.atoms[size_t(b.first - 1)].position, q = map.atoms[size_t(b.second - 1)].position;
        EXPECT_LT(std::hypot(double(p.x) - q.x, double(p.y) - q.y, double(p.z) - q.z), 1.6) << b.first;
    }
}

}  // namespace
}  // namespace tivarel
