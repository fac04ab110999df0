// Picking with the right mouse button, the peak list it feeds, and the drawing
// of atoms and peaks, in a real GL window under Xvfb.
#include "picking_helpers.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "picking/gl_picking.h"
#include "render/atoms.h"
#include "render/scene.h"

namespace tivarel::testing {
namespace {

const std::string kQuestion = "question: Add this peak to pek list?";
const std::vector<std::string> kPickAsked = {"beep", kQuestion};

// A map of 101 x 101 x 3 points, unit steps from (0, 0, 0): the pick squares are 1 x 1.
class Pick2DTest : public PickingWindowTest {
protected:
    void SetUp() override {
        static const std::string map =
            WriteFou("plane.fou", {101, 101, 3}, {0, 0, 0}, [](double, double, double) { return 0.0; });
        OpenWith(map);
        window->program().state.pickMode = "2D";
    }
    // The square [10, 11] x [20, 21] under the mouse, 41 pixels per unit.
    void LookAtSquare10_20() { Look(1.0f, {-8, -18, 0}); }
};

// A click inside a square gives its centre in the contour plane (z = section - 1); a point
// shared by squares, which the one-pixel pick window meets all at once, the smallest name.
TEST_F(Pick2DTest, AClickGivesTheCentreOfItsSquareOrOfTheFirstOfTheSquaresItShares) {
    struct Case {
        const char* what; float zoom; std::array<float, 3> shift; Quat quat;
        int16_t section; Vec3f clicked, centre; int squares;
    };
    const float s = std::sin(0.2f), c = std::cos(0.2f);   // 23 degrees about a tilted axis
    const Quat tilted = {0.3f * s, 0.2f * s, std::sqrt(1.0f - 0.13f) * s, c}, straight = {0, 0, 0, 1};
    const std::array<float, 3> close = {-8, -18, 0}, whole = {-5, -5, 0};   // squares of 41 and about 4 pixels
    const Case cases[] = {
        {"close up, top plane", 1.0f, close, straight, 3, {10.8f, 20.3f, 2}, {10.5f, 20.5f, 2}, 1},
        {"whole map, first plane", 0.1f, whole, straight, 1, {10.7f, 20.35f, 0}, {10.5f, 20.5f, 0}, 1},
        {"first square", 0.1f, whole, straight, 2, {0.3f, 0.6f, 1}, {0.5f, 0.5f, 1}, 1},
        {"column past the last x point", 0.1f, whole, straight, 1, {100.4f, 50.7f, 0}, {100.5f, 50.5f, 0}, 1},
        {"last square, name 10201", 0.1f, whole, straight, 1, {100.6f, 100.6f, 0}, {100.5f, 100.5f, 0}, 1},
        {"turned view", 0.5f, {-18, -31, 0}, tilted, 2, {37.2f, 62.8f, 1}, {37.5f, 62.5f, 1}, 1},
        {"corner of x 10..11, y 20..21", 1.0f, close, straight, 1, {11, 21, 0}, {10.5f, 20.5f, 0}, 4},
        {"corner of x 11..12, y 22..23", 1.0f, close, straight, 1, {12, 23, 0}, {11.5f, 22.5f, 0}, 4},
        {"edge of x 10 and 11", 1.0f, close, straight, 1, {11, 20.6f, 0}, {10.5f, 20.5f, 0}, 2},
        {"edge of y 20 and 21", 1.0f, close, straight, 1, {10.3f, 21, 0}, {10.5f, 20.5f, 0}, 2},
    };
    Program& program = window->program();
    const picking::PickCamera camera{program.state.extentX, program.state.extentY, window->view()};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Look(k.zoom, k.shift, k.quat);
        program.layers.zSection = k.section;
        const QPointF m = MouseAt(k.clicked);
        Vec3f unused;
        surface().makeCurrent();
        ASSERT_EQ(picking::Select2D(float(m.x()), float(m.y()), 0, 100, 0, 100, k.centre.z, camera, unused), k.squares);
        const ViewState before = window->view();
        const int32_t count = program.peaks.count;
        user.events.clear();
        RightClickOn(k.clicked);
        EXPECT_EQ(user.events, kPickAsked);
        EXPECT_EQ(window->pickPoint(), k.centre);
        ASSERT_EQ(program.peaks.count, count + 1);
        EXPECT_EQ(program.peaks.rows[static_cast<size_t>(count)], k.centre);
        EXPECT_FALSE(program.state.showMarker);
        const ViewState& after = window->view();   // picking leaves the view alone
        EXPECT_TRUE(after.viewQuat == before.viewQuat && after.modelShift == before.modelShift &&
                    after.zoomScale == before.zoomScale && !after.isSpinning);
    }
}

TEST_F(Pick2DTest, OutsideTheMapOrInAnotherModeNothingHappens) {
    Look(0.1f, {-5, -5, 0});   // the whole map, about 4 pixels a square
    Program& program = window->program();
    // Left of x0, above the row past the last y point, right of the column past the last x point.
    for (const Vec3f p : {Vec3f{-0.5f, 50.5f, 0}, Vec3f{50.5f, 101.5f, 0}, Vec3f{101.6f, 30.5f, 0}}) {
        RightClickOn(p);
        EXPECT_TRUE(user.events.empty()) << p.x << ", " << p.y;
    }
    program.state.pickMode = "2d";   // modes are compared exactly: neither "2D" nor "3D"
    RightClickOn({50.5f, 50.5f, 0});
    EXPECT_TRUE(user.events.empty());
    EXPECT_EQ(program.peaks.count, 0);
    EXPECT_FALSE(program.state.showMarker);
    program.state.pickMode = "2D";   // the same click in the right mode does pick
    RightClickOn({50.5f, 50.5f, 0});
    EXPECT_EQ(user.events, kPickAsked);
}

TEST_F(Pick2DTest, RightButtonBeepsAndAsksWithTheMarkerShownThenDrawsThePeak) {
    LookAtSquare10_20();
    window->program().layers.zSection = 2;
    const Vec3f centre{10.5f, 20.5f, 1};
    window->paint();   // the scene list is up to date before the click
    const int compiled = render::ListCompileCount();
    bool asked = false;
    user.whileAsking = [&] {   // the marker is on, and recorded into the scene, before the question
        asked = true;
        EXPECT_TRUE(window->program().state.showMarker);
        EXPECT_EQ(window->pickPoint(), centre);
        EXPECT_GT(render::ListCompileCount(), compiled);
        const Centroid marker = MarkerCentroid(Frame());   // the only bright thing drawn
        const auto want = Predicted("CentralEye", centre);
        EXPECT_GT(marker.count, 20);
        EXPECT_LT(std::hypot(marker.x - want[0], marker.y - want[1]), 2.0);
    };
    user.yesNoAnswers = {true};
    QTest::mouseClick(&surface(), Qt::RightButton, {}, MouseAt({10.7f, 20.4f, 1}).toPoint());
    EXPECT_TRUE(asked);
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_FALSE(window->view().isRotating || window->view().isSpinning);
    // Afterwards: no marker, an orange peak where it was.
    EXPECT_FALSE(window->program().state.showMarker);
    ASSERT_EQ(window->program().peaks.count, 1);
    EXPECT_GE(OrangeRing(Frame(), centre), 10);
}

// Blobs in a 21 x 21 x 29 grid of unit steps from (-8, -8, -14); only layer 2 used.
class Pick3DTest : public PickingWindowTest {
protected:
    const Vec3f centre{2.3f, -1.4f, 0.35f};

