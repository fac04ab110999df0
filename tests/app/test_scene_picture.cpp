// The scene's lines are kept in a buffer object. The picture must be, pixel for pixel, the
// one that drawing the whole scene in immediate mode gives, in the primitives, order,
// colours and widths of a display list of it: on the sample map and on a dense map, in both
// mesh styles and all three stereo modes, on the frame that rebuilds and on the next.
#include <cmath>
#include <initializer_list>

#include "render/atoms.h"
#include "render/frame.h"
#include "render/scene.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

template <typename Point>
void Vertices(std::initializer_list<Point> points) {
    for (const Point& p : points) glVertex3f(p.x, p.y, p.z);
}
void Colour(const Rgb& c) { glColor3f(c[0], c[1], c[2]); }

// The scene as the display list held it: the lit solids (drawn by the render layer, whose
// solids stay in the list), then the meshes as line strips and loops, the contour map and
// its frame, the cell.
void ReferenceScene(const Session& session, StereoMode stereoMode) {
    const ProgramState& s = session.state();
    const LayerSettings& layers = session.layers();
    glEnable(GL_LIGHTING);
    if (s.showMarker) {
        const Vec3& at = session.pickPoint();
        glColor3f(1.0f, 1.0f, 1.0f);
        glPushMatrix();
        glTranslatef(at.x, at.y, at.z);
        render::DrawCube(0.3);
        glPopMatrix();
    }
    if (!session.peaks().empty()) render::DrawPeaks(session.peaks());
    if (s.showAtoms) render::DrawAtomsAndBonds(session.map(), session.bonds(), stereoMode);
    glDisable(GL_LIGHTING);

    {
        glLineWidth(stereoMode == StereoMode::Interlaced ? 2.0f : 1.0f);
        for (int layer = 1; layer <= 3; ++layer) {
            if (!layers.layerUsed(layer)) continue;
            Colour(layers.meshColour(layer));
            for (int32_t n = 1; n <= session.triangles().count(layer); ++n) {
                const auto& t = session.triangles().at(layer, n).point;
                if (s.meshStyle == MeshStyle::Triangle) {
                    glBegin(GL_LINE_LOOP);
                    Vertices({t[0], t[1], t[2]});
                    glEnd();
                    continue;
                }
                const Vec3 c{(t[0].x + t[1].x + t[2].x) / 3.0f, (t[0].y + t[1].y + t[2].y) / 3.0f,
                               (t[0].z + t[1].z + t[2].z) / 3.0f};
                glBegin(GL_LINE_STRIP);
                Vertices({t[0], c, t[1]});
                glEnd();
                glBegin(GL_LINES);
                Vertices({c, t[2]});
                glEnd();
            }
        }
    }
    if (layers.showContourMap) {
        const SegmentStore& segments = session.segments();
        glLineWidth(3.0f);
        glBegin(GL_LINES);
        for (int layer = 1; layer <= 3; ++layer) {
            Colour(layers.contourColour(layer));
            for (int32_t n = 1; n <= segments.count(layer); ++n)
                Vertices({segments.at(layer, n).end1, segments.at(layer, n).end2});
        }
        glEnd();
        const GridParams& g = session.map().gridParams;
        const float z = float(layers.zSection - 1) * g.dz() + g.z0();
        const float x1 = float(g.nx() - 1) * g.dx() + g.x0(), y1 = float(g.ny() - 1) * g.dy() + g.y0();
        glColor3f(0.7f, 0.7f, 0.7f);
        glLineWidth(2.0f);
        glBegin(GL_LINE_LOOP);
        Vertices<Vec3>({{g.x0(), g.y0(), z}, {x1, g.y0(), z}, {x1, y1, z}, {g.x0(), y1, z}});
        glEnd();
    }
    if (s.showCell) {
        const auto& k = session.map().cellCorners;
        glColor3f(0.5f, 0.5f, 0.5f);
        glLineWidth(2.0f);
        glBegin(GL_LINE_LOOP);
        Vertices({k[0], k[1], k[2], k[3]});
        glEnd();
        glBegin(GL_LINE_LOOP);
        Vertices({k[4], k[5], k[6], k[7]});
        glEnd();
        glBegin(GL_LINES);
        for (size_t i = 0; i < 4; ++i) Vertices({k[i], k[i + 4]});
        glEnd();
    }
}

class ScenePictureTest : public WindowTest {
protected:
    // One frame of the stereo mode with `scene` as each eye's drawing, as the window draws
    // its frames (a fresh row mask first in the interlaced mode).
    FrameImage frameOf(const std::function<void()>& scene) {
        EXPECT_TRUE(surface().makeCurrent());
        const StereoMode mode = window->stereoMode();
        if (mode == StereoMode::Interlaced) render::BuildInterlaceMask(surface().pixelWidth(), surface().pixelHeight());
        const auto [extentX, extentY] = WindowExtents(surface().pixelWidth(), surface().pixelHeight());
        render::DrawFrame(mode, extentX, extentY, window->view(), scene);
        return backBuffer();
    }
    FrameImage referenceFrame() {
        return frameOf([this] { ReferenceScene(session(), window->stereoMode()); });
    }
    // The scene as the render layer draws it without a buffer object, all of it recorded
    // into list 1, on the frame after the recording: the picture every replay shows.
    // (While recording, Mesa draws small primitives with the colour per vertex, which
    // rounds a colour halfway between two steps, such as the cell's 0.5, the other way.)
    FrameImage frameFromTheList() {
        const Session& s = session();
        const render::Scene scene{window->stereoMode(), s.state(), s.layers(), s.triangles(), s.segments(),
                                  s.map(),              s.bonds(), s.peaks(),  s.pickPoint()};
        render::SceneDrawing listOnly([](const char*) { return render::GlFunction{}; });
        frameOf([&] { listOnly.draw(scene, 1); });
        return frameOf([&] { listOnly.draw(scene, 1); });
    }

