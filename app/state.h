#pragma once
// Program state and layer settings: plain values shared by the window, the
// scene drawing and the exports. No Qt, no GL.
#include <array>
#include <cstdint>
#include <string>

namespace tivarel {

struct ProgramState {
    std::string stereoMode = "Nothing";
    std::string mapFileName;
    bool isQuitting = false;
    uint8_t listValid = 0;
    float extentX = 1.0f, extentY = 1.0f;
    std::array<float, 3> backgroundRGB{};   // 0..255 each
    bool showAtoms = true;
    bool showCell = false;
    bool showMarker = false;
    std::string pickMode = "3D";
    int16_t meshStyle = 1;                  // 1 = web grid, 2 = triangle grid
};

using Rgb = std::array<float, 3>;

// Settings of the three layers, numbered 1..3 through the accessors.
struct LayerSettings {
    std::array<float, 3> limits{};
    std::array<bool, 3> used{};
    std::array<Rgb, 3> meshColours{};
    std::array<Rgb, 3> contourColours{};
    int16_t zSection = 1;
    bool showContourMap = true;

    float& layerLimit(int layer) { return limits[static_cast<size_t>(layer - 1)]; }
    float layerLimit(int layer) const { return limits[static_cast<size_t>(layer - 1)]; }
    bool& layerUsed(int layer) { return used[static_cast<size_t>(layer - 1)]; }
    bool layerUsed(int layer) const { return used[static_cast<size_t>(layer - 1)]; }
    const Rgb& meshColour(int layer) const { return meshColours[static_cast<size_t>(layer - 1)]; }
    const Rgb& contourColour(int layer) const { return contourColours[static_cast<size_t>(layer - 1)]; }
};

}  // namespace tivarel
