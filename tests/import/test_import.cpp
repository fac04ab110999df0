// The import: CCP4/MRC maps written word by word from the format's header, converted and read back with the viewer's
// reader against the density they were written from; maps from reflection files of small crystals whose structure
// factors gemmi computes from every atom of the cell written out (not the program's symmetry), against their direct
// Fourier sum, and from files as refinement programs and journals publish them (see real/README.md); the tivarel-import
// command as a user meets it, bad inputs too; and files read whole, gzipped or not.
#define GEMMI_WRITE_IMPLEMENTATION   // gemmi's MTZ writer
#include <gemmi/fourier.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/math.hpp>
#include <gemmi/mtz.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/small.hpp>
#include <gemmi/symmetry.hpp>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "../test_files.h"
#include "geometry/geometry.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/file_bytes.h"
#include "import/import_command.h"
#include "import/map_coefficients.h"
#include "import/map_density.h"
#include "import/model_atoms.h"
#include "import/model_placement.h"
#include "import/shelx_hkl.h"
#include "mapio/default_levels.h"
#include "mapio/mt1_reader.h"
#include "mapio/mt1_writer.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

const double kTwoPi = 2.0 * std::acos(-1.0);

// The crystal: a = 7, b = 8, c = 9 Angstrom, beta 110 degrees, sampled in 35, 40 and 45 intervals, and a density
// periodic in the cell that P 1 21 1, (x, y, z) -> (-x, y + 1/2, -z), leaves as it is.
const std::array<int, 3> kSampling{35, 40, 45};
double Density(const Vec3d& f) {
    return 50 + 40 * std::cos(kTwoPi * f[0]) + 30 * std::cos(2 * kTwoPi * f[1]) + 20 * std::cos(kTwoPi * (f[0] + f[2]));
}
// Trilinear interpolation misses by at most h^2 / 8 times the second derivative along each
// edge, summed: (40 + 20) (2 pi)^2 / 35^2 / 8 + 30 (4 pi)^2 / 40^2 / 8 + 20 (2 pi)^2 / 45^2 / 8 < 0.7.
const double kTolerance = 0.7;
// Fractional -> Cartesian, a along x and b along y: c = 9 (cos 110, 0, sin 110).
const std::array<Vec3d, 3> kOrthogonal = {
    {{7.0, 0.0, 9.0 * std::cos(kTwoPi * 110 / 360)}, {0.0, 8.0, 0.0}, {0.0, 0.0, 9.0 * std::sin(kTwoPi * 110 / 360)}}};

// A box of `size` points from `start` (x, y, z), stored with columns, rows and sections along
// `axes`; by default the whole cell.
struct Ccp4File {
    std::array<int, 3> start{}, size = kSampling;
    std::array<int, 3> axes{1, 2, 3};   // MAPC MAPR MAPS: the axis (1 = x) of columns, rows, sections
    std::array<int, 3> sampling = kSampling;
    std::array<float, 6> cell{7.0f, 8.0f, 9.0f, 90.0f, 110.0f, 90.0f};
    int mode = 2, spaceGroup = 1;
    std::function<double(int, int, int)> value = [](int x, int y, int z) {
        return Density({double(x) / kSampling[0], double(y) / kSampling[1], double(z) / kSampling[2]});
    };
};

// Appending writes a further gzip member.
void WriteGzip(const std::string& path, const std::string& text, const char* mode = "wb") {
    gzFile file = gzopen(path.c_str(), mode);
    gzwrite(file, text.data(), unsigned(text.size()));
    gzclose(file);
}

