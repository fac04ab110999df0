#include "export/number_format.h"

#include <charconv>
#include <cmath>

namespace tivarel {

namespace {

// Seven significant digits as %.7G writes them in the C locale: the exponent form chosen
// from the rounded value (below 1E-04 or from 1E+07 up), trailing zeros and a bare point
// dropped, the exponent with its sign and at least two digits (1E-06). to_chars, unlike
// printf, writes a point whatever the user's locale.
std::string Magnitude(double magnitude) {
    char buf[40];
    char* end = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::general, 7).ptr;
    std::string text(buf, end);
    for (char& c : text)
        if (c == 'e') c = 'E';
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
