// Atom parameter file, atom types and the bond search: fixed columns, the end line
// and bad files, exact label matching, the single-precision distance and limits,
// strict bond limits, bond order, the bond list limit, the shipped table and the
// bonds of the sample map's urea molecules.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
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
std::string EntryLine(int type, int radius, const char* tolerance, const std::string& label, int unused = 12) {
    char line[80];
    std::snprintf(line, sizeof line, "%3d   %3d    %3d    %3d   %3s    %-4s%10d", type, unused, radius, unused + 1,
                  tolerance, label.c_str(), unused + 2);
    return line;
}

struct Row {
    std::string label;
    int radius;
    const char* tolerance;
};

// A whole file: heading, entries numbered in order, end line.
std::string TableText(const std::vector<Row>& rows, const std::string& lineEnd = "\r\n") {
    std::string text = "Typ  .  Rad  .  Tol  Name" + lineEnd;
    int type = 0;
    for (const Row& r : rows) text += EntryLine(++type, r.radius, r.tolerance, r.label) + lineEnd;
    return text + "  0" + lineEnd;
}

AtomParTable Table(const std::vector<Row>& rows) { return ParseAtomParameters(TableText(rows), kPath); }

AtomRecord Atom(const std::string& name, float x, float y = 0.0f, float z = 0.0f) {
    AtomRecord a;
    a.name = name;
    a.position = {x, y, z};
    return a;
}

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

// ---------------------------------------------------------------- the parameter file

TEST(AtomParameterFile, FieldsComeFromTheirFixedColumns) {
    const std::string text = "heading\r\n" + EntryLine(1, 77, "0.4", "Cl", 345) + "\r\n" +
                             EntryLine(2, 150, "1.5", " Na ", 7) + "\r\n  0\r\n";
    const AtomParTable table = ParseAtomParameters(text, kPath);
    ASSERT_EQ(table.count(), 2);
    const AtomParEntry& cl = table.entries[0];
    EXPECT_EQ(cl.TypeNumber, 1.0);
    EXPECT_FLOAT_EQ(cl.Unused2, 3.45f);
    EXPECT_FLOAT_EQ(cl.BondRadius, 0.77f);
    EXPECT_FLOAT_EQ(cl.Unused4, 3.46f);
    EXPECT_FLOAT_EQ(cl.BondTolerance, 0.4f);
    EXPECT_EQ(cl.EntryLabel, "Cl  ");
    EXPECT_EQ(cl.Unused7, 347.0);
    const AtomParEntry& na = table.entries[1];
    EXPECT_EQ(na.TypeNumber, 2.0);
    EXPECT_FLOAT_EQ(na.BondRadius, 1.5f);
    EXPECT_FLOAT_EQ(na.BondTolerance, 1.5f);
    EXPECT_EQ(na.EntryLabel, " Na ");  // blanks of the label columns are kept
}

TEST(AtomParameterFile, EveryLineEndReadsTheSame) {
    const std::vector<Row> rows{{"C", 77, "0.4"}, {"N", 71, "0.3"}, {"O", 66, "0.2"}};
    for (const std::string lineEnd : {"\r\n", "\r", "\n"}) {
        const AtomParTable table = ParseAtomParameters(TableText(rows, lineEnd), kPath);
        ASSERT_EQ(table.count(), 3) << "line end size " << lineEnd.size();
        for (size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(table.entries[k].EntryLabel, rows[k].label + "   ");
            EXPECT_FLOAT_EQ(table.entries[k].BondRadius, float(rows[k].radius) / 100.0f);
        }
    }
}

TEST(AtomParameterFile, TheFirstLineBelowOneEndsTheTable) {
    const std::string entries = "head\n" + EntryLine(1, 77, "0.4", "C") + "\n" + EntryLine(2, 31, "0.2", "H") + "\n";
    // Whatever follows the end line is not read, not even a broken entry.
    const std::string after = "\n" + EntryLine(9, 10, "0.1", "X") + "\nrubbish\n";
    for (const std::string end : {"  0", "   ", "", " -1", "0.5", "abc", "  0   1    2"}) {
        const AtomParTable table = ParseAtomParameters(entries + end + after, kPath);
        EXPECT_EQ(table.count(), 2) << "end line '" << end << "'";
    }
    EXPECT_EQ(ParseAtomParameters("head\n  0\n", kPath).count(), 0);
}

