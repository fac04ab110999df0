// The program at its edges, in the real window: keys it must not take for arrows,
// handlers that fail, files it cannot write, side files it lacks, and picks on maps
// whose numbers defeat single precision.
#include <QAction>
#include <QPushButton>

#include <filesystem>
#include <stdexcept>

#include "panel/control_panel.h"
#include "picking_helpers.h"

namespace tivarel::testing {
namespace {

namespace fs = std::filesystem;

// The same picture, pixel for pixel, and the same view.
void ExpectUnchanged(const FrameImage& a, const FrameImage& b, const char* what) {
    EXPECT_TRUE(a.rgb == b.rgb) << what;
}

// Punctuation shares its Qt key codes with the arrow codes of the key table
// ('%' 0x25 is 37, the left arrow's number): it must move nothing.
TEST_F(WindowTest, PunctuationKeysLeaveThePictureAloneAndArrowsStillMove) {
    Open(kSampleMap);
    const FrameImage before = Frame();
    const struct {
        Qt::Key key;
        char text;
    } keys[] = {{Qt::Key_Percent, '%'}, {Qt::Key_Ampersand, '&'}, {Qt::Key_Apostrophe, '\''}, {Qt::Key_ParenLeft, '('}};
    for (const auto& k : keys) {
        QTest::keyClick(&surface(), k.key, Qt::NoModifier);
        EXPECT_EQ(window->view().modelShift, (std::array<float, 3>{0, 0, 0})) << k.text;
        ExpectUnchanged(before, Frame(), &k.text);
    }
    QTest::keyClick(&surface(), Qt::Key_Left);   // the model moves right by 0.3
    EXPECT_EQ(window->view().modelShift, (std::array<float, 3>{0.3f, 0, 0}));
    EXPECT_FALSE(before.rgb == Frame().rgb);
}

// Whatever a command throws stays inside it: the user is told and the program goes on.
struct FailingDialogPlatform : ScriptedPlatform {
    std::optional<std::string> saveFileDialog(const std::string&, const std::string&) override {
        throw std::runtime_error("the dialog broke");
    }
};

TEST(EventBoundary, AFailingCommandIsToldAndTheProgramGoesOn) {
    FailingDialogPlatform failing;
    MainWindow window(failing);
    window.start(kSampleMap);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.surface()));
    window.findChild<QAction*>("saveImage")->trigger();
    EXPECT_EQ(failing.messages, (std::vector<std::string>{"The command could not be completed: the dialog broke"}));
    window.findChild<QAction*>("exportPovScene")->trigger();
    EXPECT_EQ(failing.messages.size(), 2u);
    EXPECT_TRUE(window.isVisible());
}

// A command asked to write a file writes it or says why not, also without a GL context.
TEST_F(WindowTest, WritingWithoutTheDrawingSurfaceSaysWhy) {
    Open(kSampleMap);
    surface().releaseContext();
    const fs::path folder = fs::temp_directory_path() / "tivarel-no-context";
    fs::create_directories(folder);
    for (const char* command : {"saveImage", "exportPovScene"}) {
        platform.messages.clear();
        const std::string target = (folder / command).string();
        platform.fileAnswers.push_back(target);
        window->findChild<QAction*>(command)->trigger();
        EXPECT_EQ(platform.messages,
                  (std::vector<std::string>{"Cannot write the file " + target +
                                            ": the OpenGL drawing surface is not available."}))
            << command;
        EXPECT_FALSE(fs::exists(target)) << command;
    }
    fs::remove_all(folder);
}

// Only the preset buttons need the presets file: the program starts without it and a
// button names it when pressed.
TEST_F(WindowTest, AMissingPresetsFileIsToldByThePresetButtons) {
    const fs::path folder = fs::temp_directory_path() / "tivarel-no-presets";
    fs::create_directories(folder);
    for (const char* side : {"cell_table.dat", "atompar2.txt"})
        fs::copy_file(fs::path(TIVAREL_BIN_DIR) / side, folder / side, fs::copy_options::overwrite_existing);
    fs::remove(folder / "layer_limit_presets.txt");
    platform.directory = folder.string();
    Open(kSampleMap);
    EXPECT_TRUE(platform.messages.empty());
    const std::array<float, 3> levels = window->program().layers.limits;
    window->controlPanel()->presetButtons[1]->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find((folder / "layer_limit_presets.txt").string()), std::string::npos)
        << platform.messages[0];
    EXPECT_EQ(window->program().layers.limits, levels);
}

