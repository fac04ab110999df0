// The three kinds of read of the text map formats, and the lenient field rule.
#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/program_stop.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

using test_support::StopMessage;

const std::string kFile = "/maps/sample.fou";

float ReadOneFloat(const std::string& text) {
    TextScanner in(text, kFile);
    return in.readFloat("the value");
}

uint32_t Bits(float f) {
    uint32_t u = 0;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// ---------------------------------------------------------------- number syntax

TEST(TextScannerNumbers, AcceptsDecimalForms) {
    const struct {
        const char* text;
        float value;
    } cases[] = {
        {"1", 1.0f},         {"-2.5", -2.5f},      {"+3.25", 3.25f},   {"1e3", 1000.0f},
        {"1E-2", 0.01f},     {"1.5e+2", 150.0f},   {".5", 0.5f},       {"5.", 5.0f},
        {"-.25", -0.25f},    {"0.1", 0.1f},        {"007", 7.0f},      {"+0", 0.0f},
        {"-1.5E2", -150.0f}, {"123456789", 123456792.0f},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadOneFloat(c.text), c.value) << c.text;
}

TEST(TextScannerNumbers, ResultIsTheCorrectlyRoundedFloat) {
    const float justAboveOne = std::nextafter(1.0f, 2.0f);  // 1 + 2^-23
    // Exactly halfway between 1 and its successor: ties go to the even value 1.
    EXPECT_EQ(ReadOneFloat("1.000000059604644775390625"), 1.0f);
    // A hair above halfway must round up; going through double first would give 1.
    EXPECT_EQ(ReadOneFloat("1.0000000596046448"), justAboveOne);
    EXPECT_EQ(ReadOneFloat("3.4028235e38"), FLT_MAX);
    EXPECT_EQ(ReadOneFloat("1.17549435E-38"), FLT_MIN);
    EXPECT_EQ(ReadOneFloat("1.4e-45"), std::nextafter(0.0f, 1.0f));
}

TEST(TextScannerNumbers, PrintedFloatsReadBackBitExact) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<uint32_t> anyBits;
    for (int i = 0; i < 20000; ++i) {
        const uint32_t bits = anyBits(random);
        float f = 0.0f;
        std::memcpy(&f, &bits, sizeof f);
        if (!std::isfinite(f)) continue;
        char shortest[64], nineDigits[64];
        *std::to_chars(shortest, shortest + 63, f).ptr = '\0';
        std::snprintf(nineDigits, sizeof nineDigits, "%.9E", static_cast<double>(f));
        EXPECT_EQ(Bits(ReadOneFloat(shortest)), bits) << shortest;
        EXPECT_EQ(Bits(ReadOneFloat(nineDigits)), bits) << nineDigits;
    }
}

// std::from_chars is the independent reference: whatever shape a decimal item has,
// the scanner must give its float to the bit.
TEST(TextScannerNumbers, EveryDecimalShapeReadsAsFromCharsGivesIt) {
    std::vector<std::string> items = {"0",        "-0",       "-0.0",     "+0.000",      "16777215",   "16777216",
                                      "16777217", "-16777217", "1e10",    "1e-10",       "1e11",       "1e-11",
                                      "9999999e10", "1677721.5e-9", "0.0000000001", "00000000000000000001.5",
                                      "1.17549435E-38", "3.4028235e38", "5.", ".5", "-.5e+1", "1E+010", "7e-0",
                                      // halfway between two floats: ties go to the even one
                                      "8388609.5", "-8388610.5", "16777219", "1.6777217e7", "9007199254740991e-22",
                                      "1e22", "1e23", "9007199254740993", "4.9e-22", "1e-23",
                                      // a hair off halfway: nearest double halfway, so only a correct
                                      // rounding gives from_chars' float
                                      "260094681289047e-17", "8611611556261778e-18", "4451764425539295e-21",
                                      "8789878336301626e-22", "5077357635498047e-13", "6716022835462354e-20"};
    std::mt19937 random(77);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += static_cast<char>('0' + pick(10));
        return text;
    };
    for (int i = 0; i < 200000; ++i) {
        std::string item = std::string(pick(3) == 0 ? "-" : pick(4) == 0 ? "+" : "") + digits(pick(10));
        if (pick(3) != 0) item += "." + digits(pick(10));
        if (pick(3) == 0) item += std::string(pick(2) ? "e" : "E") + (pick(2) ? "-" : pick(2) ? "+" : "") + digits(1 + pick(3));
        items.push_back(item);
    }
    size_t compared = 0;
    for (const std::string& item : items) {
        const std::string_view unsigned_ = item[0] == '+' ? std::string_view(item).substr(1) : std::string_view(item);
        float want = 0.0f;
        const auto [end, error] = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), want);
        if (error != std::errc() || end != unsigned_.data() + unsigned_.size()) continue;   // rejected elsewhere
        ASSERT_EQ(Bits(ReadOneFloat(item)), Bits(want)) << item;
        for (const char* separator : {" ", ",", "\t", "\r\n"}) {
            const std::string text = item + separator + "7";
            TextScanner in(text, kFile);
            ASSERT_EQ(Bits(in.readFloat("the value")), Bits(want)) << item;
            ASSERT_EQ(in.readFloat("the value"), 7.0f) << item << " followed by [" << separator << "]";
        }
        ++compared;
    }
    EXPECT_GT(compared, 150000u);
}

