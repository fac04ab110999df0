// The layer presets file: any text gives three presets whose levels clamp into a map's range, or a message naming it.
#include <cstdlib>

#include "fuzz_support.h"
#include "mapio/presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        for (const tivarel::Preset& preset : tivarel::ParseLayerPresets(tivarel::fuzz::Bytes(data, size), "fuzz/presets"))
            for (double level : preset.levels)
                if (const float v = tivarel::ClampPresetLevel(level, -3.0f, 7.0f); !(v >= -3.0f && v <= 7.0f)) std::abort();
    } catch (const tivarel::InputError&) {
    }
    return 0;
}
