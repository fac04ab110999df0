// The generated marching-cubes table and its parser. The table is checked against what the
// surface must be, worked out here: the cut edges of each case, a closed and consistently
// oriented surface per cube, the contour map's segments on every face (so neighbouring
// cubes meet without gaps), and normals towards lower density.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "map_test_support.h"
#include "surface/cell_table.h"

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
using Vec3 = std::array<int, 3>;

// The cube as drawn in surface/cell_table.h: corner k at these offsets, edge e between
// these corners (edge 11 is the vertical at x 0, y 1; edge 12 the one at x 1, y 1).
constexpr Vec3 kCorner[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
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
Vec3 EdgePoint(int e) {
    const Vec3 &a = kCorner[kEdge[e][0]], &b = kCorner[kEdge[e][1]];
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
int Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
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

TEST(GeneratedCellTable, EdgeListsHoldExactlyTheCutEdgesAndTrianglesUseThem) {
    for (int c = 0; c < 256; ++c) {
        std::vector<int> cut, listed = ListedEdges(GeneratedTable(), c);
        for (int e = 1; e <= 12; ++e)
            if (IsCut(c, e)) cut.push_back(e);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, cut) << "case " << c;
        EXPECT_EQ(cut.empty(), Triangles(GeneratedTable(), c).empty()) << "case " << c;
        for (const Triangle& tri : Triangles(GeneratedTable(), c))
            for (int e : tri) EXPECT_TRUE(std::binary_search(cut.begin(), cut.end(), e)) << c << " edge " << e;
    }
    for (int e = 1; e <= 12; ++e)
        EXPECT_EQ((std::array{kCubeEdges[size_t(e)].from, kCubeEdges[size_t(e)].to}),
                  (std::array{kEdge[e][0], kEdge[e][1]}));
}

// Inside the cube every side joins two triangles of opposite winding; on the faces the sides
// are the contour map's segments; each triangle's normal leans from the corners above
// towards those below.
TEST(GeneratedCellTable, SurfaceIsClosedCutsFacesLikeTheContourMapAndFacesDownhill) {
    for (int c = 0; c < 256; ++c) {
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
            const Vec3 normal =
                Cross(Sub(EdgePoint(tri[1]), EdgePoint(tri[0])), Sub(EdgePoint(tri[2]), EdgePoint(tri[0])));
            int lean = 0;   // each corner of the triangle cuts an edge from above to below
            for (int e : tri)
                lean += (Above(c, kEdge[e][0]) ? 1 : -1) * Dot(normal, Sub(kCorner[kEdge[e][1]], kCorner[kEdge[e][0]]));
            EXPECT_GT(lean, 0) << "case " << c << " triangle " << tri[0] << " " << tri[1] << " " << tri[2];
        }
        for (const auto& [side, count] : inside) {
            EXPECT_EQ(count, 1) << "case " << c << " side " << side.first << "-" << side.second;
            EXPECT_EQ(inside.count({side.second, side.first}), 1u)
                << "case " << c << " side " << side.first << "-" << side.second;
        }
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

ProgramStop StopFor(const std::string& text) {
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

// A wrong terminator anywhere ends silently, before any row is judged (case 1 is bad too).
TEST(CellTableParsing, WrongTerminatorStopsSilently) {
    for (size_t c : {size_t{0}, size_t{100}, size_t{255}})
        EXPECT_TRUE(StopFor(TableWith({{c * 54 + 53, "-98"}, {54 + 23, "13"}})).silent()) << "case " << c;
}

// Counts that do not fit their rows, triangle corners that name no edge (case 1 has one
// triangle, in elements 23 to 25), bad values and an early end stop with a message naming the
// file and the case; at most 24 characters of a bad value are quoted.
TEST(CellTableParsing, BadValuesStopWithFileAndCase) {
    const std::string long24 = "abcdefghijklmnopqrstuvwx", digits = "1234567890123456789012345";
    const std::tuple<size_t, size_t, std::string, std::string> cases[] = {
        {9, 9, "13", "gives 13 edges, outside 0 to 12 (case 9)."},
        {9, 22, "11", "gives 11 triangles, outside 0 to 10 (case 9)."},
        {9, 22, "-1", "gives -1 triangles, outside 0 to 10 (case 9)."},
        {1, 23, "13", "has a triangle on the edge number 13 (case 1)."},
        {1, 25, "0", "has a triangle on the edge number 0 (case 1)."},
        {17, 30, "1.5", "holds \"1.5\" where an integer is expected (case 17)."},
        {17, 30, "+-3", "holds \"+-3\" where an integer is expected (case 17)."},
        {17, 30, long24, "holds \"" + long24 + "\" where an integer is expected (case 17)."},
        {17, 30, long24 + "y", "holds \"" + long24 + "...\" where an integer is expected (case 17)."},
        {17, 30, "-32769", "holds the value -32769, outside the 16-bit range (case 17)."},
        {17, 30, digits, "holds the value " + digits.substr(0, 24) + ", outside the 16-bit range (case 17)."}};
    const std::string table = "The marching-cubes table " + kFakePath + " ";
    for (const auto& [record, element, value, message] : cases)
        EXPECT_EQ(StopFor(TableWith({{record * kRecordLength + element, value}})).what(), table + message);
    EXPECT_EQ(StopFor(TableWith({}, ", ", 17 * kRecordLength + 20)).what(), table + "ends early (case 17).");
    EXPECT_EQ(StopFor(TableWith({}, ", ", kValues - 1)).what(),
              table + "ends early (case 255).");   // not a wrong terminator
    test_support::ExpectHolds(StopFrom([] { LoadCellTable(TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat"); }).what(),
                              {TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat"});
}

}   // namespace
}   // namespace tivarel
