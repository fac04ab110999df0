// The conversion of CCP4/MRC maps into MT1 maps, read back with the viewer's MT1 reader
// and checked against the analytic density the test maps were written from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "ccp4_test_file.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/import_error.h"
#include "import/model_atoms.h"
#include "mapio/mt1_reader.h"
#include "mapio/mt1_writer.h"

namespace tivarel {
namespace {

using namespace test_support;

struct Converted {
    DensityMap map;   // as the viewer reads it
    uint64_t outside = 0;
    float fill = 0.0f;
};

Converted Convert(const Ccp4File& file, const Model* model = nullptr, const ConversionOptions& options = {}) {
    const MapDensity density = ParseCcp4Map(Ccp4Bytes(file), "test.ccp4");
    const Conversion c = ConvertMap(density, model, options, "test.ccp4");
    return {ParseMt1Map(Mt1Bytes(c.mt1), "test.mt1"), c.outsidePoints, c.fillValue};
}

double Determinant(const std::array<Vec3, 3>& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Where the viewer puts grid point (x, y, z) in the fractional frame: the f with
// CellMatrix * (f - MapOrigin) = point, solved by Cramer's rule.
Vec3 FractionalOf(const DensityMap& map, int x, int y, int z) {
    std::array<Vec3, 3> m{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) m[i][j] = map.cellMatrix(int(i + 1), int(j + 1));
    const std::array<int, 3> k{x, y, z};
    Vec3 p;
    for (size_t a = 0; a < 3; ++a) p[a] = double(map.gridParams(4 + int(a))) + (k[a] - 1) * double(map.gridParams(7 + int(a)));
    Vec3 f;
    for (size_t j = 0; j < 3; ++j) {
        std::array<Vec3, 3> replaced = m;
        for (size_t i = 0; i < 3; ++i) replaced[i][j] = p[i];
        f[j] = Determinant(replaced) / Determinant(m) + map.mapOrigin[int(j)];
    }
    return f;
}

void ForEachPoint(const DensityMap& map, const std::function<void(int, int, int)>& visit) {
    for (int z = 1; z <= map.grid.nz(); ++z)
        for (int y = 1; y <= map.grid.ny(); ++y)
            for (int x = 1; x <= map.grid.nx(); ++x) visit(x, y, z);
}

// Largest difference between the grid and the density at each point's fractional position.
double WorstError(const DensityMap& map, const PeriodicDensity& density) {
    double worst = 0.0;
    ForEachPoint(map, [&](int x, int y, int z) {
        worst = std::max(worst, std::fabs(map.grid(x, y, z) - density.at(FractionalOf(map, x, y, z))));
    });
    return worst;
}

const double kTolerance = InterpolationTolerance(kDensity, {0.2, 0.2, 0.2});

TEST(Ccp4Import, WholeCellFollowsTheDensityAndTheMatrixHasTheCellsMetric) {
    const Converted c = Convert(CellFile());
    EXPECT_LE(WorstError(c.map, kDensity), kTolerance);
    EXPECT_EQ(c.outside, 0u);
    // CellMatrix^T CellMatrix is the metric tensor of the cell: edge lengths and angles.
    const double rad = std::acos(-1.0) / 180.0;
    const std::array<double, 3> edges{kCell.a, kCell.b, kCell.c};
    const std::array<double, 3> cosines{std::cos(kCell.alpha * rad), std::cos(kCell.beta * rad), std::cos(kCell.gamma * rad)};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            double g = 0.0;
            for (int k = 1; k <= 3; ++k) g += double(c.map.cellMatrix(k, i)) * c.map.cellMatrix(k, j);
            const double expected = i == j ? edges[size_t(i - 1)] * edges[size_t(i - 1)]
                                           : edges[size_t(i - 1)] * edges[size_t(j - 1)] * cosines[size_t(6 - i - j - 1)];
            EXPECT_NEAR(g, expected, 1e-4) << i << "," << j;
        }
}

// The grid spans the cell's Cartesian box by less than a step more, centred on the
// grid frame's zero, about which the viewer shows the model.
void ExpectGridAroundCentredBox(const DensityMap& map, const std::vector<Vec3f>& corners) {
    for (int a = 0; a < 3; ++a) {
        float low = INFINITY, high = -INFINITY;
        for (const Vec3f& p : corners) {
            low = std::min(low, p[a]);
            high = std::max(high, p[a]);
        }
        const float first = map.gridParams(4 + a), step = map.gridParams(7 + a);
        const float last = first + (map.gridParams(1 + a) - 1) * step;
        EXPECT_NEAR(first + last, 0.0f, 1e-4f) << "axis " << a;
        EXPECT_NEAR(low + high, 0.0f, 1e-3f) << "axis " << a;
        EXPECT_LE(first, low + 1e-4f) << "axis " << a;
        EXPECT_GE(last, high - 1e-4f) << "axis " << a;
        EXPECT_LT((last - first) - (high - low), step) << "axis " << a;
    }
}

TEST(Ccp4Import, WholeCellGridCoversTheCellAboutTheGridFramesZero) {
    const Converted c = Convert(CellFile());
    ExpectGridAroundCentredBox(c.map, {c.map.cellCorners.begin(), c.map.cellCorners.end()});
}

TEST(Ccp4Import, StoredAxisOrderAndIntegerModesGiveTheSameValues) {
    const std::vector<float> reference = Convert(CellFile()).map.grid.values();
    for (const std::array<int, 3> axes : {std::array{3, 1, 2}, std::array{2, 3, 1}, std::array{3, 2, 1}, std::array{1, 3, 2}})
        EXPECT_EQ(Convert(CellFile(axes)).map.grid.values(), reference) << axes[0] << axes[1] << axes[2];
    Ccp4File integers = CellFile();   // 0 to about 50: fits every integer mode
    integers.value = [](int x, int y, int z) { return std::round(DensityAtPoint(x, y, z) / 2); };
    const std::vector<float> asFloats = Convert(integers).map.grid.values();
    for (int mode : {0, 1, 6}) {
        integers.mode = mode;
        EXPECT_EQ(Convert(integers).map.grid.values(), asFloats) << "mode " << mode;
    }
}

// P 1 21 1 (space group 4): (x, y, z) and (-x, y + 1/2, -z). Half the cell along b is
// the asymmetric unit; the rest comes from the two-fold screw axis.
TEST(Ccp4Import, AsymmetricUnitIsExpandedByTheSpaceGroup) {
    PeriodicDensity symmetric = kDensity;
    for (const GaussianAtom& atom : kDensity.atoms)
        symmetric.atoms.push_back({atom.element, {-atom.fractional[0], atom.fractional[1] + 0.5, -atom.fractional[2]}, atom.height});
    Ccp4File half = BoxFile({0, 0, 0}, {kSampling[0], kSampling[1] / 2, kSampling[2]});
    half.spaceGroup = 4;
    half.value = [&](int x, int y, int z) {
        return symmetric.at({double(x) / kSampling[0], double(y) / kSampling[1], double(z) / kSampling[2]});
    };
    const Converted c = Convert(half);
    EXPECT_EQ(c.outside, 0u);
    const GridParams whole = Convert(CellFile()).map.gridParams;
    for (int k = 1; k <= 9; ++k) EXPECT_EQ(c.map.gridParams(k), whole(k)) << k;   // the whole cell
    EXPECT_LE(WorstError(c.map, symmetric), InterpolationTolerance(symmetric, {0.2, 0.2, 0.2}));
}

// A box two cells and more away from the cell's origin, stored in another axis order.
TEST(Ccp4Import, BoxMapIsResampledOverItsBoxWithTheFillOnlyOutsideTheData) {
    const std::array<int, 3> start{80, -50, 100}, size{14, 12, 16};
    const Converted c = Convert(BoxFile(start, size, {2, 3, 1}));
    double lowest = INFINITY;
    for (int z = 0; z < size[2]; ++z)
        for (int y = 0; y < size[1]; ++y)
            for (int x = 0; x < size[0]; ++x) lowest = std::min(lowest, DensityAtPoint(start[0] + x, start[1] + y, start[2] + z));
    EXPECT_EQ(c.fill, float(lowest));
    uint64_t inside = 0, outside = 0, unsure = 0;
    ForEachPoint(c.map, [&](int x, int y, int z) {
        const Vec3 f = FractionalOf(c.map, x, y, z);
        bool in = true, near = false;
        for (size_t a = 0; a < 3; ++a) {
            const double g = f[a] * kSampling[a] - start[a];
            in = in && g >= 0 && g <= size[a] - 1;
            near = near || std::fabs(g) < 1e-3 || std::fabs(g - (size[a] - 1)) < 1e-3;
        }
        if (near) {
            ++unsure;
        } else if (in) {
            ++inside;
            EXPECT_NEAR(c.map.grid(x, y, z), kDensity.at(f), kTolerance) << x << "," << y << "," << z;
        } else {
            ++outside;
            EXPECT_EQ(c.map.grid(x, y, z), c.fill) << x << "," << y << "," << z;
        }
    });
    EXPECT_GT(inside, 1000u);
    EXPECT_GT(outside, 100u);   // the corners of the skewed box
    EXPECT_GE(c.outside, outside);
    EXPECT_LE(c.outside, outside + unsure);
    std::vector<Vec3f> corners;
    for (int k = 0; k < 8; ++k) {
        Vec3f f;
        for (int a = 0; a < 3; ++a)
            f[a] = float(double(start[size_t(a)] + ((k >> a) & 1) * (size[size_t(a)] - 1)) / kSampling[size_t(a)]);
        corners.push_back(FractionalToGrid(c.map, f));
    }
    ExpectGridAroundCentredBox(c.map, corners);
}

// An MRC map that places its box by ORIGIN (Angstrom) rather than by its start indices.
TEST(Ccp4Import, MrcOriginPlacesTheBoxAsTheStartIndicesWould) {
    const std::array<int, 3> start{8, 30, 5}, size{14, 12, 16};
    const Converted byStart = Convert(BoxFile(start, size));
    Ccp4File byOrigin = BoxFile({0, 0, 0}, size);
    byOrigin.origin = Cartesian(Orthogonalisation(kCell), {double(start[0]) / kSampling[0], double(start[1]) / kSampling[1],
                                                           double(start[2]) / kSampling[2]});
    byOrigin.value = [&](int x, int y, int z) { return DensityAtPoint(x + start[0], y + start[1], z + start[2]); };
    const Converted c = Convert(byOrigin);
    ASSERT_EQ(c.map.grid.values().size(), byStart.map.grid.values().size());
    for (size_t i = 0; i < c.map.grid.values().size(); ++i)
        ASSERT_NEAR(c.map.grid.values()[i], byStart.map.grid.values()[i], 1e-2) << i;
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(c.map.mapOrigin[a], byStart.map.mapOrigin[a], 1e-6);
}

TEST(Ccp4Import, ScaleMultipliesEveryValue) {
    ConversionOptions half;
    half.scale = 0.5;
    const std::vector<float> plain = Convert(CellFile()).map.grid.values(), scaled = Convert(CellFile(), nullptr, half).map.grid.values();
    ASSERT_EQ(plain.size(), scaled.size());
    for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(scaled[i], plain[i] / 2) << i;
}

// ---------------------------------------------------------------- models

std::string SmallMoleculeCif() {
    std::string text = "data_test\n_cell_length_a 7\n_cell_length_b 8\n_cell_length_c 9\n_cell_angle_alpha 90\n"
                       "_cell_angle_beta 110\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                       "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    for (const GaussianAtom& atom : kDensity.atoms)
        text += std::string(atom.element) + "1 " + atom.element + " " + std::to_string(atom.fractional[0]) + " " +
                std::to_string(atom.fractional[1]) + " " + std::to_string(atom.fractional[2]) + "\n";
    return text;
}

std::string MacromolecularCif() {
    std::string text = "data_test\n_cell.length_a 7\n_cell.length_b 8\n_cell.length_c 9\n_cell.angle_alpha 90\n"
                       "_cell.angle_beta 110\n_cell.angle_gamma 90\nloop_\n_atom_site.group_PDB\n_atom_site.id\n"
                       "_atom_site.type_symbol\n_atom_site.label_atom_id\n_atom_site.label_comp_id\n"
                       "_atom_site.label_alt_id\n_atom_site.label_asym_id\n_atom_site.label_seq_id\n_atom_site.auth_seq_id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
                       "_atom_site.Cartn_z\n_atom_site.occupancy\n_atom_site.B_iso_or_equiv\n_atom_site.pdbx_PDB_model_num\n";
    int id = 0;
    for (const GaussianAtom& atom : kDensity.atoms) {
        const Vec3 p = Cartesian(Orthogonalisation(kCell), atom.fractional);
        text += "HETATM " + std::to_string(++id) + " " + atom.element + " " + atom.element + "1 LIG . A . 1 " +
                std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + " 1 20 1\n";
    }
    return text;
}

std::string Pdb() {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1           1\n";
    char line[100];
    int id = 0;
    for (const GaussianAtom& atom : kDensity.atoms) {
        const Vec3 p = Cartesian(Orthogonalisation(kCell), atom.fractional);
        std::snprintf(line, sizeof line, "HETATM%5d %-4s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n", ++id,
                      (std::string(atom.element) + "1").c_str(), p[0], p[1], p[2], atom.element);
        text += line;
    }
    return text + "END\n";
}

TEST(Ccp4Import, ModelAtomsAreTheirElementsAtTheirFractionalPositions) {
    const std::array<double, 6> cell{kCell.a, kCell.b, kCell.c, kCell.alpha, kCell.beta, kCell.gamma};
    for (const auto& [name, text] : {std::pair{"model.cif", SmallMoleculeCif()}, std::pair{"model.mmcif", MacromolecularCif()},
                                     std::pair{"model.pdb", Pdb()}}) {
        const Model model = ParseModel(text, name, cell);
        const Converted c = Convert(CellFile(), &model);
        ASSERT_EQ(c.map.atoms.size(), kDensity.atoms.size()) << name;
        for (size_t i = 0; i < kDensity.atoms.size(); ++i) {
            const GaussianAtom& atom = kDensity.atoms[i];
            EXPECT_EQ(c.map.atoms[i].name, (std::string(atom.element) + "   ").substr(0, 4)) << name;
            Vec3 relative;
            for (size_t a = 0; a < 3; ++a) relative[a] = atom.fractional[a] - c.map.mapOrigin[int(a)];
            const Vec3 p = Cartesian(Orthogonalisation(kCell), relative);
            for (int a = 0; a < 3; ++a) EXPECT_NEAR(c.map.atoms[i].position[a], p[size_t(a)], 1e-3) << name << " atom " << i;
        }
    }
}

}  // namespace
}  // namespace tivarel
