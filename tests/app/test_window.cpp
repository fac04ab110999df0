// The main window's start, picture, keys, menu commands, peak file and end, under Xvfb; picking with the right mouse
// button, the peak list it feeds, atoms and peaks drawn; the scene's buffered lines against a display list; the Qt
// platform's dialogs, answered through the dialog in its modal loop.
#include <stdlib.h>

#include <QApplication>
#include <QColorDialog>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/application.h"
#include "app/qt_platform.h"
#include "info/info_windows.h"
#include "picking/gl_picking.h"
#include "render/frame.h"
#include "render/scene.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

// A name of no known format is told on standard error, then ends; files the import command converts (any case, gzipped
// or not) get a line first naming it, with the name as a shell word.
TEST_F(WindowTest, StrangeExtensionsShowTwoBoxesAndTheImportCommandIsNamedForItsFiles) {
    const std::array<std::string, 3> cases[] = {   // the name, the ending told, the shell word in the hint
        {"map.Grd", "Grd", ""}, {"map.Mt1", "Mt1", ""}, {"\"m.map\"", "ap\"", ""}, {"A.MRC", "MRC", "A.MRC"},
        {"1abc-sf.cif", "cif", "1abc-sf.cif"}, {"r.MTZ.GZ", ".GZ", "r.MTZ.GZ"}, {"it's.mrc", "mrc", "'it'\\''s.mrc'"}};
    Session session(platform, nullptr);
    for (const auto& [name, extension, word] : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(EndStatus([&] { session.openMap(name); }), 1) << name;
        const std::string hint =
            word.empty() ? "" : "tivarel: " + name + ": convert it first with: tivarel-import " + word + "\n";
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), hint + "Strange file extension !!!\n" + extension + "\n");
    }
}

// The stereo switches, compared exactly and each with the one character after it, whatever it is; both may come, in
// this order, and the last wins. The rest is the map path, verbatim.
TEST(CommandLineTest, SwitchesComeOffTheFrontExactlyAndTheRestIsThePath) {
    using enum StereoMode;
    const std::tuple<std::string, StereoMode, std::string> cases[] = {
        {"", None, ""}, {"-StereoHW m.fou", Hardware, "m.fou"}, {"-StereoHW", Hardware, ""},
        {"-StereoInterlaced\tm m.fou", Interlaced, "m m.fou"}, {"-stereohw m.fou", None, "-stereohw m.fou"},
        {"-StereoHW -StereoInterlaced  x", Interlaced, " x"},
        {"-StereoInterlaced -StereoHW x", Interlaced, "-StereoHW x"}};
    for (const auto& [text, mode, path] : cases) {
        EXPECT_EQ(ParseCommandLine(text).stereoMode, mode) << text;
        EXPECT_EQ(ParseCommandLine(text).mapPath, path) << text;
    }
}

const std::string kMapFilter = " | ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*";

// With no map named the open dialog asks for one, and a cancel there ends the program. A box 48 long opens at the zoom
// that scales the sphere through its corners, sqrt(24^2 + 4^2 + 4^2) = 24.658, to 5.250891 (90 % of the view's height
// seen from 22.5 away): 0.212952. File, Open cancelled keeps the map shown, the dialog starting from the last name
// chosen.
TEST_F(WindowTest, TheOpenDialogChoosesTheMapAndACancelEndsOnlyTheStart) {
    window = std::make_unique<MainWindow>(platform);
    EXPECT_EQ(EndStatus([&] { window->start(ParseCommandLine("")); }), 1);
    EXPECT_EQ(platform.events,
              (std::vector<std::string>{"open: " + kMapFilter, "message: No input given !!", "end: 1"}));
    platform.events.clear();
    const std::string large = WriteFou("48.fou", {49, 9, 9}, {-24, -4, -4}, [](double x, double, double) { return x; });
    platform.fileAnswers = {large, std::nullopt};
    open("");
    EXPECT_NEAR(window->view().zoomScale, 0.212952, 2e-6);
    const uint64_t scene = session().sceneRevision();
    command("openMap");
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open: " + kMapFilter, "open: " + large + kMapFilter}));
    EXPECT_EQ(session().sceneRevision(), scene);
}

