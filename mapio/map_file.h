#pragma once
// Map files by name: the format a file name stands for, and the reading of a map file
// with the reader of its format.
#include <string>

#include "mapio/map_model.h"

namespace tivarel {

enum class MapFormat { Mt1, Fou, Grd, Unknown };

// The format of a file name by its last three characters, compared exactly.
MapFormat FormatOfName(const std::string& fileName);
// The last three characters (the whole name when shorter).
std::string ExtensionOf(const std::string& fileName);

// Reads the map with the reader its name chooses. Faults of the file, and a name of no
// known format, throw InputError with the program's message.
DensityMap ReadMapFile(const std::string& path);

// For a file that tivarel-import converts (a CCP4/MRC map, reflections, gzipped or not):
// one line naming the command that makes a map of it. Empty for any other name.
std::string ImportHint(const std::string& fileName);

}  // namespace tivarel
