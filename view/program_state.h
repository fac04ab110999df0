#pragma once
// What the program shows and how: the stereo mode, the map's name, the scene
// flags and the background. Plain values, shared by the windows, the scene
// drawing and the exports.
#include <array>
#include <cstdint>
#include <string>

#include "view/modes.h"

namespace tivarel {

struct ProgramState {
    StereoMode stereoMode = StereoMode::None;
    std::string mapFileName;
    bool isQuitting = false;
    uint8_t listValid = 0;                  // 1: the scene display list may be replayed
    float extentX = 1.0f, extentY = 1.0f;   // the window's longer side widens the view
    std::array<float, 3> backgroundRGB{};   // 0..255 each
    bool showAtoms = true;
    bool showCell = false;
    bool showMarker = false;
    PickMode pickMode = PickMode::Surface;
    MeshStyle meshStyle = MeshStyle::Web;
};

}   // namespace tivarel
