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

enum class MapFormat { Mt1, Fou, Grd, Unknown };

// The reader for a file name by its last three characters, compared exactly.
MapFormat FormatOfName(const std::string& fileName);
// The last three characters (the whole name when shorter).
std::string ExtensionOf(const std::string& fileName);

// For a file that tivarel-import converts (a CCP4/MRC map, reflections, gzipped or not):
// one line naming the command that makes a map of it. Empty for any other name.
std::string ImportHint(const std::string& fileName);

}  // namespace tivarel