TEST(TextScannerNumbers, TooSmallGivesSignedZero) {
    EXPECT_EQ(Bits(ReadOneFloat("1e-50")), Bits(0.0f));
    EXPECT_EQ(Bits(ReadOneFloat("-0.00000000000000000000000000000000000000000000000001")), Bits(-0.0f));
}

TEST(TextScannerNumbers, RejectsItemsThatAreNotWholeDecimalNumbers) {
    for (const char* item : {"abc", "1.2.3", "1e", "1e+", "--1", "+-1", "-+1", "+", "-", ".", "inf",
                             "-inf", "nan", "infinity", "0x10", "1d3", "1e5x", "12abc", "1_000", "e5"}) {
        const std::string message = StopMessage([&] { ReadOneFloat(std::string("\r\n  ") + item); });
        EXPECT_EQ(message, "The map file " + kFile + " holds \"" + item +
                               "\" where a number belongs (the value, line 2).");
    }
}

TEST(TextScannerNumbers, RejectsFloatsBeyondSinglePrecision) {
    for (const char* item : {"1e39", "-3.5e38", "1e99999999999"}) {
        const std::string message = StopMessage([&] { ReadOneFloat(item); });
        EXPECT_NE(message.find(kFile), std::string::npos) << message;
        EXPECT_NE(message.find(std::string("\"") + item + "\""), std::string::npos) << message;
    }
}

TEST(TextScannerNumbers, IntegersMustBeWholeAndWithin32Bits) {
    const struct {
        const char* text;
        int32_t value;
    } accepted[] = {{"12", 12}, {"-7", -7}, {"+5", 5}, {"3.0", 3}, {"2E1", 20},
                    {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}};
    for (const auto& c : accepted) {
        TextScanner in(c.text, kFile);
        EXPECT_EQ(in.readInt("nx"), c.value) << c.text;
    }
    for (const char* item : {"2147483648", "-2147483649", "2.5", "1e10", "x", "1e-50"}) {
        TextScanner in(item, kFile);
        const std::string message = StopMessage([&] { in.readInt("nx"); });
        EXPECT_NE(message.find(std::string("\"") + item + "\""), std::string::npos) << message;
        EXPECT_NE(message.find("(nx, line 1)"), std::string::npos) << message;
    }
}

// ---------------------------------------------------------------- separators and line ends

TEST(TextScannerSeparators, CommaBlankTabAndLineEndsSeparateAlike) {
    TextScanner in("1,2 3\r\n4\t5 ,6\n7\r8  ,\t9\r\n\r\n\n 10", kFile);
    for (int expected = 1; expected <= 10; ++expected) EXPECT_EQ(in.readFloat("v"), float(expected));
    EXPECT_TRUE(in.atEnd());
}

TEST(TextScannerSeparators, ANumberConsumesOneCommaOnly) {
    TextScanner in("1,,2", kFile);
    EXPECT_EQ(in.readFloat("v"), 1.0f);
    EXPECT_EQ(StopMessage([&] { in.readFloat("v"); }),
              "The map file " + kFile + " holds an empty item where a number belongs (v, line 1).");
}

// After a number, a skipped line discards the next whole line when the number
// ended its line, but only the rest of the line when a comma followed it.
TEST(TextScannerSeparators, SkippedLineAfterANumber) {
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        const struct {
            std::string text;
            const char* nextLine;
        } cases[] = {
            {"1.0" + eol + "rest" + eol + "next", "next"},
            {"1.0  " + eol + "rest" + eol + "next", "next"},
            {"1.0," + eol + "rest" + eol + "next", "rest"},
            {"1.0 ," + eol + "rest" + eol + "next", "rest"},
            {"1.0, tail" + eol + "rest" + eol + "next", "rest"},
        };
        for (const auto& c : cases) {
            TextScanner in(c.text, kFile);
            EXPECT_EQ(in.readFloat("v"), 1.0f);
            in.skipLine("a line");
            EXPECT_EQ(in.readTextLine("a label"), c.nextLine) << c.text;
        }
    }
}

TEST(TextScannerLineEnds, CrLfLoneCrAndLoneLfEachEndOneLine) {
    TextScanner in("a\r\nb\rc\nd\n\re\r\n\r\nf", kFile);
    for (const char* expected : {"a", "b", "c", "d", "", "e", "", "f"})
        EXPECT_EQ(in.readTextLine("a line"), expected);
    EXPECT_TRUE(in.atEnd());
}

