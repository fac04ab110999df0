#pragma once
// The command text: an optional stereo switch, one separator character, the map path.
#include <string>

#include "view/modes.h"

namespace tivarel {

struct CommandLine {
    StereoMode stereoMode = StereoMode::None;
    std::string mapPath;   // empty: the map is chosen in a dialog
};

// Takes "-StereoHW" and then "-StereoInterlaced" (each with the one character after it,
// whatever it is) off the front of the text, compared exactly; both may match, the last
// one wins. What is left is the map path, verbatim.
CommandLine ParseCommandLine(const std::string& text);

}  // namespace tivarel
