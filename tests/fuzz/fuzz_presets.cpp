// The layer presets file: any text either gives three presets whose levels clamp into a
// map's range, or stops with a message naming the file.
#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "mapio/presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    const std::string_view input = fuzz::Bytes(data, size);
    try {
        const LayerPresets presets = ParseLayerPresets(input, "fuzz/layer_limit_presets.txt");
        for (const Preset& preset : presets)
            for (double level : preset.levels) {
                const float clamped = ClampPresetLevel(level, -3.0f, 7.0f);
                if (!(clamped >= -3.0f && clamped <= 7.0f)) std::abort();   // a level outside the map
            }
    } catch (const ProgramStop&) {
    }
    return 0;
}
