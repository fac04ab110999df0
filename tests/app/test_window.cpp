// The main window's start, picture, navigation, menu commands, peak file and end, in a real
// GL window under Xvfb.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "export/number_format.h"
#include "info/info_windows.h"
#include "panel/control_panel.h"
#include "render/frame.h"
#include "render/scene.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

const std::string kMapFilter = " | ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*";

// With no map named the open dialog asks for one, and a cancel there ends the program;
// File, Open cancelled keeps the map shown, the dialog starting from the last name chosen.
TEST_F(WindowTest, TheOpenDialogChoosesTheMapAndACancelEndsOnlyTheStart) {
    window = std::make_unique<MainWindow>(platform);
    EXPECT_EQ(EndStatus([&] { window->start(ParseCommandLine("")); }), 1);
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open: " + kMapFilter, "message: No input given !!", "end: 1"}));
    platform.events.clear();
    platform.fileAnswers = {kSampleMap, std::nullopt};
    open("");
    const uint64_t scene = session().sceneRevision();
    command("openMap");
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open: " + kMapFilter, "open: " + kSampleMap + kMapFilter}));
    EXPECT_EQ(window->windowTitle().toStdString(), "Visualized file: " + kSampleMap);
    EXPECT_EQ(session().sceneRevision(), scene);
}

// A box 48 long, four times the 12 the start view shows, opens at the zoom worked out by
// hand: the sphere about the origin through its corners, sqrt(24^2 + 4^2 + 4^2) = 24.658,
// scaled to 5.250891 (90 % of the view's height seen from 22.5 away), 0.212952.
TEST_F(WindowTest, ALargeMapOpensZoomedOutToItsWholeBox) {
    open(WriteFou("long.fou", {49, 9, 9}, {-24, -4, -4}, [](double x, double, double) { return x; }));
    EXPECT_NEAR(window->view().zoomScale, 0.212952, 2e-6);
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
        const render::Scene scene{StereoMode::None, state, layers, triangles, s.segments(), s.map(), s.bonds(), {}, {}};
        const auto [extentX, extentY] = WindowExtents(surface().pixelWidth(), surface().pixelHeight());
        render::DrawFrame(StereoMode::None, extentX, extentY, window->view(), [&] { drawing.draw(scene, ++revision); });
        const FrameImage image = backBuffer();
        const bool web = style == MeshStyle::Web;
        for (int layer = 1; layer <= 3; ++layer) {
            const float cx = -4.0f + 4.0f * float(layer - 1);
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
    ViewState& view = window->view();
    view.viewQuat = view.dragQuat;   // one step from the start
    EXPECT_GT(project({0, 0, 3})[1], surface().pixelHeight() / 2.0 + 1);
    EXPECT_EQ(view.dragQuat[1], 0.0f);   // about the x axis only
    Quat asked{}, answered{};
    platform.whileAsking = [&] {   // the box's loop serves events meanwhile
        asked = view.viewQuat;
        QTest::qWait(100);   // the user's time with the box, long enough for many spin steps
        answered = view.viewQuat;
    };
    session().addPeak({1, 2, 3});
    EXPECT_EQ(asked, answered);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.viewQuat != answered; }, 5000)) << "no spin step within 5 s";
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
    EXPECT_EQ(platform.messages.at(0), "Cannot open the file " + (folder / "layer_limit_presets.txt").string());
    EXPECT_EQ(session().layers().limits, levels);
    platform.whileSaving = [] { throw std::runtime_error("the dialog broke"); };
    command("saveImage");
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
    EXPECT_EQ(EndStatus([&] { command("openMap"); }), 1);
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"Sorry, to complicated scene, Number of reguired triangles > 1 200 000"});
    EXPECT_FALSE(shown);
}

