// The generated marching-cubes table and its parser. The table is checked against what
// the surface must be, computed here independently: the cut edges of each case, a closed
// and consistently oriented surface per cube, the contour map's marching-squares segments
// on every face (so neighbouring cubes meet without gaps), and normals towards lower density.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "map_test_support.h"
#include "mapio/program_stop.h"
#include "surface/cell_table.h"

namespace tivarel {
namespace {

using test_support::StopFrom;

const std::string kTablePath = TIVAREL_BIN_DIR "/cell_table.dat";

const CaseTable& GeneratedTable() {
    static const CaseTable table = LoadCellTable(kTablePath);
    return table;
}

// ---------------------------------------------------------------- cube geometry

using Side = std::pair<int, int>;  // two edge numbers: a triangle side or a face segment
using Triangle = std::array<int, 3>;
using Vec3 = std::array<double, 3>;

bool Above(int caseIndex, int corner) { return ((caseIndex >> corner) & 1) != 0; }
const CubeEdge& EdgeAt(int edge) { return kCubeEdges[size_t(edge)]; }
bool IsCut(int caseIndex, int edge) { return Above(caseIndex, EdgeAt(edge).from) != Above(caseIndex, EdgeAt(edge).to); }
Side Sorted(Side s) { return s.first < s.second ? s : Side{s.second, s.first}; }

// A face as a square of the contour map: corners V1..V4 in cyclic order and the cube edges
// of square edges 1 = V1-V2, 2 = V2-V3, 3 = V4-V3, 4 = V1-V4. Opposite faces correspond
// position by position, so two neighbouring cubes cut the face they share alike.
struct Face { std::array<int, 4> corners, edges; };
const std::array<Face, 6> kFaces{{
    {{0, 1, 2, 3}, {1, 2, 3, 4}}, {{4, 5, 6, 7}, {5, 6, 7, 8}},     // z = 0, z = 1
    {{0, 1, 5, 4}, {1, 10, 5, 9}}, {{3, 2, 6, 7}, {3, 12, 7, 11}},  // y = 0, y = 1
    {{0, 3, 7, 4}, {4, 11, 8, 9}}, {{1, 2, 6, 5}, {2, 12, 6, 10}},  // x = 0, x = 1
}};

// The contour map's square table: segments as pairs of square edges; saddles cut off the
// corners above.
const std::array<std::vector<Side>, 16> kSquareSegments = {{
    {}, {{1, 4}}, {{1, 2}}, {{4, 2}}, {{2, 3}}, {{1, 4}, {2, 3}}, {{1, 3}}, {{4, 3}},
    {{4, 3}}, {{1, 3}}, {{1, 2}, {3, 4}}, {{2, 3}}, {{2, 4}}, {{1, 2}}, {{1, 4}}, {},
}};

std::multiset<Side> ExpectedFaceSegments(int caseIndex, const Face& face) {
    int squareCase = 0;
    for (size_t i = 0; i < 4; ++i)
        if (Above(caseIndex, face.corners[i])) squareCase += 1 << i;
    std::multiset<Side> segments;
    for (const auto& [a, b] : kSquareSegments[size_t(squareCase)])
        segments.insert(Sorted({face.edges[size_t(a - 1)], face.edges[size_t(b - 1)]}));
    return segments;
}

// Square edge 0..3 of a cube edge on the face, or -1.
int SquareEdge(const Face& face, int edge) {
    const auto at = std::find(face.edges.begin(), face.edges.end(), edge);
    return at == face.edges.end() ? -1 : int(at - face.edges.begin());
}

// The face holding both edges of a side, or -1 when the side runs through the cube.
int FaceOfSide(const Side& s) {
    for (int f = 0; f < 6; ++f)
        if (SquareEdge(kFaces[size_t(f)], s.first) >= 0 && SquareEdge(kFaces[size_t(f)], s.second) >= 0) return f;
    return -1;
}

Vec3 Corner(int corner) {
    const auto& c = kCubeCorners[size_t(corner)];
    return {double(c[0]), double(c[1]), double(c[2])};
}
Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The point on an edge at fraction 0.5, as the extraction places it.
Vec3 EdgePoint(int edge) {
    const Vec3 a = Corner(EdgeAt(edge).from), b = Corner(EdgeAt(edge).to);
    return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

// ---------------------------------------------------------------- table rows

std::vector<int> ListedEdges(const CaseTable& t, int caseIndex) {
    const auto& row = t.caseEdges[size_t(caseIndex)];
    return std::vector<int>(row.begin() + 1, row.begin() + 1 + row[0]);
}

std::vector<Triangle> CaseTriangleList(const CaseTable& t, int caseIndex) {
    const auto& row = t.caseTriangles[size_t(caseIndex)];
    std::vector<Triangle> triangles;
    for (size_t j = 0; j < size_t(row[0]); ++j) triangles.push_back({row[3 * j + 1], row[3 * j + 2], row[3 * j + 3]});
    return triangles;
}

std::vector<Side> DirectedSides(const CaseTable& t, int caseIndex) {
    std::vector<Side> sides;
    for (const Triangle& tri : CaseTriangleList(t, caseIndex))
        for (size_t k = 0; k < 3; ++k) sides.push_back({tri[k], tri[(k + 1) % 3]});
    return sides;
}

// ---------------------------------------------------------------- generated table

// Triangles only in cases with cut edges, and only on listed edges.
TEST(GeneratedCellTable, EdgeListsHoldExactlyTheCutEdgesAndTrianglesUseThem) {
    const CaseTable& t = GeneratedTable();
    const auto sortedEdges = [&](int c) {
        std::vector<int> listed = ListedEdges(t, c);
        std::sort(listed.begin(), listed.end());
        return listed;
    };
    for (int c = 0; c < 256; ++c) {
        std::vector<int> cut;
        for (int e = 1; e <= 12; ++e)
            if (IsCut(c, e)) cut.push_back(e);
        EXPECT_EQ(sortedEdges(c), cut) << "case " << c;
        const std::vector<Triangle> triangles = CaseTriangleList(t, c);
        EXPECT_EQ(cut.empty(), triangles.empty()) << "case " << c;
        for (const Triangle& tri : triangles)
            for (int e : tri) EXPECT_TRUE(std::binary_search(cut.begin(), cut.end(), e)) << c << " edge " << e;
    }
    // One corner above: the three edges meeting there. Edge 11 is the vertical edge at
    // (x 0, y 1) between corners 3 and 7, edge 12 the one at (x 1, y 1).
    EXPECT_EQ(sortedEdges(1), (std::vector<int>{1, 4, 9}));
    EXPECT_EQ(sortedEdges(4), (std::vector<int>{2, 3, 12}));
    EXPECT_EQ(sortedEdges(8), (std::vector<int>{3, 4, 11}));
    EXPECT_EQ(sortedEdges(64), (std::vector<int>{6, 7, 12}));
    EXPECT_EQ(EdgePoint(11), (Vec3{0.0, 1.0, 0.5}));
    EXPECT_EQ(EdgePoint(12), (Vec3{1.0, 1.0, 0.5}));
}

// Inside the cube every side joins two triangles of opposite winding; on the faces the
// sides are the contour map's segments.
TEST(GeneratedCellTable, SurfaceIsClosedInsideAndCutsFacesLikeTheContourMap) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        std::map<Side, int> inside;
        std::array<std::multiset<Side>, 6> onFace;
        for (const Side& s : DirectedSides(t, c)) {
            const int f = FaceOfSide(s);
            if (f < 0) ++inside[s];
            else onFace[size_t(f)].insert(Sorted(s));
        }
        for (const auto& [side, count] : inside) {
            EXPECT_EQ(count, 1) << "case " << c << " side " << side.first << "-" << side.second;
            EXPECT_EQ(inside.count({side.second, side.first}), 1u) << "case " << c << " side " << side.first << "-"
                                                                   << side.second << " is open";
        }
        for (size_t f = 0; f < 6; ++f)
            EXPECT_EQ(onFace[f], ExpectedFaceSegments(c, kFaces[f])) << "case " << c << " face " << f;
    }
}

TEST(GeneratedCellTable, NormalsPointFromAboveTowardsBelow) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        for (const Triangle& tri : CaseTriangleList(t, c)) {
            const Vec3 p0 = EdgePoint(tri[0]);
            const Vec3 normal = Cross(Sub(EdgePoint(tri[1]), p0), Sub(EdgePoint(tri[2]), p0));
            EXPECT_GT(Dot(normal, normal), 1e-12) << "case " << c << ": degenerate triangle";
            // Each corner of the triangle cuts an edge running from above to below.
            double lean = 0.0;
            for (int e : tri) {
                const Vec3 along = Sub(Corner(EdgeAt(e).to), Corner(EdgeAt(e).from));
                lean += Above(c, EdgeAt(e).from) ? Dot(normal, along) : -Dot(normal, along);
            }
            EXPECT_GT(lean, 0.0) << "case " << c << " triangle " << tri[0] << " " << tri[1] << " " << tri[2];
        }
    }
}

