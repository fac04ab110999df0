#include "app/main_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>

#include "app/gl_surface.h"
#include "export/number_format.h"
#include "mapio/side_files.h"
#include "info/info_windows.h"
#include "panel/control_panel.h"
#include "picking/gl_picking.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/scene.h"
#include "render/scene_buffers.h"
#include "stereo/frustum.h"
#include "view/start_zoom.h"

namespace tivarel {

namespace {
constexpr int kInnerWidth = 564;
constexpr int kInnerHeight = 494;
constexpr int kBlockedPollMs = 50;

MouseButton ButtonOf(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return MouseButton::Left;
    case Qt::RightButton: return MouseButton::Right;
    case Qt::MiddleButton: return MouseButton::Middle;
    default: return MouseButton::None;
    }
}

Modifiers ModifiersOf(Qt::KeyboardModifiers m) {
    return {m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::ControlModifier), m.testFlag(Qt::AltModifier)};
}

// By the key, not by its code: punctuation shares its Qt codes with the arrows' numbers.
Key KeyOf(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Up: return Key::Up;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Down: return Key::Down;
    case Qt::Key_Escape: return Key::Escape;
    default: return Key::None;
    }
}
}  // namespace

MainWindow::MainWindow(Platform& platform) : platform_(platform), session_(platform, &progress_) {
    setWindowTitle("Marching cube map of studied function");
    createMenus();
    idle_.setInterval(0);
    connect(&idle_, &QTimer::timeout, this, [this] { handle([this] { idlePass(); }); });
}

MainWindow::~MainWindow() {
    // The other windows first, while the members they report to still exist.
    panel_.reset();
    help_.reset();
    about_.reset();
}

void MainWindow::start(const CommandLine& commandLine) {
    stereoMode_ = commandLine.stereoMode;
    const std::string path =
        commandLine.mapPath.empty() ? session_.askMapName().value_or(std::string()) : commandLine.mapPath;
    if (!path.empty()) setWindowTitle(QString::fromStdString("Visualized file: " + path));
    session_.openMap(path);
    showNewMap();
    createSurface();
    render::InitDepth();
    render::InitLighting();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    resize(kInnerWidth, kInnerHeight + menuBar()->sizeHint().height());
    show();
}

void MainWindow::showNewMap() {
    resetView();
    readPresets();
    reloadControlPanel();
}

void MainWindow::createSurface() {
    GLSurface::Handlers handlers{
        [this] { handle([this] { resizeView(); }); },
        [this] { handle([this] { paint(); }); },
        [this](QMouseEvent* e) { handle([this, e] { onMousePress(e); }); },
        [this](QMouseEvent* e) { handle([this, e] { onMouseRelease(e); }); },
        [this](QMouseEvent* e) {
            handle([this, e] {
                mouseMove(static_cast<float>(e->position().x()), static_cast<float>(e->position().y()));
            });
        },
        [this](QKeyEvent* e) { handle([this, e] { onKey(e); }); },
    };
    surface_ = new GLSurface(SurfaceFormatFor(stereoMode_), std::move(handlers));
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setMinimumSize(1, 1);
    container->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(container);
    if (!surface_->createContext(stereoMode_)) fatalError("Could not retrieve pixel format!");
    QOpenGLContext* context = surface_->context();
    scene_ = std::make_unique<render::SceneDrawing>([context](const char* name) { return context->getProcAddress(name); });
}

void MainWindow::fatalError(const std::string& message) {
    session_.endWithMessage("Fatal Error: " + message, "Fatal Error In Tivarel", MessageIcon::Critical);
}

std::pair<int, int> MainWindow::drawingSize() const {
    const int w = surface_->pixelWidth(), h = surface_->pixelHeight();
    // A window of no width or height is drawn as 1 x 1, which keeps the extents finite.
    if (w == 0 || h == 0) return {1, 1};
    return {w, h};
}

