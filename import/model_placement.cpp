#include "import/model_placement.h"

#include <algorithm>
#include <cmath>

namespace tivarel {
namespace {

// How far (Angstrom) a fractional position lies outside the map's box; 0 inside.
double DistanceOutside(const MapDensity& map, const Vec3d& f) {
    Vec3d beyond{};
    for (size_t a = 0; a < 3; ++a) beyond[a] = std::max({map.boxLow[a] - f[a], 0.0, f[a] - map.boxHigh[a]});
    const Vec3d cartesian = Times(map.orthogonalisation, beyond);
    return std::sqrt(cartesian[0] * cartesian[0] + cartesian[1] * cartesian[1] + cartesian[2] * cartesian[2]);
}

// The image of `f` under `op` moved by whole cells as near to the box's centre as it goes:
// along each axis independently, so if any translation puts it inside the box, this one does.
Vec3d NearestImage(const MapDensity& map, const SymmetryOperation& op, const Vec3d& f) {
    Vec3d image = Times(op.rotation, f);
    for (size_t a = 0; a < 3; ++a) {
        image[a] += op.translation[a];
        image[a] += std::round((map.boxLow[a] + map.boxHigh[a]) / 2 - image[a]);
    }
    return image;
}

}  // namespace

Placement PlaceAtomsInBox(Model& model, const MapDensity& map) {
    Placement placement;
    if (map.wholeCell) return placement;
    const std::vector<SymmetryOperation> identity{SymmetryOperation{{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 0, 0}}};
    const std::vector<SymmetryOperation>& operations = map.operations.empty() ? identity : map.operations;
    for (ModelAtom& atom : model.atoms) {
        Vec3d best = atom.fractional;
        double bestDistance = DistanceOutside(map, best);
        for (const SymmetryOperation& op : operations) {
            if (bestDistance == 0.0) break;
            const Vec3d image = NearestImage(map, op, atom.fractional);
            if (const double d = DistanceOutside(map, image); d < bestDistance) {
                best = image;
                bestDistance = d;
            }
        }
        if (best != atom.fractional) ++placement.moved;
        if (bestDistance == 0.0) ++placement.inside;
        atom.fractional = best;
    }
    return placement;
}

}  // namespace tivarel
