// Picking with the right mouse button, the peak list it feeds, and the drawing
// of atoms and peaks, in a real GL window under Xvfb.
#include "picking_helpers.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "picking/gl_picking.h"
#include "render/atoms.h"
#include "render/scene.h"

namespace tivarel::testing {
namespace {

const std::string kQuestion = "question: Add this peak to pek list?";
const std::vector<std::string> kPickAsked = {"beep", kQuestion};

// ---------------------------------------------------------------- 2-D picking

// A map of 101 x 101 x 3 points, unit steps from (0, 0, 0): the pick squares are 1 x 1.
class Pick2DTest : public PickingWindowTest {
protected:
    void SetUp() override {
        static const std::string map = WriteFou("plane.fou", {101, 101, 3, {0, 0, 0}, 1.0f},
                                                [](double, double, double) { return 0.0; });
        OpenWith(map);
        window->program().state.pickMode = "2D";
    }
    // The square [10, 11] x [20, 21] under the mouse, 41 pixels per unit.
    void LookAtSquare10_20() { Look(1.0f, {-8, -18, 0}); }
    // The whole map in view, about 4 pixels per square.
    void LookAtWholeMap() { Look(0.1f, {-5, -5, 0}); }
};

TEST_F(Pick2DTest, ClickInASquareGivesItsCentreInTheContourPlane) {
    struct Case {
        const char* what;
        float zoom;
        std::array<float, 3> shift;
        Quat quat;
        int16_t section;     // plane z = section - 1
        Vec3f clicked;       // a point inside the square, off its centre
        Vec3f centre;
    };
    const float s = std::sin(0.2f), c = std::cos(0.2f);   // 23 degrees about a tilted axis
    const Quat tilted = {0.3f * s, 0.2f * s, std::sqrt(1.0f - 0.13f) * s, c};
    const Case cases[] = {
        {"close up, top plane", 1.0f, {-8, -18, 0}, {0, 0, 0, 1}, 3, {10.8f, 20.3f, 2}, {10.5f, 20.5f, 2}},
        {"whole map, first plane", 0.1f, {-5, -5, 0}, {0, 0, 0, 1}, 1, {10.7f, 20.35f, 0}, {10.5f, 20.5f, 0}},
        {"first square", 0.1f, {-5, -5, 0}, {0, 0, 0, 1}, 2, {0.3f, 0.6f, 1}, {0.5f, 0.5f, 1}},
        {"column past the last x point", 0.1f, {-5, -5, 0}, {0, 0, 0, 1}, 1, {100.4f, 50.7f, 0}, {100.5f, 50.5f, 0}},
        {"last square, name 10201", 0.1f, {-5, -5, 0}, {0, 0, 0, 1}, 1, {100.6f, 100.6f, 0}, {100.5f, 100.5f, 0}},
        {"turned view", 0.5f, {-18, -31, 0}, tilted, 2, {37.2f, 62.8f, 1}, {37.5f, 62.5f, 1}},
    };
    Program& program = window->program();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Look(k.zoom, k.shift, k.quat);
        program.layers.zSection = k.section;
        const ViewState before = window->view();
        const int32_t count = program.peaks.count;
        user.events.clear();
        user.yesNoAnswers = {true};
        RightClickOn(k.clicked);
        EXPECT_EQ(user.events, kPickAsked);
        EXPECT_FLOAT_EQ(window->pickPoint().x, k.centre.x);
        EXPECT_FLOAT_EQ(window->pickPoint().y, k.centre.y);
        EXPECT_FLOAT_EQ(window->pickPoint().z, k.centre.z);
        ASSERT_EQ(program.peaks.count, count + 1);
        EXPECT_EQ(program.peaks.rows[static_cast<size_t>(count)], window->pickPoint());
        // Picking leaves the view alone.
        EXPECT_EQ(window->view().viewQuat, before.viewQuat);
        EXPECT_EQ(window->view().modelShift, before.modelShift);
        EXPECT_EQ(window->view().zoomScale, before.zoomScale);
        EXPECT_FALSE(window->view().isSpinning);
        EXPECT_FALSE(program.state.showMarker);
    }
}

TEST_F(Pick2DTest, OutsideTheMapOrInAnotherModeNothingHappens) {
    LookAtWholeMap();
    Program& program = window->program();
    // Left of x0, above the row past the last y point, right of the column past the last x point.
    for (const Vec3f p : {Vec3f{-0.5f, 50.5f, 0}, Vec3f{50.5f, 101.5f, 0}, Vec3f{101.6f, 30.5f, 0}}) {
        user.yesNoAnswers = {true};
        RightClickOn(p);
        EXPECT_TRUE(user.events.empty()) << p.x << ", " << p.y << ": " << user.events.front();
    }
    // Modes are compared exactly: "2d" is neither "2D" nor "3D".
    program.state.pickMode = "2d";
    RightClickOn({50.5f, 50.5f, 0});
    EXPECT_TRUE(user.events.empty());
    EXPECT_EQ(program.peaks.count, 0);
    EXPECT_FALSE(program.state.showMarker);
    // The same click in the right mode does pick (the misses above were misses).
    program.state.pickMode = "2D";
    RightClickOn({50.5f, 50.5f, 0});
    EXPECT_EQ(user.events, kPickAsked);
}

TEST_F(Pick2DTest, APointSharedBySquaresTakesTheSmallestName) {
    LookAtSquare10_20();
    surface().makeCurrent();
    const ProgramState& s = window->program().state;
    const picking::PickCamera camera{s.extentX, s.extentY, window->view()};
    struct Case {
        Vec3f clicked;
        int squares;   // how many squares the one-pixel pick window meets
        Vec3f centre;
    };
    const Case cases[] = {
        {{11, 21, 0}, 4, {10.5f, 20.5f, 0}},     // corner of x 10..11 and y 20..21
        {{12, 23, 0}, 4, {11.5f, 22.5f, 0}},
        {{11, 20.6f, 0}, 2, {10.5f, 20.5f, 0}},  // edge between x squares 10 and 11
        {{10.3f, 21, 0}, 2, {10.5f, 20.5f, 0}},  // edge between y squares 20 and 21
    };
    for (const Case& k : cases) {
        const QPointF m = MouseAt(k.clicked);
        Vec3f unused;
        surface().makeCurrent();
        ASSERT_EQ(picking::Select2D(static_cast<float>(m.x()), static_cast<float>(m.y()), 0, 100, 0, 100, 0,
                                    camera, unused),
                  k.squares)
            << k.clicked.x << ", " << k.clicked.y;
        user.events.clear();
        RightClickOn(k.clicked);
        EXPECT_EQ(user.events, kPickAsked);
        EXPECT_EQ(window->pickPoint(), k.centre) << k.clicked.x << ", " << k.clicked.y;
    }
}

TEST_F(Pick2DTest, RightButtonBeepsAndAsksWithTheMarkerShownThenDrawsThePeak) {
    LookAtSquare10_20();
    window->program().layers.zSection = 2;
    const Vec3f centre{10.5f, 20.5f, 1};
    window->Paint();   // the scene list is up to date before the click
    const int compiled = render::ListCompileCount();
    bool asked = false;
    user.whileAsked = [&](const std::string&) {
        asked = true;
        // Marker on, and the scene recorded anew with it before the question.
        EXPECT_TRUE(window->program().state.showMarker);
        EXPECT_EQ(window->pickPoint(), centre);
        EXPECT_GT(render::ListCompileCount(), compiled);
        EXPECT_GT(WhiteNear(Frame(), centre, 4), 20);
    };
    user.yesNoAnswers = {true};
    const QPointF m = MouseAt({10.7f, 20.4f, 1});
    QTest::mouseClick(&surface(), Qt::RightButton, {}, m.toPoint());
    EXPECT_TRUE(asked);
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_FALSE(window->view().isRotating);
    EXPECT_FALSE(window->view().isSpinning);
    // Afterwards: no marker, an orange peak where it was.
    EXPECT_FALSE(window->program().state.showMarker);
    ASSERT_EQ(window->program().peaks.count, 1);
    EXPECT_GE(OrangeRing(Frame(), centre), 10);
}

// ---------------------------------------------------------------- 3-D picking

// Blobs in a 21 x 21 x 29 grid of unit steps from (-8, -8, -14); only layer 2 used.
class Pick3DTest : public PickingWindowTest {
protected:
    void OpenBlobs(const std::string& name, std::vector<Vec3f> centres) {
        const std::string map = WriteFou(name, {21, 21, 29, {-8, -8, -14}, 1.0f}, [&](double x, double y, double z) {
            double v = 0;
            for (const Vec3f& c : centres) v += Blob(c, x, y, z);
            return v;
        });
        OpenWith(map);
        UseOnlyLayer2();
    }
    void UseOnlyLayer2() {
        Program& p = window->program();
        p.layers.used = {false, true, false};
        p.GenerateFields();
        ASSERT_GT(p.triangles.count(2), 100);
    }
};

TEST_F(Pick3DTest, AClickThroughABlobGivesAPointNearItsCentre) {
    const Vec3f centre{2.3f, -1.4f, 0.35f};
    OpenBlobs("one_blob.fou", {centre});
    for (const char* view : {"", "X", "Y"}) {
        SCOPED_TRACE(view);
        if (*view) window->SetView(view);
        user.events.clear();
        user.yesNoAnswers = {true};
        const Vec3f before = window->pickPoint();
        RightClickOn(centre);
        ASSERT_EQ(user.events, kPickAsked);
        const Vec3f p = window->pickPoint();
        EXPECT_NE(p, before);
        EXPECT_LT(Distance(p, centre), 1.0) << p.x << ", " << p.y << ", " << p.z;
        EXPECT_LT(DistanceFromLine(p, EyeInModel(), centre), 1.0);
        EXPECT_EQ(window->program().peaks.rows[static_cast<size_t>(window->program().peaks.count - 1)], p);
    }
    EXPECT_EQ(window->program().peaks.count, 3);
}

TEST_F(Pick3DTest, TwoBlobsInARowGiveNothing) {
    // The near blob sits on the line from the eye through the far one.
    const Vec3f eye{0, 0, kViewerDistance};
    const Vec3f far{2.3f, -1.4f, -6.65f};
    const float t = (eye.z - 5.35f) / (eye.z - far.z);
    const Vec3f near{eye.x + t * (far.x - eye.x), eye.y + t * (far.y - eye.y), 5.35f};
    OpenBlobs("two_blobs.fou", {far, near});
    const QPointF m = MouseAt(far);
    ASSERT_NEAR(MouseAt(near).x(), m.x(), 1e-3);
    ASSERT_NEAR(MouseAt(near).y(), m.y(), 1e-3);
    // The line of sight enters and leaves both surfaces.
    const ProgramState& s = window->program().state;
    const picking::PickCamera camera{s.extentX, s.extentY, window->view()};
    std::array<int32_t, 2> names{};
    surface().makeCurrent();
    ASSERT_EQ(picking::Select3D(static_cast<float>(m.x()), static_cast<float>(m.y()), window->program().triangles, 2,
                                camera, names),
              4);
    user.yesNoAnswers = {true};
    window->PickPeak(static_cast<float>(m.x()), static_cast<float>(m.y()));
    EXPECT_TRUE(user.events.empty());
    EXPECT_EQ(window->program().peaks.count, 0);
    EXPECT_FALSE(window->program().state.showMarker);
}

TEST_F(Pick3DTest, NotExactlyOneUsedLayerIsRefusedWithAMessage) {
    const Vec3f centre{2.3f, -1.4f, 0.35f};
    OpenBlobs("layers_blob.fou", {centre});
    const std::vector<std::string> refused = {"message: Exactly 1 layer must be used for 3D ZOL map picking  !!"};
    Program& p = window->program();
    using Used = std::array<bool, 3>;
    for (const Used& used : {Used{true, false, true}, Used{true, true, true}, Used{false, false, false}}) {
        p.layers.used = used;
        p.GenerateFields();
        user.events.clear();
        user.yesNoAnswers = {true};
        RightClickOn(centre);
        EXPECT_EQ(user.events, refused) << used[0] << used[1] << used[2];
    }
    // Even a click on nothing at all is refused first.
    user.events.clear();
    window->PickPeak(2, 2);
    EXPECT_EQ(user.events, refused);
    EXPECT_EQ(p.peaks.count, 0);
    EXPECT_FALSE(p.state.showMarker);
}

// ---------------------------------------------------------------- peak list

class PeakListTest : public Pick2DTest {
protected:
    // Ten squares in view of LookAtSquare10_20, by number.
    static Vec3f Square(int k) { return {8.5f + static_cast<float>(k % 5), 15.5f + static_cast<float>(k / 5 % 2), 0}; }