// ---------------------------------------------------------------- parsing

const std::string kFakePath = "/x/cell_table.dat";
constexpr size_t kRecordLength = 54, kValues = 256 * kRecordLength;
using Changes = std::map<size_t, std::string>;  // token index -> new text

class CellTableParsing : public ::testing::Test {
protected:
    void SetUp() override {
        std::stringstream text;
        text << std::ifstream(kTablePath, std::ios::binary).rdbuf();
        std::string values = text.str();
        std::replace(values.begin(), values.end(), ',', ' ');
        std::istringstream in(values);
        for (std::string token; in >> token;) tokens_.push_back(token);
        ASSERT_EQ(tokens_.size(), kValues);  // cases 0 and 255 too
    }
    // Token index of element `k` (0..53) of a case's record.
    static size_t At(size_t caseIndex, size_t k) { return caseIndex * kRecordLength + k; }
    // The generated table's first `count` values, changed as given, joined by `separator`.
    std::string with(const Changes& changes, const std::string& sep = ", ", size_t count = kValues) const {
        std::string text;
        for (size_t k = 0; k < count; ++k) text += (k ? sep : "") + (changes.contains(k) ? changes.at(k) : tokens_[k]);
        return text;
    }
    static ProgramStop stopFor(const std::string& text) { return StopFrom([&] { ParseCellTable(text, kFakePath); }); }
    static std::string messageFor(const std::string& text) { return stopFor(text).what(); }
    std::vector<std::string> tokens_;
};

