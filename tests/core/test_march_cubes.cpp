// Marching cubes: exact points of a single cube, ties at the level, scaling by
// the steps, layer independence, the store's limit, and a closed sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <functional>
#include <thread>
#include <tuple>

#include "map_test_support.h"
#include "mapio/program_stop.h"
#include "surface/march_cubes.h"

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

TEST(MarchLayer, SingleCornerAboveGivesTheTableTriangleAtTwoThirds) {
    TestGrid t(2, 2, 2, [](int a, int b, int c) { return a == 1 && b == 1 && c == 1 ? 3.0f : 0.0f; });
    MarchLayer(t.g, t.grid, 1.0f, 1, Store(), Table(), nullptr);
    const auto& row = Table().caseTriangles[1];
    ASSERT_EQ(Store().count(1), row[0]);
    ASSERT_EQ(Store().count(1), 1);
    // Edge 1 lies along x, edge 4 along y, edge 9 along z, each 2/3 from corner 0.
    const float third2 = 2.0f / 3.0f;
    const std::map<int, Point3> expected = {{1, {third2, 0, 0}}, {4, {0, third2, 0}}, {9, {0, 0, third2}}};
    for (int k = 0; k < 3; ++k) {
        const Point3& want = expected.at(row[static_cast<size_t>(k + 1)]);
        ExpectPoint(Store().at(1, 1).point[static_cast<size_t>(k)], want.x, want.y, want.z);
    }
}

TEST(MarchLayer, ValuesAtTheLevelCountAsBelow) {
    TestGrid corner(2, 2, 2, [](int a, int b, int c) { return a == 1 && b == 1 && c == 1 ? 3.0f : 0.0f; });
    MarchLayer(corner.g, corner.grid, 3.0f, 1, Store(), Table(), nullptr);
    EXPECT_EQ(Store().count(1), 0);

    TestGrid flat(3, 3, 3, [](int, int, int) { return 2.0f; });
    MarchLayer(flat.g, flat.grid, 2.0f, 1, Store(), Table(), nullptr);
    EXPECT_EQ(Store().count(1), 0);

    // Corner 0 exactly at the level, corner 1 above: the cut on edge 1 sits on corner 0.
    TestGrid tie(2, 2, 2, [](int a, int b, int c) {
        if (b == 1 && c == 1) return a == 1 ? 1.0f : 5.0f;
        return 0.0f;
    });
    MarchLayer(tie.g, tie.grid, 1.0f, 1, Store(), Table(), nullptr);
    ASSERT_GT(Store().count(1), 0);
    bool onCorner = false;
    for (int n = 1; n <= Store().count(1); ++n)
        for (const Point3& p : Store().at(1, n).point) onCorner |= p == Point3{0, 0, 0};
    EXPECT_TRUE(onCorner);
}

TEST(MarchLayer, DegenerateGridsHaveNoCubes) {
    for (auto dims : {std::tuple{1, 5, 5}, std::tuple{5, 1, 5}, std::tuple{5, 5, 1}}) {
        auto [nx, ny, nz] = dims;
        TestGrid t(nx, ny, nz, [](int a, int, int) { return static_cast<float>(a % 2); });
        Store().count(1) = 7;
        MarchLayer(t.g, t.grid, 0.5f, 1, Store(), Table(), nullptr);
        EXPECT_EQ(Store().count(1), 0);
    }
}

TEST(MarchLayer, UnequalStepsAndOriginPlaceThePoints) {
    const Vec3f step{0.5f, 2.0f, 3.0f}, origin{10.0f, -4.0f, 1.0f};
    TestGrid t(2, 2, 2, [](int a, int b, int c) { return a == 1 && b == 1 && c == 1 ? 3.0f : 0.0f; }, step, origin);
    MarchLayer(t.g, t.grid, 1.0f, 2, Store(), Table(), nullptr);
    ASSERT_EQ(Store().count(2), 1);
    const float f = 2.0f / 3.0f;
    const auto& row = Table().caseTriangles[1];
    const std::map<int, Point3> expected = {{1, {10.0f + f * 0.5f, -4.0f, 1.0f}},
                                            {4, {10.0f, -4.0f + f * 2.0f, 1.0f}},
                                            {9, {10.0f, -4.0f, 1.0f + f * 3.0f}}};
    for (int k = 0; k < 3; ++k) {
        const Point3& want = expected.at(row[static_cast<size_t>(k + 1)]);
        ExpectPoint(Store().at(2, 1).point[static_cast<size_t>(k)], want.x, want.y, want.z);
    }
}

