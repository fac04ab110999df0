// Contouring: marching cubes (the points of a single cube, the triangles of a plain per-cube
// loop bit for bit on any number of threads, the store's limit, the progress shown) and
// marching squares (every case of a single square, the plane and its geometry, the visiting
// order, the per-layer limit).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

#include "map_test_support.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"

namespace tivarel {
namespace {

using test_support::ExpectPoint;
using test_support::TestGrid;

const CaseTable& Table() {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    return table;
}

TriangleStore& Store() {
    static TriangleStore store;   // 43 MB: one for the whole test program, as in the viewer
    return store;
}

// The layer holds exactly these triangles, bit for bit.
bool LayerIs(int layer, const std::vector<TriangleRecord>& want) {
    const auto records = Store().layer(layer);
    return records.size() == want.size() &&
           (want.empty() || std::memcmp(records.data(), want.data(), want.size() * sizeof(TriangleRecord)) == 0);
}

// Corner 0 above: the triangle of case 1 on edges 1 (x), 4 (y) and 9 (z), each 2/3 of a step
// from the first grid point (10, -4, 1), the steps being 0.5, 2 and 3.
TEST(MarchLayer, SingleCornerAboveGivesTheTableTriangleAtTwoThirds) {
    TestGrid t(2, 2, 2, [](int a, int b, int c) { return a + b + c == 3 ? 3.0f : 0.0f; }, {0.5f, 2.0f, 3.0f},
               {10.0f, -4.0f, 1.0f});
    MarchLayer(t.g, t.grid, 1.0f, 2, Store(), Table(), nullptr);
    ASSERT_EQ(Store().count(2), 1);
    const float f = 2.0f / 3.0f;
    const std::map<int, Point3> expected = {{1, {10.0f + f * 0.5f, -4.0f, 1.0f}},
                                            {4, {10.0f, -4.0f + f * 2.0f, 1.0f}},
                                            {9, {10.0f, -4.0f, 1.0f + f * 3.0f}}};
    for (size_t k = 0; k < 3; ++k) {
        const Point3& want = expected.at(Table().caseTriangles[1][k + 1]);
        ExpectPoint(Store().at(2, 1).point[k], want.x, want.y, want.z);
    }
}

// The extraction written as plainly as the loop it stands for: every cube in x, y, z order,
// eight corner reads, the case by the strict comparison, nothing for cases 0 and 255, and
// the points from the edge table, all in single precision.
std::vector<TriangleRecord> PlainMarch(const TestGrid& t, float level, const CaseTable& table) {
    static const int kEdge[13][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 1},
                                     {0, 0, 1, 0}, {1, 0, 1, 1}, {0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 2},
                                     {1, 0, 0, 2}, {0, 1, 0, 2}, {1, 1, 0, 2}};   // from, axis
    static const int kCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                      {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const GridParams& g = t.g;
    std::vector<TriangleRecord> out;
    for (int a = 1; a < t.grid.nx(); ++a)
        for (int b = 1; b < t.grid.ny(); ++b)
            for (int c = 1; c < t.grid.nz(); ++c) {
                float v[2][2][2];
                int caseIndex = 0;
                for (int k = 0; k < 8; ++k) {
                    const int* d = kCorner[k];
                    v[d[0]][d[1]][d[2]] = t.grid(a + d[0], b + d[1], c + d[2]);
                    if (v[d[0]][d[1]][d[2]] > level) caseIndex |= 1 << k;
                }
                if (caseIndex == 0 || caseIndex == 255) continue;
                const float o[3] = {g.x0() + float(a - 1) * g.dx(), g.y0() + float(b - 1) * g.dy(),
                                    g.z0() + float(c - 1) * g.dz()};
                const float step[3] = {g.dx(), g.dy(), g.dz()};
                auto point = [&](int e) {
                    const int* from = kEdge[e];
                    int to[3] = {from[0], from[1], from[2]};
                    ++to[from[3]];
                    const float va = v[from[0]][from[1]][from[2]], vb = v[to[0]][to[1]][to[2]];
                    const float along = (va - level) / (va - vb);
                    float p[3];
                    for (int axis = 0; axis < 3; ++axis)
                        p[axis] = axis == from[3] ? o[axis] + along * step[axis]
                                  : from[axis]    ? o[axis] + step[axis]
                                                  : o[axis];
                    return Point3{p[0], p[1], p[2]};
                };
                const auto& row = table.caseTriangles[size_t(caseIndex)];
                for (size_t j = 0; j < size_t(row[0]); ++j)
                    out.push_back({{point(row[3 * j + 1]), point(row[3 * j + 2]), point(row[3 * j + 3])}});
            }
    return out;
}

// Sizes that fill one slab of cube columns, run over into a second and third or stop short;
// single-point axes; runs of uniform cubes that end anywhere; values at the level, NaN values
// (never above), uneven steps and an origin off zero. The second table gives cases 0 and
// 255 a triangle, which is never drawn.
TEST(MarchLayer, HoldsExactlyThePlainLoopsTrianglesInItsOrderOnAnyNumberOfThreads) {
    CaseTable tampered = Table();
    for (size_t c : {size_t{0}, size_t{255}}) tampered.caseTriangles[c] = {1, 1, 2, 3};
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    size_t compared = 0;
    for (const auto& [nx, ny, nz] :
         {std::tuple{17, 13, 11}, std::tuple{5, 9, 30}, std::tuple{41, 7, 9}, std::tuple{34, 5, 6}, std::tuple{2, 2, 2},
          std::tuple{1, 6, 6}, std::tuple{6, 1, 6}, std::tuple{6, 6, 1}}) {
        TestGrid t(nx, ny, nz,
                   [&](int a, int b, int c) {
                       const uint32_t pick = next() % 20;
                       if (pick == 0) return std::nanf("");
                       return pick < 5 ? float(next() % 3)
                                       : float(std::sin(a * 0.4) + std::cos(b * 0.3) * std::sin(c * 0.2));
                   },
                   {0.7f, 1.3f, 0.45f}, {-3.1f, 2.2f, 0.9f});
        for (const CaseTable* table : {&Table(), static_cast<const CaseTable*>(&tampered)})
            for (const float level : {1.0f, 0.25f, -0.5f}) {
                const std::vector<TriangleRecord> want = PlainMarch(t, level, *table);
                compared += want.size();
                for (const int threads : {1, 2, 3}) {
                    Store().count(2) = -1;
                    MarchLayer(t.g, t.grid, level, 2, Store(), *table, nullptr, MarchOptions{threads});
                    EXPECT_TRUE(LayerIs(2, want))
                        << nx << "x" << ny << "x" << nz << " at " << level << " on " << threads << " threads";
                }
            }
    }
    EXPECT_GT(compared, 10000u);
}

// Points with all-even indices lie above the level: each cube holds exactly one such
// corner and so gives exactly one triangle.
TEST(MarchLayer, StoreHoldsFourHundredThousandTrianglesPerLayerAndNoMore) {
    auto lattice = [](int a, int b, int c) { return a % 2 == 0 && b % 2 == 0 && c % 2 == 0 ? 1.0f : 0.0f; };
    const TestGrid exact(101, 81, 51, lattice);   // 100 x 80 x 50 = 400 000 cubes
    const TestGrid over(101, 81, 52, lattice);
    for (const int threads : {1, 2}) {
        Store().count(2) = 0;
        MarchLayer(exact.g, exact.grid, 0.5f, 1, Store(), Table(), nullptr, MarchOptions{threads});
        EXPECT_EQ(Store().count(1), 400000);
        EXPECT_EQ(test_support::StopMessage([&] {
                      MarchLayer(over.g, over.grid, 0.5f, 3, Store(), Table(), nullptr, MarchOptions{threads});
                  }),
                  "Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
        // The extra triangles are not stored; the ones before them are those of the plain loop.
        std::vector<TriangleRecord> first = PlainMarch(over, 0.5f, Table());
        first.resize(400000);
        EXPECT_TRUE(LayerIs(3, first));
        EXPECT_EQ(Store().count(2), 0);   // the limit is per layer
    }
}

// Records what is shown, and whether any call came from another thread than the test's.
class RecordingProgress : public ProgressSink {
public:
    std::string events;
    bool onOtherThread = false;
    void showProgress(const std::string& caption) override { record("show " + caption); }
    void setProgress(int percent) override { record(std::to_string(percent)); }
    void hideProgress() override { record("hide"); }

private:
    void record(const std::string& event) {
        onOtherThread |= std::this_thread::get_id() != caller_;
        events += event + ";";
    }
    std::thread::id caller_ = std::this_thread::get_id();
};

// The bar shows the column that starts, and 100 at the end; worker threads report through
// the calling thread.
TEST(MarchLayer, ProgressRunsFromZeroToOneHundredUnderTheLayerCaptionOnTheCallingThread) {
    TestGrid t(5, 4, 4, [](int a, int, int) { return float(a); });
    RecordingProgress progress;
    MarchLayer(t.g, t.grid, 2.5f, 2, Store(), Table(), &progress, MarchOptions{1});
    EXPECT_EQ(progress.events, "0;show ZOL map processing progress. Layer number: 2;25;50;75;100;hide;");
    TestGrid large(120, 60, 60, [](int a, int b, int c) { return float(a + b + c); });
    RecordingProgress threaded;
    MarchLayer(large.g, large.grid, 100.0f, 1, Store(), Table(), &threaded, MarchOptions{2});
    EXPECT_FALSE(threaded.onOtherThread);
    EXPECT_TRUE(threaded.events.starts_with("0;show ZOL map processing progress. Layer number: 1;")) << threaded.events;
    EXPECT_TRUE(threaded.events.ends_with(";100;hide;")) << threaded.events;
}

using test_support::ExpectPoint;
using test_support::TestGrid;

SegmentStore& Segments() {
    static SegmentStore store;   // one for the whole test program, as in the viewer
    return store;
}

MarchSquaresResult Contour(const TestGrid& t, float level, int zSection = 1, int layer = 1) {
    return MarchSquares(t.g, t.grid, level, zSection, layer, Segments());
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
        ASSERT_EQ(Segments().count(1), int32_t(ends[c].size())) << "case " << c;
        for (int32_t n = 1; n <= Segments().count(1); ++n) {
            const SegmentRecord& s = Segments().at(1, n);
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
    EXPECT_EQ(Segments().count(1), 0);
    (void)Contour(Plane({1, 3, 0, 0}), 1.0f);   // V1 at the level, V2 above: the cut on edge 1 sits on V1
    ASSERT_EQ(Segments().count(1), 1);
    EXPECT_EQ(Segments().at(1, 1).end1, (Point3{0, 0, 0}));
    ExpectPoint(Segments().at(1, 1).end2, 1.0f, 2.0f / 3.0f, 0.0f);
}

// Plane 3 of three, steps (0.5, 2, 2.5) from (10, -4, -1), has V3 above: the level cuts edge 2
// a third of the way from V2, edge 3 a third of the way from V4, at z = -1 + 2 * 2.5.
// Planes outside 1..nz and planes one point wide give nothing.
TEST(MarchSquares, ThePlaneAndItsGeometry) {
    TestGrid t(2, 2, 3, [](int a, int b, int c) { return (c < 3 ? a + b == 2 : a + b == 4) ? 3.0f : 0.0f; },
               {0.5f, 2.0f, 2.5f}, {10.0f, -4.0f, -1.0f});
    (void)Contour(t, 1.0f, 3, 2);
    ASSERT_EQ(Segments().count(2), 1);
    ExpectPoint(Segments().at(2, 1).end1, 10.5f, -4.0f + 2.0f / 3.0f, 4.0f);
    ExpectPoint(Segments().at(2, 1).end2, 10.0f + 0.5f / 3.0f, -2.0f, 4.0f);
    for (int z : {0, 4, -5}) {
        Segments().count(2) = 7;
        EXPECT_FALSE(Contour(t, 1.0f, z, 2).cutShort);
        EXPECT_EQ(Segments().count(2), 0) << "zSection " << z;
    }
    for (const TestGrid& thin : {TestGrid(1, 6, 1, [](int, int b, int) { return float(b % 2); }),
                                 TestGrid(6, 1, 1, [](int a, int, int) { return float(a % 2); })}) {
        Segments().count(2) = 7;
        (void)Contour(thin, 0.5f, 1, 2);
        EXPECT_EQ(Segments().count(2), 0);
    }
}

// One point above in the middle of a 3 x 3 plane: a closed diamond of four segments, each
// joining two edge middles, stored for squares (1,1), (1,2), (2,1), (2,2) in this order.
// Rebuilding another layer leaves it as it was.
TEST(MarchSquares, SquaresAreVisitedWithXOutermost) {
    (void)Contour(TestGrid(3, 3, 1, [](int a, int b, int) { return a == 2 && b == 2 ? 2.0f : 0.0f; }), 1.0f);
    const std::vector<SegmentRecord> diamond(Segments().layer(1).begin(), Segments().layer(1).end());
    ASSERT_EQ(diamond.size(), 4u);
    const float middles[4][2] = {{0.75f, 0.75f}, {0.75f, 1.25f}, {1.25f, 0.75f}, {1.25f, 1.25f}};
    for (size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(diamond[n].end1.x + diamond[n].end2.x, 2 * middles[n][0]) << "segment " << n + 1;
        EXPECT_EQ(diamond[n].end1.y + diamond[n].end2.y, 2 * middles[n][1]) << "segment " << n + 1;
    }
    (void)Contour(TestGrid(3, 3, 1, [](int a, int, int) { return float(a); }), 1.5f, 1, 3);
    EXPECT_EQ(std::vector<SegmentRecord>(Segments().layer(1).begin(), Segments().layer(1).end()), diamond);
}

TEST(MarchSquares, LayerHoldsOneHundredThousandSegmentsAndReportsMore) {
    // Points with both indices even lie above the level: every square then holds exactly one
    // corner above and gives exactly one segment.
    auto lattice = [](int a, int b, int) { return a % 2 == 0 && b % 2 == 0 ? 1.0f : 0.0f; };
    Segments().count(2) = 0;
    EXPECT_FALSE(Contour(TestGrid(401, 251, 1, lattice), 0.5f, 1, 1).cutShort);   // 400 x 250 squares
    EXPECT_EQ(Segments().count(1), 100000);
    EXPECT_TRUE(Contour(TestGrid(401, 252, 1, lattice), 0.5f, 1, 3).cutShort);   // 400 x 251 squares
    EXPECT_EQ(Segments().count(3), 100000);
    EXPECT_EQ(Segments().count(2), 0);
    // The last one kept lies in the 100 000th square visited, (399, 102): 398 columns of 251
    // squares are 99 898, and 102 more.
    const SegmentRecord& last = Segments().at(3, 100000);
    EXPECT_EQ(std::make_pair(std::floor((last.end1.x + last.end2.x) / 2), std::floor((last.end1.y + last.end2.y) / 2)),
              std::make_pair(398.0f, 101.0f));
    // A checkerboard makes every square a saddle (two segments); lowering point (1, 1) leaves
    // square (1, 1) with one. 21 x 2381 squares give 1 + 2 * 50 000 segments by square (21,
    // 2381), which has V1 and V3 above: its first segment, cutting off V1, is kept.
    EXPECT_TRUE(
        Contour(TestGrid(22, 2382, 1, [](int a, int b, int) { return (a + b) % 2 == 0 && a + b > 2 ? 1.0f : 0.0f; }),
                0.5f)
            .cutShort);
    ASSERT_EQ(Segments().count(1), 100000);
    ExpectPoint(Segments().at(1, 100000).end1, 20.5f, 2380.0f, 0.0f);
    ExpectPoint(Segments().at(1, 100000).end2, 20.0f, 2380.5f, 0.0f);
    EXPECT_EQ(SegmentLimitMessage(2),
              "The contour map of layer 2 needs more than 100000 segments; only the first 100000 are shown.");
}

}   // namespace
}   // namespace tivarel