// A marker 10 units before the zero plane: the left eye (0.31 left) sees it right of the centre. Quad-buffered stereo
// draws each eye into its back buffer; without stereo (as under Xvfb) the right eye's pass, drawn last, covers the
// left's. Interlaced, the stencil marks the even rows, which show the right eye, the odd rows the left; mesh lines are
// twice as wide.
TEST_F(WindowTest, StereoModesRouteTheEyes) {
    const Vec3 p{0, 0, 10};
    const auto marker = [&](const std::string& mode) {
        open(mode + kSampleMap);
        session().setShowAtoms(false);
        showLayers({false, false, false}, false);
        session().showMarker(p);
        return frame();
    };
    const FrameImage hardware = marker("-StereoHW ");
    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    EXPECT_NEAR((stereo ? backBuffer(GL_BACK_RIGHT) : hardware).centreX(Bright), project(p, 0.31)[0], 1.5);
    EXPECT_TRUE(!stereo || std::abs(backBuffer(GL_BACK_LEFT).centreX(Bright) - project(p, -0.31)[0]) < 1.5);
    const FrameImage image = marker("-StereoInterlaced ");
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    std::vector<unsigned char> stencil(static_cast<size_t>(w * h));
    glReadPixels(0, 0, w, h, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
    int wrong = 0;
    for (int i = 0; i < w * h; ++i) wrong += stencil[size_t(i)] != (i / w % 2 == 0 ? 1 : 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_NEAR(image.centreX(Bright, [](int y) { return y % 2 == 1; }), project(p, -0.31)[0], 1.5);
    EXPECT_NEAR(image.centreX(Bright, [](int y) { return y % 2 == 0; }), project(p, 0.31)[0], 1.5);
    EXPECT_EQ(render::LineWidthFor(window->stereoMode()), 2.0f);
    // Without stencil bits (as a request for none gets here) the surface is refused for this mode.
    GLSurface plain(SurfaceFormatFor(StereoMode::None), {}), interlaced(SurfaceFormatFor(StereoMode::None), {});
    ASSERT_TRUE(plain.createContext(StereoMode::None));
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(interlaced.createContext(StereoMode::Interlaced), bits >= 1);
}

// '%' shares its Qt key code, 37, with the left arrow, which moves the model by 0.3. A pending GL error is told once at
// a paint; what a command throws is told, and the program goes on. The background is the colour dialog's; About counts
// the used layers' triangles. A scene too complicated ends the program, the progress window hidden first.
TEST_F(WindowTest, KeysMessagesAndMenuCommands) {
    open(kSampleMap);
    QTest::keyClick(&surface(), Qt::Key_Percent);
    QTest::keyClick(&surface(), Qt::Key_Left);
    EXPECT_EQ(window->view().modelShift, (std::array<float, 3>{0.3f, 0, 0}));
    surface().makeCurrent();
    glEnable(0x1234);   // GL_INVALID_ENUM, 1280
    window->paint();
    window->paint();
    platform.whileSaving = [] { throw std::runtime_error("the dialog broke"); };
    command("saveImage");
    platform.colourAnswers = {0x00FF0000u};   // pure blue in 0x00BBGGRR
    command("chooseBackgroundColour");
    EXPECT_TRUE(frame().at(0, 0).near({0, 0, 255}));
    session().setLayerUsed(2, false);
    command("showAbout");
    ASSERT_TRUE(window->aboutWindow() && window->aboutWindow()->isVisible());
    EXPECT_EQ(window->aboutWindow()->trianglesLabel->text().toStdString(),
              " " + std::to_string(session().triangles().count(1) + session().triangles().count(3)));
    surface().resize(564, 0);   // no height: a 1 x 1 view
    window->resizeView();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2] * viewport[3], 1);
    // A checkerboard cuts every cube into four corner triangles: 47^3 * 4 > 400 000.
    platform.fileAnswers = {WriteFou("checkerboard.fou", {48, 48, 48}, {0, 0, 0},
                                     [](double x, double y, double z) { return int(x + y + z) % 2; })};
    bool shown = true;
    platform.whileTelling = [&] { shown = window->progressWindow().isVisible(); };
    EXPECT_EQ(EndStatus([&] { command("openMap"); }), 1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(platform.messages,
              (std::vector<std::string>{"Warning: OpenGL error nuber: 1280",
                                        "The command could not be completed: the dialog broke",
                                        "Sorry, to complicated scene, Number of reguired triangles > 1 200 000"}));
}

// The picture is drawn anew before it is read: a back buffer holding something else (red here) must not reach the file;
// TGA keeps blue, green, red from the bottom row. The POV-Ray scene needs no GL context, the picture does.
TEST_F(WindowTest, ThePictureAndTheSceneAreSavedAsShown) {
    open(kSampleMap);
    const std::string tga = Scratch("picture.tga"), pov = Scratch("scene.pov");
    platform.fileAnswers = {tga, pov, tga};
    surface().makeCurrent();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    command("saveImage");
    const std::string bytes = ReadFile(tga);
    const FrameImage image = frame();
    ASSERT_EQ(bytes.size(), 18u + image.rgb.size());
    int differ = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        differ += uint8_t(bytes[18 + i]) != image.rgb[i + 2] || uint8_t(bytes[20 + i]) != image.rgb[i];
    EXPECT_EQ(differ, 0);
    surface().releaseContext();
    command("exportPovScene");
    EXPECT_EQ(platform.events.back(), "save: TVR_pov.pov | POVRAY files (*.pov)|*.pov|All files (*.*)|*.*");
    EXPECT_EQ(ReadFile(pov).rfind("// Original ZOL map filename:\r\n// " + kSampleMap + "\r\n", 0), 0u);
    command("saveImage");
    // Without its head file beside the program the scene is still written, and the user told.
    const std::string head = Scratch("ZOLmap_POVray_head.def");
    platform.programFolder = head.substr(0, head.rfind('/'));
    platform.fileAnswers = {pov};
    command("exportPovScene");
    EXPECT_EQ(platform.messages,
              (std::vector<std::string>{
                  "Cannot write the file " + tga + ": the OpenGL drawing surface is not available.",
                  "The POV-Ray head file " + head +
                      " could not be read; the scene was written without camera, lights and declarations."}));
    EXPECT_EQ(ReadFile(pov).rfind("// Original ZOL map filename:", 0), 0u);
}

// Peaks on a skewed cell, the matrix's columns a = (2, 0, 0), b = (1, 4, 0), c = (0, 2, 8) (its inverse exact in
// binary), origin (0.5, 0, 0): the grid points p = M (f - origin) of f = (.75, .5, .25) and (.125, -.25, .5) are (1,
// 2.5, 2) and (-1, 0, 4).
class PeakFileTest : public WindowTest {
protected:
    const test_support::TempFolder maps, data;
    const std::string kSave = "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*";
    const std::string kOne = "ATOM Q  1   X= .75  Y= .5  Z= .25 \r\n",
                      kBoth = kOne + "ATOM Q  2   X= .125  Y=-.25  Z= .5 \r\n";
    const std::string kOneKept = "The 1 peak not saved to a peak file was written to ",
                      kBothKept = "The 2 peaks not saved to a peak file were written to ";
    void openWithPeaks(size_t count) {
        platform.dataFolder = data.path().string();
        open(WriteFou((maps.path() / "skewed.fou").string(), {3, 3, 3}, {0, 0, 0}, Zero, {},
                      "2 1 0 0 4 2 0 0 8 0.5 0 0"));
        const Vec3 peaks[2] = {{1, 2.5f, 2}, {-1, 0, 4}};
        platform.yesNoAnswers.assign(count, true);
        for (size_t k = 0; k < count; ++k) session().addPeak(peaks[k]);
        platform.events.clear();
    }
    // What the recovery file in the maps' folder, named in a note after `lead`, holds.
    std::string Recovered(const std::string& note, const std::string& lead) {
        const size_t at = note.find(lead + (maps.path() / "").string());
        if (at == std::string::npos) return "no file named in: " + note;
        return ReadFile(note.substr(at + lead.size(), note.find_last_of('.') - at - lead.size()));
    }
    static long Files(const fs::path& folder) {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }
};

// The saved file is read back; a saved list is offered again at closing, but never kept. Closing offers the peak file,
// one peak as more; a cancelled save keeps the peaks in a file beside the map and says where on standard error, a
// failed one says why and where in its message. "&Clear Peaks" keeps them in the data folder, so that the map's folder
// does not fill up. Opening another map keeps the peaks beside the old map.
TEST_F(PeakFileTest, SavedPeaksAreReadBackAndUnsavedOnesKept) {
    openWithPeaks(2);
    platform.fileAnswers = {(maps.path() / "peaks.dat").string()};
    command("savePeakList");
    EXPECT_EQ(ReadFile(maps.path() / "peaks.dat"), kBoth);
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(platform.events, (std::vector<std::string>{kSave, kSave, "end: 0"}));
    EXPECT_EQ(Files(maps.path()) + Files(data.path()), 2);
    openWithPeaks(1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), kOneKept), kOne);
    EXPECT_EQ(platform.events, (std::vector<std::string>{kSave, "end: 0"}));
    openWithPeaks(2);
    const std::string unwritable = (maps.path() / "no-such-folder" / "peaks.dat").string();
    platform.fileAnswers = {unwritable};
    EXPECT_EQ(EndStatus([&] { window->closeProgram(); }), 0);
    const std::string failed = "Cannot write the file " + unwritable + ": " + std::strerror(ENOENT) + "\n";
    EXPECT_EQ(Recovered(platform.messages.at(0), failed + kBothKept), kBoth);
    const long besideTheMap = Files(maps.path());
    openWithPeaks(2);
    command("clearPeaks");
    EXPECT_EQ(Files(maps.path()), besideTheMap);
    EXPECT_EQ(Files(data.path()), 1);
    openWithPeaks(2);
    platform.fileAnswers = {kSampleMap};
    ::testing::internal::CaptureStderr();
    command("openMap");
    EXPECT_EQ(Recovered(::testing::internal::GetCapturedStderr(), kBothKept), kBoth);
}

