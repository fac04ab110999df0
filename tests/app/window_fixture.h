#pragma once
// What the window tests share: a scripted platform, FOU maps written on the fly, a real main window under Xvfb, its
// picture, and where a model point lands in it.

#include <QAction>
#include <QQuaternion>
#include <QTest>

#include <cmath>
#include <deque>
#include <sstream>

#include "../test_files.h"
#include "app/gl_surface.h"
#include "app/main_window.h"
#include "stereo/frustum.h"

namespace tivarel::testing {

namespace fs = std::filesystem;
using test_support::ReadFile;

struct ProgramEnded {
    int status;
};

// Records every dialogue in order, answers from the script, turns the end into an exception.
class ScriptedPlatform : public Platform {
public:
    std::vector<std::string> events;   // "message: ...", "question: ...", "open: ...", "beep", ...
    std::vector<std::string> messages;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<uint32_t>> colourAnswers;
    std::string dataFolder;
    std::string programFolder = TIVAREL_BIN_DIR;
    // Run while a box, a question or a save dialog is open.
    std::function<void()> whileTelling, whileAsking, whileSaving;

    bool askYesNo(const std::string& text, const std::string&) override {
        const DialogScope open(*this);
        return answer("question: " + text, yesNoAnswers, whileAsking);
    }
    std::optional<std::string> openFileDialog(const std::string& fileName, const std::string& filter) override {
        return answer("open: " + fileName + " | " + filter, fileAnswers);
    }
    std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) override {
        return answer("save: " + fileName + " | " + filter, fileAnswers, whileSaving);
    }
    std::optional<uint32_t> colourDialog(uint32_t initial) override {
        return answer("colour: " + std::to_string(initial), colourAnswers);
    }
    void beep() override { events.push_back("beep"); }
    std::string programDirectory() override { return programFolder; }
    std::string dataDirectory() override { return dataFolder; }

private:
    void doEndProgram(int status) override {
        events.push_back("end: " + std::to_string(status));
        throw ProgramEnded{status};
    }
    void messageBox(const std::string& text, const std::string&, MessageIcon) override {
        events.push_back("message: " + text);
        messages.push_back(text);
        if (whileTelling) whileTelling();
    }
    // Records the dialog, runs `meanwhile` while it is open, gives the next answer (none left: No, or a cancel).
    template <typename T>
    T answer(const std::string& event, std::deque<T>& answers, const std::function<void()>& meanwhile = {}) {
        events.push_back(event);
        if (meanwhile) meanwhile();
        const T first = answers.empty() ? T{} : answers.front();
        if (!answers.empty()) answers.pop_front();
        return first;
    }
};

// The exit status `step` ended the program with, or -1 when it went on.
inline int EndStatus(const std::function<void()>& step) try {
    step();
    return -1;
} catch (const ProgramEnded& end) {
    return end.status;
}

inline std::string Scratch(const std::string& name) {
    static const test_support::TempFolder folder;   // this run's own, removed as it ends
    return (folder.path() / name).string();
}

// The sample map, copied so that nothing a test leaves beside it lands in the source tree.
inline const std::string kSampleMap = [] {
    fs::copy_file(TIVAREL_SOURCE_DIR "/data/sample.fou", Scratch("sample.fou"), fs::copy_options::overwrite_existing);
    return Scratch("sample.fou");
}();

// A FOU map (in the scratch folder unless the name is a path) of n points per axis, unit steps from `first`, atoms at
// fractional positions; `cell` holds the cell matrix and the origin.
inline std::string WriteFou(const std::string& name, std::array<int, 3> n, Vec3 first,
                            const std::function<double(double, double, double)>& value,
                            const std::vector<std::pair<std::string, Vec3>>& atoms = {},
                            const std::string& cell = "1 0 0 0 1 0 0 0 1 0 0 0") {
    std::ostringstream t;
    t.precision(9);
    t << "test map\r\nheading\r\n" << cell << "\r\ncell\r\n1 1 1 90 90 90\r\naxes\r\n";
    for (float start : {first.x, first.y, first.z}) t << start << " 1 0 0\r\n";
    t << "counts\r\n" << n[0] << ' ' << n[1] << ' ' << n[2] << "\r\n";
    for (int z = 0; z < n[2]; ++z) {
        t << "Section\r\n" << z + 1 << "\r\n";
        for (int x = 0; x < n[0]; ++x)   // y varies fastest
            for (int y = 0; y < n[1]; ++y) {
                const double v = value(double(first.x) + x, double(first.y) + y, double(first.z) + z);
                t << (std::abs(v) < 1e-6 ? 0.0 : v) << (y + 1 < n[1] ? " " : "\r\n");
            }
    }
    t << "atoms\r\n" << atoms.size() << " 14\r\n";
    for (const auto& [atom, at] : atoms)
        t << atom << "\r\n0 0 0\r\n" << at.x << ' ' << at.y << ' ' << at.z << "\r\n0 0 0 0 0 0 0\r\n";
    std::ofstream(Scratch(name), std::ios::binary) << t.str();
    return Scratch(name);
}
inline double Zero(double, double, double) { return 0; }

