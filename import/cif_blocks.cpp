#include "import/cif_blocks.h"

#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>

#include <cctype>
#include <cmath>

#include "import/coefficient_names.h"

namespace tivarel {

namespace cif = gemmi::cif;

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> ReflectionLoop::names() const {
    std::vector<std::string> names;
    const std::string prefix = mmcif ? "_refln." : "_refln_";
    for (const std::string& tag : loop->tags)
        names.push_back(Lower(tag.substr(0, prefix.size())) == prefix ? tag.substr(prefix.size()) : tag);
    return names;
}

std::optional<size_t> ReflectionLoop::column(const std::string& name) const {
    const int at = loop->find_tag_lc(Lower((mmcif ? "_refln." : "_refln_") + name));
    return at < 0 ? std::nullopt : std::optional<size_t>(size_t(at));
}

double ReflectionLoop::number(size_t row, size_t column) const { return cif::as_number(loop->val(row, column)); }

std::optional<ReflectionLoop> FindReflectionLoop(cif::Block& block) {
    if (const cif::Loop* loop = block.find_loop("_refln.index_h").get_loop()) return ReflectionLoop{loop, true};
    if (const cif::Loop* loop = block.find_loop("_refln_index_h").get_loop()) return ReflectionLoop{loop, false};
    return std::nullopt;
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

const gemmi::SpaceGroup* SpaceGroupOf(cif::Block& block, const std::string& path) {
    for (const char* tag : {"_space_group_symop.operation_xyz", "_symmetry_equiv.pos_as_xyz",
                            "_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        const cif::Column column = block.find_values(tag);
        if (!column || column.length() == 0) continue;
        std::vector<gemmi::Op> ops;
        for (const std::string& value : column) {
            const std::string triplet = cif::as_string(value);
            if (!PlausibleTriplet(triplet))
                FailImport(path, "has a symmetry operation that cannot be read: '" + triplet.substr(0, 40) + "'");
            ops.push_back(WithGemmi(path, "has a symmetry operation that cannot be read: ",
                                    [&] { return gemmi::parse_triplet(triplet); }));
        }
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

}  // namespace tivarel
