// The sample maps under data/: they are the current output of make_sample_map, they hold
// real urea molecules (atoms on density maxima, peak heights by element, chemical bond
// lengths, a hydrogen bond between the molecules), the FOU and MT1 grids are centred on the
// molecules (the viewer turns the model about the grid frame's zero), the MT1 file holds
// exactly the FOU header, grid and atoms, and the GRD file the same box and values in its
// own frame, which starts the grid at zero. The files are read with the program's readers,
// which their own tests check against files those tests write.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

const std::string kDataDir = TIVAREL_SOURCE_DIR "/data/";

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const DensityMap& Fou() {
    static const DensityMap map = ReadFouMap(kDataDir + "sample.fou");
    return map;
}

double Distance(const Vec3f& p, const Vec3f& q) {
    return std::hypot(double(p.x) - q.x, double(p.y) - q.y, double(p.z) - q.z);
}

std::string Element(const AtomRecord& atom) { return atom.name.substr(0, atom.name.find(' ')); }

// Electrons of the elements urea is made of; 0 for any other label.
int Electrons(const std::string& element) {
    for (const auto& [symbol, count] : {std::pair{"H", 1}, std::pair{"C", 6}, std::pair{"N", 7}, std::pair{"O", 8}})
        if (element == symbol) return count;
    return 0;
}

size_t CountOf(const std::string& element) {
    return size_t(std::count_if(Fou().atoms.begin(), Fou().atoms.end(),
                                [&](const AtomRecord& a) { return Element(a) == element; }));
}

// Grid coordinate of point k (1-based) along an axis, in single precision as the readers use it.
float GridCoordinate(const DensityMap& map, int axis, int k) {
    return map.gridParams(4 + axis) + float(k - 1) * map.gridParams(7 + axis);
}

// 1-based indices of the grid point nearest to a grid-frame position.
std::array<int, 3> NearestGridPoint(const AtomRecord& atom) {
    std::array<int, 3> k{};
    for (int axis = 0; axis < 3; ++axis) {
        const GridParams& g = Fou().gridParams;
        k[size_t(axis)] = 1 + int(std::lround((atom.position[axis] - g(4 + axis)) / g(7 + axis)));
        EXPECT_GE(k[size_t(axis)], 1) << atom.name;
        EXPECT_LE(k[size_t(axis)], int(g(1 + axis))) << atom.name;
        k[size_t(axis)] = std::clamp(k[size_t(axis)], 1, int(g(1 + axis)));
    }
    return k;
}

float ValueAt(const std::array<int, 3>& k) { return Fou().grid(k[0], k[1], k[2]); }

// Covalent bonds are shorter than this; urea's shortest non-bonded contact, H...H in an
// NH2 group, is about 1.75 A.
constexpr double kLongestBond = 1.6;

TEST(SampleMapFiles, CommittedFilesAreTheToolsCurrentOutput) {
    std::string folder = (fs::temp_directory_path() / "tivarel-sample-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string command = std::string("\"") + TIVAREL_MAKE_SAMPLE_MAP + "\" \"" + folder + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"sample.fou", "sample.mt1", "sample.grd"})
        EXPECT_TRUE(ReadBytes(folder + "/" + name) == ReadBytes(kDataDir + name))
            << "data/" << name << " is out of date: run make_sample_map with the data folder";
    fs::remove_all(folder);
}

// CO(NH2)2: per carbon one oxygen, two nitrogens and four hydrogens, on a grid of 40 to 80
// points per axis.
TEST(SampleMap, HoldsUreaMoleculesOfCNOAndH) {
    for (const AtomRecord& atom : Fou().atoms) EXPECT_GT(Electrons(Element(atom)), 0) << "label " << atom.name;
    const size_t carbons = CountOf("C");
    ASSERT_GE(carbons, 1u);
    EXPECT_EQ(CountOf("O"), carbons);
    EXPECT_EQ(CountOf("N"), 2 * carbons);
    EXPECT_EQ(CountOf("H"), 4 * carbons);
    EXPECT_EQ(Fou().atoms.size(), 8 * carbons);
    for (int axis = 1; axis <= 3; ++axis) {
        EXPECT_GE(Fou().gridParams(axis), 40.0f);
        EXPECT_LE(Fou().gridParams(axis), 80.0f);
    }
}