// "&Clear Peaks" keeps peaks never saved in the data folder, not beside the map.
TEST_F(WindowTest, ClearPeaksKeepsUnsavedPeaksInTheDataFolderOnly) {
    const test_support::TempFolder maps, data;
    platform.dataFolder = data.path().string();
    fs::copy_file(kSampleMap, maps.path() / "sample.fou");
    open((maps.path() / "sample.fou").string());
    platform.yesNoAnswers = {true};
    session().addPeak({1, 2, 3});
    command("clearPeaks");
    EXPECT_TRUE(session().peaks().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(maps.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(data.path()), fs::directory_iterator()), 1);
}

TEST_F(WindowTest, TheBackgroundIsTheDialogsColourAndACancelKeepsIt) {
    open(kSampleMap);
    platform.colourAnswers = {0x00FF0000u, std::nullopt};   // pure blue in 0x00BBGGRR, then a cancel
    for (int k = 0; k < 2; ++k) {
        command("chooseBackgroundColour");
        EXPECT_TRUE(frame().at(0, 0).near({0, 0, 255}));
    }
    EXPECT_EQ(platform.events.back(), "colour: " + std::to_string(0x00FF0000u));   // it starts from blue
}

TEST_F(WindowTest, AboutCountsTheUsedLayersTrianglesAndHelpShowsTheReadme) {
    open(kSampleMap);
    session().setLayerUsed(2, false);
    command("showAbout");
    AboutWindow* about = window->aboutWindow();
    ASSERT_TRUE(about && about->isVisible());
    EXPECT_EQ(about->trianglesLabel->text().toStdString(),
              " " + std::to_string(session().triangles().count(1) + session().triangles().count(3)));
    EXPECT_EQ(about->modeLabel->text(), "NoStereo");
    EXPECT_EQ(HelpText("one\r\n\r\nthree"), "one\n\nthree\n");   // every line ended
    command("showHelp");
    ASSERT_NE(window->helpWindow(), nullptr);
    EXPECT_EQ(window->helpWindow()->textView->toPlainText().toStdString(),
              HelpText(ReadFile(TIVAREL_BIN_DIR "/readme.txt")));
}

// The picture is drawn anew before it is read: a back buffer holding something else
// (red here) must not reach the file. TGA keeps blue, green, red from the bottom row.
TEST_F(WindowTest, SavedImageIsATgaOfTheFreshPicture) {
    open(kSampleMap);
    const std::string path = Scratch("picture.tga");
    platform.fileAnswers = {path, std::nullopt};
    surface().makeCurrent();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    command("saveImage");
    EXPECT_EQ(platform.events.back(), "save: ZOL_picture.tga | TGA pictures (*.tga)|*.tga");
    const std::string bytes = ReadFile(path);
    const FrameImage image = frame();
    ASSERT_EQ(bytes.size(), 18u + image.rgb.size());
    EXPECT_EQ(uint8_t(bytes[12]) + 256 * uint8_t(bytes[13]), image.width);
    int differ = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        differ += uint8_t(bytes[18 + i]) != image.rgb[i + 2] || uint8_t(bytes[20 + i]) != image.rgb[i];
    EXPECT_EQ(differ, 0);
    fs::remove(path);
    command("saveImage");   // a cancel writes nothing
    EXPECT_FALSE(fs::exists(path));
}

// The scene's matrix is the model view GL drew the last frame with; the export needs no GL
// context, the picture does.
TEST_F(WindowTest, PovRayExportWritesTheSceneUnderTheViewGLDrew) {
    open(kSampleMap);
    look(0.75f, {0.5f, -1.25f, 2}, {0.2f, -0.3f, -0.1f, std::sqrt(1.0f - 0.14f)});
    frame();
    std::array<float, 16> drawn{};
    glGetFloatv(GL_MODELVIEW_MATRIX, drawn.data());
    std::string matrix = "matrix <\r\n";
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 3; ++row)
            matrix += FormatFileNumber(drawn[column * 4 + row]) + (column < 3 || row < 2 ? " , " : "");
        matrix += "\r\n";
    }
    surface().releaseContext();
    const std::string path = Scratch("scene.pov");
    platform.fileAnswers = {path, Scratch("picture.tga")};
    command("exportPovScene");
    EXPECT_EQ(platform.events.back(), "save: TVR_pov.pov | POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("// Original ZOL map filename:\r\n// " + kSampleMap + "\r\n", 0), 0u);
    EXPECT_TRUE(text.ends_with(matrix + ">\r\n}\r\nscale <1,1,-1>\r\n}\r\n")) << text.substr(text.size() - 300);
    EXPECT_TRUE(platform.messages.empty());
    command("saveImage");
    EXPECT_EQ(platform.messages.back(), "Cannot write the file " + Scratch("picture.tga") +
                                            ": the OpenGL drawing surface is not available.");
    EXPECT_FALSE(fs::exists(Scratch("picture.tga")));
}

