#pragma once
// Settings of the three layers: their contour levels, whether their surfaces are
// built and drawn, their colours, and the plane of the contour map.
#include <array>
#include <cstdint>

namespace tivarel {

using Rgb = std::array<float, 3>;

// Layers are numbered 1..3 through the accessors.
struct LayerSettings {
    std::array<float, 3> limits{};
    std::array<bool, 3> used{};
    std::array<Rgb, 3> meshColours{};
    std::array<Rgb, 3> contourColours{};
    int16_t zSection = 1;   // grid plane 1..nz of the contour map
    bool showContourMap = true;

    float& layerLimit(int layer) { return limits[static_cast<size_t>(layer - 1)]; }
    float layerLimit(int layer) const { return limits[static_cast<size_t>(layer - 1)]; }
    bool& layerUsed(int layer) { return used[static_cast<size_t>(layer - 1)]; }
    bool layerUsed(int layer) const { return used[static_cast<size_t>(layer - 1)]; }
    const Rgb& meshColour(int layer) const { return meshColours[static_cast<size_t>(layer - 1)]; }
    const Rgb& contourColour(int layer) const { return contourColours[static_cast<size_t>(layer - 1)]; }
};

}   // namespace tivarel
