// The sample maps under data/: they are the current output of make_sample_map, they
// hold real urea molecules (atoms on density maxima, peak heights by element, chemical
// bond lengths, a hydrogen bond between the molecules), the FOU and MT1 grids are
// centred on the molecules (the viewer turns the model about the grid frame's zero), the
// MT1 file holds exactly the FOU header, grid and atoms, and the GRD file the same box
// and values in its own frame, which starts the grid at zero.
// The files are parsed here with a small parser of this test's own, so that a fault in
// the program's readers cannot hide a fault in the sample data.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kDataDir = TIVAREL_SOURCE_DIR "/data/";
const std::array<const char*, 3> kSampleFiles{"sample.fou", "sample.mt1", "sample.grd"};

using Vec3 = std::array<double, 3>;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The reading rules of the text map formats: a number ends at a blank, comma or line end
// and takes one following comma or line end with it; a skipped line discards up to and
// including the next line end.
class Cursor {
public:
    explicit Cursor(std::string text) : text_(std::move(text)) {}

    std::string item() {
        while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) != nullptr) ++pos_;
        const size_t start = pos_;
        while (pos_ < text_.size() && std::strchr(" ,\r\n", text_[pos_]) == nullptr) ++pos_;
        if (start == pos_) throw std::runtime_error("number expected at byte " + std::to_string(start));
        std::string token = text_.substr(start, pos_ - start);
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == ',') ++pos_;
        else lineEnd();
        return token;
    }
    double number() { return std::stod(item()); }
    float value() { return std::strtof(item().c_str(), nullptr); }
    int integer() { return std::stoi(item()); }
    void skipLine() { textLine(); }
    std::string textLine() {
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
        std::string line = text_.substr(start, pos_ - start);
        lineEnd();
        return line;
    }
    bool atEnd() const { return pos_ >= text_.size(); }

private:
    void lineEnd() {
        if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    }
    std::string text_;
    size_t pos_ = 0;
};

struct Atom {
    std::string label;
    Vec3 position;  // fractional (FOU, MT1) or box Cartesian (GRD) as read
};

struct Sample {
    std::array<double, 9> matrix{};  // row by row
    Vec3 origin{};
    std::array<double, 6> cell{};
    Vec3 first{};
    Vec3 step{};
    std::array<int, 3> n{};
    std::vector<float> values;  // x fastest, then y, then z
    int recordItems = 0;
    std::vector<Atom> atoms;

    size_t index(int x, int y, int z) const {  // 0-based grid point
        return static_cast<size_t>(x + n[0] * (y + n[1] * z));
    }
    float at(const std::array<int, 3>& k) const { return values.at(index(k[0], k[1], k[2])); }
    Vec3 toGrid(const Vec3& f) const {  // CellMatrix * (f - MapOrigin)
        Vec3 p{};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j) p[i] += matrix[i * 3 + j] * (f[j] - origin[j]);
        return p;
    }
};

// FOU: two headings; matrix; origin; line; cell; line; axes; line; counts; sections with
// y fastest; line; N K; atom records.
void readFouSections(Cursor& c, Sample& s) {
    s.values.assign(static_cast<size_t>(s.n[0]) * static_cast<size_t>(s.n[1]) * static_cast<size_t>(s.n[2]), 0.0f);
    for (int z = 0; z < s.n[2]; ++z) {
        c.skipLine();
        c.number();
        for (int x = 0; x < s.n[0]; ++x)
            for (int y = 0; y < s.n[1]; ++y) s.values[s.index(x, y, z)] = c.value();
    }
}

void readFouAtoms(Cursor& c, Sample& s) {
    const int count = c.integer();
    s.recordItems = c.integer();
    for (int i = 0; i < count; ++i) {
        Atom atom;
        atom.label = c.textLine();
        for (int k = 0; k < 3; ++k) c.number();
        for (double& v : atom.position) v = c.number();
        for (int k = 0; k < 7; ++k) c.number();
        s.atoms.push_back(atom);
    }
}

