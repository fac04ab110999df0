// Reflection files as refinement programs and journals publish them, written by nobody on
// this project (see real/README.md): the maps they give agree with gemmi's own map of the
// same coefficients, and a small-molecule structure sits on its density.
#include <gemmi/fourier.hpp>
#include <gemmi/mtz.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "../test_files.h"
#include "import/file_bytes.h"
#include "import/import_command.h"
#include "import/map_coefficients.h"
#include "import/model_atoms.h"
#include "mapio/mt1_reader.h"

namespace tivarel {
namespace {

using namespace test_support;
const std::filesystem::path kReal = TIVAREL_REAL_FILES;

// Phaser's MTZ (FWT/PHIFWT): the converted MT1 map, point for point against gemmi's map of
// the same coefficients interpolated there; correlation at least 0.98, the same units.
TEST(RealReflectionFiles, PhaserMtzFollowsGemmisOwnMap) {
    const TempFolder folder;
    const std::string out = (folder.path() / "phaser.mt1").string();
    std::ostringstream said, err;
    ASSERT_EQ(RunImport({(kReal / "phaser_1.mtz").string(), "-o", out}, said, err), 0) << err.str();
    EXPECT_NE(err.str().find("columns FWT and PHIFWT"), std::string::npos) << err.str();

    gemmi::Mtz mtz;
    mtz.read_file((kReal / "phaser_1.mtz").string());
    const gemmi::FPhiProxy<gemmi::MtzDataProxy> coefficients(gemmi::MtzDataProxy{mtz}, mtz.column_with_label("FWT")->idx,
                                                             mtz.column_with_label("PHIFWT")->idx);
    gemmi::Grid<float> reference = gemmi::transform_f_phi_to_map<float>(coefficients, {0, 0, 0}, 3.0);
    const DensityMap mt1 = ReadMt1Map(out);
    const GridParams& g = mt1.gridParams;
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    int n = 0;
    for (int z = 1; z <= mt1.grid.nz(); z += 2)
        for (int y = 1; y <= mt1.grid.ny(); y += 2)
            for (int x = 1; x <= mt1.grid.nx(); x += 2, ++n) {
                const gemmi::Fractional f = reference.unit_cell.fractionalize(
                    gemmi::Position(g.x0() + (x - 1) * double(g.dx()), g.y0() + (y - 1) * double(g.dy()), g.z0() + (z - 1) * double(g.dz())));
                const double expected = reference.interpolate_value(
                    gemmi::Fractional(f.x + mt1.mapOrigin.x, f.y + mt1.mapOrigin.y, f.z + mt1.mapOrigin.z));
                const double got = mt1.grid(x, y, z);
                sx += got, sy += expected, sxx += got * got, syy += expected * expected, sxy += got * expected;
            }
    const double correlation = (n * sxy - sx * sy) / std::sqrt((n * sxx - sx * sx) * (n * syy - sy * sy));
    EXPECT_GT(correlation, 0.98);
    EXPECT_NEAR(std::sqrt((n * sxx - sx * sx) / (n * syy - sy * sy)), 1.0, 0.05);   // the same spread: the same units
}

// The distance from `x` to the nearest image of `atom` under the operations, in Angstrom.
double Distance(const gemmi::UnitCell& cell, const std::vector<gemmi::Op>& ops, const Vec3d& atom, const gemmi::Fractional& x) {
    double nearest = INFINITY;
    for (const gemmi::Op& op : ops) {
        const std::array<double, 3> image = op.apply_to_xyz({atom[0], atom[1], atom[2]});
        nearest = std::min(nearest, std::sqrt(cell.distance_sq(gemmi::Fractional(image[0], image[1], image[2]), x)));
    }
    return nearest;
}

// A SHELX HKLF 4 list (unmerged, gzipped, P 1 21/n 1) and the structure published with it,
// read through the command's own path: the Fo map's highest point lies on a fluorine, the
// structure's heaviest atom, and the Fo - Fc map is flat at every atom next to its Fo peak.
TEST(RealReflectionFiles, SmallMoleculeStructureSitsOnItsDensity) {
    const std::string structure = ReadFile(kReal / "thpp.cif");
    const std::string reflections = ReadPossiblyGzipped((kReal / "thpp.hkl.gz").string());
    const PhasingModel phasing{"thpp.cif", structure};
    const MapCoefficients fo = ReadShelxHklCoefficients(reflections, "thpp.hkl", {}, phasing);
    const MapCoefficients difference = ReadShelxHklCoefficients(reflections, "thpp.hkl", {true, "", ""}, phasing);
    ASSERT_TRUE(fo.r1);
    EXPECT_LT(*fo.r1, 0.12);   // a model without its hydrogen atoms
    EXPECT_EQ(fo.spaceGroup, "P 1 21/n 1");
    const MapDensity foMap = FourierMap(fo, "thpp"), differenceMap = FourierMap(difference, "thpp");
    const Model model = ParseModel(structure, "thpp.cif", foMap.cell);
    const gemmi::UnitCell cell(foMap.cell[0], foMap.cell[1], foMap.cell[2], foMap.cell[3], foMap.cell[4], foMap.cell[5]);
    std::vector<gemmi::Op> ops;
    for (const char* op : {"x,y,z", "-x+1/2,y+1/2,-z+1/2", "-x,-y,-z", "x-1/2,-y-1/2,z-1/2"}) ops.push_back(gemmi::parse_triplet(op));

    const size_t top = size_t(std::max_element(foMap.values.begin(), foMap.values.end()) - foMap.values.begin());
    const size_t nx = size_t(foMap.dataSize[0]), ny = size_t(foMap.dataSize[1]);
    const gemmi::Fractional peak(double(top % nx) / foMap.sampling[0], double(top / nx % ny) / foMap.sampling[1],
                                 double(top / nx / ny) / foMap.sampling[2]);
    double nearestFluorine = INFINITY, worstResidual = 0.0, weakestPeak = INFINITY;
    for (const ModelAtom& atom : model.atoms) {
        if (atom.element == "F") nearestFluorine = std::min(nearestFluorine, Distance(cell, ops, atom.fractional, peak));
        if (atom.occupancy < 0.9) continue;   // the disordered part
        weakestPeak = std::min(weakestPeak, *foMap.valueAt(atom.fractional));
        worstResidual = std::max(worstResidual, std::fabs(*differenceMap.valueAt(atom.fractional)));
    }
    EXPECT_LT(nearestFluorine, 0.3);
    EXPECT_LT(worstResidual, 0.1 * weakestPeak);
}

// A journal's SHELX reflection CIF (F^2 calc and meas, comment lines before its data block,
// P 21 21 21 by its operations) phased by the structure's CIF: R1 near the published 0.063.
TEST(RealReflectionFiles, JournalReflectionCifIsPhasedByItsStructure) {
    const std::string structure = ReadFile(kReal / "cu3182sup1.cif");
    const MapCoefficients fo = ReadCifCoefficients(ReadFile(kReal / "cu3182Isup2.hkl"), "cu3182Isup2.hkl", {},
                                                   PhasingModel{"cu3182sup1.cif", structure});
    EXPECT_EQ(fo.spaceGroup, "P 21 21 21");
    ASSERT_TRUE(fo.r1 && fo.scale);
    EXPECT_LT(*fo.r1, 0.08);
    EXPECT_NEAR(*fo.scale, 1.0, 0.05);   // the list holds F^2 on the scale of F_calc
}

}  // namespace
}  // namespace tivarel
