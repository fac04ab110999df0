// The scene's lines kept in a buffer object draw, pixel for pixel, what a display list of the whole scene (as without
// buffer objects) draws, in both mesh styles and all stereo modes.
#include "render/frame.h"
#include "render/scene.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

// A 32^3 map of overlapping waves: thousands of triangles per layer, more vertices than one staging of the buffer
// holds, lines crossing lines at every depth; with the cell, a peak, the marker, the atoms and the contours of the
// middle plane.
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

}   // namespace
}   // namespace tivarel::testing
