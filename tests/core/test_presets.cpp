// Layer presets file: twelve lines of names and levels, lenient level lines, names kept as
// written, short and missing files, and the clamp into the map's range.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/presets.h"

namespace tivarel {
namespace {

const std::string kPath = "/opt/tivarel/layer_limit_presets.txt";

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    return text;
}

const std::vector<std::string> kTwelve{
    "First", "0",           "1.0", "1.5", "  Second  preset\t", "-2.5", "1 2.5", "3e1", "Third: (1, 2, 3)",
    "none",  " 4.25 units", "+.5"};

// Lines after the twelfth are ignored; the last needs no line end, an empty one is a line.
TEST(LayerPresets, TwelveLinesGiveThreeNamedPresets) {
    std::vector<std::string> longer = kTwelve;
    longer.insert(longer.end(), {"Fourth", "99"});
    const std::string twelve = Join(kTwelve, "\n");
    for (const std::string& text :
         {Join(kTwelve, "\r\n"), Join(kTwelve, "\r"), Join(longer, "\r\n"), twelve.substr(0, twelve.size() - 1)}) {
        const LayerPresets p = ParseLayerPresets(text, kPath);
        EXPECT_EQ(p[0].name, "First");
        EXPECT_EQ(p[1].name, "  Second  preset\t");
        EXPECT_EQ(p[2].name, "Third: (1, 2, 3)");
        EXPECT_EQ(p[0].levels, (std::array{0.0, 1.0, 1.5}));
        EXPECT_EQ(p[1].levels, (std::array{-2.5, 12.5, 30.0}));   // inner blanks ignored
        EXPECT_EQ(p[2].levels, (std::array{0.0, 4.25, 0.5}));     // text only gives 0
    }
    const std::vector<std::string> eleven(kTwelve.begin(), kTwelve.end() - 1);
    EXPECT_EQ(ParseLayerPresets(Join(eleven, "\n") + "\n", kPath)[2].levels[2], 0.0);
    const std::string cut = Join(eleven, "\r\n");
    for (const auto& [text, lines] :
         {std::pair{cut, "11"}, std::pair{cut.substr(0, cut.size() - 2), "11"}, std::pair{std::string(), "0"}})
        EXPECT_EQ(test_support::StopMessage([&] { ParseLayerPresets(text, kPath); }),
                  "The layer presets file " + kPath + " has only " + lines +
                      " lines; it needs twelve: for each of three presets a name line and three level lines.");
    test_support::ExpectHolds(test_support::StopMessage([] { ReadLayerPresets("/nonexistent-tivarel/presets.txt"); }),
                              {"/nonexistent-tivarel/presets.txt"});
}

TEST(LayerPresets, LevelsAreClampedIntoTheMapsRangeInSinglePrecision) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::array<double, 4> cases[] = {
        {0.0, 0.0, 1.0, 0.0},    {1.5, 0.0, 1.0, 1.0},    {0.0, 2.5, 9.0, 2.5},
        {-7.0, -3.0, 9.0, -3.0}, {0.1, 0.0, 1.0, 0.1f},   {1e300, -10, 10, 10},
        {-1e300, -10, 10, -10},  {inf, -10.0, 10.0, 10.0}};   // level, min, max, applied
    for (const auto& [level, min, max, applied] : cases)
        EXPECT_EQ(ClampPresetLevel(level, float(min), float(max)), applied) << level;
}

}   // namespace
}   // namespace tivarel
