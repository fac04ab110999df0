// Writes the sample maps shipped with Tivarel: two hydrogen-bonded urea molecules drawn
// as a sum of Gaussian atoms on an orthogonal Cartesian grid, in the three map formats
// (sample.fou, sample.mt1, sample.grd).
// The viewer turns and shows the model about the grid frame's zero, so the FOU and MT1
// maps put that zero at the centre of the molecule pair: the grid runs from -L/2 to L/2
// on each axis and the map origin is the pair's fractional centre. The two files hold the
// same header, grid and atoms. A GRD reader always starts the grid at zero, so the GRD
// map describes the same box with the same values; its grid and atoms are the FOU ones
// moved by +L/2.
//
// Structure: urea, CO(NH2)2, tetragonal P-4 21 m, Z = 2,
//   a = b = 5.565, c = 4.684 A (neutron diffraction, Swaminathan, Craven & McMullan
//   1984). All five atoms of the asymmetric unit, hydrogens included, are the published
//   positions. C and O lie on the two-fold axis through (0, 1/2) (site symmetry mm2),
//   which gives each N, H1 and H2 its partner in the same molecule. The second molecule
//   is the -4 image (y, -x, -z), moved one cell along c so that an N-H1...O hydrogen bond
//   (H...O 1.99 A, N...O 2.99 A) joins it to the first.
// The four elements give peaks of four heights; the orthogonal cell gives a diagonal
// cell matrix.
//
// The output is deterministic: the committed files under data/ are checked against it.
//
// Usage: make_sample_map OUTPUT_FOLDER
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "mapio/mt1_writer.h"

namespace {

using Vec3 = tivarel::Vec3d;
using Mat3 = tivarel::Mat3d;  // rows

struct Cell {
    double a, b, c, alpha, beta, gamma;
};
constexpr Cell kCell{5.565, 5.565, 4.684, 90.0, 90.0, 90.0};

// One atom of the asymmetric unit; atoms on the two-fold axis have no partner.
struct SiteAtom {
    char element;
    int electrons;
    Vec3 fractional;
    bool onAxis;
};

constexpr std::array<SiteAtom, 5> kAsymmetricUnit{{
    {'C', 6, {0.0, 0.5, 0.3260}, true},
    {'O', 8, {0.0, 0.5, 0.5953}, true},
    {'N', 7, {0.1459, 0.6459, 0.1766}, false},
    {'H', 1, {0.2575, 0.7575, 0.2827}, false},   // H1: the donor of the hydrogen bond between the molecules
    {'H', 1, {0.1441, 0.6441, -0.0380}, false},  // H2
}};

// Fractional centre of the pair, midway between the two carbon atoms and the centroid of
// all sixteen atoms: the box and the grid frame's zero are centred there. It is the map
// origin, non-zero in every component, so a reader that ignores the origin shows.
constexpr Vec3 kPairCentre{0.25, 0.25, 0.5};

constexpr double kSigma = 0.40;        // Gaussian width of every atom (A)
constexpr double kPerElectron = 10.0;  // peak density per electron: oxygen peaks near 80
constexpr double kValueQuantum = 1e-4; // density is written to four decimals
// Grid step on all three axes (A): 5/32, a binary fraction, so the step, every grid
// coordinate and every box length is exact in single precision and in the decimal text.
// The grid is then symmetric about zero to the bit, and the GRD step L / (n - 1) gives
// back the FOU step exactly.
constexpr double kStep = 0.15625;
constexpr std::array<int, 3> kPoints{60, 63, 58};  // distinct, so swapped axes show
constexpr int kRecordItems = 14;       // label + 3 + 3 + 7 numbers per atom record
constexpr int kValuesPerLine = 10;

struct Atom {
    char element;
    int electrons;
    Vec3 fractional;
    Vec3 cartesian;  // crystal Cartesian frame: a along x, b along y, c along z
};

// ---------------------------------------------------------------- geometry

Vec3 Sub(const Vec3& u, const Vec3& v) { return {u[0] - v[0], u[1] - v[1], u[2] - v[2]}; }
double Length(const Vec3& u) { return std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]); }