TEST(TextScannerLineEnds, NumberTakesCrLfAsOneLineEnd) {
    TextScanner in("1\r\n\r\nx", kFile);
    in.readFloat("v");
    EXPECT_EQ(in.readTextLine("a line"), "");
    EXPECT_EQ(in.readTextLine("a line"), "x");
}

TEST(TextScannerLineEnds, LineNumbersCountEveryKindOfLineEnd) {
    TextScanner in("1\r\n2\r3\n4\n\r5", kFile);
    EXPECT_EQ(in.lineNumber(), 1);
    for (int line : {2, 3, 4, 5, 6}) {  // "5" follows an empty line
        in.readFloat("v");
        EXPECT_EQ(in.lineNumber(), line);
    }
    const auto readFour = [] {
        TextScanner bad("1\r\n\r\n2\r3\nabc", kFile);
        for (int i = 0; i < 4; ++i) bad.readFloat("the values");
    };
    EXPECT_EQ(StopMessage(readFour),
              "The map file " + kFile + " holds \"abc\" where a number belongs (the values, line 5).");
}

// ---------------------------------------------------------------- early end

TEST(TextScannerEarlyEnd, EveryKindOfReadStopsAtTheEnd) {
    const std::string expected = "The map file " + kFile + " ends early (reading the origin).";
    const auto threeFloats = [] {
        TextScanner in("1 2 \r\n  ", kFile);
        for (int i = 0; i < 3; ++i) in.readFloat("the origin");
    };
    const auto anInt = [] {
        TextScanner in("", kFile);
        in.readInt("the origin");
    };
    const auto aSkippedLine = [] {
        TextScanner in("7\r\n", kFile);
        in.readInt("n");
        in.skipLine("the origin");
    };
    const auto aTextLine = [] {
        TextScanner in("7\n", kFile);
        in.readInt("n");
        in.readTextLine("the origin");
    };
    EXPECT_EQ(StopMessage(threeFloats), expected);
    EXPECT_EQ(StopMessage(anInt), expected);
    EXPECT_EQ(StopMessage(aSkippedLine), expected);
    EXPECT_EQ(StopMessage(aTextLine), expected);
}

TEST(TextScannerEarlyEnd, LastLineNeedsNoLineEnd) {
    TextScanner in("title\r\nlast", kFile);
    in.skipLine("a line");
    EXPECT_EQ(in.readTextLine("a line"), "last");
    EXPECT_TRUE(in.atEnd());
    TextScanner skip("last", kFile);
    skip.skipLine("a line");
    EXPECT_TRUE(skip.atEnd());
}

TEST(TextScannerMessages, ItemsAreShownShortAndPrintable) {
    std::string item = std::string("a\0b\x7f\xff", 5) + std::string(100, 'z');
    const std::string message = StopMessage([&] { ReadOneFloat(item); });
    EXPECT_NE(message.find("\"a?b??zzz"), std::string::npos) << message;
    EXPECT_LT(message.size(), 150u);
    for (char c : message) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << int(c);
}

// ---------------------------------------------------------------- lenient fields

TEST(LenientNumberRule, TakesTheLeadingNumberIgnoringBlanks) {
    const struct {
        const char* field;
        double value;
    } cases[] = {
        {"1 5", 15.0},     {" -1.5E2 x", -150.0}, {"", 0.0},        {"abc", 0.0},     {"   ", 0.0},
        {"  2.5  ", 2.5},  {"1.2.3", 1.2},        {"1e", 1.0},      {"1e+", 1.0},     {"1 e 2", 100.0},
        {"-", 0.0},        {"+ 7", 7.0},          {"3\t4", 34.0},   {"12abc", 12.0},  {"E5", 0.0},
        {".5", 0.5},       {"- .5", -0.5},        {"  1.000", 1.0}, {"2.e1", 20.0},   {"1,5", 1.0},
    };
    for (const auto& c : cases) EXPECT_EQ(LenientNumber(c.field), c.value) << '"' << c.field << '"';
}

TEST(LenientNumberRule, FixedColumnsOfAnAtomLine) {
    const std::string line = "C          1.000   -2.500      3e1";
    EXPECT_EQ(Columns(line, 1, 1), "C");
    EXPECT_EQ(LenientNumber(Columns(line, 10, 18)), 1.0);
    EXPECT_EQ(LenientNumber(Columns(line, 20, 28)), -2.5);
    EXPECT_EQ(LenientNumber(Columns(line, 30, 38)), 30.0);
    EXPECT_EQ(Columns(line, 30, 38), "  3e1");  // the line ends at column 34
    EXPECT_EQ(Columns(line, 40, 48), "");
    EXPECT_EQ(Columns("", 1, 1), "");
}

}  // namespace
}  // namespace tivarel