TEST(FileBytes, PlainGzippedAndSeveralMemberFilesReadWholeAndDamagedOnesSayHow) {
    const TempFolder folder;
    const std::string path = (folder.path() / "map.ccp4").string();
    // Large enough for the content's buffer to be made while the file is read.
    std::string text(5 << 20, 'x');
    for (size_t i = 0; i < text.size(); i += 4099) text[i] = char('a' + i % 26);
    const std::string other = "MAP " + std::string(5000, 'y');
    for (const std::string& plain : {std::string(), text}) {
        WriteFile(path, plain);
        EXPECT_EQ(ReadPossiblyGzipped(path).view(), plain);
    }
    // A pipe has no size: its bytes are read as they come, the buffer growing.
    const std::string pipe = (folder.path() / "pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] { WriteFile(pipe, text); });
    EXPECT_EQ(ReadPossiblyGzipped(pipe).view(), text);
    writer.join();
    WriteGzip(path, other);
    WriteGzip(path, text, "ab");
    EXPECT_EQ(ReadPossiblyGzipped(path).view(), other + text);
    WriteGzip(path, text);
    EXPECT_EQ(ReadPossiblyGzipped(path).view(), text);
    // Cut in half; a trailer whose length is not the data's.
    const std::string gz = ReadFile(path);
    const std::pair<std::string, std::string> damaged[] = {
        {gz.substr(0, gz.size() / 2), ": cannot be read: the compressed data ends early"},
        {gz.substr(0, gz.size() - 4) + std::string("\x01\0\0\0", 4), ": cannot be read: "}};
    for (const auto& [bytes, message] : damaged) {
        WriteFile(path, bytes);
        const std::string said = StopMessage([&] { ReadPossiblyGzipped(path); });
        EXPECT_EQ(said.rfind(path + message, 0), 0u) << said;
    }
}

void PutWord(std::string& bytes, size_t word, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes[4 * (word - 1) + i] = char((v >> (8 * i)) & 0xFF);
}

// Little-endian, columns fastest, then rows, then sections; integer modes 0, 1 and 6 take the value rounded.
std::string Ccp4Bytes(const Ccp4File& f) {
    std::string bytes(1024, '\0');
    std::array<size_t, 3> axis{};   // of columns, rows, sections, from 0
    for (size_t i = 0; i < 3; ++i) {
        axis[i] = size_t(f.axes[i] - 1);
        PutWord(bytes, 1 + i, uint32_t(f.size[axis[i]]));
        PutWord(bytes, 5 + i, uint32_t(f.start[axis[i]]));
        PutWord(bytes, 8 + i, uint32_t(f.sampling[i]));
        PutWord(bytes, 17 + i, uint32_t(f.axes[i]));
    }
    PutWord(bytes, 4, uint32_t(f.mode));
    for (size_t i = 0; i < 6; ++i) PutWord(bytes, 11 + i, std::bit_cast<uint32_t>(f.cell[i]));
    PutWord(bytes, 23, uint32_t(f.spaceGroup));
    bytes.replace(4 * 52, 4, "MAP ");
    PutWord(bytes, 54, 0x00004144u);   // little-endian stamp
    std::array<int, 3> at{};           // grid point along x, y, z
    for (int s = 0; s < f.size[axis[2]]; ++s)
        for (int r = 0; r < f.size[axis[1]]; ++r)
            for (int c = 0; c < f.size[axis[0]]; ++c) {
                const std::array<int, 3> stored{c, r, s};
                for (size_t i = 0; i < 3; ++i) at[axis[i]] = f.start[axis[i]] + stored[i];
                const double v = f.value(at[0], at[1], at[2]);
                const uint32_t word = f.mode == 2 ? std::bit_cast<uint32_t>(float(v)) : uint32_t(std::lround(v));
                for (int i = 0; i < (f.mode == 0 ? 1 : f.mode == 2 ? 4 : 2); ++i) bytes += char((word >> (8 * i)) & 0xFF);
            }
    return bytes;
}

// The command in this process, with the viewer's side files beside it, a cache folder of the
// test's own and a viewer that is only noted.
class ImportCommand : public ::testing::Test {
protected:
    std::string put(const std::string& name, const std::string& bytes) const {
        WriteFile(dir / name, bytes);
        return (dir / name).string();
    }
    std::pair<int, std::string> runImport(const std::vector<std::string>& args) const {
        std::ostringstream out, err;
        return {RunImport(args, out, err, environment), err.str()};
    }
    const TempFolder folder;
    const std::filesystem::path& dir = folder.path();
    std::vector<std::string> viewerStarts;   // "viewer map" for each start
    ImportEnvironment environment{TIVAREL_BIN_DIR, (folder.path() / "cache").string(),
                                  [this](const std::string& viewer, const std::string& map) {
                                      viewerStarts.push_back(viewer + " " + map);
                                      return std::string("the test does not start it");
                                  }};
};

struct Converted {
    DensityMap map;   // as the viewer reads it
    uint64_t outside = 0;
    float fill = 0.0f;
};

Converted Convert(const Ccp4File& file, double scale = 1.0) {
    ConversionOptions options;
    options.scale = scale;
    const Conversion c = ConvertMap(ParseCcp4Map(Ccp4Bytes(file), "test.ccp4"), nullptr, options, "test.ccp4");
    return {ParseMt1Map(Mt1Bytes(c.mt1), "test.mt1"), c.outsidePoints, c.fillValue};
}

// Each grid point with the fractional position the viewer gives it.
void ForEachPoint(const DensityMap& map, const std::function<void(float, const Vec3d&)>& visit) {
    Mat3 inverse;
    ASSERT_TRUE(InvertCellMatrix(map.cellMatrix, inverse));
    const GridParams& g = map.gridParams;
    for (int z = 1; z <= map.grid.nz(); ++z)
        for (int y = 1; y <= map.grid.ny(); ++y)
            for (int x = 1; x <= map.grid.nx(); ++x) {
                const Vec3 p{GridPointCoordinate(g, 1, x), GridPointCoordinate(g, 2, y), GridPointCoordinate(g, 3, z)};
                const Vec3 f = GridToFractional(inverse, map.mapOrigin, p);
                visit(map.grid(x, y, z), {f.x, f.y, f.z});
            }
}

// The whole cell, and the whole cell grown from half of it by the space group P 1 21 1, follow the density everywhere
// (the grid wraps round the cell's edges), with the cell matrix of a along x and b along y.
TEST(Ccp4Import, WholeCellFollowsTheDensityInTheCellsFrame) {
    Ccp4File half{{0, 0, 0}, {kSampling[0], kSampling[1] / 2, kSampling[2]}};
    half.spaceGroup = 4;
    for (const Ccp4File& file : {Ccp4File{}, half}) {
        const Converted c = Convert(file);
        EXPECT_EQ(c.outside, 0u);
        ForEachPoint(c.map, [](float value, const Vec3d& f) { ASSERT_NEAR(value, Density(f), kTolerance); });
        for (int a = 0; a < 3; ++a) {   // the grid centred on the viewer's zero, the cell within a step of its ends
            const auto [low, high] = std::minmax_element(c.map.cellCorners.begin(), c.map.cellCorners.end(),
                                                         [a](const Vec3& p, const Vec3& q) { return p[a] < q[a]; });
            const float first = c.map.gridParams(4 + a), last = -first, step = c.map.gridParams(7 + a);
            EXPECT_NEAR(first + (c.map.gridParams(1 + a) - 1) * step, last, 1e-4f) << "axis " << a;
            EXPECT_NEAR((*low)[a], first + step / 2, step / 2) << "axis " << a;
            EXPECT_NEAR((*high)[a], last - step / 2, step / 2) << "axis " << a;
        }
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(c.map.cellMatrix(k / 3 + 1, k % 3 + 1), kOrthogonal[size_t(k / 3)][size_t(k % 3)], 1e-5);
    }
    Ccp4File rectangular;   // edges at right angles: the x stencils are found once for every row
    rectangular.cell = {7.0f, 8.0f, 9.0f, 90.0f, 90.0f, 90.0f};
    ForEachPoint(Convert(rectangular).map, [](float value, const Vec3d& f) { ASSERT_NEAR(value, Density(f), kTolerance); });
}

TEST(Ccp4Import, IntegerModesGiveTheValuesOfFloats) {
    Ccp4File integers{};   // 0 to 90: fits every integer mode
    integers.value = [f = integers.value](int x, int y, int z) { return std::round((f(x, y, z) + 40) / 2); };
    const GridValues asFloats = Convert(integers).map.grid.values();
    for (int mode : {0, 1, 6}) {
        integers.mode = mode;
        EXPECT_EQ(Convert(integers).map.grid.values(), asFloats) << "mode " << mode;
    }
}

// A box two cells and more away from the cell's origin, stored in another axis order and scaled by -2: the density
// inside the data, outside it the smallest value once scaled (the largest one's image), all those points counted; the
// same bytes on one thread as on several.
TEST(Ccp4Import, BoxMapIsResampledOverItsBoxWithTheFillOnlyOutsideTheData) {
    const std::array<int, 3> start{80, -50, 100}, size{14, 12, 16};
    const Ccp4File file{start, size, {2, 3, 1}};
    const Converted c = Convert(file, -2);
    double highest = -INFINITY;
    for (int k = 0; k < size[0] * size[1] * size[2]; ++k)
        highest = std::max(highest, file.value(start[0] + k % size[0], start[1] + k / size[0] % size[1],
                                               start[2] + k / size[0] / size[1]));
    EXPECT_EQ(c.fill, float(-2 * highest));
    uint64_t inside = 0, outside = 0, unsure = 0;
    ForEachPoint(c.map, [&](float value, const Vec3d& f) {
        bool in = true, near = false;
        for (size_t a = 0; a < 3; ++a) {
            const double g = f[a] * kSampling[a] - start[a];
            in = in && g >= 0 && g <= size[a] - 1;
            near = near || std::fabs(g) < 1e-3 || std::fabs(g - (size[a] - 1)) < 1e-3;
        }
        ++(near ? unsure : in ? inside : outside);
        if (!near) {
            EXPECT_NEAR(value, in ? -2 * Density(f) : c.fill, in ? 2 * kTolerance : 0.0);
        }
    });
    EXPECT_TRUE(inside > 1000 && outside > 100) << inside << " " << outside;   // the skewed box's corners lie outside
    EXPECT_TRUE(c.outside >= outside && c.outside <= outside + unsure) << c.outside;
    const MapDensity map = ParseCcp4Map(Ccp4Bytes(file), "test.ccp4");
    ConversionOptions one, three;
    one.threads = 1;
    three.threads = 3;
    one.step = three.step = 0.11;
    EXPECT_EQ(Mt1Bytes(ConvertMap(map, nullptr, one, "x").mt1), Mt1Bytes(ConvertMap(map, nullptr, three, "x").mt1));
}

// Small crystals for reflection files, whose structure factors come from every atom of the cell written out.
struct TestAtom {
    const char *label, *element;
    double x, y, z, uIso;
};

struct Crystal {
    std::array<double, 6> cell;
    const char* spaceGroup;                // as gemmi names it
    std::vector<const char*> operations;   // x,y,z form, the first the identity
    std::vector<TestAtom> atoms;           // the asymmetric unit
    double dMin;
};

// P 1 21 1, beta 110 degrees: iron, oxygen and carbon in general positions.
const Crystal kMonoclinic = {
    {7.0, 8.0, 9.0, 90.0, 110.0, 90.0}, "P 1 21 1", {"x,y,z", "-x,y+1/2,-z"},
    {{"Fe1", "Fe", 0.10, 0.20, 0.30, 0.020}, {"O1", "O", 0.35, 0.25, 0.10, 0.030}, {"C1", "C", 0.60, 0.10, 0.70, 0.025}}, 1.1};
// P -1 with a bromine on the inversion centre at the origin.
const Crystal kCentric = {{6.0, 7.0, 8.0, 80.0, 95.0, 100.0}, "P -1", {"x,y,z", "-x,-y,-z"},
                          {{"Br1", "Br", 0.0, 0.0, 0.0, 0.020}, {"N1", "N", 0.30, 0.15, 0.40, 0.030}}, 1.2};

gemmi::UnitCell CellOf(const Crystal& c) {
    return gemmi::UnitCell(c.cell[0], c.cell[1], c.cell[2], c.cell[3], c.cell[4], c.cell[5]);
}

gemmi::Fractional Apply(const char* triplet, const gemmi::Fractional& f) {
    const std::array<double, 3> x = gemmi::parse_triplet(triplet).apply_to_xyz({f.x, f.y, f.z});
    return {x[0], x[1], x[2]};
}

// The distance in Angstrom from `x` to the nearest image of `atom` under the operations.
double SiteDistance(const gemmi::UnitCell& cell, const std::vector<const char*>& ops, const gemmi::Fractional& atom,
                    const gemmi::Fractional& x) {
    double nearest = INFINITY;
    for (const char* op : ops) nearest = std::min(nearest, std::sqrt(cell.distance_sq(Apply(op, atom), x)));
    return nearest;
}

// The grid point of a map's highest value, as a fraction of the cell.
gemmi::Fractional Highest(const MapDensity& map) {
    const size_t at = size_t(std::max_element(map.values.begin(), map.values.end()) - map.values.begin());
    const size_t nx = size_t(map.dataSize[0]), ny = size_t(map.dataSize[1]);
    return {double(at % nx) / map.sampling[0], double(at / nx % ny) / map.sampling[1], double(at / nx / ny) / map.sampling[2]};
}

struct TestReflection {
    gemmi::Miller hkl;
    std::complex<double> f;
};

// Structure factors of every reflection to d-min (0 0 0 left out), from every atom of the cell in
// P 1: each atom under each operation, a position met twice kept once.
std::vector<TestReflection> WholeSphere(const Crystal& c) {
    gemmi::SmallStructure st;
    st.cell = CellOf(c);
    for (const TestAtom& atom : c.atoms)
        for (const char* triplet : c.operations) {
            const gemmi::Fractional f = Apply(triplet, {atom.x, atom.y, atom.z}).wrap_to_unit();
            const auto same = [&](const gemmi::SmallStructure::Site& s) { return st.cell.distance_sq(s.fract, f) < 1e-6; };
            if (std::none_of(st.sites.begin(), st.sites.end(), same)) {
                st.sites.emplace_back();
                st.sites.back().element = gemmi::Element(atom.element);
                st.sites.back().fract = f;
                st.sites.back().u_iso = atom.uIso;
            }
        }
    gemmi::StructureFactorCalculator<gemmi::IT92<double>> calculator(st.cell);
    std::vector<TestReflection> out;
    for (int h = -12; h <= 12; ++h)
        for (int k = -12; k <= 12; ++k)
            for (int l = -12; l <= 12; ++l)
                if (const gemmi::Miller hkl{h, k, l}; hkl != gemmi::Miller{0, 0, 0} && st.cell.calculate_d(hkl) >= c.dMin)
                    out.push_back({hkl, calculator.calculate_sf_from_small_structure(st, hkl)});
    return out;
}

// The reflections of the reciprocal asymmetric unit, as a file lists them: absences left out.
std::vector<TestReflection> UniqueSet(const Crystal& c) {
    const gemmi::ReciprocalAsu asu(gemmi::find_spacegroup_by_name(c.spaceGroup));
    std::vector<TestReflection> out;
    for (const TestReflection& r : WholeSphere(c))
        if (asu.is_in(r.hkl) && std::abs(r.f) > 1e-6) out.push_back(r);
    return out;
}

double Degrees(std::complex<double> f) { return gemmi::deg(std::arg(f)); }

// An MTZ with, for each label pair, the reflections times the pair's factor; a label starting SIG is a sigma column.
std::string MtzBytes(const Crystal& c, const std::vector<TestReflection>& reflections,
                     const std::vector<std::tuple<std::string, std::string, double>>& pairs = {{"FWT", "PHWT", 1}}) {
    gemmi::Mtz mtz(true);
    mtz.spacegroup = gemmi::find_spacegroup_by_name(c.spaceGroup);
    mtz.set_cell_for_all(CellOf(c));
    mtz.add_dataset("crystal");
    for (const auto& [f, phi, factor] : pairs) {
        mtz.add_column(f, 'F', -1, -1, false);
        mtz.add_column(phi, phi.starts_with("SIG") ? 'Q' : 'P', -1, -1, false);
    }
    std::vector<float> data;
    for (const TestReflection& r : reflections) {
        data.insert(data.end(), {float(r.hkl[0]), float(r.hkl[1]), float(r.hkl[2])});
        for (const auto& [f, phi, factor] : pairs)
            data.insert(data.end(), {float(std::abs(factor * r.f)), float(Degrees(factor * r.f))});
    }
    mtz.set_data(data.data(), data.size());
    std::string bytes;
    mtz.write_to_string(bytes);
    return bytes;
}

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0, double e = 0, double f = 0) {
    char line[200];
    std::snprintf(line, sizeof line, format, a, b, c, d, e, f);
    return line;
}

