// Marching squares: the points of single squares, every case checked against
// an independent classification, ties at the level, the plane and its geometry,
// layer independence, the per-layer limit, and a closed circular contour.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "map_test_support.h"
#include "surface/march_squares.h"

namespace tivarel {
namespace {

using test_support::ExpectPoint;
using test_support::TestGrid;

// A 2 x 2 plane with corner values V1..V4 at (1,1), (2,1), (2,2), (1,2), unit steps, origin 0.
TestGrid Plane(const std::array<float, 4>& v) {
    return TestGrid(2, 2, 1, [v](int a, int b, int) {
        if (b == 1) return a == 1 ? v[0] : v[1];
        return a == 2 ? v[2] : v[3];
    });
}

SegmentStore& Store() {
    static SegmentStore store;   // one for the whole test program, as in the viewer
    return store;
}

MarchSquaresResult Contour(const TestGrid& t, float level, int zSection = 1, int layer = 1) {
    return MarchSquares(t.g, t.grid, level, zSection, layer, Store());
}

std::vector<SegmentRecord> Snapshot(int layer) {
    std::vector<SegmentRecord> copy;
    for (int32_t n = 1; n <= Store().count(layer); ++n) copy.push_back(Store().at(layer, n));
    return copy;
}

TEST(MarchSquares, SingleCornerAboveGivesOneSegmentHalfwayAlongItsEdges) {
    Contour(Plane({2, 0, 0, 0}), 1.0f);
    ASSERT_EQ(Store().count(1), 1);
    ExpectPoint(Store().at(1, 1).end1, 0.5f, 0.0f, 0.0f);   // edge 1
    ExpectPoint(Store().at(1, 1).end2, 0.0f, 0.5f, 0.0f);   // edge 4
}

TEST(MarchSquares, SaddlesCutTheCornersAboveOffFromEachOther) {
    Contour(Plane({2, 0, 2, 0}), 1.0f);   // V1 and V3 above
    ASSERT_EQ(Store().count(1), 2);
    ExpectPoint(Store().at(1, 1).end1, 0.5f, 0.0f, 0.0f);
    ExpectPoint(Store().at(1, 1).end2, 0.0f, 0.5f, 0.0f);
    ExpectPoint(Store().at(1, 2).end1, 1.0f, 0.5f, 0.0f);
    ExpectPoint(Store().at(1, 2).end2, 0.5f, 1.0f, 0.0f);

    Contour(Plane({0, 2, 0, 2}), 1.0f);   // V2 and V4 above: edges (1, 2) then (3, 4)
    ASSERT_EQ(Store().count(1), 2);
    ExpectPoint(Store().at(1, 1).end1, 0.5f, 0.0f, 0.0f);
    ExpectPoint(Store().at(1, 1).end2, 1.0f, 0.5f, 0.0f);
    ExpectPoint(Store().at(1, 2).end1, 0.5f, 1.0f, 0.0f);
    ExpectPoint(Store().at(1, 2).end2, 0.0f, 0.5f, 0.0f);
}

// Independent description of the unit square: corner positions and edges by corners.
constexpr double kCornerX[4] = {0, 1, 1, 0}, kCornerY[4] = {0, 0, 1, 1};
constexpr int kEdgeCorners[5][2] = {{0, 0}, {0, 1}, {1, 2}, {3, 2}, {0, 3}};

// The edge a point of the unit square's border lies on (not at a corner), or 0.
int EdgeOf(const Point3& p) {
    if (p.y == 0.0f && p.x > 0.0f && p.x < 1.0f) return 1;
    if (p.x == 1.0f && p.y > 0.0f && p.y < 1.0f) return 2;
    if (p.y == 1.0f && p.x > 0.0f && p.x < 1.0f) return 3;
    if (p.x == 0.0f && p.y > 0.0f && p.y < 1.0f) return 4;
    return 0;
}

// Side of corner k relative to the line through the segment: +1 or -1.
int SideOf(const SegmentRecord& s, int k) {
    const double ux = s.end2.x - s.end1.x, uy = s.end2.y - s.end1.y;
    const double cross = ux * (kCornerY[k] - s.end1.y) - uy * (kCornerX[k] - s.end1.x);
    return cross > 0 ? 1 : -1;
}

// For each case, each segment must join two edges whose corners straddle the level,
// at the linearly interpolated crossing, use every crossing edge once, and split the
// corners into above and below; a saddle's segment cuts off one corner that is above.
// End order follows the contour table: (edge of end 1, edge of end 2).
TEST(MarchSquares, EveryCaseJoinsTheCrossingEdgesAndSeparatesTheCornersAbove) {
    const std::map<int, std::vector<std::pair<int, int>>> table = {
        {1, {{1, 4}}}, {2, {{1, 2}}}, {3, {{4, 2}}}, {4, {{2, 3}}}, {5, {{1, 4}, {2, 3}}},
        {6, {{1, 3}}}, {7, {{4, 3}}}, {8, {{4, 3}}}, {9, {{1, 3}}}, {10, {{1, 2}, {3, 4}}},
        {11, {{2, 3}}}, {12, {{2, 4}}}, {13, {{1, 2}}}, {14, {{1, 4}}}};
    const float level = 1.0f;
    const float aboveValue[4] = {3.0f, 2.0f, 5.0f, 1.5f}, belowValue[4] = {0.0f, -2.0f, 0.5f, -1.0f};
    for (int c = 1; c <= 14; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        std::array<float, 4> v;
        bool above[4];
        for (int k = 0; k < 4; ++k) {
            above[k] = (c >> k & 1) != 0;
            v[static_cast<size_t>(k)] = above[k] ? aboveValue[k] : belowValue[k];
        }
        Contour(Plane(v), level);
        const auto& expected = table.at(c);
        ASSERT_EQ(Store().count(1), static_cast<int32_t>(expected.size()));

        std::multiset<int> used;
        for (int32_t n = 1; n <= Store().count(1); ++n) {
            const SegmentRecord& s = Store().at(1, n);
            const int e1 = EdgeOf(s.end1), e2 = EdgeOf(s.end2);
            EXPECT_EQ(std::make_pair(e1, e2), expected[static_cast<size_t>(n - 1)]);
            for (auto [e, p] : {std::pair{e1, s.end1}, std::pair{e2, s.end2}}) {
                ASSERT_NE(e, 0) << "segment end off the square's border";
                const int from = kEdgeCorners[e][0], to = kEdgeCorners[e][1];
                ASSERT_NE(above[from], above[to]) << "edge " << e << " does not cross the level";
                const double f = (level - v[static_cast<size_t>(from)]) /
                                 (double(v[static_cast<size_t>(to)]) - v[static_cast<size_t>(from)]);
                EXPECT_NEAR(p.x, kCornerX[from] + f * (kCornerX[to] - kCornerX[from]), 1e-6);
                EXPECT_NEAR(p.y, kCornerY[from] + f * (kCornerY[to] - kCornerY[from]), 1e-6);
                EXPECT_EQ(p.z, 0.0f);
                used.insert(e);
            }
            int sideCount[2] = {0, 0}, aboveOnSide[2] = {0, 0};
            for (int k = 0; k < 4; ++k) {
                const int side = SideOf(s, k) > 0 ? 1 : 0;
                ++sideCount[side];
                aboveOnSide[side] += above[k] ? 1 : 0;
            }
            const int lone = sideCount[0] <= sideCount[1] ? 0 : 1;
            if (c == 5 || c == 10) {
                EXPECT_EQ(sideCount[lone], 1);
                EXPECT_EQ(aboveOnSide[lone], 1) << "a saddle segment must cut off a corner above";
            } else {
                // One side holds exactly the corners above.
                const int aboveCount = std::popcount(static_cast<unsigned>(c));
                EXPECT_TRUE((aboveOnSide[0] == aboveCount && sideCount[0] == aboveCount) ||
                            (aboveOnSide[1] == aboveCount && sideCount[1] == aboveCount));
            }
        }
        for (int e = 1; e <= 4; ++e) {
            const bool crossed = above[kEdgeCorners[e][0]] != above[kEdgeCorners[e][1]];
            EXPECT_EQ(used.count(e), crossed ? 1u : 0u) << "edge " << e;
        }
    }
}

TEST(MarchSquares, ValuesAtTheLevelCountAsBelow) {
    EXPECT_EQ(Contour(Plane({1, 1, 1, 1}), 1.0f).cutShort, false);
    EXPECT_EQ(Store().count(1), 0);
    Contour(Plane({1, 0, 0, 0}), 1.0f);   // V1 at the level is not above
    EXPECT_EQ(Store().count(1), 0);

    // V1 at the level, V2 above: the cut on edge 1 sits exactly on V1.
    Contour(Plane({1, 3, 0, 0}), 1.0f);
    ASSERT_EQ(Store().count(1), 1);
    EXPECT_EQ(Store().at(1, 1).end1, (Point3{0, 0, 0}));
    ExpectPoint(Store().at(1, 1).end2, 1.0f, 2.0f / 3.0f, 0.0f);
}

TEST(MarchSquares, PlanesOfOnePointWidthOrOutsideTheGridGiveNothing) {
    auto stripes = [](int a, int b, int) { return static_cast<float>((a + b) % 2); };
    for (auto [nx, ny] : {std::pair{1, 6}, std::pair{6, 1}}) {
        TestGrid t(nx, ny, 2, stripes);
        Store().count(1) = 7;
        Contour(t, 0.5f);
        EXPECT_EQ(Store().count(1), 0);
    }
    TestGrid t(6, 6, 2, stripes);
    for (int z : {0, 3, -5}) {
        Store().count(1) = 7;
        EXPECT_FALSE(Contour(t, 0.5f, z).cutShort);
        EXPECT_EQ(Store().count(1), 0) << "zSection " << z;
    }
}

TEST(MarchSquares, TopPlaneIsReadAtItsOwnHeight) {
    // Planes 1 and 2 have V1 above, plane 3 has V3 above.
    TestGrid t(2, 2, 3, [](int a, int b, int c) {
        if (c < 3) return a == 1 && b == 1 ? 3.0f : 0.0f;
        return a == 2 && b == 2 ? 3.0f : 0.0f;
    }, {1.0f, 1.0f, 2.5f}, {0.0f, 0.0f, -1.0f});
    Contour(t, 1.0f, 3);
    ASSERT_EQ(Store().count(1), 1);
    const float zTop = -1.0f + 2.0f * 2.5f;
    ExpectPoint(Store().at(1, 1).end1, 1.0f, 1.0f / 3.0f, zTop);   // edge 2, from V2
    ExpectPoint(Store().at(1, 1).end2, 1.0f / 3.0f, 1.0f, zTop);   // edge 3, from V4
}

TEST(MarchSquares, UnequalStepsAndOriginPlaceThePoints) {
    const Vec3f step{0.5f, 2.0f, 3.0f}, origin{10.0f, -4.0f, 1.0f};
    // Plane 2 has one point above, (2, 1), shared by squares (1, 1) and (2, 1).
    TestGrid t(3, 2, 2, [](int a, int b, int c) { return c == 2 && a == 2 && b == 1 ? 4.0f : 0.0f; },
               step, origin);
    Contour(t, 1.0f, 2, 3);
    ASSERT_EQ(Store().count(3), 2);
    // Grid index coordinates of the crossings, then into the frame.
    auto x = [&](double ia) { return static_cast<float>(origin.x + (ia - 1) * step.x); };
    auto y = [&](double ib) { return static_cast<float>(origin.y + (ib - 1) * step.y); };
    const float z = origin.z + step.z;
    ExpectPoint(Store().at(3, 1).end1, x(1.25), y(1.0), z);    // square (1,1), edge 1
    ExpectPoint(Store().at(3, 1).end2, x(2.0), y(1.75), z);    // square (1,1), edge 2
    ExpectPoint(Store().at(3, 2).end1, x(2.75), y(1.0), z);    // square (2,1), edge 1
    ExpectPoint(Store().at(3, 2).end2, x(2.0), y(1.75), z);    // square (2,1), edge 4
}

TEST(MarchSquares, SquaresAreVisitedWithXOutermost) {
    // One point above in the middle of a 3 x 3 plane: a closed diamond of four segments,
    // one in each square, stored for squares (1,1), (1,2), (2,1), (2,2) in this order.
    TestGrid t(3, 3, 1, [](int a, int b, int) { return a == 2 && b == 2 ? 2.0f : 0.0f; });
    Contour(t, 1.0f);
    ASSERT_EQ(Store().count(1), 4);
    const std::pair<int, int> order[4] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}};
    std::map<std::pair<float, float>, int> uses;
    for (int n = 1; n <= 4; ++n) {
        const SegmentRecord& s = Store().at(1, n);
        const float mx = (s.end1.x + s.end2.x) / 2, my = (s.end1.y + s.end2.y) / 2;
        EXPECT_EQ(static_cast<int>(std::floor(mx)) + 1, order[n - 1].first) << "segment " << n;
        EXPECT_EQ(static_cast<int>(std::floor(my)) + 1, order[n - 1].second) << "segment " << n;
        ++uses[{s.end1.x, s.end1.y}];
        ++uses[{s.end2.x, s.end2.y}];
    }
    EXPECT_EQ(uses.size(), 4u);
    for (const auto& [point, count] : uses) EXPECT_EQ(count, 2);
}