TEST(AtomParameterFile, BadFilesEndWithMessagesNamingTheFile) {
    const std::string one = "head\n" + EntryLine(1, 77, "0.4", "C") + "\n";
    for (const std::string& text : {one, one.substr(0, one.size() - 1), std::string("head\n"), std::string()}) {
        const std::string message = StopMessage([&] { ParseAtomParameters(text, kPath); });
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        EXPECT_NE(message.find("has no end line"), std::string::npos) << message;
    }

    const std::string missing = (fs::temp_directory_path() / "tivarel_no_such_dir" / "atompar2.txt").string();
    EXPECT_NE(StopMessage([&] { ReadAtomParameters(missing); }).find(missing), std::string::npos);
}

TEST(AtomParameterFile, HoldsAtMostFourHundredEntries) {
    std::vector<Row> rows(400, Row{"C", 77, "0.4"});
    EXPECT_EQ(Table(rows).count(), 400);
    rows.push_back({"N", 71, "0.4"});
    const std::string message = StopMessage([&] { Table(rows); });
    EXPECT_NE(message.find(kPath), std::string::npos) << message;
    EXPECT_NE(message.find("400"), std::string::npos) << message;
}

TEST(AtomParameterFile, TypeNumbersMustEqualTheirRow) {
    const std::string text = "head\r\n" + EntryLine(1, 77, "0.4", "C") + "\r\n" + EntryLine(5, 71, "0.4", "N") +
                             "\r\n" + EntryLine(3, 66, "0.4", "O") + "\r\n  0\r\n";
    const std::string message = StopMessage([&] { ParseAtomParameters(text, kPath); });
    EXPECT_NE(message.find(kPath), std::string::npos) << message;
    EXPECT_NE(message.find("line 3"), std::string::npos) << message;  // the heading is line 1
    EXPECT_NE(message.find(" 5 "), std::string::npos) << message;
    EXPECT_NE(message.find(" 2 "), std::string::npos) << message;
}

// ---------------------------------------------------------------- atom types

TEST(AtomTypes, LabelsMatchExactlyAndTheFirstEntryWins) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"Cl", 99, "0.4"}, {"C", 10, "0.1"}, {"CL", 99, "0.4"}});
    std::vector<AtomRecord> atoms{Atom("CL  ", 0), Atom("C   ", 0), Atom("Cl  ", 0), Atom("C   ", 0)};
    AssignAtomTypes(atoms, table);
    EXPECT_EQ(atoms[0].type, 4);
    EXPECT_EQ(atoms[1].type, 1);  // "C   " is in the file twice: its first entry counts
    EXPECT_EQ(atoms[2].type, 2);
    EXPECT_EQ(atoms[3].type, 1);
}

TEST(AtomTypes, AnUnknownLabelEndsTheProgramWithTheMessage) {
    const AtomParTable table = Table({{"Cl", 99, "0.4"}, {"C", 77, "0.4"}});
    for (const std::string name : {"CL  ", "cl  ", "c   ", "Cl ", " C  ", "N   "}) {
        std::vector<AtomRecord> atoms{Atom("C   ", 0), Atom(name, 1)};
        EXPECT_EQ(StopMessage([&] { AssignAtomTypes(atoms, table); }), "I do not know this atom name: " + name);
    }
    std::vector<AtomRecord> any{Atom("C   ", 0)};
    EXPECT_EQ(StopMessage([&] { AssignAtomTypes(any, Table({})); }), "I do not know this atom name: C   ");
}

// ---------------------------------------------------------------- distance and limits

TEST(BondGeometry, DistanceSumsInSinglePrecisionAndRootsInDouble) {
    EXPECT_EQ(AtomDistance(1, 2, 3, 4, 6, 15), 13.0);
    EXPECT_EQ(AtomDistance(4, 6, 15, 1, 2, 3), 13.0);
    // 1 + 1e-8 is 1 in single precision; a double sum would give 1.000000005.
    EXPECT_EQ(AtomDistance(0, 0, 0, 1, 1e-4f, 0), 1.0);
    // The root of the single-precision sum 2 is taken in double precision.
    EXPECT_EQ(AtomDistance(0, 0, 0, 1, 1, 0), std::sqrt(2.0));
    EXPECT_NE(std::sqrt(2.0), double(std::sqrt(2.0f)));
}

