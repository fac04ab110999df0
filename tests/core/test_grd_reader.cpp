// GRD text maps: the box frame (identity matrix, grid from zero, origin at the box
// corner), fixed-column atom lines, values with x fastest, and input that must stop.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/grd_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kPath = "/maps/test.grd";

// An atom line with the element in column 1 and the coordinate texts `shift` columns into
// their nine-column fields, which start at columns 10, 20 and 30.
FileAtom Atom(const std::string& element, const std::array<std::string, 3>& fields, std::array<double, 3> position,
              int shift = 0) {
    FileAtom atom{element, element.substr(0, 1) + "   ", position};
    for (size_t a = 0; a < 3; ++a) {
        atom.text.resize(size_t(9 + 10 * a + shift), ' ');
        atom.text += fields[a];
    }
    return atom;
}

struct GrdFile {
    std::array<int, 3> n{4, 3, 2};
    std::string atomCount;   // written instead of the number of atoms when set
    std::array<float, 3> centre{2.0f, -1.0f, 4.5f}, length{3.0f, 5.0f, 7.0f};
    std::vector<FileAtom> atoms{Atom("C", {"1.000", "2.000", "3.000"}, {1, 2, 3}),
                                Atom("Fe", {"-0.5", "12.25", "0"}, {-0.5, 12.25, 0}, 4),
                                Atom("O", {"1e-1", "+2.5", "-3.75E1"}, {0.1, 2.5, -37.5}, 2)};
    std::function<float(int, int, int)> value = DefaultValue;
    std::string lineEnd = "\r\n", separator = " ";
    int valuesPerLine = 10;
};

std::string WriteGrd(const GrdFile& f) {
    std::string out;
    const auto line = [&](const std::string& text) { out += text + f.lineEnd; };
    const auto numbers = [&](const std::vector<float>& values) {
        std::string text;
        for (size_t i = 0; i < values.size(); ++i) text += (i > 0 ? f.separator : "") + NumberText(values[i]);
        line(text);
    };
    for (const char* title : {"GRD test map", "12 34 56", "third title", "nx ny nz; box centre; box lengths"})
        line(title);
    numbers({float(f.n[0]), float(f.n[1]), float(f.n[2])});
    numbers({f.centre[0], f.centre[1], f.centre[2]});
    numbers({f.length[0], f.length[1], f.length[2]});
    line("Atoms");
    line(f.atomCount.empty() ? std::to_string(f.atoms.size()) : f.atomCount);
    for (const FileAtom& atom : f.atoms) line(atom.text);
    for (const char* title : {"Density", "x fastest, then y, then z", "1 2 3 values"}) line(title);
    std::vector<float> row;
    for (int z = 1; z <= f.n[2]; ++z)
        for (int y = 1; y <= f.n[1]; ++y)
            for (int x = 1; x <= f.n[0]; ++x) {
                row.push_back(f.value(x, y, z));
                if (int(row.size()) < f.valuesPerLine) continue;
                numbers(row);
                row.clear();
            }
    if (!row.empty()) numbers(row);
    return out;
}

// Identity matrix, unit constants, grid from 0 to L in n - 1 steps, origin at the box
// corner centre - L/2; the atoms moved by minus that corner, the cell a unit cube there.
void ExpectMap(const GrdFile& f, const DensityMap& map) {
    GridFrame box;
    for (size_t a = 0; a < 3; ++a) {
        box.matrix[a][a] = 1.0;
        box.origin[a] = double(f.centre[a]) - double(f.length[a]) / 2.0;
    }
    EXPECT_EQ(map.cellMatrix.a, Mat3f::identity().a);
    EXPECT_EQ(map.cellParams, (std::array{1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}));
    for (int a = 1; a <= 3; ++a) {
        const size_t k = size_t(a - 1);
        EXPECT_EQ(map.gridParams(3 + a), 0.0f);
        EXPECT_NEAR(map.gridParams(6 + a), double(f.length[k]) / (f.n[k] - 1), 1e-6 * f.length[k]);
        EXPECT_NEAR(map.mapOrigin[a - 1], box.origin[k], 1e-6);
    }
    ExpectGrid(f, map);
    ExpectAtomsAndCorners(box, f.atoms, map);
}

TEST(GrdReader, LineEndsSeparatorsAndValuesPerLineReadTheSame) {
    for (const std::string eol : {"\r\n", "\r", "\n"})
        for (const std::string separator : {" ", ",", "  \t", " , "})
            for (int perLine : {1, 7, 30}) {
                GrdFile f;
                f.lineEnd = eol;
                f.separator = separator;
                f.valuesPerLine = perLine;
                ExpectMap(f, ParseGrdMap(WriteGrd(f), kPath));
            }
}

