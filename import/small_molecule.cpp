// Small-molecule reflections phased by their own calculated phases or by the structure.
#include "import/small_molecule.h"

#include <gemmi/cif.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/smcif.hpp>

#include <cmath>
#include <map>

#include "import/coefficient_names.h"
#include "import/import_error.h"
#include "import/input_kind.h"

namespace tivarel {
namespace {

namespace cif = gemmi::cif;

// gemmi sums each site over every symmetry image; a site on a special position meets
// itself there, while a CIF's occupancy is the chemical one: divide by those meetings.
void MakeOccupanciesCrystallographic(gemmi::SmallStructure& st, const gemmi::UnitCell& cell) {
    constexpr double kSamePlace = 0.1 * 0.1;   // Angstrom squared
    for (gemmi::SmallStructure::Site& site : st.sites) {
        int meetings = 1;
        for (const gemmi::FTransform& image : cell.images)
            if (cell.distance_sq(image.apply(site.fract), site.fract) < kSamePlace) ++meetings;
        site.occ /= meetings;
    }
}

bool CloseCells(const std::array<double, 6>& a, const std::array<double, 6>& b) {
    for (size_t k = 0; k < 6; ++k)
        if (!(std::fabs(a[k] - b[k]) <= 0.01 * std::fabs(b[k]))) return false;
    return true;
}

std::string CellText(const std::array<double, 6>& c) {
    return ShortNumber(c[0]) + " " + ShortNumber(c[1]) + " " + ShortNumber(c[2]) + " Å, " + ShortNumber(c[3]) + " " +
           ShortNumber(c[4]) + " " + ShortNumber(c[5]) + "°";
}

struct Phasing {
    gemmi::SmallStructure structure;
    const gemmi::SpaceGroup* group = nullptr;
    std::array<double, 6> cell{};
};

// The structure in the model's first block of atom sites; its cell must be the data's
// within 1 % when the data gives one.
Phasing ReadPhasingModel(const PhasingModel& model, const std::array<double, 6>& reflectionCell,
                         const std::string& reflectionPath) {
    const std::string& path = model.path;
    if (!IsCifText(model.bytes))
        FailImport(path, "cannot phase " + reflectionPath + ": that needs the structure as a small-molecule CIF");
    cif::Document doc = WithGemmi(path, "cannot be read as a CIF file: ",
                                  [&] {
        const std::string_view text = WithoutByteOrderMark(model.bytes);
        return cif::read_memory(text.data(), text.size(), path.c_str());
    });
    for (cif::Block& block : doc.blocks) {
        if (!block.find_values("_atom_site_fract_x")) continue;
        Phasing phasing;
        phasing.structure = WithGemmi(path, "cannot be read as a structure: ",
                                      [&] { return gemmi::make_small_structure_from_block(block); });
        phasing.group = SpaceGroupOf(block, path);
        phasing.cell = CellOf(block);
        const std::array<double, 6>& cell = phasing.cell;
        if (!std::isnan(reflectionCell[0]) && !CloseCells(cell, reflectionCell))
            FailImport(path, "has the cell " + CellText(cell) + ", which differs from the cell of " + reflectionPath + ", " +
                                 CellText(reflectionCell) + ", by more than 1 %: give the structure these reflections "
                                                            "were measured from");
        for (const gemmi::SmallStructure::Site& site : phasing.structure.sites)
            if (site.element == gemmi::El::X || !gemmi::IT92<double>::has(site.element.elem))
                FailImport(path, "atom " + site.label + " has an element without X-ray form factors ('" +
                                     site.type_symbol + "')");
        if (phasing.structure.sites.empty()) break;
        return phasing;
    }
    FailImport(path, "holds no atom sites with fractional positions, so it cannot phase " + reflectionPath);
}

// The space group of the reflections, else of the model; the two must agree.
const gemmi::SpaceGroup* AgreedSpaceGroup(const gemmi::SpaceGroup* reflections, const gemmi::SpaceGroup* model,
                                          const std::string& path, const std::string& modelPath) {
    if (reflections && model && reflections != model)
        FailImport(path, "is in the space group " + reflections->xhm() + ", but its model " + modelPath + " is in " +
                             model->xhm());
    if (!reflections && !model)
        FailImport(path, "gives no space group, and neither does " + modelPath);
    return reflections ? reflections : model;
}

// ------------------------------------------------------------------ small-molecule data

struct Measured {
    std::array<int, 3> hkl{};
    double fo = 0.0;         // |Fo|
    double fc = 0.0;         // |Fc|
    double phase = 0.0;      // degrees
};

// Each measured reflection with the file's own F_calc and phase_calc.
std::vector<Measured> WithFilePhases(const SmallMoleculeData& data) {
    std::vector<Measured> out;
    for (size_t r = 0; r < data.hkl.size(); ++r) {
        const Measured m{data.hkl[r], data.fo[r], data.fc[r], data.phase[r]};
        if (std::isfinite(m.fo) && std::isfinite(m.fc) && std::isfinite(m.phase)) out.push_back(m);
    }
    return out;
}

// The measurements merged over symmetry mates and Friedel pairs (the mean of F^2), each
// unique reflection phased by the model's structure factor.
std::vector<Measured> WithModelPhases(const SmallMoleculeData& data, const Phasing& phasing, const gemmi::UnitCell& cell) {
    const std::vector<std::array<int, 3>>& hkl = data.hkl;
    const std::vector<double>& fo = data.fo;
    const gemmi::GroupOps ops = phasing.group->operations();
    const gemmi::ReciprocalAsu asu(phasing.group);
    std::map<gemmi::Miller, std::pair<double, int>> merged;   // sum of F^2, count
    for (size_t r = 0; r < hkl.size(); ++r) {
        if (!std::isfinite(fo[r]) || hkl[r] == std::array<int, 3>{0, 0, 0}) continue;
        auto& [sum, count] = merged[asu.to_asu(hkl[r], ops).first];
        sum += fo[r] * fo[r];
        ++count;
    }
    gemmi::StructureFactorCalculator<gemmi::IT92<double>> calculator(cell);
    std::vector<Measured> out;
    for (const auto& [index, sumAndCount] : merged) {
        const std::complex<double> f = calculator.calculate_sf_from_small_structure(phasing.structure, index);
        out.push_back({index, std::sqrt(sumAndCount.first / sumAndCount.second), std::abs(f), gemmi::deg(std::arg(f))});
    }
    return out;
}

// |Fo| scaled to |Fc| by least squares, then the Fo or the Fo - Fc map with the phases.
void ScaleAndPhase(MapCoefficients& out, const std::vector<Measured>& measured, bool difference, const std::string& path) {
    double foFc = 0.0, foFo = 0.0;
    for (const Measured& m : measured) {
        foFc += m.fo * m.fc;
        foFo += m.fo * m.fo;
    }
    if (!(foFo > 0.0) || !(foFc > 0.0)) FailImport(path, "holds no measured reflection above zero to scale");
    const double k = foFc / foFo;
    double misfit = 0.0, total = 0.0;
    for (const Measured& m : measured) {
        misfit += std::fabs(k * m.fo - m.fc);
        total += k * m.fo;
        out.reflections.push_back({m.hkl, float(difference ? k * m.fo - m.fc : k * m.fo), float(m.phase)});
    }
    out.scale = k;
    out.r1 = misfit / total;
}

gemmi::UnitCell CellWithImages(const std::array<double, 6>& c, const gemmi::SpaceGroup* group) {
    gemmi::UnitCell cell;
    cell.set(c[0], c[1], c[2], c[3], c[4], c[5]);
    cell.set_cell_images_from_spacegroup(group);
    return cell;
}

// The reflections phased by the model, which supplies what the data lack.
MapCoefficients PhasedByModel(const SmallMoleculeData& data, const std::string& path, bool difference,
                              const PhasingModel& model) {
    Phasing phasing = ReadPhasingModel(model, data.cell, path);
    phasing.group = AgreedSpaceGroup(data.group, phasing.group, path, model.path);
    MapCoefficients out;
    out.cell = std::isnan(data.cell[0]) ? phasing.cell : data.cell;
    const gemmi::UnitCell cell = CellWithImages(out.cell, phasing.group);
    MakeOccupanciesCrystallographic(phasing.structure, cell);
    ScaleAndPhase(out, WithModelPhases(data, phasing, cell), difference, path);
    out.used = data.measured + (difference ? " minus |Fc|" : "") + " with phases from " + model.path;
    out.spaceGroup = phasing.group->xhm();
    return out;
}

}  // namespace

SmallMoleculeData FromReflectionLoop(cif::Block& block, const ReflectionLoop& loop, const std::string& path) {
    SmallMoleculeData data;
    data.hkl = MillerIndices(loop, path);
    data.cell = CellOf(block);
    data.group = SpaceGroupOf(block, path);
    const auto numbers = [&loop](size_t column) {
        std::vector<double> v(loop.rows());
        for (size_t r = 0; r < loop.rows(); ++r) v[r] = loop.number(r, column);
        return v;
    };
    if (const std::optional<size_t> f2 = loop.column("F_squared_meas")) {
        data.measured = "F_squared_meas";
        data.fo = numbers(*f2);
        for (double& v : data.fo) v = std::isnan(v) ? NAN : std::sqrt(std::max(v, 0.0));
    } else if (const std::optional<size_t> f = loop.column("F_meas")) {
        data.measured = "F_meas";
        data.fo = numbers(*f);
    }
    const std::optional<size_t> fc = loop.column("F_calc"), phase = loop.column("phase_calc");
    if (fc && phase) {
        data.fc = numbers(*fc);
        data.phase = numbers(*phase);
    }
    return data;
}

SmallMoleculeData FromShelxHkl(const std::vector<HklLine>& lines) {
    SmallMoleculeData data;
    data.measured = "F² of the SHELX list";
    for (const HklLine& line : lines) {
        data.hkl.push_back(line.hkl);
        data.fo.push_back(std::sqrt(std::max(line.intensity, 0.0)));
    }
    return data;
}

MapCoefficients SmallMoleculeCoefficients(const SmallMoleculeData& data, const std::string& path,
                                          const CoefficientChoice& choice, const std::optional<PhasingModel>& model) {
    const bool filePhases = !data.fc.empty();
    if (data.fo.empty() && !filePhases)
        FailImport(path, "holds neither measured (F_squared_meas, F_meas) nor calculated (F_calc, phase_calc) structure factors");
    if (!filePhases) {
        if (!model)
            FailImport(path, "holds measured " + data.measured + " without phases: give the structure they belong to "
                             "with --model STRUCTURE.cif, which phases them");
        return PhasedByModel(data, path, choice.difference, *model);
    }
    MapCoefficients out;
    out.cell = data.cell;
    if (!data.group) FailImport(path, "gives no space group (no name and no symmetry operations)");
    out.spaceGroup = data.group->xhm();
    if (data.fo.empty()) {   // calculated only: the Fc map
        if (choice.difference) FailImport(path, "holds calculated structure factors only, so it gives no difference map");
        for (size_t r = 0; r < data.hkl.size(); ++r)
            if (std::isfinite(data.fc[r]) && std::isfinite(data.phase[r]))
                out.reflections.push_back({data.hkl[r], float(data.fc[r]), float(data.phase[r])});
        out.used = "tags F_calc and phase_calc";
        return out;
    }
    ScaleAndPhase(out, WithFilePhases(data), choice.difference, path);
    out.used = data.measured + (choice.difference ? " minus F_calc" : "") + " with phase_calc";
    return out;
}

MapCoefficients ReadShelxHklCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice,
                                         const std::optional<PhasingModel>& model) {
    const SmallMoleculeData data = FromShelxHkl(ReadShelxHkl(bytes, path));
    if (!model)
        FailImport(path, "is a SHELX reflection list (h k l F² σ), which gives no cell or symmetry: give the structure "
                         "with --model STRUCTURE.cif, which phases it");
    return SmallMoleculeCoefficients(data, path, choice, model);
}

}  // namespace tivarel
