#pragma once
#include <string>
#include <string_view>

#include "mapio/map_model.h"

namespace tivarel {

// How many threads read the Z sections: 0 takes every core for a large map and one
// for a small one. The map, and the message of a fault, are the same for any count.
struct FouOptions {
    int threads = 0;
};

// Reads a FOU text map. Faults throw InputError with the program's message.
DensityMap ParseFouMap(std::string_view text, const std::string& path, FouOptions options = {});
DensityMap ReadFouMap(const std::string& path);

}  // namespace tivarel
