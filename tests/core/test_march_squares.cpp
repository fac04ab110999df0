// Marching squares: every case of a single square against the corners it must separate, ties
// at the level, the plane and its geometry, the visiting order and the per-layer limit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "map_test_support.h"
#include "surface/march_squares.h"

namespace tivarel {
namespace {

using test_support::ExpectPoint;
using test_support::TestGrid;

SegmentStore& Store() {
    static SegmentStore store;   // one for the whole test program, as in the viewer
    return store;
}

MarchSquaresResult Contour(const TestGrid& t, float level, int zSection = 1, int layer = 1) {
    return MarchSquares(t.g, t.grid, level, zSection, layer, Store());
}

// A 2 x 2 plane with corner values V1..V4 at (1,1), (2,1), (2,2), (1,2), unit steps, origin 0.
TestGrid Plane(const std::array<float, 4>& v) {
    return TestGrid(2, 2, 1, [v](int a, int b, int) { return b == 1 ? v[size_t(a - 1)] : v[size_t(4 - a)]; });
}

// The edge a point of the unit square's border lies on (not at a corner), or 0.
int EdgeOf(const Point3& p) {
    const bool inX = 0.0f < p.x && p.x < 1.0f;
    const bool inY = 0.0f < p.y && p.y < 1.0f;
    return p.y == 0.0f && inX ? 1 : p.x == 1.0f && inY ? 2 : p.y == 1.0f && inX ? 3 : p.x == 0.0f && inY ? 4 : 0;
}

// Each segment joins two edges whose corners straddle the level, at the linear crossing, with
// its ends on the edges the contour table lists in that order (end 1 first); a saddle cuts
// off each corner above on its own.
TEST(MarchSquares, EveryCaseJoinsTheCrossingEdgesAndSeparatesTheCornersAbove) {
    const std::vector<std::pair<int, int>> ends[15] = {
        {},       {{1, 4}}, {{1, 2}},         {{4, 2}}, {{2, 3}}, {{1, 4}, {2, 3}}, {{1, 3}}, {{4, 3}},
        {{4, 3}}, {{1, 3}}, {{1, 2}, {3, 4}}, {{2, 3}}, {{2, 4}}, {{1, 2}},         {{1, 4}}};
    constexpr double kX[4] = {0, 1, 1, 0}, kY[4] = {0, 0, 1, 1};
    constexpr int kEdgeCorners[5][2] = {{0, 0}, {0, 1}, {1, 2}, {3, 2}, {0, 3}};
    const float aboveValue[4] = {3.0f, 2.0f, 5.0f, 1.5f}, belowValue[4] = {0.0f, -2.0f, 0.5f, -1.0f};
    for (int c = 1; c <= 14; ++c) {
        std::array<float, 4> v;
        for (size_t k = 0; k < 4; ++k) v[k] = (c >> k & 1) ? aboveValue[k] : belowValue[k];
        (void)Contour(Plane(v), 1.0f);
        ASSERT_EQ(Store().count(1), int32_t(ends[c].size())) << "case " << c;
        for (int32_t n = 1; n <= Store().count(1); ++n) {
            const SegmentRecord& s = Store().at(1, n);
            EXPECT_EQ(std::make_pair(EdgeOf(s.end1), EdgeOf(s.end2)), ends[c][size_t(n - 1)]) << "case " << c;
            for (const Point3& p : {s.end1, s.end2}) {
                const int from = kEdgeCorners[EdgeOf(p)][0], to = kEdgeCorners[EdgeOf(p)][1];
                const double f = (1.0 - v[size_t(from)]) / (double(v[size_t(to)]) - v[size_t(from)]);
                EXPECT_NEAR(p.x, kX[from] + f * (kX[to] - kX[from]), 1e-6) << "case " << c;
                EXPECT_NEAR(p.y, kY[from] + f * (kY[to] - kY[from]), 1e-6) << "case " << c;
            }
        }
    }
}

TEST(MarchSquares, ValuesAtTheLevelCountAsBelow) {
    EXPECT_FALSE(Contour(Plane({1, 1, 1, 1}), 1.0f).cutShort);
    EXPECT_EQ(Store().count(1), 0);
    (void)Contour(Plane({1, 3, 0, 0}), 1.0f);   // V1 at the level, V2 above: the cut on edge 1 sits on V1
    ASSERT_EQ(Store().count(1), 1);
    EXPECT_EQ(Store().at(1, 1).end1, (Point3{0, 0, 0}));
    ExpectPoint(Store().at(1, 1).end2, 1.0f, 2.0f / 3.0f, 0.0f);
}

// Plane 3 of three, steps (0.5, 2, 2.5) from (10, -4, -1), has V3 above: the level cuts edge 2
// a third of the way from V2, edge 3 a third of the way from V4, at z = -1 + 2 * 2.5.
// Planes outside 1..nz and planes one point wide give nothing.
TEST(MarchSquares, ThePlaneAndItsGeometry) {
    TestGrid t(2, 2, 3, [](int a, int b, int c) { return (c < 3 ? a + b == 2 : a + b == 4) ? 3.0f : 0.0f; },
               {0.5f, 2.0f, 2.5f}, {10.0f, -4.0f, -1.0f});
    (void)Contour(t, 1.0f, 3, 2);
    ASSERT_EQ(Store().count(2), 1);
    ExpectPoint(Store().at(2, 1).end1, 10.5f, -4.0f + 2.0f / 3.0f, 4.0f);
    ExpectPoint(Store().at(2, 1).end2, 10.0f + 0.5f / 3.0f, -2.0f, 4.0f);
    for (int z : {0, 4, -5}) {
        Store().count(2) = 7;
        EXPECT_FALSE(Contour(t, 1.0f, z, 2).cutShort);
        EXPECT_EQ(Store().count(2), 0) << "zSection " << z;
    }
    for (const TestGrid& thin : {TestGrid(1, 6, 1, [](int, int b, int) { return float(b % 2); }),
                                 TestGrid(6, 1, 1, [](int a, int, int) { return float(a % 2); })}) {
        Store().count(2) = 7;
        (void)Contour(thin, 0.5f, 1, 2);
        EXPECT_EQ(Store().count(2), 0);
    }
}

// One point above in the middle of a 3 x 3 plane: a closed diamond of four segments, each
// joining two edge middles, stored for squares (1,1), (1,2), (2,1), (2,2) in this order.
// Rebuilding another layer leaves it as it was.
TEST(MarchSquares, SquaresAreVisitedWithXOutermost) {
    (void)Contour(TestGrid(3, 3, 1, [](int a, int b, int) { return a == 2 && b == 2 ? 2.0f : 0.0f; }), 1.0f);
    const std::vector<SegmentRecord> diamond(Store().layer(1).begin(), Store().layer(1).end());
    ASSERT_EQ(diamond.size(), 4u);
    const float middles[4][2] = {{0.75f, 0.75f}, {0.75f, 1.25f}, {1.25f, 0.75f}, {1.25f, 1.25f}};
    for (size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(diamond[n].end1.x + diamond[n].end2.x, 2 * middles[n][0]) << "segment " << n + 1;
        EXPECT_EQ(diamond[n].end1.y + diamond[n].end2.y, 2 * middles[n][1]) << "segment " << n + 1;
    }
    (void)Contour(TestGrid(3, 3, 1, [](int a, int, int) { return float(a); }), 1.5f, 1, 3);
    EXPECT_EQ(std::vector<SegmentRecord>(Store().layer(1).begin(), Store().layer(1).end()), diamond);
}

TEST(MarchSquares, LayerHoldsOneHundredThousandSegmentsAndReportsMore) {
    // Points with both indices even lie above the level: every square then holds exactly one
    // corner above and gives exactly one segment.
    auto lattice = [](int a, int b, int) { return a % 2 == 0 && b % 2 == 0 ? 1.0f : 0.0f; };
    Store().count(2) = 0;
    EXPECT_FALSE(Contour(TestGrid(401, 251, 1, lattice), 0.5f, 1, 1).cutShort);   // 400 x 250 squares
    EXPECT_EQ(Store().count(1), 100000);
    EXPECT_TRUE(Contour(TestGrid(401, 252, 1, lattice), 0.5f, 1, 3).cutShort);   // 400 x 251 squares
    EXPECT_EQ(Store().count(3), 100000);
    EXPECT_EQ(Store().count(2), 0);
    // The last one kept lies in the 100 000th square visited, (399, 102): 398 columns of 251
    // squares are 99 898, and 102 more.
    const SegmentRecord& last = Store().at(3, 100000);
    EXPECT_EQ(std::make_pair(std::floor((last.end1.x + last.end2.x) / 2), std::floor((last.end1.y + last.end2.y) / 2)),
              std::make_pair(398.0f, 101.0f));
    // A checkerboard makes every square a saddle (two segments); lowering point (1, 1) leaves
    // square (1, 1) with one. 21 x 2381 squares give 1 + 2 * 50 000 segments by square (21,
    // 2381), which has V1 and V3 above: its first segment, cutting off V1, is kept.
    EXPECT_TRUE(
        Contour(TestGrid(22, 2382, 1, [](int a, int b, int) { return (a + b) % 2 == 0 && a + b > 2 ? 1.0f : 0.0f; }),
                0.5f)
            .cutShort);
    ASSERT_EQ(Store().count(1), 100000);
    ExpectPoint(Store().at(1, 100000).end1, 20.5f, 2380.0f, 0.0f);
    ExpectPoint(Store().at(1, 100000).end2, 20.0f, 2380.5f, 0.0f);
    EXPECT_EQ(SegmentLimitMessage(2),
              "The contour map of layer 2 needs more than 100000 segments; only the first 100000 are shown.");
}

}   // namespace
}   // namespace tivarel
