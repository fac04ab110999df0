#pragma once
// Reads CCP4/MRC maps (modes 0, 1, 2 and 6, any axis order) with gemmi.
#include <string>
#include <string_view>

#include "import/map_density.h"

namespace tivarel {

// The map in the file's bytes, with the data put in x, y, z order. A map that fills
// its cell (itself or through the symmetry of its space group) becomes the whole
// cell; any other map keeps its own box. Throws InputError naming `path`.
MapDensity ParseCcp4Map(std::string_view bytes, const std::string& path);

}  // namespace tivarel