std::string ReflectionLine(const TestReflection& r, const char* rest, double a, double b = 0, double c = 0) {
    return Format("%.0f %.0f %.0f ", r.hkl[0], r.hkl[1], r.hkl[2]) + Format(rest, a, b, c);
}

std::string CellLines(const Crystal& c, const char* separator, double factor = 1.0) {
    std::string text;
    const char* names[6] = {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"};
    for (size_t k = 0; k < 6; ++k)
        text += std::string("_cell") + separator + names[k] + Format(" %.4f\n", c.cell[k] * (k < 3 ? factor : 1));
    return text;
}

std::string SymmetryLoop(const Crystal& c) {
    std::string text = "loop_\n_space_group_symop_operation_xyz\n";
    for (const char* op : c.operations) text += std::string("'") + op + "'\n";
    return text;
}

// A structure-factor mmCIF of the PDB's kind, with a comment header.
std::string MmcifBytes(const Crystal& c, const std::vector<TestReflection>& map) {
    std::string text = "# written by a test\ndata_r1xyzsf\n" + CellLines(c, ".") + "_symmetry.space_group_name_H-M '" +
                       c.spaceGroup + "'\nloop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n" +
                       "_refln.pdbx_FWT\n_refln.pdbx_PHWT\n";
    for (const TestReflection& r : map) text += ReflectionLine(r, "? %.6f %.4f\n", std::abs(r.f), Degrees(r.f));
    return text;
}

// A small-molecule reflection CIF of F^2 only, each reflection times `factor`; when `mates` is
// set every reflection is also listed as its Friedel mate (unmerged data).
std::string FcfBytes(const Crystal& c, const std::vector<TestReflection>& unique, double factor, bool mates) {
    std::string text = "data_shelx\n" + CellLines(c, "_") + SymmetryLoop(c) +
                       "loop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n_refln_F_squared_meas\n_refln_F_squared_sigma\n";
    for (const TestReflection& r : unique)
        for (int sign = 1; sign >= (mates ? -1 : 1); sign -= 2)
            text += ReflectionLine({gemmi::Miller{sign * r.hkl[0], sign * r.hkl[1], sign * r.hkl[2]}, r.f}, "%.6f 0.1\n",
                                   factor * std::norm(r.f));
    return text;
}

// The structure as a crystallography database publishes it: comments and a blank line first.
std::string StructureCif(const Crystal& c, double cellFactor = 1.0) {
    std::string text = "#\\#CIF_1.1\n# a structure\n\ndata_structure\n" + CellLines(c, "_", cellFactor) + SymmetryLoop(c) +
                       "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                       "_atom_site_fract_z\n_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n";
    for (const TestAtom& a : c.atoms)
        text += std::string(a.label) + " " + a.element + Format(" %.5f %.5f %.5f %.4f 1\n", a.x, a.y, a.z, a.uIso);
    return text;
}

// The largest miss of the map at its own grid points (no interpolation: the two agree to float rounding) against
// `factor` times the direct sum rho(x) = 1/V sum over the whole sphere of |F| cos(phi - 2 pi h.x), as a fraction of the
// largest value there, which must be in e/A^3 near an iron atom, not a normalised map.
double RelativeMiss(const MapDensity& map, const std::vector<TestReflection>& sphere, const gemmi::UnitCell& cell,
                    double factor = 1.0) {
    double miss = 0.0, largest = 0.0;
    for (size_t n = 0; n < 40; ++n) {
        const std::array<size_t, 3> g{7 * n % size_t(map.dataSize[0]), (11 * n + 3) % size_t(map.dataSize[1]),
                                      (13 * n + 5) % size_t(map.dataSize[2])};
        const gemmi::Fractional x(double(g[0]) / map.sampling[0], double(g[1]) / map.sampling[1], double(g[2]) / map.sampling[2]);
        const double value = map.values[g[0] + size_t(map.dataSize[0]) * (g[1] + size_t(map.dataSize[1]) * g[2])];
        double sum = 0.0;   // of the direct sum
        for (const TestReflection& r : sphere)
            sum += std::real(r.f * std::polar(1.0, -2 * gemmi::pi() * (r.hkl[0] * x.x + r.hkl[1] * x.y + r.hkl[2] * x.z)));
        miss = std::max(miss, std::fabs(value - factor * sum / cell.volume));
        largest = std::max(largest, std::fabs(value));
    }
    EXPECT_GT(largest, 1.0);
    return miss / largest;
}

// MTZ, mmCIF and small-molecule coefficients with their own phases give the direct sum at the
// map's grid points, in the units of the coefficients; the difference pair is taken with
// --diff; the grid holds at least 3 points per d-min along each edge.
TEST(MapsFromReflections, CoefficientsGiveTheDirectFourierSum) {
    const Crystal& crystal = kMonoclinic;
    const std::vector<TestReflection> unique = UniqueSet(crystal), sphere = WholeSphere(crystal);
    const std::string mtz = MtzBytes(crystal, unique, {{"FWT", "PHWT", 1}, {"DELFWT", "PHDELWT", -0.5}});
    const std::string mmcif = MmcifBytes(crystal, unique);
    std::string calculated = "data_list6\n" + CellLines(crystal, "_") + "_symmetry_space_group_name_H-M 'P 21'\n" +
                             "loop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n_refln_F_squared_meas\n"
                             "_refln_F_squared_sigma\n_refln_F_calc\n_refln_phase_calc\n";
    for (const TestReflection& r : unique)
        calculated += ReflectionLine(r, "%.5f 0.1 %.5f %.3f\n", std::norm(r.f), std::abs(r.f), Degrees(r.f));
    const struct {
        const char* what;
        MapCoefficients coefficients;
        double factor;
    } cases[] = {
        {"MTZ", ReadMtzCoefficients(mtz, "a.mtz", {}), 1},
        {"MTZ --diff", ReadMtzCoefficients(mtz, "a.mtz", {true, "", ""}), -0.5},
        {"MTZ --f --phi", ReadMtzCoefficients(mtz, "a.mtz", {false, "DELFWT", "PHDELWT"}), -0.5},
        {"mmCIF", ReadCifCoefficients(mmcif, "a.cif", {}, std::nullopt), 1},
        {"mmCIF --f --phi", ReadCifCoefficients(mmcif, "a.cif", {false, "_refln.pdbx_FWT", "pdbx_PHWT"}, std::nullopt), 1},
        {"F_calc", ReadCifCoefficients(calculated, "x.fcf", {}, std::nullopt), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.coefficients.reflections.size(), unique.size());
        EXPECT_EQ(c.coefficients.spaceGroup, "P 1 21 1");
        EXPECT_NEAR(c.coefficients.scale.value_or(1.0), 1.0, 1e-5);
        FourierSummary summary;
        const MapDensity map = FourierMap(c.coefficients, "a", &summary);
        EXPECT_LT(RelativeMiss(map, sphere, CellOf(crystal), c.factor), 2e-4);
        EXPECT_TRUE(summary.dMin >= crystal.dMin && summary.dMin < crystal.dMin * 1.1) << summary.dMin;
        for (size_t a = 0; a < 3; ++a) EXPECT_GE(summary.grid[a] * summary.dMin, 3 * crystal.cell[a]) << a;
        EXPECT_TRUE(map.wholeCell);
    }
}

// Small-molecule F^2 data, unmerged and on another scale, phased by the structure: the Fo map is the direct sum with
// its highest point on the heavy atom, the Fo - Fc map is flat, the scale is the one the data was multiplied by and R1
// is zero. An atom on an inversion centre counts once in the cell, as the structure's chemical occupancy of 1 means.
TEST(MapsFromReflections, SmallMoleculeDataArePhasedByTheirStructure) {
    for (const Crystal& crystal : {kMonoclinic, kCentric}) {
        SCOPED_TRACE(crystal.spaceGroup);
        const std::string fcf = FcfBytes(crystal, UniqueSet(crystal), 4.0, true), structure = StructureCif(crystal);
        const PhasingModel model{"structure.cif", structure};
        const MapCoefficients fo = ReadCifCoefficients(fcf, "x.fcf", {}, model);
        const MapCoefficients difference = ReadCifCoefficients(fcf, "x.fcf", {true, "", ""}, model);
        ASSERT_TRUE(fo.scale && fo.r1);
        EXPECT_NEAR(*fo.scale, 0.5, 1e-5);
        EXPECT_LT(*fo.r1, 1e-5);
        EXPECT_EQ(fo.reflections.size(), UniqueSet(crystal).size());
        const MapDensity foMap = FourierMap(fo, "x.fcf");
        EXPECT_LT(RelativeMiss(foMap, WholeSphere(crystal), CellOf(crystal)), 1e-4);
        const TestAtom& heavy = crystal.atoms[0];
        EXPECT_LT(SiteDistance(CellOf(crystal), crystal.operations, {heavy.x, heavy.y, heavy.z}, Highest(foMap)), 0.2);
        float most = 0.0f;   // of the difference map, which may have no reflections at all
        for (float v : difference.reflections.empty() ? std::vector<float>{} : FourierMap(difference, "x.fcf").values)
            most = std::max(most, std::fabs(v));
        EXPECT_LT(most, 1e-3 * *std::max_element(foMap.values.begin(), foMap.values.end()));
    }
}

// SHELX HKLF 4 lines: its own columns, where numbers may touch, or numbers apart; a line of
// 0 0 0 ends the list; anything else names its line.
TEST(MapsFromReflections, ShelxHklListsAreReadByTheirColumns) {
    const std::vector<HklLine> lines = ReadShelxHkl("   1   2   3  100.50    2.25\n"
                                                    "-100-101 -99  -12.00    1.50   1\n"
                                                    "\n"
                                                    "4 5 6 7.5 0.5\n"
                                                    "   0   0   0    0.00    0.00\n"
                                                    "   9   9   9    1.00    1.00\n",
                                                    "x.hkl");
    std::vector<std::tuple<std::array<int, 3>, double, double>> read;
    for (const HklLine& line : lines) read.emplace_back(line.hkl, line.intensity, line.sigma);
    EXPECT_EQ(read, (decltype(read){{{1, 2, 3}, 100.5, 2.25}, {{-100, -101, -99}, -12.0, 1.5}, {{4, 5, 6}, 7.5, 0.5}}));
    EXPECT_EQ(StopMessage([] { ReadShelxHkl("   1   2   3  100.50    2.25\n   1   2 three 4 5\n", "x.hkl"); }),
              "x.hkl: line 2 is not a reflection (h k l F² σ): '1   2 three 4 5'");
}

const std::filesystem::path kReal = TIVAREL_REAL_FILES;

// Phaser's MTZ (FWT/PHIFWT): the converted MT1 map, at every other point, against gemmi's map
// of the same coefficients interpolated there; correlation at least 0.98, the same spread.
TEST(RealReflectionFiles, PhaserMtzFollowsGemmisOwnMap) {
    const TempFolder folder;
    const std::string out = (folder.path() / "phaser.mt1").string();
    std::ostringstream said, err;
    ASSERT_EQ(RunImport({(kReal / "phaser_1.mtz").string(), "-o", out}, said, err), 0) << err.str();
    ExpectHolds(err.str(), {"columns FWT and PHIFWT"});
    gemmi::Mtz mtz;
    mtz.read_file((kReal / "phaser_1.mtz").string());
    const gemmi::FPhiProxy<gemmi::MtzDataProxy> coefficients(gemmi::MtzDataProxy{mtz}, mtz.column_with_label("FWT")->idx,
                                                             mtz.column_with_label("PHIFWT")->idx);
    const gemmi::Grid<float> reference = gemmi::transform_f_phi_to_map<float>(coefficients, {0, 0, 0}, 3.0);
    const DensityMap mt1 = ReadMt1Map(out);
    const GridParams& g = mt1.gridParams;
    gemmi::Correlation c;   // x the MT1 map's, y gemmi's
    for (int z = 1; z <= mt1.grid.nz(); z += 2)
        for (int y = 1; y <= mt1.grid.ny(); y += 2)
            for (int x = 1; x <= mt1.grid.nx(); x += 2) {
                const gemmi::Position p(GridPointCoordinate(g, 1, x), GridPointCoordinate(g, 2, y), GridPointCoordinate(g, 3, z));
                const gemmi::Fractional f = reference.unit_cell.fractionalize(p);
                c.add_point(mt1.grid(x, y, z), reference.interpolate_value(gemmi::Fractional(
                                                   f.x + mt1.mapOrigin.x, f.y + mt1.mapOrigin.y, f.z + mt1.mapOrigin.z)));
            }
    EXPECT_GT(c.coefficient(), 0.98);
    EXPECT_NEAR(std::sqrt(c.x_variance() / c.y_variance()), 1.0, 0.05);   // the same units
}

// A SHELX HKLF 4 list (unmerged, gzipped, P 1 21/n 1) and the structure published with it,
// read through the command's own path: the Fo map's highest point lies on a fluorine, the
// structure's heaviest atom, and the Fo - Fc map is flat at every atom next to its Fo peak.
TEST(RealReflectionFiles, SmallMoleculeStructureSitsOnItsDensity) {
    const std::string structure = ReadFile(kReal / "thpp.cif");
    const std::string reflections(ReadPossiblyGzipped((kReal / "thpp.hkl.gz").string()).view());
    const PhasingModel phasing{"thpp.cif", structure};
    const MapCoefficients fo = ReadShelxHklCoefficients(reflections, "thpp.hkl", {}, phasing);
    ASSERT_TRUE(fo.r1);
    EXPECT_LT(*fo.r1, 0.12);   // a model without its hydrogen atoms
    EXPECT_EQ(fo.spaceGroup, "P 1 21/n 1");
    const MapDensity foMap = FourierMap(fo, "thpp");
    const MapDensity differenceMap = FourierMap(ReadShelxHklCoefficients(reflections, "thpp.hkl", {true, "", ""}, phasing), "thpp");
    const std::array<double, 6>& c = foMap.cell;
    const gemmi::UnitCell cell(c[0], c[1], c[2], c[3], c[4], c[5]);
    const std::vector<const char*> ops = {"x,y,z", "-x+1/2,y+1/2,-z+1/2", "-x,-y,-z", "x-1/2,-y-1/2,z-1/2"};
    double nearestFluorine = INFINITY, worstResidual = 0.0, weakestPeak = INFINITY;
    for (const ModelAtom& atom : ParseModel(structure, "thpp.cif", c).atoms) {
        const Vec3d& f = atom.fractional;
        if (atom.element == "F")
            nearestFluorine = std::min(nearestFluorine, SiteDistance(cell, ops, {f[0], f[1], f[2]}, Highest(foMap)));
        if (atom.occupancy < 0.9) continue;   // the disordered part
        weakestPeak = std::min(weakestPeak, *foMap.valueAt(f));
        worstResidual = std::max(worstResidual, std::fabs(*differenceMap.valueAt(f)));
    }
    EXPECT_LT(nearestFluorine, 0.3);
    EXPECT_LT(worstResidual, 0.1 * weakestPeak);
}

// A journal's SHELX reflection CIF (F^2 calc and meas, comment lines before its data block,
// P 21 21 21 by its operations) phased by the structure's CIF: R1 near the published 0.063.
TEST(RealReflectionFiles, JournalReflectionCifIsPhasedByItsStructure) {
    const MapCoefficients fo = ReadCifCoefficients(ReadFile(kReal / "cu3182Isup2.hkl"), "cu3182Isup2.hkl", {},
                                                   PhasingModel{"cu3182sup1.cif", ReadFile(kReal / "cu3182sup1.cif")});
    EXPECT_EQ(fo.spaceGroup, "P 21 21 21");
    ASSERT_TRUE(fo.r1 && fo.scale);
    EXPECT_LT(*fo.r1, 0.08);
    EXPECT_NEAR(*fo.scale, 1.0, 0.05);   // the list holds F^2 on the scale of F_calc
}

// A PDB file of the test cell (7, 8, 9 Å, beta 110) with atoms at these Cartesian, or else fractional, positions.
std::string Pdb(const std::vector<std::pair<const char*, Vec3d>>& atoms, bool fractional = false) {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1 21 1     2\n";
    char line[100];
    int serial = 0;
    for (auto [element, p] : atoms) {
        if (fractional) p = {kOrthogonal[0][0] * p[0] + kOrthogonal[0][2] * p[2], 8.0 * p[1], kOrthogonal[2][2] * p[2]};
        std::snprintf(line, sizeof line, "HETATM%5d  %-3s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n",
                      ++serial % 100000, element, p[0], p[1], p[2], element);
        text += line;
    }
    return text + "END\n";
}

TEST_F(ImportCommand, UsageErrorsAndDefaultOutputNames) {
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{}, "no map given"},
        {{"m.map", "n.map"}, "one map at a time, not also n.map"},
        {{"m.map", "--bogus"}, "unknown option --bogus"},
        {{"m.map", "--step"}, "--step needs a value"},
        {{"m.map", "--step", "0"}, "--step must be more than 0"},
        {{"m.map", "--step", "1x"}, "--step needs a number, not '1x'"},
        {{"m.map", "--margin", "2"}, "--margin needs --model"},
        {{"m.map", "--scale", "0"}, "--scale must not be 0"},
        {{"m.mtz", "--f", "FP"}, "--f and --phi go together"},
        {{"m.mtz", "--diff", "--f", "FP", "--phi", "PHIC"}, "--diff or --f/--phi, not both"},
        {{"m.map", "--open", "-o", "x.mt1"}, "--open keeps its map in the cache folder; -o does not go with it"},
        {{"m.map", "-o", "x.map"}, "the viewer opens only names ending in mt1 or MT1, not x.map"}};
    for (const auto& [args, problem] : usage)
        EXPECT_EQ(runImport(args), std::make_pair(1, "tivarel-import: usage: " + problem + " (see --help)\n"));
    EXPECT_EQ(ParseImportArguments({"m.map", "--model", "p.pdb", "--margin", "0"}).margin, 0.0);
    const std::tuple<std::string, bool, std::string> names[] = {
        {"maps/x.ccp4.gz", false, "maps/x.mt1"}, {"maps/x.mtz", true, "maps/x-diff.mt1"},
        {"a.b/x", false, "a.b/x.mt1"},         {"maps/.x", false, "maps/.x.mt1"}};
    for (const auto& [map, difference, output] : names)
        EXPECT_EQ(ParseImportArguments(difference ? std::vector<std::string>{map, "--diff"} : std::vector{map}).outputPath,
                  output);
}

