#include "import/coefficient_names.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "import/import_error.h"

namespace tivarel {
namespace {

bool SameName(const std::string& a, const std::string& b, bool anyCase) {
    if (!anyCase) return a == b;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The name as the file writes it, when the file has it.
std::optional<std::string> Find(const std::vector<std::string>& names, const std::string& wanted, bool anyCase) {
    for (const std::string& name : names)
        if (SameName(name, wanted, anyCase)) return name;
    return std::nullopt;
}

}  // namespace

std::optional<NamePair> ChooseNamePair(const std::vector<std::string>& names, const CoefficientChoice& choice,
                                       const std::vector<NamePair>& defaults, const std::vector<NamePair>& differences,
                                       bool anyCase) {
    const bool named = !choice.amplitude.empty();
    const std::vector<NamePair> wanted =
        named ? std::vector<NamePair>{{choice.amplitude, choice.phase}} : choice.difference ? differences : defaults;
    for (const auto& [amplitude, phase] : wanted) {
        const std::optional<std::string> a = Find(names, amplitude, anyCase), p = Find(names, phase, anyCase);
        if (a && p) return NamePair{*a, *p};
    }
    return std::nullopt;
}

std::string WantedPairs(const CoefficientChoice& choice, const std::vector<NamePair>& defaults,
                        const std::vector<NamePair>& differences) {
    if (!choice.amplitude.empty()) return choice.amplitude + "/" + choice.phase;
    std::string text;
    const std::vector<NamePair>& pairs = choice.difference ? differences : defaults;
    for (size_t i = 0; i < pairs.size(); ++i)
        text += (i == 0 ? "" : " or ") + pairs[i].first + "/" + pairs[i].second;
    return text;
}

int MillerIndex(double value, const std::string& path, size_t reflection) {
    if (!(std::fabs(value) <= kMaxMillerIndex) || value != std::floor(value))
        FailImport(path, "reflection " + std::to_string(reflection) + " has the Miller index " + ShortNumber(value) +
                             ", not a whole number from -" + std::to_string(kMaxMillerIndex) + " to " +
                             std::to_string(kMaxMillerIndex));
    return static_cast<int>(value);
}

bool PlausibleTriplet(std::string_view triplet) {
    if (triplet.size() > 200) return false;
    size_t run = 0;
    for (char c : triplet) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run > 4) return false;
    }
    return true;
}

std::string ListOfNames(const std::vector<std::string>& names) {
    if (names.empty()) return "none";
    std::string text = names.front();
    for (size_t i = 1; i < names.size(); ++i) text += (i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

}  // namespace tivarel
