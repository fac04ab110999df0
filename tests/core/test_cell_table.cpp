// The generated marching-cubes table and its parser.
//
// The table is checked against what the surface must be, computed here
// independently: the cut edges of each case, a closed and consistently oriented
// surface per cube, the contour map's marching-squares segments on every face
// (so neighbouring cubes meet without gaps), and normals towards lower density.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
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

using test_support::StopMessage;

const std::string kTablePath = TIVAREL_BIN_DIR "/cell_table.dat";

const CaseTable& GeneratedTable() {
    static const CaseTable table = LoadCellTable(kTablePath);
    return table;
}

std::string GeneratedText() {
    std::ifstream in(kTablePath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---------------------------------------------------------------- cube geometry

using Side = std::pair<int, int>;  // two edge numbers, a triangle side or face segment
using Triangle = std::array<int, 3>;
using Vec3 = std::array<double, 3>;

bool Above(int caseIndex, int corner) { return ((caseIndex >> corner) & 1) != 0; }

const CubeEdge& EdgeAt(int edge) { return kCubeEdges[static_cast<size_t>(edge)]; }

bool IsCut(int caseIndex, int edge) {
    return Above(caseIndex, EdgeAt(edge).from) != Above(caseIndex, EdgeAt(edge).to);
}

int EdgeBetween(int a, int b) {
    for (int e = 1; e <= 12; ++e)
        if ((EdgeAt(e).from == a && EdgeAt(e).to == b) || (EdgeAt(e).from == b && EdgeAt(e).to == a))
            return e;
    ADD_FAILURE() << "no edge joins corners " << a << " and " << b;
    return 0;
}

// Face corners in cyclic order, playing V1..V4 of the contour map's squares.
// Faces 2k and 2k+1 lie at offset 0 and 1 along one axis (z, y, x), and their
// corners correspond position by position across the shared face of two cubes.
constexpr std::array<std::array<int, 4>, 6> kFaces = {{
    {0, 1, 2, 3}, {4, 5, 6, 7},  // z = 0, z = 1
    {0, 1, 5, 4}, {3, 2, 6, 7},  // y = 0, y = 1
    {0, 3, 7, 4}, {1, 2, 6, 5},  // x = 0, x = 1
}};

// The contour map's square table: segments as pairs of square edges, where
// edge 1 = V1-V2, 2 = V2-V3, 3 = V4-V3, 4 = V1-V4; saddles cut off above corners.
const std::array<std::vector<Side>, 16> kSquareSegments = {{
    {}, {{1, 4}}, {{1, 2}}, {{4, 2}}, {{2, 3}}, {{1, 4}, {2, 3}}, {{1, 3}}, {{4, 3}},
    {{4, 3}}, {{1, 3}}, {{1, 2}, {3, 4}}, {{2, 3}}, {{2, 4}}, {{1, 2}}, {{1, 4}}, {},
}};

int CubeEdgeOfSquareEdge(const std::array<int, 4>& face, int squareEdge) {
    static constexpr std::array<std::pair<int, int>, 5> kEnds = {{{0, 0}, {0, 1}, {1, 2}, {3, 2}, {0, 3}}};
    const auto [a, b] = kEnds[static_cast<size_t>(squareEdge)];
    return EdgeBetween(face[static_cast<size_t>(a)], face[static_cast<size_t>(b)]);
}

Side Sorted(Side s) { return s.first < s.second ? s : Side{s.second, s.first}; }

std::multiset<Side> ExpectedFaceSegments(int caseIndex, const std::array<int, 4>& face) {
    int squareCase = 0;
    for (int i = 0; i < 4; ++i)
        if (Above(caseIndex, face[static_cast<size_t>(i)])) squareCase += 1 << i;
    std::multiset<Side> segments;
    for (const Side& s : kSquareSegments[static_cast<size_t>(squareCase)])
        segments.insert(Sorted({CubeEdgeOfSquareEdge(face, s.first), CubeEdgeOfSquareEdge(face, s.second)}));
    return segments;
}

// Position 0..3 of a corner on the face, or -1.
int PlaceOnFace(const std::array<int, 4>& face, int corner) {
    for (int i = 0; i < 4; ++i)
        if (face[static_cast<size_t>(i)] == corner) return i;
    return -1;
}

bool EdgeOnFace(int edge, const std::array<int, 4>& face) {
    return PlaceOnFace(face, EdgeAt(edge).from) >= 0 && PlaceOnFace(face, EdgeAt(edge).to) >= 0;
}

// Index of the face holding both edges of a side, or -1 when the side runs
// through the inside of the cube.
int FaceOfSide(const Side& s) {
    for (int f = 0; f < 6; ++f)
        if (EdgeOnFace(s.first, kFaces[static_cast<size_t>(f)]) && EdgeOnFace(s.second, kFaces[static_cast<size_t>(f)]))
            return f;
    return -1;
}

Vec3 CornerPosition(int corner) {
    const auto& c = kCubeCorners[static_cast<size_t>(corner)];
    return {double(c[0]), double(c[1]), double(c[2])};
}

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The point on an edge at fraction 0.5, as the extraction places it.
Vec3 EdgePoint(int edge) {
    const Vec3 a = CornerPosition(EdgeAt(edge).from), b = CornerPosition(EdgeAt(edge).to);
    return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

// Direction along an edge from its corner above the level to the one below.
Vec3 AboveToBelow(int caseIndex, int edge) {
    const Vec3 from = CornerPosition(EdgeAt(edge).from), to = CornerPosition(EdgeAt(edge).to);
    return Above(caseIndex, EdgeAt(edge).from) ? Sub(to, from) : Sub(from, to);
}

// ---------------------------------------------------------------- table rows

std::vector<int> ListedEdges(const CaseTable& t, int caseIndex) {
    const auto& row = t.caseEdges[static_cast<size_t>(caseIndex)];
    return std::vector<int>(row.begin() + 1, row.begin() + 1 + row[0]);
}

std::vector<Triangle> CaseTriangleList(const CaseTable& t, int caseIndex) {
    const auto& row = t.caseTriangles[static_cast<size_t>(caseIndex)];
    std::vector<Triangle> triangles;
    for (size_t j = 0; j < static_cast<size_t>(row[0]); ++j)
        triangles.push_back({row[3 * j + 1], row[3 * j + 2], row[3 * j + 3]});
    return triangles;
}

std::vector<Side> DirectedSides(const CaseTable& t, int caseIndex) {
    std::vector<Side> sides;
    for (const Triangle& tri : CaseTriangleList(t, caseIndex))
        for (size_t k = 0; k < 3; ++k) sides.push_back({tri[k], tri[(k + 1) % 3]});
    return sides;
}

// Directed sides of a case lying on one face, as pairs of face-local edges
// (each edge named by the sorted face positions of its two corners).
using LocalEdge = std::pair<int, int>;
std::set<std::pair<LocalEdge, LocalEdge>> LocalFaceSides(const CaseTable& t, int caseIndex, int f) {
    const auto& face = kFaces[static_cast<size_t>(f)];
    auto local = [&](int edge) {
        return LocalEdge(Sorted({PlaceOnFace(face, EdgeAt(edge).from), PlaceOnFace(face, EdgeAt(edge).to)}));
    };
    std::set<std::pair<LocalEdge, LocalEdge>> sides;
    for (const Side& s : DirectedSides(t, caseIndex))
        if (FaceOfSide(s) == f) sides.insert({local(s.first), local(s.second)});
    return sides;
}

// ---------------------------------------------------------------- generated table

TEST(GeneratedCellTable, EdgeListsHoldExactlyTheCutEdges) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        std::vector<int> listed = ListedEdges(t, c);
        std::sort(listed.begin(), listed.end());
        std::vector<int> cut;
        for (int e = 1; e <= 12; ++e)
            if (IsCut(c, e)) cut.push_back(e);
        EXPECT_EQ(listed, cut) << "case " << c;
    }
}

TEST(GeneratedCellTable, CornerAndEdgeNumberingFollowsTheCubeConventions) {
    const CaseTable& t = GeneratedTable();
    // One corner above at a time: the three edges meeting at that corner.
    EXPECT_EQ(ListedEdges(t, 1), (std::vector<int>{1, 4, 9}));
    EXPECT_EQ(ListedEdges(t, 4), (std::vector<int>{2, 3, 12}));
    EXPECT_EQ(ListedEdges(t, 8), (std::vector<int>{3, 4, 11}));
    EXPECT_EQ(ListedEdges(t, 64), (std::vector<int>{6, 7, 12}));
    // Edge 11 is the vertical edge at (x 0, y 1), edge 12 the one at (x 1, y 1).
    EXPECT_EQ(EdgePoint(11), (Vec3{0.0, 1.0, 0.5}));
    EXPECT_EQ(EdgePoint(12), (Vec3{1.0, 1.0, 0.5}));
}

TEST(GeneratedCellTable, TrianglesUseOnlyListedEdges) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        const std::vector<int> listed = ListedEdges(t, c);
        for (const Triangle& tri : CaseTriangleList(t, c))
            for (int e : tri)
                EXPECT_NE(std::find(listed.begin(), listed.end(), e), listed.end()) << "case " << c << " edge " << e;
    }
}