// A message that ends a rebuild shows with the progress window already gone.
struct ProgressWatchingPlatform : ScriptedPlatform {
    const QWidget* progress = nullptr;
    std::vector<bool> progressShown;   // at each message
    void messageBox(const std::string& text, const std::string& title, MessageIcon icon) override {
        progressShown.push_back(progress && progress->isVisible());
        ScriptedPlatform::messageBox(text, title, icon);
    }
};

TEST(ProgressWindow, IsHiddenBeforeAMessageShows) {
    // A checkerboard cuts every cube into four corner triangles: 47^3 * 4 > 400 000.
    const std::string map = WriteFou("checkerboard.fou", {48, 48, 48}, {0, 0, 0},
                                     [](double x, double y, double z) { return (int(x + y + z) % 2) ? 1.0 : 0.0; });
    ProgressWatchingPlatform watching;
    watching.fileAnswers.push_back(map);
    MainWindow window(watching);
    watching.progress = &window.progressWindow();
    try {
        window.start(kSampleMap);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.surface()));
        window.findChild<QAction*>("openMap")->trigger();
        FAIL() << "the too complicated scene did not end the program";
    } catch (const ProgramEnded&) {
    }
    ASSERT_EQ(watching.messages.size(), 1u);
    EXPECT_EQ(watching.messages[0], "Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
    EXPECT_EQ(watching.progressShown, std::vector<bool>{false});
}

// Closing with unsaved peaks and a save that fails: the message says what failed and
// where the peaks went.
TEST_F(PickingWindowTest, AFailedSaveAtClosingNamesTheRecoveryFile) {
    const std::string map =
        WriteFou("rescue.fou", {3, 3, 3}, {0, 0, 0}, [](double, double, double) { return 0.0; });
    OpenWith(map);
    for (const Vec3f& p : {Vec3f{1, 1, 0}, Vec3f{0.5f, 2, 1}}) {
        user.yesNoAnswers.push_back(true);
        window->program().AddPeak(p);
    }
    const std::string unwritable = ScratchPath("no-such-folder/newatoms.dat");
    user.fileAnswers.push_back(unwritable);
    EXPECT_THROW(window->closeProgram(), ProgramEnded);
    ASSERT_EQ(user.messages.size(), 1u);
    const std::string& message = user.messages[0];
    const std::string cannot = "Cannot write the file " + unwritable + ": ";
    ASSERT_EQ(message.rfind(cannot, 0), 0u) << message;
    const std::string lead = "\nThe 2 peaks not saved to a peak file were written to ";
    const size_t at = message.find(lead);
    ASSERT_NE(at, std::string::npos) << message;
    const std::string recovery = message.substr(at + lead.size(), message.size() - at - lead.size() - 1);
    std::ifstream in(recovery, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "ATOM Q  1   X= 1  Y= 1  Z= 0 \r\nATOM Q  2   X= .5  Y= 2  Z= 1 \r\n");
}

// The pick grid ends after 101 squares per axis even where a step is lost in the
// origin's precision (1e7 + 0.03 == 1e7 in single precision) or the range is endless.
TEST_F(PickingWindowTest, APickOnAMapBeyondSinglePrecisionReturnsWithNoHit) {
    OpenWith(WriteFou("small.fou", {3, 3, 3}, {0, 0, 0}, [](double, double, double) { return 0.0; }));
    window->program().state.pickMode = "2D";
    GridParams& g = window->program().map.gridParams;
    for (float step : {1e-4f, std::numeric_limits<float>::infinity()}) {
        g(1) = 32767;   // nx
        g(4) = 1e7f;    // x0
        g(7) = step;    // dx
        user.events.clear();
        window->PickPeak(282, 247);
        EXPECT_TRUE(user.events.empty()) << step;
    }
}

}  // namespace
}  // namespace tivarel::testing
