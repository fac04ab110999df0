#pragma once
// SHELX HKLF 4 reflection lists: h k l F^2 sigma(F^2) per line, in the columns 3I4 2F8
// (a batch number may follow), ended by a line of 0 0 0. As a file of its own, or as the
// text of a CIF's _shelx_hkl_file, as SHELXL writes it into the structure's CIF.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tivarel {

struct HklLine {
    std::array<int, 3> hkl{};
    double intensity = 0.0;   // F^2
    double sigma = 0.0;
};

// One line read by SHELX's columns, or else as five numbers apart; nothing when it is
// not a reflection.
std::optional<HklLine> ParseHklLine(std::string_view line);

// Every reflection up to the line of 0 0 0 or the end; throws InputError naming the file
// and the line that is not a reflection. Blank lines are skipped.
std::vector<HklLine> ReadShelxHkl(std::string_view text, const std::string& path);

// The first non-blank line is a reflection.
bool LooksLikeShelxHkl(std::string_view text);

}  // namespace tivarel