Vec3 Times(const Mat3& m, const Vec3& v) {
    Vec3 w{};
    for (size_t i = 0; i < 3; ++i) w[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return w;
}

// Orthogonalisation matrix of an orthogonal cell (all angles 90): fractional -> A.
Mat3 CellMatrix(const Cell& cell) {
    return {{{cell.a, 0.0, 0.0}, {0.0, cell.b, 0.0}, {0.0, 0.0, cell.c}}};
}

// Inverse of the diagonal cell matrix: A -> fractional.
Vec3 ToFractional(const Mat3& m, const Vec3& p) {
    return {p[0] / m[0][0], p[1] / m[1][1], p[2] / m[2][2]};
}

// The two-fold axis along c through (0, 1/2): the partner of an atom in its own molecule.
Vec3 PartnerInMolecule(const Vec3& f) { return {-f[0], 1.0 - f[1], f[2]}; }

// The -4 operation (y, -x, -z) and one cell along c: the hydrogen-bonded second molecule.
Vec3 SecondMolecule(const Vec3& f) { return {f[1], -f[0], 1.0 - f[2]}; }

void AddAtom(std::vector<Atom>& atoms, const Mat3& m, const SiteAtom& site, const Vec3& f) {
    atoms.push_back({site.element, site.electrons, f, Times(m, f)});
}

// The first molecule: each atom of the asymmetric unit, then its partner if it has one.
std::vector<Atom> FirstMolecule(const Mat3& m) {
    std::vector<Atom> atoms;
    for (const SiteAtom& site : kAsymmetricUnit) {
        AddAtom(atoms, m, site, site.fractional);
        if (!site.onAxis) AddAtom(atoms, m, site, PartnerInMolecule(site.fractional));
    }
    return atoms;
}

// Both molecules, the first one's atoms first and the second in the same order.
std::vector<Atom> UreaPair(const Mat3& m) {
    std::vector<Atom> atoms = FirstMolecule(m);
    const size_t perMolecule = atoms.size();
    for (size_t i = 0; i < perMolecule; ++i) {
        const Vec3 f = SecondMolecule(atoms[i].fractional);
        atoms.push_back({atoms[i].element, atoms[i].electrons, f, Times(m, f)});
    }
    return atoms;
}

// ---------------------------------------------------------------- numbers
// Every number is fixed once as text; the binary file stores the float that text reads
// as, so the text and binary maps hold identical values.

struct Number {
    std::string text;
    float value;
};

Number Formatted(const char* format, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return {buffer, std::strtof(buffer, nullptr)};
}

Number Geometry(double v) { return Formatted("%.7g", v); }

Number Density(double v) {
    const double quantised = std::round(v / kValueQuantum) * kValueQuantum;
    return Formatted("%.6g", quantised);
}

// ---------------------------------------------------------------- the map

struct SampleMap {
    Mat3 matrix{};
    Vec3 boxCentre{};  // Cartesian; the grid frame's zero in the FOU and MT1 maps
    std::array<Number, 9> cellMatrix;
    std::array<Number, 3> mapOrigin;
    std::array<Number, 6> cellParams;
    std::array<Number, 3> first;  // grid coordinate of the first point on each axis
    std::array<Number, 3> step;
    std::vector<Atom> atoms;
    std::vector<Number> values;  // x fastest, then y, then z
};

int PointCount() { return kPoints[0] * kPoints[1] * kPoints[2]; }
double BoxLength(size_t axis) { return (kPoints[axis] - 1) * kStep; }
// The grid is centred on the grid frame's zero.
double FirstCoordinate(size_t axis) { return -BoxLength(axis) / 2; }
double GridCoordinate(size_t axis, int k) { return FirstCoordinate(axis) + k * kStep; }  // k from 0

// Density at q in the grid frame, whose zero is the Cartesian point centre.
double DensityAt(const std::vector<Atom>& atoms, const Vec3& centre, const Vec3& q) {
    double sum = 0.0;
    for (const Atom& atom : atoms) {
        const double d = Length(Sub(q, Sub(atom.cartesian, centre)));
        sum += atom.electrons * std::exp(-d * d / (2.0 * kSigma * kSigma));
    }
    return kPerElectron * sum;
}

std::vector<Number> GridValues(const std::vector<Atom>& atoms, const Vec3& centre) {
    std::vector<Number> values;
    values.reserve(static_cast<size_t>(PointCount()));
    for (int z = 0; z < kPoints[2]; ++z)
        for (int y = 0; y < kPoints[1]; ++y)
            for (int x = 0; x < kPoints[0]; ++x) {
                const Vec3 q{GridCoordinate(0, x), GridCoordinate(1, y), GridCoordinate(2, z)};
                values.push_back(Density(DensityAt(atoms, centre, q)));
            }
    return values;
}

// Header numbers shared by the FOU and MT1 files.
void SetHeaderNumbers(SampleMap& map) {
    for (size_t i = 0; i < 9; ++i) map.cellMatrix[i] = Geometry(map.matrix[i / 3][i % 3]);
    const Vec3 origin = ToFractional(map.matrix, map.boxCentre);
    for (size_t i = 0; i < 3; ++i) map.mapOrigin[i] = Geometry(origin[i]);
    const std::array<double, 6> cell{kCell.a, kCell.b, kCell.c, kCell.alpha, kCell.beta, kCell.gamma};
    for (size_t i = 0; i < 6; ++i) map.cellParams[i] = Geometry(cell[i]);
    for (size_t i = 0; i < 3; ++i) map.first[i] = Geometry(FirstCoordinate(i));
    for (size_t i = 0; i < 3; ++i) map.step[i] = Geometry(kStep);
}

// The box, and with it the grid frame's zero, is centred on the molecule pair.
SampleMap BuildSampleMap() {
    SampleMap map;
    map.matrix = CellMatrix(kCell);
    map.atoms = UreaPair(map.matrix);
    map.boxCentre = Times(map.matrix, kPairCentre);
    SetHeaderNumbers(map);
    map.values = GridValues(map.atoms, map.boxCentre);
    return map;
}

// Index into SampleMap::values of the 0-based grid point (x, y, z).
size_t ValueIndex(int x, int y, int z) {
    return static_cast<size_t>(x + kPoints[0] * (y + kPoints[1] * z));
}

// ---------------------------------------------------------------- text files

const char* const kTitle = "Tivarel sample map: urea CO(NH2)2, P-4 21 m, a=b=5.565 c=4.684, two H-bonded molecules";
const char* const kMethod = "Gaussian atoms (sigma 0.4 A, 10 per electron) on an orthogonal 0.15625 A grid";

class TextFile {
public:
    void line(const std::string& text) { text_ += text + "\r\n"; }
    // Numbers several to a line; a partial line is closed by endNumbers().
    void item(const std::string& text) {
        text_ += (inLine_ == 0 ? "" : " ") + text;
        if (++inLine_ == kValuesPerLine) endNumbers();
    }
    void endNumbers() {
        if (inLine_ > 0) text_ += "\r\n";
        inLine_ = 0;
    }
    void numbers(const std::vector<std::string>& items) {
        std::string joined;
        for (const std::string& s : items) joined += (joined.empty() ? "" : " ") + s;
        line(joined);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    int inLine_ = 0;
};

std::string Integer(long v) { return std::to_string(v); }

void WriteFouHeader(TextFile& f, const SampleMap& map) {
    f.line(kTitle);
    f.line(kMethod);
    for (size_t row = 0; row < 3; ++row)
        f.numbers({map.cellMatrix[row * 3].text, map.cellMatrix[row * 3 + 1].text, map.cellMatrix[row * 3 + 2].text});
    f.numbers({map.mapOrigin[0].text, map.mapOrigin[1].text, map.mapOrigin[2].text});
    f.line("Cell constants a, b, c, alpha, beta, gamma");
    std::vector<std::string> cell;
    for (const Number& n : map.cellParams) cell.push_back(n.text);
    f.numbers(cell);
    f.line("Grid axes x, y, z: first coordinate, step, 0, 0");
    for (size_t axis = 0; axis < 3; ++axis) f.numbers({map.first[axis].text, map.step[axis].text, "0", "0"});
    f.line("Grid points nx, ny, nz");
    f.numbers({Integer(kPoints[0]), Integer(kPoints[1]), Integer(kPoints[2])});
}

// Z sections run with y fastest: for x, for y.
void WriteFouSections(TextFile& f, const SampleMap& map) {
    for (int z = 0; z < kPoints[2]; ++z) {
        f.line("Section " + Integer(z + 1));
        f.line(Geometry(GridCoordinate(2, z)).text);
        for (int x = 0; x < kPoints[0]; ++x)
            for (int y = 0; y < kPoints[1]; ++y) f.item(map.values[ValueIndex(x, y, z)].text);
        f.endNumbers();
    }
}

// Record: label line; serial, electrons, 0; fractional x, y, z; occupancy, U, five 0.
void WriteFouAtoms(TextFile& f, const SampleMap& map) {
    f.line("Atoms: count, items per record");
    f.numbers({Integer(static_cast<long>(map.atoms.size())), Integer(kRecordItems)});
    const std::string u = Geometry(kSigma * kSigma).text;
    for (size_t i = 0; i < map.atoms.size(); ++i) {
        const Atom& atom = map.atoms[i];
        f.line(std::string(1, atom.element));
        f.numbers({Integer(static_cast<long>(i + 1)), Integer(atom.electrons), "0"});
        f.numbers({Geometry(atom.fractional[0]).text, Geometry(atom.fractional[1]).text,
                   Geometry(atom.fractional[2]).text});
        f.numbers({"1", u, "0", "0", "0", "0", "0"});
    }
}

std::string FouText(const SampleMap& map) {
    TextFile f;
    WriteFouHeader(f, map);
    WriteFouSections(f, map);
    WriteFouAtoms(f, map);
    return f.text();
}

// The GRD box frame is the crystal's Cartesian frame; its centre is the molecule pair's,
// so the GRD reader's grid frame is the FOU one moved by half the box lengths.
std::string GrdAtomLine(const Atom& atom) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%c        %9.4f %9.4f %9.4f", atom.element, atom.cartesian[0],
                  atom.cartesian[1], atom.cartesian[2]);
    return buffer;
}

