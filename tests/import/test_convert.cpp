// The conversion of CCP4/MRC maps into MT1 maps, read back with the viewer's MT1 reader and
// checked against the density the test maps were written from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "ccp4_test_file.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
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
    const Conversion c = ConvertMap(ParseCcp4Map(Ccp4Bytes(file), "test.ccp4"), model, options, "test.ccp4");
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

// The whole cell, and the whole cell grown from half of it by the space group P 1 21 1, follow
// the density everywhere (the grid wraps round the cell's edges), with the cell matrix of a
// along x and b along y.
TEST(Ccp4Import, WholeCellFollowsTheDensityInTheCellsFrame) {
    Ccp4File half = BoxFile({0, 0, 0}, {kSampling[0], kSampling[1] / 2, kSampling[2]});
    half.spaceGroup = 4;
    for (const Ccp4File& file : {BoxFile(), half}) {
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
}

TEST(Ccp4Import, StoredAxisOrderIntegerModesAndScaleGiveTheSameValues) {
    const std::vector<float> reference = Convert(BoxFile()).map.grid.values();
    for (const std::array<int, 3> axes : {std::array{3, 1, 2}, std::array{2, 3, 1}})
        EXPECT_EQ(Convert(BoxFile({0, 0, 0}, kSampling, axes)).map.grid.values(), reference) << axes[0] << axes[1];
    Ccp4File integers = BoxFile();   // 0 to 90: fits every integer mode
    integers.value = [f = integers.value](int x, int y, int z) { return std::round((f(x, y, z) + 40) / 2); };
    const std::vector<float> asFloats = Convert(integers).map.grid.values();
    for (int mode : {0, 1, 6}) {
        integers.mode = mode;
        EXPECT_EQ(Convert(integers).map.grid.values(), asFloats) << "mode " << mode;
    }
    ConversionOptions half;
    half.scale = 0.5;
    const std::vector<float> scaled = Convert(BoxFile(), nullptr, half).map.grid.values();
    for (size_t i = 0; i < scaled.size(); ++i) ASSERT_EQ(scaled[i], reference[i] / 2) << i;
}

// A box two cells and more away from the cell's origin, stored in another axis order and
// scaled by 2: the density inside the data, the data's minimum outside, all those points
// counted.
TEST(Ccp4Import, BoxMapIsResampledOverItsBoxWithTheFillOnlyOutsideTheData) {
    const std::array<int, 3> start{80, -50, 100}, size{14, 12, 16};
    const Ccp4File file = BoxFile(start, size, {2, 3, 1});
    ConversionOptions twice;
    twice.scale = 2;
    const Converted c = Convert(file, nullptr, twice);
    double lowest = INFINITY;
    for (int k = 0; k < size[0] * size[1] * size[2]; ++k)
        lowest = std::min(lowest, file.value(start[0] + k % size[0], start[1] + k / size[0] % size[1],
                                             start[2] + k / size[0] / size[1]));
    EXPECT_EQ(c.fill, float(2 * lowest));
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
            EXPECT_NEAR(value, in ? 2 * Density(f) : c.fill, in ? 2 * kTolerance : 0.0);
        }
    });
    EXPECT_TRUE(inside > 1000 && outside > 100) << inside << " " << outside;   // the skewed box's corners lie outside
    EXPECT_TRUE(c.outside >= outside && c.outside <= outside + unsure) << c.outside;
}

// The resampling gives the same MT1 bytes on one thread as on several.
TEST(Ccp4Import, TheSameBytesOnAnyNumberOfThreads) {
    const MapDensity map = ParseCcp4Map(Ccp4Bytes(BoxFile({10, 5, 7}, {14, 12, 16})), "test.ccp4");
    ConversionOptions one, three;
    one.threads = 1;
    three.threads = 3;
    one.step = three.step = 0.11;
    EXPECT_EQ(Mt1Bytes(ConvertMap(map, nullptr, one, "test.ccp4").mt1), Mt1Bytes(ConvertMap(map, nullptr, three, "test.ccp4").mt1));
}

// The atoms of a small-molecule CIF as a database publishes it, a byte-order mark and comment
// lines before its data block (the command's test reads a PDB file), each labelled with its
// element and placed in the grid frame.
TEST(Ccp4Import, ModelAtomsAreTheirElementsAtTheirPositions) {
    const std::pair<std::string, Vec3d> atoms[] = {
        {"Fe", {0.1, 0.2, 0.3}}, {"O", {0.6, 0.45, 0.8}}, {"Cl", {0.35, 0.9, 0.55}}};
    const std::string cif =
        "\xEF\xBB\xBF#\\#CIF_1.1\n# written by the database\n\ndata_test\n_cell_length_a 7\n_cell_length_b 8\n_cell_length_c 9\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 110\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
        "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nFe1 Fe 0.1 0.2 0.3\nO1 O 0.6 0.45 0.8\n"
        "Cl1 Cl 0.35 0.9 0.55\n";
    const Model model = ParseModel(cif, "model.cif", {7, 8, 9, 90, 110, 90});
    const Converted c = Convert(BoxFile(), &model);
    ASSERT_EQ(c.map.atoms.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(c.map.atoms[i].name, (atoms[i].first + "   ").substr(0, 4));
        const Vec3d f = atoms[i].second, o{c.map.mapOrigin.x, c.map.mapOrigin.y, c.map.mapOrigin.z};
        for (size_t a = 0; a < 3; ++a) {
            const Vec3d& row = kOrthogonal[a];
            const double p = row[0] * (f[0] - o[0]) + row[1] * (f[1] - o[1]) + row[2] * (f[2] - o[2]);
            EXPECT_NEAR(c.map.atoms[i].position[int(a)], p, 1e-3) << "atom " << i;
        }
    }
}

}   // namespace
}   // namespace tivarel
