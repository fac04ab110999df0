// The command line, the opening of a map, the session's limits and the peak list's rescue,
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

// The contour map is rebuilt only while it is on; every rebuild is a new scene, a switch
// waits for one. Levels stay in the map's range (0 to 1 here) and the plane in 1..nz, from
// any value and any step.
TEST_F(SessionTest, RebuildsMakeANewSceneAndLevelsAndPlaneStayInsideTheMap) {
    ASSERT_EQ(open(WriteFou("cube.fou", {5, 5, 5}, {0, 0, 0}, [](double x, double y, double z) {
                  return x == 2 && y == 2 && z == 2 ? 1.0 : 0.0;
              })),
              -1);
    EXPECT_EQ(session.segments().count(1), 0);   // plane 1 holds no contour
    session.setSection(3);
    session.setShowContourMap(false);
    const uint64_t shown = session.sceneRevision();
    session.generateFields();
    EXPECT_EQ(session.segments().count(1), 0);
    EXPECT_NE(session.sceneRevision(), shown);
    session.setShowContourMap(true);
    session.setShowAtoms(false);
    session.setLevel(1, 0.25f);
    EXPECT_EQ(session.sceneRevision(), shown + 1);
    session.generateFields();
    EXPECT_GT(session.segments().count(1), 0);
    for (const auto& [asked, kept] : {std::pair{-3.0f, 0.0f}, {0.5f, 0.5f}, {7.0f, 1.0f}}) {
        session.setLevel(2, asked);
        EXPECT_EQ(session.layers().layerLimit(2), kept) << asked;
    }
    for (const auto& [asked, kept] : {std::pair{0, 1}, {-40000, 1}, {4, 4}, {5, 5}, {6, 5}, {70000, 5}}) {
        session.setSection(asked);
        EXPECT_EQ(session.layers().zSection, kept) << asked;
    }
}

// Confirmed peaks that never reached a peak file go to a recovery file before the
// program ends or the list is emptied, whatever the way there.
class PeakRescue : public SessionTest {
protected:
    const test_support::TempFolder maps, data;
    void SetUp() override { platform.dataFolder = data.path().string(); }
    // A 2 x 2 x 2 map, unit steps from 0, with the given cell matrix and origin.
    std::string map(const std::string& file, const std::string& cell = "1 0 0 0 1 0 0 0 1 0 0 0") {
        const fs::path path = maps.path() / file;
        fs::create_directories(path.parent_path());
        fs::copy_file(WriteFou("rescue.fou", {2, 2, 2}, {0, 0, 0}, [](double, double, double) { return 0.0; }, {}, cell),
                      path, fs::copy_options::overwrite_existing);
        return path.string();
    }
    void confirm(Vec3 p) {
        platform.yesNoAnswers.push_back(true);
        session.addPeak(p);
    }
    static std::vector<fs::path> recovered(const fs::path& folder) {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().find("-unsaved-peaks-") != std::string::npos) found.push_back(e.path());
        std::sort(found.begin(), found.end());
        return found;
    }
};

// Opening another map empties the list after keeping its peaks beside the old map, with
// its cell; a reader fault while opening ends the program, and the message says where the
// peaks of the map shown went.
TEST_F(PeakRescue, OpeningAnotherMapOrFailingToKeepsThePeaksOfTheMapShown) {
    ASSERT_EQ(open(map("first.fou", "2 0 0 0 4 0 0 0 5 0.5 0 0")), -1);
    confirm({1.0f, 1.0f, -2.5f});
    confirm({0.0f, 0.0f, 0.0f});
    ASSERT_EQ(open(map("second.fou")), -1);
    EXPECT_TRUE(session.peaks().empty());
    auto files = recovered(maps.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("first-unsaved-peaks-", 0), 0u) << files[0];
    // Fractional f = cell^-1 p + origin: (1/2 + .5, 1/4, -2.5/5) and (.5, 0, 0).
    EXPECT_EQ(ReadFile(files[0]), "ATOM Q  1   X= 1  Y= .25  Z=-.5 \r\nATOM Q  2   X= .5  Y= 0  Z= 0 \r\n");
    confirm({0.5f, 0.0f, 0.0f});
    const std::string broken = map("broken.fou");
    fs::resize_file(broken, 60);
    EXPECT_EQ(open(broken), 1);
    files = recovered(maps.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(ReadFile(files[1]), "ATOM Q  1   X= .5  Y= 0  Z= 0 \r\n");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind("The map file " + broken + " ends early", 0), 0u) << platform.messages[0];
    EXPECT_TRUE(platform.messages[0].ends_with("\nThe 1 peak not saved to a peak file was written to " +
                                               files[1].string() + "."));
}

// A map folder that is gone sends the peaks to the data folder; with no folder at all,
// the note itself carries them to standard error.
TEST_F(PeakRescue, MissingFoldersSendThePeaksToTheDataFolderOrIntoTheNote) {
    ASSERT_EQ(open(map("gone/m.fou")), -1);
    confirm({0.5f, 0.25f, 0.0f});
    fs::remove_all(maps.path() / "gone");
    EXPECT_EQ(EndStatus([&] { session.endProgram(0); }), 0);
    ASSERT_EQ(recovered(data.path()).size(), 1u);
    EXPECT_EQ(ReadFile(recovered(data.path())[0]), "ATOM Q  1   X= .5  Y= .25  Z= 0 \r\n");
    confirm({0.25f, 0.0f, 0.0f});
    platform.dataFolder.clear();
    EXPECT_EQ(session.rescuePeaks(Session::RescueTo::DataFolderOnly),
              "The 2 peaks not saved to a peak file were not written to any file (the data folder refused it): "
              "ATOM Q  1   X= .5  Y= .25  Z= 0 \r\nATOM Q  2   X= .25  Y= 0  Z= 0 \r\n");
    EXPECT_TRUE(recovered(maps.path()).empty());
}

}   // namespace
}   // namespace tivarel::testing