TEST(GeneratedCellTable, OnlyCasesWithCutEdgesHaveTriangles) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        const bool hasCut = !ListedEdges(t, c).empty();
        EXPECT_EQ(hasCut, !CaseTriangleList(t, c).empty()) << "case " << c;
    }
}

TEST(GeneratedCellTable, InsideSidesJoinTwoTrianglesOfOppositeWinding) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        std::map<Side, int> uses;
        for (const Side& s : DirectedSides(t, c))
            if (FaceOfSide(s) < 0) ++uses[s];
        for (const auto& [side, count] : uses) {
            EXPECT_EQ(count, 1) << "case " << c << " side " << side.first << "-" << side.second;
            EXPECT_EQ(uses.count({side.second, side.first}), 1u)
                << "case " << c << " side " << side.first << "-" << side.second << " is open";
        }
    }
}

TEST(GeneratedCellTable, FaceSidesAreTheContourMapSegments) {
    const CaseTable& t = GeneratedTable();
    for (int c = 0; c < 256; ++c) {
        std::array<std::multiset<Side>, 6> onFace;
        for (const Side& s : DirectedSides(t, c)) {
            const int f = FaceOfSide(s);
            if (f >= 0) onFace[static_cast<size_t>(f)].insert(Sorted(s));
        }
        for (size_t f = 0; f < 6; ++f)
            EXPECT_EQ(onFace[f], ExpectedFaceSegments(c, kFaces[f])) << "case " << c << " face " << f;
    }
}

