// Peak file: the exact bytes of a line, the six-decimal cut towards minus infinity,
// grid -> fractional through the inverse cell matrix, and the recovery file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "export/peak_file.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

TEST(PeakLine, PeakThreeByteForByte) {
    // "ATOM Q ", blank 3 blank, two blanks, "X=", blank .25 blank, " Y=", -.125 blank,
    // " Z=", blank 1 blank.
    const std::string expected = "ATOM Q  3   X= .25  Y=-.125  Z= 1 ";
    EXPECT_EQ(PeakLine(3, 0.25f, -0.125f, 1.0f), expected);
    EXPECT_EQ(expected.find("Q  3   X="), 5u);   // two blanks before the number, three after
}

TEST(PeakLine, NumbersUseTheFileForm) {
    EXPECT_EQ(PeakLine(12, 0.0f, 1e-6f, -2.0f), "ATOM Q  12   X= 0  Y= 1E-06  Z=-2 ");
    EXPECT_EQ(PeakLine(200, -0.5f, 0.0001f, 12.5f), "ATOM Q  200   X=-.5  Y= .0001  Z= 12.5 ");
}

// The line of one peak given in fractional coordinates, with the identity cell.
std::string LineOfIdentityPeak(float x, float y, float z) {
    const auto f = FractionalPeaks(Mat3f::identity(), {}, {{x, y, z}});
    EXPECT_TRUE(f.has_value());
    return PeakLine(1, (*f)[0].x, (*f)[0].y, (*f)[0].z);
}

TEST(FractionalPeaks, SixDecimalCutRoundsDown) {
    const float justBelowHalf = std::nextafter(0.5f, 0.0f);
    ASSERT_EQ(justBelowHalf, 0.49999997f);
    EXPECT_EQ(LineOfIdentityPeak(justBelowHalf, 0.5f, -0.1234567f), "ATOM Q  1   X= .499999  Y= .5  Z=-.123457 ");
    EXPECT_EQ(LineOfIdentityPeak(-1e-7f, 2.0f, 0.1234569f), "ATOM Q  1   X=-1E-06  Y= 2  Z= .123456 ");
}

// Floor of v * 10^6 from v's exact decimal expansion (positive and negative alike).
double DecimalFloorMicro(float v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.60f", std::fabs(static_cast<double>(v)));
    const std::string text = buf;
    const size_t point = text.find('.');
    const std::string micro = text.substr(0, point) + text.substr(point + 1, 6);
    const bool rest = text.find_first_not_of('0', point + 7) != std::string::npos;
    const double truncated = std::stod(micro);
    return v < 0 ? -(truncated + (rest ? 1.0 : 0.0)) : truncated;
}

struct Case {
    float value, cut;
};

TEST(CutToSixDecimals, MatchesTheDecimalExpansionOfRandomValues) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-7.0, 2.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        const float v = static_cast<float>(unit(random) * std::pow(10.0, exponent(random)));
        const float expected = static_cast<float>(DecimalFloorMicro(v) / 1e6);
        ASSERT_EQ(CutToSixDecimals(v), expected) << v;
    }
    // Floats just below a multiple of 10^-6 whose product with 1000000, rounded to
    // single precision, would reach the multiple and not round down.
    const Case below[] = {{0.91860497f, 0.918604f}, {1.35414994f, 1.354149f}, {2.96170688f, 2.961706f}};
    for (const Case& c : below) {
        EXPECT_LT(double{c.value} * 1e6, std::round(double{c.value} * 1e6));   // really below
        EXPECT_EQ(CutToSixDecimals(c.value), c.cut) << c.value;
    }
}

// A skewed cell (all off-diagonal terms set) and an origin away from zero.
Mat3f SkewCell() {
    Mat3f m;
    const float rows[3][3] = {{10.2f, -2.6f, 1.9f}, {0.4f, 11.7f, -3.1f}, {-0.8f, 0.6f, 7.3f}};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) m(i, j) = rows[i - 1][j - 1];
    return m;
}