    void PickAndAnswer(Vec3f p, bool yes) {
        user.yesNoAnswers = {yes};
        RightClickOn(p);
    }
};

TEST_F(PeakListTest, TwoHundredPeaksFitAndTheNextConfirmedOneEndsTheProgram) {
    LookAtSquare10_20();
    Program& program = window->program();
    for (int k = 0; k < PeakTable::kCapacity; ++k) {
        try {
            PickAndAnswer(Square(k), true);
        } catch (const ProgramEnded&) {
            FAIL() << "the program ended at peak " << k + 1 << ": " << user.events[user.events.size() - 2];
        }
    }
    ASSERT_EQ(program.peaks.count, 200);
    for (int k = 0; k < 200; ++k) ASSERT_EQ(program.peaks.rows[static_cast<size_t>(k)], Square(k)) << k;
    EXPECT_EQ(std::count(user.events.begin(), user.events.end(), kQuestion), 200);
    // Full list: still asked; No keeps the program running with 200 peaks.
    user.events.clear();
    PickAndAnswer(Square(3), false);
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_EQ(program.peaks.count, 200);
    user.events.clear();
    try {
        PickAndAnswer(Square(4), true);
        FAIL() << "the 201st peak must end the program";
    } catch (const ProgramEnded& end) {
        EXPECT_NE(end.status, 0);
    }
    ASSERT_EQ(user.events.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(user.events.begin(), user.events.begin() + 3),
              (std::vector<std::string>{"beep", kQuestion, "message: To many new peaks"}));
    EXPECT_EQ(user.events[3].rfind("end: ", 0), 0u);   // no save offer on the way out
}

TEST_F(PeakListTest, NoLeavesTheListAsItWasAndTheSamePlaceCanBeAddedTwice) {
    LookAtSquare10_20();
    Program& program = window->program();
    PickAndAnswer(Square(0), false);
    EXPECT_EQ(user.events, kPickAsked);
    EXPECT_EQ(program.peaks.count, 0);
    PickAndAnswer(Square(1), true);
    PickAndAnswer(Square(1), true);
    PickAndAnswer(Square(2), false);
    ASSERT_EQ(program.peaks.count, 2);
    EXPECT_EQ(program.peaks.rows[0], Square(1));
    EXPECT_EQ(program.peaks.rows[1], Square(1));
}

TEST_F(PeakListTest, AfterClearingTheNextPeakIsRowOneAndOnlyItIsDrawnAndSaved) {
    LookAtSquare10_20();
    Program& program = window->program();
    PickAndAnswer(Square(0), true);
    PickAndAnswer(Square(6), true);
    window->ClearPeaks();
    EXPECT_EQ(program.peaks.count, 0);
    const FrameImage cleared = Frame();
    EXPECT_EQ(OrangeRing(cleared, Square(0)), 0);
    program.layers.zSection = 3;
    const Vec3f fresh{10.5f, 20.5f, 2};
    PickAndAnswer(fresh, true);
    ASSERT_EQ(program.peaks.count, 1);
    EXPECT_EQ(program.peaks.rows[0], fresh);
    // The stale second row is neither drawn nor saved.
    const FrameImage image = Frame();
    EXPECT_GE(OrangeRing(image, fresh), 10);
    EXPECT_EQ(OrangeRing(image, Square(6)), 0);
    const std::string path = ScratchPath("cleared_peaks.dat");
    std::filesystem::remove(path);
    user.fileAnswers = {path};
    user.events.clear();
    EXPECT_THROW(window->Unload(), ProgramEnded);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Identity cell, zero origin: fractional = grid coordinates.
    EXPECT_EQ(bytes, "ATOM Q  1   X= 10.5  Y= 20.5  Z= 2 \r\n");
}

TEST_F(PeakListTest, ClosingAfterClearingAsksNothing) {
    LookAtSquare10_20();
    PickAndAnswer(Square(0), true);
    window->ClearPeaks();
    user.events.clear();
    EXPECT_THROW(window->Unload(), ProgramEnded);
    EXPECT_EQ(user.events, (std::vector<std::string>{"end: 0"}));
}

// The sample map's cell: peaks given by fractional targets whose seventh
// decimal is 5, so that the six-decimal cut is clear of rounding either way.
class PeakFileOnClosingTest : public PickingWindowTest {
protected:
    const std::string offer = "save: newatoms.dat | Peak data file (*.dat)|*.dat|All files (*.*)|*.*";