// Peaks on a skewed cell, the matrix's columns a = (2, 0, 0), b = (1, 4, 0), c = (0, 2, 8)
// (its inverse exact in binary), origin (0.5, 0, 0): the grid points p = M (f - origin) of
// f = (.75, .5, .25) and (.125, -.25, .5) are (1, 2.5, 2) and (-1, 0, 4).
class PeakFileTest : public WindowTest {
protected:
    const test_support::TempFolder maps;
    const std::string kBothPeaks = "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\nATOM Q  2   X= .125  Y=-.25  Z= .5 \r\n";
    void openWithPeaks(size_t count) {
        fs::copy_file(WriteFou("skewed.fou", {3, 3, 3}, {0, 0, 0}, [](double, double, double) { return 0.0; }, {},
                               "2 1 0 0 4 2 0 0 8 0.5 0 0"),
                      maps.path() / "skewed.fou", fs::copy_options::overwrite_existing);
        open((maps.path() / "skewed.fou").string());
        const Vec3 peaks[2] = {{1, 2.5f, 2}, {-1, 0, 4}};
        for (size_t k = 0; k < count; ++k) {
            platform.yesNoAnswers = {true};
            session().addPeak(peaks[k]);
        }
        platform.events.clear();
    }
    // The recovery file a note or message ends with, and what it holds.
    static std::string Recovered(const std::string& text, const std::string& lead) {
        EXPECT_EQ(text.rfind(lead, 0), 0u) << text;
        return text.starts_with(lead) ? ReadFile(text.substr(lead.size(), text.find_last_of('.') - lead.size())) : "";
    }
};

// The saved file is read back; a saved list is offered again at closing, but never rescued.
TEST_F(PeakFileTest, SavePeakListWritesFractionalCoordinatesAndClosingRescuesNothingSaved) {
    openWithPeaks(0);
    command("savePeakList");
    EXPECT_EQ(platform.messages, (std::vector<std::string>{"You do not have any peaks"}));
    openWithPeaks(2);
    const std::string path = (maps.path() / "peaks.dat").string();
    platform.fileAnswers = {path};
    command("savePeakList");
    EXPECT_EQ(platform.events, (std::vector<std::string>{"save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*"}));
    EXPECT_EQ(ReadFile(path), kBothPeaks);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(platform.events.front(), "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*");
    EXPECT_EQ(std::distance(fs::directory_iterator(maps.path()), fs::directory_iterator()), 2);
}

// Closing offers the peak file first, while the program still runs, one peak as more; a
// cancelled save keeps the peaks in a recovery file beside the map and says where on
// standard error, a failed one says why and where in its message.
TEST_F(PeakFileTest, ClosingOffersThePeakFileFirstAndKeepsWhatWasNotSaved) {
    openWithPeaks(1);
    platform.whileSaving = [this] { EXPECT_TRUE(surface().context()); };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), "The 1 peak not saved to a peak file was written to "),
              "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\n");
    EXPECT_EQ(platform.events, (std::vector<std::string>{
                                   "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*", "end: 0"}));
    openWithPeaks(2);
    const std::string unwritable = (maps.path() / "no-such-folder" / "peaks.dat").string();
    platform.fileAnswers = {unwritable};
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(platform.messages.at(0), "Cannot write the file " + unwritable + ": " + std::strerror(ENOENT) +
                                                     "\nThe 2 peaks not saved to a peak file were written to "),
              kBothPeaks);
}

}   // namespace
}   // namespace tivarel::testing
