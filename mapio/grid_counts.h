#pragma once
// The counts of a map file, checked the same way by every reader: the grid counts
// before the grid is sized (each within 1..kMaxCount, the values within what the
// program holds, and the rest of the file long enough for them), and the atom count.
// `Reader` is a map reader's input (text or bytes): it has readInt, remaining and fail.
#include <cstdint>
#include <new>
#include <string>

#include "mapio/map_model.h"

namespace tivarel {

inline std::string GridSize(int nx, int ny, int nz) {
    return std::to_string(nx) + " x " + std::to_string(ny) + " x " + std::to_string(nz);
}

template <typename Reader>
int ReadGridCount(Reader& in, const char* name) {
    const int32_t n = in.readInt(name);
    if (n < 1 || n > kMaxCount)
        in.fail("declares " + std::string(name) + " = " + std::to_string(n) +
                "; a grid needs 1 to " + std::to_string(kMaxCount) + " points on each axis");
    return n;
}

// Reads nx, ny, nz, checks them against the file (`neededBytes(nx, ny, nz)` is the
// least the rest of the file must hold) and sizes the grid.
template <typename Reader, typename NeededBytes>
void ReadGridCounts(Reader& in, DensityMap& map, NeededBytes neededBytes) {
    const int nx = ReadGridCount(in, "nx");
    const int ny = ReadGridCount(in, "ny");
    const int nz = ReadGridCount(in, "nz");
    // Counts below 32768 keep every size here far inside 64 bits.
    const uint64_t values = uint64_t(nx) * uint64_t(ny) * uint64_t(nz);
    const uint64_t needed = neededBytes(uint64_t(nx), uint64_t(ny), uint64_t(nz));
    if (needed > in.remaining())
        in.fail("ends early: its grid of " + GridSize(nx, ny, nz) + " points needs at least " +
                std::to_string(needed) + " more bytes, but only " + std::to_string(in.remaining()) + " remain");
    if (values > kMaxGridValues)
        in.fail("declares a grid of " + GridSize(nx, ny, nz) + " points, more than this program can hold");
    try {
        map.grid.resize(nx, ny, nz);
    } catch (const std::bad_alloc&) {
        in.fail("declares a grid of " + GridSize(nx, ny, nz) + " points, more than the memory can hold");
    }
    map.gridParams(1) = static_cast<float>(nx);
    map.gridParams(2) = static_cast<float>(ny);
    map.gridParams(3) = static_cast<float>(nz);
}

// At most kMaxCount atoms, which the program counts with 16-bit loops.
template <typename Reader>
void CheckAtomCount(Reader& in, int32_t count) {
    if (count > kMaxCount)
        in.fail("declares " + std::to_string(count) + " atoms; at most " + std::to_string(kMaxCount) +
                " are allowed");
}

// Text formats: every value takes at least one character and all but the last a separator.
inline uint64_t TextGridBytes(uint64_t nx, uint64_t ny, uint64_t nz) { return 2 * nx * ny * nz - 1; }

}  // namespace tivarel