TEST(GeneratedCellTable, NeighbourCubesMeetOnTheSharedFace) {
    const CaseTable& t = GeneratedTable();
    int comparedPairs = 0;
    for (int low = 0; low < 6; low += 2) {
        const auto& lowFace = kFaces[static_cast<size_t>(low)];
        const auto& highFace = kFaces[static_cast<size_t>(low + 1)];
        for (int below = 0; below < 256; ++below) {
            // The cube below (lower coordinate) meets the next one with its high face.
            const auto sidesBelow = LocalFaceSides(t, below, low + 1);
            for (int above = 0; above < 256; ++above) {
                bool agree = true;
                for (size_t i = 0; i < 4; ++i) agree = agree && Above(below, highFace[i]) == Above(above, lowFace[i]);
                if (!agree) continue;
                ++comparedPairs;
                // A closed, consistently wound surface crosses the face in opposite directions.
                std::set<std::pair<LocalEdge, LocalEdge>> reversed;
                for (const auto& [a, b] : LocalFaceSides(t, above, low)) reversed.insert({b, a});
                ASSERT_EQ(sidesBelow, reversed) << "cases " << below << " and " << above << " across face " << low;
            }
        }
    }
    EXPECT_EQ(comparedPairs, 3 * 256 * 16);
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
            for (int e : tri) lean += Dot(normal, AboveToBelow(c, e));
            EXPECT_GT(lean, 0.0) << "case " << c << " triangle " << tri[0] << " " << tri[1] << " " << tri[2];
        }
    }
}

