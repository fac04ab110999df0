// The three kinds of read of the text map formats, and the lenient field rule.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

using test_support::StopMessage;

const std::string kFile = "/maps/sample.fou";

float ReadOneFloat(const std::string& text) { return TextScanner(text, kFile).readFloat("the value"); }

std::string Rejection(const std::string& item, int line = 1) {
    return "The map file " + kFile + " holds \"" + item + "\" where a number belongs (the value, line " +
           std::to_string(line) + ").";
}

// std::from_chars is the independent reference: whatever shape a decimal item has, the
// scanner gives its float to the bit, also when a separator and another number follow.
TEST(TextScannerNumbers, EveryDecimalShapeReadsAsFromCharsGivesIt) {
    const std::vector<std::string> items = {
        "+3.25", "-.25", "5.", "-0", "16777217", "1E+010", "1.17549435E-38", "3.4028235e38", "1.4e-45",
        "1.000000059604644775390625", "8388609.5", "-8388610.5", "9007199254740993", "1e23",
        // a hair off halfway between two floats, while the nearest double is halfway
        "260094681289047e-17", "8611611556261778e-18", "4451764425539295e-21", "8789878336301626e-22",
        "5077357635498047e-13", "6716022835462354e-20",
        // exactly halfway, or a hair below, with digits beyond double precision
        "3889.1153564453125", "298485460281372069e-16", "584693217277526855e-17"};
    for (const std::string& item : items) {
        const std::string_view unsigned_ = std::string_view(item).substr(item[0] == '+' ? 1 : 0);
        float want = 0.0f;
        ASSERT_EQ(std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), want).ec, std::errc()) << item;
        for (const char* separator : {" ", ",", "\t", "\r\n"}) {
            const std::string text = item + separator + "7";
            TextScanner in(text, kFile);
            ASSERT_EQ(std::bit_cast<uint32_t>(in.readFloat("v")), std::bit_cast<uint32_t>(want)) << item;
            ASSERT_EQ(in.readFloat("v"), 7.0f) << item << " followed by [" << separator << "]";
        }
    }
}

// Values too small for a float give a zero of their sign. At most 40 characters of an item
// are quoted, odd bytes as "?", then "..." if there is more.
TEST(TextScannerNumbers, ItemsThatAreNoDecimalNumberOrTooLargeAreNamedTooSmallAreSignedZeros) {
    for (const char* item : {"abc", "1.2.3", "1e", "1e+", "--1", "+", ".", "inf", "nan", "0x10", "12abc", "e5"})
        EXPECT_EQ(StopMessage([&] { ReadOneFloat(std::string("\r\n  ") + item); }), Rejection(item, 2));
    for (const char* item : {"1e39", "-3.5e38", "1e99999999999"})
        EXPECT_EQ(StopMessage([&] { ReadOneFloat(item); }),
                  "The map file " + kFile + " holds \"" + item + "\", out of range for a number (the value, line 1).");
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadOneFloat("1e-50")), std::bit_cast<uint32_t>(0.0f));
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadOneFloat("-0.000000000000000000000000000000000000000000000000001")),
              std::bit_cast<uint32_t>(-0.0f));
    const std::string odd = std::string("a\0b\x7f\xff", 5), z35(35, 'z');
    EXPECT_EQ(StopMessage([&] { ReadOneFloat(odd + z35); }), Rejection("a?b??" + z35));
    EXPECT_EQ(StopMessage([&] { ReadOneFloat(odd + z35 + "z"); }), Rejection("a?b??" + z35 + "..."));
}

TEST(TextScannerNumbers, IntegersMustBeWholeAndWithin32Bits) {
    for (const auto& [text, value] :
         {std::pair{"-7", -7}, std::pair{"+5", 5}, std::pair{"3.0", 3}, std::pair{"2E1", 20},
          std::pair{"2147483647", INT32_MAX}, std::pair{"-2147483648", INT32_MIN}})
        EXPECT_EQ(TextScanner(text, kFile).readInt("nx"), value) << text;
    for (const char* item : {"2147483648", "-2147483649", "2.5", "1e10", "x", "1e-50"})
        test_support::ExpectHolds(StopMessage([&] { TextScanner(item, kFile).readInt("nx"); }),
                                  {std::string("\"") + item + "\"", "(nx, line 1)"});
}

TEST(TextScannerSeparators, CommaBlankTabAndLineEndsSeparateAlikeAndANumberTakesOneComma) {
    TextScanner in("1,2 3\r\n4\t5 ,6\n7\r8  ,\t9\r\n\r\n\n 10,,2", kFile);
    for (int expected = 1; expected <= 10; ++expected) EXPECT_EQ(in.readFloat("v"), float(expected));
    EXPECT_EQ(StopMessage([&] { in.readFloat("v"); }),
              "The map file " + kFile + " holds an empty item where a number belongs (v, line 7).");
}

TEST(LenientNumberRule, TakesTheLeadingNumberIgnoringBlanks) {
    const std::pair<std::string, double> cases[] = {
        {"1 5", 15},   {" -1.5E2 x", -150}, {"", 0},    {"abc", 0},        {"1.2.3", 1.2},     {"1e", 1},
        {"1e+", 1},    {"1 e 2", 100},      {"- .5", -0.5}, {"+ 7", 7},    {"3\t4", 34},       {"E5", 0},
        {"2.e1", 20},  {"1,5", 1},          {"1e999", HUGE_VAL}, {"-1e999", -HUGE_VAL},
        {std::string(400, '9') + "Ex", HUGE_VAL}};
    for (const auto& [field, value] : cases) EXPECT_EQ(LenientNumber(field), value) << '"' << field << '"';
    const std::string line = "C          1.000   -2.500      3e1";
    EXPECT_EQ(Columns(line, 1, 1), "C");
    EXPECT_EQ(Columns(line, 20, 28), "-2.500   ");
    EXPECT_EQ(Columns(line, 30, 38), "  3e1");   // the line ends at column 34
    EXPECT_EQ(Columns(line, 40, 48), "");
}

}   // namespace
}   // namespace tivarel
