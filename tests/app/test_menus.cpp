// The menu bar and its commands, driven through the real main window.
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "info/info_windows.h"

namespace tivarel::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

fs::path TempFile(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "tivarel-menus";
    fs::create_directories(dir);
    fs::remove(dir / name);
    return dir / name;
}

QAction* Action(MainWindow& window, const char* name) { return window.findChild<QAction*>(name); }

TEST_F(WindowTest, MenuBarHasEveryCaptionAndAccessKeyInOrder) {
    Open(kSampleMap);
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"&File", {"&Open ZOL map", "&Save peak list", "Save &POVRAY file", "Save &image", "&Exit"}},
        {"&Edit", {"&Clear Peaks"}},
        {"&View", {"&Show Control Panel", "&Background Color"}},
        {"&Help", {"&Help", "&About"}},
    };
    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (size_t m = 0; m < expected.size(); ++m) {
        EXPECT_EQ(menus[static_cast<qsizetype>(m)]->text().toStdString(), expected[m].first);
        const QList<QAction*> items = menus[static_cast<qsizetype>(m)]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].second.size()));
        for (size_t i = 0; i < expected[m].second.size(); ++i) {
            EXPECT_EQ(items[static_cast<qsizetype>(i)]->text().toStdString(), expected[m].second[i]);
            EXPECT_TRUE(items[static_cast<qsizetype>(i)]->shortcut().isEmpty());   // access keys only
        }
    }
    for (const char* name : {"openMap", "savePeakList", "exportPovScene", "saveImage", "closeProgram", "clearPeaks",
                             "showControlPanel", "chooseBackgroundColour", "showHelp", "showAbout"})
        EXPECT_NE(Action(*window, name), nullptr) << name;
}

TEST_F(WindowTest, SavingAnEmptyPeakListSaysSo) {
    Open(kSampleMap);
    platform.events.clear();
    Action(*window, "savePeakList")->trigger();
    EXPECT_EQ(platform.events, (std::vector<std::string>{"message: You do not have any peaks"}));
    window->program().peaks.count = 2;
    Action(*window, "clearPeaks")->trigger();
    EXPECT_EQ(window->program().peaks.count, 0);
    Action(*window, "savePeakList")->trigger();
    EXPECT_EQ(platform.messages.back(), "You do not have any peaks");
}

TEST_F(WindowTest, BackgroundColourDialogSetsTheClearColour) {
    Open(kSampleMap);
    platform.colourAnswers.push_back(0x00FF0000u);   // pure blue in 0x00BBGGRR
    Action(*window, "chooseBackgroundColour")->trigger();
    EXPECT_EQ(window->program().state.backgroundRGB, (std::array<float, 3>{0, 0, 255}));
    surface().makeCurrent();
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 1.0f);
    EXPECT_EQ(clear[3], 0.0f);
    const FrameImage image = Frame();
    EXPECT_EQ(image.at(0, 0).b, 255);
    EXPECT_EQ(image.at(0, 0).r, 0);

    // A cancel keeps the dialog's colour: the dialog starts from blue and blue stays.
    platform.colourAnswers.push_back(std::nullopt);
    Action(*window, "chooseBackgroundColour")->trigger();
    EXPECT_EQ(platform.events.back(), "colour: " + std::to_string(0x00FF0000u));
    EXPECT_EQ(window->program().state.backgroundRGB, (std::array<float, 3>{0, 0, 255}));
}

TEST_F(WindowTest, AboutShowsDriverModeAndTheUsedLayersTriangles) {
    Open(kSampleMap);
    Program& p = window->program();
    p.layers.used = {true, false, true};
    Action(*window, "showAbout")->trigger();
    AboutWindow* about = window->aboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), "About");
    EXPECT_EQ(about->versionLabel->text(), "Version 1.1 beta  7");
    EXPECT_EQ(about->trianglesCaption->text(), "Actual number of TVR  triangles:");
    const int32_t used = p.triangles.count(1) + p.triangles.count(3);
    EXPECT_EQ(about->trianglesLabel->text().toStdString(), " " + std::to_string(used));
    EXPECT_EQ(about->modeLabel->text(), "NoStereo");
    surface().makeCurrent();
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    EXPECT_EQ(about->driversLabel->text().toStdString().rfind(vendor + " ", 0), 0u);

    // A snapshot: reopening without closing keeps the old text; closing reloads it.
    p.layers.used = {true, true, true};
    Action(*window, "showAbout")->trigger();
    EXPECT_EQ(window->aboutWindow()->trianglesLabel->text().toStdString(), " " + std::to_string(used));
    window->aboutWindow()->close();
    QTRY_VERIFY(window->aboutWindow() == nullptr);
    Action(*window, "showAbout")->trigger();
    const int32_t all = p.triangles.count(1) + p.triangles.count(2) + p.triangles.count(3);
    EXPECT_EQ(window->aboutWindow()->trianglesLabel->text().toStdString(), " " + std::to_string(all));
}

TEST(HelpText, EveryLineEndsWithALineEnd) {
    EXPECT_EQ(HelpText(""), "");
    EXPECT_EQ(HelpText("one\r\ntwo"), "one\ntwo\n");
    EXPECT_EQ(HelpText("one\r\n\r\nthree\n"), "one\n\nthree\n");
    EXPECT_EQ(HelpText("a\rb\r"), "a\nb\n");
}