// ---------------------------------------------------------------- parsing

const std::string kFakePath = "/x/cell_table.dat";
constexpr size_t kRecordLength = 54;

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::string current;
    for (char ch : text) {
        const bool separator = ch == ',' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
        if (!separator) current += ch;
        if (separator && !current.empty()) tokens.push_back(std::exchange(current, {}));
    }
    if (!current.empty()) tokens.push_back(current);
    return tokens;
}

std::string Join(const std::vector<std::string>& tokens, const std::string& separator) {
    std::string text;
    for (size_t k = 0; k < tokens.size(); ++k) text += (k ? separator : "") + tokens[k];
    return text;
}

class CellTableParsing : public ::testing::Test {
protected:
    void SetUp() override {
        tokens_ = Tokens(GeneratedText());
        ASSERT_EQ(tokens_.size(), 256 * kRecordLength);
    }
    // Token index of element `k` of a case's record (0..53).
    static size_t At(size_t caseIndex, size_t k) { return caseIndex * kRecordLength + k; }
    std::string withToken(size_t index, const std::string& value) const {
        std::vector<std::string> changed = tokens_;
        changed[index] = value;
        return Join(changed, ", ");
    }
    std::string stopFor(const std::string& text) const {
        return StopMessage([&] { ParseCellTable(text, kFakePath); });
    }
    std::vector<std::string> tokens_;
};

void ExpectSameTables(const CaseTable& a, const CaseTable& b) {
    EXPECT_EQ(a.caseEdges, b.caseEdges);
    EXPECT_EQ(a.caseTriangles, b.caseTriangles);
}

TEST_F(CellTableParsing, LineStructureIsFree) {
    ExpectSameTables(ParseCellTable(Join(tokens_, ","), kFakePath), GeneratedTable());
    ExpectSameTables(ParseCellTable(Join(tokens_, " \t,\r\n"), kFakePath), GeneratedTable());
    ExpectSameTables(ParseCellTable("\r\n  " + Join(tokens_, "\r") + "\n\n", kFakePath), GeneratedTable());
}

TEST_F(CellTableParsing, RowsAreStoredInReadingOrder) {
    // Case 1 from hand-made text: the 9 leading values are skipped, then 13 + 31.
    std::vector<std::string> changed = tokens_;
    const std::vector<std::string> record = {"7", "7", "7", "7", "7", "7", "7", "7", "7",
                                             "3", "9", "4", "1", "0", "0", "0", "0", "0", "0", "0", "0", "5",
                                             "1", "9", "1", "4"};
    std::copy(record.begin(), record.end(), changed.begin() + static_cast<long>(At(1, 0)));
    const CaseTable t = ParseCellTable(Join(changed, ", "), kFakePath);
    EXPECT_EQ(ListedEdges(t, 1), (std::vector<int>{9, 4, 1}));
    EXPECT_EQ(t.caseEdges[1][12], 5);
    EXPECT_EQ(CaseTriangleList(t, 1), (std::vector<Triangle>{{9, 1, 4}}));
}

TEST_F(CellTableParsing, TextAfterTheLastRecordIsIgnored) {
    ExpectSameTables(ParseCellTable(Join(tokens_, ", ") + "\nnot a number, 99999, -98\n", kFakePath),
                     GeneratedTable());
}

TEST_F(CellTableParsing, WrongTerminatorStopsSilently) {
    for (size_t c : {size_t{0}, size_t{100}, size_t{255}}) {
        bool silent = false;
        try {
            ParseCellTable(withToken(At(c, 53), "-98"), kFakePath);
        } catch (const ProgramStop& stop) {
            silent = stop.silent();
        }
        EXPECT_TRUE(silent) << "case " << c;
    }
}

TEST_F(CellTableParsing, SixteenBitLimitsAreAccepted) {
    std::vector<std::string> changed = tokens_;
    changed[At(5, 0)] = "32767";
    changed[At(5, 1)] = "-32768";
    changed[At(5, 2)] = "+12";
    ExpectSameTables(ParseCellTable(Join(changed, ", "), kFakePath), GeneratedTable());
}