Sample readFou(const std::string& path) {
    Cursor c(readFile(path));
    Sample s;
    c.skipLine();
    c.skipLine();
    for (double& m : s.matrix) m = c.number();
    for (double& o : s.origin) o = c.number();
    c.skipLine();
    for (double& v : s.cell) v = c.number();
    c.skipLine();
    for (size_t axis = 0; axis < 3; ++axis) {
        s.first[axis] = c.number();
        s.step[axis] = c.number();
        c.number();
        c.number();
    }
    c.skipLine();
    for (int& n : s.n) n = c.integer();
    readFouSections(c, s);
    c.skipLine();
    readFouAtoms(c, s);
    EXPECT_TRUE(c.atEnd()) << "bytes after the last atom record";
    return s;
}

// MT1: fixed offsets, little-endian.
uint32_t word(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + i))) << (8 * i);
    return v;
}
float floatAt(const std::string& b, size_t at) {
    const uint32_t w = word(b, at);
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}
int intAt(const std::string& b, size_t at) { return static_cast<int32_t>(word(b, at)); }

struct Mt1 {
    std::array<float, 9> matrix{};
    std::array<float, 3> origin{}, first{}, step{};
    std::array<float, 6> cell{};
    std::array<int, 3> n{};
    std::vector<float> values;  // x fastest
    int recordItems = 0;
    std::vector<std::string> labels;
    std::vector<std::array<float, 3>> fractional;
    size_t size = 0, end = 0;
};

void readMt1Atoms(const std::string& b, size_t at, Mt1& m) {
    const int count = intAt(b, at + 6);
    m.recordItems = intAt(b, at + 10);
    at += 14;
    for (int i = 0; i < count; ++i, at += 58) {
        m.labels.push_back(b.substr(at + 2, 4));
        m.fractional.push_back({floatAt(b, at + 18), floatAt(b, at + 22), floatAt(b, at + 26)});
    }
    m.end = at;
}

Mt1 readMt1(const std::string& path) {
    const std::string b = readFile(path);
    Mt1 m;
    m.size = b.size();
    for (size_t i = 0; i < 9; ++i) m.matrix[i] = floatAt(b, 38 + 4 * i);
    for (size_t i = 0; i < 3; ++i) m.origin[i] = floatAt(b, 74 + 4 * i);
    for (size_t i = 0; i < 6; ++i) m.cell[i] = floatAt(b, 92 + 4 * i);
    for (size_t axis = 0; axis < 3; ++axis) {
        m.first[axis] = floatAt(b, 122 + 16 * axis);
        m.step[axis] = floatAt(b, 126 + 16 * axis);
        m.n[axis] = intAt(b, 176 + 4 * axis);
    }
    const size_t nx = static_cast<size_t>(m.n[0]), ny = static_cast<size_t>(m.n[1]), nz = static_cast<size_t>(m.n[2]);
    m.values.assign(nx * ny * nz, 0.0f);
    size_t at = 188;
    for (size_t z = 0; z < nz; ++z) {
        at += z == 0 ? 10 : 14;
        for (size_t x = 0; x < nx; ++x)
            for (size_t y = 0; y < ny; ++y, at += 4) m.values[x + nx * (y + ny * z)] = floatAt(b, at);
    }
    readMt1Atoms(b, at, m);
    return m;
}

// GRD: four headings; counts; box centre; box lengths; line; N; fixed-column atom lines;
// three lines; values x fastest.
struct Grd {
    std::array<int, 3> n{};
    Vec3 centre{};
    std::array<float, 3> length{};
    std::vector<Atom> atoms;
    std::vector<float> values;
    bool atEnd = false;
};

Grd readGrd(const std::string& path) {
    Cursor c(readFile(path));
    Grd g;
    for (int i = 0; i < 4; ++i) c.skipLine();
    for (int& n : g.n) n = c.integer();
    for (double& v : g.centre) v = c.number();
    for (float& v : g.length) v = c.value();
    c.skipLine();
    const int count = c.integer();
    for (int i = 0; i < count; ++i) {
        const std::string line = c.textLine();
        g.atoms.push_back({line.substr(0, 1), {std::stod(line.substr(9, 9)), std::stod(line.substr(19, 9)),
                                               std::stod(line.substr(29, 9))}});
    }
    for (int i = 0; i < 3; ++i) c.skipLine();
    const size_t total = static_cast<size_t>(g.n[0]) * static_cast<size_t>(g.n[1]) * static_cast<size_t>(g.n[2]);
    for (size_t i = 0; i < total; ++i) g.values.push_back(c.value());
    g.atEnd = c.atEnd();
    return g;
}