    void SetUp() override {
        OpenWith(kSampleMap);
        const Vec3f fractional[] = {{0.5000005f, 0.2500005f, -0.1234565f},
                                    {1.0000005f, 0.0000005f, 0.7500005f},
                                    {-0.2499995f, 1.2345675f, 0.3333335f}};
        const DensityMap& map = window->program().map;
        PeakTable& peaks = window->program().peaks;
        for (const Vec3f& f : fractional) {
            Vec3f p;
            for (int i = 1; i <= 3; ++i) {
                double sum = 0;
                for (int j = 1; j <= 3; ++j)
                    sum += static_cast<double>(map.cellMatrix(i, j)) *
                           (static_cast<double>(f[j - 1]) - static_cast<double>(map.mapOrigin[j - 1]));
                p[i - 1] = static_cast<float>(sum);
            }
            peaks.rows[static_cast<size_t>(peaks.count++)] = p;
        }
        // Still running, context still there: the offer comes before anything is released.
        user.whileSaving = [this](const std::string&) {
            EXPECT_FALSE(window->program().state.isQuitting);
            EXPECT_NE(surface().context(), nullptr);
        };
    }

    int Close() {
        try {
            window->Unload();
        } catch (const ProgramEnded& end) {
            return end.status;
        }
        ADD_FAILURE() << "closing must end the program";
        return -1;
    }
};

TEST_F(PeakFileOnClosingTest, TheFileIsOfferedFirstAndWrittenInFractionalCoordinates) {
    const std::string path = ScratchPath("closing_peaks.dat");
    std::filesystem::remove(path);
    user.fileAnswers = {path};
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(user.events, (std::vector<std::string>{offer, "end: 0"}));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes,
              "ATOM Q  1   X= .5  Y= .25  Z=-.123457 \r\n"
              "ATOM Q  2   X= 1  Y= 0  Z= .75 \r\n"
              "ATOM Q  3   X=-.25  Y= 1.234567  Z= .333333 \r\n");
}

