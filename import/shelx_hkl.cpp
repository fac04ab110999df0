#include "import/shelx_hkl.h"

#include <charconv>
#include <cmath>

#include "import/coefficient_names.h"
#include "import/import_error.h"

namespace tivarel {
namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<double> Number(std::string_view field) {
    field = Trimmed(field);
    if (!field.empty() && field[0] == '+') field.remove_prefix(1);
    double v = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<HklLine> FromFields(const std::array<std::string_view, 5>& fields) {
    std::array<double, 5> v{};
    for (size_t i = 0; i < 5; ++i) {
        const std::optional<double> n = Number(fields[i]);
        if (!n) return std::nullopt;
        v[i] = *n;
    }
    HklLine line;
    for (size_t i = 0; i < 3; ++i) {
        if (v[i] != std::floor(v[i]) || std::fabs(v[i]) > kMaxMillerIndex) return std::nullopt;
        line.hkl[i] = int(v[i]);
    }
    line.intensity = v[3];
    line.sigma = v[4];
    return line;
}

// Five fields split at blanks.
std::optional<std::array<std::string_view, 5>> Words(std::string_view line) {
    std::array<std::string_view, 5> words;
    for (size_t i = 0; i < 5; ++i) {
        line = Trimmed(line);
        if (line.empty()) return std::nullopt;
        const size_t end = std::min(line.find_first_of(" \t"), line.size());
        words[i] = line.substr(0, end);
        line.remove_prefix(end);
    }
    return words;
}

}  // namespace

std::optional<HklLine> ParseHklLine(std::string_view line) {
    if (line.size() >= 28) {   // SHELX's own columns, where numbers may touch: "  -1-10  12"
        const std::array<std::string_view, 5> fields{line.substr(0, 4), line.substr(4, 4), line.substr(8, 4),
                                                     line.substr(12, 8), line.substr(20, 8)};
        if (std::optional<HklLine> read = FromFields(fields)) return read;
    }
    const std::optional<std::array<std::string_view, 5>> words = Words(line);
    return words ? FromFields(*words) : std::nullopt;
}

std::vector<HklLine> ReadShelxHkl(std::string_view text, const std::string& path) {
    std::vector<HklLine> lines;
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (Trimmed(line).empty()) continue;
        const std::optional<HklLine> read = ParseHklLine(line);
        if (!read)
            FailImport(path, "line " + std::to_string(number) + " is not a reflection (h k l F² σ): '" +
                                 std::string(Trimmed(line).substr(0, 40)) + "'");
        if (read->hkl == std::array<int, 3>{0, 0, 0}) break;
        lines.push_back(*read);
    }
    return lines;
}

bool LooksLikeShelxHkl(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return false;
    const size_t start = text.rfind('\n', first) == std::string_view::npos ? 0 : text.rfind('\n', first) + 1;
    const size_t end = std::min(text.find('\n', first), text.size());
    return ParseHklLine(text.substr(start, end - start)).has_value();
}

}  // namespace tivarel
