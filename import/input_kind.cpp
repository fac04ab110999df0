#include "import/input_kind.h"

#include <algorithm>
#include <cctype>

#include "import/shelx_hkl.h"

namespace tivarel {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char p, char t) { return p == std::tolower(static_cast<unsigned char>(t)); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A line that begins with one of the records every PDB file is made of.
bool IsPdbRecord(std::string_view line) {
    for (std::string_view record : {"HEADER", "CRYST1", "ATOM  ", "HETATM", "MODEL ", "REMARK", "TITLE ", "COMPND"})
        if (line.substr(0, record.size()) == record) return true;
    return false;
}

}  // namespace

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? bytes.substr(3) : bytes;
}

bool IsCifText(std::string_view bytes) {
    bytes = WithoutByteOrderMark(bytes);
    size_t at = 0;
    while (at < bytes.size()) {
        if (IsBlank(bytes[at])) {
            ++at;
        } else if (bytes[at] == '#') {
            const size_t end = bytes.find('\n', at);
            at = end == std::string_view::npos ? bytes.size() : end + 1;
        } else {
            return StartsWithNoCase(bytes.substr(at), "data_");
        }
    }
    return false;
}

InputKind KindOfInput(std::string_view bytes) {
    if (bytes.substr(0, 4) == "MTZ ") return InputKind::Mtz;
    if (bytes.size() >= 212 && bytes.substr(208, 4) == "MAP ") return InputKind::Ccp4Map;
    if (IsCifText(bytes)) return InputKind::Cif;
    // A PDB file's first records; only its first lines are looked at.
    size_t at = 0;
    for (int line = 0; line < 20 && at < bytes.size(); ++line) {
        const size_t end = std::min(bytes.find('\n', at), bytes.size());
        if (IsPdbRecord(bytes.substr(at, end - at))) return InputKind::Pdb;
        at = end + 1;
    }
    return LooksLikeShelxHkl(bytes) ? InputKind::ShelxHkl : InputKind::Unknown;
}

}  // namespace tivarel