    void OpenBlobs(const std::string& name, std::vector<Vec3f> centres) {
        OpenWith(WriteFou(name, {21, 21, 29}, {-8, -8, -14}, [&](double x, double y, double z) {
            double v = 0;
            for (const Vec3f& c : centres) v += Blob(c, x, y, z);
            return v;
        }));
        Program& p = window->program();
        p.layers.used = {false, true, false};
        p.GenerateFields();
        ASSERT_GT(p.triangles.count(2), 100);
    }
};

TEST_F(Pick3DTest, AClickThroughABlobGivesAPointNearItsCentre) {
    OpenBlobs("one_blob.fou", {centre});
    for (const char* view : {"", "X", "Y"}) {
        SCOPED_TRACE(view);
        if (*view) window->SetView(view);
        user.events.clear();
        const Vec3f before = window->pickPoint();
        RightClickOn(centre);
        ASSERT_EQ(user.events, kPickAsked);
        const Vec3f p = window->pickPoint();
        EXPECT_NE(p, before);
        EXPECT_LT(std::hypot(p.x - centre.x, p.y - centre.y, p.z - centre.z), 1.0) << p.x << ", " << p.y << ", " << p.z;
    }
    EXPECT_EQ(window->program().peaks.count, 3);
}

TEST_F(Pick3DTest, TwoBlobsInARowGiveNothing) {
    // The near blob sits on the line from the eye through the far one.
    const Vec3f eye{0, 0, kViewerDistance}, far{2.3f, -1.4f, -6.65f};
    const float t = (eye.z - 5.35f) / (eye.z - far.z);
    const Vec3f near{eye.x + t * (far.x - eye.x), eye.y + t * (far.y - eye.y), 5.35f};
    OpenBlobs("two_blobs.fou", {far, near});
    const QPointF m = MouseAt(far);
    ASSERT_LT(std::hypot(MouseAt(near).x() - m.x(), MouseAt(near).y() - m.y()), 1e-3);
    // The line of sight enters and leaves both surfaces.
    const ProgramState& s = window->program().state;
    const picking::PickCamera camera{s.extentX, s.extentY, window->view()};
    std::array<int32_t, 2> names{};
    surface().makeCurrent();
    ASSERT_EQ(picking::Select3D(float(m.x()), float(m.y()), window->program().triangles, 2, camera, names), 4);
    RightClickOn(far);
    EXPECT_TRUE(user.events.empty());
    EXPECT_EQ(window->program().peaks.count, 0);
    EXPECT_FALSE(window->program().state.showMarker);
}

TEST_F(Pick3DTest, NotExactlyOneUsedLayerIsRefusedWithAMessage) {
    OpenBlobs("layers_blob.fou", {centre});
    const std::vector<std::string> refused = {"message: Exactly 1 layer must be used for 3D ZOL map picking  !!"};
    Program& p = window->program();
    using Used = std::array<bool, 3>;
    for (const Used& used : {Used{true, false, true}, Used{true, true, true}, Used{false, false, false}}) {
        p.layers.used = used;
        p.GenerateFields();
        user.events.clear();
        RightClickOn(centre);
        EXPECT_EQ(user.events, refused) << used[0] << used[1] << used[2];
    }
    user.events.clear();
    window->PickPeak(2, 2);   // even a click on nothing at all is refused first
    EXPECT_EQ(user.events, refused);
    EXPECT_EQ(p.peaks.count, 0);
    EXPECT_FALSE(p.state.showMarker);
}

using PeakListTest = Pick2DTest;
// Ten squares in view of LookAtSquare10_20, by number; Square(k + 10) is Square(k) again.
Vec3f Square(int k) { return {8.5f + static_cast<float>(k % 5), 15.5f + static_cast<float>(k / 5 % 2), 0}; }

TEST_F(PeakListTest, TwoHundredPeaksFitAndTheNextConfirmedOneEndsTheProgram) {
    LookAtSquare10_20();
    Program& program = window->program();
    RightClickOn(Square(9), false);   // No leaves the list as it was
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_EQ(program.peaks.count, 0);
    for (int k = 0; k < PeakTable::kCapacity; ++k) RightClickOn(Square(k));
    // A row for every confirmed pick, the same place again too.
    ASSERT_EQ(program.peaks.count, 200);
    for (int k = 0; k < 200; ++k) ASSERT_EQ(program.peaks.rows[static_cast<size_t>(k)], Square(k)) << k;
    EXPECT_EQ(std::count(user.events.begin(), user.events.end(), kQuestion), 201);
    // Full list: still asked; No keeps the program running with 200 peaks.
    user.events.clear();
    RightClickOn(Square(3), false);
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_EQ(program.peaks.count, 200);
    user.events.clear();
    int status = 0;
    try {
        RightClickOn(Square(4));
    } catch (const ProgramEnded& end) {
        status = end.status;
    }
    EXPECT_NE(status, 0);   // the 201st peak ends the program, with no save offer on the way out
    // All 201 confirmed peaks went to a new file beside the map, which the message names.
    ASSERT_EQ(user.messages.size(), 1u);
    const std::string& message = user.messages[0];
    const std::string lead = "To many new peaks\nThe 201 peaks not saved to a peak file were written to ";
    ASSERT_EQ(message.rfind(lead, 0), 0u) << message;
    const std::string recovery = message.substr(lead.size(), message.size() - lead.size() - 1);
    EXPECT_EQ(std::filesystem::path(recovery).parent_path(), std::filesystem::path(ScratchPath("x")).parent_path());
    std::ifstream in(recovery, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(recovery);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 201);
    // Square(4) at (12.5, 15.5, 0); the test map's cell is the identity with no origin.
    EXPECT_NE(text.find("\r\nATOM Q  201   X= 12.5  Y= 15.5  Z= 0 \r\n"), std::string::npos) << text;
    EXPECT_EQ(user.events, (std::vector<std::string>{"beep", kQuestion, "message: " + message,
                                                     "end: " + std::to_string(status)}));
}

TEST_F(PeakListTest, AfterClearingTheNextPeakIsRowOneAndClosingEmptyAsksNothing) {
    LookAtSquare10_20();
    Program& program = window->program();
    for (int k : {0, 6}) RightClickOn(Square(k));
    window->clearPeaks();
    EXPECT_EQ(program.peaks.count, 0);
    program.layers.zSection = 3;
    const Vec3f fresh{10.5f, 20.5f, 2};
    RightClickOn(fresh);
    ASSERT_EQ(program.peaks.count, 1);
    EXPECT_EQ(program.peaks.rows[0], fresh);
    window->clearPeaks();
    user.events.clear();
    EXPECT_THROW(window->closeProgram(), ProgramEnded);
    EXPECT_EQ(user.events, (std::vector<std::string>{"end: 0"}));
}

// Three peaks and a stale fourth row on the sample map's cell, from fractional targets whose
// 7th decimal is 5 (clear of rounding). Saved, then cancelled: a cancel writes no file at all.
TEST_F(PickingWindowTest, ClosingWithPeaksOffersTheFileFirstAndWritesItOnlyWhenNamed) {
    const Vec3f fractional[] = {{0.5000005f, 0.2500005f, -0.1234565f}, {1.0000005f, 0.0000005f, 0.7500005f},
                                {-0.2499995f, 1.2345675f, 0.3333335f}, {0.1000005f, 0.1000005f, 0.1000005f}};
    const auto folder = std::filesystem::path(ScratchPath("closing"));
    const std::string path = (folder / "peaks.dat").string();
    const auto previous = std::filesystem::current_path();
    const std::string saved = "ATOM Q  1   X= .5  Y= .25  Z=-.123457 \r\n"
                              "ATOM Q  2   X= 1  Y= 0  Z= .75 \r\n"
                              "ATOM Q  3   X=-.25  Y= 1.234567  Z= .333333 \r\n";
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "saved" : "cancelled");
        OpenWith(kSampleMap);
        const DensityMap& map = window->program().map;
        PeakTable& peaks = window->program().peaks;
        for (size_t k = 0; k < 4; ++k)   // grid = cell matrix (fractional - origin)
            for (int i = 0; i < 3; ++i) {
                double sum = 0;
                for (int j = 0; j < 3; ++j)
                    sum += double(map.cellMatrix(i + 1, j + 1)) * (double(fractional[k][j]) - double(map.mapOrigin[j]));
                peaks.rows[k][i] = static_cast<float>(sum);
            }
        peaks.count = 3;
        user.whileSaving = [this] {   // still running, context still there
            EXPECT_FALSE(window->program().state.isQuitting);
            EXPECT_NE(surface().context(), nullptr);
        };
        user.fileAnswers = {save ? std::optional<std::string>(path) : std::nullopt};
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        EXPECT_THROW(window->closeProgram(), ProgramEnded);
        std::filesystem::current_path(previous);
        EXPECT_EQ(user.events, (std::vector<std::string>{
                                   "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*", "end: 0"}));
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), save ? saved : "");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), save ? 1 : 0);
    }
}

