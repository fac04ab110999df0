// The command line, the opening of a map and its rebuilds,
// through the real Session with the scripted platform standing in for the user; no window.
#include "app/command_line.h"
#include "session/session.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

TEST(CommandLine, ASwitchAndTheOneCharacterAfterItAreTakenOffTheFront) {
    const std::tuple<std::string, StereoMode, std::string> cases[] = {
        {"", StereoMode::None, ""},
        {"map.fou", StereoMode::None, "map.fou"},
        {"-StereoHW", StereoMode::Hardware, ""},
        {"-StereoHWxmap.mt1", StereoMode::Hardware, "map.mt1"},
        {"-StereoInterlaced -StereoHW map.mt1", StereoMode::Interlaced, "-StereoHW map.mt1"},
        {"-StereoHW -StereoInterlaced p.grd", StereoMode::Interlaced, "p.grd"},
        {"-stereohw map.mt1", StereoMode::None, "-stereohw map.mt1"},
        {" map.fou", StereoMode::None, " map.fou"}};
    for (const auto& [text, mode, path] : cases) {
        const CommandLine line = ParseCommandLine(text);
        EXPECT_EQ(line.stereoMode, mode) << text;
        EXPECT_EQ(line.mapPath, path) << text;
    }
}

struct SessionTest : ::testing::Test {
    ScriptedPlatform platform;
    Session session{platform, nullptr};
    int open(const std::string& path) {
        return EndStatus([&] { session.openMap(path); });
    }
};

// A name of no known format shows two boxes, then ends. Maps and reflections the import
// command converts (the name longer than its ending, any case, gzipped or not) get one
// more line on standard error first, naming the command with the name as a shell word.
TEST_F(SessionTest, StrangeExtensionsShowTwoBoxesAndTheImportCommandIsNamedForItsFiles) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"map.Grd", "Grd", ""},       {"\"map.fou\"", "ou\"", ""},        {"-stereohw map.Mt1", "Mt1", ""},
        {"ab", "ab", ""},             {"m.pdb", "pdb", ""},               {"map.gz", ".gz", ""},
        {"m.mt1.gz", ".gz", ""},      {"x.maps", "aps", ""},              {"xmap", "map", ""},
        {"\"m.map\"", "ap\"", ""},    {"m.map ", "ap ", ""},              {"emd_1234.map", "map", "emd_1234.map"},
        {"A.MRC", "MRC", "A.MRC"},    {"/data/x.ccp4", "cp4", "/data/x.ccp4"}, {"r.mtz", "mtz", "r.mtz"},
        {"1abc-sf.cif", "cif", "1abc-sf.cif"}, {"s.fcf", "fcf", "s.fcf"}, {"s.hkl", "hkl", "s.hkl"},
        {"r.MTZ.GZ", ".GZ", "r.MTZ.GZ"}, {"my map.ccp4", "cp4", "'my map.ccp4'"}, {"it's.mrc", "mrc", "'it'\\''s.mrc'"}};
    for (const auto& [name, extension, word] : cases) {
        platform.events.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(open(name), 1) << name;
        const std::string hint = word.empty() ? "" : "tivarel: " + name + ": convert it first with: tivarel-import " + word + "\n";
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), hint + "Strange file extension !!!\n" + extension + "\n");
        EXPECT_EQ(platform.events,
                  (std::vector<std::string>{"message: Strange file extension !!!", "message: " + extension, "end: 1"}));
    }
}

// The contour map is rebuilt only while it is on; a rebuild is a new scene, a switch waits
// for one. Plane 1 of the cube holds no contour, plane 3 does.
TEST_F(SessionTest, TheContourMapIsRebuiltOnlyWhileItIsOn) {
    ASSERT_EQ(open(WriteFou("cube.fou", {5, 5, 5}, {0, 0, 0}, [](double x, double y, double z) {
                  return x == 2 && y == 2 && z == 2 ? 1.0 : 0.0;
              })),
              -1);
    session.setSection(3);
    session.setShowContourMap(false);
    const uint64_t shown = session.sceneRevision();
    session.generateFields();
    EXPECT_EQ(session.segments().count(1), 0);
    session.setShowContourMap(true);
    EXPECT_EQ(session.sceneRevision(), shown + 1);
    session.generateFields();
    EXPECT_GT(session.segments().count(1), 0);
}

}   // namespace
}   // namespace tivarel::testing
