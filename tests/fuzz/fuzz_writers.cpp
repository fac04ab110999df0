// The writers: numbers, peak lines and files, the POV-Ray scene and TGA bytes, fed with
// any floats and sizes. Writers have no failure of their own: nothing may throw.
#include <cstring>
#include <vector>

#include "export/number_format.h"
#include "export/tga.h"
#include "fuzz_support.h"

namespace {

// Reads the input as a stream of values; past its end everything is 0.
class Stream {
public:
    explicit Stream(std::string_view bytes) : bytes_(bytes) {}
    template <typename T>
    T next() {
        T value{};
        unsigned char raw[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T) && pos_ < bytes_.size(); ++i) raw[i] = static_cast<unsigned char>(bytes_[pos_++]);
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }
    tivarel::Point3 point() { return {next<float>(), next<float>(), next<float>()}; }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    Stream in(fuzz::Bytes(data, size));
    (void)FormatNumber(in.next<double>());
    (void)FormatFileNumber(in.next<float>());
    (void)CutToSixDecimals(in.next<float>());
    DensityMap map;
    for (float& m : map.cellMatrix.a) m = in.next<float>();
    map.mapOrigin = {in.next<float>(), in.next<float>(), in.next<float>()};
    PeakList peaks;
    for (int k = in.next<uint8_t>() % 8; k > 0; --k) peaks.push_back({in.next<float>(), in.next<float>(), in.next<float>()});
    if (const auto fractional = FractionalPeaks(map.cellMatrix, map.mapOrigin, peaks)) (void)PeakFileText(*fractional);
    (void)PeakRecoveryText(map.cellMatrix, map.mapOrigin, peaks, "fuzz.fou");
    // A scene of a few triangles, segments, atoms and bonds at the input's positions.
    std::vector<TriangleRecord> triangles(in.next<uint8_t>() % 16);
    for (TriangleRecord& t : triangles) t.point = {in.point(), in.point(), in.point()};
    std::vector<SegmentRecord> segments(in.next<uint8_t>() % 16);
    for (SegmentRecord& s : segments) s = {in.point(), in.point()};
    for (int k = in.next<uint8_t>() % 4; k > 0; --k) {
        const Point3 p = in.point();
        map.atoms.push_back({"C   ", {p.x, p.y, p.z}, 1});
    }
    std::vector<Bond> bonds;
    if (map.atoms.size() >= 2) bonds.push_back({1, static_cast<int16_t>(map.atoms.size())});
    for (int k = 1; k <= 11; ++k) map.gridParams(k) = in.next<float>();
    for (Vec3f& c : map.cellCorners) c = {in.next<float>(), in.next<float>(), in.next<float>()};
    ProgramState state;
    state.showAtoms = state.showCell = true;
    state.meshStyle = static_cast<int16_t>(in.next<uint8_t>() % 3);
    LayerSettings layers;
    layers.used = {true, true, true};
    layers.zSection = in.next<int16_t>();
    PovScene scene{map, state, layers, bonds, {}, {}, {}};
    for (auto& layer : scene.triangles) layer = triangles;
    for (auto& layer : scene.segments) layer = segments;
    for (float& m : scene.modelView) m = in.next<float>();
    (void)PovSceneText(scene, std::nullopt);
    // A small picture of any size up to 64 x 64, and the header of any legal size.
    const int w = in.next<uint8_t>() % 65, h = in.next<uint8_t>() % 65;
    std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
    for (uint8_t& b : rgb) b = in.next<uint8_t>();
    const std::vector<uint8_t> tga = TgaBytes(w, h, rgb);
    if (tga.size() != 18 + rgb.size()) std::abort();
    (void)TgaHeader(in.next<uint16_t>(), in.next<uint16_t>());
    return 0;
}
