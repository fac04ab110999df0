// Peak file: the exact bytes of a line, the six-decimal cut towards minus infinity, grid ->
// fractional through the inverse cell matrix, and the recovery file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "export/peak_file.h"

namespace tivarel {
namespace {

// "ATOM Q ", the number in the file form, two blanks, "X=", the number, " Y=", ... each
// number in the file form: sign or blank, digits, one blank.
TEST(PeakFileText, OneCrLfLinePerPeakNumberedInListOrder) {
    EXPECT_EQ(PeakLine(3, 0.25f, -0.125f, 1.0f), "ATOM Q  3   X= .25  Y=-.125  Z= 1 ");
    EXPECT_EQ(PeakFileText({{0.25f, -0.125f, 1.0f}, {0.0f, 0.5f, 2.0f}, {-1.0f, 1e-6f, 12.5f}}),
              "ATOM Q  1   X= .25  Y=-.125  Z= 1 \r\nATOM Q  2   X= 0  Y= .5  Z= 2 \r\nATOM Q  3   X=-1  Y= 1E-06  Z= "
              "12.5 \r\n");
    const std::string eleven = PeakFileText(PeakList(11, Peak{0.5f, 0.5f, 0.5f}));
    EXPECT_TRUE(eleven.ends_with(" .5 \r\nATOM Q  10   X= .5  Y= .5  Z= .5 \r\nATOM Q  11   X= .5  Y= .5  Z= .5 \r\n"))
        << eleven;
    EXPECT_EQ(PeakFileText({}), "");
}

// 0.49999997 is the float below .5; 0.91860497 and 2.96170688 lie just below a multiple of
// 10^-6 that their product with 1000000, rounded to single precision, would reach.
TEST(CutToSixDecimals, RoundsDownAsTheDecimalExpansionDoes) {
    const std::pair<float, float> cases[] = {{0.49999997f, 0.499999f},  {0.5f, 0.5f},
                                             {-0.1234567f, -0.123457f}, {-1e-7f, -1e-6f},
                                             {0.91860497f, 0.918604f},  {2.96170688f, 2.961706f}};
    for (const auto& [value, cut] : cases) EXPECT_EQ(CutToSixDecimals(value), cut) << value;
}

// A skewed cell (all off-diagonal terms set) and an origin away from zero; peaks placed at
// p = M (f - origin) in double come back as f, cut down onto six decimals.
TEST(FractionalPeaks, GridToFractionalInvertsTheCellOfANonOrthogonalMap) {
    Mat3f cell;
    cell.a = {10.2f, -2.6f, 1.9f, 0.4f, 11.7f, -3.1f, -0.8f, 0.6f, 7.3f};
    const Vec3f origin{0.1f, -0.2f, 0.3f};
    const double f[4][3] = {{0.25, -0.125, 1.0}, {0.0, 0.0, 0.0}, {0.731, 0.402, -0.55}, {1.5, 2.25, 0.875}};
    PeakList grid;
    for (const auto& fr : f) {
        double p[3] = {0, 0, 0};
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) p[i - 1] += double(cell(i, j)) * (fr[j - 1] - double(origin[j - 1]));
        grid.push_back({float(p[0]), float(p[1]), float(p[2])});
    }
    const auto fractional = FractionalPeaks(cell, origin, grid);
    ASSERT_TRUE(fractional.has_value());
    for (size_t k = 0; k < grid.size(); ++k)
        for (int c = 0; c < 3; ++c) {
            const float got = (*fractional)[k][c];
            EXPECT_NEAR(got, f[k][c], 2.5e-6) << k << "," << c;
            EXPECT_LE(got, f[k][c] + 1e-6);   // the cut rounds down, never up
            EXPECT_EQ(got, float(std::round(double(got) * 1e6) / 1e6));
        }
    // Cells that cannot be inverted, or only into rounding noise, convert nothing; a very
    // oblique but proper one (about 3 degrees between a and b) converts.
    Mat3f dependent = cell, flat = Mat3f::identity(), oblique = Mat3f::identity();
    for (int j = 1; j <= 3; ++j) dependent(3, j) = dependent(1, j) * 2.0f;
    flat(3, 3) = 0.0f;
    oblique(1, 2) = 0.9986f;
    oblique(2, 2) = 0.0523f;
    EXPECT_FALSE(FractionalPeaks(dependent, {}, {{1, 2, 3}}).has_value());
    EXPECT_FALSE(FractionalPeaks(flat, {}, {}).has_value());
    EXPECT_FALSE(FractionalPeaks(Mat3f{}, {}, {{1, 2, 3}}).has_value());
    EXPECT_TRUE(FractionalPeaks(oblique, {}, {{1, 2, 3}}).has_value());
}

// Unsaved peaks are kept in the peak file's form where the cell inverts, and in the grid
// frame, under a line that says so, where it does not.
TEST(PeakRecoveryText, PeakFileWhenTheCellInvertsGridFrameOtherwise) {
    Mat3f cell;   // a = 2 along x, b = 4 along y, c = 5 along z
    cell.a = {2, 0, 0, 0, 4, 0, 0, 0, 5};
    const PeakList grid{{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}};
    EXPECT_EQ(PeakRecoveryText(cell, {0.5f, 0.0f, 0.0f}, grid, "m.fou"),
              "ATOM Q  1   X= 1  Y= .25  Z=-.5 \r\nATOM Q  2   X= .5  Y= 0  Z= 0 \r\n");
    cell(3, 3) = 0.0f;
    EXPECT_EQ(PeakRecoveryText(cell, {0.5f, 0.0f, 0.0f}, grid, "/maps/m.fou"),
              "Grid-frame coordinates, not fractional: the cell matrix of /maps/m.fou cannot be inverted.\r\n"
              "ATOM Q  1   X= 1  Y= 1  Z=-2.5 \r\nATOM Q  2   X= 0  Y= 0  Z= 0 \r\n");
}

}   // namespace
}   // namespace tivarel