const std::string kQuestion = "question: Add this peak to pek list?";
const std::vector<std::string> kPickAsked = {"beep", kQuestion};

// A map of 101 x 101 x 3 points, unit steps from (0, 0, 0): the pick squares are 1 x 1, 41 pixels at zoom 1.
class Pick2DTest : public WindowTest {
protected:
    void SetUp() override {
        open(WriteFou("plane.fou", {101, 101, 3}, {0, 0, 0}, Zero));
        session().setPickMode(PickMode::Plane);
        platform.events.clear();
    }
};

// A click gives the centre of its square in the contour plane (z = section - 1); a point shared by squares (four at a
// corner, two on an edge), which the one-pixel pick window meets at once, the first one's. Five squares narrower than
// the pick window give nothing.
TEST_F(Pick2DTest, AClickGivesTheCentreOfItsSquareOrOfTheFirstOfUpToFour) {
    const float quarter = 0.25f / (float(surface().pixelHeight()) / 12);
    const struct {
        const char* what;
        float dx;
        std::array<float, 3> shift;
        int16_t section;
        Vec3 clicked, centre;
        bool picked;
    } cases[] = {
        {"close up, top plane", 1, {-8, -18, 0}, 3, {10.8f, 20.3f, 2}, {10.5f, 20.5f, 2}, true},
        {"corner of four", 1, {-8, -18, 0}, 1, {11, 21, 0}, {10.5f, 20.5f, 0}, true},
        {"edge of two", 1, {-8, -18, 0}, 1, {11, 20.6f, 0}, {10.5f, 20.5f, 0}, true},
        {"narrow squares", quarter, {-0.3f, -20, 0}, 1, {50.5f * quarter, 20.5f, 0}, {}, false},
    };
    const auto [extentX, extentY] = WindowExtents(surface().pixelWidth(), surface().pixelHeight());
    const picking::PickCamera camera{extentX, extentY, window->view()};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        look(1, k.shift);
        session().setSection(k.section);
        const QPointF m = mouseAt(k.clicked);
        Vec3 point;
        surface().makeCurrent();
        EXPECT_EQ(picking::Pick2D(float(m.x()), float(m.y()), 0, 100 * k.dx, 0, 100, k.clicked.z, camera, point),
                  k.picked);
        if (k.dx != 1) continue;   // the map's own squares are 1 x 1
        platform.events.clear();
        rightClickOn(k.clicked);
        EXPECT_EQ(platform.events, k.picked ? kPickAsked : std::vector<std::string>{});
        EXPECT_EQ(session().peaks().back(), k.centre);   // or the last one stays
        EXPECT_EQ(window->view().modelShift, k.shift);   // picking leaves the view alone
    }
    EXPECT_EQ(session().peaks().size(), 3u);
}

