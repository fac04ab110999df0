// Any bytes as a CCP4/MRC map through the whole conversion to MT1 bytes, or a message. The
// grid written is kept small so that a header asking for a huge one costs no memory.
#include "fuzz_support.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "mapio/mt1_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        tivarel::ConversionOptions options;
        options.maxValues = 1u << 18;
        const tivarel::MapDensity map = tivarel::ParseCcp4Map(tivarel::fuzz::Bytes(data, size), "fuzz.ccp4");
        tivarel::Mt1Bytes(tivarel::ConvertMap(map, nullptr, options, "fuzz.ccp4").mt1);
    } catch (const tivarel::InputError&) {
    }
    return 0;
}