double distance(const Vec3& p, const Vec3& q) {
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]));
}

bool isHydrogen(const Atom& atom) { return atom.label == "H"; }

// Electrons of the elements urea is made of; 0 for any other label.
int electrons(const std::string& element) {
    if (element == "H") return 1;
    if (element == "C") return 6;
    if (element == "N") return 7;
    if (element == "O") return 8;
    return 0;
}

size_t countOf(const Sample& s, const std::string& element) {
    size_t count = 0;
    for (const Atom& atom : s.atoms)
        if (atom.label == element) ++count;
    return count;
}

double atomDistance(const Sample& s, size_t i, size_t j) {
    return distance(s.toGrid(s.atoms[i].position), s.toGrid(s.atoms[j].position));
}

std::array<int, 3> nearestGridPoint(const Sample& s, const Atom& atom) {
    const Vec3 p = s.toGrid(atom.position);
    std::array<int, 3> k{};
    for (size_t axis = 0; axis < 3; ++axis) {
        k[axis] = static_cast<int>(std::lround((p[axis] - s.first[axis]) / s.step[axis]));
        EXPECT_GE(k[axis], 0) << atom.label;
        EXPECT_LT(k[axis], s.n[axis]) << atom.label;
        k[axis] = std::clamp(k[axis], 0, s.n[axis] - 1);
    }
    return k;
}

// Covalent bonds are shorter than this; urea's shortest non-bonded contact, H...H in an
// NH2 group, is about 1.75 A.
constexpr double kLongestBond = 1.6;

struct BondRule {
    const char* first;
    const char* second;
    double shortest, longest;  // A
};

// Urea's bonds, C=O, C-N and N-H, with the ranges of chemically sound lengths.
constexpr std::array<BondRule, 3> kUreaBonds{{
    {"C", "O", 1.2, 1.3},
    {"C", "N", 1.3, 1.4},
    {"N", "H", 0.95, 1.05},
}};

const BondRule* ureaBond(const std::string& a, const std::string& b) {
    for (const BondRule& rule : kUreaBonds)
        if ((a == rule.first && b == rule.second) || (a == rule.second && b == rule.first)) return &rule;
    return nullptr;
}

// The labels of an atom's covalent neighbours in urea, sorted.
std::string ureaNeighbours(const std::string& element) {
    if (element == "C") return "NNO";
    if (element == "N") return "CHH";
    if (element == "O") return "C";
    if (element == "H") return "N";
    return "?";
}

class SampleMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fou_ = new Sample(readFou(kDataDir + "sample.fou")); }
    static void TearDownTestSuite() {
        delete fou_;
        fou_ = nullptr;
    }
    static const Sample& fou() { return *fou_; }

private:
    static inline Sample* fou_ = nullptr;
};

TEST(SampleMapFiles, CommittedFilesAreTheToolsCurrentOutput) {
    std::string folder = (fs::temp_directory_path() / "tivarel-sample-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string command = std::string("\"") + TIVAREL_MAKE_SAMPLE_MAP + "\" \"" + folder + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : kSampleFiles) {
        const std::string fresh = readFile(folder + "/" + name);
        EXPECT_TRUE(fresh == readFile(kDataDir + name))
            << "data/" << name << " is out of date: run make_sample_map with the data folder";
    }
    fs::remove_all(folder);
}

TEST_F(SampleMapTest, HoldsUreaMoleculesOfCNOAndH) {
    const Sample& s = fou();
    EXPECT_EQ(s.recordItems, 14);
    for (const Atom& atom : s.atoms) EXPECT_GT(electrons(atom.label), 0) << "unexpected label " << atom.label;
    const size_t carbons = countOf(s, "C");
    ASSERT_GE(carbons, 1u);
    // CO(NH2)2: per carbon one oxygen, two nitrogens and four hydrogens.
    EXPECT_EQ(countOf(s, "O"), carbons);
    EXPECT_EQ(countOf(s, "N"), 2 * carbons);
    EXPECT_EQ(countOf(s, "H"), 4 * carbons);
    EXPECT_EQ(s.atoms.size(), 8 * carbons);
    for (int n : s.n) {
        EXPECT_GE(n, 40);
        EXPECT_LE(n, 80);
    }
}