// The marker shows while the beep sounds and the question is open, and goes after; a "No" leaves the list. 200 peaks
// fit; the 201st ends the program after all went to a file.
TEST_F(Pick2DTest, RightButtonAsksWithTheMarkerShownAndThe201stPeakEndsTheProgram) {
    look(1, {-8, -18, 0});
    platform.whileAsking = [&] {   // the marker is the only bright thing drawn
        EXPECT_NEAR(frame().centreX(Bright), project({10.5f, 20.5f, 0})[0], 2.0);
    };
    QTest::mouseClick(&surface(), Qt::RightButton, {}, mouseAt({10.7f, 20.4f, 0}).toPoint());
    EXPECT_EQ(platform.events, kPickAsked);
    EXPECT_FALSE(window->view().isRotating || window->view().isSpinning || session().state().showMarker);
    EXPECT_TRUE(session().peaks().empty());
    platform.whileAsking = nullptr;
    platform.yesNoAnswers.assign(200, true);
    for (int k = 1; k <= 200; ++k) session().addPeak({float(k), 0.5f, 0});
    rightClickOn({12.5f, 15.5f, 0}, false);   // full: still asked, and No goes on
    EXPECT_EQ(session().peaks().size(), 200u);
    EXPECT_EQ(EndStatus([&] { rightClickOn({12.5f, 15.5f, 0}); }), 1);
    EXPECT_TRUE(platform.messages.at(0).starts_with("To many new peaks\nThe 201 peaks not saved"))
        << platform.messages[0];
}