TEST(BondGeometry, LimitsAreRadiusSumMinusAndPlusToleranceSum) {
    const AtomParTable table = Table({{"C", 77, "0.4"}, {"A", 1, "0.7"}, {"B", 37, "0.1"}});
    const auto [low, high] = BondLimits(table, 1, 1);
    EXPECT_NEAR(low, 0.74, 1e-6);
    EXPECT_NEAR(high, 2.34, 1e-6);

    // These values are rounded differently by every other grouping of the sums.
    const float r1 = 0.01f, r2 = 0.37f, t1 = 0.7f, t2 = 0.1f;
    const float wantLow = (r2 + r1) - (t2 + t1), wantHigh = (r2 + r1) + (t2 + t1);
    ASSERT_NE(wantLow, (r1 - t1) + (r2 - t2));
    ASSERT_NE(wantHigh, (r1 + t1) + (r2 + t2));
    ASSERT_NE(wantLow, float(0.38 - 0.8));
    EXPECT_EQ(BondLimits(table, 2, 3), std::make_pair(wantLow, wantHigh));
    EXPECT_EQ(BondLimits(table, 3, 2), std::make_pair(wantLow, wantHigh));
}

TEST(BondGeometry, CarbonAtomsBondStrictlyBetweenTheLimits) {
    const AtomParTable table = Table({{"C", 77, "0.4"}});
    EXPECT_FALSE(BondedAt(table, "C   ", "C   ", 0.7399f));
    EXPECT_TRUE(BondedAt(table, "C   ", "C   ", 0.7401f));
    EXPECT_TRUE(BondedAt(table, "C   ", "C   ", 1.54f));
    EXPECT_TRUE(BondedAt(table, "C   ", "C   ", 2.3399f));
    EXPECT_FALSE(BondedAt(table, "C   ", "C   ", 2.3401f));
    EXPECT_FALSE(BondedAt(table, "C   ", "C   ", 0.0f));
}

TEST(BondGeometry, ADistanceEqualToALimitIsNoBond) {
    // Limits that single precision holds exactly: 1.5 -+ 1.0 gives 0.5 and 2.5.
    const AtomParTable table = Table({{"X", 75, "0.5"}});
    ASSERT_EQ(BondLimits(table, 1, 1), std::make_pair(0.5f, 2.5f));
    const float belowHigh = std::nextafter(2.5f, 0.0f), aboveLow = std::nextafter(0.5f, 1.0f);
    ASSERT_LT(AtomDistance(0, 0, 0, belowHigh, 0, 0), 2.5);
    ASSERT_GT(AtomDistance(0, 0, 0, aboveLow, 0, 0), 0.5);
    EXPECT_FALSE(BondedAt(table, "X   ", "X   ", 2.5f));
    EXPECT_TRUE(BondedAt(table, "X   ", "X   ", belowHigh));
    EXPECT_FALSE(BondedAt(table, "X   ", "X   ", 0.5f));
    EXPECT_TRUE(BondedAt(table, "X   ", "X   ", aboveLow));
    // The same along a diagonal: (1.5, 2, 0) is 2.5 away, (0.3, 0.4, 0) is 0.5 away.
    EXPECT_TRUE(BondsOf({Atom("X   ", 0), Atom("X   ", 1.5f, 2.0f)}, table).empty());
    EXPECT_TRUE(BondsOf({Atom("X   ", 0), Atom("X   ", 0, 0.3f, 0.4f)}, table).empty());
}

// ---------------------------------------------------------------- bond search

TEST(BondSearch, NoAtomOrOneAtomHasNoBonds) {
    const AtomParTable table = Table({{"C", 77, "0.4"}});
    BondList list;
    list.bonds.push_back({1, 2});  // left from an earlier map
    EXPECT_FALSE(FindBonds({}, table, list));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(BondsOf({Atom("C   ", 0)}, table).empty());
}

TEST(BondSearch, BondsAreListedByFirstThenSecondAtom) {
    // Radii and tolerances per type; limits independent of the program's code.
    const std::vector<Row> rows{{"C", 77, "0.4"}, {"N", 71, "0.4"}, {"H", 31, "0.2"}};
    const AtomParTable table = Table(rows);
    const std::map<std::string, std::pair<double, double>> par{{"C   ", {0.77, 0.4}}, {"N   ", {0.71, 0.4}}, {"H   ", {0.31, 0.2}}};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 5.0f);
    std::vector<AtomRecord> atoms;
    for (size_t i = 0; i < 60; ++i)
        atoms.push_back(Atom(std::array{"C   ", "N   ", "H   "}[i % 3], coordinate(random), coordinate(random), coordinate(random)));

    std::vector<std::pair<int, int>> expected;
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size(); ++j) {
            const auto [ri, ti] = par.at(atoms[i].name);
            const auto [rj, tj] = par.at(atoms[j].name);
            const Vec3f a = atoms[i].position, b = atoms[j].position;
            const double d = std::hypot(double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z);
            if (d > ri + rj - ti - tj && d < ri + rj + ti + tj) expected.emplace_back(int(i) + 1, int(j) + 1);
        }
    ASSERT_GT(expected.size(), 20u);
    const std::vector<std::pair<int, int>> found = BondsOf(atoms, table);
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
}

