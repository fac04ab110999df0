#pragma once
// What every map fuzz target does after a parse: the whole way a user's open goes, at a level
// and plane from the input. An InputError is a correct end; any other exception aborts the run.
#include <cstdint>
#include <string>
#include <string_view>

#include "export/peak_file.h"
#include "export/pov_scene.h"
#include "mapio/atoms.h"
#include "mapio/input_error.h"
#include "surface/cell_table.h"
#include "surface/march_squares.h"

namespace tivarel::fuzz {

inline std::string_view Bytes(const uint8_t* data, size_t size) { return {reinterpret_cast<const char*>(data), size}; }

// The i-th byte from the end of the input, 0 when there is none.
inline uint8_t TailByte(std::string_view input, size_t i) {
    return i < input.size() ? static_cast<uint8_t>(input[input.size() - 1 - i]) : 0;
}

// The shipped side files and the program-sized stores, made once.
struct Shared {
    AtomParTable atoms = ReadAtomParameters(TIVAREL_SOURCE_DIR "/data/atompar2.txt");
    CaseTable cases = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    TriangleStore triangles;
    SegmentStore segments;
};
inline Shared& Once() {
    static Shared* const shared = new Shared;
    return *shared;
}

// Parses with `parse` and, when that succeeds, goes the whole way.
template <typename Parse>
int RunMapTarget(const uint8_t* data, size_t size, Parse parse) {
    const std::string_view input = Bytes(data, size);
    Shared& s = Once();
    try {
        DensityMap map = parse(input);
        AssignAtomTypes(map.atoms, s.atoms);
        BondList bonds;
        FindBonds(map.atoms, s.atoms, bonds);
        const GridParams& g = map.gridParams;
        const float level =
            g.minValue() + (g.maxValue() - g.minValue()) * static_cast<float>(TailByte(input, 0)) / 255.0f;
        const int zSection = 1 + TailByte(input, 1) % (g.nz() + 1);   // one past the top too
        MarchLayer(g, map.grid, level, 2, s.triangles, s.cases, nullptr);
        (void)MarchSquares(g, map.grid, level, zSection, 1, s.segments);
        PeakList peaks;
        for (const AtomRecord& atom : map.atoms) peaks.push_back(atom.position);
        if (s.triangles.count(2) > 0) peaks.push_back({s.triangles.at(2, 1).point[0].x, 0.0f, 0.0f});
        (void)PeakRecoveryText(map.cellMatrix, map.mapOrigin, peaks, "fuzz");
        const ProgramState state{.mapFileName = "fuzz",
                                 .showCell = true,
                                 .meshStyle = TailByte(input, 2) % 2 == 0 ? MeshStyle::Web : MeshStyle::Triangle};
        const LayerSettings layers{.used = {false, true, false}, .zSection = static_cast<int16_t>(zSection)};
        PovScene scene{
            map, state, layers, bonds.bonds, {{{}, s.triangles.layer(2), {}}}, {{s.segments.layer(1), {}, {}}}, {}};
        (void)PovSceneText(scene, std::string("#declare cylRadius = 0.01;\n//END OF FILE\n"));
    } catch (const InputError&) {
    }
    return 0;
}

}   // namespace tivarel::fuzz
