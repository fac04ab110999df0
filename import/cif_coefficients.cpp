// Map coefficients from reflection CIFs: structure-factor mmCIF as the PDB keeps it
// (_refln.pdbx_FWT ...) and small-molecule reflection lists (_refln_index_h ...) as
// SHELX-style refinements write them, phased by their own calculated phases or by the
// structure they belong to.
#include <gemmi/cif.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/smcif.hpp>
#include <gemmi/symmetry.hpp>

#include <cctype>
#include <cmath>
#include <map>

#include "import/coefficient_names.h"
#include "import/import_error.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"

namespace tivarel {
namespace {

namespace cif = gemmi::cif;

const std::vector<NamePair> kMmcifMap = {{"pdbx_FWT", "pdbx_PHWT"}};
const std::vector<NamePair> kMmcifDifference = {{"pdbx_DELFWT", "pdbx_DELPHWT"}};

template <typename Action>
auto WithGemmi(const std::string& path, const char* doing, Action action) {
    try {
        return action();
    } catch (const ImportError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        FailImport(path, std::string(doing) + e.what());
    }
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The reflection loop of a block, "_refln." in mmCIF and "_refln_" in core CIF.
struct ReflectionLoop {
    const cif::Loop* loop = nullptr;
    bool mmcif = false;

    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const std::string& tag : loop->tags) names.push_back(tag.substr(7));   // after "_refln." or "_refln_"
        return names;
    }
    std::optional<size_t> column(const std::string& name) const {
        const int at = loop->find_tag_lc(Lower((mmcif ? "_refln." : "_refln_") + name));
        return at < 0 ? std::nullopt : std::optional<size_t>(size_t(at));
    }
    // Null values ('?', '.') are NaN.
    double number(size_t row, size_t column) const { return cif::as_number(loop->val(row, column)); }
    size_t rows() const { return loop->length(); }
};

std::optional<ReflectionLoop> FindReflectionLoop(cif::Block& block) {
    if (const cif::Loop* loop = block.find_loop("_refln.index_h").get_loop()) return ReflectionLoop{loop, true};
    if (const cif::Loop* loop = block.find_loop("_refln_index_h").get_loop()) return ReflectionLoop{loop, false};
    return std::nullopt;
}

// A tag the user gave with or without the loop's prefix.
std::string WithoutPrefix(const std::string& tag) {
    const std::string low = Lower(tag);
    return low.rfind("_refln.", 0) == 0 || low.rfind("_refln_", 0) == 0 ? tag.substr(7) : tag;
}

std::array<double, 6> CellOf(cif::Block& block) {
    std::array<double, 6> cell{};
    const char* names[6] = {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"};
    for (size_t k = 0; k < 6; ++k) {
        const std::string* v = block.find_value(std::string("_cell.") + names[k]);
        if (!v) v = block.find_value(std::string("_cell_") + names[k]);
        cell[k] = v ? cif::as_number(*v) : (k < 3 ? NAN : 90.0);
    }
    return cell;
}

// The space group a block gives by its symmetry operations or else by name; none
// when it gives neither.
const gemmi::SpaceGroup* SpaceGroupOf(cif::Block& block, const std::string& path) {
    for (const char* tag : {"_space_group_symop.operation_xyz", "_symmetry_equiv.pos_as_xyz",
                            "_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        const cif::Column column = block.find_values(tag);
        if (!column || column.length() == 0) continue;
        std::vector<gemmi::Op> ops;
        for (const std::string& value : column)
            ops.push_back(WithGemmi(path, "has a symmetry operation that cannot be read: ",
                                    [&] { return gemmi::parse_triplet(cif::as_string(value)); }));
        const gemmi::SpaceGroup* group = WithGemmi(path, "has symmetry operations that make no group: ", [&] {
            return gemmi::find_spacegroup_by_ops(gemmi::split_centering_vectors(ops));
        });
        if (!group) FailImport(path, "lists symmetry operations that make no space group gemmi knows");
        return group;
    }
    for (const char* tag : {"_space_group.name_H-M_alt", "_symmetry.space_group_name_H-M", "_space_group_name_H-M_alt",
                            "_symmetry_space_group_name_H-M"})
        if (const std::string* name = block.find_value(tag); name && !cif::is_null(*name)) {
            const std::string text = cif::as_string(*name);
            const gemmi::SpaceGroup* group = gemmi::find_spacegroup_by_name(text);
            if (!group) FailImport(path, "names the space group '" + text + "', which is not known");
            return group;
        }
    return nullptr;
}

std::vector<std::array<int, 3>> MillerIndices(const ReflectionLoop& loop, const std::string& path) {
    std::array<size_t, 3> columns{};
    for (size_t i = 0; i < 3; ++i) {
        const std::optional<size_t> c = loop.column(std::string("index_") + "hkl"[i]);
        if (!c) FailImport(path, std::string("has a reflection loop without index_") + "hkl"[i]);
        columns[i] = *c;
    }
    std::vector<std::array<int, 3>> indices(loop.rows());
    for (size_t r = 0; r < loop.rows(); ++r)
        for (size_t i = 0; i < 3; ++i) indices[r][i] = MillerIndex(loop.number(r, columns[i]), path, r + 1);
    return indices;
}

// Amplitude and phase columns as given; missing and zero amplitudes are left out.
std::vector<Reflection> PairReflections(const ReflectionLoop& loop, const NamePair& pair, const std::string& path) {
    const std::vector<std::array<int, 3>> hkl = MillerIndices(loop, path);
    const size_t f = *loop.column(pair.first), phi = *loop.column(pair.second);
    std::vector<Reflection> out;
    for (size_t r = 0; r < loop.rows(); ++r) {
        const double amplitude = loop.number(r, f), phase = loop.number(r, phi);
        if (std::isfinite(amplitude) && std::isfinite(phase) && amplitude != 0.0)
            out.push_back({hkl[r], float(amplitude), float(phase)});
    }
    return out;
}

// The tags that hold amplitudes or phases, for a message.
void SortTags(const std::vector<std::string>& names, std::vector<std::string>& amplitudes,
              std::vector<std::string>& phases) {
    for (const std::string& name : names) {
        const std::string low = Lower(name);
        if (low.find("ph") != std::string::npos) phases.push_back(name);
        else if ((low[0] == 'f' || low.find("fwt") != std::string::npos) && low.find("sigma") == std::string::npos)
            amplitudes.push_back(name);
    }
}

[[noreturn]] void NoPair(const ReflectionLoop& loop, const std::string& path, const CoefficientChoice& choice,
                         const std::string& wanted) {
    std::vector<std::string> amplitudes, phases;
    SortTags(loop.names(), amplitudes, phases);
    const std::string offers = "its amplitude tags are " + ListOfNames(amplitudes) + " and its phase tags " + ListOfNames(phases);
    if (phases.empty() && choice.amplitude.empty())
        FailImport(path, "has no phases, so no map can be computed from it (" + offers +
                             "): give map coefficients from refinement (pdbx_FWT/pdbx_PHWT)");
    FailImport(path, "has no tags " + wanted + "; " + offers + ": choose a pair with --f TAG --phi TAG");
}

CoefficientChoice WithoutPrefixes(CoefficientChoice choice) {
    choice.amplitude = WithoutPrefix(choice.amplitude);
    choice.phase = WithoutPrefix(choice.phase);
    return choice;
}

// ------------------------------------------------------------------ the phasing model

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
};

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
        const std::array<double, 6> cell = CellOf(block);
        if (!CloseCells(cell, reflectionCell))
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

// |Fo| from the loop: sqrt(max(F^2, 0)) of F_squared_meas, or F_meas; nothing when
// the loop has neither.
std::optional<std::vector<double>> MeasuredAmplitudes(const ReflectionLoop& loop, std::string& tag) {
    for (const char* name : {"F_squared_meas", "F_meas"}) {
        const std::optional<size_t> c = loop.column(name);
        if (!c) continue;
        tag = name;
        std::vector<double> fo(loop.rows());
        for (size_t r = 0; r < loop.rows(); ++r) {
            const double v = loop.number(r, *c);
            fo[r] = tag == "F_meas" ? v : std::sqrt(std::max(v, 0.0));
            if (std::isnan(v)) fo[r] = NAN;
        }
        return fo;
    }
    return std::nullopt;
}

// Each measured reflection with the file's own F_calc and phase_calc.
std::vector<Measured> WithFilePhases(const ReflectionLoop& loop, const std::vector<double>& fo, const std::string& path) {
    const std::vector<std::array<int, 3>> hkl = MillerIndices(loop, path);
    const size_t fc = *loop.column("F_calc"), phase = *loop.column("phase_calc");
    std::vector<Measured> out;
    for (size_t r = 0; r < loop.rows(); ++r) {
        const Measured m{hkl[r], fo[r], loop.number(r, fc), loop.number(r, phase)};
        if (std::isfinite(m.fo) && std::isfinite(m.fc) && std::isfinite(m.phase)) out.push_back(m);
    }
    return out;
}

// The measurements merged over symmetry mates and Friedel pairs (the mean of F^2), each
// unique reflection phased by the model's structure factor.
std::vector<Measured> WithModelPhases(const ReflectionLoop& loop, const std::vector<double>& fo, const Phasing& phasing,
                                      const gemmi::UnitCell& cell, const std::string& path) {
    const std::vector<std::array<int, 3>> hkl = MillerIndices(loop, path);
    const gemmi::GroupOps ops = phasing.group->operations();
    const gemmi::ReciprocalAsu asu(phasing.group);
    std::map<gemmi::Miller, std::pair<double, int>> merged;   // sum of F^2, count
    for (size_t r = 0; r < loop.rows(); ++r) {
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
        const double amplitude = difference ? k * m.fo - m.fc : k * m.fo;
        if (amplitude != 0.0) out.reflections.push_back({m.hkl, float(amplitude), float(m.phase)});
    }
    out.scale = k;
    out.r1 = misfit / total;
}

MapCoefficients SmallMoleculeCoefficients(cif::Block& block, const ReflectionLoop& loop, const std::string& path,
                                          const CoefficientChoice& choice, const std::optional<PhasingModel>& model) {
    MapCoefficients out;
    out.cell = CellOf(block);
    const gemmi::SpaceGroup* group = SpaceGroupOf(block, path);
    const bool filePhases = loop.column("F_calc") && loop.column("phase_calc");
    std::string measuredTag;
    const std::optional<std::vector<double>> fo = MeasuredAmplitudes(loop, measuredTag);
    if (!fo && filePhases) {   // calculated only: the Fc map
        if (choice.difference) FailImport(path, "holds calculated structure factors only, so it gives no difference map");
        out.reflections = PairReflections(loop, {"F_calc", "phase_calc"}, path);
        out.used = "tags F_calc and phase_calc";
    } else if (!fo) {
        NoPair(loop, path, choice, "F_calc/phase_calc or F_squared_meas");
    } else if (filePhases) {
        ScaleAndPhase(out, WithFilePhases(loop, *fo, path), choice.difference, path);
        out.used = measuredTag + (choice.difference ? " minus F_calc" : "") + " with phase_calc";
    } else {
        if (!model)
            FailImport(path, "holds measured " + measuredTag + " without phases: give the structure they belong to "
                             "with --model STRUCTURE.cif, which phases them");
        Phasing phasing = ReadPhasingModel(*model, out.cell, path);
        phasing.group = AgreedSpaceGroup(group, phasing.group, path, model->path);
        group = phasing.group;
        gemmi::UnitCell cell;
        cell.set(out.cell[0], out.cell[1], out.cell[2], out.cell[3], out.cell[4], out.cell[5]);
        cell.set_cell_images_from_spacegroup(group);
        MakeOccupanciesCrystallographic(phasing.structure, cell);
        ScaleAndPhase(out, WithModelPhases(loop, *fo, phasing, cell, path), choice.difference, path);
        out.used = measuredTag + (choice.difference ? " minus |Fc|" : "") + " with phases from " + model->path;
    }
    if (!group) FailImport(path, "gives no space group (no name and no symmetry operations)");
    out.spaceGroup = group->xhm();
    return out;
}

// The first block that gives a cell, and the first that gives a space group: the
// blocks of one file describe one crystal, and often only the first says so.
std::array<double, 6> DocumentCell(cif::Document& doc, cif::Block& block) {
    std::array<double, 6> cell = CellOf(block);
    for (size_t b = 0; b < doc.blocks.size() && std::isnan(cell[0]); ++b) cell = CellOf(doc.blocks[b]);
    return cell;
}

const gemmi::SpaceGroup* DocumentSpaceGroup(cif::Document& doc, cif::Block& block, const std::string& path) {
    const gemmi::SpaceGroup* group = SpaceGroupOf(block, path);
    for (size_t b = 0; b < doc.blocks.size() && !group; ++b) group = SpaceGroupOf(doc.blocks[b], path);
    if (!group) FailImport(path, "gives no space group (no name and no symmetry operations)");
    return group;
}

// An amplitude and a phase tag of the first block that has the pair wanted.
MapCoefficients PairCoefficients(cif::Document& doc, const std::vector<std::pair<cif::Block*, ReflectionLoop>>& loops,
                                 const std::string& path, const CoefficientChoice& choice) {
    const CoefficientChoice named = WithoutPrefixes(choice);
    for (const auto& [block, loop] : loops) {
        const std::optional<NamePair> pair = ChooseNamePair(loop.names(), named, kMmcifMap, kMmcifDifference, true);
        if (!pair) continue;
        MapCoefficients out;
        out.cell = DocumentCell(doc, *block);
        out.spaceGroup = DocumentSpaceGroup(doc, *block, path)->xhm();
        out.reflections = PairReflections(loop, *pair, path);
        out.used = "tags " + pair->first + " and " + pair->second;
        return out;
    }
    NoPair(loops.front().second, path, named, WantedPairs(named, kMmcifMap, kMmcifDifference));
}

bool HasAtomSites(cif::Document& doc) {
    for (cif::Block& block : doc.blocks)
        if (block.find_values("_atom_site_fract_x") || block.find_values("_atom_site.Cartn_x")) return true;
    return false;
}

}  // namespace

MapCoefficients ReadCifCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice,
                                    const std::optional<PhasingModel>& model) {
    bytes = WithoutByteOrderMark(bytes);
    cif::Document doc = WithGemmi(path, "cannot be read as a CIF file: ",
                                  [&] { return cif::read_memory(bytes.data(), bytes.size(), path.c_str()); });
    std::vector<std::pair<cif::Block*, ReflectionLoop>> loops;
    for (cif::Block& block : doc.blocks)
        if (const std::optional<ReflectionLoop> loop = FindReflectionLoop(block)) loops.emplace_back(&block, *loop);
    if (loops.empty()) {
        if (HasAtomSites(doc)) FailImport(path, "is a model, not a map or reflections; give it with --model");
        FailImport(path, "is a CIF file without a reflection loop (_refln.index_h or _refln_index_h)");
    }
    if (loops.front().second.mmcif || !choice.amplitude.empty()) return PairCoefficients(doc, loops, path, choice);
    return SmallMoleculeCoefficients(*loops.front().first, loops.front().second, path, choice, model);
}

}  // namespace tivarel
