#include "mapio/fou_reader.h"

#include <cstdint>
#include <new>
#include <string>

#include "mapio/grid_counts.h"
#include "mapio/program_stop.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

// Items of an atom record that fit its four lines; longer records add lines.
constexpr int32_t kPlainRecordItems = 14;
// The grid is held in memory whole; larger grids are refused before allocation.
const char* const kBadAtomName = "Your atom name looks strange, name lengh  <> [1,2,3,4]";

void SkipNumbers(TextScanner& in, int count, const char* what) {
    for (int i = 0; i < count; ++i) in.readFloat(what);
}

// Steps 1 to 6 of the layout: titles, cell matrix, origin, cell constants.
void ReadCellRecords(TextScanner& in, DensityMap& map) {
    in.skipLine("the first title line");
    in.skipLine("the second title line");
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) map.cellMatrix(i, j) = in.readFloat("the cell matrix");
    for (int c = 0; c < 3; ++c) map.mapOrigin[c] = in.readFloat("the map origin");
    in.skipLine("the line after the map origin");
    for (float& constant : map.cellParams) constant = in.readFloat("the cell constants");
    in.skipLine("the line after the cell constants");
}

// Step 7 and 8: per axis the first grid coordinate, the step and two numbers not used.
void ReadAxes(TextScanner& in, GridParams& g) {
    for (int axis = 1; axis <= 3; ++axis) {
        g(3 + axis) = in.readFloat("the first grid coordinate");
        g(6 + axis) = in.readFloat("the grid step");
        SkipNumbers(in, 2, "the axis numbers not used");
    }
    in.skipLine("the line after the grid axes");
}

// Step 10: nz sections, each a skipped line, a number not used, then the values
// with y running fastest.
void ReadSections(TextScanner& in, DensityMap& map) {
    ValueAcceptor acceptor;
    DensityGrid& grid = map.grid;
    for (int z = 1; z <= grid.nz(); ++z) {
        in.skipLine("the head line of a Z section");
        in.readFloat("the Z section number");
        float* section = &grid(1, 1, z);
        for (int x = 1; x <= grid.nx(); ++x) {
            // Along y the values lie nx apart.
            size_t at = static_cast<size_t>(x - 1);
            for (int y = 1; y <= grid.ny(); ++y, at += static_cast<size_t>(grid.nx()))
                section[at] = acceptor.accept(in.readFloat("the Z section values"));
        }
    }
    acceptor.store(map.gridParams);
}

std::string PaddedAtomName(std::string label) {
    if (label.empty() || label.size() > 4) stopProgram(kBadAtomName);
    label.resize(4, ' ');
    return label;
}

AtomRecord ReadAtom(TextScanner& in, int32_t itemsPerRecord) {
    AtomRecord atom;
    atom.name = PaddedAtomName(in.readTextLine("an atom label"));
    SkipNumbers(in, 3, "the atom numbers not used");
    for (int c = 0; c < 3; ++c) atom.position[c] = in.readFloat("an atom position");
    SkipNumbers(in, 7, "the atom numbers not used");
    for (int32_t item = kPlainRecordItems; item < itemsPerRecord; ++item)
        in.skipLine("the extra lines of an atom record");
    return atom;
}

// Steps 11 to 13. A count below 1 means no atoms.
void ReadAtoms(TextScanner& in, DensityMap& map) {
    in.skipLine("the line before the atom list");
    const int32_t count = in.readInt("the atom count");
    const int32_t itemsPerRecord = in.readInt("the number of items per atom record");
    if (count > kMaxCount)
        in.fail("declares " + std::to_string(count) + " atoms; at most 32767 are allowed");
    for (int32_t i = 0; i < count; ++i) map.atoms.push_back(ReadAtom(in, itemsPerRecord));
}

}  // namespace

DensityMap ParseFouMap(std::string_view text, const std::string& path) {
    TextScanner in(text, path);
    DensityMap map;
    ReadCellRecords(in, map);
    ReadAxes(in, map.gridParams);
    ReadGridCounts(in, map, TextGridBytes);
    ReadSections(in, map);
    ReadAtoms(in, map);
    FinishCellGeometry(map);
    return map;
}

DensityMap ReadFouMap(const std::string& path) { return ParseFouMap(ReadWholeFile(path), path); }

}  // namespace tivarel
