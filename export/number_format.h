#pragma once
// Numbers as the program writes them: a blank or a minus sign, then at most seven
// significant digits, no leading zero (.25), no point for integral values (1), and
// exponent form (1E-06) for magnitudes that round to below 1E-04 or to 1E+07 and up.
#include <string>

namespace tivarel {

// The message form: " 3", "-.125", " 1E-06".
std::string FormatNumber(double value);

// The form of the peak file and the POV-Ray scene: the message form followed by
// one blank, so every number in those files ends with a blank (" 3 ", "-.125 ").
std::string FormatFileNumber(double value);

}  // namespace tivarel
