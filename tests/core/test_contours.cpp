// Contouring: the generated case table against what the surface must be, and its parser;
// marching cubes against a plain per-cube loop on any number of threads; marching squares.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"
#include "surface/cell_table.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"

namespace tivarel {
namespace {

using test_support::StopFrom;

const std::string kTablePath = TIVAREL_BIN_DIR "/cell_table.dat";

const CaseTable& GeneratedTable() {
    static const CaseTable table = LoadCellTable(kTablePath);
    return table;
}

using Side = std::pair<int, int>;   // two edge numbers: a triangle side or a face segment
using Triangle = std::array<int, 3>;
using Int3 = std::array<int, 3>;

// The cube as drawn in surface/cell_table.h: corner k at these offsets, edge e between
// these corners (edge 11 is the vertical at x 0, y 1; edge 12 the one at x 1, y 1).
constexpr Int3 kCorner[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
constexpr int kEdge[13][2] = {{0, 0}, {0, 1}, {1, 2}, {3, 2}, {0, 3}, {4, 5}, {5, 6},
                              {7, 6}, {4, 7}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};
// Each face as a square of the contour map: corners V1..V4 in cyclic order and the cube edges
// of square edges 1 = V1-V2, 2 = V2-V3, 3 = V4-V3, 4 = V1-V4. Opposite faces correspond
// position by position, so two neighbouring cubes cut the face they share alike.
constexpr int kFaceCorners[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
constexpr int kFaceEdges[6][4] = {{1, 2, 3, 4},   {5, 6, 7, 8},  {1, 10, 5, 9},
                                  {3, 12, 7, 11}, {4, 11, 8, 9}, {2, 12, 6, 10}};
// The contour map's square cases as pairs of square edges; saddles cut off the corners above.
const std::string kSquareSegments[16] = {"",   "14", "12",   "42", "23", "1423", "13", "43",
                                         "43", "13", "1234", "23", "24", "12",   "14", ""};

bool Above(int caseIndex, int corner) { return ((caseIndex >> corner) & 1) != 0; }
bool IsCut(int c, int edge) { return Above(c, kEdge[edge][0]) != Above(c, kEdge[edge][1]); }
Side Sorted(Side s) { return s.first < s.second ? s : Side{s.second, s.first}; }
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

int FaceOfSide(const Side& s) {
    for (int f = 0; f < 6; ++f)
        if (std::count(kFaceEdges[f], kFaceEdges[f] + 4, s.first) &&
            std::count(kFaceEdges[f], kFaceEdges[f] + 4, s.second))
            return f;
    return -1;   // the side runs through the cube
}

std::vector<int> ListedEdges(const CaseTable& t, int c) {
    const auto& row = t.caseEdges[size_t(c)];
    return std::vector<int>(row.begin() + 1, row.begin() + 1 + row[0]);
}

std::vector<Triangle> Triangles(const CaseTable& t, int c) {
    const auto& row = t.caseTriangles[size_t(c)];
    std::vector<Triangle> triangles;
    for (size_t j = 0; j < size_t(row[0]); ++j) triangles.push_back({row[3 * j + 1], row[3 * j + 2], row[3 * j + 3]});
    return triangles;
}

// Each case lists exactly its cut edges. Inside the cube every side joins two triangles of
// opposite winding; on the faces the sides are the contour map's segments; each triangle's
// normal leans from the corners above towards those below.
TEST(GeneratedCellTable, CutEdgesAClosedSurfaceCuttingFacesLikeTheContourMapFacingDownhill) {
    for (int e = 1; e <= 12; ++e)
        EXPECT_EQ((std::array{kCubeEdges[size_t(e)].from, kCubeEdges[size_t(e)].to}), (std::array{kEdge[e][0], kEdge[e][1]}));
    for (int c = 0; c < 256; ++c) {
        std::vector<int> cut, listed = ListedEdges(GeneratedTable(), c);
        for (int e = 1; e <= 12; ++e)
            if (IsCut(c, e)) cut.push_back(e);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, cut) << "case " << c;
        std::map<Side, int> inside;
        std::array<std::multiset<Side>, 6> onFace, expected;
        for (size_t f = 0; f < 6; ++f) {
            int square = 0;
            for (int i = 0; i < 4; ++i) square += Above(c, kFaceCorners[f][i]) << i;
            const std::string& ends = kSquareSegments[square];
            for (size_t k = 0; k < ends.size(); k += 2)
                expected[f].insert(Sorted({kFaceEdges[f][ends[k] - '1'], kFaceEdges[f][ends[k + 1] - '1']}));
        }
        for (const Triangle& tri : Triangles(GeneratedTable(), c)) {
            for (size_t k = 0; k < 3; ++k) {
                const Side s{tri[k], tri[(k + 1) % 3]};
                if (const int f = FaceOfSide(s); f < 0)
                    ++inside[s];
                else
                    onFace[size_t(f)].insert(Sorted(s));
            }
            const Int3 normal =
                Cross(Sub(EdgePoint(tri[1]), EdgePoint(tri[0])), Sub(EdgePoint(tri[2]), EdgePoint(tri[0])));
            int lean = 0;   // each corner of the triangle cuts an edge from above to below
            for (int e : tri)
                lean += (Above(c, kEdge[e][0]) ? 1 : -1) * Dot(normal, Sub(kCorner[kEdge[e][1]], kCorner[kEdge[e][0]]));
            EXPECT_GT(lean, 0) << "case " << c << " triangle " << tri[0] << " " << tri[1] << " " << tri[2];
        }
        for (const auto& [side, count] : inside)
            EXPECT_TRUE(count == 1 && inside.count({side.second, side.first}) == 1)
                << "case " << c << " side " << side.first << "-" << side.second;
        EXPECT_EQ(onFace, expected) << "case " << c;
    }
}

const std::string kFakePath = "/x/cell_table.dat";
constexpr size_t kRecordLength = 54, kValues = 256 * kRecordLength;
using Changes = std::map<size_t, std::string>;   // value index (record * 54 + element) -> new text

// The generated table's first `count` values, changed as given, joined by `separator`.
std::string TableWith(const Changes& changes, const std::string& separator = ", ", size_t count = kValues) {
    static const std::vector<std::string> values = [] {
        std::stringstream file;
        file << std::ifstream(kTablePath, std::ios::binary).rdbuf();
        std::string text = file.str();
        std::replace(text.begin(), text.end(), ',', ' ');
        std::istringstream in(text);
        return std::vector<std::string>(std::istream_iterator<std::string>(in), {});
    }();
    EXPECT_EQ(values.size(), kValues);
    std::string text;
    for (size_t k = 0; k < count; ++k) text += (k ? separator : "") + (changes.contains(k) ? changes.at(k) : values[k]);
    return text;
}

InputError StopFor(const std::string& text) {
    return StopFrom([&] { ParseCellTable(text, kFakePath); });
}

// Any line structure, text after the last record, 16-bit values in the ignored columns,
// edge numbers outside 1..12 in an edge list and values after the counted ones.
TEST(CellTableParsing, TextsThatLoadTheSameTable) {
    for (const std::string& text :
         {TableWith({}, ","), "\r\n  " + TableWith({}, " \t,\r\n") + "\n\n", TableWith({}) + "\nnot a number, 99999\n",
          TableWith({{270, "32767"}, {271, "-32768"}, {272, "+12"}})}) {
        const CaseTable t = ParseCellTable(text, kFakePath);
        EXPECT_EQ(t.caseEdges, GeneratedTable().caseEdges);
        EXPECT_EQ(t.caseTriangles, GeneratedTable().caseTriangles);
    }
    for (const Changes& changes : {Changes{{54 + 10, "13"}}, Changes{{54 + 13, "13"}}, Changes{{54 + 26, "-500"}}})
        EXPECT_NO_THROW(ParseCellTable(TableWith(changes), kFakePath));
}

// Counts that do not fit their rows, triangle corners that name no edge (case 1 has one
// triangle, in elements 23 to 25), bad values and an early end stop with a message naming the
// file and the case; at most 24 characters of a bad value are quoted. A wrong terminator
// anywhere ends silently, before any row is judged (case 1 is bad too).
TEST(CellTableParsing, BadValuesStopWithFileAndCase) {
    const std::string long24 = "abcdefghijklmnopqrstuvwx", digits = "1234567890123456789012345";
    const std::tuple<size_t, size_t, std::string, std::string> cases[] = {
        {9, 9, "13", "gives 13 edges, outside 0 to 12 (case 9)."},
        {9, 22, "11", "gives 11 triangles, outside 0 to 10 (case 9)."},
        {9, 22, "-1", "gives -1 triangles, outside 0 to 10 (case 9)."},
        {1, 23, "13", "has a triangle on the edge number 13 (case 1)."},
        {1, 25, "0", "has a triangle on the edge number 0 (case 1)."},
        {17, 30, "1.5", "holds \"1.5\" where an integer is expected (case 17)."},
        {17, 30, long24, "holds \"" + long24 + "\" where an integer is expected (case 17)."},
        {17, 30, long24 + "y", "holds \"" + long24 + "...\" where an integer is expected (case 17)."},
        {17, 30, "-32769", "holds the value -32769, outside the 16-bit range (case 17)."},
        {17, 30, digits, "holds the value " + digits.substr(0, 24) + ", outside the 16-bit range (case 17)."}};
    const std::string table = "The marching-cubes table " + kFakePath + " ";
    for (const auto& [record, element, value, message] : cases)
        EXPECT_EQ(StopFor(TableWith({{record * kRecordLength + element, value}})).what(), table + message);
    EXPECT_EQ(StopFor(TableWith({}, ", ", 17 * kRecordLength + 20)).what(), table + "ends early (case 17).");
    EXPECT_EQ(StopFor(TableWith({}, ", ", kValues - 1)).what(), table + "ends early (case 255).");   // not a wrong terminator
    for (size_t c : {size_t{0}, size_t{255}})
        EXPECT_TRUE(StopFor(TableWith({{c * 54 + 53, "-98"}, {54 + 23, "13"}})).silent()) << "case " << c;
    test_support::ExpectHolds(StopFrom([] { LoadCellTable(TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat"); }).what(),
                              {TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat"});
}

using test_support::ExpectPoint;
using test_support::TestGrid;

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
                        p[axis] = from[axis] != to[axis] ? o[axis] + along * step[axis]
                                  : from[axis]           ? o[axis] + step[axis]
                                                         : o[axis];
                    return tivarel::Vec3{p[0], p[1], p[2]};
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
        MarchLayer(exact.g, exact.grid, 0.5f, 1, Store(), GeneratedTable(), nullptr, MarchOptions{threads});
        EXPECT_EQ(Store().count(1), 400000);
        EXPECT_EQ(test_support::StopMessage([&] {
                      MarchLayer(over.g, over.grid, 0.5f, 3, Store(), GeneratedTable(), nullptr, MarchOptions{threads});
                  }),
                  "Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
        // The extra triangles are not stored; the ones before them are those of the plain loop.
        std::vector<TriangleRecord> first = PlainMarch(over, 0.5f, GeneratedTable());
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
    MarchLayer(t.g, t.grid, 2.5f, 2, Store(), GeneratedTable(), &progress, MarchOptions{1});
    EXPECT_EQ(progress.events, "0;show ZOL map processing progress. Layer number: 2;25;50;75;100;hide;");
    TestGrid large(120, 60, 60, [](int a, int b, int c) { return float(a + b + c); });
    RecordingProgress threaded;
    MarchLayer(large.g, large.grid, 100.0f, 1, Store(), GeneratedTable(), &threaded, MarchOptions{2});
    EXPECT_FALSE(threaded.onOtherThread);
    EXPECT_TRUE(threaded.events.starts_with("0;show ZOL map processing progress. Layer number: 1;")) << threaded.events;
    EXPECT_TRUE(threaded.events.ends_with(";100;hide;")) << threaded.events;
}

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
int EdgeOf(const tivarel::Vec3& p) {
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
            for (const tivarel::Vec3& p : {s.end1, s.end2}) {
                const int from = kEdgeCorners[EdgeOf(p)][0], to = kEdgeCorners[EdgeOf(p)][1];
                const double f = (1.0 - v[size_t(from)]) / (double(v[size_t(to)]) - v[size_t(from)]);
                EXPECT_NEAR(p.x, kX[from] + f * (kX[to] - kX[from]), 1e-6) << "case " << c;
                EXPECT_NEAR(p.y, kY[from] + f * (kY[to] - kY[from]), 1e-6) << "case " << c;
            }
        }
    }
}

// Plane 3 of three, steps (0.5, 2, 2.5) from (10, -4, -1), has V3 above: the level cuts edge 2
// a third of the way from V2, edge 3 a third of the way from V4, at z = -1 + 2 * 2.5.
// Planes outside 1..nz give nothing.
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
