#include "surface/march_squares.h"

namespace tivarel {

namespace {

// Corners V1..V4 as indices into Square::value.
enum Corner { kV1 = 0, kV2 = 1, kV3 = 2, kV4 = 3 };

// An edge runs along one axis from the corner the fraction is measured from;
// `far` says whether it lies on the far side (+d) of the other axis.
struct SquareEdge {
    Corner from, to;
    int axis;   // 0 = x, 1 = y
    bool far;
};

// Index 0 is unused so that edges keep their numbers 1..4.
constexpr std::array<SquareEdge, 5> kSquareEdges = {{
    {kV1, kV1, 0, false},
    {kV1, kV2, 0, false},   // 1: bottom
    {kV2, kV3, 1, true},    // 2: right
    {kV4, kV3, 0, true},    // 3: top
    {kV1, kV4, 1, false},   // 4: left
}};

// Segments of each case as (edge of end 1, edge of end 2). The saddles 5 and 10
// cut the two corners above the level off from each other.
struct SquareCase {
    int count;
    int edges[2][2];
};
constexpr std::array<SquareCase, 16> kSquareCases = {{
    {0, {}},                    // 0: none above
    {1, {{1, 4}}},              // 1: V1
    {1, {{1, 2}}},              // 2: V2
    {1, {{4, 2}}},              // 3: V1 V2
    {1, {{2, 3}}},              // 4: V3
    {2, {{1, 4}, {2, 3}}},      // 5: V1 V3
    {1, {{1, 3}}},              // 6: V2 V3
    {1, {{4, 3}}},              // 7: V1 V2 V3
    {1, {{4, 3}}},              // 8: V4
    {1, {{1, 3}}},              // 9: V1 V4
    {2, {{1, 2}, {3, 4}}},      // 10: V2 V4
    {1, {{2, 3}}},              // 11: V1 V2 V4
    {1, {{2, 4}}},              // 12: V3 V4
    {1, {{1, 2}}},              // 13: V1 V3 V4
    {1, {{1, 4}}},              // 14: V2 V3 V4
    {0, {}},                    // 15: all above
}};

Square LoadSquare(const GridParams& g, const DensityGrid& grid, int a, int b, int z, float zp) {
    Square square;
    square.ox = GridPointCoordinate(g, 1, a);
    square.oy = GridPointCoordinate(g, 2, b);
    square.zp = zp;
    square.dx = g.dx();
    square.dy = g.dy();
    square.value = {grid(a, b, z), grid(a + 1, b, z), grid(a + 1, b + 1, z), grid(a, b + 1, z)};
    return square;
}

int SquareCaseIndex(const DensityGrid& grid, int a, int b, int z, float level) {
    return IsAbove(level, grid(a, b, z)) | IsAbove(level, grid(a + 1, b, z)) << 1 |
           IsAbove(level, grid(a + 1, b + 1, z)) << 2 | IsAbove(level, grid(a, b + 1, z)) << 3;
}

}  // namespace

Vec3 SquareEdgePoint(const Square& square, float level, int edge) {
    const SquareEdge& e = kSquareEdges[static_cast<size_t>(edge)];
    const float t = EdgeFraction(square.value[e.from], square.value[e.to], level);
    const float o[2] = {square.ox, square.oy}, d[2] = {square.dx, square.dy};
    float p[2];
    for (int axis = 0; axis < 2; ++axis) {
        if (axis == e.axis) p[axis] = o[axis] + t * d[axis];
        else p[axis] = e.far ? o[axis] + d[axis] : o[axis];
    }
    return {p[0], p[1], square.zp};
}

bool SquareSegments(int caseIndex, const Square& square, float level, int layer, SegmentStore& store) {
    const SquareCase& c = kSquareCases[static_cast<size_t>(caseIndex)];
    int32_t& count = store.count(layer);
    for (int s = 0; s < c.count; ++s) {
        if (count >= kMaxSegmentsPerLayer) return false;
        ++count;
        SegmentRecord& record = store.at(layer, count);
        record.end1 = SquareEdgePoint(square, level, c.edges[s][0]);
        record.end2 = SquareEdgePoint(square, level, c.edges[s][1]);
    }
    return true;
}

MarchSquaresResult MarchSquares(const GridParams& g, const DensityGrid& grid, float level,
                                int zSection, int layer, SegmentStore& store) {
    store.count(layer) = 0;
    MarchSquaresResult result;
    if (zSection < 1 || zSection > grid.nz()) return result;
    const float zp = GridPointCoordinate(g, 3, zSection);
    for (int a = 1; a <= grid.nx() - 1; ++a)
        for (int b = 1; b <= grid.ny() - 1; ++b) {
            const int caseIndex = SquareCaseIndex(grid, a, b, zSection, level);
            if (caseIndex == 0 || caseIndex == 15) continue;
            if (!SquareSegments(caseIndex, LoadSquare(g, grid, a, b, zSection, zp), level, layer, store)) {
                result.cutShort = true;
                return result;
            }
        }
    return result;
}

std::string SegmentLimitMessage(int layer) {
    const std::string limit = std::to_string(kMaxSegmentsPerLayer);
    return "The contour map of layer " + std::to_string(layer) + " needs more than " + limit +
           " segments; only the first " + limit + " are shown.";
}

}  // namespace tivarel
