#pragma once
// Helpers for the picking, peak list and atom drawing tests: small FOU maps
// written on the fly, a scripted user who can look at the window while a
// question or a save dialog is open, and the way back from the model to the
// mouse position (origin top left) and to the viewer's eye.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "window_fixture.h"

namespace tivarel::testing {

// A scripted user who can inspect the program while a dialog is open.
class WatchingPlatform : public ScriptedPlatform {
public:
    std::function<void(const std::string&)> whileAsked;
    std::function<void(const std::string&)> whileSaving;

    bool askYesNo(const std::string& text, const std::string& title) override {
        if (whileAsked) whileAsked(text);
        return ScriptedPlatform::askYesNo(text, title);
    }
    std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) override {
        if (whileSaving) whileSaving(fileName);
        return ScriptedPlatform::saveFileDialog(fileName, filter);
    }
};

// A FOU map with identity cell matrix and zero origin: grid frame = fractional frame.
struct FouGrid {
    int nx, ny, nz;
    Vec3f first;    // grid-frame coordinate of grid point (1, 1, 1)
    float step;     // the same on all three axes
};

inline std::string ScratchPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "tivarel-picking-tests";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Writes the map; `value` gets the grid-frame position of each grid point.
inline std::string WriteFou(const std::string& name, const FouGrid& g,
                            const std::function<double(double, double, double)>& value) {
    std::ostringstream t;
    t << std::fixed << std::setprecision(4);
    t << "picking test map\r\nheading\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n0 0 0\r\ncell\r\n1 1 1 90 90 90\r\naxes\r\n";
    for (float start : {g.first.x, g.first.y, g.first.z}) t << start << ' ' << g.step << " 0 0\r\n";
    t << "counts\r\n" << g.nx << ' ' << g.ny << ' ' << g.nz << "\r\n";
    for (int z = 0; z < g.nz; ++z) {
        const double zc = g.first.z + z * static_cast<double>(g.step);
        t << "Section\r\n" << zc << "\r\n";
        for (int x = 0; x < g.nx; ++x) {   // y varies fastest
            const double xc = g.first.x + x * static_cast<double>(g.step);
            for (int y = 0; y < g.ny; ++y) {
                const double v = value(xc, g.first.y + y * static_cast<double>(g.step), zc);
                t << (std::abs(v) < 1e-4 ? 0.0 : v) << (y + 1 < g.ny ? " " : "\r\n");
            }
        }
    }
    t << "atoms\r\n0 14\r\n";
    const std::string path = ScratchPath(name);
    std::ofstream(path, std::ios::binary) << t.str();
    return path;
}

// A Gaussian blob of height 100 and width 3 grid units centred at c.
inline double Blob(const Vec3f& c, double x, double y, double z) {
    const double d2 = (x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) + (z - c.z) * (z - c.z);
    return 100.0 * std::exp(-d2 / 18.0);
}

