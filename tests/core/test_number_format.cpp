// Number format of messages, the peak file and the POV-Ray scene: sign blank, at most seven
// significant digits, no leading zero, exponent form at the ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/number_format.h"

namespace tivarel {
namespace {

void ExpectForms(const std::vector<double>& values, const std::vector<std::string>& texts) {
    ASSERT_EQ(values.size(), texts.size());
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(FormatNumber(values[i]), texts[i]) << values[i];
}

// Single-precision values show their seven-digit form, not their binary tail; rounding to
// seven digits may carry into the eighth.
TEST(FormatNumber, SignBlankSevenDigitsNoLeadingZeroAndExponentFormAtTheEnds) {
    ExpectForms({0.0, -0.0, 1.0, -1.0, 0.25, -0.125, 12.5, -300.0, 0.0001, 9999999.0},
                {" 0", " 0", " 1", "-1", " .25", "-.125", " 12.5", "-300", " .0001", " 9999999"});
    ExpectForms({123.456789, 1234567.8, -0.000123456789, 2.0 / 3.0, 0.1f, 0.499999f},
                {" 123.4568", " 1234568", "-.0001234568", " .6666667", " .1", " .499999"});
    ExpectForms(
        {1e-6, 0.99999994e-4, -1.5e-10, 1.234567891e-20, 1e7, 12345678.0, -2.5e20, 9999999.6},
        {" 1E-06", " 9.999999E-05", "-1.5E-10", " 1.234568E-20", " 1E+07", " 1.234568E+07", "-2.5E+20", " 1E+07"});
    EXPECT_EQ(FormatFileNumber(3), " 3 ");
    EXPECT_EQ(FormatFileNumber(-0.125), "-.125 ");
}

}   // namespace
}   // namespace tivarel
