// The main window's picture, navigation, menu commands and end, in a real GL window under Xvfb.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "../import/ccp4_test_file.h"
#include "export/number_format.h"
#include "info/info_windows.h"
#include "panel/control_panel.h"
#include "render/frame.h"
#include "render/scene.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

// The default mesh colours (0.1, 0.7, 0.1), (0.1, 0.1, 0.7) and (0.7, 0.1, 0.1).
constexpr Colour8 kMesh[3] = {{25.5, 178.5, 25.5}, {25.5, 25.5, 178.5}, {178.5, 25.5, 25.5}};

// A CCP4 map of a box far from its cell's origin, converted by the real tivarel-import,
// opens with the meshes of its three layers in the middle of the picture.
TEST_F(WindowTest, AnImportedBoxFarFromTheCellOriginOpensWithItsSurfacesInView) {
    test_support::WriteFile(Scratch("far.ccp4"),
                            test_support::Ccp4Bytes(test_support::BoxFile({80, -50, 100}, {20, 20, 20})));
    ASSERT_EQ(std::system(("\"" TIVAREL_IMPORT "\" " + Scratch("far.ccp4") + " 2>/dev/null").c_str()), 0);
    open(Scratch("far.mt1"));
    EXPECT_EQ(surface().size(), QSize(564, 494));
    EXPECT_EQ(window->windowTitle().toStdString(), "Visualized file: " + Scratch("far.mt1"));
    const FrameImage image = frame();
    for (const Colour8& c : kMesh) EXPECT_GT(image.count(c), 50) << c[0] << " " << c[1];
    const Centroid c =
        centroidOf(image, [](Rgb8 p) { return p.near(kMesh[0]) || p.near(kMesh[1]) || p.near(kMesh[2]); });
    EXPECT_NEAR(c.x, image.width / 2.0, image.width / 4.0);
    EXPECT_NEAR(c.y, image.height / 2.0, image.height / 4.0);
    EXPECT_TRUE(platform.events.empty());
}

// Layer L holds L triangles and only the last lies in view: the web style draws spokes
// from its centre (cx, 1), the triangle style its outline through (cx, 0).
TEST_F(WindowTest, TheLastTriangleOfEachLayerIsDrawnInBothStyles) {
    open(kSampleMap);
    TriangleStore triangles;
    for (int layer = 1; layer <= 3; ++layer) {
        const float cx = -4.0f + 4.0f * float(layer - 1);
        triangles.count(layer) = layer;
        for (int n = 1; n < layer; ++n) triangles.at(layer, n).point = {Vec3{99, 99, 0}, {99, 98, 0}, {98, 99, 0}};
        triangles.at(layer, layer).point = {Vec3{cx - 1.5f, 0, 0}, {cx + 1.5f, 0, 0}, {cx, 3, 0}};
    }
    const Session& s = session();
    LayerSettings layers = s.layers();
    layers.showContourMap = false;
    ProgramState state;
    state.showAtoms = false;
    surface().makeCurrent();
    render::SceneDrawing drawing([this](const char* name) { return surface().context()->getProcAddress(name); });
    uint64_t revision = 0;
    for (const MeshStyle style : {MeshStyle::Web, MeshStyle::Triangle}) {
        state.meshStyle = style;
        const render::Scene scene{StereoMode::None, state, layers,    triangles, s.segments(),
                                  s.map(),          s.bonds(), {}, s.pickPoint()};
        const auto [extentX, extentY] = WindowExtents(surface().pixelWidth(), surface().pixelHeight());
        render::DrawFrame(StereoMode::None, extentX, extentY, window->view(), [&] { drawing.draw(scene, ++revision); });
        const FrameImage image = backBuffer();
        for (int layer = 1; layer <= 3; ++layer) {
            const float cx = -4.0f + 4.0f * float(layer - 1);
            const bool web = style == MeshStyle::Web;
            SCOPED_TRACE("layer " + std::to_string(layer) + (web ? ", web" : ", triangles"));
            EXPECT_EQ(image.around(project({cx, 1, 0}), kMesh[layer - 1]), web);
            EXPECT_EQ(image.around(project({cx, 0, 0}), kMesh[layer - 1]), !web);
            EXPECT_TRUE(image.around(project({cx + 0.75f, web ? 0.5f : 1.5f, 0}), kMesh[layer - 1]));
        }
    }
    drawing.release();
}