float Cone(int a, int b, double ca, double cb, double height) {
    return static_cast<float>(height - std::hypot(a - ca, b - cb));
}

TEST(MarchSquares, RebuildingOneLayerLeavesTheOthersUnchanged) {
    TestGrid t(40, 40, 1, [](int a, int b, int) { return Cone(a, b, 20.3, 19.6, 30.0); });
    Contour(t, 15.0f, 1, 1);
    Contour(t, 17.0f, 1, 2);
    Contour(t, 19.5f, 1, 3);
    const auto layer1 = Snapshot(1), layer2 = Snapshot(2), layer3 = Snapshot(3);
    ASSERT_FALSE(layer1.empty());
    ASSERT_FALSE(layer3.empty());
    Contour(t, 25.0f, 1, 2);
    EXPECT_NE(Snapshot(2), layer2);
    EXPECT_EQ(Snapshot(1), layer1);
    EXPECT_EQ(Snapshot(3), layer3);
}

// Every segment end must be shared by exactly two segments, the ends must lie on the
// circle, and the length must match its circumference.
TEST(MarchSquares, CircularBlobGivesAClosedContourOfTheCircleLength) {
    for (float stepSize : {1.0f, 0.5f}) {
        const double ca = 25.3, cb = 24.7, radius = 17.6;   // in grid steps
        TestGrid t(50, 50, 1, [&](int a, int b, int) { return Cone(a, b, ca, cb, 30.0); },
                   {stepSize, stepSize, 1.0f});
        EXPECT_FALSE(Contour(t, static_cast<float>(30.0 - radius)).cutShort);
        const int32_t count = Store().count(1);
        ASSERT_GT(count, 100);

        std::map<std::pair<float, float>, int> uses;
        double length = 0.0;
        for (int32_t n = 1; n <= count; ++n) {
            const SegmentRecord& s = Store().at(1, n);
            ASSERT_NE(s.end1, s.end2) << "degenerate segment " << n;
            for (const Point3& p : {s.end1, s.end2}) {
                ++uses[{p.x, p.y}];
                const double r = std::hypot(p.x / stepSize - (ca - 1), p.y / stepSize - (cb - 1));
                EXPECT_NEAR(r, radius, 0.02) << "point off the circle";
            }
            length += std::hypot(double(s.end2.x) - s.end1.x, double(s.end2.y) - s.end1.y);
        }
        for (const auto& [point, uses2] : uses) ASSERT_EQ(uses2, 2) << "open or branching contour";
        EXPECT_NEAR(length / (2.0 * M_PI * radius * stepSize), 1.0, 0.01) << "step " << stepSize;
    }
}

