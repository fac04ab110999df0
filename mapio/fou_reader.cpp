#include "mapio/fou_reader.h"

#include <cstdint>
#include <new>
#include <string>

#include "mapio/program_stop.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

// Items of an atom record that fit its four lines; longer records add lines.
constexpr int32_t kPlainRecordItems = 14;
// The grid is held in memory whole; larger grids are refused before allocation.
constexpr uint64_t kMaxGridValues = uint64_t{1} << 31;
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

int ReadGridCount(TextScanner& in, const char* name) {
    const int32_t n = in.readInt(name);
    if (n < 1 || n > kMaxCount)
        in.fail("declares " + std::string(name) + " = " + std::to_string(n) +
                "; a grid needs 1 to 32767 points on each axis");
    return n;
}

std::string GridSize(int nx, int ny, int nz) {
    return std::to_string(nx) + " x " + std::to_string(ny) + " x " + std::to_string(nz);
}

// Every value takes at least one character and all but the last a separator,
// so a file shorter than that cannot hold the grid it declares.
void CheckGridFitsFile(const TextScanner& in, int nx, int ny, int nz) {
    const uint64_t values = uint64_t(nx) * uint64_t(ny) * uint64_t(nz);  // < 2^45
    const uint64_t needed = 2 * values - 1;
    if (needed > in.remaining())
        in.fail("ends early: its grid of " + GridSize(nx, ny, nz) + " points needs at least " +
                std::to_string(needed) + " more bytes, but only " + std::to_string(in.remaining()) + " remain");
    if (values > kMaxGridValues)
        in.fail("declares a grid of " + GridSize(nx, ny, nz) + " points, more than this program can hold");
}

void SizeGrid(const TextScanner& in, DensityMap& map, int nx, int ny, int nz) {
    try {
        map.grid.resize(nx, ny, nz);
    } catch (const std::bad_alloc&) {
        in.fail("declares a grid of " + GridSize(nx, ny, nz) + " points, more than the memory can hold");
    }
}

// Step 9: the grid counts, checked against the limits and the file before the grid is sized.
void ReadGridCounts(TextScanner& in, DensityMap& map) {
    const int nx = ReadGridCount(in, "nx");
    const int ny = ReadGridCount(in, "ny");
    const int nz = ReadGridCount(in, "nz");
    CheckGridFitsFile(in, nx, ny, nz);
    SizeGrid(in, map, nx, ny, nz);
    map.gridParams(1) = static_cast<float>(nx);
    map.gridParams(2) = static_cast<float>(ny);
    map.gridParams(3) = static_cast<float>(nz);
}

// Step 10: nz sections, each a skipped line, a number not used, then the values
// with y running fastest.
void ReadSections(TextScanner& in, DensityMap& map) {
    ValueAcceptor acceptor;
    DensityGrid& grid = map.grid;
    for (int z = 1; z <= grid.nz(); ++z) {
        in.skipLine("the head line of a Z section");
        in.readFloat("the Z section number");
        for (int x = 1; x <= grid.nx(); ++x)
            for (int y = 1; y <= grid.ny(); ++y)
                acceptor.accept(grid, x, y, z, in.readFloat("the Z section values"));
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
    ReadGridCounts(in, map);
    ReadSections(in, map);
    ReadAtoms(in, map);
    FinishCellGeometry(map);
    return map;
}

DensityMap ReadFouMap(const std::string& path) { return ParseFouMap(ReadWholeFile(path), path); }

}  // namespace tivarel
