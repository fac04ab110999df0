// Maps from reflections: MTZ, structure-factor mmCIF and small-molecule reflection CIFs,
// each checked against a direct Fourier sum of the structure factors over the whole sphere.
#define GEMMI_WRITE_IMPLEMENTATION   // gemmi's MTZ writer, for all the import tests
#include "reflection_test_data.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "import/import_error.h"
#include "import/map_coefficients.h"
#include "import/shelx_hkl.h"

namespace tivarel {
namespace {

using namespace test_support;

// The map's value at its own grid point (i, j, k) and there the direct sum: no interpolation,
// so the two agree to float rounding.
double LargestMiss(const MapDensity& map, const std::vector<TestReflection>& sphere, const gemmi::UnitCell& cell,
                   double* largestValue = nullptr) {
    double miss = 0.0, largest = 0.0;
    for (int n = 0; n < 40; ++n) {
        const std::array<int, 3> g{(7 * n) % map.dataSize[0], (11 * n + 3) % map.dataSize[1], (13 * n + 5) % map.dataSize[2]};
        const gemmi::Fractional x(double(g[0]) / map.sampling[0], double(g[1]) / map.sampling[1], double(g[2]) / map.sampling[2]);
        const double value = map.values[size_t(g[0]) + size_t(map.dataSize[0]) * (size_t(g[1]) + size_t(map.dataSize[1]) * size_t(g[2]))];
        miss = std::max(miss, std::fabs(value - DirectSum(sphere, cell, x)));
        largest = std::max(largest, std::fabs(value));
    }
    if (largestValue) *largestValue = largest;
    return miss;
}

std::vector<TestReflection> Times(std::vector<TestReflection> reflections, double factor) {
    for (TestReflection& r : reflections) r.f *= factor;
    return reflections;
}

// The grid point of the map's highest value, as a fraction of the cell.
gemmi::Fractional Highest(const MapDensity& map) {
    const size_t at = size_t(std::max_element(map.values.begin(), map.values.end()) - map.values.begin());
    const size_t nx = size_t(map.dataSize[0]), ny = size_t(map.dataSize[1]);
    return {double(at % nx) / map.sampling[0], double(at / nx % ny) / map.sampling[1], double(at / nx / ny) / map.sampling[2]};
}

// MTZ and mmCIF coefficients give the direct sum at the map's grid points, in the units of
// the coefficients; the difference pair is taken with --diff; the grid holds at least 3
// points per d-min along each edge.
TEST(MapsFromReflections, MtzAndMmcifCoefficientsGiveTheDirectFourierSum) {
    const Crystal crystal = MonoclinicCrystal();
    const gemmi::UnitCell cell = CellOf(crystal);
    const std::vector<TestReflection> unique = UniqueSet(crystal), sphere = WholeSphere(crystal);
    const std::vector<TestReflection> uniqueHalf = Times(unique, -0.5), sphereHalf = Times(sphere, -0.5);
    const std::string mtz = MtzBytes(crystal, unique, uniqueHalf), mmcif = MmcifBytes(crystal, unique);
    const struct {
        const char* what;
        MapCoefficients coefficients;
        const std::vector<TestReflection>& sphere;
    } cases[] = {
        {"MTZ", ReadMtzCoefficients(mtz, "a.mtz", {}), sphere},
        {"MTZ --diff", ReadMtzCoefficients(mtz, "a.mtz", {true, "", ""}), sphereHalf},
        {"MTZ --f --phi", ReadMtzCoefficients(mtz, "a.mtz", {false, "DELFWT", "PHDELWT"}), sphereHalf},
        {"mmCIF", ReadCifCoefficients(mmcif, "a.cif", {}, std::nullopt), sphere},
        {"mmCIF --f --phi", ReadCifCoefficients(mmcif, "a.cif", {false, "_refln.pdbx_FWT", "pdbx_PHWT"}, std::nullopt), sphere},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.coefficients.reflections.size(), unique.size());
        EXPECT_EQ(c.coefficients.spaceGroup, "P 1 21 1");
        FourierSummary summary;
        const MapDensity map = FourierMap(c.coefficients, "a", &summary);
        double largest = 0.0;
        const double miss = LargestMiss(map, c.sphere, cell, &largest);
        EXPECT_LT(miss, 2e-4 * largest);
        EXPECT_GT(largest, 1.0);   // e/A^3 near an iron atom, not a normalised map
        const double dMin = *std::min_element(summary.grid.begin(), summary.grid.end()) > 0 ? summary.dMin : 0.0;
        EXPECT_GE(dMin, crystal.dMin);
        EXPECT_LT(dMin, crystal.dMin * 1.1);
        for (size_t a = 0; a < 3; ++a) EXPECT_GE(summary.grid[a] * dMin, 3 * crystal.cell[a]) << a;
        EXPECT_TRUE(map.wholeCell);
    }
}

// Small-molecule F^2 data, unmerged and on another scale, phased by the structure: the Fo map
// is the direct sum with its highest point on the iron atom, the Fo - Fc map is flat, the scale
// is the one the data was multiplied by and R1 is zero. An atom on an inversion centre counts
// once in the cell, as the structure's chemical occupancy of 1 means.
TEST(MapsFromReflections, SmallMoleculeDataArePhasedByTheirStructure) {
    for (const Crystal& crystal : {MonoclinicCrystal(), CentricCrystal()}) {
        SCOPED_TRACE(crystal.spaceGroup);
        const gemmi::UnitCell cell = CellOf(crystal);
        const std::string fcf = FcfBytes(crystal, UniqueSet(crystal), 4.0, true), structure = StructureCif(crystal);
        const PhasingModel model{"structure.cif", structure};
        const MapCoefficients fo = ReadCifCoefficients(fcf, "x.fcf", {}, model);
        const MapCoefficients difference = ReadCifCoefficients(fcf, "x.fcf", {true, "", ""}, model);
        ASSERT_TRUE(fo.scale && fo.r1);
        EXPECT_NEAR(*fo.scale, 0.5, 1e-5);
        EXPECT_LT(*fo.r1, 1e-5);
        EXPECT_EQ(fo.reflections.size(), UniqueSet(crystal).size());
        double largest = 0.0;
        const MapDensity foMap = FourierMap(fo, "x.fcf");
        const double miss = LargestMiss(foMap, WholeSphere(crystal), cell, &largest);
        EXPECT_LT(miss, 1e-4 * largest);
        const gemmi::Fractional peak = Highest(foMap), heavy(crystal.atoms[0].x, crystal.atoms[0].y, crystal.atoms[0].z);
        bool onHeavyAtom = false;
        for (const char* op : crystal.operations)
            onHeavyAtom = onHeavyAtom || cell.distance_sq(peak, Apply(op, heavy)) < 0.2 * 0.2;
        EXPECT_TRUE(onHeavyAtom) << peak.x << " " << peak.y << " " << peak.z;
        const MapDensity flat = difference.reflections.empty() ? MapDensity{} : FourierMap(difference, "x.fcf");
        const float most = flat.values.empty() ? 0.0f : *std::max_element(flat.values.begin(), flat.values.end(),
                                                                           [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        EXPECT_LT(std::fabs(most), 1e-3 * largest);
    }
}

// Small-molecule files with their own F_calc and phase_calc need no model.
TEST(MapsFromReflections, SmallMoleculeFilesWithCalculatedPhasesNeedNoModel) {
    const Crystal crystal = MonoclinicCrystal();
    std::string text = "data_list6\n" + CellLines(crystal, "_") + "_symmetry_space_group_name_H-M 'P 21'\n" +
                       "loop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n_refln_F_squared_meas\n_refln_F_squared_sigma\n"
                       "_refln_F_calc\n_refln_phase_calc\n";
    for (const TestReflection& r : UniqueSet(crystal))
        text += Format("%.0f %.0f %.0f ", r.hkl[0], r.hkl[1], r.hkl[2]) +
                Format("%.5f 0.1 %.5f %.3f\n", std::norm(r.f), std::abs(r.f), Degrees(r.f));
    const MapCoefficients fo = ReadCifCoefficients(text, "x.fcf", {}, std::nullopt);
    ASSERT_TRUE(fo.scale);
    EXPECT_NEAR(*fo.scale, 1.0, 1e-5);
    double largest = 0.0;
    const double miss = LargestMiss(FourierMap(fo, "x.fcf"), WholeSphere(crystal), CellOf(crystal), &largest);
    EXPECT_LT(miss, 2e-4 * largest);
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
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].hkl, (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(lines[0].intensity, 100.5);
    EXPECT_EQ(lines[0].sigma, 2.25);
    EXPECT_EQ(lines[1].hkl, (std::array<int, 3>{-100, -101, -99}));
    EXPECT_EQ(lines[1].intensity, -12.0);
    EXPECT_EQ(lines[2].hkl, (std::array<int, 3>{4, 5, 6}));
    EXPECT_EQ(lines[2].sigma, 0.5);
    try {
        ReadShelxHkl("   1   2   3  100.50    2.25\n   1   2 three 4 5\n", "x.hkl");
        ADD_FAILURE() << "a line of words was taken";
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(), "x.hkl: line 2 is not a reflection (h k l F² σ): '1   2 three 4 5'");
    }
}

}  // namespace
}  // namespace tivarel
