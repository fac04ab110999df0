// Maps from reflection files made here, against a direct Fourier sum over the whole sphere;
// and from files as refinement programs and journals publish them (see real/README.md).
#define GEMMI_WRITE_IMPLEMENTATION   // gemmi's MTZ writer, for all the import tests
#include "reflection_test_data.h"

#include <gemmi/fourier.hpp>
#include <gemmi/math.hpp>

#include <sstream>

#include "../test_files.h"
#include "import/file_bytes.h"
#include "import/import_command.h"
#include "import/map_coefficients.h"
#include "import/model_atoms.h"
#include "import/shelx_hkl.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

using namespace test_support;

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
    const std::string reflections = ReadPossiblyGzipped((kReal / "thpp.hkl.gz").string());
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

}  // namespace
}  // namespace tivarel