TEST(FractionalPeaks, GridToFractionalInvertsTheCellOfANonOrthogonalMap) {
    const Mat3f cell = SkewCell();
    const Vec3f origin{0.1f, -0.2f, 0.3f};
    const double f[4][3] = {{0.25, -0.125, 1.0}, {0.0, 0.0, 0.0}, {0.731, 0.402, -0.55}, {1.5, 2.25, 0.875}};
    PeakList grid;
    for (const auto& fr : f) {   // p = M (f - origin), in double
        double p[3] = {0, 0, 0};
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) p[i - 1] += double{cell(i, j)} * (fr[j - 1] - double{origin[j - 1]});
        grid.push_back({static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
    }
    const auto fractional = FractionalPeaks(cell, origin, grid);
    ASSERT_TRUE(fractional.has_value());
    ASSERT_EQ(fractional->size(), grid.size());
    for (size_t k = 0; k < grid.size(); ++k) {
        const float got[3] = {(*fractional)[k].x, (*fractional)[k].y, (*fractional)[k].z};
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(got[c], f[k][c], 2.5e-6) << k << "," << c;
            EXPECT_LE(got[c], f[k][c] + 1e-6);   // the cut rounds down, never up
            // ... onto the float nearest a multiple of 10^-6.
            EXPECT_EQ(got[c], static_cast<float>(std::round(double{got[c]} * 1e6) / 1e6));
        }
    }
}

TEST(FractionalPeaks, SingularCellCannotConvert) {
    Mat3f dependent = SkewCell();
    for (int j = 1; j <= 3; ++j) dependent(3, j) = dependent(1, j) * 2.0f;   // row 3 = 2 * row 1
    EXPECT_FALSE(FractionalPeaks(dependent, {}, {{1, 2, 3}}).has_value());
    EXPECT_FALSE(FractionalPeaks(Mat3f{}, {}, {{1, 2, 3}}).has_value());
    Mat3f flat = Mat3f::identity();
    flat(3, 3) = 0.0f;   // a cell of no height
    EXPECT_FALSE(FractionalPeaks(flat, {}, {}).has_value());
    // A very oblique but proper cell (angle of about 3 degrees between a and b) converts.
    Mat3f oblique = Mat3f::identity();
    oblique(1, 2) = 0.9986f;
    oblique(2, 2) = 0.0523f;
    EXPECT_TRUE(FractionalPeaks(oblique, {}, {{1, 2, 3}}).has_value());
}

TEST(PeakFileText, OneCrLfLinePerPeakNumberedInListOrder) {
    const PeakList peaks = {{0.25f, -0.125f, 1.0f}, {0.0f, 0.5f, 2.0f}, {-1.0f, 1e-6f, 12.5f}};
    EXPECT_EQ(PeakFileText(peaks),
              "ATOM Q  1   X= .25  Y=-.125  Z= 1 \r\n"
              "ATOM Q  2   X= 0  Y= .5  Z= 2 \r\n"
              "ATOM Q  3   X=-1  Y= 1E-06  Z= 12.5 \r\n");
    EXPECT_EQ(PeakFileText({}), "");
}

TEST(PeakFileText, SamePositionTwiceGivesTwoLinesAndNumbersGoOnPastNine) {
    const PeakList peaks(11, Peak{0.5f, 0.5f, 0.5f});
    const std::string text = PeakFileText(peaks);
    size_t lines = 0;
    for (size_t pos = 0; (pos = text.find("\r\n", pos)) != std::string::npos; pos += 2) ++lines;
    EXPECT_EQ(lines, 11u);
    EXPECT_NE(text.find("\r\nATOM Q  10   X= .5  Y= .5  Z= .5 \r\nATOM Q  11   X="), std::string::npos);
}

// Unsaved peaks are kept in the peak file's form where the cell allows it, and in the
// grid frame, under a line that says so, where it does not.
TEST(PeakRecoveryText, PeakFileWhenTheCellInvertsGridFrameOtherwise) {
    Mat3f cell;   // a = 2 along x, b = 4 along y, c = 5 along z
    cell(1, 1) = 2.0f;
    cell(2, 2) = 4.0f;
    cell(3, 3) = 5.0f;
    const Vec3f origin{0.5f, 0.0f, 0.0f};
    const PeakList grid{{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}};
    EXPECT_EQ(PeakRecoveryText(cell, origin, grid, "m.fou"),
              "ATOM Q  1   X= 1  Y= .25  Z=-.5 \r\nATOM Q  2   X= .5  Y= 0  Z= 0 \r\n");
    cell(3, 3) = 0.0f;   // a flat cell
    EXPECT_EQ(PeakRecoveryText(cell, origin, grid, "/maps/m.fou"),
              "Grid-frame coordinates, not fractional: the cell matrix of /maps/m.fou cannot be inverted.\r\n"
              "ATOM Q  1   X= 1  Y= 1  Z=-2.5 \r\nATOM Q  2   X= 0  Y= 0  Z= 0 \r\n");
}

}  // namespace
}  // namespace tivarel
