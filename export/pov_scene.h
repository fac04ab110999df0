#pragma once
// The scene as a POV-Ray file: two comment lines, the user's head file, then the
// shown scene in the grid frame as spheres and thin cylinders inside an outer union
// (mirror) and an inner one (the view's model-view matrix). Lines end with CR LF.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel {

// What the scene is made of; everything read-only and in the grid frame.
struct PovScene {
    const DensityMap& map;        // grid header (contour frame), cell corners, atoms
    const ProgramState& state;    // mapFileName, showAtoms, showCell, meshStyle
    const LayerSettings& layers;  // layerUsed, showContourMap, zSection
    std::span<const Bond> bonds;
    std::array<std::span<const TriangleRecord>, kLayerCount> triangles;   // layers 1..3
    std::array<std::span<const SegmentRecord>, kLayerCount> segments;        // layers 1..3
    std::array<float, 16> modelView{};   // the 3-D view's matrix in column order
};


// How much of the head file went into the scene.
enum class PovHead {
    Copied,      // every line before "//END OF FILE"
    Missing,     // no head file: the scene has no head
    NoEndLine,   // no "//END OF FILE" line: the whole file was copied
};

struct PovSceneResult {
    std::string text;
    PovHead head = PovHead::Copied;
};

// The scene file. headText is the head file's content, or nothing when it could
// not be read; either way the scene itself is complete.
PovSceneResult PovSceneText(const PovScene& scene, const std::optional<std::string>& headText);

}  // namespace tivarel
