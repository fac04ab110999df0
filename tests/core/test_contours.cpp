// Contouring: the generated case table against what the surface must be, and its parser;
// marching cubes against a plain per-cube loop on any number of threads; marching squares.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "../test_files.h"
#include "surface/cell_table.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"

namespace tivarel {
namespace {

using namespace test_support;

const std::string kTablePath = TIVAREL_BIN_DIR "/cell_table.dat";

const CaseTable& GeneratedTable() {
    static const CaseTable table = LoadCellTable(kTablePath);
    return table;
}

using Int3 = std::array<int, 3>;

// The cube as drawn in surface/cell_table.h: corner k at these offsets, edge e between
// these corners (edge 11 is the vertical at x 0, y 1; edge 12 the one at x 1, y 1).
constexpr Int3 kCorner[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
constexpr int kEdge[13][2] = {{0, 0}, {0, 1}, {1, 2}, {3, 2}, {0, 3}, {4, 5}, {5, 6},
                              {7, 6}, {4, 7}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};
// The contour map's square cases (corners V1..V4 as cube corners 0..3) as pairs of square
// edges 1 = V1-V2, 2 = V2-V3, 3 = V4-V3, 4 = V1-V4; saddles cut off the corners above.
const std::string kSquareSegments[16] = {"",   "14", "12",   "42", "23", "1423", "13", "43",
                                         "43", "13", "1234", "23", "24", "12",   "14", ""};

bool Above(int caseIndex, int corner) { return ((caseIndex >> corner) & 1) != 0; }
// Twice the middle of an edge, and differences of such points.
Int3 EdgePoint(int e) {
    const Int3 &a = kCorner[kEdge[e][0]], &b = kCorner[kEdge[e][1]];
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Int3 Sub(const Int3& a, const Int3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
int Dot(const Int3& a, const Int3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Int3 Cross(const Int3& a, const Int3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Each case lists exactly its cut edges, and each triangle's normal leans from the corners above towards those below.
TEST(GeneratedCellTable, CutEdgesAndTrianglesFacingDownhill) {
    for (int c = 0; c < 256; ++c) {
        const auto& edges = GeneratedTable().caseEdges[size_t(c)];
        const auto& triangles = GeneratedTable().caseTriangles[size_t(c)];
        std::vector<int> cut, listed(edges.begin() + 1, edges.begin() + 1 + edges[0]);
        for (int e = 1; e <= 12; ++e)
            if (Above(c, kEdge[e][0]) != Above(c, kEdge[e][1])) cut.push_back(e);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, cut) << "case " << c;
        for (size_t j = 0; j < size_t(triangles[0]); ++j) {
            const Int3 tri{triangles[3 * j + 1], triangles[3 * j + 2], triangles[3 * j + 3]};
            const Int3 normal =
                Cross(Sub(EdgePoint(tri[1]), EdgePoint(tri[0])), Sub(EdgePoint(tri[2]), EdgePoint(tri[0])));
            int lean = 0;   // each corner of the triangle cuts an edge from above to below
            for (int e : tri)
                lean += (Above(c, kEdge[e][0]) ? 1 : -1) * Dot(normal, Sub(kCorner[kEdge[e][1]], kCorner[kEdge[e][0]]));
            EXPECT_GT(lean, 0) << "case " << c << " triangle " << tri[0] << " " << tri[1] << " " << tri[2];
        }
    }
}

const std::string kFakePath = "/x/cell_table.dat";
constexpr size_t kRecordLength = 54, kValues = 256 * kRecordLength;
using Changes = std::map<size_t, std::string>;   // value index (record * 54 + element) -> new text

// The generated table's first `count` values, changed as given, joined by `separator`.
std::string TableWith(const Changes& changes, const std::string& separator = ", ", size_t count = kValues) {
    static const std::vector<std::string> values = [] {
        std::string text = ReadFile(kTablePath);
        std::replace(text.begin(), text.end(), ',', ' ');
        std::istringstream in(text);
        return std::vector<std::string>(std::istream_iterator<std::string>(in), {});
    }();
    std::string text;
    for (size_t k = 0; k < count; ++k) text += (k ? separator : "") + (changes.contains(k) ? changes.at(k) : values[k]);
    return text;
}

InputError StopFor(const std::string& text) {
    return StopFrom([&] { ParseCellTable(text, kFakePath); });
}

// Any line structure, text after the last record, 16-bit values in the ignored columns, edge numbers outside 1..12 in
// an edge list and values after the counted ones load the same table. Counts that do not fit their rows, triangle
// corners that name no edge (case 1's triangle is elements 23 to 25), bad values and an early end stop naming the file
// and the case, quoting at most 24 characters. A wrong terminator ends silently, before any row is judged.
TEST(CellTableParsing, TextsThatLoadTheSameTableAndBadValuesThatStopWithFileAndCase) {
    const Changes wide{{270, "32767"}, {271, "-32768"}, {272, "+12"}};   // in ignored columns
    const std::string spread = "\r\n " + TableWith(wide, " \t,\r\n") + "\nnot a number, 99999\n";
    for (const std::string& text : {TableWith({}, ","), spread}) {
        const CaseTable t = ParseCellTable(text, kFakePath);
        EXPECT_TRUE(t.caseEdges == GeneratedTable().caseEdges && t.caseTriangles == GeneratedTable().caseTriangles);
    }
    EXPECT_NO_THROW(ParseCellTable(TableWith({{54 + 10, "13"}, {54 + 13, "13"}, {54 + 26, "-500"}}), kFakePath));
    const std::string long24 = "abcdefghijklmnopqrstuvwx";
    const std::tuple<size_t, size_t, std::string, std::string> cases[] = {
        {9, 9, "13", "gives 13 edges, outside 0 to 12 (case 9)."},
        {9, 22, "11", "gives 11 triangles, outside 0 to 10 (case 9)."},
        {1, 25, "0", "has a triangle on the edge number 0 (case 1)."},
        {17, 30, "1.5", "holds \"1.5\" where an integer is expected (case 17)."},
        {17, 30, long24 + "y", "holds \"" + long24 + "...\" where an integer is expected (case 17)."},
        {17, 30, "-32769", "holds the value -32769, outside the 16-bit range (case 17)."}};
    const std::string table = "The marching-cubes table " + kFakePath + " ";
    for (const auto& [record, element, value, message] : cases)
        EXPECT_EQ(StopFor(TableWith({{record * kRecordLength + element, value}})).what(), table + message);
    EXPECT_EQ(StopFor(TableWith({}, ", ", 17 * kRecordLength + 20)).what(), table + "ends early (case 17).");
    for (size_t c : {size_t{0}, size_t{255}})
        EXPECT_TRUE(StopFor(TableWith({{c * 54 + 53, "-98"}, {54 + 23, "13"}})).silent()) << "case " << c;
}

// A grid with first point `origin` and steps `step`, values f(a, b, c) (1-based).
struct TestGrid {
    GridParams g;
    DensityGrid grid;
    TestGrid(int nx, int ny, int nz, const std::function<float(int, int, int)>& f, Vec3 step = {1, 1, 1},
             Vec3 origin = {0, 0, 0})
        : g{{float(nx), float(ny), float(nz), origin.x, origin.y, origin.z, step.x, step.y, step.z}} {
        grid.resize(nx, ny, nz);
        for (int c = 1; c <= nz; ++c)
            for (int b = 1; b <= ny; ++b)
                for (int a = 1; a <= nx; ++a) grid(a, b, c) = f(a, b, c);
    }
};

TriangleStore& Store() {
    static TriangleStore store;   // 43 MB: one for the whole test program, as in the viewer
    return store;
}

// The extraction written as plainly as the loop it stands for: every cube in x, y, z order,
// eight corner reads, the case by the strict comparison, nothing for cases 0 and 255, and
// the points on the cube's edges as drawn above, all in single precision.
std::vector<TriangleRecord> PlainMarch(const TestGrid& t, float level, const CaseTable& table) {
    const GridParams& g = t.g;
    std::vector<TriangleRecord> out;
    for (int a = 1; a < t.grid.nx(); ++a)
        for (int b = 1; b < t.grid.ny(); ++b)
            for (int c = 1; c < t.grid.nz(); ++c) {
                float v[2][2][2];
                int caseIndex = 0;
                for (int k = 0; k < 8; ++k) {
                    const Int3& d = kCorner[k];
                    v[d[0]][d[1]][d[2]] = t.grid(a + d[0], b + d[1], c + d[2]);
                    if (v[d[0]][d[1]][d[2]] > level) caseIndex |= 1 << k;
                }
                if (caseIndex == 0 || caseIndex == 255) continue;
                const float o[3] = {g.x0() + float(a - 1) * g.dx(), g.y0() + float(b - 1) * g.dy(),
                                    g.z0() + float(c - 1) * g.dz()};
                const float step[3] = {g.dx(), g.dy(), g.dz()};
                auto point = [&](int e) {
                    const Int3 &from = kCorner[kEdge[e][0]], &to = kCorner[kEdge[e][1]];
                    const float va = v[from[0]][from[1]][from[2]], vb = v[to[0]][to[1]][to[2]];
                    const float along = (va - level) / (va - vb);
                    float p[3];
                    for (size_t axis = 0; axis < 3; ++axis)
                        p[axis] = o[axis] + (from[axis] != to[axis] ? along : float(from[axis])) * step[axis];
                    return tivarel::Vec3{p[0], p[1], p[2]};
                };
                const auto& row = table.caseTriangles[size_t(caseIndex)];
                for (size_t j = 0; j < size_t(row[0]); ++j)
                    out.push_back({{point(row[3 * j + 1]), point(row[3 * j + 2]), point(row[3 * j + 3])}});
            }
    return out;
}

// Sizes that fill one slab of cube columns, run over into a second and third or stop short; single-point axes; runs of
// uniform cubes that end anywhere; values at the level, NaN values (never above), uneven steps and an origin off zero.
// The second table gives cases 0 and 255 a triangle, which is never drawn.
TEST(MarchLayer, HoldsExactlyThePlainLoopsTrianglesInItsOrderOnAnyNumberOfThreads) {
    CaseTable tampered = GeneratedTable();
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
        for (const CaseTable* table : {&GeneratedTable(), static_cast<const CaseTable*>(&tampered)})
            for (const float level : {1.0f, 0.25f, -0.5f}) {
                const std::vector<TriangleRecord> want = PlainMarch(t, level, *table);
                compared += want.size();
                for (const int threads : {1, 2, 3}) {
                    Store().count(2) = -1;
                    MarchLayer(t.g, t.grid, level, 2, Store(), *table, nullptr, MarchOptions{threads});
                    const auto got = Store().layer(2);   // bit for bit
                    EXPECT_TRUE(got.size() == want.size() &&
                                (want.empty() || std::memcmp(got.data(), want.data(), got.size_bytes()) == 0))
                        << nx << "x" << ny << "x" << nz << " at " << level << " on " << threads << " threads";
                }
            }
    }
    EXPECT_GT(compared, 10000u);
}

// Points with all-even indices lie above the level: each cube holds one such corner, one triangle.
TEST(MarchLayer, StoreHoldsFourHundredThousandTrianglesPerLayerAndNoMore) {
    auto lattice = [](int a, int b, int c) { return a % 2 == 0 && b % 2 == 0 && c % 2 == 0 ? 1.0f : 0.0f; };
    const TestGrid exact(101, 81, 51, lattice), over(101, 81, 52, lattice);   // 100 x 80 x 50 = 400 000 cubes
    for (const int threads : {1, 2}) {
        Store().count(2) = 0;
        MarchLayer(exact.g, exact.grid, 0.5f, 1, Store(), GeneratedTable(), nullptr, MarchOptions{threads});
        EXPECT_EQ(Store().count(1), 400000);
        EXPECT_EQ(StopMessage([&] {
                      MarchLayer(over.g, over.grid, 0.5f, 3, Store(), GeneratedTable(), nullptr, MarchOptions{threads});
                  }),
                  "Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
        EXPECT_EQ(Store().count(3), 400000);
        EXPECT_EQ(Store().count(2), 0);   // the limit is per layer
    }
}

// Records what is shown, and whether any call came from another thread than the test's.
struct RecordingProgress : ProgressSink {
    std::string events;
    bool onOtherThread = false;
    const std::thread::id caller = std::this_thread::get_id();
    void showProgress(const std::string& caption) override { record("show " + caption); }
    void setProgress(int percent) override { record(std::to_string(percent)); }
    void hideProgress() override { record("hide"); }
    void record(const std::string& event) {
        onOtherThread |= std::this_thread::get_id() != caller;
        events += event + ";";
    }
};

// The bar shows the column that starts, and 100 at the end; worker threads report through the calling thread.
TEST(MarchLayer, ProgressRunsFromZeroToOneHundredUnderTheLayerCaptionOnTheCallingThread) {
    TestGrid t(5, 4, 4, [](int a, int, int) { return float(a); });
    RecordingProgress progress;
    MarchLayer(t.g, t.grid, 2.5f, 2, Store(), GeneratedTable(), &progress, MarchOptions{1});
    EXPECT_EQ(progress.events, "0;show ZOL map processing progress. Layer number: 2;25;50;75;100;hide;");
    const TestGrid large(120, 60, 60, [](int a, int b, int c) { return float(a + b + c); });
    RecordingProgress threaded;
    MarchLayer(large.g, large.grid, 100.0f, 1, Store(), GeneratedTable(), &threaded, MarchOptions{2});
    EXPECT_FALSE(threaded.onOtherThread);
}

SegmentStore& Segments() {
    static SegmentStore store;   // one for the whole test program, as in the viewer
    return store;
}

// Plane 3 of three, steps (0.5, 2, 2.5) from (10, -4, -1), corner values V1..V4 at (1,1), (2,1), (2,2), (1,2): each
// segment joins two edges whose corners straddle the level, at the linear crossing and z = -1 + 2 * 2.5, with its ends
// on the square edges (1 = V1-V2, 2 = V2-V3, 3 = V4-V3, 4 = V1-V4, as cube edges 1-4) the contour table lists, in that
// order; a saddle cuts off each corner above on its own. The planes below lie wholly above the level.
TEST(MarchSquares, EveryCaseJoinsTheCrossingEdgesOfItsPlane) {
    const float aboveValue[4] = {3.0f, 2.0f, 5.0f, 1.5f}, belowValue[4] = {0.0f, -2.0f, 0.5f, -1.0f};
    for (int c = 1; c <= 14; ++c) {
        std::array<float, 4> v;
        for (size_t k = 0; k < 4; ++k) v[k] = (c >> k & 1) ? aboveValue[k] : belowValue[k];
        const TestGrid t(2, 2, 3, [v](int a, int b, int z) { return z < 3 ? 9.0f : v[b == 1 ? a - 1 : 4 - a]; },
                         {0.5f, 2.0f, 2.5f}, {10.0f, -4.0f, -1.0f});
        SCOPED_TRACE("case " + std::to_string(c));
        (void)MarchSquares(t.g, t.grid, 1.0f, 3, 2, Segments());
        const std::string& ends = kSquareSegments[c];
        ASSERT_EQ(Segments().count(2), int32_t(ends.size() / 2));
        for (int32_t n = 1; n <= Segments().count(2); ++n) {
            const SegmentRecord& s = Segments().at(2, n);
            for (const auto& [p, end] : {std::pair{s.end1, 2 * n - 2}, std::pair{s.end2, 2 * n - 1}}) {
                const int from = kEdge[ends[size_t(end)] - '0'][0], to = kEdge[ends[size_t(end)] - '0'][1];
                const double f = (1.0 - v[size_t(from)]) / (double(v[size_t(to)]) - v[size_t(from)]);
                EXPECT_NEAR(p.x, 10 + 0.5 * (kCorner[from][0] + f * (kCorner[to][0] - kCorner[from][0])), 1e-5) << n;
                EXPECT_NEAR(p.y, -4 + 2 * (kCorner[from][1] + f * (kCorner[to][1] - kCorner[from][1])), 1e-5) << n;
                EXPECT_FLOAT_EQ(p.z, 4.0f);
            }
        }
    }
}

TEST(MarchSquares, LayerHoldsOneHundredThousandSegmentsAndReportsMore) {
    // Points with both indices even lie above the level: each square holds one such corner, one segment.
    auto lattice = [](int a, int b, int) { return a % 2 == 0 && b % 2 == 0 ? 1.0f : 0.0f; };
    Segments().count(2) = 0;
    const TestGrid exact(401, 251, 1, lattice), over(401, 252, 1, lattice);   // 400 x 250 and 400 x 251 squares
    EXPECT_FALSE(MarchSquares(exact.g, exact.grid, 0.5f, 1, 1, Segments()).cutShort);
    EXPECT_EQ(Segments().count(1), 100000);
    EXPECT_TRUE(MarchSquares(over.g, over.grid, 0.5f, 1, 3, Segments()).cutShort);
    EXPECT_EQ(Segments().count(3), 100000);
    EXPECT_EQ(Segments().count(2), 0);
    EXPECT_EQ(SegmentLimitMessage(2),
              "The contour map of layer 2 needs more than 100000 segments; only the first 100000 are shown.");
}

}   // namespace
}   // namespace tivarel
