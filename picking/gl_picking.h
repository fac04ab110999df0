#pragma once
// Picking by OpenGL selection through a 1 x 1 pixel pick window: a position in
// the contour plane (a grid of named squares) or inside the one used surface
// (the two triangles where the line of sight enters and leaves it).
#include <array>
#include <cstdint>
#include <vector>

#include "mapio/map_model.h"
#include "surface/march_cubes.h"
#include "render/gl.h"
#include "view/trackball.h"

namespace tivarel::picking {

// What the central eye sees: the projection extents and the view state.
struct PickCamera {
    float extentX, extentY;
    const ViewState& view;
};

// Centres of the named squares: index k holds square k's centre (x, y); index 0 stays (0, 0).
using CellCentres = std::vector<std::array<float, 2>>;

constexpr int kPickGridSquares = 100;
constexpr int kMaxPickSquares = 101 * 101;
constexpr GLsizei kSelectBufferSize = 30000;

// Squares over [xmin, xmax] x [ymin, ymax] at height z, named 1, 2, ... (x outer,
// y inner), with float32 stepping, at most n + 1 along each axis; fills `table`.
void DrawPickGrid(float xmin, float xmax, float ymin, float ymax, float z, int n, CellCentres& table);
// One selection pass over the pick grid; returns glRenderMode's hit count.
int Select2D(float X, float Y, float xmin, float xmax, float ymin, float ymax, float z,
             const PickCamera& camera, Vec3& point);
// A position in the plane: true for 1 to 4 hits (the smallest name wins).
bool Pick2D(float X, float Y, float xmin, float xmax, float ymin, float ymax, float z,
            const PickCamera& camera, Vec3& point);

enum class Pick3DResult { Found, NoPick, NotOneLayer };

void DrawPickTriangles(const TriangleStore& store, int layer);
// One selection pass over layer L; returns the hit count and, for two hits, their names.
int Select3D(float X, float Y, const TriangleStore& store, int layer, const PickCamera& camera,
             std::array<int32_t, 2>& names);
// A position inside the one used layer's surface: the midpoint of the centroids of
// exactly two hit triangles.
Pick3DResult Pick3D(float X, float Y, const TriangleStore& store, const std::array<bool, 3>& layerUsed,
                    const PickCamera& camera, Vec3& point);

}  // namespace tivarel::picking
