// Picking with the right mouse button, the peak list it feeds, atoms and peaks drawn, under Xvfb.
#include <algorithm>

#include "picking/gl_picking.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

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

}   // namespace
}   // namespace tivarel::testing