// Through a Gaussian blob, the one used layer's surface is entered and left: the pick is near the blob's centre, in any
// view.
TEST_F(WindowTest, AClickThroughABlobGivesAPointNearItsCentre) {
    const Vec3 c{2.3f, -1.4f, 0.35f};
    open(WriteFou("blob.fou", {21, 21, 29}, {-8, -8, -14}, [&](double x, double y, double z) {
        return 100 * std::exp(-std::pow(std::hypot(x - c.x, y - c.y, z - c.z), 2) / 18);
    }));
    showLayers({false, true, false});
    for (const ViewAxis axis : {ViewAxis::Z, ViewAxis::X}) {
        window->setView(axis);
        rightClickOn(c);
        const Vec3 q = session().peaks().empty() ? Vec3{} : session().peaks().back();
        EXPECT_LT(std::hypot(q.x - c.x, q.y - c.y, q.z - c.z), 1.0) << q.x << ", " << q.y;
    }
}

// One high corner gives each layer a single triangle, whose lines are drawn. Under full ambient light and no lamp, a
// "Q" atom 0.15 wide in (0.9, 0.5, 0.1) and a peak 0.25 wide in (1, 0.6, 0.1) each cover pi r^2, a unit being a twelfth
// of the height. Zoomed, spheres keep the white highlight of the light along the view. No layer used: no 3D pick.
TEST_F(WindowTest, LayersAtomsAndPeaksShowTheirColoursAndSizes) {
    open(WriteFou("atoms.fou", {2, 2, 2}, {0, 0, 0}, [](double x, double y, double z) { return x + y + z ? 0 : 100; },
                  {{"Q", {-3, 0, 0}}, {"C", {0, 0, 0}}}));
    const FrameImage lines = frame();
    for (int layer = 1; layer <= 3; ++layer) {
        ASSERT_EQ(session().triangles().count(layer), 1);
        EXPECT_GT(lines.count(kMesh[layer - 1]), 20) << "layer " << layer;
    }
    showLayers({false, false, false}, false);
    window->pickPeak(282, 247);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Exactly 1 layer must be used for 3D ZOL map picking  !!"});
    platform.yesNoAnswers = {true};
    session().addPeak({3, 0, 0});
    look(2, {0, 0, 0});
    EXPECT_GT(frame().count([](Rgb8 c) { return std::min({c.r, c.g, c.b}) >= 230; }), 9);
    look(1, {0, 0, 0});
    surface().makeCurrent();
    const GLfloat full[4] = {1, 1, 1, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, full);
    glDisable(GL_LIGHT0);
    const FrameImage image = frame();
    const double unit = surface().pixelHeight() / 12.0;
    for (const auto& [colour, radius] : {std::pair{Colour8{229.5, 127.5, 25.5}, 0.15}, {{255, 153, 25.5}, 0.25}})
        EXPECT_NEAR(image.count(colour) / (M_PI * radius * radius * unit * unit), 1, 0.1) << radius;
}

