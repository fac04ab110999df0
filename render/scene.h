#pragma once
// The scene: everything drawn in one frame. The lit solids (marker, peaks, atoms and
// bonds) are recorded into display list 1, the lines (meshes, contour map, cell) written
// into the scene's buffer object; both are kept and drawn again every frame until
// something in the scene changes.
#include <cstdint>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel::render {

class SceneBuffers;

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

// Draws the kept scene, or rebuilds it first when listValid is 0: list 1 is recorded
// (compile and execute) and the lines written to `buffers`. Without buffers (a context
// before GL 1.5) list 1 holds the lines too.
void DrawScene(const Scene& scene, SceneBuffers* buffers, uint8_t& listValid);
// How often the scene has been rebuilt during this run.
int ListCompileCount();

// Solid boxes of the picked-point marker.
void DrawBox(double sx, double sy, double sz);
void DrawCenteredBox(double sx, double sy, double sz);
void DrawCube(double size);

// Mesh and bond lines are wider on interlaced stereo displays.
float LineWidthFor(StereoMode stereoMode);

}  // namespace tivarel::render
