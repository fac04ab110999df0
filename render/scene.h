#pragma once
// The scene: everything drawn in one frame. The lit solids (marker, peaks, atoms and
// bonds) are recorded into display list 1, the lines (meshes, contour map, cell) written
// into the scene's buffer object; both are kept and drawn again every frame until the
// scene's revision changes.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "render/scene_buffers.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel::render {

struct Scene {
    StereoMode stereoMode;
    const ProgramState& state;
    const LayerSettings& layers;
    const TriangleStore& triangles;
    const SegmentStore& segments;
    const DensityMap& map;
    const BondList& bonds;
    std::span<const Vec3> peaks;
    const Vec3& pickPoint;
};

// The scene as kept in the context: display list 1 and the lines' buffer object.
class SceneDrawing {
public:
    // For the current context; without buffer objects (a context before GL 1.5, or a
    // lookup that finds none) list 1 holds the lines too.
    explicit SceneDrawing(const GlFunctionLookup& lookup);
    // Draws the kept scene, or records it anew first when it was built for another
    // revision: list 1 is compiled and executed, the lines written to the buffer.
    void draw(const Scene& scene, uint64_t revision);
    // Frees the buffer; the context must be current. The list goes with the context.
    void release();

private:
    std::unique_ptr<SceneBuffers> buffers_;
    std::optional<uint64_t> builtRevision_;
};

// Solid boxes of the picked-point marker.
void DrawBox(double sx, double sy, double sz);
void DrawCenteredBox(double sx, double sy, double sz);
void DrawCube(double size);

// Mesh and bond lines are wider on interlaced stereo displays.
float LineWidthFor(StereoMode stereoMode);

}  // namespace tivarel::render
