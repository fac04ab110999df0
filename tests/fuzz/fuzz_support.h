#pragma once
// What every map fuzz target does after a successful parse: the whole way a user's
// open goes (atom types, bonds, surfaces, contours, peak file, POV-Ray scene), at a
// level and plane taken from the input. A ProgramStop is a correct end for bad input;
// any other exception escapes and aborts the run.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "export/peak_file.h"
#include "export/pov_scene.h"
#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "mapio/program_stop.h"
#include "surface/cell_table.h"
#include "surface/layer_settings.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/program_state.h"

namespace tivarel::fuzz {

inline std::string_view Bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The i-th byte from the end of the input, 0 when there is none: the input chooses
// level and plane without changing what the parser reads.
inline uint8_t TailByte(std::string_view input, size_t i) {
    return i < input.size() ? static_cast<uint8_t>(input[input.size() - 1 - i]) : 0;
}

// The shipped side files, read once.
inline const AtomParTable& AtomTable() {
    static const AtomParTable table = ReadAtomParameters(TIVAREL_SOURCE_DIR "/data/atompar2.txt");
    return table;
}
inline const CaseTable& Cases() {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    return table;
}

// The stores are as large as the program's: allocated once for the whole run.
struct Stores {
    TriangleStore triangles;
    SegmentStore segments;
};
inline Stores& SharedStores() {
    static const auto stores = std::make_unique<Stores>();
    return *stores;
}

inline void WholeWay(DensityMap& map, std::string_view input) {
    AssignAtomTypes(map.atoms, AtomTable());
    BondList bonds;
    FindBonds(map.atoms, AtomTable(), bonds);
    const GridParams& g = map.gridParams;
    const float level = g.minValue() + (g.maxValue() - g.minValue()) * static_cast<float>(TailByte(input, 0)) / 255.0f;
    const int zSection = 1 + TailByte(input, 1) % (g.nz() + 1);   // also one past the top
    Stores& s = SharedStores();
    MarchLayer(g, map.grid, level, 2, s.triangles, Cases(), nullptr);
    (void)MarchSquares(g, map.grid, level, zSection, 1, s.segments);
    PeakList peaks;
    for (const AtomRecord& atom : map.atoms) peaks.push_back(atom.position);
    if (s.triangles.count(2) > 0) peaks.push_back({s.triangles.at(2, 1).point[0].x, 0.0f, 0.0f});
    if (const auto fractional = FractionalPeaks(map.cellMatrix, map.mapOrigin, peaks)) (void)PeakFileText(*fractional);
    (void)PeakRecoveryText(map.cellMatrix, map.mapOrigin, peaks, "fuzz");
    ProgramState state;
    state.mapFileName = "fuzz.map";
    state.showCell = true;
    state.meshStyle = static_cast<int16_t>(1 + TailByte(input, 2) % 2);
    LayerSettings layers;
    layers.used = {false, true, false};
    layers.zSection = static_cast<int16_t>(zSection);
    PovScene scene{map, state, layers, bonds.bonds, {}, {}, {}};
    scene.triangles[1] = s.triangles.layer(2);
    scene.segments[0] = s.segments.layer(1);
    (void)PovSceneText(scene, std::string("#declare cylRadius = 0.01;\n//END OF FILE\n"));
}

// Parses with `parse` and, when that succeeds, goes the whole way.
template <typename Parse>
int RunMapTarget(const uint8_t* data, size_t size, Parse parse) {
    const std::string_view input = Bytes(data, size);
    try {
        DensityMap map = parse(input);
        WholeWay(map, input);
    } catch (const ProgramStop&) {
    }
    return 0;
}

}  // namespace tivarel::fuzz
