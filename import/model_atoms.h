#pragma once
// The atoms of a model (small-molecule CIF, mmCIF or PDB, read with gemmi) as the
// map file keeps them: the element symbol as label, the position fractional.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/map_density.h"

namespace tivarel {

struct ModelAtom {
    std::string element;   // as the atom parameter table writes it: "C", "Cl"
    Vec3d fractional{};
    float occupancy = 1.0f;
    float uIso = 0.0f;     // Angstrom squared
};

struct Model {
    std::vector<ModelAtom> atoms;
    std::optional<std::array<double, 6>> cell;   // the model's own, when it gives one
};

// Reads the model in `bytes`. A small-molecule CIF gives fractional positions and
// must give its cell; Cartesian positions (mmCIF, PDB; the first model only) are
// made fractional with `mapCell`, the frame of the map they belong to. Deuterium
// counts as hydrogen. Throws InputError naming `path`.
Model ParseModel(std::string_view bytes, const std::string& path, const std::array<double, 6>& mapCell);

}  // namespace tivarel