void MainWindow::drawFrame() {
    if (stereoMode_ == StereoMode::Interlaced) {
        // The window system may reallocate the ancillary buffers some time after a
        // resize, which loses the stencil rows; drawing the mask costs little, so
        // every interlaced frame starts from a fresh one.
        const auto [w, h] = drawingSize();
        render::BuildInterlaceMask(w, h);
    }
    const Session& s = session_;
    const render::Scene scene{stereoMode_,  s.state(), s.layers(), s.triangles(), s.segments(),
                              s.map(),      s.bonds(), s.peaks(),  s.pickPoint()};
    render::DrawFrame(stereoMode_, extentX_, extentY_, view_,
                      [&] { scene_->draw(scene, session_.sceneRevision()); });
}

void MainWindow::paint() {
    // Paints never nest (a message box shown here must not start another one), and
    // none draws from the stores while a rebuild rewrites them.
    if (painting_ || session_.isBuilding() || !surface_ || !surface_->makeCurrent()) return;
    painting_ = true;
    const auto error = static_cast<int16_t>(glGetError());
    if (error != 0) platform_.showMessage("Warning: OpenGL error nuber:" + FormatNumber(error));
    drawFrame();
    surface_->swapBuffers();
    painting_ = false;
}

void MainWindow::resizeView() {
    if (!surface_ || !surface_->makeCurrent()) return;
    const auto [w, h] = drawingSize();
    if (stereoMode_ == StereoMode::Interlaced) render::BuildInterlaceMask(w, h);
    glViewport(0, 0, w, h);
    std::tie(extentX_, extentY_) = WindowExtents(w, h);
    paint();
}

