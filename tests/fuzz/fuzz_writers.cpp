// The writers: numbers, peak lines and files, the POV-Ray scene and TGA bytes, fed with any
// floats and sizes. Writers have no failure of their own: nothing may throw.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "export/number_format.h"
#include "export/tga.h"
#include "fuzz_support.h"

namespace {
// The input as a stream of values; past its end everything is 0.
struct Stream {
    std::string_view bytes;
    size_t pos = 0;
    template <typename T>
    T next() {
        unsigned char raw[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T) && pos < bytes.size(); ++i) raw[i] = static_cast<unsigned char>(bytes[pos++]);
        T value;
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }
    tivarel::Vec3 vec() { return {next<float>(), next<float>(), next<float>()}; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    Stream in{fuzz::Bytes(data, size)};
    (void)FormatNumber(in.next<double>());
    (void)CutToSixDecimals(in.next<float>());
    DensityMap map;
    for (float& m : map.cellMatrix.a) m = in.next<float>();
    map.mapOrigin = in.vec();
    PeakList peaks(in.next<uint8_t>() % 8);
    for (Vec3& p : peaks) p = in.vec();
    (void)PeakRecoveryText(map.cellMatrix, map.mapOrigin, peaks, "fuzz.fou");
    // A scene of a few triangles, segments, atoms and one bond at the input's positions.
    std::vector<TriangleRecord> triangles(in.next<uint8_t>() % 16);
    for (TriangleRecord& t : triangles) t.point = {in.vec(), in.vec(), in.vec()};
    std::vector<SegmentRecord> segments(in.next<uint8_t>() % 16);
    for (SegmentRecord& s : segments) s = {in.vec(), in.vec()};
    for (int k = in.next<uint8_t>() % 4; k > 0; --k) map.atoms.push_back({"C   ", in.vec(), 1});
    std::vector<Bond> bonds;
    if (map.atoms.size() >= 2) bonds.push_back({1, static_cast<int16_t>(map.atoms.size())});
    for (int k = 1; k <= 11; ++k) map.gridParams(k) = in.next<float>();
    for (Vec3& c : map.cellCorners) c = in.vec();
    ProgramState state;
    state.showCell = true;
    state.meshStyle = in.next<uint8_t>() % 2 == 0 ? MeshStyle::Web : MeshStyle::Triangle;
    LayerSettings layers;
    layers.used = {true, true, true};
    layers.zSection = in.next<int16_t>();
    PovScene scene{map, state, layers, bonds, {triangles, triangles, triangles}, {segments, segments, segments}, {}};
    for (float& m : scene.modelView) m = in.next<float>();
    (void)PovSceneText(scene, std::nullopt);
    // A picture of any size up to 64 x 64, and the header of any legal size.
    const int w = in.next<uint8_t>() % 65, h = in.next<uint8_t>() % 65;
    std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
    for (uint8_t& b : rgb) b = in.next<uint8_t>();
    if (TgaBytes(w, h, rgb).size() != 18 + rgb.size()) std::abort();
    (void)TgaHeader(in.next<uint16_t>(), in.next<uint16_t>());
    return 0;
}
