// The command line, the opening of a map, the session's limits and the peak list's rescue,
// through the real Session with the scripted platform standing in for the user; no window.
#include "app/command_line.h"
#include "mapio/default_levels.h"
#include "mapio/map_file.h"
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

// GRD values are scaled down: the upper value is MinValue + MaxValue / 500.
TEST(LayerDefaults, LevelsAtTenThirtyAndFiftyPercentUpToTheGrdUpperValue) {
    GridParams g;
    g(10) = -2.0f;
    g(11) = 1000.0f;
    EXPECT_EQ(DefaultUpperValue(g, true), 0.0f);
    LayerSettings layers;
    layers.zSection = 7;
    SetLayerDefaults(layers, -2.0f, 0.0f);
    EXPECT_EQ(layers.zSection, 1);
    EXPECT_EQ(layers.used, (std::array<bool, 3>{true, true, true}));
    EXPECT_EQ(layers.limits, (std::array<float, 3>{-1.8f, -1.4f, -1.0f}));
}

struct OpenMapTest : ::testing::Test {
    ScriptedPlatform platform;
    Session session{platform, nullptr};
    int open(const std::string& path) {
        return EndStatus([&] { session.openMap(path); });
    }
};

TEST_F(OpenMapTest, StrangeExtensionsShowTwoBoxesThenEnd) {
    const std::pair<std::string, std::string> cases[] = {
        {"map.Grd", "Grd"}, {"\"map.fou\"", "ou\""}, {"-stereohw map.Mt1", "Mt1"}, {"ab", "ab"}};
    for (const auto& [name, extension] : cases) {
        platform.events.clear();
        EXPECT_EQ(open(name), 1) << name;
        EXPECT_EQ(platform.events,
                  (std::vector<std::string>{"message: Strange file extension !!!", "message: " + extension, "end: 1"}));
    }
}

// Files the import command converts get one more line on standard error, before the
// two boxes, naming the command; the boxes stay as they are.
TEST(ImportHint, MapsAndReflectionsNameTheImportCommandAndOtherNamesNothing) {
    const std::pair<std::string, std::string> named[] = {
        {"emd_1234.map", "emd_1234.map"},   {"/data/x.ccp4", "/data/x.ccp4"}, {"A.MRC", "A.MRC"},
        {"r.mtz", "r.mtz"},                 {"1abc-sf.cif", "1abc-sf.cif"},   {"s.fcf", "s.fcf"},
        {"s.hkl", "s.hkl"},                 {"m.map.gz", "m.map.gz"},         {"r.MTZ.GZ", "r.MTZ.GZ"},
        {"my map.ccp4", "'my map.ccp4'"},   {"it's.mrc", "'it'\\''s.mrc'"},
    };
    for (const auto& [name, word] : named)
        EXPECT_EQ(ImportHint(name), "tivarel: " + name + ": convert it first with: tivarel-import " + word);
    for (const std::string name : {"m.pdb", "m.ent", "m.ent.gz", "map.gz", "m.mt1.gz", "x.maps", "xmap", ".map.txt",
                                   "\"m.map\"", "m.map "})
        EXPECT_EQ(ImportHint(name), "") << name;
}

TEST_F(OpenMapTest, AMapForTheImportCommandIsToldOnStandardErrorAboveTheTwoBoxes) {
    const std::string map = Scratch("emd 1.map");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(open(map), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tivarel: " + map + ": convert it first with: tivarel-import '" +
                                                            map + "'\nStrange file extension !!!\nmap\n");
    EXPECT_EQ(platform.events,
              (std::vector<std::string>{"message: Strange file extension !!!", "message: map", "end: 1"}));
}

// The contour map is rebuilt only while it is on; every rebuild is a new scene, a switch
// waits for one. Levels stay in the map's range (0 to 1 here) and the plane in 1..nz, from
// any value and any step.
TEST_F(OpenMapTest, RebuildsMakeANewSceneAndLevelsAndPlaneStayInsideTheMap) {
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
    const std::pair<float, float> levels[] = {{-3.0f, 0.0f}, {0.5f, 0.5f}, {7.0f, 1.0f}, {1.0f, 1.0f}};
    for (const auto& [asked, kept] : levels) {
        session.setLevel(2, asked);
        EXPECT_EQ(session.layers().layerLimit(2), kept) << asked;
    }
    session.setLevelAt(3, 0.75);
    EXPECT_EQ(session.layers().layerLimit(3), 0.75f);
    const std::pair<int, int> sections[] = {{0, 1}, {-40000, 1}, {4, 4}, {5, 5}, {6, 5}, {70000, 5}};
    for (const auto& [asked, kept] : sections) {
        session.setSection(asked);
        EXPECT_EQ(session.layers().zSection, kept) << asked;
    }
    session.moveSection(+1);
    EXPECT_EQ(session.layers().zSection, 5);
    session.moveSection(-1);
    EXPECT_EQ(session.layers().zSection, 4);
}

// Confirmed peaks that never reached a peak file go to a recovery file before the
// program ends or the list is emptied, whatever the way there.
class PeakRescue : public OpenMapTest {
protected:
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path maps = ScratchFolder() / name / "maps", data = ScratchFolder() / name / "data";

