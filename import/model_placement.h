#pragma once
// A model placed on the map it belongs to: a map of a box of the crystal (a PDB entry's map
// around its model, a cryo-EM box) may lie a lattice translation or a symmetry operation
// away from the coordinates the model file gives.
#include <cstddef>

#include "import/map_density.h"
#include "import/model_atoms.h"

namespace tivarel {

struct Placement {
    size_t moved = 0;    // atoms moved to another image
    size_t inside = 0;   // atoms inside the map's box afterwards
};

// Moves each atom of `model` to its image, under the map's symmetry operations (the
// identity first) and lattice translations, inside the map's box, or else to the image
// nearest the box. The atoms of a whole-cell map stay where they are.
Placement PlaceAtomsInBox(Model& model, const MapDensity& map);

}  // namespace tivarel