std::string GrdText(const SampleMap& map) {
    TextFile f;
    f.line(kTitle);
    f.line(kMethod);
    f.line("Box frame: Cartesian, a along x, b along y, c along z (A)");
    f.line("Grid points nx ny nz; box centre; box lengths");
    f.numbers({Integer(kPoints[0]), Integer(kPoints[1]), Integer(kPoints[2])});
    f.numbers({Geometry(map.boxCentre[0]).text, Geometry(map.boxCentre[1]).text, Geometry(map.boxCentre[2]).text});
    f.numbers({Geometry(BoxLength(0)).text, Geometry(BoxLength(1)).text, Geometry(BoxLength(2)).text});
    f.line("Atoms");
    f.numbers({Integer(static_cast<long>(map.atoms.size()))});
    for (const Atom& atom : map.atoms) f.line(GrdAtomLine(atom));
    f.line("Density");
    f.line("x fastest, then y, then z");
    f.line(Integer(PointCount()) + " values");
    for (const Number& v : map.values) f.item(v.text);
    f.endNumbers();
    return f.text();
}

// ---------------------------------------------------------------- binary file

// The FOU header, grid and atoms; the atom records carry the same numbers as the FOU ones.
std::string Mt1Bytes(const SampleMap& map) {
    tivarel::Mt1Contents mt1;
    for (size_t i = 0; i < 9; ++i) mt1.cellMatrix.a[i] = map.cellMatrix[i].value;
    for (size_t i = 0; i < 3; ++i) {
        mt1.mapOrigin[static_cast<int>(i)] = map.mapOrigin[i].value;
        mt1.first[i] = map.first[i].value;
        mt1.step[i] = map.step[i].value;
    }
    for (size_t i = 0; i < 6; ++i) mt1.cellParams[i] = map.cellParams[i].value;
    mt1.grid.resize(kPoints[0], kPoints[1], kPoints[2]);
    for (int z = 0; z < kPoints[2]; ++z)
        for (int y = 0; y < kPoints[1]; ++y)
            for (int x = 0; x < kPoints[0]; ++x) mt1.grid(x + 1, y + 1, z + 1) = map.values[ValueIndex(x, y, z)].value;
    const float u = Geometry(kSigma * kSigma).value;
    for (size_t i = 0; i < map.atoms.size(); ++i) {
        const Atom& atom = map.atoms[i];
        tivarel::Mt1Atom record;
        record.label = std::string(1, atom.element);
        record.before = {static_cast<float>(i + 1), static_cast<float>(atom.electrons), 0.0f};
        for (size_t c = 0; c < 3; ++c) record.position[static_cast<int>(c)] = Geometry(atom.fractional[c]).value;
        record.after = {1.0f, u, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        mt1.atoms.push_back(record);
    }
    return tivarel::Mt1Bytes(mt1);
}

// ---------------------------------------------------------------- output

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (out) return true;
    std::cerr << "make_sample_map: cannot write " << path << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: make_sample_map OUTPUT_FOLDER\n";
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const SampleMap map = BuildSampleMap();
    const bool ok = WriteFile(folder + "sample.fou", FouText(map)) &&
                    WriteFile(folder + "sample.mt1", Mt1Bytes(map)) &&
                    WriteFile(folder + "sample.grd", GrdText(map));
    return ok ? 0 : 1;
}