// Lit colours keep the table colour's proportions on the ring sampled, 20 to 60 degrees off
// the light (diffuse factor 0.5 to 1.15, little specular). Greys differ in brightness: 0.7, 0.4.
bool LooksLike(const std::string& name, Rgb8 p) {
    const bool even = std::abs(p.r - p.g) <= 3;
    const bool grey = even && std::abs(p.r - p.b) <= 3;
    if (name == "O   ") return p.r >= 150 && std::abs(p.g - p.b) <= 3 && p.g * 5 <= p.r;
    if (name == "N   ") return even && p.b >= 150 && p.r * 100 >= 22 * p.b && p.r * 100 <= 42 * p.b;
    if (name == "H   ") return even && p.b >= 150 && p.r * 100 >= 50 * p.b && p.r * 100 <= 80 * p.b;
    if (name == "C   ") return grey && p.r >= 125 && p.r <= 215;
    return grey && p.r >= 50 && p.r <= 118;   // names not in the table: grey 0.4
}

class AtomDrawingTest : public PickingWindowTest {
protected:
    void SetUp() override {
        OpenWith(kSampleMap);
        window->program().layers.used = {false, false, false};
        window->program().layers.showContourMap = false;
        Look(1.5f, {0, 0, 0});
    }

    // True when no atom nearer the eye covers any part of atom i's disc.
    bool Unhidden(size_t i) {
        const auto& atoms = window->program().map.atoms;
        const auto pa = Predicted("CentralEye", atoms[i].position);
        const double ra = ScreenRadius(atoms[i].position, render::AtomRadius(atoms[i].name));
        for (size_t j = 0; j < atoms.size(); ++j) {
            if (j == i || atoms[j].position.z <= atoms[i].position.z) continue;
            const auto pb = Predicted("CentralEye", atoms[j].position);
            const double rb = ScreenRadius(atoms[j].position, render::AtomRadius(atoms[j].name));
            if (std::hypot(pa[0] - pb[0], pa[1] - pb[1]) < ra + rb + 2) return false;
        }
        return true;
    }
};