TEST_F(PeakFileOnClosingTest, ACancelledDialogWritesNothing) {
    // Run in an empty folder: a cancel must not fall back on the proposed name there.
    const auto folder = std::filesystem::path(ScratchPath("cancel"));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    user.fileAnswers = {std::nullopt};
    const int status = Close();
    std::filesystem::current_path(previous);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(user.events, (std::vector<std::string>{offer, "end: 0"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

// ---------------------------------------------------------------- atoms and peaks drawn

// Lit colours keep the table colour's proportions away from the highlight: the
// ring sampled lies between 20 and 60 degrees off the light, where the diffuse
// factor runs from about 0.5 to 1.15 and the specular trace is small. Greys are
// told apart by brightness: 0.7 against 0.4.
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
        Program& p = window->program();
        p.layers.used = {false, false, false};
        p.layers.showContourMap = false;
        p.state.showAtoms = true;
        Look(1.5f, {0, 0, 0});
    }

    // True when no atom nearer the eye covers any part of atom i's disc.
    bool Unhidden(size_t i) {
        const auto& atoms = window->program().map.atoms;
        const Vec3f a = atoms[i].position;
        const auto pa = Predicted("CentralEye", a);
        const double ra = ScreenRadius(a, render::AtomRadius(atoms[i].name));
        for (size_t j = 0; j < atoms.size(); ++j) {
            if (j == i || atoms[j].position.z <= a.z) continue;
            const auto pb = Predicted("CentralEye", atoms[j].position);
            const double rb = ScreenRadius(atoms[j].position, render::AtomRadius(atoms[j].name));
            if (std::hypot(pa[0] - pb[0], pa[1] - pb[1]) < ra + rb + 2) return false;
        }
        return true;
    }

    // Checks every unhidden atom's ring of pixels; returns how many atoms of each name were seen.
    std::map<std::string, int> CheckUnhiddenAtoms(const FrameImage& image) {
        std::map<std::string, int> seen;
        const auto& atoms = window->program().map.atoms;
        for (size_t i = 0; i < atoms.size(); ++i) {
            if (!Unhidden(i)) continue;
            const std::string& name = atoms[i].name;
            const double r = ScreenRadius(atoms[i].position, render::AtomRadius(name));
            const int matches = RingMatches(image, atoms[i].position, 0.65 * r, 12,
                                            [&](Rgb8 p) { return LooksLike(name, p); });
            EXPECT_GE(matches, 10) << "atom " << i + 1 << " '" << name << "':"
                                  << Describe(Ring(image, atoms[i].position, 0.65 * r, 12));
            ++seen[name];
        }
        return seen;
    }
};

TEST_F(AtomDrawingTest, EachAtomShowsTheColourOfItsName) {
    std::map<std::string, int> seen = CheckUnhiddenAtoms(Frame());
    for (const char* name : {"C   ", "N   ", "O   ", "H   "}) EXPECT_GT(seen[name], 0) << "'" << name << "'";
}

TEST_F(AtomDrawingTest, NamesOutsideTheTableAreGrey) {
    auto& atoms = window->program().map.atoms;
    // A lower-case symbol and a two-letter one: neither is in the table.
    int renamed = 0;
    for (size_t i = 0; i < atoms.size() && renamed < 2; ++i)
        if (atoms[i].name == "C   " || atoms[i].name == "O   ")
            if (Unhidden(i)) atoms[i].name = renamed++ ? "Cl  " : "c   ";
    ASSERT_EQ(renamed, 2);
    window->program().state.listValid = 0;
    std::map<std::string, int> seen = CheckUnhiddenAtoms(Frame());
    EXPECT_GT(seen["c   "], 0);
    EXPECT_GT(seen["Cl  "], 0);
}

TEST_F(AtomDrawingTest, PeaksAreOrangeAndOnlyTheListedRowsAreDrawn) {
    Program& p = window->program();
    p.state.showAtoms = false;
    p.peaks.rows[0] = {0, 0, 0};
    p.peaks.rows[1] = {2, 1, 0.5f};
    p.peaks.rows[2] = {-2, -1.5f, 0};   // stale: beyond the count
    p.peaks.count = 2;
    p.state.listValid = 0;
    const FrameImage image = Frame();
    for (int k = 0; k < 3; ++k) {
        const Vec3f peak = p.peaks.rows[static_cast<size_t>(k)];
        const int matches = OrangeRing(image, peak);
        if (k < 2) EXPECT_GE(matches, 10) << "peak " << k + 1;
        else EXPECT_EQ(matches, 0);
    }
    // An empty list draws no peaks at all.
    p.peaks.count = 0;
    p.state.listValid = 0;
    const FrameImage empty = Frame();
    int orange = 0;
    for (int y = 0; y < empty.height; ++y)
        for (int x = 0; x < empty.width; ++x) orange += LooksOrange(empty.at(x, y));
    EXPECT_EQ(orange, 0);
}

}  // namespace
}  // namespace tivarel::testing
