// Picking with the right mouse button, the peak list it feeds, and the drawing of
// atoms and peaks, in a real GL window under Xvfb.
#include <algorithm>

#include "picking/gl_picking.h"
#include "render/atoms.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

const std::string kQuestion = "question: Add this peak to pek list?";
const std::vector<std::string> kPickAsked = {"beep", kQuestion};
constexpr Colour8 kPeakOrange = {255, 153, 25.5};   // (1.0, 0.6, 0.1)

class PickingTest : public WindowTest {
protected:
    void rightClickOn(Vec3 p, bool answer = true) {
        platform.yesNoAnswers = {answer};
        const QPointF m = mouseAt(p);
        window->pickPeak(static_cast<float>(m.x()), static_cast<float>(m.y()));
    }
    // Lighting that gives every lit surface exactly its colour: full ambient light, no lamp.
    void flatLight() {
        surface().makeCurrent();
        const GLfloat full[4] = {1, 1, 1, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, full);
        glDisable(GL_LIGHT0);
    }
    // How many of 12 pixels on a circle of `radius` model units around p (in the zero plane,
    // at zoom 1) have the colour.
    int ring(const FrameImage& image, Vec3 p, double radius, const Colour8& c) {
        const auto at = project(p);
        int n = 0;
        for (double a = M_PI / 12; a < 2 * M_PI; a += M_PI / 6) {
            const double r = radius * surface().pixelHeight() / 12.0;
            n += image.at(int(at[0] + r * std::cos(a)), int(at[1] + r * std::sin(a))).near(c);
        }
        return n;
    }
};

// A map of 101 x 101 x 3 points, unit steps from (0, 0, 0): the pick squares are 1 x 1.
class Pick2DTest : public PickingTest {
protected:
    void SetUp() override {
        open(WriteFou("plane.fou", {101, 101, 3}, {0, 0, 0}, [](double, double, double) { return 0.0; }));
        session().setPickMode(PickMode::Plane);
        platform.events.clear();
    }
};

// A click gives the centre of its square in the contour plane (z = section - 1); a point
// shared by squares, which the one-pixel pick window meets all at once, the first one's.
// Squares narrower than the pick window (here a quarter of a pixel) give nothing.
TEST_F(Pick2DTest, AClickGivesTheCentreOfItsSquareOrOfTheFirstOfUpToFour) {
    struct Case {
        const char* what;
        float zoom;
        std::array<float, 3> shift;
        Quat quat;
        float dx;
        int16_t section;
        Vec3 clicked, centre;
        int squares;
    };
    const float s = std::sin(0.2f), c = std::cos(0.2f), quarter = 0.25f / (float(surface().pixelHeight()) / 12);
    const Quat tilted = {0.3f * s, 0.2f * s, std::sqrt(0.87f) * s, c}, straight = {0, 0, 0, 1};
    const std::array<float, 3> close = {-8, -18, 0}, whole = {-5, -5, 0};   // squares of 41 and 4 pixels
    const Case cases[] = {
        {"close up, top plane", 1, close, straight, 1, 3, {10.8f, 20.3f, 2}, {10.5f, 20.5f, 2}, 1},
        {"first square", 0.1f, whole, straight, 1, 2, {0.3f, 0.6f, 1}, {0.5f, 0.5f, 1}, 1},
        {"last square, name 10201", 0.1f, whole, straight, 1, 1, {100.6f, 100.6f, 0}, {100.5f, 100.5f, 0}, 1},
        {"turned view", 0.5f, {-18, -31, 0}, tilted, 1, 2, {37.2f, 62.8f, 1}, {37.5f, 62.5f, 1}, 1},
        {"corner of four", 1, close, straight, 1, 1, {11, 21, 0}, {10.5f, 20.5f, 0}, 4},
        {"edge of two", 1, close, straight, 1, 1, {11, 20.6f, 0}, {10.5f, 20.5f, 0}, 2},
        {"narrow squares", 1, {-0.3f, -20, 0}, straight, quarter, 1, {50.5f * quarter, 20.5f, 0}, {10.5f, 20.5f, 0}, 5},
        {"left of the map", 0.1f, whole, straight, 1, 1, {-0.5f, 50.5f, 0}, {10.5f, 20.5f, 0}, 0},
    };
    const auto [extentX, extentY] = WindowExtents(surface().pixelWidth(), surface().pixelHeight());
    const picking::PickCamera camera{extentX, extentY, window->view()};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        look(k.zoom, k.shift, k.quat);
        session().setSection(k.section);
        const QPointF m = mouseAt(k.clicked);
        Vec3 point;
        surface().makeCurrent();
        const float x = float(m.x()), y = float(m.y());
        ASSERT_EQ(picking::Select2D(x, y, 0, 100 * k.dx, 0, 100, k.clicked.z, camera, point), k.squares);
        const bool picked = k.squares >= 1 && k.squares <= 4;
        EXPECT_EQ(picking::Pick2D(x, y, 0, 100 * k.dx, 0, 100, k.clicked.z, camera, point), picked);
        if (k.dx != 1) continue;   // the map's own squares are 1 x 1
        platform.events.clear();
        rightClickOn(k.clicked);
        EXPECT_EQ(platform.events, picked ? kPickAsked : std::vector<std::string>{});
        EXPECT_EQ(session().peaks().back(), k.centre);   // or the last one stays
        EXPECT_EQ(window->view().modelShift, k.shift);   // picking leaves the view alone
    }
    EXPECT_EQ(session().peaks().size(), 6u);
    // Where the steps are lost in single precision (1e7 + 1e-4 is 1e7), or endless, the
    // squares are counted: the grid ends.
    for (float step : {1e-4f, std::numeric_limits<float>::infinity()}) {
        Vec3 point;
        EXPECT_FALSE(picking::Pick2D(282, 247, 1e7f, 32766 * step + 1e7f, 0, 100, 0, camera, point));
    }
}