TEST_F(WindowTest, HelpShowsTheShippedReadme) {
    Open(kSampleMap);
    Action(*window, "showHelp")->trigger();
    ASSERT_NE(window->helpWindow(), nullptr);
    EXPECT_EQ(window->helpWindow()->windowTitle(), "Help");
    const std::string shown = window->helpWindow()->textView->toPlainText().toStdString();
    EXPECT_EQ(shown, HelpText(ReadBytes(TIVAREL_BIN_DIR "/readme.txt")));
    EXPECT_GT(shown.size(), 200u);
}

TEST_F(WindowTest, SavedImageIsATgaOfTheDrawingArea) {
    Open(kSampleMap);
    const fs::path path = TempFile("picture.tga");
    platform.fileAnswers.push_back(path.string());
    Action(*window, "saveImage")->trigger();
    EXPECT_EQ(platform.events.back(), "save: ZOL_picture.tga | TGA pictures (*.tga)|*.tga");
    const std::string bytes = ReadBytes(path);
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    ASSERT_EQ(bytes.size(), 18u + 3u * static_cast<size_t>(w * h));
    EXPECT_EQ(static_cast<uint8_t>(bytes[12]) + 256 * static_cast<uint8_t>(bytes[13]), w);
    EXPECT_EQ(static_cast<uint8_t>(bytes[14]) + 256 * static_cast<uint8_t>(bytes[15]), h);
    // The frame read back directly matches the file's bottom-left pixel, stored blue first.
    const FrameImage image = Frame();
    EXPECT_EQ(static_cast<uint8_t>(bytes[18]), image.at(0, 0).b);
    EXPECT_EQ(static_cast<uint8_t>(bytes[20]), image.at(0, 0).r);
    // Image programs read it with the same size.
    const std::string command = "identify -format '%w %h' '" + path.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char out[64] = {};
    ASSERT_NE(fgets(out, sizeof out, pipe), nullptr);
    pclose(pipe);
    EXPECT_EQ(std::string(out), std::to_string(w) + " " + std::to_string(h));

    // A cancelled dialog writes nothing; the shared file name keeps the last choice.
    fs::remove(path);
    platform.fileAnswers.push_back(std::nullopt);
    Action(*window, "saveImage")->trigger();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(WindowTest, PovRayExportWritesTheSceneBehindTheHead) {
    Open(kSampleMap);
    const fs::path path = TempFile("scene.pov");
    platform.fileAnswers.push_back(path.string());
    Action(*window, "exportPovScene")->trigger();
    EXPECT_EQ(platform.events.back(), "save: TVR_pov.pov | POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    const std::string text = ReadBytes(path);
    EXPECT_EQ(text.rfind("// Original ZOL map filename:\r\n// " + kSampleMap + "\r\n", 0), 0u);
    EXPECT_NE(text.find("sphere {<"), std::string::npos);
    EXPECT_NE(text.find("matrix <"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n}\r\nscale <1,1,-1>\r\n}\r\n"));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(WindowTest, OpeningAnotherMapReplacesItAndACancelKeepsIt) {
    Open("-StereoInterlaced " + kSampleMap);
    const std::string grd = TIVAREL_SOURCE_DIR "/data/sample.grd";
    window->program().peaks.count = 3;
    platform.fileAnswers.push_back(grd);
    Action(*window, "openMap")->trigger();
    EXPECT_EQ(window->windowTitle().toStdString(), "Visualized file: " + grd);
    EXPECT_EQ(window->program().state.stereoMode, "StereoInterlaced");
    EXPECT_EQ(window->program().peaks.count, 0);
    EXPECT_EQ(platform.events.front().rfind("open: ", 0), 0u);
    // The dialog starts from the shared name; a cancel keeps the map shown.
    platform.fileAnswers.push_back(std::nullopt);
    Action(*window, "openMap")->trigger();
    EXPECT_EQ(platform.events.back(), "open: " + grd + " | ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*");
    EXPECT_EQ(window->program().state.mapFileName, grd);
}

}  // namespace
}  // namespace tivarel::testing

namespace tivarel::testing {
namespace {

TEST_F(WindowTest, ExportsThatCannotBeWrittenSaySoAndLeaveNothing) {
    Open(kSampleMap);
    const std::string missingDir = (fs::temp_directory_path() / "tivarel-no-such-folder").string();
    fs::remove_all(missingDir);
    for (const char* command : {"saveImage", "exportPovScene"}) {
        platform.messages.clear();
        const std::string target = missingDir + "/out.file";
        platform.fileAnswers.push_back(target);
        Action(*window, command)->trigger();
        ASSERT_EQ(platform.messages.size(), 1u) << command;
        EXPECT_NE(platform.messages[0].find(target), std::string::npos) << platform.messages[0];
        EXPECT_FALSE(fs::exists(missingDir));
    }
}

TEST_F(WindowTest, PovRayExportWithoutAHeadFileStillWritesTheScene) {
    Open(kSampleMap);
    const fs::path emptyDir = fs::temp_directory_path() / "tivarel-no-head";
    fs::create_directories(emptyDir);
    platform.directory = emptyDir.string();
    const fs::path path = TempFile("headless.pov");
    platform.fileAnswers.push_back(path.string());
    Action(*window, "exportPovScene")->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("ZOLmap_POVray_head.def"), std::string::npos);
    EXPECT_TRUE(ReadBytes(path).ends_with("scale <1,1,-1>\r\n}\r\n"));
}

}  // namespace
}  // namespace tivarel::testing