// Atoms on a cubic lattice of spacing 1 (at most 512), shifted along x.
std::vector<AtomRecord> Cluster(int count, float shift) {
    std::vector<AtomRecord> atoms;
    for (int k = 0; k < count; ++k) atoms.push_back(Atom("X   ", shift + float(k % 8), float(k / 8 % 8), float(k / 64)));
    return atoms;
}

// Radius 9.99, tolerance 9.9: every two atoms of one cluster (0.19 < d < 39.78) bond.
AtomParTable WideTable() { return Table({{"X", 999, "9.9"}}); }

TEST(BondSearch, TheListKeepsTheFirstHundredThousandBonds) {
    std::vector<AtomRecord> atoms = Cluster(450, 0.0f);  // 101025 pairs, all bonded
    const AtomParTable table = WideTable();
    AssignAtomTypes(atoms, table);
    BondList list;
    EXPECT_TRUE(FindBonds(atoms, table, list));
    ASSERT_EQ(list.count(), kMaxBonds);
    // The first 100000 pairs in the order (1, 2), (1, 3) ... (1, 450), (2, 3) ...
    size_t k = 0;
    for (int i = 1; i <= 450 && k < list.bonds.size(); ++i)
        for (int j = i + 1; j <= 450 && k < list.bonds.size(); ++j, ++k)
            ASSERT_EQ(list.bonds[k], (Bond{int16_t(i), int16_t(j)})) << "bond " << k + 1;
    EXPECT_NE(TooManyBondsMessage().find("100000"), std::string::npos);
}