using Colour8 = std::array<double, 3>;   // a colour in 8 bits, exact: 0.1 is 25.5
// The default mesh colours (0.1, 0.7, 0.1), (0.1, 0.1, 0.7) and (0.7, 0.1, 0.1).
inline constexpr Colour8 kMesh[3] = {{25.5, 178.5, 25.5}, {25.5, 25.5, 178.5}, {178.5, 25.5, 25.5}};

struct Rgb8 {
    int r, g, b;
    bool near(const Colour8& c) const {   // within one step on every channel
        return std::abs(r - c[0]) <= 1.01 && std::abs(g - c[1]) <= 1.01 && std::abs(b - c[2]) <= 1.01;
    }
};
inline bool Bright(Rgb8 p) { return p.r > 150 && p.g > 150 && p.b > 150; }

// A buffer's picture, rows from the bottom as GL stores them.
struct FrameImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Rgb8 at(int x, int y) const {
        const size_t i = 3 * size_t(y * width + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    int count(const std::function<bool(Rgb8)>& test) const {
        int n = 0;
        for (int i = 0; i < width * height; ++i) n += test(at(i % width, i / width)) ? 1 : 0;
        return n;
    }
    int count(Colour8 c) const { return count([c](Rgb8 p) { return p.near(c); }); }
    // The mean x of the pixels that pass `test`, on the rows `row` accepts.
    double centreX(const std::function<bool(Rgb8)>& test, const std::function<bool(int)>& row = nullptr) const {
        double sum = 0;
        int n = 0;
        for (int i = 0; i < width * height; ++i)
            if ((!row || row(i / width)) && test(at(i % width, i / width))) sum += i % width + 0.5, ++n;
        return n ? sum / n : -1;
    }
};

class WindowTest : public ::testing::Test {
protected:
    ScriptedPlatform platform;
    std::unique_ptr<MainWindow> window;

    void open(const std::string& commandText) {
        window.reset();   // a window's end unhooks it from the platform
        window = std::make_unique<MainWindow>(platform);
        window->start(ParseCommandLine(commandText));
        const auto shown = [this] { return surface().isExposed() && surface().size() == QSize(564, 494); };
        ASSERT_TRUE(QTest::qWaitFor(shown, 10000))
            << "no 564 x 494 drawing area within 10 s: " << surface().width() << " x " << surface().height();
    }
    void command(const char* name) { window->findChild<QAction*>(name)->trigger(); }
    GLSurface& surface() { return *window->surface(); }
    Session& session() { return window->session(); }

    FrameImage frame() {
        EXPECT_TRUE(surface().makeCurrent());
        window->drawFrame();
        return backBuffer();
    }
    // The back buffer (or, in stereo, either of them) as the last frame left it.
    FrameImage backBuffer(GLenum buffer = GL_BACK) {
        FrameImage image{surface().pixelWidth(), surface().pixelHeight(), {}};
        image.rgb.resize(static_cast<size_t>(3 * image.width * image.height));
        glReadBuffer(buffer);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
        return image;
    }
    void look(float zoom, std::array<float, 3> shift, Quat q = {0, 0, 0, 1}) {
        window->view().zoomScale = zoom;
        window->view().modelShift = shift;
        window->view().viewQuat = q;
    }
    void showLayers(std::array<bool, 3> used, bool contourMap = true) {
        for (int layer = 1; layer <= 3; ++layer) session().setLayerUsed(layer, used[size_t(layer - 1)]);
        session().setShowContourMap(contourMap);
        session().generateFields();
    }

    // Window position (pixels, origin bottom left) of model point p for an eye `eye` units right of the centre: the
    // view quaternion's conjugate turns shift + zoom p; the eye looks from 22.5 units before the zero plane, which
    // spans 12 units across the shorter side.
    std::array<double, 2> project(Vec3 p, double eye = 0.0) {
        const ViewState& v = window->view();
        const QQuaternion turn = QQuaternion(v.viewQuat[3], v.viewQuat[0], v.viewQuat[1], v.viewQuat[2]).conjugated();
        const QVector3D r = turn.rotatedVector(QVector3D(v.modelShift[0], v.modelShift[1], v.modelShift[2]) +
                                               v.zoomScale * QVector3D(p.x, p.y, p.z));
        const double depth = 22.5 / (22.5 - r.z()), w = surface().pixelWidth(), h = surface().pixelHeight();
        const double unit = std::min(w, h) / 12;
        return {w / 2 + (eye + (r.x() - eye) * depth) * unit, h / 2 + r.y() * depth * unit};
    }
    void rightClickOn(Vec3 p, bool answer = true) {
        platform.yesNoAnswers = {answer};
        window->pickPeak(float(mouseAt(p).x()), float(mouseAt(p).y()));
    }
    // The mouse position (logical pixels, origin top left) over model point p.
    QPointF mouseAt(Vec3 p) {
        const auto at = project(p);
        return QPointF(at[0], surface().pixelHeight() - at[1]) / surface().devicePixelRatio();
    }
};

}   // namespace tivarel::testing
