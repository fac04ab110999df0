// Frame costs in the real GL window: the frame that rebuilds the scene (the solids'
// list recorded, the lines written to their buffer) beside a frame that draws the kept
// scene with a buffer swap, and spin steps per second, for the sample map and for a
// scene near the triangle store's capacity, in both mesh styles.
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/tivarel_frame_bench
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/scene.h"

namespace tivarel {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Best and worst of several timings, in milliseconds.
struct Range {
    double best = 1e30, worst = 0.0;
    void add(double seconds) {
        best = std::min(best, seconds * 1e3);
        worst = std::max(worst, seconds * 1e3);
    }
};

// The frame that rebuilds the scene and the frames of the kept scene, each a paint with
// its buffer swap, as the user waits for them: three rounds of one and three.
struct FrameCost {
    Range rebuild, frame;
};

// One frame with its buffer swap; `rebuild` makes it record the scene anew.
using Paint = std::function<void(bool rebuild)>;

double TimedPaint(const Paint& paint, bool rebuild) {
    const auto start = Clock::now();
    paint(rebuild);
    glFinish();
    return Seconds(start);
}

FrameCost Measure(const Paint& paint) {
    FrameCost cost;
    for (int round = 0; round < 3; ++round) {
        cost.rebuild.add(TimedPaint(paint, true));
        for (int i = 0; i < 3; ++i) cost.frame.add(TimedPaint(paint, false));
    }
    return cost;
}

// Small triangles tiling a sphere shell, 3 x 399 999 of them.
void FillNearCapacity(TriangleStore& store) {
    const int32_t perLayer = kMaxTrianglesPerLayer - 1;
    for (int layer = 1; layer <= 3; ++layer) {
        const double r = 2.0 + layer;
        for (int32_t n = 1; n <= perLayer; ++n) {
            const double u = std::fmod(n * 0.618033988749895, 1.0) * 2 * M_PI;
            const double v = std::acos(1.0 - 2.0 * (n + 0.5) / perLayer);
            auto point = [&](double du, double dv) {
                return Vec3{static_cast<float>(r * std::sin(v + dv) * std::cos(u + du)),
                              static_cast<float>(r * std::sin(v + dv) * std::sin(u + du)),
                              static_cast<float>(r * std::cos(v + dv))};
            };
            store.at(layer, n).point = {point(0, 0), point(0.01, 0), point(0, 0.01)};
        }
        store.count(layer) = perLayer;
    }
}

// Spin steps of a small drag turn, each with its frame, for two seconds.
double SpinStepsPerSecond(ViewState& view, const Paint& paint) {
    TrackballQuat(view.dragQuat, 0.0f, 0.0f, 0.01f, 0.0f);
    int steps = 0;
    const auto start = Clock::now();
    while (Seconds(start) < 2.0) {
        SpinStep(view);
        paint(false);
        ++steps;
    }
    glFinish();
    return steps / Seconds(start);
}

void Report(const char* scene, ViewState& view, const std::function<void(MeshStyle)>& setStyle, const Paint& paint) {
    for (const MeshStyle style : {MeshStyle::Web, MeshStyle::Triangle}) {
        setStyle(style);
        const FrameCost c = Measure(paint);
        std::printf("%-22s %-9s rebuild and frame %7.1f ms (worst %7.1f)   frame %7.1f ms (worst %7.1f)   "
                    "ratio of the best %4.2f\n",
                    scene, style == MeshStyle::Web ? "web" : "triangle", c.rebuild.best, c.rebuild.worst,
                    c.frame.best, c.frame.worst, c.rebuild.best / c.frame.best);
    }
    setStyle(MeshStyle::Web);
    paint(true);
    std::printf("%-22s spin      %8.1f steps per second\n", scene, SpinStepsPerSecond(view, paint));
}

}  // namespace
}  // namespace tivarel

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tivarel::QtPlatform platform;
    tivarel::MainWindow window(platform);
    window.start({tivarel::StereoMode::None, TIVAREL_SOURCE_DIR "/data/sample.fou"});
    while (!window.surface()->isExposed()) QApplication::processEvents();
    window.surface()->makeCurrent();
    std::printf("GL renderer: %s, %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
    using namespace tivarel;
    Session& session = window.session();
    std::printf("sample map: %d + %d + %d triangles\n", session.triangles().count(1), session.triangles().count(2),
                session.triangles().count(3));
    // Any change of the scene makes the next frame record it anew; hiding the hidden
    // marker is the change that costs nothing else.
    Report(
        "sample map", window.view(), [&](MeshStyle style) { session.setMeshStyle(style); },
        [&](bool rebuild) {
            if (rebuild) session.hideMarker();
            window.paint();
        });
    // The near-full stores are the bench's own, drawn as the window draws its scene.
    auto triangles = std::make_unique<TriangleStore>();
    FillNearCapacity(*triangles);
    ProgramState state = session.state();
    const render::Scene scene{window.stereoMode(), state,           session.layers(), *triangles, session.segments(),
                              session.map(),       session.bonds(), {},                session.pickPoint()};
    GLSurface& surface = *window.surface();
    QOpenGLContext* context = surface.context();
    render::SceneDrawing drawing([context](const char* name) { return context->getProcAddress(name); });
    uint64_t revision = 0;
    const auto [extentX, extentY] = WindowExtents(surface.pixelWidth(), surface.pixelHeight());
    Report(
        "3 x 399 999 triangles", window.view(), [&](MeshStyle style) { state.meshStyle = style; },
        [&](bool rebuild) {
            if (rebuild) ++revision;
            render::DrawFrame(window.stereoMode(), extentX, extentY, window.view(),
                              [&] { drawing.draw(scene, revision); });
            surface.swapBuffers();
        });
    drawing.release();
    return 0;
}
