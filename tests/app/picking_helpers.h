#pragma once
// Helpers for the picking, peak list and atom drawing tests: small FOU maps written on
// the fly, a user who can look at the window while the save dialog is open, and the
// way from a model point to the mouse position (origin top left) and its ring of pixels.
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

struct WatchingPlatform : ScriptedPlatform {
    std::function<void()> whileSaving;
    std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) override {
        if (whileSaving) whileSaving();
        return ScriptedPlatform::saveFileDialog(fileName, filter);
    }
};

inline std::string ScratchPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "tivarel-picking-tests";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Writes a FOU map of n[0] x n[1] x n[2] points, unit steps from `first`, with identity cell
// matrix and zero origin (grid frame = fractional frame); `value` gets each point's position.
inline std::string WriteFou(const std::string& name, std::array<int, 3> n, Vec3f first,
                            const std::function<double(double, double, double)>& value) {
    std::ostringstream t;
    t << std::fixed << std::setprecision(4);
    t << "picking test map\r\nheading\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n0 0 0\r\ncell\r\n1 1 1 90 90 90\r\naxes\r\n";
    for (float start : {first.x, first.y, first.z}) t << start << " 1 0 0\r\n";
    t << "counts\r\n" << n[0] << ' ' << n[1] << ' ' << n[2] << "\r\n";
    for (int z = 0; z < n[2]; ++z) {
        t << "Section\r\n" << double(first.z) + z << "\r\n";
        for (int x = 0; x < n[0]; ++x)   // y varies fastest
            for (int y = 0; y < n[1]; ++y) {
                const double v = value(double(first.x) + x, double(first.y) + y, double(first.z) + z);
                t << (std::abs(v) < 1e-4 ? 0.0 : v) << (y + 1 < n[1] ? " " : "\r\n");
            }
    }
    t << "atoms\r\n0 14\r\n";
    std::ofstream(ScratchPath(name), std::ios::binary) << t.str();
    return ScratchPath(name);
}

// A Gaussian blob of height 100 and width 3 grid units centred at c.
inline double Blob(const Vec3f& c, double x, double y, double z) {
    return 100.0 * std::exp(-((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) + (z - c.z) * (z - c.z)) / 18.0);
}

// The lit orange (1.0, 0.6, 0.1) of the peak spheres away from the highlight, at any brightness.
inline bool LooksOrange(Rgb8 p) {
    return p.r >= 150 && p.g * 100 >= 50 * p.r && p.g * 100 <= 72 * p.r && p.b * 5 <= p.r && p.b < p.g;
}

class PickingWindowTest : public WindowTest {
protected:
    WatchingPlatform user;   // in place of the base fixture's `platform`

    // Peaks never saved go to recovery files beside the test maps: none stays behind.
    void TearDown() override {
        window.reset();
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(ScratchPath("x")).parent_path()))
            if (entry.path().filename().string().find("-unsaved-peaks-") != std::string::npos)
                std::filesystem::remove(entry.path());
    }

    void OpenWith(const std::string& commandText) {
        window = std::make_unique<MainWindow>(user);
        window->start(commandText);
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
    void RightClickOn(Vec3f p, bool answer = true) {
        user.yesNoAnswers = {answer};
        const QPointF m = MouseAt(p);
        window->PickPeak(static_cast<float>(m.x()), static_cast<float>(m.y()));
    }

    // Screen radius in pixels of a sphere of model radius r at p (default orientation).
    double ScreenRadius(Vec3f p, float r) {
        const auto c = Predicted("CentralEye", p), e = Predicted("CentralEye", {p.x + r, p.y, p.z});
        return std::hypot(e[0] - c[0], e[1] - c[1]);
    }

    // How many of 12 pixels on a circle of `radius` pixels around p's projection pass `test`.
    int RingMatches(const FrameImage& image, Vec3f p, double radius, const std::function<bool(Rgb8)>& test) {
        const auto c = Predicted("CentralEye", p);
        int matches = 0;
        for (int k = 0; k < 12; ++k) {
            const double a = 2.0 * 3.14159265358979 * (k + 0.5) / 12;
            const int x = static_cast<int>(std::floor(c[0] + radius * std::cos(a)));
            const int y = static_cast<int>(std::floor(c[1] + radius * std::sin(a)));
            if (x >= 0 && y >= 0 && x < image.width && y < image.height) matches += test(image.at(x, y));
        }
        return matches;
    }
    // Orange pixels on the ring at 0.65 of a peak sphere's screen radius around p.
    int OrangeRing(const FrameImage& image, Vec3f p) {
        return RingMatches(image, p, 0.65 * ScreenRadius(p, 0.25f), LooksOrange);
    }
};

}  // namespace tivarel::testing