TEST(BondSearch, ExactlyAHundredThousandBondsAreAllKept) {
    // Three clusters far apart: 447*446/2 + 23*22/2 + 12*11/2 = 100000 bonds.
    std::vector<AtomRecord> atoms = Cluster(447, 0.0f);
    for (const auto& more : {Cluster(23, 100.0f), Cluster(12, 200.0f)}) atoms.insert(atoms.end(), more.begin(), more.end());
    const AtomParTable table = WideTable();
    AssignAtomTypes(atoms, table);
    BondList list;
    EXPECT_FALSE(FindBonds(atoms, table, list));
    ASSERT_EQ(list.count(), kMaxBonds);
    EXPECT_EQ(list.bonds.back(), (Bond{481, 482}));
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

// ---------------------------------------------------------------- the shipped table

const std::array<const char*, 118> kElements{
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",  "Cl", "Ar",
    "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr",
    "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe",
    "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf",
    "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th",
    "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs",
    "Mt", "Ds", "Rg", "Cn", "Nh", "Fl", "Mc", "Lv", "Ts", "Og"};

std::string Padded(std::string label) { return label + std::string(4 - label.size(), ' '); }

std::string Upper(std::string label) {
    for (char& c : label) c = char(std::toupper(static_cast<unsigned char>(c)));
    return label;
}

int TypeOfLabel(const AtomParTable& table, const std::string& name) {
    std::vector<AtomRecord> atoms{Atom(name, 0)};
    AssignAtomTypes(atoms, table);
    return atoms[0].type;
}

TEST(ShippedAtomTable, ParsesWithUniqueLabelsNumberedByRow) {
    const AtomParTable table = ReadAtomParameters(kShippedTable);
    ASSERT_GT(table.count(), 0);
    EXPECT_LE(table.count(), kMaxAtomParEntries);
    std::set<std::string> labels;
    for (int row = 1; row <= table.count(); ++row) {
        const AtomParEntry& e = table.entries[size_t(row - 1)];
        EXPECT_EQ(e.TypeNumber, row);
        EXPECT_EQ(e.EntryLabel.size(), 4u);
        EXPECT_TRUE(labels.insert(e.EntryLabel).second) << "label '" << e.EntryLabel << "' twice";
    }
}

TEST(ShippedAtomTable, TypesEveryElementAndItsUpperCaseForm) {
    const AtomParTable table = ReadAtomParameters(kShippedTable);
    for (const char* symbol : kElements) {
        const int type = TypeOfLabel(table, Padded(symbol));
        const AtomParEntry& e = table.entries[size_t(type - 1)];
        EXPECT_GE(e.BondRadius, 0.25f) << symbol;  // covalent radii lie between about 0.3 and 2.6
        EXPECT_LE(e.BondRadius, 2.7f) << symbol;
        EXPECT_GT(e.BondTolerance, 0.0f) << symbol;
        const int upper = TypeOfLabel(table, Padded(Upper(symbol)));
        EXPECT_EQ(table.entries[size_t(upper - 1)].BondRadius, e.BondRadius) << symbol;
        EXPECT_EQ(table.entries[size_t(upper - 1)].BondTolerance, e.BondTolerance) << symbol;
    }
    EXPECT_GT(TypeOfLabel(table, "Q   "), 0);
}

struct Contact {
    const char* a;
    const char* b;
    float distance;
    bool bonded;
    const char* what;
};

TEST(ShippedAtomTable, BondsFollowChemistry) {
    const AtomParTable table = ReadAtomParameters(kShippedTable);
    const std::vector<Contact> contacts{
        {"C", "C", 1.54f, true, "C-C single"},       {"C", "C", 1.20f, true, "C#C triple"},
        {"C", "H", 1.09f, true, "C-H"},              {"N", "H", 1.01f, true, "N-H"},
        {"O", "H", 0.96f, true, "O-H"},              {"H", "H", 0.74f, true, "H2"},
        {"C", "N", 1.47f, true, "C-N"},              {"C", "N", 1.35f, true, "amide C-N"},
        {"C", "O", 1.21f, true, "C=O"},              {"C", "O", 1.43f, true, "C-O"},
        {"S", "S", 2.05f, true, "S-S"},              {"C", "S", 1.82f, true, "C-S"},
        {"C", "Cl", 1.77f, true, "C-Cl"},            {"C", "F", 1.35f, true, "C-F"},
        {"Fe", "N", 2.00f, true, "Fe-N"},            {"P", "O", 1.60f, true, "P-O"},
        {"H", "H", 1.60f, false, "H...H in NH2"},    {"H", "H", 1.78f, false, "H...H in CH2"},
        {"C", "C", 2.50f, false, "1,3 C...C"},       {"C", "H", 2.10f, false, "geminal C...H"},
        {"O", "O", 2.25f, false, "O...O of COO"},    {"N", "N", 2.30f, false, "N...N of urea"},
        {"N", "O", 2.27f, false, "N...O of urea"},   {"O", "H", 1.90f, false, "O...H hydrogen bond"},
        {"N", "H", 2.00f, false, "N...H hydrogen bond"}, {"Q", "Q", 1.0f, false, "two peaks"},
    };
    for (const Contact& c : contacts)
        EXPECT_EQ(BondedAt(table, Padded(c.a), Padded(c.b), c.distance), c.bonded) << c.what;
}

TEST(ShippedAtomTable, BondsTheSampleMapsUreaMolecules) {
    DensityMap map = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    ASSERT_EQ(map.atoms.size(), 16u);
    BondList list;
    EXPECT_FALSE(BuildBonds(map, TIVAREL_SOURCE_DIR "/data", list));

    // Chemistry of urea: every H to its nearest N, every N and the O to their nearest C.
    const auto nearest = [&](size_t i, const std::string& element) {
        size_t best = 0;
        double bestDistance = 1e30;
        for (size_t j = 0; j < map.atoms.size(); ++j) {
            const Vec3f a = map.atoms[i].position, b = map.atoms[j].position;
            const double d = std::hypot(double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z);
            if (map.atoms[j].name == element && d < bestDistance) best = j, bestDistance = d;
        }
        return best;
    };
    const std::map<std::string, std::string> partner{{"H   ", "N   "}, {"N   ", "C   "}, {"O   ", "C   "}};
    std::vector<std::pair<int, int>> expected;
    for (size_t i = 0; i < map.atoms.size(); ++i) {
        if (map.atoms[i].name == "C   ") continue;
        const size_t j = nearest(i, partner.at(map.atoms[i].name));
        expected.emplace_back(int(std::min(i, j)) + 1, int(std::max(i, j)) + 1);
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(expected.size(), 14u);  // two molecules of C=O, 2 C-N, 4 N-H
    EXPECT_EQ(Pairs(list), expected);
}

}  // namespace
}  // namespace tivarel
