#include "mapio/grd_reader.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>

#include "mapio/grid_counts.h"
#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

const std::array<const char*, 3> kAxisNames{"x", "y", "z"};
const std::array<const char*, 3> kCountNames{"nx", "ny", "nz"};
// First column of the x, y and z fields of an atom line; each is nine columns wide.
constexpr std::array<int, 3> kCoordinateColumns{10, 20, 30};
constexpr int kFieldWidth = 9;

// Titles and the grid counts, checked before the grid is sized.
void ReadTitlesAndCounts(TextScanner& in, DensityMap& map) {
    for (int line = 0; line < 4; ++line) in.skipLine("the title lines");
    ReadGridCounts(in, map, TextGridBytes);
}

// The box frame needs no cell: identity matrix, unit constants, grid starting at 0.
void SetBoxFrame(DensityMap& map) {
    map.cellMatrix = Mat3::identity();
    map.cellParams.fill(1.0f);
    for (int pos = 4; pos <= 6; ++pos) map.gridParams(pos) = 0.0f;
}

// The grid spans 0 to L on each axis; the box corner at centre - L/2 becomes zero.
void ReadBox(TextScanner& in, DensityMap& map) {
    Vec3 centre, length;
    for (int a = 0; a < 3; ++a) centre[a] = in.readFloat("the box centre");
    for (int a = 0; a < 3; ++a) length[a] = in.readFloat("the box lengths");
    for (int a = 0; a < 3; ++a) {
        const int n = static_cast<int>(map.gridParams(1 + a));
        if (n == 1)
            in.fail(std::string("has only one grid point along ") + kAxisNames[size_t(a)] + " (" +
                    kCountNames[size_t(a)] + " = 1); the grid step of a box needs at least two");
        map.gridParams(7 + a) = length[a] / static_cast<float>(n - 1);
        map.mapOrigin[a] = centre[a] - length[a] / 2.0f;
    }
}

float CoordinateField(const TextScanner& in, std::string_view line, int axis, int32_t atomNumber) {
    const int first = kCoordinateColumns[size_t(axis)];
    const double v = LenientNumber(Columns(line, first, first + kFieldWidth - 1));
    if (!(std::fabs(v) <= double(FLT_MAX)))
        in.fail("holds an atom coordinate out of range (atom " + std::to_string(atomNumber) + ", columns " +
                std::to_string(first) + " to " + std::to_string(first + kFieldWidth - 1) + ")");
    return static_cast<float>(v);
}

// Column 1 is the element letter; a longer element name is cut to it.
AtomRecord ReadAtom(TextScanner& in, int32_t atomNumber) {
    const std::string line = in.readTextLine("an atom line");
    if (line.empty())
        in.fail("has an empty line where atom " + std::to_string(atomNumber) +
                " belongs; an atom line starts with its element letter");
    AtomRecord atom;
    atom.name = line.substr(0, 1) + "   ";
    for (int axis = 0; axis < 3; ++axis) atom.position[axis] = CoordinateField(in, line, axis, atomNumber);
    return atom;
}

// The atom list: a skipped line, the count, one line per atom. A count below 1 means no atoms.
void ReadAtoms(TextScanner& in, DensityMap& map) {
    in.skipLine("the line before the atom count");
    const int32_t count = in.readInt("the atom count");
    CheckAtomCount(in, count);
    for (int32_t i = 1; i <= count; ++i) map.atoms.push_back(ReadAtom(in, i));
}

// The values, with x running fastest.
void ReadValues(TextScanner& in, DensityMap& map) {
    for (int line = 0; line < 3; ++line) in.skipLine("the lines before the values");
    ValueAcceptor acceptor;
    DensityGrid& grid = map.grid;
    for (int z = 1; z <= grid.nz(); ++z)
        for (int y = 1; y <= grid.ny(); ++y)
            for (int x = 1; x <= grid.nx(); ++x) acceptor.accept(grid, x, y, z, in.readFloat("the density values"));
    acceptor.store(map.gridParams);
}

}  // namespace

DensityMap ParseGrdMap(std::string_view text, const std::string& path) {
    TextScanner in(text, path);
    DensityMap map;
    ReadTitlesAndCounts(in, map);
    SetBoxFrame(map);
    ReadBox(in, map);
    ReadAtoms(in, map);
    FinishCellGeometry(map);
    ReadValues(in, map);
    return map;
}

DensityMap ReadGrdMap(const std::string& path) { return ParseGrdMap(FileBytes(path).view(), path); }

}  // namespace tivarel
