#pragma once
// What the program shows and how: the stereo mode, the map's name, the scene
// flags and the background. Plain values, shared by the windows, the scene
// drawing and the exports.
#include <array>
#include <cstdint>
#include <string>

namespace tivarel {

struct ProgramState {
    std::string stereoMode = "Nothing";   // "NoStereo", "StereoHW" or "StereoInterlaced" once parsed
    std::string mapFileName;
    bool isQuitting = false;
    uint8_t listValid = 0;                  // 1: the scene display list may be replayed
    float extentX = 1.0f, extentY = 1.0f;   // the window's longer side widens the view
    std::array<float, 3> backgroundRGB{};   // 0..255 each
    bool showAtoms = true;
    bool showCell = false;
    bool showMarker = false;
    std::string pickMode = "3D";   // which picking a right click runs: "3D" or "2D"
    int16_t meshStyle = 1;         // 1 = web grid, 2 = triangle grid
};

}   // namespace tivarel
