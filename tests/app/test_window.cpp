// The main window's picture and navigation, in a real GL window under Xvfb.
#include "window_fixture.h"

#include <cmath>

#include "render/scene.h"
#include "render/frame.h"

namespace tivarel::testing {
namespace {

// A pixel within one step of a colour's 8-bit value on each channel.
bool Near(Rgb8 p, const Rgb& colour) {
    const int channel[3] = {p.r, p.g, p.b};
    for (int c = 0; c < 3; ++c)
        if (std::abs(channel[c] - colour[static_cast<size_t>(c)] * 255.0) > 1.01) return false;
    return true;
}

TEST_F(WindowTest, SampleFrameShowsEachLayerMeshOnBlack) {
    Open(kSampleMap);
    EXPECT_EQ(surface().width(), 564);
    EXPECT_EQ(surface().height(), 494);
    EXPECT_EQ(window->windowTitle().toStdString(), "Visualized file: " + kSampleMap);
    const FrameImage image = Frame();
    int black = 0;
    int layerPixels[3] = {0, 0, 0};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb8 p = image.at(x, y);
            black += p.r == 0 && p.g == 0 && p.b == 0;
            for (int layer = 1; layer <= 3; ++layer)
                layerPixels[layer - 1] += Near(p, window->program().layers.meshColour(layer));
        }
    EXPECT_GT(black, image.width * image.height / 2);
    for (int layer = 1; layer <= 3; ++layer) EXPECT_GT(layerPixels[layer - 1], 50) << "layer " << layer;
    EXPECT_TRUE(platform.events.empty());
}

TEST_F(WindowTest, AxisViewsPutTheModelAxesInTheirScreenDirections) {
    Open(kSampleMap);
    struct Case {
        char key;
        Vec3f point;   // a point 3 units along one model axis
        int dx, dy;    // the screen direction it must appear in (y up)
    };
    const Case cases[] = {
        {'x', {3, 0, 0}, -1, 0},  // X: model x to the left
        {'x', {0, 0, 3}, 0, 1},   //    model z up
        {'y', {0, 3, 0}, 0, -1},  // Y: model y down
        {'y', {0, 0, 3}, 1, 0},   //    model z to the right
        {'z', {3, 0, 0}, 0, 1},   // Z: model x up
        {'z', {0, 3, 0}, 1, 0},   //    model y to the right
    };
    for (const Case& c : cases) {
        window->keyPress(c.key);
        ShowOnlyMarkerAt(c.point);
        const Centroid m = MarkerCentroid(Frame());
        ASSERT_GT(m.count, 20) << c.key;
        const double cx = surface().pixelWidth() / 2.0, cy = surface().pixelHeight() / 2.0;
        if (c.dx) EXPECT_GT((m.x - cx) * c.dx, 40) << c.key;
        else EXPECT_NEAR(m.x, cx, 3) << c.key;
        if (c.dy) EXPECT_GT((m.y - cy) * c.dy, 40) << c.key;
        else EXPECT_NEAR(m.y, cy, 3) << c.key;
        const auto want = Predicted("CentralEye", c.point);
        EXPECT_NEAR(m.x, want[0], 1.5) << c.key;
        EXPECT_NEAR(m.y, want[1], 1.5) << c.key;
    }
    // Model x towards the viewer in the Y view: the marker stays at the centre but grows.
    window->keyPress('y');
    ShowOnlyMarkerAt({0, 0, 0});
    const int atCentre = MarkerCentroid(Frame()).count;
    ShowOnlyMarkerAt({5, 0, 0});
    const Centroid nearer = MarkerCentroid(Frame());
    EXPECT_GT(nearer.count, atCentre);
    EXPECT_NEAR(nearer.x, surface().pixelWidth() / 2.0, 2);
}

TEST_F(WindowTest, ArrowKeysMoveAlongTheScreenAndCRecentres) {
    Open(kSampleMap);
    ShowOnlyMarkerAt({0, 0, 0});
    const Centroid start = MarkerCentroid(Frame());
    QTest::keyClick(&surface(), Qt::Key_Up);
    const Centroid down = MarkerCentroid(Frame());
    const double step = 0.3 * surface().pixelHeight() / 12.0;   // 0.3 units at the zero plane
    EXPECT_NEAR(down.y - start.y, -step, 1.0);
    EXPECT_NEAR(down.x, start.x, 0.5);
    QTest::keyClick(&surface(), Qt::Key_Left);
    const Centroid right = MarkerCentroid(Frame());
    EXPECT_NEAR(right.x - down.x, step, 1.0);
    QTest::keyClick(&surface(), Qt::Key_A);   // nearer: bigger
    EXPECT_GT(MarkerCentroid(Frame()).count, start.count);
    QTest::keyClick(&surface(), Qt::Key_C);
    const Centroid back = MarkerCentroid(Frame());
    EXPECT_NEAR(back.x, start.x, 0.5);
    EXPECT_NEAR(back.y, start.y, 0.5);
    EXPECT_EQ(back.count, start.count);
    EXPECT_EQ(window->view().zoomScale, 1.0f);
}

TEST_F(WindowTest, ShiftDragUpZoomsIn) {
    Open(kSampleMap);
    const QPoint centre(282, 247);
    QTest::mousePress(&surface(), Qt::LeftButton, Qt::ShiftModifier, centre);
    for (int dy = 10; dy <= 50; dy += 10) QTest::mouseMove(&surface(), centre - QPoint(0, dy));
    QTest::mouseRelease(&surface(), Qt::LeftButton, Qt::ShiftModifier, centre - QPoint(0, 50));
    const float zoom = window->view().zoomScale;
    EXPECT_NEAR(zoom, std::pow(1.0 + 10.0 / 494.0, 5), 1e-4);
    EXPECT_FALSE(window->view().isSpinning);
    QTest::mousePress(&surface(), Qt::LeftButton, Qt::ShiftModifier, centre);
    QTest::mouseMove(&surface(), centre + QPoint(0, 40));
    QTest::mouseRelease(&surface(), Qt::LeftButton, Qt::ShiftModifier, centre + QPoint(0, 40));
    EXPECT_LT(window->view().zoomScale, zoom);
}

TEST_F(WindowTest, SpinContinuesAfterReleaseAndStopsOnALeftClick) {
    Open(kSampleMap);
    EXPECT_FALSE(window->isIdleLoopActive());   // nothing happens: no idle work
    const QPoint centre(282, 247);
    QTest::mousePress(&surface(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(&surface(), centre + QPoint(15, 0));
    QTest::mouseRelease(&surface(), Qt::LeftButton, {}, centre + QPoint(15, 0));
    EXPECT_TRUE(window->view().isSpinning);
    EXPECT_TRUE(window->isIdleLoopActive());
    const Quat before = window->view().viewQuat;
    QTest::qWait(150);
    const Quat during = window->view().viewQuat;
    EXPECT_NE(before, during);
    // Each pass applies the same increment: about the y axis for a horizontal drag.
    EXPECT_NEAR(during[0], 0.0f, 1e-5);
    EXPECT_NEAR(during[2], 0.0f, 1e-5);
    QTest::mouseClick(&surface(), Qt::LeftButton, {}, centre);
    EXPECT_FALSE(window->view().isSpinning);
    const Quat stopped = window->view().viewQuat;
    QTest::qWait(100);
    EXPECT_EQ(window->view().viewQuat, stopped);
    EXPECT_FALSE(window->isIdleLoopActive());
}

TEST_F(WindowTest, SpinWaitsWhileADialogIsOpen) {
    Open(kSampleMap);
    const QPoint centre(282, 247);
    QTest::mousePress(&surface(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(&surface(), centre + QPoint(15, 0));
    QTest::mouseRelease(&surface(), Qt::LeftButton, {}, centre + QPoint(15, 0));
    ASSERT_TRUE(window->view().isSpinning);
    Quat during{}, before{};
    platform.whileAsking = [&] {
        // The user looks at the box for a while; the box's loop keeps serving events.
        before = window->view().viewQuat;
        QTest::qWait(150);
        during = window->view().viewQuat;
    };
    window->program().AddPeak({1, 2, 3});
    EXPECT_EQ(before, during);
    QTest::qWait(150);   // and turns on once it is closed
    EXPECT_NE(window->view().viewQuat, during);
}

TEST_F(WindowTest, ExtentsFollowTheWindowShape) {
    Open(kSampleMap);
    const std::pair<QSize, std::pair<float, float>> cases[] = {
        {{800, 400}, {2.0f, 1.0f}}, {{400, 800}, {1.0f, 2.0f}}, {{300, 300}, {1.0f, 1.0f}}};
    for (const auto& [size, extents] : cases) {
        window->resize(size);
        QTRY_COMPARE(surface().size(), size);
        // The resize routine runs on the window system's resize event.
        QTRY_COMPARE(window->program().state.extentX, extents.first);
        QTRY_COMPARE(window->program().state.extentY, extents.second);
        GLint viewport[4];
        surface().makeCurrent();
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], size.width());
        EXPECT_EQ(viewport[3], size.height());
    }
}

TEST_F(WindowTest, APendingGLErrorGivesOneWarningPerPaint) {
    Open(kSampleMap);
    platform.messages.clear();
    surface().makeCurrent();
    glEnable(0x1234);   // GL_INVALID_ENUM, 1280
    window->paint();
    EXPECT_EQ(platform.messages, (std::vector<std::string>{"Warning: OpenGL error nuber: 1280"}));
    window->paint();
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(WindowTest, HardwareStereoWithoutStereoBuffersWarnsOnLaterPaints) {
    // Xvfb has no stereo visual: the right-eye buffer is an invalid choice, reported next paint.
    Open("-StereoHW " + kSampleMap);
    EXPECT_EQ(window->program().state.stereoMode, "StereoHW");
    platform.messages.clear();
    window->paint();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], "Warning: OpenGL error nuber: 1282");
    window->paint();
    EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(WindowTest, InterlacedMaskAlternatesRowsAndRoutesTheEyes) {
    Open("-StereoInterlaced " + kSampleMap);
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    surface().makeCurrent();
    std::vector<unsigned char> stencil(static_cast<size_t>(w * h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) wrong += stencil[static_cast<size_t>(y * w + x)] != (y % 2 == 0 ? 1 : 0);
    EXPECT_EQ(wrong, 0);

    // A marker well in front of the zero plane: the eyes see it apart.
    const Vec3f p{0, 0, 10};
    ShowOnlyMarkerAt(p);
    const FrameImage image = Frame();
    const Centroid left = MarkerCentroid(image, [](int y) { return y % 2 == 1; });
    const Centroid right = MarkerCentroid(image, [](int y) { return y % 2 == 0; });
    ASSERT_GT(left.count, 20);
    ASSERT_GT(right.count, 20);
    const auto wantLeft = Predicted("LeftEye", p), wantRight = Predicted("RightEye", p);
    EXPECT_GT(std::abs(wantLeft[0] - wantRight[0]), 10.0);
    EXPECT_NEAR(left.x, wantLeft[0], 1.5);
    EXPECT_NEAR(right.x, wantRight[0], 1.5);
    // Mesh lines are twice as wide here.
    EXPECT_EQ(render::LineWidthFor(window->program().state), 2.0f);
}

TEST_F(WindowTest, SceneListIsRecordedOnceUntilInvalidated) {
    Open(kSampleMap);
    window->paint();
    const int compiled = render::ListCompileCount();
    window->paint();
    window->paint();
    EXPECT_EQ(render::ListCompileCount(), compiled);
    window->program().state.listValid = 0;
    window->paint();
    window->paint();
    EXPECT_EQ(render::ListCompileCount(), compiled + 1);
}

TEST_F(WindowTest, MeshStylesDrawDifferentLines) {
    Open(kSampleMap);
    auto litPixels = [&] {
        const FrameImage image = Frame();
        int n = 0;
        for (size_t i = 0; i < image.rgb.size(); i += 3) n += image.rgb[i] || image.rgb[i + 1] || image.rgb[i + 2];
        return n;
    };
    const int web = litPixels();
    window->program().state.meshStyle = 2;
    window->program().state.listValid = 0;
    const int triangles = litPixels();
    EXPECT_GT(web, 0);
    EXPECT_GT(triangles, 0);
    EXPECT_NE(web, triangles);
}

}  // namespace
}  // namespace tivarel::testing

namespace tivarel::testing {
namespace {

TEST_F(WindowTest, ClosingWithoutPeaksAsksNothingAndEndsNormally) {
    Open(kSampleMap);
    platform.events.clear();
    try {
        window->keyPress('q');
        FAIL() << "q must end the program";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    EXPECT_EQ(platform.events, (std::vector<std::string>{"end: 0"}));
    EXPECT_TRUE(window->program().state.isQuitting);
    EXPECT_EQ(surface().context(), nullptr);   // released before the end
}

TEST_F(WindowTest, EscapeEndsTheProgram) {
    Open(kSampleMap);
    EXPECT_THROW(window->keyDown(27), ProgramEnded);
}

TEST_F(WindowTest, FatalErrorShowsTheCriticalBoxAndEnds) {
    Open(kSampleMap);
    platform.events.clear();
    try {
        window->fatalError("Could not retrieve pixel format!");
        FAIL();
    } catch (const ProgramEnded& end) {
        EXPECT_NE(end.status, 0);
    }
    EXPECT_EQ(platform.messages.back(), "Fatal Error: Could not retrieve pixel format!");
    EXPECT_EQ(platform.lastTitle, "Fatal Error In Tivarel");
}

TEST_F(WindowTest, ProgressWindowShowsEachLayerThenHides) {
    Open(kSampleMap);
    const ProgressWindow& progress = window->progressWindow();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.windowTitle().toStdString(), "ZOL map processing progress. Layer number: 3");
    EXPECT_EQ(progress.value(), 100);
}

}  // namespace
}  // namespace tivarel::testing
