// FOU map files: any bytes either load and go the whole way, or stop with a message. Read
// on three threads they give the same map to the bit, or the same message, as on one.
#include <cstdlib>

#include "fuzz_support.h"
#include "mapio/fou_reader.h"

namespace {

// The map's values, header and atoms as bytes, or the message it stopped with.
std::string Outcome(std::string_view bytes, int threads) {
    const auto raw = [](const auto* data, size_t size) {
        return std::string(reinterpret_cast<const char*>(data), size);
    };
    try {
        const tivarel::DensityMap map = tivarel::ParseFouMap(bytes, "fuzz.fou", {threads});
        std::string out = raw(map.grid.values().data(), map.grid.values().size() * sizeof(float)) +
                          raw(map.gridParams.p.data(), sizeof map.gridParams.p);
        for (const tivarel::AtomRecord& atom : map.atoms) out += atom.name + raw(&atom.position, sizeof atom.position);
        return out;
    } catch (const tivarel::InputError& stop) {
        return std::string("stop: ") + stop.what();
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (Outcome(tivarel::fuzz::Bytes(data, size), 1) != Outcome(tivarel::fuzz::Bytes(data, size), 3)) std::abort();
    return tivarel::fuzz::RunMapTarget(data, size,
                                       [](std::string_view input) { return tivarel::ParseFouMap(input, "fuzz.fou"); });
}