// The scene's lines kept in a buffer object draw, pixel for pixel, what a display list of the whole scene draws, in
// both mesh styles and all stereo modes. A 32^3 map of overlapping waves: thousands of triangles per layer, more
// vertices than one staging of the buffer holds, lines crossing lines at every depth; with the cell, a peak, the
// marker, the atoms and the contours of the middle plane.
TEST_F(WindowTest, TheBufferedLinesDrawWhatTheDisplayListDraws) {
    const std::string dense = WriteFou(
        "dense.fou", {32, 32, 32}, {0, 0, 0},
        [](double x, double y, double z) {
            return std::sin(0.7 * x) * std::cos(0.6 * y) + std::sin(0.5 * z + 0.3 * x);
        },
        {}, "31 0 0 0 31 0 0 0 31 0 0 0");
    for (const std::string mode : {"", "-StereoHW ", "-StereoInterlaced "}) {
        open(mode + dense);
        Session& s = session();
        s.setSection(16);
        s.setShowCell(true);
        platform.yesNoAnswers = {true};
        s.addPeak({2.0f, 0.5f, 1.0f});
        s.showMarker({1.0f, 1.5f, 0.5f});
        look(0.35f, {-5.4f, -5.4f, -5.4f}, {-0.25f, 0.35f, 0.05f, std::sqrt(1.0f - 0.185f)});
        const int w = surface().pixelWidth(), h = surface().pixelHeight();
        const auto [extentX, extentY] = WindowExtents(w, h);
        for (const MeshStyle style : {MeshStyle::Web, MeshStyle::Triangle}) {
            SCOPED_TRACE(mode + (style == MeshStyle::Web ? "web" : "triangles"));
            s.setMeshStyle(style);
            s.generateFields();
            ASSERT_GT(s.triangles().count(1), 4000);
            // The list's picture first: the window's next frame records its list anew.
            const render::Scene scene{window->stereoMode(), s.state(), s.layers(), s.triangles(), s.segments(),
                                      s.map(),              s.bonds(), s.peaks(),  s.pickPoint()};
            render::SceneDrawing listOnly([](const char*) { return render::GlFunction{}; });
            FrameImage list;
            for (int k = 0; k < 2; ++k) {   // the second: recording, Mesa colours some small primitives per vertex
                surface().makeCurrent();
                if (window->stereoMode() == StereoMode::Interlaced) render::BuildInterlaceMask(w, h);
                render::DrawFrame(window->stereoMode(), extentX, extentY, window->view(),
                                  [&] { listOnly.draw(scene, 1); });
                list = backBuffer();
            }
            s.generateFields();
            EXPECT_EQ(frame().rgb, list.rgb) << "the rebuilding frame";
            EXPECT_EQ(frame().rgb, list.rgb) << "the next frame";
            EXPECT_GT(list.count(kMesh[0]) + list.count(kMesh[1]) + list.count(kMesh[2]), 20000);
            EXPECT_GT(list.count(Colour8{127.5, 127.5, 127.5}), 100);   // the cell
        }
    }
}

