// The command line and the opening of a map through the real OpenMap, with the
// scripted platform standing in for the user.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/program.h"
#include "scripted_platform.h"

namespace tivarel {
namespace {

using testing::ProgramEnded;
using testing::ScriptedPlatform;

const std::string kSample = TIVAREL_SOURCE_DIR "/data/sample.fou";

TEST(CommandLine, SwitchesAndTheDroppedSeparator) {
    struct Case {
        std::string text, mode, path;
    };
    const Case cases[] = {
        {"", "NoStereo", ""},
        {"map.fou", "NoStereo", "map.fou"},
        {"-StereoHW", "StereoHW", ""},
        {"-StereoHW ", "StereoHW", ""},
        {"-StereoHWxmap.mt1", "StereoHW", "map.mt1"},
        {"-StereoHW map.mt1", "StereoHW", "map.mt1"},
        {"-StereoInterlaced map.fou", "StereoInterlaced", "map.fou"},
        {"-StereoInterlaced", "StereoInterlaced", ""},
        {"-StereoInterlaced -StereoHW map.mt1", "StereoInterlaced", "-StereoHW map.mt1"},
        {"-StereoHW -StereoInterlaced p.grd", "StereoInterlaced", "p.grd"},
        {"-stereohw map.mt1", "NoStereo", "-stereohw map.mt1"},
        {"\"my map.fou\"", "NoStereo", "\"my map.fou\""},
        {" map.fou", "NoStereo", " map.fou"},
    };
    for (const Case& c : cases) {
        std::string text = c.text, mode = "Nothing";
        ParseSwitches(text, mode);
        EXPECT_EQ(mode, c.mode) << c.text;
        EXPECT_EQ(text, c.path) << c.text;
    }
}

TEST(CommandLine, ExtensionsAreTheLastThreeCharactersExactly) {
    EXPECT_EQ(FormatOfName("a.fou"), MapFormat::Fou);
    EXPECT_EQ(FormatOfName("a.FOU"), MapFormat::Fou);
    EXPECT_EQ(FormatOfName("a.GRD"), MapFormat::Grd);
    EXPECT_EQ(FormatOfName("mt1"), MapFormat::Mt1);
    EXPECT_EQ(FormatOfName("xmt1"), MapFormat::Mt1);
    EXPECT_EQ(FormatOfName("a.Grd"), MapFormat::Unknown);
    EXPECT_EQ(FormatOfName("a.fou\""), MapFormat::Unknown);
    EXPECT_EQ(ExtensionOf("ab"), "ab");
    EXPECT_EQ(ExtensionOf("a.Grd"), "Grd");
}

struct OpenMapTest : ::testing::Test {
    ScriptedPlatform platform;
    Program program{platform, nullptr};

