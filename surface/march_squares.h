#pragma once
// Contour lines of one grid plane of constant z by marching squares, into the
// shared segment store of the three layers.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mapio/map_model.h"
#include "surface/march_cubes.h"   // Vec3, kLayerCount, EdgeFraction, IsAbove

namespace tivarel {

constexpr int32_t kMaxSegmentsPerLayer = 100000;

// One contour segment: end 1 lies on the first edge its case lists, end 2 on the second.
struct SegmentRecord {
    Vec3 end1, end2;
    friend bool operator==(const SegmentRecord&, const SegmentRecord&) = default;
};

// Segments of the three layers, allocated once for the whole run.
using SegmentStore = LayerStore<SegmentRecord, kMaxSegmentsPerLayer>;

// One grid square of the plane: origin corner V1, steps, plane height and the
// corner values V1..V4 (value[0..3]).
//
//   V4 ---3--- V3      y
//    |          |      ^
//    4          2      |
//    |          |      +--> x
//   V1 ---1--- V2
struct Square {
    float ox = 0.0f, oy = 0.0f, zp = 0.0f;
    float dx = 0.0f, dy = 0.0f;
    std::array<float, 4> value{};
};

struct MarchSquaresResult {
    bool cutShort = false;   // the layer needed more than kMaxSegmentsPerLayer segments
};

// Rebuilds layer L (1..3) from the plane c = zSection: resets its count and appends
// the segments square by square (x outermost, y inner). A layer that would need more
// than 100 000 segments keeps the first 100 000 and reports it in the result; the
// caller shows SegmentLimitMessage. A zSection outside 1..nz draws nothing.
[[nodiscard]] MarchSquaresResult MarchSquares(const GridParams& g, const DensityGrid& grid, float level,
                                              int zSection, int layer, SegmentStore& store);

// Appends the segments of one square of the given case (1..14) in table order.
// Returns false when the layer was full and a segment had to be dropped.
bool SquareSegments(int caseIndex, const Square& square, float level, int layer, SegmentStore& store);

// The point (x, y, zp) where the level cuts edge 1..4 of the square.
Vec3 SquareEdgePoint(const Square& square, float level, int edge);

// What the user is told once when a layer's contour map was cut short.
std::string SegmentLimitMessage(int layer);

}  // namespace tivarel