// Points with both indices even lie above the level: every square then holds exactly
// one corner above and gives exactly one segment.
float Lattice(int a, int b, int) { return a % 2 == 0 && b % 2 == 0 ? 1.0f : 0.0f; }

TEST(MarchSquares, LayerHoldsOneHundredThousandSegmentsAndReportsMore) {
    TestGrid exact(401, 251, 1, Lattice);   // 400 x 250 squares
    Store().count(2) = 0;
    EXPECT_FALSE(Contour(exact, 0.5f, 1, 1).cutShort);
    EXPECT_EQ(Store().count(1), 100000);

    TestGrid over(401, 252, 1, Lattice);    // 400 x 251 squares
    EXPECT_TRUE(Contour(over, 0.5f, 1, 3).cutShort);
    EXPECT_EQ(Store().count(3), 100000);
    EXPECT_EQ(Store().count(2), 0);          // the limit is per layer
    // The first 100 000 are kept: the last one lies in the 100 000th square visited.
    const int a = 1 + 99999 / 251, b = 1 + 99999 % 251;
    const SegmentRecord& last = Store().at(3, 100000);
    EXPECT_EQ(static_cast<int>(std::floor((last.end1.x + last.end2.x) / 2)) + 1, a);
    EXPECT_EQ(static_cast<int>(std::floor((last.end1.y + last.end2.y) / 2)) + 1, b);

    EXPECT_EQ(SegmentLimitMessage(2),
              "The contour map of layer 2 needs more than 100000 segments; only the first 100000 are shown.");
}

TEST(MarchSquares, LimitReachedInsideASaddleKeepsItsFirstSegment) {
    // A checkerboard makes every square a saddle (two segments); lowering point (1, 1)
    // leaves square (1, 1) with one. 21 x 2381 squares give 1 + 2 * 50 000 segments.
    TestGrid t(22, 2382, 1, [](int a, int b, int) {
        return (a + b) % 2 == 0 && !(a == 1 && b == 1) ? 1.0f : 0.0f;
    });
    EXPECT_TRUE(Contour(t, 0.5f).cutShort);
    ASSERT_EQ(Store().count(1), 100000);
    // The last square (21, 2381) has V1 and V3 above; its first segment cuts off V1.
    const SegmentRecord& last = Store().at(1, 100000);
    ExpectPoint(last.end1, 20.5f, 2380.0f, 0.0f);
    ExpectPoint(last.end2, 20.0f, 2380.5f, 0.0f);
}

}  // namespace
}  // namespace tivarel
