#include "import/model_atoms.h"

#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>
#include <gemmi/smcif.hpp>

#include <cmath>

#include "import/import_error.h"
#include "mapio/map_model.h"
#include "import/input_kind.h"

namespace tivarel {
namespace {

std::string ElementLabel(gemmi::Element element, const std::string& atomName, const std::string& path) {
    if (element == gemmi::El::X) FailImport(path, "atom " + atomName + " has an unknown element");
    if (element == gemmi::El::D) return "H";
    return element.name();
}

void AddAtom(Model& model, const std::string& path, ModelAtom atom, const std::string& name) {
    if (!std::all_of(atom.fractional.begin(), atom.fractional.end(), [](double v) { return std::isfinite(v); }))
        FailImport(path, "atom " + name + " has no position");
    if (model.atoms.size() == static_cast<size_t>(kMaxCount))
        FailImport(path, "holds more than " + std::to_string(kMaxCount) + " atoms, more than a map file takes");
    model.atoms.push_back(std::move(atom));
}

std::optional<std::array<double, 6>> CellOf(const gemmi::UnitCell& cell) {
    if (!cell.is_crystal()) return std::nullopt;
    return std::array<double, 6>{cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma};
}

Model FromSmallMolecule(const gemmi::SmallStructure& st, const std::string& path) {
    Model model;
    model.cell = CellOf(st.cell);
    if (!model.cell) FailImport(path, "gives no cell, so its fractional positions cannot be placed");
    for (const gemmi::SmallStructure::Site& site : st.sites)
        AddAtom(model, path,
                {ElementLabel(site.element, site.label, path), {site.fract.x, site.fract.y, site.fract.z},
                 float(site.occ), float(site.u_iso)},
                site.label);
    return model;
}

// Atoms of the first model, made fractional in the map's cell.
Model FromMacromolecule(const gemmi::Structure& st, const std::string& path, const std::array<double, 6>& mapCell) {
    Model model;
    model.cell = CellOf(st.cell);
    if (st.models.empty()) return model;
    const gemmi::UnitCell frame(mapCell[0], mapCell[1], mapCell[2], mapCell[3], mapCell[4], mapCell[5]);
    for (const gemmi::Chain& chain : st.models.front().chains)
        for (const gemmi::Residue& residue : chain.residues)
            for (const gemmi::Atom& atom : residue.atoms) {
                const gemmi::Fractional f = frame.fractionalize(atom.pos);
                const std::string name = chain.name + "/" + residue.name + residue.seqid.str() + "/" + atom.name;
                AddAtom(model, path,
                        {ElementLabel(atom.element, name, path), {f.x, f.y, f.z}, atom.occ,
                         float(atom.b_iso / gemmi::u_to_b())},
                        name);
            }
    return model;
}

Model FromCif(std::string_view bytes, const std::string& path, const std::array<double, 6>& mapCell) {
    bytes = WithoutByteOrderMark(bytes);
    gemmi::cif::Document doc = WithGemmi(path, "cannot be read as a model: ", [&] {
        return gemmi::cif::read_memory(bytes.data(), bytes.size(), path.c_str());
    });
    for (gemmi::cif::Block& block : doc.blocks) {
        if (block.find_values("_atom_site.Cartn_x"))
            return WithGemmi(path, "cannot be read as a model: ", [&] {
                return FromMacromolecule(gemmi::make_structure(doc), path, mapCell);
            });
        if (block.find_values("_atom_site_fract_x"))
            return WithGemmi(path, "cannot be read as a model: ", [&] {
                return FromSmallMolecule(gemmi::make_small_structure_from_block(block), path);
            });
    }
    FailImport(path, "is a CIF file without atom sites");
}

}  // namespace

Model ParseModel(std::string_view bytes, const std::string& path, const std::array<double, 6>& mapCell) {
    Model model =
        IsCifText(bytes) ? FromCif(bytes, path, mapCell) : WithGemmi(path, "cannot be read as a model: ", [&] {
            return FromMacromolecule(gemmi::read_pdb_from_memory(bytes.data(), bytes.size(), path), path, mapCell);
        });
    if (model.atoms.empty()) FailImport(path, "holds no atoms (not a CIF, mmCIF or PDB model?)");
    return model;
}

}  // namespace tivarel