// 21 points over 10 give steps of 0.5; a box centred on (5, 0, -1) starts at (0, -2, -1.5).
TEST(GrdReader, BoxGeometryWorkedByHand) {
    GrdFile f;
    f.n = {21, 2, 3};
    f.centre = {5.0f, 0.0f, -1.0f};
    f.length = {10.0f, 4.0f, 1.0f};
    f.atoms = {Atom("C", {"5", "0", "-1"}, {5, 0, -1})};
    const DensityMap map = ParseGrdMap(WriteGrd(f), kPath);
    EXPECT_EQ((std::array{map.gridParams.dx(), map.gridParams.dy(), map.gridParams.dz()}),
              (std::array{0.5f, 4.0f, 0.5f}));
    EXPECT_EQ(GridPointCoordinate(map.gridParams, 1, 21), 10.0f);
    EXPECT_EQ(map.mapOrigin, (Vec3f{0.0f, -2.0f, -1.5f}));
    EXPECT_EQ(map.atoms.at(0).position, (Vec3f{5.0f, 2.0f, 0.5f}));
    EXPECT_EQ(map.cellCorners[6], (Vec3f{1.0f, 3.0f, 2.5f}));
    EXPECT_EQ(map.grid(2, 1, 1), DefaultValue(2, 1, 1));   // x runs fastest in the file
    EXPECT_EQ(map.grid(1, 2, 1), DefaultValue(1, 2, 1));
}

// Only columns 1 and 10-18, 20-28, 30-38 are read, each field by the lenient rule.
TEST(GrdReader, AtomLinesAreReadByFixedColumnsLeniently) {
    FileAtom packed = Atom("B", {"1.25", "2.5", "-3.75"}, {1.25, 2.5, -3.75}, 4);
    packed.text[18] = packed.text[28] = '9';   // columns 19 and 29, between the fields
    packed.text += "9";                        // column 39, after them
    GrdFile f;
    f.atoms = {Atom("Cl1", {"1 5", "\t2.5\t", "-  0.25"}, {15, 2.5, -0.25}, 1),
               Atom("S", {"7.5xyz", "abc", "1.5E"}, {7.5, 0, 1.5}),
               {"H", "H   ", {0, 0, 0}},
               {"O        2.5    ", "O   ", {2.5, 0, 0}},
               {"P        1.0       -3.", "P   ", {1, -3, 0}},
               Atom("Zn", {"1", "2", "3"}, {1, 2, 3}, 8),
               packed};
    f.atoms[5].text += "  99.9 and more";
    ExpectMap(f, ParseGrdMap(WriteGrd(f), kPath));
    for (const char* none : {"0", "-4"}) {
        f.atoms.clear();
        f.atomCount = none;
        ExpectMap(f, ParseGrdMap(WriteGrd(f), kPath));
    }
}

// Empty title lines, no atoms, one-character values with single separators and no line
// end after the last value: the densest a file can be is not mistaken for a short one.
TEST(GrdReader, DensestLayoutLoads) {
    GrdFile f;
    f.n = {30, 20, 10};
    f.value = [](int x, int y, int z) { return float((x + 2 * y + 3 * z) % 10); };
    std::string text = "\n\n\n\n30,20,10\n0,0,0\n29,38,9\n\n0\n\n\n\n";
    for (int z = 1; z <= 10; ++z)
        for (int y = 1; y <= 20; ++y)
            for (int x = 1; x <= 30; ++x) text += std::to_string((x + 2 * y + 3 * z) % 10) + ",";
    text.pop_back();
    const DensityMap map = ParseGrdMap(text, kPath);
    ExpectGrid(f, map);
    EXPECT_EQ((std::array{map.gridParams.dx(), map.gridParams.dy(), map.gridParams.dz()}),
              (std::array{1.0f, 2.0f, 1.0f}));
}

std::string Replaced(const std::string& from, const std::string& to) {
    return test_support::Replaced(WriteGrd(GrdFile{}), from, to);
}

TEST(GrdReader, BadInputStopsWithAMessageNamingTheFileAndTheFault) {
    const std::string atom3 = "O" + std::string(10, ' ') + "1e-1";
    const std::pair<std::string, std::string> cases[] = {
        {Replaced("\r\n4 3 2\r", "\r\n1 3 2\r"), "has only one grid point along x (nx = 1)"},
        {Replaced("\r\n4 3 2\r", "\r\n4 1 2\r"), "along y (ny = 1)"},
        {Replaced("\r\n4 3 2\r", "\r\n4 3 1\r"), "along z (nz = 1)"},
        {Replaced("\r\n4 3 2\r", "\r\n4 3 32768\r"), "nz = 32768"},
        {Replaced("\r\n4 3 2\r", "\r\nabc 3 2\r"), "holds \"abc\" where a whole number belongs (nx, line 5)"},
        {Replaced("\r\n4 3 2\r", "\r\n40 40 40\r"), "ends early"},
        {Replaced("\nAtoms\r\n3\r", "\nAtoms\r\n32768\r"), "declares 32768 atoms"},
        {Replaced("\nAtoms\r\n3\r", "\nAtoms\r\n40\r"), "ends early"},
        {Replaced("\r\nFe", "\r\n\r\nFe"), "empty line where atom 2 belongs"},
        {Replaced(atom3, "O" + std::string(10, ' ') + "1e39"),
         "atom coordinate out of range (atom 3, columns 10 to 18)"},
        {Replaced(atom3, "O" + std::string(10, ' ') + "-4e38"),
         "atom coordinate out of range (atom 3, columns 10 to 18)"},
        {Replaced("-38.25", "10000.5"), "Your input data looks strange, ZOL > 10000"}};
    for (const auto& [text, part] : cases) ExpectHolds(StopMessage([&] { ParseGrdMap(text, kPath); }), {part});
    ExpectHolds(StopMessage([] { ReadGrdMap("/nonexistent-tivarel-dir/missing.grd"); }),
                {"/nonexistent-tivarel-dir/missing.grd"});
}

}   // namespace
}   // namespace tivarel