// The marker shows while the beep sounds and the question is open, and goes afterwards; a
// "No" leaves the list as it was. 200 peaks fit, and the 201st confirmed ends the program
// after all 201 went to a recovery file.
TEST_F(Pick2DTest, RightButtonAsksWithTheMarkerShownAndThe201stPeakEndsTheProgram) {
    look(1, {-8, -18, 0});
    const auto centre = project({10.5f, 20.5f, 0});
    platform.whileAsking = [&] {
        EXPECT_TRUE(session().state().showMarker);
        const Centroid marker = centroidOf(frame(), bright);   // the only bright thing drawn
        EXPECT_LT(std::hypot(marker.x - centre[0], marker.y - centre[1]), 2.0);
    };
    QTest::mouseClick(&surface(), Qt::RightButton, {}, mouseAt({10.7f, 20.4f, 0}).toPoint());
    EXPECT_EQ(platform.events, kPickAsked);
    EXPECT_FALSE(window->view().isRotating || window->view().isSpinning || session().state().showMarker);
    EXPECT_TRUE(session().peaks().empty());
    platform.whileAsking = nullptr;
    for (int k = 1; k <= 200; ++k) {
        platform.yesNoAnswers = {true};
        session().addPeak({float(k), 0.5f, 0});
    }
    rightClickOn({12.5f, 15.5f, 0}, false);   // full: still asked, and No goes on
    EXPECT_EQ(session().peaks().size(), 200u);
    platform.events.clear();
    EXPECT_EQ(EndStatus([&] { rightClickOn({12.5f, 15.5f, 0}); }), 1);
    const std::string& message = platform.messages.at(0);
    const std::string lead = "To many new peaks\nThe 201 peaks not saved to a peak file were written to ";
    ASSERT_EQ(message.rfind(lead, 0), 0u) << message;
    const std::string text = ReadFile(message.substr(lead.size(), message.size() - lead.size() - 1));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 201);
    EXPECT_TRUE(text.ends_with("\r\nATOM Q  200   X= 200  Y= .5  Z= 0 \r\nATOM Q  201   X= 12.5  Y= 15.5  Z= 0 \r\n"));
    EXPECT_EQ(platform.events, (std::vector<std::string>{"beep", kQuestion, "message: " + message, "end: 1"}));
}