// A 4-cell blob field used by several tests.
float Blob(int a, int b, int c, float cx, float radius) {
    const float dx = static_cast<float>(a) - cx, dy = static_cast<float>(b) - cx, dz = static_cast<float>(c) - cx;
    return radius - std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST(MarchLayer, RebuildingOneLayerLeavesTheOthersBitForBit) {
    TestGrid t(16, 16, 16, [](int a, int b, int c) { return Blob(a, b, c, 8.3f, 20.0f); });
    MarchLayer(t.g, t.grid, 15.0f, 1, Store(), Table(), nullptr);
    MarchLayer(t.g, t.grid, 17.0f, 2, Store(), Table(), nullptr);
    MarchLayer(t.g, t.grid, 18.5f, 3, Store(), Table(), nullptr);
    auto snapshot = [](int layer) {
        std::vector<TriangleRecord> copy;
        for (int n = 1; n <= Store().count(layer); ++n) copy.push_back(Store().at(layer, n));
        return copy;
    };
    const auto layer1 = snapshot(1), layer3 = snapshot(3);
    ASSERT_FALSE(layer1.empty());
    ASSERT_FALSE(layer3.empty());
    MarchLayer(t.g, t.grid, 12.0f, 2, Store(), Table(), nullptr);
    const auto after1 = snapshot(1), after3 = snapshot(3);
    ASSERT_EQ(after1.size(), layer1.size());
    ASSERT_EQ(after3.size(), layer3.size());
    EXPECT_EQ(0, std::memcmp(after1.data(), layer1.data(), layer1.size() * sizeof(TriangleRecord)));
    EXPECT_EQ(0, std::memcmp(after3.data(), layer3.data(), layer3.size() * sizeof(TriangleRecord)));
}

// Every edge of every triangle must be shared by exactly two triangles, and the
// area must match the sphere's: a wrong or inconsistent case table breaks both.
TEST(MarchLayer, SphericalBlobGivesAClosedSurfaceOfTheSphereArea) {
    for (float stepSize : {1.0f, 0.5f}) {
        const float radius = 11.3f;   // in grid steps
        const int n = 30;
        const float centre = 15.4f;
        TestGrid t(n, n, n, [&](int a, int b, int c) { return Blob(a, b, c, centre, 20.0f); },
                   {stepSize, stepSize, stepSize});
        MarchLayer(t.g, t.grid, 20.0f - radius, 1, Store(), Table(), nullptr);
        const int32_t count = Store().count(1);
        ASSERT_GT(count, 1000);

        using Key = std::tuple<float, float, float>;
        std::map<std::pair<Key, Key>, int> edgeUse;
        double area = 0.0;
        for (int32_t i = 1; i <= count; ++i) {
            const auto& p = Store().at(1, i).point;
            for (size_t k = 0; k < 3; ++k) {
                Key u{p[k].x, p[k].y, p[k].z}, v{p[(k + 1) % 3].x, p[(k + 1) % 3].y, p[(k + 1) % 3].z};
                ASSERT_NE(u, v) << "degenerate triangle " << i;
                edgeUse[std::minmax(u, v)]++;
            }
            const double ux = p[1].x - p[0].x, uy = p[1].y - p[0].y, uz = p[1].z - p[0].z;
            const double vx = p[2].x - p[0].x, vy = p[2].y - p[0].y, vz = p[2].z - p[0].z;
            const double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
            area += 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
        }
        for (const auto& [edge, uses] : edgeUse) ASSERT_EQ(uses, 2) << "open or over-used mesh edge";
        const double r = radius * stepSize;
        const double sphere = 4.0 * M_PI * r * r;
        EXPECT_NEAR(area / sphere, 1.0, 0.01) << "step " << stepSize;
    }
}

// The extraction written as plainly as the loop it stands for: every cube in
// x, y, z order, eight corner reads, the case by the strict comparison, and the
// points from the edge table, all in single precision.
std::vector<TriangleRecord> PlainMarch(const TestGrid& t, float level) {
    // Edge e: from-corner offset (x, y, z) and the axis along the edge.
    static const int kEdge[13][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 0, 1},
                                     {0, 0, 1, 0}, {1, 0, 1, 1}, {0, 1, 1, 0}, {0, 0, 1, 1},
                                     {0, 0, 0, 2}, {1, 0, 0, 2}, {0, 1, 0, 2}, {1, 1, 0, 2}};
    static const int kCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                      {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const GridParams& g = t.g;
    std::vector<TriangleRecord> out;
    for (int a = 1; a < t.grid.nx(); ++a)
        for (int b = 1; b < t.grid.ny(); ++b)
            for (int c = 1; c < t.grid.nz(); ++c) {
                float v[8];
                int caseIndex = 0;
                for (int k = 0; k < 8; ++k) {
                    v[k] = t.grid(a + kCorner[k][0], b + kCorner[k][1], c + kCorner[k][2]);
                    if (v[k] > level) caseIndex |= 1 << k;
                }
                const float o[3] = {g.x0() + static_cast<float>(a - 1) * g.dx(),
                                    g.y0() + static_cast<float>(b - 1) * g.dy(),
                                    g.z0() + static_cast<float>(c - 1) * g.dz()};
                const float d[3] = {g.dx(), g.dy(), g.dz()};
                auto point = [&](int e) {
                    const int* edge = kEdge[e];
                    int from = 0;
                    while (kCorner[from][0] != edge[0] || kCorner[from][1] != edge[1] || kCorner[from][2] != edge[2]) ++from;
                    int to = 0;
                    while (kCorner[to][0] != edge[0] + (edge[3] == 0) || kCorner[to][1] != edge[1] + (edge[3] == 1) ||
                           kCorner[to][2] != edge[2] + (edge[3] == 2))
                        ++to;
                    const float t01 = (v[from] - level) / (v[from] - v[to]);
                    float p[3];
                    for (int axis = 0; axis < 3; ++axis)
                        p[axis] = axis == edge[3] ? o[axis] + t01 * d[axis] : (edge[axis] ? o[axis] + d[axis] : o[axis]);
                    return Point3{p[0], p[1], p[2]};
                };
                const auto& row = Table().caseTriangles[static_cast<size_t>(caseIndex)];
                if (caseIndex == 0 || caseIndex == 255) continue;
                for (int j = 0; j < row[0]; ++j)
                    out.push_back({{point(row[static_cast<size_t>(3 * j + 1)]), point(row[static_cast<size_t>(3 * j + 2)]),
                                    point(row[static_cast<size_t>(3 * j + 3)])}});
            }
    return out;
}

void ExpectPlainLoopsTriangles(const TestGrid& t, float level, int threads, size_t& compared) {
    const std::string where = std::to_string(t.grid.nx()) + "x" + std::to_string(t.grid.ny()) + "x" +
                              std::to_string(t.grid.nz()) + " at " + std::to_string(level) + " on " +
                              std::to_string(threads) + " threads";
    Store().count(2) = -1;
    MarchLayer(t.g, t.grid, level, 2, Store(), Table(), nullptr, MarchOptions{threads});
    const std::vector<TriangleRecord> want = PlainMarch(t, level);
    ASSERT_EQ(Store().count(2), static_cast<int32_t>(want.size())) << where;
    compared += want.size();
    for (size_t n = 0; n < want.size(); ++n)
        ASSERT_EQ(0, std::memcmp(&Store().at(2, static_cast<int32_t>(n + 1)), &want[n], sizeof(TriangleRecord)))
            << "triangle " << n + 1 << " of " << where;
}

TEST(MarchLayer, HoldsExactlyThePlainLoopsTrianglesInItsOrderOnAnyNumberOfThreads) {
    // Sizes that fill one slab of cube columns, run over into a second and third or
    // stop short; single-point axes; runs of uniform cubes that end anywhere; values
    // at the level, NaN values (never above), uneven steps and an origin off zero.
    uint32_t seed = 12345;
    size_t compared = 0;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (const auto& [nx, ny, nz] : {std::tuple{17, 13, 11}, std::tuple{5, 9, 30}, std::tuple{3, 3, 19},
                                     std::tuple{41, 7, 9}, std::tuple{34, 5, 6}, std::tuple{2, 2, 2},
                                     std::tuple{1, 6, 6}, std::tuple{6, 1, 6}, std::tuple{6, 6, 1}}) {
        TestGrid t(nx, ny, nz, [&](int a, int b, int c) {
            const float smooth = static_cast<float>(std::sin(a * 0.4) + std::cos(b * 0.3) * std::sin(c * 0.2));
            const uint32_t pick = next() % 20;
            if (pick == 0) return std::nanf("");
            return pick < 5 ? static_cast<float>(next() % 3) : smooth;
        }, {0.7f, 1.3f, 0.45f}, {-3.1f, 2.2f, 0.9f});
        for (const float level : {1.0f, 0.25f, -0.5f})
            for (const int threads : {1, 2, 3}) ExpectPlainLoopsTriangles(t, level, threads, compared);
    }
    EXPECT_GT(compared, 10000u);
}

TEST(MarchLayer, StoreHoldsFourHundredThousandTrianglesPerLayerAndNoMore) {
    // Points with all-even indices lie above the level: each cube holds exactly one
    // such corner and so gives exactly one triangle.
    auto lattice = [](int a, int b, int c) { return a % 2 == 0 && b % 2 == 0 && c % 2 == 0 ? 1.0f : 0.0f; };
    const TestGrid exact(101, 81, 51, lattice);   // 100 x 80 x 50 = 400 000 cubes
    const TestGrid over(101, 81, 52, lattice);
    for (const int threads : {1, 2}) {
        Store().count(2) = 0;
        MarchLayer(exact.g, exact.grid, 0.5f, 1, Store(), Table(), nullptr, MarchOptions{threads});
        EXPECT_EQ(Store().count(1), 400000);
        try {
            MarchLayer(over.g, over.grid, 0.5f, 3, Store(), Table(), nullptr, MarchOptions{threads});
            FAIL() << "the 400 001st triangle must stop the program";
        } catch (const ProgramStop& stop) {
            EXPECT_STREQ(stop.what(), "Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
        }
        // The extra triangle is not stored; the ones before it are those of the plain loop.
        ASSERT_EQ(Store().count(3), 400000);
        const std::vector<TriangleRecord> want = PlainMarch(over, 0.5f);
        EXPECT_EQ(0, std::memcmp(&Store().at(3, 1), want.data(), 400000 * sizeof(TriangleRecord)));
        EXPECT_EQ(Store().count(2), 0);   // the test is per layer
    }
}

class RecordingProgress : public ProgressSink {
public:
    std::vector<std::string> events;
    bool onOtherThread = false;
    void showProgress(const std::string& caption) override { record("show " + caption); }
    void setProgress(int percent) override { record(std::to_string(percent)); }
    void hideProgress() override { record("hide"); }

private:
    void record(const std::string& event) {
        onOtherThread |= std::this_thread::get_id() != caller_;
        events.push_back(event);
    }
    std::thread::id caller_ = std::this_thread::get_id();
};

TEST(MarchLayer, ProgressRunsFromZeroToOneHundredUnderTheLayerCaption) {
    TestGrid t(5, 4, 4, [](int a, int, int) { return static_cast<float>(a); });
    RecordingProgress progress;
    MarchLayer(t.g, t.grid, 2.5f, 2, Store(), Table(), &progress, MarchOptions{1});
    const std::vector<std::string> expected = {
        "0", "show ZOL map processing progress. Layer number: 2", "25", "50", "75", "100", "hide"};
    EXPECT_EQ(progress.events, expected);

    TestGrid flat(1, 4, 4, [](int, int, int) { return 0.0f; });
    progress.events.clear();
    MarchLayer(flat.g, flat.grid, 2.5f, 1, Store(), Table(), &progress);
    EXPECT_EQ(progress.events, (std::vector<std::string>{"0", "show ZOL map processing progress. Layer number: 1", "hide"}));
}

TEST(MarchLayer, WorkerThreadsReportProgressThroughTheCallingThread) {
    TestGrid t(120, 60, 60, [](int a, int b, int c) { return Blob(a, b, c, 30.0f, 20.0f); });
    RecordingProgress progress;
    MarchLayer(t.g, t.grid, 0.0f, 1, Store(), Table(), &progress, MarchOptions{2});
    EXPECT_FALSE(progress.onOtherThread);
    ASSERT_GE(progress.events.size(), 4u);
    EXPECT_EQ(progress.events[1], "show ZOL map processing progress. Layer number: 1");
    EXPECT_EQ(progress.events[progress.events.size() - 2], "100");
    EXPECT_EQ(progress.events.back(), "hide");
    for (size_t k = 3; k + 1 < progress.events.size(); ++k)
        EXPECT_LT(std::stoi(progress.events[k - 1]), std::stoi(progress.events[k]));
}

}  // namespace
}  // namespace tivarel
