#pragma once
// Numbers as the program writes them in messages, the peak file and the POV-Ray
// scene: a blank or a minus sign, then at most seven significant digits, no
// leading zero (.25), no point for integral values (1), and exponent form
// (1E-06) for very small or very large magnitudes.
#include <string>

namespace tivarel {

std::string FormatNumber(double value);

}  // namespace tivarel