// Through a Gaussian blob, the one used layer's surface is entered and left: the pick is
// near the blob's centre, in any view. Not exactly one used layer is refused at once.
TEST_F(PickingTest, AClickThroughABlobGivesAPointNearItsCentreWithExactlyOneLayerUsed) {
    const Vec3 c{2.3f, -1.4f, 0.35f};
    open(WriteFou("blob.fou", {21, 21, 29}, {-8, -8, -14}, [&](double x, double y, double z) {
        return 100 * std::exp(-((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) + (z - c.z) * (z - c.z)) / 18);
    }));
    for (const std::array<bool, 3> used : {std::array{false, true, false},
                                           {false, true, false},
                                           {true, false, true},
                                           {true, true, true},
                                           {false, false, false}}) {
        showLayers(used);
        const size_t before = session().peaks().size();
        rightClickOn(c);
        const bool found = session().peaks().size() > before;
        const Vec3 q = found ? session().peaks().back() : Vec3{};
        EXPECT_EQ(found && std::hypot(q.x - c.x, q.y - c.y, q.z - c.z) < 1.0, used[1] && !used[0])
            << q.x << ", " << q.y;
        window->setView(ViewAxis::X);
    }
    window->pickPeak(2, 2);   // even a click on nothing at all is refused first
    const std::string refused = "message: Exactly 1 layer must be used for 3D ZOL map picking  !!";
    EXPECT_EQ(platform.events,
              (std::vector<std::string>{"beep", kQuestion, "beep", kQuestion, refused, refused, refused, refused}));
    EXPECT_EQ(session().peaks().size(), 2u);
}

// Atoms in the colour and size of their exact name, names outside the table (a lower-case
// "c" too) grey 0.4 and 0.2 wide; peaks orange and 0.25 wide. Zoomed, the spheres keep the
// white highlight of the light along the view.
TEST_F(PickingTest, AtomsAndPeaksShowTheirColoursAndSizes) {
    const struct {
        const char* name;
        Vec3 at;
        Colour8 colour;
        double radius;
    } atoms[] = {{"H", {-6, 1.5f, 0}, {153, 153, 255}, 0.1},        {"C", {-3, 1.5f, 0}, {178.5, 178.5, 178.5}, 0.18},
                 {"N", {0, 1.5f, 0}, {76.5, 76.5, 255}, 0.2},       {"O", {3, 1.5f, 0}, {255, 25.5, 25.5}, 0.2},
                 {"S", {6, 1.5f, 0}, {204, 204, 51}, 0.2},          {"F", {-6, -1.5f, 0}, {153, 153, 255}, 0.2},
                 {"Q", {-3, -1.5f, 0}, {229.5, 127.5, 25.5}, 0.15}, {"Cl", {0, -1.5f, 0}, {102, 102, 102}, 0.2},
                 {"He", {3, -1.5f, 0}, {102, 102, 102}, 0.2}};
    std::vector<MapAtom> list;
    for (const auto& a : atoms) list.push_back({a.name, a.at});
    open(WriteFou(
        "atoms.fou", {2, 2, 2}, {0, 0, 0}, [](double, double, double) { return 0.0; }, list));
    EXPECT_EQ(render::AtomColourOf("c   "), (Rgb{0.4f, 0.4f, 0.4f}));
    EXPECT_EQ(render::AtomRadius("c   "), 0.2f);
    EXPECT_TRUE(session().bonds().bonds.empty());
    hideTheMap();
    look(2, {0, 0, 0});
    EXPECT_GT(frame().count([](Rgb8 c) { return std::min({c.r, c.g, c.b}) >= 230; }), 9);
    look(1, {0, 0, 0});
    const Vec3 peak{6, -1.5f, 0};
    platform.yesNoAnswers = {true};
    session().addPeak(peak);
    flatLight();
    const FrameImage image = frame();
    for (const auto& a : atoms) {
        EXPECT_EQ(ring(image, a.at, 0.6 * a.radius, a.colour), 12) << a.name << " " << a.at.x;
        EXPECT_EQ(ring(image, a.at, 1.4 * a.radius, a.colour), 0) << a.name << " " << a.at.x;
    }
    EXPECT_EQ(ring(image, peak, 0.15, kPeakOrange), 12);
    EXPECT_EQ(ring(image, peak, 0.35, kPeakOrange), 0);
}

}   // namespace
}   // namespace tivarel::testing