TEST_F(SampleMapTest, AtomsLieInsideTheGridBox) {
    const Sample& s = fou();
    for (const Atom& atom : s.atoms) {
        const Vec3 p = s.toGrid(atom.position);
        for (size_t axis = 0; axis < 3; ++axis) {
            EXPECT_GT(p[axis], s.first[axis]) << atom.label;
            EXPECT_LT(p[axis], s.first[axis] + (s.n[axis] - 1) * s.step[axis]) << atom.label;
        }
    }
}

// The viewer turns the model about the grid frame's zero and shows about -6 to 6 units
// around it: the grid runs symmetrically about zero (exactly, in single precision, as the
// readers compute it) and the molecules sit at that zero, all in view.
TEST_F(SampleMapTest, GridAndMoleculesAreCentredOnTheGridFramesZero) {
    const Sample& s = fou();
    for (size_t axis = 0; axis < 3; ++axis) {
        const float first = static_cast<float>(s.first[axis]);
        const float last = first + static_cast<float>(s.n[axis] - 1) * static_cast<float>(s.step[axis]);
        EXPECT_LT(first, 0.0f) << "axis " << axis;
        EXPECT_EQ(last, -first) << "axis " << axis;
    }
    Vec3 centroid{};
    for (const Atom& atom : s.atoms) {
        const Vec3 p = s.toGrid(atom.position);
        EXPECT_LT(distance(p, {0.0, 0.0, 0.0}), 6.0) << atom.label;
        for (size_t c = 0; c < 3; ++c) centroid[c] += p[c] / static_cast<double>(s.atoms.size());
    }
    EXPECT_LT(distance(centroid, {0.0, 0.0, 0.0}), 0.5);
}

// The nearest grid point to each non-hydrogen atom is higher than the points about half an
// angstrom away along each axis: the blobs sit where the atoms are. (At 1 A the oxygen
// next to a carbon, 1.26 A away and heavier, would outweigh the carbon's own blob.)
TEST_F(SampleMapTest, HeavyAtomsSitOnDensityMaxima) {
    const Sample& s = fou();
    for (const Atom& atom : s.atoms) {
        if (isHydrogen(atom)) continue;
        const std::array<int, 3> k = nearestGridPoint(s, atom);
        for (size_t axis = 0; axis < 3; ++axis) {
            const int away = static_cast<int>(std::lround(0.5 / s.step[axis]));
            for (int sign : {-1, 1}) {
                std::array<int, 3> q = k;
                q[axis] += sign * away;
                ASSERT_GE(q[axis], 0);
                ASSERT_LT(q[axis], s.n[axis]);
                EXPECT_GT(s.at(k), s.at(q)) << atom.label << " axis " << axis << " sign " << sign;
            }
        }
    }
}

// The density is weighted by electron count, so O peaks above N and N above C: each label
// belongs to the blob it sits on.
TEST_F(SampleMapTest, HeavierAtomsSitOnHigherPeaks) {
    const Sample& s = fou();
    for (const Atom& heavier : s.atoms) {
        for (const Atom& lighter : s.atoms) {
            if (isHydrogen(lighter) || electrons(heavier.label) <= electrons(lighter.label)) continue;
            EXPECT_GT(s.at(nearestGridPoint(s, heavier)), s.at(nearestGridPoint(s, lighter)))
                << heavier.label << " against " << lighter.label;
        }
    }
}

// A wrong cell matrix or origin would distort the molecules: every atom has urea's covalent
// neighbours (C: O and two N; N: C and two H; O: C; H: N) at chemical bond lengths, and no
// two atoms clash.
TEST_F(SampleMapTest, AtomsFormUreaWithChemicalBondLengths) {
    const Sample& s = fou();
    for (size_t i = 0; i < s.atoms.size(); ++i) {
        std::string neighbours;
        for (size_t j = 0; j < s.atoms.size(); ++j) {
            if (i == j) continue;
            const double d = atomDistance(s, i, j);
            EXPECT_GT(d, 0.9) << "atoms " << i + 1 << " and " << j + 1;
            if (d >= kLongestBond) continue;
            neighbours += s.atoms[j].label;
            const BondRule* rule = ureaBond(s.atoms[i].label, s.atoms[j].label);
            if (rule == nullptr) {
                ADD_FAILURE() << "no such bond in urea: atoms " << i + 1 << " and " << j + 1 << " at " << d;
                continue;
            }
            EXPECT_GE(d, rule->shortest) << "atoms " << i + 1 << " and " << j + 1;
            EXPECT_LE(d, rule->longest) << "atoms " << i + 1 << " and " << j + 1;
        }
        std::sort(neighbours.begin(), neighbours.end());
        EXPECT_EQ(neighbours, ureaNeighbours(s.atoms[i].label)) << "atom " << i + 1;
    }
}

