#pragma once
// Writes MT1 binary maps, the layout the MT1 reader takes: little-endian, the cell
// matrix, origin and constants, the three grid axes, Z sections with y running
// fastest, then 58-byte atom records of 14 items each.
#include <array>
#include <string>
#include <vector>

#include "mapio/map_model.h"

namespace tivarel {

// One atom record: its label, three numbers before the position, the fractional
// position and seven numbers after it. The viewer reads only the label and the position.
struct Mt1Atom {
    std::string label;   // 1 to 4 characters, padded with blanks to four
    std::array<float, 3> before{};
    Vec3 position;
    std::array<float, 7> after{};
};

struct Mt1Contents {
    Mat3 cellMatrix;
    Vec3 mapOrigin;
    std::array<float, 6> cellParams{};
    std::array<float, 3> first{};   // grid frame coordinate of the first point on x, y, z
    std::array<float, 3> step{};
    DensityGrid grid;               // counts and values
    std::vector<Mt1Atom> atoms;
};

// The file's bytes. The bytes the reader skips are zeros.
std::string Mt1Bytes(const Mt1Contents& map);

}  // namespace tivarel
