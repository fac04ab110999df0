#pragma once
// Reads CCP4/MRC maps (modes 0, 1, 2 and 6, any axis order) with gemmi.
#include <string>
#include <string_view>

#include "import/map_density.h"

namespace tivarel {

// Largest number of values the reader expands a map to (the whole cell of a map
// given as part of it); larger maps are refused before anything is allocated.
inline constexpr unsigned long long kMaxMapValues = 1ull << 31;

// The map in the file's bytes, with the data put in x, y, z order. A map that fills
// its cell (itself or through the symmetry of its space group) becomes the whole
// cell; any other map keeps its own box. Throws InputError naming `path`.
MapDensity ParseCcp4Map(std::string_view bytes, const std::string& path);

}  // namespace tivarel