// The viewer turns the model about the grid frame's zero and shows about -6 to 6 units
// around it: the grid runs symmetrically about zero (exactly, in single precision) and the
// molecules sit at that zero, all in view and inside the grid box.
TEST(SampleMap, GridAndMoleculesAreCentredOnTheGridFramesZero) {
    const DensityMap& map = Fou();
    for (int axis = 0; axis < 3; ++axis) {
        const float first = GridCoordinate(map, axis, 1);
        const float last = GridCoordinate(map, axis, int(map.gridParams(1 + axis)));
        EXPECT_LT(first, 0.0f) << "axis " << axis;
        EXPECT_EQ(last, -first) << "axis " << axis;
        for (const AtomRecord& atom : map.atoms) {
            EXPECT_GT(atom.position[axis], first) << atom.name;
            EXPECT_LT(atom.position[axis], last) << atom.name;
        }
    }
    Vec3f centroid;
    for (const AtomRecord& atom : map.atoms) {
        EXPECT_LT(Distance(atom.position, {}), 6.0) << atom.name;
        for (int c = 0; c < 3; ++c) centroid[c] += atom.position[c] / float(map.atoms.size());
    }
    EXPECT_LT(Distance(centroid, {}), 0.5);
}

// The grid point nearest to each non-hydrogen atom is higher than the points about half an
// angstrom away along each axis: the blobs sit where the atoms are. (At 1 A the oxygen next
// to a carbon, 1.26 A away and heavier, would outweigh the carbon's own blob.)
TEST(SampleMap, HeavyAtomsSitOnDensityMaxima) {
    const GridParams& g = Fou().gridParams;
    for (const AtomRecord& atom : Fou().atoms) {
        if (Element(atom) == "H") continue;
        const std::array<int, 3> k = NearestGridPoint(atom);
        for (int axis = 0; axis < 3; ++axis)
            for (int sign : {-1, 1}) {
                std::array<int, 3> q = k;
                q[size_t(axis)] += sign * int(std::lround(0.5 / g(7 + axis)));
                ASSERT_GE(q[size_t(axis)], 1);
                ASSERT_LE(q[size_t(axis)], int(g(1 + axis)));
                EXPECT_GT(ValueAt(k), ValueAt(q)) << atom.name << " axis " << axis << " sign " << sign;
            }
    }
}

// The density is weighted by electron count, so O peaks above N and N above C: each label
// belongs to the blob it sits on.
TEST(SampleMap, HeavierAtomsSitOnHigherPeaks) {
    for (const AtomRecord& heavier : Fou().atoms)
        for (const AtomRecord& lighter : Fou().atoms) {
            if (Element(lighter) == "H" || Electrons(Element(heavier)) <= Electrons(Element(lighter))) continue;
            EXPECT_GT(ValueAt(NearestGridPoint(heavier)), ValueAt(NearestGridPoint(lighter)))
                << heavier.name << " against " << lighter.name;
        }
}

// A wrong cell matrix or origin would distort the molecules: every atom has urea's covalent
// neighbours (C: O and two N; N: C and two H; O: C; H: N) at chemical bond lengths (C=O 1.2 to
// 1.3, C-N 1.3 to 1.4, N-H 0.95 to 1.05 A), and no other atom closer than 1.6 A.
TEST(SampleMap, AtomsFormUreaWithChemicalBondLengths) {
    const std::vector<AtomRecord>& atoms = Fou().atoms;
    const std::map<std::string, std::pair<double, double>> bondLengths{
        {"CO", {1.2, 1.3}}, {"CN", {1.3, 1.4}}, {"HN", {0.95, 1.05}}};
    const std::map<std::string, std::string> neighbours{{"C", "NNO"}, {"N", "CHH"}, {"O", "C"}, {"H", "N"}};
    for (size_t i = 0; i < atoms.size(); ++i) {
        std::string found;
        for (size_t j = 0; j < atoms.size(); ++j) {
            const double d = Distance(atoms[i].position, atoms[j].position);
            if (i == j || d >= kLongestBond) continue;
            found += Element(atoms[j]);
            std::string pair = Element(atoms[i]) + Element(atoms[j]);
            std::sort(pair.begin(), pair.end());
            ASSERT_TRUE(bondLengths.contains(pair)) << "no such bond in urea: atoms " << i + 1 << " and " << j + 1;
            EXPECT_GE(d, bondLengths.at(pair).first) << "atoms " << i + 1 << " and " << j + 1;
            EXPECT_LE(d, bondLengths.at(pair).second) << "atoms " << i + 1 << " and " << j + 1;
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, neighbours.at(Element(atoms[i]))) << "atom " << i + 1;
    }
}