TEST_F(AtomDrawingTest, EachAtomShowsTheColourOfItsNameAndNamesOutsideTheTableAreGrey) {
    auto& atoms = window->program().map.atoms;
    int renamed = 0;   // a lower-case symbol and a two-letter one: neither is in the table
    for (size_t i = 0; i < atoms.size() && renamed < 2; ++i)
        if (atoms[i].name == "H   " && Unhidden(i)) atoms[i].name = renamed++ ? "Cl  " : "c   ";
    ASSERT_EQ(renamed, 2);
    const FrameImage image = Frame();
    std::map<std::string, int> seen;
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (!Unhidden(i)) continue;
        const std::string& name = atoms[i].name;
        const double r = 0.65 * ScreenRadius(atoms[i].position, render::AtomRadius(name));
        EXPECT_GE(RingMatches(image, atoms[i].position, r, [&](Rgb8 p) { return LooksLike(name, p); }), 10)
            << "atom " << i + 1 << " '" << name << "'";
        ++seen[name];
    }
    for (const char* name : {"C   ", "N   ", "O   ", "H   ", "c   ", "Cl  "}) EXPECT_GT(seen[name], 0) << name;
}

TEST_F(AtomDrawingTest, PeaksAreOrangeAndOnlyTheListedRowsAreDrawn) {
    Program& p = window->program();
    p.state.showAtoms = false;
    p.peaks.rows = {Vec3f{0, 0, 0}, Vec3f{2, 1, 0.5f}, Vec3f{-2, -1.5f, 0}};   // the third is stale
    p.peaks.count = 2;
    const FrameImage image = Frame();
    EXPECT_GE(OrangeRing(image, p.peaks.rows[0]), 10);
    EXPECT_GE(OrangeRing(image, p.peaks.rows[1]), 10);
    EXPECT_EQ(OrangeRing(image, p.peaks.rows[2]), 0);
    p.peaks.count = 0;   // an empty list draws no peaks at all
    p.state.listValid = 0;
    EXPECT_EQ(OrangeRing(Frame(), p.peaks.rows[0]), 0);
}

}  // namespace
}  // namespace tivarel::testing