// Any line structure, text after the last record, and 16-bit values in the ignored columns.
TEST_F(CellTableParsing, TextsThatLoadTheSameTable) {
    for (const std::string& text : {with({}, ","), with({}, " \t,\r\n"), "\r\n  " + with({}, "\r") + "\n\n",
                                    with({}) + "\nnot a number, 99999, -98\n",
                                    with({{At(5, 0), "32767"}, {At(5, 1), "-32768"}, {At(5, 2), "+12"}})}) {
        const CaseTable t = ParseCellTable(text, kFakePath);
        EXPECT_EQ(t.caseEdges, GeneratedTable().caseEdges);
        EXPECT_EQ(t.caseTriangles, GeneratedTable().caseTriangles);
    }
}

TEST_F(CellTableParsing, RowsAreStoredInReadingOrder) {
    // Case 1 from hand-made text: the 9 leading values are skipped, then 13 + 31.
    Changes record;
    const std::vector<std::string> values = {"7", "7", "7", "7", "7", "7", "7", "7", "7", "3", "9", "4", "1", "0",
                                             "0", "0", "0", "0", "0", "0", "0", "5", "1", "9", "1", "4"};
    for (size_t k = 0; k < values.size(); ++k) record[At(1, k)] = values[k];
    const CaseTable t = ParseCellTable(with(record), kFakePath);
    EXPECT_EQ(ListedEdges(t, 1), (std::vector<int>{9, 4, 1}));
    EXPECT_EQ(t.caseEdges[1][12], 5);
    EXPECT_EQ(CaseTriangleList(t, 1), (std::vector<Triangle>{{9, 1, 4}}));
}

