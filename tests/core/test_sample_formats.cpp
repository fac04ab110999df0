// The three sample files hold one structure: read by their own readers they give
// the same grid and the same surfaces (the GRD box frame starts at the grid's
// first point, so its surfaces are the others moved by that corner).
#include <gtest/gtest.h>

#include <cmath>

#include "mapio/fou_reader.h"
#include "mapio/grd_reader.h"
#include "mapio/mt1_reader.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

TriangleStore& Store() {
    static TriangleStore store;
    return store;
}

std::vector<TriangleRecord> Surface(const DensityMap& map, float level) {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    MarchLayer(map.gridParams, map.grid, level, 1, Store(), table, nullptr);
    std::vector<TriangleRecord> triangles;
    for (int32_t n = 1; n <= Store().count(1); ++n) triangles.push_back(Store().at(1, n));
    return triangles;
}

TEST(SampleFormats, ThreeReadersGiveOneGridAndOneSurface) {
    const DensityMap fou = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    const DensityMap mt1 = ReadMt1Map(TIVAREL_SOURCE_DIR "/data/sample.mt1");
    const DensityMap grd = ReadGrdMap(TIVAREL_SOURCE_DIR "/data/sample.grd");
    EXPECT_EQ(fou.grid.values(), mt1.grid.values());
    EXPECT_EQ(fou.grid.values(), grd.grid.values());
    EXPECT_EQ(fou.gridParams.p, mt1.gridParams.p);

    const float level = 0.3f * fou.gridParams.maxValue();
    const std::vector<TriangleRecord> a = Surface(fou, level), b = Surface(mt1, level), c = Surface(grd, level);
    ASSERT_GT(a.size(), 1000u);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_EQ(a.size(), c.size());
    const Point3 shift{-fou.gridParams.x0(), -fou.gridParams.y0(), -fou.gridParams.z0()};
    for (size_t n = 0; n < a.size(); ++n)
        for (size_t k = 0; k < 3; ++k) {
            ASSERT_EQ(a[n].point[k], b[n].point[k]) << n;
            ASSERT_NEAR(a[n].point[k].x + shift.x, c[n].point[k].x, 1e-4) << n;
            ASSERT_NEAR(a[n].point[k].y + shift.y, c[n].point[k].y, 1e-4) << n;
            ASSERT_NEAR(a[n].point[k].z + shift.z, c[n].point[k].z, 1e-4) << n;
        }
}

}  // namespace
}  // namespace tivarel
