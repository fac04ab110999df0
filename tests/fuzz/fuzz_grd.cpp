// GRD map files: any bytes either load and go the whole way, or stop with a message.
#include "fuzz_support.h"
#include "mapio/grd_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tivarel::fuzz::RunMapTarget(data, size,
                                       [](std::string_view bytes) { return tivarel::ParseGrdMap(bytes, "fuzz.grd"); });
}
