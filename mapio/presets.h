#pragma once
// Three named sets of layer levels from layer_limit_presets.txt: twelve lines,
// for each preset a name line and the levels of layers 1, 2 and 3 on one line each.
#include <array>
#include <string>
#include <string_view>

namespace tivarel {

struct Preset {
    std::string name;              // the whole name line, unchanged
    std::array<double, 3> levels{};  // absolute levels of layers 1 to 3
};

using LayerPresets = std::array<Preset, 3>;

constexpr const char* kLayerPresetsFileName = "layer_limit_presets.txt";

// Level lines take the leading number of the line (blanks ignored), 0 when there
// is none; lines after the twelfth are ignored. A missing file or fewer than
// twelve lines throw InputError with a message naming `path`.
LayerPresets ParseLayerPresets(std::string_view text, const std::string& path);
LayerPresets ReadLayerPresets(const std::string& path);

// A preset level as applied to the loaded map: in single precision, clamped into
// [minValue, maxValue], since a preset made for another map may lie outside its range.
float ClampPresetLevel(double level, float minValue, float maxValue);

}  // namespace tivarel
