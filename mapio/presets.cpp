#include "mapio/presets.h"

#include <cmath>
#include <limits>
#include <vector>

#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

constexpr size_t kPresetLines = 12;

// Levels beyond single precision become infinite, which the clamp then bounds.
float ToSingle(double level) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (level > kLargest) return std::numeric_limits<float>::infinity();
    if (level < -kLargest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(level);
}

}  // namespace

LayerPresets ParseLayerPresets(std::string_view text, const std::string& path) {
    const std::vector<std::string_view> lines = SideFileLines(text);
    if (lines.size() < kPresetLines)
        Fail("The layer presets file " + path + " has only " + std::to_string(lines.size()) +
                    " lines; it needs twelve: for each of three presets a name line and three level lines.");
    LayerPresets presets;
    for (size_t s = 0; s < presets.size(); ++s) {
        presets[s].name = std::string(lines[4 * s]);
        for (size_t layer = 0; layer < 3; ++layer) presets[s].levels[layer] = LenientNumber(lines[4 * s + 1 + layer]);
    }
    return presets;
}

LayerPresets ReadLayerPresets(const std::string& path) { return ParseLayerPresets(ReadWholeFile(path), path); }

float ClampPresetLevel(double level, float minValue, float maxValue) {
    if (std::isnan(level)) return minValue;
    const float single = ToSingle(level);
    if (single < minValue) return minValue;
    if (single > maxValue) return maxValue;
    return single;
}

}  // namespace tivarel
