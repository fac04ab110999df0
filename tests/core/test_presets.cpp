// Layer presets file: twelve lines of names and levels, lenient level lines, names
// kept as written, short and missing files, the clamp into the map's range, and the
// shipped presets against the sample map.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "map_test_support.h"
#include "mapio/fou_reader.h"
#include "mapio/presets.h"
#include "mapio/program_stop.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

const std::string kPath = "/opt/tivarel/layer_limit_presets.txt";

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    return text;
}

const std::vector<std::string> kTwelve{"First", "0", "1.0", "1.5", "  Second  preset\t", "-2.5", "1 2.5", "3e1",
                                       "Third: (1, 2, 3)", "none", " 4.25 units", "+.5"};

std::string StopMessage(const std::string& text) {
    return test_support::StopMessage([&] { ParseLayerPresets(text, kPath); });
}

TEST(LayerPresets, TwelveLinesGiveThreeNamedPresets) {
    for (const std::string lineEnd : {"\r\n", "\r", "\n"}) {
        const LayerPresets p = ParseLayerPresets(Join(kTwelve, lineEnd), kPath);
        EXPECT_EQ(p[0].name, "First");
        EXPECT_EQ(p[1].name, "  Second  preset\t");  // blanks and tabs kept as written
        EXPECT_EQ(p[2].name, "Third: (1, 2, 3)");
        EXPECT_EQ(p[0].levels, (std::array<double, 3>{0.0, 1.0, 1.5}));
        EXPECT_EQ(p[1].levels, (std::array<double, 3>{-2.5, 12.5, 30.0}));  // inner blanks ignored
        EXPECT_EQ(p[2].levels, (std::array<double, 3>{0.0, 4.25, 0.5}));   // text only gives 0
    }
}

TEST(LayerPresets, LinesAfterTheTwelfthAreIgnored) {
    std::vector<std::string> lines = kTwelve;
    lines.insert(lines.end(), {"Fourth", "99", "", "rubbish"});
    const LayerPresets p = ParseLayerPresets(Join(lines, "\r\n"), kPath);
    EXPECT_EQ(p[2].name, "Third: (1, 2, 3)");
    EXPECT_EQ(p[2].levels[2], 0.5);
    // The last line needs no line end.
    const std::string text = Join(kTwelve, "\n");
    EXPECT_EQ(ParseLayerPresets(text.substr(0, text.size() - 1), kPath)[2].levels[2], 0.5);
}

TEST(LayerPresets, ShortOrMissingFilesEndWithMessagesNamingTheFile) {
    const std::vector<std::string> eleven(kTwelve.begin(), kTwelve.end() - 1);
    const std::string elevenLines = Join(eleven, "\r\n");
    for (const std::string& text : {elevenLines, elevenLines.substr(0, elevenLines.size() - 2), std::string()}) {
        const std::string message = StopMessage(text);
        EXPECT_NE(message.find(kPath), std::string::npos) << message;
        EXPECT_NE(message.find("twelve"), std::string::npos) << message;
    }
    EXPECT_NE(StopMessage(Join(eleven, "\n")).find(" 11 "), std::string::npos);
    // An empty twelfth line is a line.
    EXPECT_EQ(ParseLayerPresets(Join(eleven, "\n") + "\n", kPath)[2].levels[2], 0.0);

    const std::string missing = (fs::temp_directory_path() / "tivarel_no_such_dir" / "layer_limit_presets.txt").string();
    const std::string message = test_support::StopMessage([&] { ReadLayerPresets(missing); });
    EXPECT_NE(message.find(missing), std::string::npos) << message;
}

TEST(LayerPresets, LevelsAreClampedIntoTheMapsRange) {
    // Levels 0, 1.0 and 1.5 on a map with values 0 to 1.
    EXPECT_EQ(ClampPresetLevel(0.0, 0.0f, 1.0f), 0.0f);
    EXPECT_EQ(ClampPresetLevel(1.0, 0.0f, 1.0f), 1.0f);
    EXPECT_EQ(ClampPresetLevel(1.5, 0.0f, 1.0f), 1.0f);
    // A text-only level line reads 0, raised to MinValue.
    EXPECT_EQ(ClampPresetLevel(0.0, 2.5f, 9.0f), 2.5f);
    EXPECT_EQ(ClampPresetLevel(-7.0, -3.0f, 9.0f), -3.0f);
    // Inside the range the level is the single-precision value.
    EXPECT_EQ(ClampPresetLevel(0.1, 0.0f, 1.0f), 0.1f);
    EXPECT_EQ(ClampPresetLevel(5.3, -10.0f, 10.0f), 5.3f);
    // Beyond single precision.
    EXPECT_EQ(ClampPresetLevel(1e300, -10.0f, 10.0f), 10.0f);
    EXPECT_EQ(ClampPresetLevel(-1e300, -10.0f, 10.0f), -10.0f);
    EXPECT_EQ(ClampPresetLevel(std::numeric_limits<double>::infinity(), -10.0f, 10.0f), 10.0f);
}

TEST(LayerPresets, ShippedPresetsSuitTheSampleMap) {
    const LayerPresets presets = ReadLayerPresets(TIVAREL_SOURCE_DIR "/data/layer_limit_presets.txt");
    const DensityMap map = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    std::set<std::string> names;
    for (const Preset& p : presets) {
        EXPECT_FALSE(p.name.empty());
        EXPECT_TRUE(names.insert(p.name).second) << p.name;
        for (double level : p.levels) {
            // Inside the map's range, so that applying the preset changes nothing.
            EXPECT_GT(level, map.gridParams.minValue()) << p.name;
            EXPECT_LT(level, map.gridParams.maxValue()) << p.name;
            EXPECT_EQ(ClampPresetLevel(level, map.gridParams.minValue(), map.gridParams.maxValue()), float(level));
        }
        EXPECT_LT(p.levels[0], p.levels[1]) << p.name;
        EXPECT_LT(p.levels[1], p.levels[2]) << p.name;
    }
}

}  // namespace
}  // namespace tivarel
