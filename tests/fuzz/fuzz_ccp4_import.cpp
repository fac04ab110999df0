// libFuzzer target: any bytes as a CCP4/MRC map through the whole conversion to MT1 bytes.
// A refused input (InputError) is a normal outcome; anything else is a finding.
// The grid written is kept small so that a header asking for a huge one costs no memory.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/import_error.h"
#include "mapio/mt1_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const tivarel::MapDensity map = tivarel::ParseCcp4Map(bytes, "fuzz.ccp4");
        tivarel::ConversionOptions options;
        options.maxValues = 1u << 18;
        const tivarel::Conversion result = tivarel::ConvertMap(map, nullptr, options, "fuzz.ccp4");
        tivarel::Mt1Bytes(result.mt1);
    } catch (const tivarel::InputError&) {
    }
    return 0;
}