// The two molecules touch as in the crystal, through an N-H...O hydrogen bond (H...O about
// 2.0 A, N...O about 3.0 A); inside one urea molecule no H comes that close to the O.
TEST(SampleMap, MoleculesAreJoinedByAHydrogenBond) {
    const std::vector<AtomRecord>& atoms = Fou().atoms;
    int hydrogenBonds = 0;
    for (const AtomRecord& h : atoms)
        for (const AtomRecord& o : atoms) {
            if (Element(h) != "H" || Element(o) != "O") continue;
            const double d = Distance(h.position, o.position);
            if (d < 1.8 || d > 2.2) continue;
            ++hydrogenBonds;
            for (const AtomRecord& n : atoms) {
                if (Element(n) != "N" || Distance(n.position, h.position) >= kLongestBond) continue;
                EXPECT_GT(Distance(n.position, o.position), 2.8);
                EXPECT_LT(Distance(n.position, o.position), 3.1);
            }
        }
    EXPECT_GE(hydrogenBonds, 1);
}

// Header, grid and atoms exactly as in the FOU file, and no bytes after the last atom record.
TEST(SampleMap, Mt1HoldsTheFouHeaderGridAndAtoms) {
    const DensityMap& fou = Fou();
    const DensityMap mt1 = ReadMt1Map(kDataDir + "sample.mt1");
    EXPECT_EQ(mt1.cellMatrix.a, fou.cellMatrix.a);
    EXPECT_EQ(mt1.mapOrigin, fou.mapOrigin);
    EXPECT_EQ(mt1.cellParams, fou.cellParams);
    EXPECT_EQ(mt1.gridParams.p, fou.gridParams.p);
    EXPECT_TRUE(mt1.grid.values() == fou.grid.values());
    ASSERT_EQ(mt1.atoms.size(), fou.atoms.size());
    for (size_t i = 0; i < fou.atoms.size(); ++i) {
        EXPECT_EQ(mt1.atoms[i].name, fou.atoms[i].name) << "atom " << i + 1;
        EXPECT_EQ(mt1.atoms[i].position, fou.atoms[i].position) << "atom " << i + 1;
    }
    // 188 bytes of header, the sections after 10 and then 14 bytes each, 14 bytes before the
    // 58-byte atom records.
    const size_t nx = size_t(fou.grid.nx()), ny = size_t(fou.grid.ny()), nz = size_t(fou.grid.nz());
    const size_t size = 188 + 10 + 14 * (nz - 1) + 4 * nx * ny * nz + 14 + 58 * fou.atoms.size();
    EXPECT_EQ(fs::file_size(kDataDir + "sample.mt1"), size);
}

// GRD: identity matrix, the FOU steps, its grid starting at zero: its grid points and atoms
// are the FOU ones moved by the FOU grid's first point.
TEST(SampleMap, GrdHoldsTheSameBoxValuesAndAtoms) {
    const DensityMap& fou = Fou();
    const DensityMap grd = ReadGrdMap(kDataDir + "sample.grd");
    for (int pos = 1; pos <= 9; ++pos)
        EXPECT_EQ(grd.gridParams(pos), pos < 4 || pos > 6 ? fou.gridParams(pos) : 0.0f) << "header number " << pos;
    EXPECT_TRUE(grd.grid.values() == fou.grid.values());
    ASSERT_EQ(grd.atoms.size(), fou.atoms.size());
    for (size_t i = 0; i < fou.atoms.size(); ++i) {
        EXPECT_EQ(grd.atoms[i].name, fou.atoms[i].name) << "atom " << i + 1;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(grd.atoms[i].position[c], fou.atoms[i].position[c] - fou.gridParams(4 + c), 1e-4)
                << "atom " << i + 1 << " axis " << c;
    }
}

}  // namespace
}  // namespace tivarel