// With --margin the grid spans the atoms plus the margin at the --step given: atoms 1.5 apart along x, 0.5 along y,
// none along z, a margin of 1 and a step of 0.25 give 15 x 11 x 9 points, the atoms a margin inside the box's ends; -o
// names the file. The summary's extremes, mean and rms are those of the values written, and its levels mean + 1, 2, 3
// rms.
TEST_F(ImportCommand, MarginStepOutputNameAndSummary) {
    const std::string out = (dir / "out.mt1").string();
    const auto [status, err] = runImport({put("cell.map", Ccp4Bytes({})), "--model",
                                       put("m.pdb", Pdb({{"C", {1.0, 2.0, 3.0}}, {"O", {2.5, 2.5, 3.0}}})), "--margin", "1",
                                       "--step", "0.25", "-o", out});
    ASSERT_EQ(status, 0) << err;
    EXPECT_FALSE(fs::exists(dir / "cell.mt1"));
    const DensityMap mt1 = ReadMt1Map(out);
    const GridParams& g = mt1.gridParams;
    EXPECT_EQ((std::array{g.nx(), g.ny(), g.nz()}), (std::array{15, 11, 9}));
    EXPECT_EQ((std::array{g.dx(), g.dy(), g.dz()}), (std::array{0.25f, 0.25f, 0.25f}));
    ASSERT_EQ(mt1.atoms.size(), 2u);
    const Vec3 low = mt1.atoms[0].position, high = mt1.atoms[1].position;
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(low[a], GridPointCoordinate(g, a + 1, 1) + 1.0f, 1e-4) << a;
    EXPECT_NEAR(high[0], GridPointCoordinate(g, 1, 15) - 1.0f, 1e-4);
    EXPECT_NEAR(high[1], GridPointCoordinate(g, 2, 11) - 1.0f, 1e-4);
    const GridValues& values = mt1.grid.values();
    double sum = 0, squares = 0;
    for (float v : values) sum += v, squares += double(v) * v;
    const double mean = sum / double(values.size()), rms = std::sqrt(squares / double(values.size()) - mean * mean);
    std::smatch said;
    const std::string n = "([-0-9.e+]+)";
    const std::regex summary("values " + n + " to " + n + ", mean " + n + ", rms " + n +
                             "; levels at mean \\+ 1, 2, 3 rms: " + n + ", " + n + ", " + n);
    ASSERT_TRUE(std::regex_search(err, said, summary)) << err;
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    const double want[7] = {*lowest, *highest, mean, rms, mean + rms, mean + 2 * rms, mean + 3 * rms};
    for (size_t k = 0; k < 7; ++k) EXPECT_NEAR(std::stod(said[k + 1]), want[k], 1e-4 * std::fabs(want[k])) << k;
}

