#pragma once
// What the scene shows besides the map's own data: the map's name, the scene's switches,
// the mesh style and the picking mode. Plain values, read by the scene drawing and the
// exports; the session owns them.
#include <string>

#include "view/modes.h"

namespace tivarel {

struct ProgramState {
    std::string mapFileName;
    bool showAtoms = true;
    bool showCell = false;
    bool showMarker = false;
    PickMode pickMode = PickMode::Surface;
    MeshStyle meshStyle = MeshStyle::Web;
};

}   // namespace tivarel
