#pragma once
// The contour levels a map opens with: 10, 30 and 50 % of the way from its lowest value
// to the upper end of its range, its largest value (a GRD map's range is taken smaller).
#include <array>

#include "mapio/map_model.h"

namespace tivarel {

inline float DefaultUpperValue(const GridParams& g, bool isGrd) {
    return isGrd ? g.maxValue() / 500.0f + g.minValue() : g.maxValue();
}

inline std::array<float, 3> DefaultLevels(float lower, float upper) {
    const float range = upper - lower;
    const double fractions[3] = {0.1, 0.3, 0.5};
    std::array<float, 3> levels{};
    for (size_t k = 0; k < 3; ++k) levels[k] = static_cast<float>(static_cast<double>(range) * fractions[k] + lower);
    return levels;
}

}  // namespace tivarel