inline double Distance(const Vec3f& a, const Vec3f& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Distance of p from the line through a and b.
inline double DistanceFromLine(const Vec3f& p, const Vec3f& a, const Vec3f& b) {
    const double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
    const double w[3] = {p.x - a.x, p.y - a.y, p.z - a.z};
    const double c[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
}

inline std::string Describe(const std::vector<Rgb8>& pixels) {
    std::string t;
    for (const Rgb8& q : pixels)
        t += " (" + std::to_string(q.r) + "," + std::to_string(q.g) + "," + std::to_string(q.b) + ")";
    return t;
}

// Lit orange of the peak spheres (1.0, 0.6, 0.1) away from the highlight: the
// colour's proportions at any brightness.
inline bool LooksOrange(Rgb8 p) {
    return p.r >= 150 && p.g * 100 >= 50 * p.r && p.g * 100 <= 72 * p.r && p.b * 5 <= p.r && p.b < p.g;
}

// The window test with the watching user in place of the plain scripted one
// (the base fixture's `platform` is not used by these tests).
class PickingWindowTest : public WindowTest {
protected:
    WatchingPlatform user;

    void OpenWith(const std::string& commandText) {
        window = std::make_unique<frmMain>(user);
        window->Load(commandText);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->surface()));
        QTest::qWait(50);
        user.events.clear();
    }

    void Look(float zoom, std::array<float, 3> shift, Quat q = {0, 0, 0, 1}) {
        ViewState& v = window->view();
        v.zoomScale = zoom;
        v.modelShift = shift;
        v.viewQuat = q;
        window->program().state.listValid = 0;
    }

    // The mouse position (window pixels, origin top left) over model point p.
    QPointF MouseAt(Vec3f p) {
        const auto w = Predicted("CentralEye", p);
        return {w[0], surface().pixelHeight() - w[1]};
    }

    void RightClickOn(Vec3f p) {
        const QPointF m = MouseAt(p);
        window->PickPeak(static_cast<float>(m.x()), static_cast<float>(m.y()));
    }

    // The central eye's position in the model frame: the model view is
    // R (shift + zoom p), and the eye sits at (0, 0, viewer distance) in front of it.
    Vec3f EyeInModel() {
        const ViewState& v = window->view();
        Mat4 r{};
        QuatToMatrix(r, v.viewQuat);
        Vec3f eye;
        for (int i = 0; i < 3; ++i)
            eye[i] = (r[static_cast<size_t>(i * 4 + 2)] * kViewerDistance - v.modelShift[static_cast<size_t>(i)]) /
                     v.zoomScale;
        return eye;
    }

    // Screen radius in pixels of a sphere of model radius r at p (default orientation).
    double ScreenRadius(Vec3f p, float r) {
        const auto c = Predicted("CentralEye", p);
        const auto e = Predicted("CentralEye", {p.x + r, p.y, p.z});
        return std::hypot(e[0] - c[0], e[1] - c[1]);
    }

    // `n` pixels on a circle of `radius` pixels around the projection of p (those inside the frame).
    std::vector<Rgb8> Ring(const FrameImage& image, Vec3f p, double radius, int n) {
        const auto c = Predicted("CentralEye", p);
        std::vector<Rgb8> ring;
        for (int k = 0; k < n; ++k) {
            const double a = 2.0 * 3.14159265358979 * (k + 0.5) / n;
            const int x = static_cast<int>(std::floor(c[0] + radius * std::cos(a)));
            const int y = static_cast<int>(std::floor(c[1] + radius * std::sin(a)));
            if (x >= 0 && y >= 0 && x < image.width && y < image.height) ring.push_back(image.at(x, y));
        }
        return ring;
    }

    template <typename Test>
    int RingMatches(const FrameImage& image, Vec3f p, double radius, int n, Test test) {
        int matches = 0;
        for (const Rgb8& q : Ring(image, p, radius, n)) matches += test(q) ? 1 : 0;
        return matches;
    }

    // Pixels that look orange on the ring at 0.65 of the peak sphere's screen radius around p.
    int OrangeRing(const FrameImage& image, Vec3f p) {
        const double r = 0.65 * ScreenRadius(p, 0.25f);
        const int matches = RingMatches(image, p, r, 12, LooksOrange);
        if (matches > 0 && matches < 10) ADD_FAILURE() << "partly orange:" << Describe(Ring(image, p, r, 12));
        return matches;
    }

    // Bright white pixels (the lit marker cube) within `radius` pixels of p's projection.
    int WhiteNear(const FrameImage& image, Vec3f p, int radius) {
        const auto c = Predicted("CentralEye", p);
        int n = 0;
        for (int y = static_cast<int>(c[1]) - radius; y <= static_cast<int>(c[1]) + radius; ++y)
            for (int x = static_cast<int>(c[0]) - radius; x <= static_cast<int>(c[0]) + radius; ++x) {
                if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
                const Rgb8 q = image.at(x, y);
                n += q.r > 240 && q.g > 240 && q.b > 240;
            }
        return n;
    }
};

}  // namespace tivarel::testing
