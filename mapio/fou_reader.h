#pragma once
#include <string>
#include <string_view>

#include "mapio/map_model.h"

namespace tivarel {

// Reads a FOU text map. Faults throw ProgramStop with the program's message.
DensityMap ParseFouMap(std::string_view text, const std::string& path);
DensityMap ReadFouMap(const std::string& path);

}  // namespace tivarel