void MainWindow::closeProgram() {
    view_.isSpinning = false;
    updateIdleLoop();
    // The peaks are offered for saving before anything is released; closing goes on
    // whatever the answer, and peaks that were not saved go to a recovery file.
    if (!session_.peaks().empty())
        if (const std::optional<std::string> failure = session_.savePeakFile())
            platform_.showMessage(WithNote(*failure, session_.rescuePeaks()));
    // The scene's buffer before the context it belongs to.
    if (scene_ && surface_ && surface_->makeCurrent()) scene_->release();
    scene_.reset();
    if (surface_) surface_->releaseContext();
    unloadControlPanel();
    help_.reset();
    about_.reset();
    progress_.hide();
    session_.endProgram(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    handle([this] { closeProgram(); });
}

void MainWindow::resetView() {
    extentX_ = extentY_ = 1.0f;
    // A large map starts zoomed out far enough to show its whole box; any other at 1.0.
    view_.startZoom = StartZoom(session_.map().gridParams);
    ResetViewState(view_);
    updateIdleLoop();
}

void MainWindow::readPresets() {
    // Only the preset buttons need the presets: without them the program still starts,
    // and a button tells what is wrong when it is pressed.
    try {
        presets_ = ReadLayerPresets(SideFilePath(platform_.programDirectory(), kLayerPresetsFileName));
        presetsProblem_.clear();
    } catch (const InputError& problem) {
        presets_ = {};
        presetsProblem_ = problem.what();
    }
}

void MainWindow::reloadControlPanel() {
    unloadControlPanel();
    showControlPanel();
}

void MainWindow::showControlPanel() {
    if (!panel_) {
        ControlPanel::Host host{
            [this](ViewAxis axis) { handle([this, axis] { setView(axis); }); },
            [this] { handle([this] { paint(); }); },
        };
        panel_ = std::make_unique<ControlPanel>(session_, presets_, presetsProblem_, std::move(host));
        unloadOnClose(panel_);
    }
    panel_->show();
    panel_->raise();
}

void MainWindow::unloadControlPanel() {
    if (!panel_) return;
    panel_->hide();
    panel_.reset();
}

void MainWindow::setView(ViewAxis axis) {
    SetViewQuat(view_, axis);
    updateIdleLoop();
    paint();
}

void MainWindow::mouseDown(MouseButton button, Modifiers modifiers, float x, float y) {
    MouseDown(view_, button, modifiers, x, y);
    updateIdleLoop();
    if (button == MouseButton::Right) pickPeak(x, y);
}

void MainWindow::pickPeak(float x, float y) {
    if (!surface_ || !surface_->makeCurrent()) return;
    // GL counts device pixels; the mouse comes in logical ones.
    const float ratio = static_cast<float>(surface_->devicePixelRatio());
    const float X = x * ratio, Y = y * ratio;
    const picking::PickCamera camera{extentX_, extentY_, view_};
    Vec3 point = session_.pickPoint();
    bool found = false;
    if (session_.state().pickMode == PickMode::Plane) {
        const SectionPlane p = SectionPlaneOf(session_.map().gridParams, session_.layers().zSection);
        found = picking::Pick2D(X, Y, p.x0, p.x1, p.y0, p.y1, p.z, camera, point);
    } else {
        const auto result =
            picking::Pick3D(X, Y, session_.triangles(), session_.layers().used, camera, point);
        if (result == picking::Pick3DResult::NotOneLayer)
            platform_.showMessage("Exactly 1 layer must be used for 3D ZOL map picking  !!");
        found = result == picking::Pick3DResult::Found;
    }
    if (!found) return;
    session_.showMarker(point);
    paint();
    platform_.beep();
    paint();
    session_.addPeak(point);
    session_.hideMarker();
    paint();
}

void MainWindow::clearPeaks() {
    // The user's own choice: peaks never saved are kept, but out of the map's folder.
    session_.clearPeaks(Session::RescueTo::DataFolderOnly);
    paint();
}

void MainWindow::mouseUp(MouseButton button) { MouseUp(view_, button); }

void MainWindow::mouseMove(float x, float y) {
    const int w = static_cast<int>(std::nearbyint(surface_ ? surface_->width() : 1));
    const int h = static_cast<int>(std::nearbyint(surface_ ? surface_->height() : 1));
    if (MouseMove(view_, x, y, w, h)) paint();
    updateIdleLoop();
}

void MainWindow::keyDown(Key key) {
    KeyDownMove(view_, key);
    updateIdleLoop();
    if (key == Key::Escape) closeProgram();
    paint();
}

void MainWindow::keyPress(char character) {
    KeyPressMove(view_, character);
    updateIdleLoop();
    switch (character) {
    case 'h': showControlPanel(); break;
    case 'q': closeProgram(); return;
    case 'x': setView(ViewAxis::X); break;
    case 'y': setView(ViewAxis::Y); break;
    case 'z': setView(ViewAxis::Z); break;
    case '-': stepSection(-1); break;
    case '+': stepSection(+1); break;
    default: break;
    }
    paint();
}

void MainWindow::stepSection(int delta) {
    session_.moveSection(delta);
    if (panel_) panel_->showSection();
    session_.generateFields();
}

void MainWindow::idlePass() {
    if (!view_.isSpinning) {
        updateIdleLoop();
        return;
    }
    // Modal boxes, dialogs and the progress window run event loops of their own:
    // the model waits for them, polling slowly instead of turning unseen.
    const bool blocked = platform_.dialogOpen() || session_.isBuilding();
    idle_.setInterval(blocked ? kBlockedPollMs : 0);
    if (blocked) return;
    SpinStep(view_);
    paint();
}

void MainWindow::updateIdleLoop() {
    // The idle loop only runs while the model spins; otherwise the program sleeps.
    if (view_.isSpinning && !idle_.isActive()) idle_.start();
    if (!view_.isSpinning && idle_.isActive()) idle_.stop();
}

void MainWindow::onMousePress(QMouseEvent* e) {
    mouseDown(ButtonOf(e->button()), ModifiersOf(e->modifiers()), static_cast<float>(e->position().x()),
              static_cast<float>(e->position().y()));
}

void MainWindow::onMouseRelease(QMouseEvent* e) { mouseUp(ButtonOf(e->button())); }

void MainWindow::onKey(QKeyEvent* e) {
    keyDown(KeyOf(e->key()));
    // Every key with a character raises the key-press handler too; characters the
    // handler does not know (non-ASCII among them) come as 0 and only repaint.
    const QString text = e->text();
    if (!text.isEmpty()) keyPress(text[0].unicode() < 128 ? static_cast<char>(text[0].unicode()) : '\0');
}

}  // namespace tivarel