// A wrong terminator anywhere ends silently, before any row is judged (case 1 is bad too).
TEST_F(CellTableParsing, WrongTerminatorStopsSilently) {
    for (size_t c : {size_t{0}, size_t{100}, size_t{255}}) {
        const ProgramStop stop = stopFor(with({{At(c, 53), "-98"}, {At(1, 23), "13"}}));
        EXPECT_TRUE(stop.silent()) << "case " << c;
        EXPECT_EQ(std::string(stop.what()), "") << "case " << c;
    }
}

// Bad values, counts that do not fit their rows and triangle corners that name no edge
// stop with a message naming the file and the case.
TEST_F(CellTableParsing, BadValuesStopWithFileAndCase) {
    struct Case { size_t caseIndex, k; std::string value; };
    std::vector<Case> cases{{9, 9, "13"}, {9, 22, "11"}, {9, 22, "-1"}};
    for (const char* bad : {"abc", "1.5", "7x", "-", "+-3", "40000", "-32769", "123456789012345678901234"})
        cases.push_back({17, 30, bad});
    for (size_t k : {size_t{23}, size_t{25}})  // case 1 lists one triangle, on elements 23..25
        for (const char* bad : {"13", "0", "-1"}) cases.push_back({1, k, bad});
    for (const Case& c : cases) {
        const ProgramStop stop = stopFor(with({{At(c.caseIndex, c.k), c.value}}));
        const std::string message = stop.what(), where = "(case " + std::to_string(c.caseIndex) + ")";
        EXPECT_FALSE(stop.silent()) << c.value;
        EXPECT_NE(message.find(kFakePath), std::string::npos) << c.value << ": " << message;
        EXPECT_NE(message.find(where), std::string::npos) << c.value << ": " << message;
    }
    EXPECT_NE(messageFor(with({{At(17, 30), "40000"}})).find("40000"), std::string::npos);
}

TEST_F(CellTableParsing, ValuesTheExtractionNeverUsesAreNotJudged) {
    // Full rows: 12 edges and 10 triangles.
    Changes full{{At(9, 9), "12"}, {At(9, 22), "10"}};
    for (size_t k = 23; k < 53; ++k) full[At(9, k)] = "1";
    // An edge list number outside 1..12 is skipped by the extraction; values after the
    // counted ones are never used.
    for (const Changes& changes :
         {full, Changes{{At(1, 10), "13"}}, Changes{{At(1, 13), "13"}}, Changes{{At(1, 26), "-500"}}})
        EXPECT_NO_THROW(ParseCellTable(with(changes), kFakePath));
}

TEST_F(CellTableParsing, EarlyEndStopsWithFileAndCase) {
    EXPECT_EQ(messageFor(with({}, ", ", At(17, 20))),
              "The marching-cubes table " + kFakePath + " ends early (case 17).");
    EXPECT_NE(messageFor("").find("(case 0)"), std::string::npos);
    // The last terminator missing is an early end too, not a wrong terminator.
    EXPECT_NE(messageFor(with({}, ", ", At(255, 53))).find("ends early (case 255)"), std::string::npos);
}

TEST(CellTableLoading, MissingFileStopsWithItsName) {
    const std::string path = TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat";
    const std::string message = StopFrom([&] { LoadCellTable(path); }).what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
}

}  // namespace
}  // namespace tivarel
