#pragma once
// Isosurface extraction of one layer by marching cubes into the shared triangle store.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mapio/map_model.h"
#include "surface/cell_table.h"
#include "surface/layer_store.h"

namespace tivarel {

struct TriangleRecord {
    std::array<Vec3, 3> point{};
};

constexpr int32_t kMaxTrianglesPerLayer = 400000;

// Triangles of the three layers, allocated once for the whole run.
using TriangleStore = LayerStore<TriangleRecord, kMaxTrianglesPerLayer>;

// Progress of a long extraction: a caption and a 0..100 value.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void showProgress(const std::string& caption) = 0;
    virtual void setProgress(int percent) = 0;
    virtual void hideProgress() = 0;
    // Hides the progress at once: the work is over, or a message must be seen.
    virtual void closeProgress() { hideProgress(); }
};

// (a - level) / (a - b), the interpolation fraction from corner a.
inline float EdgeFraction(float a, float b, float level) {
    return static_cast<float>((a - level) / (a - b));
}
// 1 when value lies strictly above level, else 0 (also for unordered values).
inline int IsAbove(float level, float value) { return value > level ? 1 : 0; }

// How many threads extract a layer: 0 uses every core (one on small grids).
struct MarchOptions {
    int threads = 0;
};

// Rebuilds layer L (1..3): resets its count and appends its triangles in cube
// order (x outermost, z innermost). More than 400 000 triangles throws InputError.
// The grid is cut into slabs along x that worker threads extract side by side;
// the store holds the same triangles in the same order for any thread count.
// The progress sink is only called from the calling thread.
void MarchLayer(const GridParams& g, const DensityGrid& grid, float level, int layer,
                TriangleStore& store, const CaseTable& table, ProgressSink* progress,
                MarchOptions options = {});

// How many triangles MarchLayer would store at `level`, beyond its limit too; nothing is
// stored (one thread).
int64_t CountTriangles(const GridParams& g, const DensityGrid& grid, float level, const CaseTable& table);

}  // namespace tivarel

namespace tivarel {
// Centroid of a triangle, each coordinate (a + b + c) / 3 in single precision.
inline Vec3 TriangleCenter(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    return {(p0.x + p1.x + p2.x) / 3.0f, (p0.y + p1.y + p2.y) / 3.0f, (p0.z + p1.z + p2.z) / 3.0f};
}
}  // namespace tivarel
