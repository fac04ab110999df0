// Generates cell_table.dat, the marching-cubes case table, from the cube
// conventions in surface/cell_table.h. Usage: make_cell_table OUTPUT_PATH
//
// For each case the surface inside the cube is built from its boundary:
//  1. On each of the six faces the cut edges are joined by marching-squares
//     segments. On a face whose two above corners sit diagonally, each above
//     corner is cut off on its own, so above corners stay apart (the same
//     saddle rule as the 2-D contour map). Neighbouring cubes apply the same
//     rule to the face they share, so the surface is watertight.
//  2. Every cut edge lies on two faces and thus ends exactly two segments; the
//     segments form closed cycles.
//  3. Each segment is directed so that the cycle runs counter-clockwise seen
//     from the below side: the right-hand normal of every triangle points from
//     the corners above the level towards those below (towards lower density).
//  4. Each cycle is triangulated as a fan from a vertex that shares no face
//     with the non-adjacent vertices, so no fan diagonal lies flat on a face.
//
// Record layout, one case per line, values separated by ", ":
//   case, 8 corner states (read and ignored by the program),
//   n, n cut edges ascending, zero padding to 13 values,
//   m, 3m triangle edges, zero padding to 31 values,
//   -99.
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "surface/cell_table.h"

namespace {

using tivarel::kCubeCorners;
using tivarel::kCubeEdges;

constexpr int kEdgeCount = 12;
constexpr int kEdgeRowWidth = 13;
constexpr int kTriangleRowWidth = 31;
constexpr int kMaxTriangles = 10;
constexpr int kTerminator = -99;

using Vec3 = std::array<double, 3>;

struct Face {
    int axis;    // 0 = x, 1 = y, 2 = z
    int offset;  // 0 or 1: the face lies at that offset along axis
};

struct Segment {
    int from, to;  // cube edges 1..12, directed
};

void Require(bool condition, const std::string& what) {
    if (!condition) throw std::logic_error(what);
}

bool IsAbove(int caseIndex, int corner) { return ((caseIndex >> corner) & 1) != 0; }

bool IsCut(int caseIndex, int edge) {
    const auto& e = kCubeEdges[static_cast<size_t>(edge)];
    return IsAbove(caseIndex, e.from) != IsAbove(caseIndex, e.to);
}

std::array<Face, 6> AllFaces() {
    return {{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}};
}

bool CornerOnFace(int corner, const Face& f) {
    return kCubeCorners[static_cast<size_t>(corner)][static_cast<size_t>(f.axis)] == f.offset;
}

bool EdgeOnFace(int edge, const Face& f) {
    const auto& e = kCubeEdges[static_cast<size_t>(edge)];
    return CornerOnFace(e.from, f) && CornerOnFace(e.to, f);
}

bool EdgesShareFace(int a, int b) {
    for (const Face& f : AllFaces())
        if (EdgeOnFace(a, f) && EdgeOnFace(b, f)) return true;
    return false;
}

bool EdgeTouchesCorner(int edge, int corner) {
    const auto& e = kCubeEdges[static_cast<size_t>(edge)];
    return e.from == corner || e.to == corner;
}

Vec3 CornerPosition(int corner) {
    const auto& c = kCubeCorners[static_cast<size_t>(corner)];
    return {double(c[0]), double(c[1]), double(c[2])};
}

// Midpoint of an edge: the direction of a segment does not depend on where
// along the edges its ends lie, so the midpoint stands for any fraction.
Vec3 EdgeMidpoint(int edge) {
    const auto& e = kCubeEdges[static_cast<size_t>(edge)];
    Vec3 a = CornerPosition(e.from), b = CornerPosition(e.to);
    return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 OutwardNormal(const Face& f) {
    Vec3 n{0, 0, 0};
    n[static_cast<size_t>(f.axis)] = f.offset == 1 ? 1.0 : -1.0;
    return n;
}

std::vector<int> FaceCorners(const Face& f) {
    std::vector<int> corners;
    for (int c = 0; c < 8; ++c)
        if (CornerOnFace(c, f)) corners.push_back(c);
    return corners;
}

std::vector<int> FaceEdges(const Face& f) {
    std::vector<int> edges;
    for (int e = 1; e <= kEdgeCount; ++e)
        if (EdgeOnFace(e, f)) edges.push_back(e);
    return edges;
}

// The two face edges that meet at a corner of the face.
Segment CornerCutoff(const Face& f, int corner) {
    std::vector<int> around;
    for (int e : FaceEdges(f))
        if (EdgeTouchesCorner(e, corner)) around.push_back(e);
    Require(around.size() == 2, "a face corner must touch two face edges");
    return {around[0], around[1]};
}

// Two above corners of a face that no face edge joins sit diagonally.
bool IsDiagonalPair(const Face& f, int a, int b) {
    for (int e : FaceEdges(f))
        if (EdgeTouchesCorner(e, a) && EdgeTouchesCorner(e, b)) return false;
    return true;
}

// Undirected marching-squares segments of one face.
std::vector<Segment> FaceSegments(int caseIndex, const Face& f) {
    std::vector<int> above;
    for (int c : FaceCorners(f))
        if (IsAbove(caseIndex, c)) above.push_back(c);
    if (above.size() == 2 && IsDiagonalPair(f, above[0], above[1]))
        return {CornerCutoff(f, above[0]), CornerCutoff(f, above[1])};
    std::vector<int> cut;
    for (int e : FaceEdges(f))
        if (IsCut(caseIndex, e)) cut.push_back(e);
    if (cut.empty()) return {};
    Require(cut.size() == 2, "a face without a saddle has two cut edges");
    return {{cut[0], cut[1]}};
}

int AboveCorner(int caseIndex, int edge) {
    const auto& e = kCubeEdges[static_cast<size_t>(edge)];
    return IsAbove(caseIndex, e.from) ? e.from : e.to;
}

// Directs a segment so that, with the face's outward normal N and direction d,
// the above side lies on the -(N x d) side. Along the cycle this makes the
// boundary run counter-clockwise seen from the below side of the surface.
Segment Directed(int caseIndex, const Face& f, Segment s) {
    Vec3 p = EdgeMidpoint(s.from);
    Vec3 d = Sub(EdgeMidpoint(s.to), p);
    Vec3 toAbove = Sub(CornerPosition(AboveCorner(caseIndex, s.from)), p);
    if (Dot(toAbove, Cross(OutwardNormal(f), d)) > 0) std::swap(s.from, s.to);
    return s;
}

// Next cut edge along the boundary cycle, for each cut edge.
std::map<int, int> BoundaryLinks(int caseIndex) {
    std::map<int, int> next;
    std::map<int, int> incoming;
    for (const Face& f : AllFaces()) {
        for (Segment s : FaceSegments(caseIndex, f)) {
            s = Directed(caseIndex, f, s);
            Require(next.count(s.from) == 0, "a cut edge starts two segments");
            next[s.from] = s.to;
            ++incoming[s.to];
        }
    }
    for (const auto& [edge, count] : incoming) Require(count == 1, "a cut edge ends two segments");
    Require(next.size() == incoming.size(), "open boundary cycle");
    return next;
}

std::vector<std::vector<int>> BoundaryCycles(int caseIndex) {
    std::map<int, int> next = BoundaryLinks(caseIndex);
    std::vector<std::vector<int>> cycles;
    while (!next.empty()) {
        std::vector<int> cycle;
        for (int e = next.begin()->first; next.count(e) != 0;) {
            cycle.push_back(e);
            int following = next[e];
            next.erase(e);
            e = following;
        }
        Require(cycle.size() >= 3, "a boundary cycle needs three edges");
        cycles.push_back(cycle);
    }
    return cycles;
}

// True when a fan from cycle[apex] has no diagonal lying on a cube face.
bool FanApexFits(const std::vector<int>& cycle, size_t apex) {
    const size_t n = cycle.size();
    for (size_t k = 2; k + 1 < n; ++k)
        if (EdgesShareFace(cycle[apex], cycle[(apex + k) % n])) return false;
    return true;
}

void AppendFan(const std::vector<int>& cycle, std::vector<int>& triangles) {
    const size_t n = cycle.size();
    size_t apex = 0;
    while (apex < n && !FanApexFits(cycle, apex)) ++apex;
    Require(apex < n, "no fan apex keeps the diagonals off the faces");
    for (size_t k = 1; k + 1 < n; ++k) {
        triangles.push_back(cycle[apex]);
        triangles.push_back(cycle[(apex + k) % n]);
        triangles.push_back(cycle[(apex + k + 1) % n]);
    }
}

std::vector<int> EdgeRow(int caseIndex) {
    std::vector<int> row{0};
    for (int e = 1; e <= kEdgeCount; ++e)
        if (IsCut(caseIndex, e)) row.push_back(e);
    row[0] = static_cast<int>(row.size()) - 1;
    row.resize(kEdgeRowWidth, 0);
    return row;
}

std::vector<int> TriangleRow(int caseIndex) {
    std::vector<int> triangles;
    for (const auto& cycle : BoundaryCycles(caseIndex)) AppendFan(cycle, triangles);
    const int m = static_cast<int>(triangles.size()) / 3;
    Require(m <= kMaxTriangles, "case " + std::to_string(caseIndex) + " needs more than 10 triangles");
    std::vector<int> row{m};
    row.insert(row.end(), triangles.begin(), triangles.end());
    row.resize(kTriangleRowWidth, 0);
    return row;
}

std::string Record(int caseIndex) {
    std::vector<int> values{caseIndex};
    for (int c = 0; c < 8; ++c) values.push_back(IsAbove(caseIndex, c) ? 1 : 0);
    for (int v : EdgeRow(caseIndex)) values.push_back(v);
    for (int v : TriangleRow(caseIndex)) values.push_back(v);
    values.push_back(kTerminator);
    std::string line;
    for (size_t k = 0; k < values.size(); ++k) line += (k ? ", " : "") + std::to_string(values[k]);
    return line;
}

void WriteTable(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    Require(bool(out), "cannot create " + path);
    for (int caseIndex = 0; caseIndex < 256; ++caseIndex) out << Record(caseIndex) << '\n';
    out.close();
    Require(bool(out), "cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_cell_table OUTPUT_PATH\n");
        return 2;
    }
    try {
        WriteTable(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_cell_table: %s\n", e.what());
        return 1;
    }
    return 0;
}
