// Number format of messages, the peak file and the POV-Ray scene: sign blank, at most seven
// significant digits, no leading zero, exponent form at the ends.
#include <gtest/gtest.h>

#include <string>

#include "export/number_format.h"

namespace tivarel {
namespace {

TEST(FormatNumber, SignBlankSevenDigitsNoLeadingZeroAndExponentFormAtTheEnds) {
    const struct { double value; const char* text; } cases[] = {
        {0.0, " 0"}, {-0.0, " 0"}, {1.0, " 1"}, {-1.0, "-1"}, {0.25, " .25"}, {-0.125, "-.125"}, {12.5, " 12.5"},
        {-300.0, "-300"}, {0.0001, " .0001"}, {9999999.0, " 9999999"},
        {123.456789, " 123.4568"}, {1234567.8, " 1234568"}, {-0.000123456789, "-.0001234568"}, {2.0 / 3.0, " .6666667"},
        // single-precision values show their seven-digit form, not their binary tail
        {0.1f, " .1"}, {0.499999f, " .499999"},
        {1e-6, " 1E-06"}, {0.99999994e-4, " 9.999999E-05"}, {-1.5e-10, "-1.5E-10"}, {1.234567891e-20, " 1.234568E-20"},
        {1e7, " 1E+07"}, {12345678.0, " 1.234568E+07"}, {-2.5e20, "-2.5E+20"},
        {9999999.6, " 1E+07"}};   // rounding to seven digits carries into the eighth
    for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
    EXPECT_EQ(FormatFileNumber(3), " 3 ");
    EXPECT_EQ(FormatFileNumber(-0.125), "-.125 ");
}

}  // namespace
}  // namespace tivarel