// Punctuation shares its Qt key codes with the arrows' numbers ('%' is 37, the left
// arrow's): it must move nothing. The arrows move the model by 0.3, "c" centres it again.
TEST_F(WindowTest, ArrowKeysMoveTheModelAndPunctuationDoesNot) {
    open(kSampleMap);
    const std::pair<Qt::Key, std::array<float, 3>> keys[] = {
        {Qt::Key_Percent, {0, 0, 0}},   {Qt::Key_Ampersand, {0, 0, 0}}, {Qt::Key_Apostrophe, {0, 0, 0}},
        {Qt::Key_ParenLeft, {0, 0, 0}}, {Qt::Key_Left, {0.3f, 0, 0}},   {Qt::Key_Up, {0.3f, -0.3f, 0}},
        {Qt::Key_C, {0, 0, 0}}};
    for (const auto& [key, shift] : keys) {
        QTest::keyClick(&surface(), key);
        EXPECT_EQ(window->view().modelShift, shift) << "key " << int(key);
    }
}

// The model follows the mouse: dragged up from below the centre, each step of the spin after
// the release turns its front up. The spin waits while a dialog is open; a click stops it.
TEST_F(WindowTest, DragsSpinTheModelTheWayOfTheMouseExceptWhileADialogIsOpen) {
    open(kSampleMap);
    QTest::mousePress(&surface(), Qt::LeftButton, {}, {282, 300});
    QTest::mouseMove(&surface(), {282, 290});
    QTest::mouseRelease(&surface(), Qt::LeftButton, {}, {282, 290});
    window->view().viewQuat = window->view().dragQuat;   // one step from the start
    EXPECT_GT(project({0, 0, 3})[1], 247 + 1);
    EXPECT_EQ(window->view().dragQuat[1], 0.0f);   // about the x axis only
    Quat asked{}, answered{};
    platform.whileAsking = [&] {   // the box's loop keeps serving events meanwhile
        asked = window->view().viewQuat;
        QTest::qWait(100);
        answered = window->view().viewQuat;
    };
    session().addPeak({1, 2, 3});
    EXPECT_EQ(asked, answered);
    QTest::qWait(50);
    EXPECT_NE(window->view().viewQuat, answered);
    QTest::mouseClick(&surface(), Qt::LeftButton, {}, {282, 247});
    EXPECT_FALSE(window->isIdleLoopActive());
}

// An OpenGL error pending at a paint is told once, in the program's own words.
TEST_F(WindowTest, AGLErrorIsToldAtTheNextPaint) {
    open(kSampleMap);
    surface().makeCurrent();
    glEnable(0x1234);   // GL_INVALID_ENUM, 1280
    window->paint();
    window->paint();
    EXPECT_EQ(platform.messages, (std::vector<std::string>{"Warning: OpenGL error nuber: 1280"}));
}