TEST_F(CellTableParsing, BadValuesStopWithFileAndCase) {
    for (const std::string bad : {"abc", "1.5", "7x", "-", "+-3", "40000", "-32769", "123456789012345678901234"}) {
        const std::string message = stopFor(withToken(At(17, 30), bad));
        EXPECT_NE(message.find(kFakePath), std::string::npos) << bad << ": " << message;
        EXPECT_NE(message.find("(case 17)"), std::string::npos) << bad << ": " << message;
    }
    EXPECT_NE(stopFor(withToken(At(17, 30), "40000")).find("40000"), std::string::npos);
}

TEST_F(CellTableParsing, EarlyEndStopsWithFileAndCase) {
    const std::vector<std::string> shortened(tokens_.begin(), tokens_.begin() + static_cast<long>(At(17, 20)));
    const std::string message = stopFor(Join(shortened, ", "));
    EXPECT_EQ(message, "The marching-cubes table " + kFakePath + " ends early (case 17).");
    EXPECT_NE(stopFor("").find("(case 0)"), std::string::npos);
    // The last terminator missing is an early end too, not a wrong terminator.
    const std::vector<std::string> noTerminator(tokens_.begin(), tokens_.end() - 1);
    EXPECT_NE(stopFor(Join(noTerminator, ", ")).find("ends early (case 255)"), std::string::npos);
}

TEST_F(CellTableParsing, TriangleCornersMustNameAnEdge) {
    // Case 1 lists 1 triangle (tokens 23..25): each corner must be an edge 1..12.
    for (const size_t k : {size_t{23}, size_t{25}}) {
        for (const std::string bad : {"13", "0", "-1"}) {
            const std::string message = stopFor(withToken(At(1, k), bad));
            EXPECT_NE(message.find(kFakePath), std::string::npos) << k << ": " << message;
            EXPECT_NE(message.find("(case 1)"), std::string::npos) << k << ": " << message;
        }
    }
    // An edge list number outside 1..12 is skipped by the extraction, not refused.
    EXPECT_NO_THROW(ParseCellTable(withToken(At(1, 10), "13"), kFakePath));
    // Values after the counted ones are never used.
    EXPECT_NO_THROW(ParseCellTable(withToken(At(1, 13), "13"), kFakePath));
    EXPECT_NO_THROW(ParseCellTable(withToken(At(1, 26), "-500"), kFakePath));
}

TEST_F(CellTableParsing, AWrongTerminatorLaterStillEndsSilently) {
    // A bad row in case 1 and a wrong terminator in case 200: the file is corrupt,
    // and the program ends without a message before any row is judged.
    std::vector<std::string> corrupt = tokens_;
    corrupt[At(1, 23)] = "13";
    corrupt[At(200, 53)] = "-98";
    EXPECT_EQ(stopFor(Join(corrupt, ", ")), "");
}

TEST_F(CellTableParsing, CountsMustFitTheirRows) {
    EXPECT_NE(stopFor(withToken(At(9, 9), "13")).find(kFakePath), std::string::npos);
    EXPECT_NE(stopFor(withToken(At(9, 22), "11")).find(kFakePath), std::string::npos);
    EXPECT_NE(stopFor(withToken(At(9, 22), "-1")).find(kFakePath), std::string::npos);
    // Full rows are fine: 12 edges and 10 triangles.
    std::vector<std::string> full = tokens_;
    full[At(9, 9)] = "12";
    full[At(9, 22)] = "10";
    for (size_t k = 23; k < 53; ++k) full[At(9, k)] = "1";
    EXPECT_NO_THROW(ParseCellTable(Join(full, ", "), kFakePath));
}

TEST(CellTableLoading, MissingFileStopsWithItsName) {
    const std::string path = TIVAREL_BIN_DIR "/no_such_dir/cell_table.dat";
    const std::string message = StopMessage([&] { LoadCellTable(path); });
    EXPECT_NE(message.find(path), std::string::npos) << message;
}

}  // namespace
}  // namespace tivarel