// A box of the P 1 21 1 crystal one cell away from the model: an atom reaches the box by a lattice translation, two
// only through their symmetry mates (one of them nearer the box's centre beyond its far ends), one not at all and is
// put as near as it goes. The installed command, on the box gzipped, writes the MT1 map beside it under its name. With
// --margin around that last atom alone there is no map data: an error.
TEST_F(ImportCommand, ModelAtomsAreMovedOntoAFarBoxMap) {
    Ccp4File box{{40, 45, 50}, {14, 12, 16}};   // fractions 1.14-1.51, 1.125-1.4, 1.11-1.44
    box.spaceGroup = 4;
    Model model;
    model.atoms = {{"C", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}, {"O", {0.9, 0.9, 0.9}}, {"S", {0.6, 0.75, 0.6}}};
    const Placement placement = PlaceAtomsInBox(model, ParseCcp4Map(Ccp4Bytes(box), "box.ccp4"));
    EXPECT_EQ(placement.moved, 4u);
    EXPECT_EQ(placement.inside, 3u);
    // C by (1, 1, 1); N's mate (-x, y + 1/2, -z) by (2, 0, 2); O's mate, by (2, 0, 2), misses the
    // box by 0.043 of a along x and 0.011 of c along z, nearer than any other image; S by
    // (1, 1, 1) lies beyond the box's far ends, its mate by (2, 0, 2) inside.
    const Vec3d expected[4] = {{1.3, 1.3, 1.3}, {1.25, 1.35, 1.28}, {1.1, 1.4, 1.1}, {1.4, 1.25, 1.4}};
    for (size_t i = 0; i < 4; ++i)
        for (size_t a = 0; a < 3; ++a) EXPECT_NEAR(model.atoms[i].fractional[a], expected[i][a], 1e-12) << i << a;

    const std::string boxPath = (dir / "box.ccp4.gz").string();
    WriteGzip(boxPath, Ccp4Bytes(box));
    const std::string near = put("model.pdb", Pdb({{"FE", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}}, true));
    const std::string command = "\"" TIVAREL_IMPORT "\" " + boxPath + " --model " + near + " 2>" + (dir / "err").string();
    ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
    const std::string err = ReadFile(dir / "err");
    EXPECT_EQ(ReadMt1Map((dir / "box.mt1").string()).atoms.at(0).name, "Fe  ");
    ExpectHolds(err, {"2 atoms moved by symmetry or whole cells onto the map's box; 2 of 2 lie inside it",
                      "grid points lie outside the map's data and take its minimum"});
    const std::string far = put("far.pdb", Pdb({{"O", {0.9, 0.9, 0.9}}}, true));
    const auto [refused, said] = runImport({boxPath, "--model", far, "--margin", "0.2"});
    EXPECT_EQ(refused, 1);
    ExpectHolds(said, {boxPath + ": holds no data in the box around the atoms of " + far});
}