// The stencil marks the even rows. A marker 10 units before the zero plane: the left eye
// (0.31 left of the centre) sees it right of the centre on the odd rows, the right eye
// left of it on the even rows.
TEST_F(WindowTest, InterlacedMaskAlternatesRowsAndRoutesTheEyes) {
    open("-StereoInterlaced " + kSampleMap);
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    surface().makeCurrent();
    std::vector<unsigned char> stencil(static_cast<size_t>(w * h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
    int wrong = 0;
    for (int i = 0; i < w * h; ++i) wrong += stencil[size_t(i)] != (i / w % 2 == 0 ? 1 : 0);
    EXPECT_EQ(wrong, 0);
    const Vec3 p{0, 0, 10};
    session().setShowAtoms(false);
    hideTheMap();
    session().showMarker(p);
    const FrameImage image = frame();
    EXPECT_NEAR(centroidOf(image, bright, [](int y) { return y % 2 == 1; }).x, project(p, -0.31)[0], 1.5);
    EXPECT_NEAR(centroidOf(image, bright, [](int y) { return y % 2 == 0; }).x, project(p, 0.31)[0], 1.5);
    EXPECT_EQ(render::LineWidthFor(window->stereoMode()), 2.0f);   // mesh lines twice as wide
    // Without stencil bits (as a request for none gets here) the surface is refused for this mode.
    GLSurface plain(SurfaceFormatFor(StereoMode::None), {}), interlaced(SurfaceFormatFor(StereoMode::None), {});
    ASSERT_TRUE(plain.createContext(StereoMode::None));
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(interlaced.createContext(StereoMode::Interlaced), bits >= 1);
}

// q and Escape end the program normally, asking nothing when there are no peaks, after
// the GL context is released; a fatal error ends it with the critical box.
TEST_F(WindowTest, QAndEscapeEndTheProgramAndAFatalErrorEndsItWithItsBox) {
    open(kSampleMap);
    EXPECT_EQ(EndStatus([&] { window->keyPress('q'); }), 0);
    EXPECT_EQ(platform.events, (std::vector<std::string>{"end: 0"}));
    EXPECT_EQ(surface().context(), nullptr);
    EXPECT_EQ(EndStatus([&] { window->keyDown(Key::Escape); }), 0);
    EXPECT_EQ(EndStatus([&] { window->fatalError("Could not retrieve pixel format!"); }), 1);
    EXPECT_EQ(platform.messages.back(), "Fatal Error: Could not retrieve pixel format!");
    EXPECT_EQ(platform.lastTitle, "Fatal Error In Tivarel");
}

// Only the preset buttons need the presets file: the program starts without it, and a
// button names it when pressed. Whatever else a command throws is told, and it goes on.
TEST_F(WindowTest, AMissingPresetsFileIsToldByThePresetButtonsAndFailingCommandsGoOn) {
    const fs::path folder = ScratchFolder() / "no-presets";
    fs::create_directories(folder);
    for (const char* side : {"cell_table.dat", "atompar2.txt"})
        fs::copy_file(fs::path(TIVAREL_BIN_DIR) / side, folder / side, fs::copy_options::overwrite_existing);
    platform.directory = folder.string();
    open(kSampleMap);
    const std::array<float, 3> levels = session().layers().limits;
    window->controlPanel()->presetButtons[1]->click();
    EXPECT_NE(platform.messages.at(0).find((folder / "layer_limit_presets.txt").string()), std::string::npos);
    EXPECT_EQ(session().layers().limits, levels);
    platform.whileSaving = [] { throw std::runtime_error("the dialog broke"); };
    window->findChild<QAction*>("saveImage")->trigger();
    EXPECT_EQ(platform.messages.back(), "The command could not be completed: the dialog broke");
}

// The progress window is hidden once the layers are built, and before a message shows.
TEST_F(WindowTest, TheProgressWindowShowsTheLastLayerAndHidesBeforeAMessage) {
    open(kSampleMap);
    const ProgressWindow& progress = window->progressWindow();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.windowTitle().toStdString() + " " + std::to_string(progress.value()),
              "ZOL map processing progress. Layer number: 3 100");
    // A checkerboard cuts every cube into four corner triangles: 47^3 * 4 > 400 000.
    platform.fileAnswers = {WriteFou("checkerboard.fou", {48, 48, 48}, {0, 0, 0},
                                     [](double x, double y, double z) { return int(x + y + z) % 2; })};
    bool shown = true;
    platform.whileTelling = [&] { shown = progress.isVisible(); };
    EXPECT_EQ(EndStatus([&] { window->findChild<QAction*>("openMap")->trigger(); }), 1);
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"Sorry, to complicated scene, Number of reguired triangles > 1 200 000"});
    EXPECT_FALSE(shown);
}

class MenuTest : public WindowTest {
protected:
    void SetUp() override { open(kSampleMap); }
    void run(const char* command) { window->findChild<QAction*>(command)->trigger(); }
};

// "&Clear Peaks" keeps peaks never saved in the data folder, not beside the map.
TEST_F(MenuTest, ClearPeaksKeepsUnsavedPeaksInTheDataFolderOnly) {
    const test_support::TempFolder data;
    platform.dataFolder = data.path().string();
    const auto besideMap = [] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(ScratchFolder()))
            n += e.path().filename().string().rfind("sample-unsaved-peaks-", 0) == 0 ? 1 : 0;
        return n;
    };
    const int before = besideMap();
    platform.yesNoAnswers = {true};
    session().addPeak({1, 2, 3});
    run("clearPeaks");
    EXPECT_TRUE(session().peaks().empty());
    EXPECT_EQ(besideMap(), before);
    const auto files = std::distance(fs::directory_iterator(data.path()), fs::directory_iterator());
    EXPECT_EQ(files, 1);
}

TEST_F(MenuTest, TheBackgroundIsTheDialogsColourAndACancelKeepsIt) {
    platform.colourAnswers = {0x00FF0000u, std::nullopt};   // pure blue in 0x00BBGGRR, then a cancel
    for (int k = 0; k < 2; ++k) {
        run("chooseBackgroundColour");
        EXPECT_TRUE(frame().at(0, 0).near({0, 0, 255}));
    }
    EXPECT_EQ(platform.events.back(), "colour: " + std::to_string(0x00FF0000u));   // it starts from blue
}

