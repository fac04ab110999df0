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

// With no map named the open dialog asks for one, and a cancel there ends the program.
// A box 48 long, four times the 12 the start view shows, opens at the zoom worked out by
// hand: the sphere about the origin through its corners, sqrt(24^2 + 4^2 + 4^2) = 24.658,
// scaled to 5.250891 (90 % of the view's height seen from 22.5 away), 0.212952. File, Open
// cancelled keeps the map shown, the dialog starting from the last name chosen.
TEST_F(WindowTest, TheOpenDialogChoosesTheMapAndACancelEndsOnlyTheStart) {
    window = std::make_unique<MainWindow>(platform);
    EXPECT_EQ(EndStatus([&] { window->start(ParseCommandLine("")); }), 1);
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open: " + kMapFilter, "message: No input given !!", "end: 1"}));
    platform.events.clear();
    const std::string large = WriteFou("long.fou", {49, 9, 9}, {-24, -4, -4}, [](double x, double, double) { return x; });
    platform.fileAnswers = {large, std::nullopt};
    open("");
    EXPECT_NEAR(window->view().zoomScale, 0.212952, 2e-6);
    const uint64_t scene = session().sceneRevision();
    command("openMap");
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open: " + kMapFilter, "open: " + large + kMapFilter}));
    EXPECT_EQ(window->windowTitle().toStdString(), "Visualized file: " + large);
    EXPECT_EQ(session().sceneRevision(), scene);
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
// arrow's): it must move nothing; the arrows move the model by 0.3, "c" centres it again.
// Dragged up from below the centre, each step of the spin after the release turns the
// model's front up; the spin waits while a dialog is open, and a click stops it.
TEST_F(WindowTest, KeysMoveAndDragsSpinTheModelExceptWhileADialogIsOpen) {
    open(kSampleMap);
    const std::pair<Qt::Key, std::array<float, 3>> keys[] = {
        {Qt::Key_Percent, {0, 0, 0}},   {Qt::Key_Ampersand, {0, 0, 0}}, {Qt::Key_Apostrophe, {0, 0, 0}},
        {Qt::Key_ParenLeft, {0, 0, 0}}, {Qt::Key_Left, {0.3f, 0, 0}},   {Qt::Key_Up, {0.3f, -0.3f, 0}},
        {Qt::Key_C, {0, 0, 0}}};
    for (const auto& [key, shift] : keys) {
        QTest::keyClick(&surface(), key);
        EXPECT_EQ(window->view().modelShift, shift) << "key " << int(key);
    }
    QTest::mousePress(&surface(), Qt::LeftButton, {}, {282, 300});
    QTest::mouseMove(&surface(), {282, 290});
    QTest::mouseRelease(&surface(), Qt::LeftButton, {}, {282, 290});
    ViewState& view = window->view();
    view.viewQuat = view.dragQuat;   // one step from the start
    EXPECT_GT(project({0, 0, 3})[1], surface().pixelHeight() / 2.0 + 1);
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

// A marker 10 units before the zero plane: the left eye (0.31 left of the centre) sees it
// right of the centre, the right eye left of it. Quad-buffered stereo draws each eye into
// its own back buffer; without stereo (as under Xvfb) the right eye's pass, drawn last,
// covers the left's. The interlaced mode's stencil marks the even rows: the left eye shows
// on the odd rows, the right eye on the even ones, with mesh lines twice as wide.
TEST_F(WindowTest, StereoModesRouteTheEyes) {
    const Vec3 p{0, 0, 10};
    const auto marker = [&](const std::string& mode) {
        open(mode + kSampleMap);
        session().setShowAtoms(false);
        hideTheMap();
        session().showMarker(p);
        return frame();
    };
    const FrameImage hardware = marker("-StereoHW ");
    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    EXPECT_NEAR(centroidOf(stereo ? backBuffer(GL_BACK_RIGHT) : hardware, bright).x, project(p, 0.31)[0], 1.5);
    if (stereo) EXPECT_NEAR(centroidOf(backBuffer(GL_BACK_LEFT), bright).x, project(p, -0.31)[0], 1.5);
    while (glGetError() != GL_NO_ERROR) {   // no right back buffer to draw into without stereo
    }
    const FrameImage image = marker("-StereoInterlaced ");
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    std::vector<unsigned char> stencil(static_cast<size_t>(w * h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
    int wrong = 0;
    for (int i = 0; i < w * h; ++i) wrong += stencil[size_t(i)] != (i / w % 2 == 0 ? 1 : 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_NEAR(centroidOf(image, bright, [](int y) { return y % 2 == 1; }).x, project(p, -0.31)[0], 1.5);
    EXPECT_NEAR(centroidOf(image, bright, [](int y) { return y % 2 == 0; }).x, project(p, 0.31)[0], 1.5);
    EXPECT_EQ(render::LineWidthFor(window->stereoMode()), 2.0f);
    // Without stencil bits (as a request for none gets here) the surface is refused for this mode.
    GLSurface plain(SurfaceFormatFor(StereoMode::None), {}), interlaced(SurfaceFormatFor(StereoMode::None), {});
    ASSERT_TRUE(plain.createContext(StereoMode::None));
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(interlaced.createContext(StereoMode::Interlaced), bits >= 1);
}

// An OpenGL error pending at a paint is told once, in the program's own words. q and Escape
// end the program normally, asking nothing when there are no peaks, after the GL context is
// released; a fatal error ends it with the critical box.
TEST_F(WindowTest, GLErrorsAreToldAndQEscapeAndFatalErrorsEndTheProgram) {
    open(kSampleMap);
    surface().makeCurrent();
    glEnable(0x1234);   // GL_INVALID_ENUM, 1280
    window->paint();
    window->paint();
    EXPECT_EQ(platform.events, (std::vector<std::string>{"message: Warning: OpenGL error nuber: 1280"}));
    platform.events.clear();
    EXPECT_EQ(EndStatus([&] { window->keyPress('q'); }), 0);
    EXPECT_EQ(platform.events, (std::vector<std::string>{"end: 0"}));
    EXPECT_EQ(surface().context(), nullptr);
    EXPECT_EQ(EndStatus([&] { window->keyDown(Key::Escape); }), 0);
    EXPECT_EQ(EndStatus([&] { window->fatalError("Could not retrieve pixel format!"); }), 1);
    EXPECT_EQ(platform.messages.back(), "Fatal Error: Could not retrieve pixel format!");
    EXPECT_EQ(platform.lastTitle, "Fatal Error In Tivarel");
}

// Only the preset buttons need the presets file: the program starts without it, and a
// button names it when pressed. Whatever else a command throws is told, and it goes on. A
// scene too complicated ends the program, the progress window hidden before the message.
TEST_F(WindowTest, FailuresAreToldTheProgressWindowHiddenFirst) {
    const fs::path folder = ScratchFolder() / "no-presets";
    fs::create_directories(folder);
    for (const char* side : {"cell_table.dat", "atompar2.txt"})
        fs::copy_file(fs::path(TIVAREL_BIN_DIR) / side, folder / side, fs::copy_options::overwrite_existing);
    platform.directory = folder.string();
    open(kSampleMap);
    const ProgressWindow& progress = window->progressWindow();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.windowTitle().toStdString() + " " + std::to_string(progress.value()),
              "ZOL map processing progress. Layer number: 3 100");
    const std::array<float, 3> levels = session().layers().limits;
    window->controlPanel()->presetButtons[1]->click();
    EXPECT_EQ(session().layers().limits, levels);
    platform.whileSaving = [] { throw std::runtime_error("the dialog broke"); };
    command("saveImage");
    // A checkerboard cuts every cube into four corner triangles: 47^3 * 4 > 400 000.
    platform.fileAnswers = {WriteFou("checkerboard.fou", {48, 48, 48}, {0, 0, 0},
                                     [](double x, double y, double z) { return int(x + y + z) % 2; })};
    bool shown = true;
    platform.whileTelling = [&] { shown = progress.isVisible(); };
    EXPECT_EQ(EndStatus([&] { command("openMap"); }), 1);
    EXPECT_EQ(platform.messages, (std::vector<std::string>{
                                     "Cannot open the file " + (folder / "layer_limit_presets.txt").string(),
                                     "The command could not be completed: the dialog broke",
                                     "Sorry, to complicated scene, Number of reguired triangles > 1 200 000"}));
    EXPECT_FALSE(shown);
}

// The background is the colour dialog's, and a cancel keeps it. About counts the triangles
// of the used layers only, Help shows the readme.
TEST_F(WindowTest, BackgroundAboutAndHelp) {
    open(kSampleMap);
    platform.colourAnswers = {0x00FF0000u, std::nullopt};   // pure blue in 0x00BBGGRR, then a cancel
    for (int k = 0; k < 2; ++k) {
        command("chooseBackgroundColour");
        EXPECT_TRUE(frame().at(0, 0).near({0, 0, 255}));
    }
    EXPECT_EQ(platform.events.back(), "colour: " + std::to_string(0x00FF0000u));   // it starts from blue
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

// The picture is drawn anew before it is read: a back buffer holding something else (red
// here) must not reach the file; TGA keeps blue, green, red from the bottom row. The POV-Ray
// scene's matrix is the model view GL drew the last frame with; that export needs no GL
// context, the picture does. A cancel writes nothing.
TEST_F(WindowTest, ThePictureAndTheSceneAreSavedAsShown) {
    open(kSampleMap);
    look(0.75f, {0.5f, -1.25f, 2}, {0.2f, -0.3f, -0.1f, std::sqrt(1.0f - 0.14f)});
    const std::string tga = Scratch("picture.tga"), pov = Scratch("scene.pov");
    platform.fileAnswers = {tga, std::nullopt, pov, tga};
    surface().makeCurrent();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    command("saveImage");
    EXPECT_EQ(platform.events.back(), "save: ZOL_picture.tga | TGA pictures (*.tga)|*.tga");
    const std::string bytes = ReadFile(tga);
    const FrameImage image = frame();
    ASSERT_EQ(bytes.size(), 18u + image.rgb.size());
    EXPECT_EQ(uint8_t(bytes[12]) + 256 * uint8_t(bytes[13]), image.width);
    int differ = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        differ += uint8_t(bytes[18 + i]) != image.rgb[i + 2] || uint8_t(bytes[20 + i]) != image.rgb[i];
    EXPECT_EQ(differ, 0);
    fs::remove(tga);
    command("saveImage");
    EXPECT_FALSE(fs::exists(tga));
    std::array<float, 16> drawn{};
    glGetFloatv(GL_MODELVIEW_MATRIX, drawn.data());
    std::string matrix = "matrix <\r\n";
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 3; ++row)
            matrix += FormatFileNumber(drawn[column * 4 + row]) + (column < 3 || row < 2 ? " , " : "");
        matrix += "\r\n";
    }
    surface().releaseContext();
    command("exportPovScene");
    EXPECT_EQ(platform.events.back(), "save: TVR_pov.pov | POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    const std::string text = ReadFile(pov);
    EXPECT_EQ(text.rfind("// Original ZOL map filename:\r\n// " + kSampleMap + "\r\n", 0), 0u);
    EXPECT_TRUE(text.ends_with(matrix + ">\r\n}\r\nscale <1,1,-1>\r\n}\r\n")) << text.substr(text.size() - 300);
    EXPECT_TRUE(platform.messages.empty());
    command("saveImage");
    EXPECT_EQ(platform.messages.back(), "Cannot write the file " + tga + ": the OpenGL drawing surface is not available.");
    EXPECT_FALSE(fs::exists(tga));
}

// Peaks on a skewed cell, the matrix's columns a = (2, 0, 0), b = (1, 4, 0), c = (0, 2, 8)
// (its inverse exact in binary), origin (0.5, 0, 0): the grid points p = M (f - origin) of
// f = (.75, .5, .25) and (.125, -.25, .5) are (1, 2.5, 2) and (-1, 0, 4).
class PeakFileTest : public WindowTest {
protected:
    const test_support::TempFolder maps, data;
    const std::string kSave = "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*";
    const std::string kBothPeaks = "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\nATOM Q  2   X= .125  Y=-.25  Z= .5 \r\n";
    void openWithPeaks(size_t count) {
        platform.dataFolder = data.path().string();
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
    // What the recovery file in `folder`, named at the end of a note after `lead`, holds.
    static std::string Recovered(const std::string& note, const std::string& lead, const fs::path& folder) {
        const size_t at = note.find(lead + (folder / "").string());
        EXPECT_NE(at, std::string::npos) << note;
        return at == std::string::npos ? "" : ReadFile(note.substr(at + lead.size(), note.find_last_of('.') - at - lead.size()));
    }
    static long Files(const fs::path& folder) {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
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
    EXPECT_EQ(platform.events, (std::vector<std::string>{kSave}));
    EXPECT_EQ(ReadFile(path), kBothPeaks);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(platform.events, (std::vector<std::string>{kSave, kSave, "end: 0"}));
    EXPECT_EQ(Files(maps.path()) + Files(data.path()), 2);
}

// Closing offers the peak file first, while the program still runs, one peak as more; a
// cancelled save keeps the peaks in a recovery file beside the map and says where on
// standard error, a failed one says why and where in its message. "&Clear Peaks" keeps
// them in the data folder instead, so that the map's folder does not fill up.
TEST_F(PeakFileTest, UnsavedPeaksAreKeptWhenClosingOrClearing) {
    openWithPeaks(1);
    platform.whileSaving = [this] { EXPECT_TRUE(surface().context()); };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), "The 1 peak not saved to a peak file was written to ", maps.path()),
              "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\n");
    EXPECT_EQ(platform.events, (std::vector<std::string>{kSave, "end: 0"}));
    openWithPeaks(2);
    const std::string unwritable = (maps.path() / "no-such-folder" / "peaks.dat").string();
    platform.fileAnswers = {unwritable};
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(platform.messages.at(0), "Cannot write the file " + unwritable + ": " + std::strerror(ENOENT) +
                                                     "\nThe 2 peaks not saved to a peak file were written to ", maps.path()),
              kBothPeaks);
    const long besideTheMap = Files(maps.path());
    openWithPeaks(2);
    command("clearPeaks");
    EXPECT_TRUE(session().peaks().empty());
    EXPECT_EQ(Files(maps.path()), besideTheMap);
    EXPECT_EQ(Files(data.path()), 1);
}

// Opening another map empties the list after keeping its peaks beside the old map, in its
// cell; a reader fault while opening ends the program, its message saying where the peaks
// of the map shown went. With the map's folder gone they go to the data folder; with no
// folder at all the note itself carries them.
TEST_F(PeakFileTest, AnotherMapOrAMissingFolderKeepsThePeaksOfTheMapShown) {
    openWithPeaks(2);
    platform.fileAnswers = {kSampleMap};
    ::testing::internal::CaptureStderr();
    command("openMap");
    EXPECT_TRUE(session().peaks().empty());
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), "The 2 peaks not saved to a peak file were written to ", maps.path()), kBothPeaks);
    openWithPeaks(1);
    const std::string broken = (maps.path() / "broken.fou").string();
    test_support::WriteFile(broken, "test map\r\nheading\r\n2 1 0");
    platform.fileAnswers = {broken};
    EXPECT_EQ(EndStatus([&] { command("openMap"); }), 1);
    EXPECT_EQ(platform.messages.at(0).rfind("The map file " + broken + " ends early (reading the cell matrix).\n", 0), 0u);
    EXPECT_EQ(Recovered(platform.messages.at(0), "\nThe 1 peak not saved to a peak file was written to ", maps.path()),
              "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\n");
    openWithPeaks(1);
    fs::remove_all(maps.path());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), "The 1 peak not saved to a peak file was written to ", data.path()),
              "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\n");
    platform.yesNoAnswers = {true};
    session().addPeak({-1, 0, 4});
    fs::remove_all(data.path());
    EXPECT_EQ(session().rescuePeaks(), "The 2 peaks not saved to a peak file were not written to any file (" +
                                           maps.path().string() + " and the data folder refused it): " + kBothPeaks);
}

}   // namespace
}   // namespace tivarel::testing
