#pragma once
// Choosing the amplitude and phase of the map coefficients among a file's column
// labels (MTZ) or reflection-loop tags (CIF), and saying what a file offers when it
// has no pair to use.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "import/map_coefficients.h"

namespace tivarel {

using NamePair = std::pair<std::string, std::string>;   // amplitude, phase

// The user's pair when both are among `names`, else the first of the default pairs
// (or, for the difference map, of the difference pairs) with both names present.
// Names compare without regard to case when `anyCase` is set (CIF tags).
std::optional<NamePair> ChooseNamePair(const std::vector<std::string>& names, const CoefficientChoice& choice,
                                       const std::vector<NamePair>& defaults, const std::vector<NamePair>& differences,
                                       bool anyCase);

// "FWT/PHWT or 2FOFCWT/PH2FOFCWT", or the user's pair: what was looked for.
std::string WantedPairs(const CoefficientChoice& choice, const std::vector<NamePair>& defaults,
                        const std::vector<NamePair>& differences);

// A Miller index read as a number: an integer of at most kMaxMillerIndex in size, or
// InputError naming the file and the reflection (counted from 1).
int MillerIndex(double value, const std::string& path, size_t reflection);

// A symmetry operation gemmi can read without overflowing its integers: short, with no
// number of more than four digits (real ones have 1, 2, 3, 4 or 6 and their fractions).
bool PlausibleTriplet(std::string_view triplet);

// "A, B and C", or "none".
std::string ListOfNames(const std::vector<std::string>& names);

}  // namespace tivarel