    void SetUp() override {
        fs::create_directories(maps);
        fs::create_directories(data);
        platform.dataFolder = data.string();
    }
    // A 2 x 2 x 2 map, unit steps from 0, with the given cell matrix and origin.
    std::string map(const std::string& file, const std::string& cell = "1 0 0 0 1 0 0 0 1 0 0 0") {
        return WriteFou(
            name + "/maps/" + file, {2, 2, 2}, {0, 0, 0},
            [](double x, double y, double) { return x + y == 0 ? 5.0 : 0.0; }, {}, cell);
    }
    void confirm(std::initializer_list<Vec3> points) {
        for (const Vec3& p : points) {
            platform.yesNoAnswers.push_back(true);
            session.addPeak(p);
        }
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
    confirm({{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}});
    ASSERT_EQ(open(map("second.fou")), -1);
    EXPECT_TRUE(session.peaks().empty());
    auto files = recovered(maps);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("first-unsaved-peaks-", 0), 0u) << files[0];
    // Fractional f = cell^-1 p + origin: (1/2 + .5, 1/4, -2.5/5) and (.5, 0, 0).
    EXPECT_EQ(ReadFile(files[0]), "ATOM Q  1   X= 1  Y= .25  Z=-.5 \r\nATOM Q  2   X= .5  Y= 0  Z= 0 \r\n");
    confirm({{0.5f, 0.0f, 0.0f}});
    const std::string broken = (maps / "broken.fou").string();
    std::ofstream(broken, std::ios::binary) << ReadFile(map("whole.fou")).substr(0, 60);
    EXPECT_EQ(open(broken), 1);
    files = recovered(maps);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(ReadFile(files[1]), "ATOM Q  1   X= .5  Y= 0  Z= 0 \r\n");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind("The map file " + broken + " ends early", 0), 0u) << platform.messages[0];
    EXPECT_TRUE(platform.messages[0].ends_with("\nThe 1 peak not saved to a peak file was written to " +
                                               files[1].string() + "."));
}

// A saved list is safe; a peak added after the save makes the whole list unsaved again.
TEST_F(PeakRescue, OnlyUnsavedListsAreRescuedAndNeverOverAnEarlierFile) {
    ASSERT_EQ(open(map("m.fou")), -1);
    confirm({{0.25f, 0.0f, 0.0f}});
    platform.fileAnswers.push_back((data / "saved.dat").string());
    EXPECT_FALSE(session.savePeakFile().has_value());
    EXPECT_EQ(session.rescuePeaks(), "");
    confirm({{0.75f, 0.0f, 0.0f}});
    const std::string note = session.rescuePeaks();
    const auto files = recovered(maps);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(note, "The 2 peaks not saved to a peak file were written to " + files[0].string() + ".");
    EXPECT_EQ(ReadFile(files[0]), "ATOM Q  1   X= .25  Y= 0  Z= 0 \r\nATOM Q  2   X= .75  Y= 0  Z= 0 \r\n");
    confirm({{0.5f, 0.0f, 0.0f}});
    session.clearPeaks();   // as opening another map does
    EXPECT_EQ(recovered(maps).size(), 2u);
}

// A list the user clears is kept in the data folder, never beside the map; with no data
// folder the note carries the peaks to standard error, and the map's folder stays clean.
TEST_F(PeakRescue, AClearedListGoesToTheDataFolderOnly) {
    ASSERT_EQ(open(map("m.fou")), -1);
    confirm({{0.5f, 0.0f, 0.0f}});
    session.clearPeaks(Session::RescueTo::DataFolderOnly);
    EXPECT_TRUE(session.peaks().empty());
    ASSERT_EQ(recovered(data).size(), 1u);
    EXPECT_EQ(recovered(data)[0].filename().string().rfind("m-unsaved-peaks-", 0), 0u);
    EXPECT_EQ(ReadFile(recovered(data)[0]), "ATOM Q  1   X= .5  Y= 0  Z= 0 \r\n");
    confirm({{0.25f, 0.0f, 0.0f}});
    platform.dataFolder.clear();
    EXPECT_EQ(session.rescuePeaks(Session::RescueTo::DataFolderOnly),
              "The 1 peak not saved to a peak file was not written to any file (the data folder refused it): "
              "ATOM Q  1   X= .25  Y= 0  Z= 0 \r\n");
    EXPECT_TRUE(recovered(maps).empty());
}

// A map folder that is gone sends the peaks to the data folder; with no folder at all,
// the note itself carries them to standard error.
TEST_F(PeakRescue, MissingFoldersSendThePeaksToTheDataFolderOrIntoTheNote) {
    fs::create_directories(maps / "gone");
    ASSERT_EQ(open(map("gone/m.fou")), -1);
    confirm({{0.5f, 0.25f, 0.0f}});
    fs::remove_all(maps / "gone");
    EXPECT_EQ(EndStatus([&] { session.endProgram(0); }), 0);
    ASSERT_EQ(recovered(data).size(), 1u);
    EXPECT_EQ(ReadFile(recovered(data)[0]), "ATOM Q  1   X= .5  Y= .25  Z= 0 \r\n");
    confirm({{0.5f, 0.5f, 0.5f}});
    fs::remove_all(data);
    EXPECT_EQ(session.rescuePeaks().find("The 2 peaks not saved to a peak file were not written to any file"), 0u);
}

}   // namespace
}   // namespace tivarel::testing
