#pragma once
// The scene display list: everything drawn in one frame, recorded once into
// list 1 and replayed until something in the scene changes.
#include <cstdint>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel::render {

struct Scene {
    const ProgramState& state;
    const LayerSettings& layers;
    const TriangleStore& triangles;
    const SegmentStore& segments;
    const DensityMap& map;
    const BondList& bonds;
    const Vec3f* peaks;     // the peak list's first `peakCount` rows
    int peakCount;
    const Vec3f& pickPoint;
};

// Replays list 1, or records it anew (compile and execute) when listValid is 0.
void DrawScene(const Scene& scene, uint8_t& listValid);
// How often list 1 has been recorded during this run.
int ListCompileCount();

void SpiderGrid(const Scene& scene);
void TriangleGrid(const Scene& scene);
void DrawCell(const DensityMap& map);
// The contour segments of the three layers and the frame of the map in that plane.
void ContourMap(const Scene& scene);

// Solid boxes of the picked-point marker.
void DrawBox(double sx, double sy, double sz);
void DrawCenteredBox(double sx, double sy, double sz);
void DrawCube(double size);

// Mesh and bond lines are wider on interlaced stereo displays.
float LineWidthFor(const ProgramState& state);

}  // namespace tivarel::render
