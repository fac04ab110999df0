// The density of one cell from map coefficients, by gemmi's FFT.
#include <gemmi/asudata.hpp>
#include <gemmi/fourier.hpp>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include <cmath>

#include "import/import_error.h"
#include "import/map_coefficients.h"

namespace tivarel {
namespace {

constexpr double kPointsPerDMin = 3.0;

gemmi::UnitCell UsableCell(const std::array<double, 6>& p, const std::string& path) {
    bool usable = p[0] > 0 && p[1] > 0 && p[2] > 0 && std::isfinite(p[0] * p[1] * p[2]);
    for (size_t k = 3; k < 6; ++k) usable = usable && p[k] > 0 && p[k] < 180;
    gemmi::UnitCell cell;
    if (usable) cell.set(p[0], p[1], p[2], p[3], p[4], p[5]);
    if (!usable || !(cell.volume > 1e-6 * p[0] * p[1] * p[2]))
        FailImport(path, "has no usable cell: a, b, c = " + ShortNumber(p[0]) + ", " + ShortNumber(p[1]) + ", " +
                             ShortNumber(p[2]) + "; angles " + ShortNumber(p[3]) + ", " + ShortNumber(p[4]) + ", " +
                             ShortNumber(p[5]));
    return cell;
}

// The grid of at least kPointsPerDMin points per d-min along each cell edge, in
// sizes that suit the FFT and the space group (gemmi's choice).
std::array<int, 3> GridSize(const gemmi::AsuData<std::complex<float>>& data, double dMin, unsigned long long maxPoints,
                            const std::string& path) {
    std::array<int, 3> least{};
    const gemmi::UnitCell& cell = data.unit_cell();
    const double edges[3] = {cell.a, cell.b, cell.c};
    for (size_t a = 0; a < 3; ++a) {
        const double points = std::ceil(kPointsPerDMin * edges[a] / dMin);
        if (!(points <= double(maxPoints)))
            FailImport(path, "reaches " + ShortNumber(dMin) + " Å in a cell of " + ShortNumber(edges[a]) +
                                 " Å, too fine a grid for this command");
        least[a] = int(points);
    }
    const std::array<int, 3> size = gemmi::get_size_for_hkl(data, least, kPointsPerDMin);
    if (double(size[0]) * size[1] * size[2] > double(maxPoints))
        FailImport(path, "would need an FFT grid of " + std::to_string(size[0]) + " x " + std::to_string(size[1]) + " x " +
                             std::to_string(size[2]) + " points for its reflections to " + ShortNumber(dMin) +
                             " Å, more than this command can hold");
    return size;
}

}  // namespace

MapDensity FourierMap(const MapCoefficients& coefficients, const std::string& path, FourierSummary* summary,
                      unsigned long long maxPoints) {
    const gemmi::SpaceGroup* group = gemmi::find_spacegroup_by_name(coefficients.spaceGroup);
    if (!group) FailImport(path, "has the space group '" + coefficients.spaceGroup + "', which is not known");
    gemmi::AsuData<std::complex<float>> data;
    data.unit_cell_ = UsableCell(coefficients.cell, path);
    data.unit_cell_.set_cell_images_from_spacegroup(group);
    data.spacegroup_ = group;
    double most1OverD2 = 0.0;
    for (const Reflection& r : coefficients.reflections) {
        const float phase = float(gemmi::rad(r.phase));
        data.v.push_back({{r.hkl[0], r.hkl[1], r.hkl[2]},
                          {r.amplitude * std::cos(phase), r.amplitude * std::sin(phase)}});
        most1OverD2 = std::max(most1OverD2, data.unit_cell_.calculate_1_d2(data.v.back().hkl));
    }
    if (!(most1OverD2 > 0.0)) FailImport(path, "holds no reflections with map coefficients (other than 0 0 0)");
    const double dMin = 1.0 / std::sqrt(most1OverD2);
    const std::array<int, 3> size = GridSize(data, dMin, maxPoints, path);
    gemmi::Grid<float> grid;
    try {
        grid = gemmi::transform_f_phi_grid_to_map(gemmi::get_f_phi_on_grid<float>(data, size, true));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        FailImport(path, std::string("cannot be turned into a map: ") + e.what());
    }
    MapDensity map;
    const gemmi::UnitCell& cell = data.unit_cell_;
    map.cell = {cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) map.orthogonalisation[i][j] = cell.orth.mat.a[i][j];
    map.sampling = {grid.nu, grid.nv, grid.nw};
    map.wholeCell = true;
    map.dataSize = map.sampling;
    map.boxHigh = {1.0, 1.0, 1.0};
    map.values = std::move(grid.data);
    map.extremes = ExtremesOf(map.values);
    if (summary) *summary = {coefficients.reflections.size(), dMin, size};
    return map;
}

}  // namespace tivarel