    // Everything the scene can show: the cell, a peak, the marker, atoms, the contours of
    // the middle plane.
    void showEverything(Quat view) {
        Session& s = session();
        s.setSection(s.map().grid.nz() / 2);
        s.setShowCell(true);
        platform.yesNoAnswers.push_back(true);
        s.addPeak({2.0f, 0.5f, 1.0f});
        s.generateFields();
        s.showMarker({1.0f, 1.5f, 0.5f});
        window->view().viewQuat = view;
    }

    // Both mesh styles: the frame that rebuilds the scene and the next one are the picture
    // of the display list to the pixel, and the reference picture but for the rounding of
    // colours halfway between two steps.
    void expectTheListsPicture(int meshPixels, int contourPixels) {
        for (const MeshStyle style : {MeshStyle::Web, MeshStyle::Triangle}) {
            SCOPED_TRACE(std::string(style == MeshStyle::Web ? "web, " : "triangles, ") +
                         std::to_string(static_cast<int>(window->stereoMode())));
            session().setMeshStyle(style);
            const FrameImage list = frameFromTheList();   // list 1 holds the lines as well now
            session().generateFields();                   // a new scene: the window records list 1 anew
            const FrameImage first = frame(), next = frame();
            expectSame(first, list, 0, "the rebuilding frame");
            expectSame(next, list, 0, "the next frame");
            const FrameImage reference = referenceFrame();
            expectSame(first, reference, 1, "the reference");
            // Lines enough in the picture that a wrong colour, width or order would show.
            int shown = 0;
            for (const Rgb& c : session().layers().meshColours)
                shown += reference.count(Colour8{c[0] * 255.0, c[1] * 255.0, c[2] * 255.0});
            EXPECT_GT(shown, meshPixels);
            int contours = 0;
            for (const Rgb& c : session().layers().contourColours)
                contours += reference.count(Colour8{c[0] * 255.0, c[1] * 255.0, c[2] * 255.0});
            EXPECT_GT(contours, contourPixels);
            EXPECT_GT(reference.count(Colour8{0.5 * 255, 0.5 * 255, 0.5 * 255}), 100);   // the cell
            while (glGetError() != GL_NO_ERROR) {   // no right back buffer under Xvfb: not this test's concern
            }
        }
    }

    // Every pixel within `steps` on each channel.
    static void expectSame(const FrameImage& image, const FrameImage& reference, int steps, const char* what) {
        ASSERT_EQ(image.rgb.size(), reference.rgb.size()) << what;
        int differ = 0, firstX = -1, firstY = -1;
        for (int i = 0; i < image.width * image.height; ++i) {
            bool same = true;
            for (size_t c = 3 * size_t(i); c < 3 * size_t(i) + 3; ++c)
                same &= std::abs(image.rgb[c] - reference.rgb[c]) <= steps;
            if (!same && differ++ == 0) firstX = i % image.width, firstY = i / image.width;
        }
        EXPECT_EQ(differ, 0) << what << ": first at " << firstX << ", " << firstY;
    }
};

const char* const kModes[] = {"", "-StereoHW ", "-StereoInterlaced "};

TEST_F(ScenePictureTest, SampleMapInEveryModeAndStyle) {
    for (const char* mode : kModes) {
        open(mode + kSampleMap);
        showEverything({0.2f, -0.3f, 0.1f, std::sqrt(1.0f - 0.14f)});
        expectTheListsPicture(2000, 50);
    }
}

// A 32^3 map of overlapping waves: thousands of triangles per layer, lines
// crossing lines at every depth.
TEST_F(ScenePictureTest, DenseMapInEveryModeAndStyle) {
    const std::string dense = WriteFou(
        "dense.fou", {32, 32, 32}, {0, 0, 0},
        [](double x, double y, double z) {
            return std::sin(0.7 * x) * std::cos(0.6 * y) + std::sin(0.5 * z + 0.3 * x);
        },
        {}, "31 0 0 0 31 0 0 0 31 0 0 0");
    for (const char* mode : kModes) {
        open(mode + dense);
        showEverything({-0.25f, 0.35f, 0.05f, std::sqrt(1.0f - 0.185f)});
        look(0.35f, {-5.4f, -5.4f, -5.4f}, window->view().viewQuat);
        ASSERT_GT(session().triangles().count(1), 4000);
        expectTheListsPicture(20000, 300);
    }
}

}  // namespace
}  // namespace tivarel::testing