    // Runs OpenMap and returns the exit status, or -1 when the program goes on.
    int Open(const std::string& text) {
        try {
            program.OpenMap(text);
            return -1;
        } catch (const ProgramEnded& end) {
            return end.status;
        }
    }
};

TEST_F(OpenMapTest, NoArgumentsAndACancelledDialogEndWithNoInput) {
    EXPECT_EQ(Open(""), 1);
    EXPECT_EQ(program.state.stereoMode, "NoStereo");
    const std::vector<std::string> expected = {
        "open:  | ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*",
        "message: No input given !!", "end: 1"};
    EXPECT_EQ(platform.events, expected);
}

TEST_F(OpenMapTest, StereoSwitchAloneOpensTheDialogAndKeepsTheMode) {
    platform.fileAnswers.push_back(kSample);
    EXPECT_EQ(Open("-StereoHW"), -1);
    EXPECT_EQ(program.state.stereoMode, "StereoHW");
    EXPECT_EQ(program.state.mapFileName, kSample);
    EXPECT_EQ(program.dialogFileName, kSample);
    ASSERT_EQ(platform.events.size(), 1u);
    EXPECT_EQ(platform.events[0].rfind("open: ", 0), 0u);
}

TEST_F(OpenMapTest, StrangeExtensionsShowTwoBoxesThenEnd) {
    for (const std::string name : {"map.Grd", "\"map.fou\"", "-stereohw map.Mt1", "ab"}) {
        platform.events.clear();
        EXPECT_EQ(Open(name), 1) << name;
        const std::vector<std::string> expected = {"message: Strange file extension !!!",
                                                   "message: " + ExtensionOf(name), "end: 1"};
        EXPECT_EQ(platform.events, expected) << name;
    }
}

TEST_F(OpenMapTest, SampleMapOpensWithDefaultsAndSurfaces) {
    ASSERT_EQ(Open(kSample), -1) << (platform.messages.empty() ? "" : platform.messages[0]);
    EXPECT_TRUE(platform.events.empty());
    EXPECT_EQ(program.windowCaption, "Visualized file: " + kSample);
    const GridParams& g = program.map.gridParams;
    const float range = g.maxValue() - g.minValue();
    const double fractions[] = {0.1, 0.3, 0.5};
    for (int layer = 1; layer <= 3; ++layer) {
        EXPECT_TRUE(program.layers.layerUsed(layer));
        EXPECT_EQ(program.layers.layerLimit(layer),
                  static_cast<float>(range * fractions[layer - 1] + g.minValue()));
        EXPECT_GT(program.triangles.count(layer), 0) << layer;
    }
    // Higher levels enclose less density: fewer triangles.
    EXPECT_GT(program.triangles.count(1), program.triangles.count(3));
    EXPECT_EQ(program.state.listValid, 0);
}

TEST_F(OpenMapTest, ACancelFromTheMenuKeepsTheMapShown) {
    ASSERT_EQ(Open(kSample), -1);
    const int32_t before = program.triangles.count(1);
    platform.fileAnswers.push_back(std::nullopt);
    EXPECT_FALSE(program.OpenMap(""));
    EXPECT_EQ(program.state.mapFileName, kSample);
    EXPECT_EQ(program.triangles.count(1), before);
}

TEST_F(OpenMapTest, MissingCaseTableIsNamedInTheMessage) {
    platform.directory = std::filesystem::temp_directory_path() / "tivarel-no-side-files";
    std::filesystem::create_directories(platform.directory);
    std::filesystem::copy_file(TIVAREL_BIN_DIR "/atompar2.txt", platform.directory + "/atompar2.txt",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Open(kSample), 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("cell_table.dat"), std::string::npos) << platform.messages[0];
}

// A 2 x 2 x 2 FOU map with one given value at grid point (1, 1, 1).
std::string TinyFou(const std::string& value) {
    std::string t = "title\r\nheading\r\n1 0 0 0 1 0 0 0 1\r\n0 0 0\r\ncell\r\n1 1 1 90 90 90\r\n";
    t += "axes\r\n0 1 0 0\r\n0 1 0 0\r\n0 1 0 0\r\ncounts\r\n2 2 2\r\n";
    for (int z = 1; z <= 2; ++z)
        t += "Section\r\n" + std::to_string(z) + "\r\n" + (z == 1 ? value : "0") + " 0 0 0\r\n";
    return t + "atoms\r\n0 14\r\n";
}

TEST_F(OpenMapTest, ReaderFaultsEndTheProgramWithTheirMessage) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto hot = dir / "tivarel-hot.fou";
    std::ofstream(hot, std::ios::binary) << TinyFou("20000");
    EXPECT_EQ(Open(hot.string()), 1);
    EXPECT_EQ(platform.messages, (std::vector<std::string>{"Your input data looks strange, ZOL > 10000"}));

    const auto missing = (dir / "tivarel-missing.fou").string();
    std::filesystem::remove(missing);
    platform.messages.clear();
    EXPECT_EQ(Open(missing), 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find(missing), std::string::npos) << platform.messages[0];

    const auto fine = dir / "tivarel-fine.fou";
    std::ofstream(fine, std::ios::binary) << TinyFou("10000");
    EXPECT_EQ(Open(fine.string()), -1);
    EXPECT_EQ(program.map.gridParams.maxValue(), 10000.0f);
}

TEST(LayerDefaults, LevelsAtTenThirtyAndFiftyPercent) {
    LayerSettings layers;
    int16_t style = 2;
    layers.used = {false, false, false};
    layers.zSection = 7;
    SetLayerDefaults(layers, style, 5.0f, 5.0f);
    EXPECT_EQ(style, 1);
    EXPECT_EQ(layers.limits, (std::array<float, 3>{5.0f, 5.0f, 5.0f}));
    EXPECT_EQ(layers.used, (std::array<bool, 3>{true, true, true}));
    EXPECT_EQ(layers.zSection, 1);

    // GRD: upper = MinValue + MaxValue / 500.
    GridParams g;
    g(10) = -2.0f;
    g(11) = 1000.0f;
    const float upper = DefaultUpperValue(g, true);
    EXPECT_EQ(upper, 0.0f);
    SetLayerDefaults(layers, style, g.minValue(), upper);
    EXPECT_FLOAT_EQ(layers.layerLimit(1), -1.8f);
    EXPECT_FLOAT_EQ(layers.layerLimit(2), -1.4f);
    EXPECT_FLOAT_EQ(layers.layerLimit(3), -1.0f);
    EXPECT_EQ(DefaultUpperValue(g, false), 1000.0f);
    EXPECT_EQ(layers.meshColour(1), (Rgb{0.1f, 0.7f, 0.1f}));
    EXPECT_EQ(layers.contourColour(2), (Rgb{0.4f, 0.4f, 1.0f}));
}

}  // namespace
}  // namespace tivarel
