#include "export/number_format.h"

#include <cmath>
#include <cstdio>

namespace tivarel {

namespace {

// Seven significant digits; %G chooses the exponent form from the rounded value
// (below 1E-04 or from 1E+07 up), drops trailing zeros and a bare point, and writes
// the exponent with its sign and at least two digits (1E-06).
std::string Magnitude(double magnitude) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.7G", magnitude);
    std::string text = buf;
    if (text.rfind("0.", 0) == 0) text.erase(0, 1);   // .25, not 0.25
    return text;
}

}  // namespace

std::string FormatNumber(double value) {
    if (std::isnan(value)) return " NaN";
    const std::string sign = std::signbit(value) && value != 0.0 ? "-" : " ";
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) return sign + "Inf";
    if (magnitude == 0.0) return " 0";
    return sign + Magnitude(magnitude);
}

std::string FormatFileNumber(double value) { return FormatNumber(value) + ' '; }

}  // namespace tivarel
