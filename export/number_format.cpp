#include "export/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tivarel {

namespace {
// Plain form is used for magnitudes from 1E-04 up to seven integral digits.
constexpr double kSmallest = 1e-4;
constexpr double kLargest = 1e7;

std::string TrimMantissa(std::string mantissa) {
    if (mantissa.find('.') == std::string::npos) return mantissa;
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
    return mantissa;
}

std::string ExponentForm(double magnitude) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6E", magnitude);
    const char* e = std::strchr(buf, 'E');
    const std::string mantissa(buf, static_cast<size_t>(e - buf));
    return TrimMantissa(mantissa) + e;   // the exponent keeps its sign and two digits
}

std::string PlainForm(double magnitude) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.7g", magnitude);
    std::string text = buf;
    if (text.find('e') != std::string::npos) return ExponentForm(magnitude);   // rounded up to 1E+07
    if (text.rfind("0.", 0) == 0) text.erase(0, 1);
    return text;
}
}  // namespace

std::string FormatNumber(double value) {
    if (std::isnan(value)) return " NaN";
    const std::string sign = std::signbit(value) && value != 0.0 ? "-" : " ";
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0) return " 0";
    if (std::isinf(magnitude)) return sign + "Inf";
    if (magnitude < kSmallest || magnitude >= kLargest) return sign + ExponentForm(magnitude);
    return sign + PlainForm(magnitude);
}

}  // namespace tivarel
