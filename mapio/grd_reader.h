#pragma once
#include <string>
#include <string_view>

#include "mapio/map_model.h"

namespace tivarel {

// Reads a GRD text map: an orthogonal box given by centre and edge lengths, atoms in
// fixed columns, values with x fastest. Faults throw InputError with the program's message.
DensityMap ParseGrdMap(std::string_view text, const std::string& path);
DensityMap ReadGrdMap(const std::string& path);

}  // namespace tivarel
