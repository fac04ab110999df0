#pragma once
// A CCP4/MRC map (and optionally a model) turned into an MT1 map: the density
// resampled by trilinear interpolation onto the viewer's Cartesian grid.
//
// The grid frame is the Cartesian frame of the usual orthogonalisation (a along x,
// b in the x-y plane) moved so that its zero, about which the viewer turns and shows
// the model, is the centre of the resampled box; the map origin is that centre's
// fractional position.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "import/map_density.h"
#include "import/model_atoms.h"
#include "mapio/mt1_writer.h"

namespace tivarel {

inline constexpr uint64_t kProgressPoints = uint64_t{1} << 22;

struct ConversionOptions {
    std::optional<double> step;     // Angstrom; default: the map's finest spacing
    std::optional<double> margin;   // Angstrom around the model's atoms; default: the map's box
    double scale = 1.0;             // every value is multiplied by it
    uint64_t maxValues = uint64_t{1} << 31;   // most grid points written
    int threads = 0;                          // resampling threads; 0: one per core
    // Called at every tenth of the resampling of a grid of kProgressPoints or more.
    std::function<void(int percent)> progress;
};

struct Conversion {
    Mt1Contents mt1;
    Vec3d cartesianCentre{};    // of the resampled box, in the orthogonalisation's frame
    uint64_t outsidePoints = 0; // grid points outside the map's data, set to its minimum
    float fillValue = 0.0f;     // that minimum, scaled
    float lowest = 0.0f, highest = 0.0f;   // of the values written
};

// Resamples `map` over its box, or over the model's atoms plus the margin, and
// checks that every value suits the viewer. Throws InputError naming `mapPath`.
Conversion ConvertMap(const MapDensity& map, const Model* model, const ConversionOptions& options,
                      const std::string& mapPath);

// The grid spacing the map defaults to and the counts it gives: for messages.
std::string GridSummary(const Conversion& conversion);

}  // namespace tivarel
