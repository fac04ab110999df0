#pragma once
// A real main window on the Xvfb display, opened through the start-up path with
// the scripted platform, plus helpers that read back what the frame drew.
#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <vector>

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "render/gl.h"
#include "scripted_platform.h"
#include "stereo/frustum.h"

namespace tivarel::testing {

inline const std::string kSampleMap = TIVAREL_SOURCE_DIR "/data/sample.fou";

struct Rgb8 {
    int r, g, b;
};

// The back buffer after one frame, rows from the bottom as GL stores them.
struct FrameImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Rgb8 at(int x, int y) const {
        const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

struct Centroid {
    double x = 0, y = 0;
    int count = 0;
};

class WindowTest : public ::testing::Test {
protected:
    ScriptedPlatform platform;
    std::unique_ptr<MainWindow> window;

    void Open(const std::string& commandText) {
        window = std::make_unique<MainWindow>(platform);
        window->start(commandText);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->surface()));
        QTest::qWait(50);
    }

    GLSurface& surface() { return *window->surface(); }

    FrameImage Frame() {
        EXPECT_TRUE(surface().makeCurrent());
        EXPECT_TRUE(window->drawFrame());
        FrameImage image;
        image.width = surface().pixelWidth();
        image.height = surface().pixelHeight();
        image.rgb.resize(static_cast<size_t>(3 * image.width * image.height));
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
        return image;
    }

    // Only the white marker cube at `point` (model frame) is drawn.
    void ShowOnlyMarkerAt(Vec3f point) {
        Program& p = window->program();
        p.layers.used = {false, false, false};
        p.layers.showContourMap = false;
        p.state.showAtoms = false;
        p.state.showMarker = true;
        window->pickPoint() = point;
        p.state.listValid = 0;
    }

    // Centre of the bright marker pixels, on the rows that `rowFilter` accepts.
    template <typename RowFilter>
    static Centroid MarkerCentroid(const FrameImage& image, RowFilter rowFilter) {
        Centroid c;
        for (int y = 0; y < image.height; ++y) {
            if (!rowFilter(y)) continue;
            for (int x = 0; x < image.width; ++x) {
                const Rgb8 p = image.at(x, y);
                if (p.r > 150 && p.g > 150 && p.b > 150) {
                    c.x += x + 0.5;
                    c.y += y + 0.5;
                    ++c.count;
                }
            }
        }
        if (c.count) {
            c.x /= c.count;
            c.y /= c.count;
        }
        return c;
    }
    static Centroid MarkerCentroid(const FrameImage& image) {
        return MarkerCentroid(image, [](int) { return true; });
    }

    // Where the marker centre should land for `eye`, computed without GL.
    std::array<double, 2> Predicted(const std::string& eye, Vec3f p) {
        const ProgramState& s = window->program().state;
        const auto frustum = EyeFrustumFor(eye, s.extentX, s.extentY);
        return ProjectToWindow(*frustum, ModelViewMatrix(window->view()), p.x, p.y, p.z,
                               surface().pixelWidth(), surface().pixelHeight());
    }
};

}  // namespace tivarel::testing