// Whether the viewer's own reader and marching cubes fit each default level of a written map in a layer.
bool FitsViewer(const std::string& mt1Path) {
    const DensityMap map = ReadMt1Map(mt1Path);
    const CaseTable table = LoadCellTable((fs::path(TIVAREL_BIN_DIR) / "cell_table.dat").string());
    static TriangleStore store;
    int layer = 1;
    try {
        for (float level : DefaultLevels(map.gridParams.minValue(), map.gridParams.maxValue()))
            MarchLayer(map.gridParams, map.grid, level, layer++, store, table, nullptr);
    } catch (const InputError&) {
        return false;
    }
    return true;
}

// A whole-cell map of 8000 small blobs is too fine for the viewer at its own spacing: the
// default step is coarsened until the default levels fit, and says so; a step the user chose
// is kept, with a warning naming a step that fits, and that step does fit.
TEST_F(ImportCommand, MapsTooFineForTheViewerAreCoarsenedOrWarnedAbout) {
    Ccp4File fine{{0, 0, 0}, {100, 100, 100}};
    fine.sampling = {100, 100, 100};
    fine.cell = {20, 20, 20, 90, 90, 90};
    fine.value = [](int x, int y, int z) {
        return std::cos(kTwoPi * x / 5.0) * std::cos(kTwoPi * y / 5.0) * std::cos(kTwoPi * z / 5.0);
    };
    const std::string map = put("fine.ccp4", Ccp4Bytes(fine));
    const auto [status, err] = runImport({map});
    ASSERT_EQ(status, 0) << err;
    EXPECT_TRUE(std::regex_search(err, std::regex("at the map's own spacing of 0.2 Å the viewer's default levels need [0-9]+ "
                                                  "triangles in a layer, more than the 400000 it draws; the step is [0-9.]+ Å")))
        << err;
    EXPECT_TRUE(FitsViewer((dir / "fine.mt1").string()));
    const auto [kept, warned] = runImport({map, "--step", "0.2", "-o", (dir / "kept.mt1").string()});
    ASSERT_EQ(kept, 0) << warned;
    std::smatch fits;
    ASSERT_TRUE(std::regex_search(warned, fits, std::regex("--step ([0-9.]+) fits"))) << warned;
    EXPECT_FALSE(FitsViewer((dir / "kept.mt1").string()));
    // The count told is of the levels the viewer takes from the map as it reads it.
    const DensityMap keptMap = ReadMt1Map((dir / "kept.mt1").string());
    const CaseTable table = LoadCellTable((fs::path(TIVAREL_BIN_DIR) / "cell_table.dat").string());
    int64_t busiest = 0;
    for (float level : DefaultLevels(keptMap.gridParams.minValue(), DefaultUpperValue(keptMap.gridParams, false)))
        busiest = std::max(busiest, CountTriangles(keptMap.gridParams, keptMap.grid, level, table));
    EXPECT_NE(warned.find("need " + std::to_string(busiest) + " triangles"), std::string::npos) << warned;
    ASSERT_EQ(runImport({map, "--step", fits[1], "-o", (dir / "fits.mt1").string()}).first, 0);
    EXPECT_TRUE(FitsViewer((dir / "fits.mt1").string()));
}

