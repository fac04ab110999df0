#pragma once
// What the reflection readers take from CIF blocks with gemmi: the cell, the space
// group, the reflection loop and its Miller indices. Internal to the import.
#include <gemmi/cifdoc.hpp>
#include <gemmi/symmetry.hpp>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "import/import_error.h"

namespace tivarel {

std::string Lower(std::string text);

// The reflection loop of a block, "_refln." in mmCIF and "_refln_" in core CIF.
struct ReflectionLoop {
    const gemmi::cif::Loop* loop = nullptr;
    bool mmcif = false;

    // The tags after the prefix.
    std::vector<std::string> names() const;
    std::optional<size_t> column(const std::string& name) const;
    // Null values ('?', '.') are NaN.
    double number(size_t row, size_t column) const;
    size_t rows() const { return loop->length(); }
};

std::optional<ReflectionLoop> FindReflectionLoop(gemmi::cif::Block& block);

// Miller indices of every row, checked.
std::vector<std::array<int, 3>> MillerIndices(const ReflectionLoop& loop, const std::string& path);

// a, b, c (NaN when not given) and the angles (90 when not given).
std::array<double, 6> CellOf(gemmi::cif::Block& block);

// The space group a block gives by its symmetry operations or else by name; none when it
// gives neither.
const gemmi::SpaceGroup* SpaceGroupOf(gemmi::cif::Block& block, const std::string& path);

}  // namespace tivarel
