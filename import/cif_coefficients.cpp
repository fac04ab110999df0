// Map coefficients from reflection CIFs: structure-factor mmCIF as the PDB keeps it
// (_refln.pdbx_FWT ...), small-molecule reflection lists (_refln_index_h ...) as
// SHELX-style refinements write them, and structure CIFs that carry their reflections
// (_shelx_hkl_file).
#include <gemmi/cif.hpp>

#include <cmath>

#include "import/cif_blocks.h"
#include "import/coefficient_names.h"
#include "import/import_error.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"
#include "import/small_molecule.h"

namespace tivarel {
namespace {

namespace cif = gemmi::cif;

const std::vector<NamePair> kMmcifMap = {{"pdbx_FWT", "pdbx_PHWT"}};
const std::vector<NamePair> kMmcifDifference = {{"pdbx_DELFWT", "pdbx_DELPHWT"}};

// A tag the user gave with or without the loop's prefix.
std::string WithoutPrefix(const std::string& tag) {
    const std::string low = Lower(tag);
    return low.rfind("_refln.", 0) == 0 || low.rfind("_refln_", 0) == 0 ? tag.substr(7) : tag;
}

// Amplitude and phase columns as given; reflections missing either are left out.
std::vector<Reflection> PairReflections(const ReflectionLoop& loop, const NamePair& pair, const std::string& path) {
    const std::vector<std::array<int, 3>> hkl = MillerIndices(loop, path);
    const size_t f = *loop.column(pair.first), phi = *loop.column(pair.second);
    std::vector<Reflection> out;
    for (size_t r = 0; r < loop.rows(); ++r) {
        const double amplitude = loop.number(r, f), phase = loop.number(r, phi);
        if (std::isfinite(amplitude) && std::isfinite(phase)) out.push_back({hkl[r], float(amplitude), float(phase)});
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

// A structure's CIF as SHELXL writes it may carry its reflections as the text of
// _shelx_hkl_file; without another model it is phased by its own atoms.
std::optional<MapCoefficients> EmbeddedHklCoefficients(cif::Document& doc, std::string_view bytes, const std::string& path,
                                                       const CoefficientChoice& choice,
                                                       const std::optional<PhasingModel>& model) {
    for (cif::Block& block : doc.blocks) {
        const std::string* text = block.find_value("_shelx_hkl_file");
        if (!text || cif::is_null(*text)) continue;
        SmallMoleculeData data = FromShelxHkl(ReadShelxHkl(cif::as_string(*text), path));
        data.cell = CellOf(block);
        data.group = SpaceGroupOf(block, path);
        const bool ownAtoms = !model && block.find_values("_atom_site_fract_x");
        MapCoefficients out = SmallMoleculeCoefficients(data, path, choice, ownAtoms ? PhasingModel{path, bytes} : model);
        out.phasedByInput = ownAtoms;
        return out;
    }
    return std::nullopt;
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
        if (std::optional<MapCoefficients> embedded = EmbeddedHklCoefficients(doc, bytes, path, choice, model))
            return *embedded;
        if (HasAtomSites(doc)) FailImport(path, "is a model, not a map or reflections; give it with --model");
        FailImport(path, "is a CIF file without reflections (_refln.index_h, _refln_index_h or _shelx_hkl_file)");
    }
    if (loops.front().second.mmcif || !choice.amplitude.empty()) return PairCoefficients(doc, loops, path, choice);
    return SmallMoleculeCoefficients(FromReflectionLoop(*loops.front().first, loops.front().second, path), path, choice,
                                     model);
}

}  // namespace tivarel