// --open converts into the cache and starts the viewer beside the command on it; a second open of the unchanged file
// shows the same conversion; a changed file or another scale is converted again.
TEST_F(ImportCommand, OpenConvertsIntoTheCacheOnceWhileTheFileIsUnchanged) {
    const std::string map = put("site.ccp4", Ccp4Bytes({}));
    EXPECT_EQ(runImport({map, "--open"}).first, 1);   // the test's viewer does not start
    ASSERT_EQ(viewerStarts.size(), 1u);
    const std::string viewer = (fs::path(TIVAREL_BIN_DIR) / "tivarel").string();
    ASSERT_EQ(viewerStarts[0].rfind(viewer + " " + (dir / "cache").string() + "/site-", 0), 0u) << viewerStarts[0];
    const std::string cached = viewerStarts[0].substr(viewer.size() + 1);
    const fs::file_time_type made = fs::last_write_time(cached);
    const auto [again, said] = runImport({map, "--open"});
    ExpectHolds(said, {"showing " + cached + ", converted before from the same files"});
    EXPECT_EQ(fs::last_write_time(cached), made);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    Ccp4File other{};
    other.value = [](int, int, int) { return 1.0; };
    WriteFile(map, Ccp4Bytes(other) + std::string(4, '\0'));   // another size: another file
    EXPECT_EQ(runImport({map, "--open"}).second.find("converted before"), std::string::npos);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    EXPECT_EQ(ReadMt1Map(cached).gridParams.maxValue(), 1.0f);
    runImport({map, "--open", "--scale", "2"});
    EXPECT_NE(viewerStarts.back(), viewer + " " + cached);
}