// The two molecules touch as in the crystal, through an N-H...O hydrogen bond (H...O about
// 2.0 A, N...O about 3.0 A); inside one urea molecule no H comes that close to the O.
TEST_F(SampleMapTest, MoleculesAreJoinedByAHydrogenBond) {
    const Sample& s = fou();
    int hydrogenBonds = 0;
    for (size_t h = 0; h < s.atoms.size(); ++h) {
        for (size_t o = 0; o < s.atoms.size(); ++o) {
            if (!isHydrogen(s.atoms[h]) || s.atoms[o].label != "O") continue;
            const double d = atomDistance(s, h, o);
            if (d < 1.8 || d > 2.2) continue;
            ++hydrogenBonds;
            for (size_t n = 0; n < s.atoms.size(); ++n) {
                if (s.atoms[n].label != "N" || atomDistance(s, n, h) >= kLongestBond) continue;
                EXPECT_GT(atomDistance(s, n, o), 2.8) << "donor of hydrogen " << h + 1;
                EXPECT_LT(atomDistance(s, n, o), 3.1) << "donor of hydrogen " << h + 1;
            }
        }
    }
    EXPECT_GE(hydrogenBonds, 1);
}

TEST_F(SampleMapTest, Mt1HoldsTheFouHeaderGridAndAtoms) {
    const Sample& s = fou();
    const Mt1 m = readMt1(kDataDir + "sample.mt1");
    EXPECT_EQ(m.end, m.size) << "bytes after the last atom record";
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(m.matrix[i], static_cast<float>(s.matrix[i])) << i;
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(m.cell[i], static_cast<float>(s.cell[i])) << i;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m.origin[i], static_cast<float>(s.origin[i]));
        EXPECT_EQ(m.first[i], static_cast<float>(s.first[i]));
        EXPECT_EQ(m.step[i], static_cast<float>(s.step[i]));
        EXPECT_EQ(m.n[i], s.n[i]);
    }
    EXPECT_TRUE(m.values == s.values);
    EXPECT_EQ(m.recordItems, s.recordItems);
    ASSERT_EQ(m.labels.size(), s.atoms.size());
    for (size_t i = 0; i < s.atoms.size(); ++i) {
        EXPECT_EQ(m.labels[i], (s.atoms[i].label + "    ").substr(0, 4));
        for (size_t c = 0; c < 3; ++c) EXPECT_EQ(m.fractional[i][c], static_cast<float>(s.atoms[i].position[c]));
    }
}

// GRD: identity matrix, steps L/(n-1), its grid starting at zero, which is centre - L/2
// in the box frame. So its grid points and atoms are the FOU ones moved by -first.
TEST_F(SampleMapTest, GrdHoldsTheSameBoxValuesAndAtoms) {
    const Sample& s = fou();
    const Grd g = readGrd(kDataDir + "sample.grd");
    EXPECT_TRUE(g.atEnd) << "bytes after the last value";
    for (size_t axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(g.n[axis], s.n[axis]);
        EXPECT_EQ(g.length[axis] / static_cast<float>(g.n[axis] - 1), static_cast<float>(s.step[axis]));
    }
    EXPECT_TRUE(g.values == s.values);
    ASSERT_EQ(g.atoms.size(), s.atoms.size());
    for (size_t i = 0; i < s.atoms.size(); ++i) {
        EXPECT_EQ(g.atoms[i].label, s.atoms[i].label.substr(0, 1));
        const Vec3 p = s.toGrid(s.atoms[i].position);
        for (size_t c = 0; c < 3; ++c)
            EXPECT_NEAR(g.atoms[i].position[c] - (g.centre[c] - g.length[c] / 2.0), p[c] - s.first[c], 1e-4)
                << "atom " << i + 1 << " axis " << c;
    }
}

}  // namespace
