// Number format of messages, the peak file and the POV-Ray scene: sign blank,
// at most seven significant digits, no leading zero, exponent form at the ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "export/number_format.h"

namespace tivarel {
namespace {

struct Case {
    double value;
    const char* text;
};

TEST(FormatNumber, PlainFormHasSignBlankNoLeadingZeroAndNoPointForIntegers) {
    const Case cases[] = {
        {0.0, " 0"},          {-0.0, " 0"},           {1.0, " 1"},           {-1.0, "-1"},
        {3.0, " 3"},          {0.25, " .25"},         {-0.125, "-.125"},     {0.5f, " .5"},
        {12.5, " 12.5"},      {-300.0, "-300"},       {0.0001, " .0001"},    {0.00012, " .00012"},
        {9999999.0, " 9999999"}, {1000000.0, " 1000000"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(FormatNumber, RoundsToSevenSignificantDigits) {
    const Case cases[] = {
        {123.456789, " 123.4568"},    {1234567.8, " 1234568"},     {0.12345678, " .1234568"},
        {-0.000123456789, "-.0001234568"}, {2.0 / 3.0, " .6666667"},
        // Single-precision values show their seven-digit form, not their binary tail.
        {0.1f, " .1"},                {0.499999f, " .499999"},     {-0.123457f, "-.123457"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(FormatNumber, ExponentFormForVerySmallAndVeryLargeMagnitudes) {
    const Case cases[] = {
        {1e-6, " 1E-06"},         {0.99999994e-4, " 9.999999E-05"},         {-1e-6, "-1E-06"},          {9.9e-5, " 9.9E-05"},
        {-1.5e-10, "-1.5E-10"},   {1.234567891e-20, " 1.234568E-20"},
        {1e7, " 1E+07"},          {12345678.0, " 1.234568E+07"}, {-2.5e20, "-2.5E+20"},
        // Rounding to seven digits carries into the eighth: exponent form, not "10000000".
        {9999999.6, " 1E+07"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(FormatFileNumber, IsTheMessageFormFollowedByOneBlank) {
    EXPECT_EQ(FormatFileNumber(3), " 3 ");
    EXPECT_EQ(FormatFileNumber(0), " 0 ");
    EXPECT_EQ(FormatFileNumber(-0.125), "-.125 ");
    EXPECT_EQ(FormatFileNumber(1e-6), " 1E-06 ");
}

// Mantissa digits without the point and the leading zeros.
int SignificantDigits(const std::string& number) {
    const std::string mantissa = number.substr(0, number.find('E'));
    std::string digits;
    for (char ch : mantissa)
        if (ch >= '0' && ch <= '9' && !(digits.empty() && ch == '0')) digits += ch;
    return static_cast<int>(digits.size());
}

TEST(FormatNumber, RandomSingleValuesReadBackWithinSevenDigits) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> exponent(-12.0, 12.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        const float value = static_cast<float>(unit(random) * std::pow(10.0, exponent(random)));
        const std::string text = FormatNumber(value);
        SCOPED_TRACE(text);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text[0], value < 0 ? '-' : ' ');
        const std::string body = text.substr(1);
        EXPECT_NE(body.substr(0, 2), "0.");
        EXPECT_LE(SignificantDigits(body), 7);
        const double magnitude = std::fabs(static_cast<double>(value));
        const bool exponentForm = body.find('E') != std::string::npos;
        // The form follows the magnitude after rounding to seven digits.
        EXPECT_EQ(exponentForm, magnitude < 0.99999995e-4 || magnitude >= 9999999.5);
        const double back = std::strtod(body.c_str(), nullptr);
        EXPECT_NEAR(back, magnitude, magnitude * 5.0000001e-7);
    }
}

TEST(FormatNumber, IntegralValuesHaveNoPoint) {
    for (int v = -1000; v <= 1000; v += 7) {
        const std::string text = FormatNumber(v);
        EXPECT_EQ(text.find('.'), std::string::npos) << text;
        EXPECT_EQ(std::stoi(text), v);
    }
}

}  // namespace
}  // namespace tivarel