// A structure's CIF as SHELXL writes it, its reflections inside (_shelx_hkl_file), after a
// byte-order mark: one file gives the Fo map, phased by its own atoms, which the map also
// shows, each named by its element (placed as a model's atoms are).
TEST_F(ImportCommand, AStructureCifWithItsReflectionsIsPhasedByItself) {
    const Crystal& crystal = kMonoclinic;
    std::string hkl;
    for (const TestReflection& r : UniqueSet(crystal))
        hkl += Format("%4.0f%4.0f%4.0f", r.hkl[0], r.hkl[1], r.hkl[2]) + Format("%8.2f%8.2f\n", std::norm(r.f), 1.0);
    const std::string cif =
        "\xEF\xBB\xBF" + StructureCif(crystal) + "_shelx_hkl_file\n;\n" + hkl + "   0   0   0    0.00    0.00\n;\n";
    const auto [status, err] = runImport({put("structure.cif", cif)});
    ASSERT_EQ(status, 0) << err;
    ExpectHolds(err, {"with phases from " + (dir / "structure.cif").string()});
    const DensityMap mt1 = ReadMt1Map((dir / "structure.mt1").string());
    ASSERT_EQ(mt1.atoms.size(), crystal.atoms.size());
    for (size_t i = 0; i < crystal.atoms.size(); ++i)
        EXPECT_EQ(mt1.atoms[i].name, (crystal.atoms[i].element + std::string("   ")).substr(0, 4));
}

// Each bad input ends with one message naming the file and what to do, status 1, no output.
TEST_F(ImportCommand, BadInputEndsWithAMessageNamingTheFileAndWritesNothing) {
    const std::string cell = Ccp4Bytes({});
    std::string strong = cell, deep = cell, complex = cell, extended = cell, infinite = cell;
    PutWord(infinite, 300, 0x7f800000u);   // one value of +infinity
    for (size_t i = 1024; i < strong.size(); i += 4) {
        PutWord(strong, i / 4 + 1, 0x471c4000u);   // 40000
        PutWord(deep, i / 4 + 1, 0xc71c4000u);     // -40000
    }
    PutWord(complex, 4, 4);
    PutWord(extended, 24, 80);   // an extended header of 80 bytes
    const Crystal& crystal = kMonoclinic;
    const std::vector<TestReflection> unique = UniqueSet(crystal);
    const std::string mtz = MtzBytes(crystal, unique), fcf = FcfBytes(crystal, unique, 1.0, false);
    std::string otherPhase = mtz;
    otherPhase.replace(otherPhase.find("PHWT "), 5, "PHIC ");
    const std::string structure = StructureCif(crystal), pdb = Pdb({{"C", {0.3, 0.3, 0.3}}}, true);
    const struct {
        std::string input, model;
        std::vector<std::string> options;
        std::string problem;   // of the input, or of the model after "model: "
    } cases[] = {
        {"", "", {}, "is empty"},
        {"a line of text\n", "", {}, "is none of what tivarel-import reads"},
        {cell.substr(0, 2000), "", {}, "is truncated: 2000 of " + std::to_string(cell.size()) + " bytes"},
        {extended.substr(0, 1024), "", {}, "is truncated: 1024 of at least 1104 bytes"},
        {complex, "", {}, "has data of mode 4, which is not supported"},
        {strong, "", {}, "its values run from 40000 to 40000, but the viewer takes only -10000 to 10000: multiply them "
                         "with --scale 0.2"},
        {deep, "", {"--step", "2"}, "its values run from -40000 to -40000, but the viewer takes only -10000 to 10000"},
        {infinite, "", {}, "holds values that are not finite numbers"},
        {cell, "", {"--scale", "1e40"}, "--scale 1e+40 takes its values beyond what a map file holds"},
        {cell, pdb, {"--margin", "1e6"}, "covers 2e+06 Å along x, more than 32767 points at a step of 0.2 Å: give a "
                                         "smaller --margin (1e+06 Å now)"},
        {cell, Pdb({{"XX", {1, 2, 3}}}), {}, "model: atom A/LIG1/XX has an unknown element"},
        {cell, Pdb(std::vector<std::pair<const char*, Vec3d>>(32768, {"C", {1, 2, 3}})), {}, "model: holds more than 32767 atoms"},
        {MtzBytes(crystal, unique, {{"FP", "SIGFP", 1}}), "", {}, "has no phases, so no map can be computed from it (its columns are H, K, L, "
                                            "FP and SIGFP)"},
        {otherPhase, "", {}, "has no columns FWT/PHWT or 2FOFCWT/PH2FOFCWT or FWT/PHIFWT; its amplitude columns are FWT "
                             "and its phase columns PHIC: choose a pair with --f LABEL --phi LABEL"},
        {mtz, "", {"--diff"}, "has no columns DELFWT/PHDELWT or FOFCWT/PHFOFCWT or DELFWT/PHIDELFWT"},
        {mtz.substr(0, mtz.size() / 2), "", {}, "is truncated"},
        {fcf, "", {}, "holds measured F_squared_meas without phases: give the structure they belong to with --model"},
        {fcf, StructureCif(crystal, 1.02), {}, "model: has the cell 7.14 8.16 9.18 Å, 90 110 90°, which differs from the cell of"},
        {fcf, structure, {"--f", "F_meas", "--phi", "phase_calc"}, "has no tags F_meas/phase_calc"},
        {MmcifBytes(crystal, {}) + "1 2 3 ? ? ?\n", "", {}, "holds no reflections with map coefficients"},
        {structure, "", {}, "is a model, not a map or reflections; give it with --model"},
        {pdb, "", {}, "is a model, not a map or reflections; give it with --model"}};
    for (size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        const std::string in = "in" + std::to_string(k), model = "model" + std::to_string(k);
        std::vector<std::string> args{put(in, c.input)};
        if (!c.model.empty()) args.insert(args.end(), {"--model", put(model, c.model)});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto [status, err] = runImport(args);
        EXPECT_EQ(status, 1) << c.problem;
        const bool ofModel = c.problem.starts_with("model: ");
        ExpectHolds(err, {(dir / (ofModel ? model : in)).string() + ": " + c.problem.substr(ofModel ? 7 : 0)});
        EXPECT_FALSE(fs::exists(dir / (in + ".mt1"))) << c.problem;
    }
    const auto [status, err] = runImport({put("coarse.ccp4", cell), "--step", "1000"});
    EXPECT_EQ(status, 0);
    ExpectHolds(err, {"the step of 1000 Å leaves only 2 points along x, too few to show the map: give a smaller --step"});
}

}  // namespace
}  // namespace tivarel
