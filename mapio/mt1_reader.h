#pragma once
#include <string>
#include <string_view>

#include "mapio/map_model.h"

namespace tivarel {

// Reads an MT1 binary map (little-endian, fixed layout). Faults throw InputError
// with the program's message; a record length other than 14 ends it silently.
DensityMap ParseMt1Map(std::string_view bytes, const std::string& path);
DensityMap ReadMt1Map(const std::string& path);

}  // namespace tivarel
