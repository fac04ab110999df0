#pragma once
// The marching-cubes case table, read from cell_table.dat.
//
// Cube corners (offsets in grid steps) and edges, from-corner -> to-corner:
//
//        7 -------- 6          edge  1: 0->1 (x)   5: 4->5 (x)   9: 0->4 (z)
//       /|         /|          edge  2: 1->2 (y)   6: 5->6 (y)  10: 1->5 (z)
//      4 -------- 5 |          edge  3: 3->2 (x)   7: 7->6 (x)  11: 3->7 (z)
//      | 3 -------|-2          edge  4: 0->3 (y)   8: 4->7 (y)  12: 2->6 (z)
//      |/         |/
//      0 -------- 1     z up, y into the page, x to the right
//
// Corner k is bit k of the case index; a corner is set when its value is
// strictly above the level.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tivarel {

struct CubeEdge {
    int from, to;   // corner numbers 0..7
    int axis;       // 0 = x, 1 = y, 2 = z
};

// Edges 1..12 at indices 1..12 (index 0 unused).
inline constexpr std::array<CubeEdge, 13> kCubeEdges = {{
    {0, 0, 0},
    {0, 1, 0}, {1, 2, 1}, {3, 2, 0}, {0, 3, 1},
    {4, 5, 0}, {5, 6, 1}, {7, 6, 0}, {4, 7, 1},
    {0, 4, 2}, {1, 5, 2}, {3, 7, 2}, {2, 6, 2},
}};

// Corner offsets (dx, dy, dz) of corners 0..7.
inline constexpr std::array<std::array<int, 3>, 8> kCubeCorners = {{
    {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
    {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1},
}};

struct CaseTable {
    // Element 0: number of cut edges n; elements 1..n: the edge numbers.
    std::array<std::array<int16_t, 13>, 256> caseEdges{};
    // Element 0: number of triangles m; elements 3j-2..3j: edges of triangle j.
    std::array<std::array<int16_t, 31>, 256> caseTriangles{};
};

// Parses the table text: 256 records of 9 ignored + 13 + 31 integers and a -99
// terminator. A wrong terminator ends the program silently; a missing file,
// short file or bad value ends it with a message naming the file.
CaseTable ParseCellTable(std::string_view text, const std::string& path);
CaseTable LoadCellTable(const std::string& path);

}  // namespace tivarel