// Runs `answer` on the modal dialog of type D once it is up; when none is up within 10 s the test fails and whatever
// modal window there is goes, so that the run goes on.
template <typename D>
void AnswerWhenShown(std::function<void(D*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, deadline = QDeadlineTimer(10000)] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired()) return;
        poll->stop();
        poll->deleteLater();
        if (dialog) return answer(dialog);
        ADD_FAILURE() << "no " << D::staticMetaObject.className() << " came up within 10 s";
        if (QWidget* other = QApplication::activeModalWidget()) other->close();
    });
    poll->start(20);
}

// Each caption shows as written; "*.*" lists every file, names without a dot too. A name chosen is taken without
// asking. Colours travel as 0x00BBGGRR. A message also goes to standard error, as one line.
TEST(QtPlatform, TheDialogsAnswerWhatTheUserChose) {
    QTemporaryDir folder;   // a folder of the test's own
    const QString target = folder.filePath("answer.dat");
    QtPlatform platform;
    AnswerWhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->nameFilters(), QStringList({"Peak data file (*.dat) (*.dat)", "All files (*.*) (*)"}));
        EXPECT_EQ(dialog->selectedFiles().front(), folder.filePath("newatoms.dat"));
        // Chosen as a click on a file does (selectFile leaves a name box that has the focus alone).
        if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();   // as the buttons do
    });
    EXPECT_EQ(platform.saveFileDialog(folder.filePath("newatoms.dat").toStdString(),
                                      "Peak data file (*.dat)|*.dat|All files (*.*)|*.*"),
              target.toStdString());
    AnswerWhenShown<QColorDialog>([](QColorDialog* dialog) {
        EXPECT_EQ(dialog->currentColor(), QColor(0x11, 0x22, 0x33));
        dialog->setCurrentColor(QColor(0, 0, 255));
        dialog->accept();
    });
    EXPECT_EQ(platform.colourDialog(0x00332211u), 0x00FF0000u);
    AnswerWhenShown<QMessageBox>([](QMessageBox* box) { box->accept(); });
    ::testing::internal::CaptureStderr();
    platform.showMessage("Cannot write the file a.dat\nThe 2 peaks\r\nwere kept.");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot write the file a.dat The 2 peaks  were kept.\n");
}

}   // namespace
}   // namespace tivarel::testing

// One application for the whole run, started as the program starts, in a decimal-comma locale.
int main(int argc, char** argv) {
    // QApplication takes the user's locale from the environment, LC_ALL before LC_NUMERIC.
    if (const char* all = getenv("LC_ALL"); all && *all) setenv("LANG", all, 1), unsetenv("LC_ALL");
    setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
    tivarel::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