TEST_F(MenuTest, AboutShowsDriverModeAndTheUsedLayersTrianglesAndHelpTheReadme) {
    session().setLayerUsed(2, false);
    run("showAbout");
    AboutWindow* about = window->aboutWindow();
    ASSERT_TRUE(about && about->isVisible());
    EXPECT_EQ(about->versionLabel->text(), "Version 1.1 beta  7");
    EXPECT_EQ(about->trianglesCaption->text(), "Actual number of TVR  triangles:");
    EXPECT_EQ(about->trianglesLabel->text().toStdString(),
              " " + std::to_string(session().triangles().count(1) + session().triangles().count(3)));
    EXPECT_EQ(about->modeLabel->text(), "NoStereo");
    surface().makeCurrent();
    EXPECT_TRUE(about->driversLabel->text().startsWith(reinterpret_cast<const char*>(glGetString(GL_VENDOR))));
    EXPECT_EQ(HelpText("one\r\n\r\nthree"), "one\n\nthree\n");   // every line ended
    run("showHelp");
    ASSERT_NE(window->helpWindow(), nullptr);
    EXPECT_EQ(window->helpWindow()->textView->toPlainText().toStdString(),
              HelpText(ReadFile(TIVAREL_BIN_DIR "/readme.txt")));
}

// The picture is drawn anew before it is read: a back buffer holding something else
// (red here) must not reach the file. TGA keeps blue, green, red from the bottom row.
TEST_F(MenuTest, SavedImageIsATgaOfTheFreshPicture) {
    const std::string path = Scratch("picture.tga");
    platform.fileAnswers = {path, std::nullopt};
    surface().makeCurrent();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    run("saveImage");
    EXPECT_EQ(platform.events.back(), "save: ZOL_picture.tga | TGA pictures (*.tga)|*.tga");
    const std::string bytes = ReadFile(path);
    const FrameImage image = frame();
    ASSERT_EQ(bytes.size(), 18u + image.rgb.size());
    EXPECT_EQ(uint8_t(bytes[12]) + 256 * uint8_t(bytes[13]), image.width);
    EXPECT_EQ(uint8_t(bytes[14]) + 256 * uint8_t(bytes[15]), image.height);
    int differ = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        differ += uint8_t(bytes[18 + i]) != image.rgb[i + 2] || uint8_t(bytes[20 + i]) != image.rgb[i];
    EXPECT_EQ(differ, 0);
    fs::remove(path);
    run("saveImage");   // a cancel writes nothing
    EXPECT_FALSE(fs::exists(path));
}

// The scene's matrix is the model view GL drew the last frame with, turned and zoomed, which
// is to the bit the one GL's own calls build (turn, shift, zoom); the export needs no GL
// context, the picture does.
TEST_F(MenuTest, PovRayExportWritesTheSceneBehindTheHeadUnderTheViewGLDrew) {
    const std::string path = Scratch("scene.pov");
    const Quat turn{0.2f, -0.3f, -0.1f, std::sqrt(1.0f - 0.14f)};
    look(0.75f, {0.5f, -1.25f, 2}, turn);
    frame();
    std::array<float, 16> drawn{}, built{};
    glGetFloatv(GL_MODELVIEW_MATRIX, drawn.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const double x = turn[0], y = turn[1], z = turn[2], w = turn[3];   // the rotation, worked out by hand
    const float rotation[16] = {float(1 - 2 * (y * y + z * z)), float(2 * (x * y - z * w)), float(2 * (z * x + y * w)), 0,
                                float(2 * (x * y + z * w)), float(1 - 2 * (z * z + x * x)), float(2 * (y * z - x * w)), 0,
                                float(2 * (z * x - y * w)), float(2 * (y * z + x * w)), float(1 - 2 * (y * y + x * x)), 0,
                                0, 0, 0, 1};
    glMultMatrixf(rotation);
    glTranslatef(0.5f, -1.25f, 2);
    glScalef(0.75f, 0.75f, 0.75f);
    glGetFloatv(GL_MODELVIEW_MATRIX, built.data());
    EXPECT_EQ(std::memcmp(drawn.data(), built.data(), sizeof drawn), 0);
    std::string matrix = "matrix <\r\n";
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 3; ++row)
            matrix += FormatFileNumber(drawn[column * 4 + row]) + (column < 3 || row < 2 ? " , " : "");
        matrix += "\r\n";
    }
    surface().releaseContext();
    platform.fileAnswers = {path, Scratch("picture.tga")};
    run("exportPovScene");
    EXPECT_EQ(platform.events.back(), "save: TVR_pov.pov | POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("// Original ZOL map filename:\r\n// " + kSampleMap + "\r\n", 0), 0u);
    EXPECT_NE(text.find("sphere {<"), std::string::npos);
    EXPECT_TRUE(text.ends_with(matrix + ">\r\n}\r\nscale <1,1,-1>\r\n}\r\n")) << text.substr(text.size() - 300);
    EXPECT_TRUE(platform.messages.empty());
    run("saveImage");
    EXPECT_EQ(platform.messages.back(), "Cannot write the file " + Scratch("picture.tga") +
                                            ": the OpenGL drawing surface is not available.");
    EXPECT_FALSE(fs::exists(Scratch("picture.tga")));
}

}   // namespace
}   // namespace tivarel::testing
