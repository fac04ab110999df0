// The view a map opens with, in a real GL window under Xvfb: a map far larger than the
// start view opens zoomed out with its whole box in the picture; the sample map at 1.0.
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

// The default mesh colours (0.1, 0.7, 0.1), (0.1, 0.1, 0.7) and (0.7, 0.1, 0.1).
constexpr Colour8 kMesh[3] = {{25.5, 178.5, 25.5}, {25.5, 25.5, 178.5}, {178.5, 25.5, 25.5}};

// Centre of the mesh pixels in the columns from `left` up to `right`.
Centroid MeshCentroid(const FrameImage& image, int left, int right) {
    Centroid c;
    for (int y = 0; y < image.height; ++y)
        for (int x = left; x < right; ++x)
            if (const Rgb8 p = image.at(x, y); p.near(kMesh[0]) || p.near(kMesh[1]) || p.near(kMesh[2]))
                c.x += x + 0.5, c.y += y + 0.5, ++c.count;
    if (c.count) c.x /= c.count, c.y /= c.count;
    return c;
}

TEST_F(WindowTest, TheSampleMapOpensAtZoomOne) {
    open(kSampleMap);
    EXPECT_EQ(window->view().zoomScale, 1.0f);
    QTest::keyClick(&surface(), Qt::Key_C);
    EXPECT_EQ(window->view().zoomScale, 1.0f);
}

// 49 x 9 x 9 points from (-24, -4, -4), a blob of density at each end of x (peaks 100 at
// x = -21 and 21, levels 10, 30 and 50). The box is 48 long, four times the 12 the start view
// shows, so it opens at the zoom worked out by hand: the sphere about the origin through the
// box's corners, sqrt(24^2 + 4^2 + 4^2) = 24.658, scaled to 5.250891 (90 % of the view's
// height, seen from 22.5 away), 0.212952. Both blobs are drawn where they must land, and
// all eight corners of the box lie in the window; "c" comes back to that zoom.
TEST_F(WindowTest, ALargeMapOpensZoomedOutWithItsWholeBoxInView) {
    const auto blobs = [](double x, double y, double z) {
        const double across = y * y + z * z;
        return 100.0 * (std::exp(-((x + 21) * (x + 21) + across) / 4) + std::exp(-((x - 21) * (x - 21) + across) / 4));
    };
    open(WriteFou("long.fou", {49, 9, 9}, {-24, -4, -4}, blobs));
    EXPECT_NEAR(window->view().zoomScale, 0.212952, 2e-6);
    const int w = surface().pixelWidth(), h = surface().pixelHeight();
    for (int corner = 0; corner < 8; ++corner) {
        const auto at = project({corner & 1 ? 24.0f : -24.0f, corner & 2 ? 4.0f : -4.0f, corner & 4 ? 4.0f : -4.0f});
        EXPECT_GT(at[0], 0.0);
        EXPECT_LT(at[0], w);
        EXPECT_GT(at[1], 0.0);
        EXPECT_LT(at[1], h);
    }
    const FrameImage image = frame();
    for (const float x : {-21.0f, 21.0f}) {
        const auto at = project({x, 0, 0});
        const Centroid c = x < 0 ? MeshCentroid(image, 0, w / 2) : MeshCentroid(image, w / 2, w);
        SCOPED_TRACE(x);
        EXPECT_GT(c.count, 20);
        EXPECT_NEAR(c.x, at[0], 3.0);
        EXPECT_NEAR(c.y, at[1], 3.0);
    }
    window->view().zoomScale = 2.0f;
    QTest::keyClick(&surface(), Qt::Key_C);
    EXPECT_NEAR(window->view().zoomScale, 0.212952, 2e-6);
    EXPECT_TRUE(platform.events.empty());
}

}   // namespace
}   // namespace tivarel::testing
