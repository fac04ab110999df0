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

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "render/gl.h"

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

double TimedPaint(MainWindow& window) {
    const auto start = Clock::now();
    window.paint();
    glFinish();
    return Seconds(start);
}

FrameCost Measure(MainWindow& window) {
    window.surface()->makeCurrent();
    FrameCost cost;
    for (int round = 0; round < 3; ++round) {
        window.program().state.listValid = 0;
        cost.rebuild.add(TimedPaint(window));
        for (int i = 0; i < 3; ++i) cost.frame.add(TimedPaint(window));
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
                return Point3{static_cast<float>(r * std::sin(v + dv) * std::cos(u + du)),
                              static_cast<float>(r * std::sin(v + dv) * std::sin(u + du)),
                              static_cast<float>(r * std::cos(v + dv))};
            };
            store.at(layer, n).point = {point(0, 0), point(0.01, 0), point(0, 0.01)};
        }
        store.count(layer) = perLayer;
    }
}

double SpinStepsPerSecond(MainWindow& window) {
    TrackballQuat(window.view().dragQuat, 0.0f, 0.0f, 0.01f, 0.0f);
    window.view().isSpinning = true;
    int steps = 0;
    const auto start = Clock::now();
    while (Seconds(start) < 2.0) {
        window.idlePass();
        ++steps;
    }
    glFinish();
    window.view().isSpinning = false;
    return steps / Seconds(start);
}

void Report(const char* scene, MainWindow& window) {
    for (const MeshStyle style : {MeshStyle::Web, MeshStyle::Triangle}) {
        window.program().state.meshStyle = style;
        const FrameCost c = Measure(window);
        std::printf("%-22s %-9s rebuild and frame %7.1f ms (worst %7.1f)   frame %7.1f ms (worst %7.1f)   "
                    "ratio of the best %4.2f\n",
                    scene, style == MeshStyle::Web ? "web" : "triangle", c.rebuild.best, c.rebuild.worst, c.frame.best, c.frame.worst,
                    c.rebuild.best / c.frame.best);
    }
    window.program().state.meshStyle = MeshStyle::Web;
    Measure(window);
    std::printf("%-22s spin      %8.1f steps per second\n", scene, SpinStepsPerSecond(window));
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
    tivarel::Program& p = window.program();
    std::printf("sample map: %d + %d + %d triangles\n", p.triangles.count(1), p.triangles.count(2),
                p.triangles.count(3));
    tivarel::Report("sample map", window);
    tivarel::FillNearCapacity(p.triangles);
    tivarel::Report("3 x 399 999 triangles", window);
    return 0;
}
