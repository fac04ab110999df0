#include "app/main_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>

#include "app/gl_surface.h"
#include "app/platform.h"
#include "export/number_format.h"
#include "mapio/side_files.h"
#include "info/info_windows.h"
#include "panel/control_panel.h"
#include "picking/gl_picking.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/scene.h"
#include "stereo/frustum.h"

namespace tivarel {

namespace {
constexpr int kInnerWidth = 564;
constexpr int kInnerHeight = 494;
constexpr int kKeyEscape = 27;
constexpr int kBlockedPollMs = 50;

int ButtonCode(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int ShiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

int KeyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Left: return kKeyLeft;
    case Qt::Key_Up: return kKeyUp;
    case Qt::Key_Right: return kKeyRight;
    case Qt::Key_Down: return kKeyDown;
    case Qt::Key_Escape: return kKeyEscape;
    default: return qtKey;
    }
}
}  // namespace

frmMain::frmMain(Platform& platform) : platform_(platform), program_(platform, &progress_) {
    setWindowTitle(QString::fromStdString(program_.windowCaption));
    CreateMenus();
    program_.captionChanged = [this](const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); };
    idle_.setInterval(0);
    connect(&idle_, &QTimer::timeout, this, [this] { IdlePass(); });
}

frmMain::~frmMain() {
    // The other windows first, while the members they report to still exist.
    panel_.reset();
    help_.reset();
    about_.reset();
}

void frmMain::Load(const std::string& commandText) {
    program_.state.stereoMode = "Nothing";
    program_.OpenMap(commandText);
    ResetView();
    CreateSurface();
    render::InitDepth();
    render::InitLighting();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    resize(kInnerWidth, kInnerHeight + menuBar()->sizeHint().height());
    show();
}

void frmMain::CreateSurface() {
    GLSurface::Handlers handlers{
        [this] { Resize(); },
        [this] { Paint(); },
        [this](QMouseEvent* e) { OnMousePress(e); },
        [this](QMouseEvent* e) { OnMouseRelease(e); },
        [this](QMouseEvent* e) { MouseMove(static_cast<float>(e->position().x()), static_cast<float>(e->position().y())); },
        [this](QKeyEvent* e) { OnKey(e); },
    };
    const std::string& mode = program_.state.stereoMode;
    surface_ = new GLSurface(SurfaceFormatFor(mode), std::move(handlers));
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setMinimumSize(1, 1);
    container->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(container);
    if (!surface_->createContext(mode)) FatalError("Could not retrieve pixel format!");
}

void frmMain::FatalError(const std::string& message) {
    platform_.showMessage("Fatal Error: " + message, "Fatal Error In Tivarel", MessageIcon::Critical);
    platform_.endProgram(1);
}

std::pair<int, int> frmMain::DrawingSize() const {
    const int w = surface_->pixelWidth(), h = surface_->pixelHeight();
    // A window of no width or height is drawn as 1 x 1, which keeps the extents finite.
    if (w == 0 || h == 0) return {1, 1};
    return {w, h};
}

bool frmMain::DrawFrame() {
    const ProgramState& s = program_.state;
    if (s.stereoMode == "StereoInterlaced") {
        // The window system may reallocate the ancillary buffers some time after a
        // resize, which loses the stencil rows; drawing the mask costs little, so
        // every interlaced frame starts from a fresh one.
        const auto [w, h] = DrawingSize();
        render::BuildInterlaceMask(w, h);
    }
    const render::Scene scene{s, program_.layers, program_.triangles, program_.segments, program_.map,
                              program_.bonds, program_.peaks.rows.data(), program_.peaks.count, pickPoint_};
    return render::DrawFrame(s.stereoMode, s.extentX, s.extentY, view_,
                             [&] { render::objekt(scene, program_.state.listValid); });
}

void frmMain::Paint() {
    // Paints never nest (a message box shown here must not start another one), and
    // none draws from the stores while a rebuild rewrites them.
    if (painting_ || program_.isBuilding() || !surface_ || !surface_->makeCurrent()) return;
    painting_ = true;
    const auto error = static_cast<int16_t>(glGetError());
    if (error != 0) platform_.showMessage("Warning: OpenGL error nuber:" + FormatNumber(error));
    if (DrawFrame()) surface_->swapBuffers();
    painting_ = false;
}

void frmMain::Resize() {
    if (!surface_ || !surface_->makeCurrent()) return;
    const auto [w, h] = DrawingSize();
    ProgramState& s = program_.state;
    s.extentX = s.extentY = 1.0f;
    if (s.stereoMode == "StereoInterlaced") render::BuildInterlaceMask(w, h);
    glViewport(0, 0, w, h);
    std::tie(s.extentX, s.extentY) = WindowExtents(w, h);
    Paint();
}

void frmMain::Unload() {
    view_.isSpinning = false;
    UpdateIdleLoop();
    // The peaks are offered for saving before anything is released.
    if (program_.peaks.count > 0) program_.SavePeakFile();
    program_.state.isQuitting = true;
    if (surface_) surface_->releaseContext();
    UnloadControlPanel();
    help_.reset();
    about_.reset();
    progress_.hide();
    platform_.endProgram(0);
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->ignore();
    Unload();
}

void frmMain::ResetView() {
    ProgramState& s = program_.state;
    view_.isRotating = view_.isZooming = view_.isSpinning = false;
    s.extentX = s.extentY = 1.0f;
    s.isQuitting = false;
    s.showAtoms = true;
    s.showMarker = false;
    s.showCell = false;
    s.pickMode = "3D";
    program_.peaks.count = 0;
    s.meshStyle = 1;
    RunOrStop(platform_, [&] {
        presets_ = ReadLayerPresets(SideFilePath(platform_.programDirectory(), "layer_limit_presets.txt"));
    });
    ResetViewState(view_);
    UpdateIdleLoop();
    s.listValid = 0;
    UnloadControlPanel();
    ShowControlPanel();
}

void frmMain::ShowControlPanel() {
    if (!panel_) {
        frmControlPanel::Host host{
            [this](const std::string& direction) { SetView(direction); },
            [this] { Paint(); },
        };
        panel_ = std::make_unique<frmControlPanel>(program_, presets_, std::move(host));
        UnloadOnClose(panel_);
    }
    panel_->show();
    panel_->raise();
}

void frmMain::UnloadControlPanel() {
    if (!panel_) return;
    panel_->hide();
    panel_.reset();
}

void frmMain::SetView(const std::string& direction) {
    SetViewQuat(view_, direction);
    UpdateIdleLoop();
    Paint();
}

void frmMain::MouseDown(int button, int shift, float x, float y) {
    tivarel::MouseDown(view_, button, shift, x, y);
    UpdateIdleLoop();
    if (button == kRightButton) PickPeak(x, y);
}

void frmMain::PickPeak(float x, float y) {
    if (!surface_ || !surface_->makeCurrent()) return;
    // GL counts device pixels; the mouse comes in logical ones.
    const float ratio = static_cast<float>(surface_->devicePixelRatio());
    const float X = x * ratio, Y = y * ratio;
    const ProgramState& s = program_.state;
    const picking::PickCamera camera{s.extentX, s.extentY, view_};
    bool found = false;
    if (s.pickMode == "2D") {
        const GridParams& g = program_.map.gridParams;
        const float z = static_cast<float>(program_.layers.zSection - 1) * g.dz() + g.z0();
        const float xmax = static_cast<float>(g.nx() - 1) * g.dx() + g.x0();
        const float ymax = static_cast<float>(g.ny() - 1) * g.dy() + g.y0();
        found = picking::Pick2D(X, Y, g.x0(), xmax, g.y0(), ymax, z, camera, pickPoint_);
    } else if (s.pickMode == "3D") {
        const auto result = picking::Pick3D(X, Y, program_.triangles, program_.layers.used, camera, pickPoint_);
        if (result == picking::Pick3DResult::NotOneLayer)
            platform_.showMessage("Exactly 1 layer must be used for 3D ZOL map picking  !!");
        found = result == picking::Pick3DResult::Found;
    }
    if (!found) return;
    program_.state.listValid = 0;
    program_.state.showMarker = true;
    Paint();
    platform_.beep();
    Paint();
    program_.AddPeak(pickPoint_);
    program_.state.showMarker = false;
    program_.state.listValid = 0;
    Paint();
}

void frmMain::ClearPeaks() {
    program_.peaks.count = 0;
    program_.state.listValid = 0;
    Paint();
}

void frmMain::MouseUp(int button) { tivarel::MouseUp(view_, button); }

void frmMain::MouseMove(float x, float y) {
    const int w = static_cast<int>(std::nearbyint(surface_ ? surface_->width() : 1));
    const int h = static_cast<int>(std::nearbyint(surface_ ? surface_->height() : 1));
    if (tivarel::MouseMove(view_, x, y, w, h)) Paint();
    UpdateIdleLoop();
}

void frmMain::KeyDown(int keyCode) {
    KeyDownMove(view_, keyCode);
    UpdateIdleLoop();
    if (keyCode == kKeyEscape) Unload();
    Paint();
}

void frmMain::KeyPress(char character) {
    KeyPressMove(view_, character);
    UpdateIdleLoop();
    switch (character) {
    case 'h': ShowControlPanel(); break;
    case 'q': Unload(); return;
    case 'x': SetView("X"); break;
    case 'y': SetView("Y"); break;
    case 'z': SetView("Z"); break;
    case '-': StepSection(-1); break;
    case '+': StepSection(+1); break;
    default: break;
    }
    Paint();
}

void frmMain::StepSection(int delta) {
    LayerSettings& layers = program_.layers;
    const int nz = program_.map.gridParams.nz();
    int section = layers.zSection + delta;
    if (section < 1) section = 1;
    if (section > nz) section = nz;
    layers.zSection = static_cast<int16_t>(section);
    if (panel_) panel_->ShowSection(section);
    program_.GenerateFields();
}

void frmMain::IdlePass() {
    if (!view_.isSpinning) {
        UpdateIdleLoop();
        return;
    }
    // Modal boxes, dialogs and the progress window run event loops of their own:
    // the model waits for them, polling slowly instead of turning unseen.
    const bool blocked = platform_.dialogOpen() || program_.isBuilding();
    idle_.setInterval(blocked ? kBlockedPollMs : 0);
    if (blocked) return;
    SpinStep(view_);
    Paint();
}

void frmMain::UpdateIdleLoop() {
    // The idle loop only runs while the model spins; otherwise the program sleeps.
    if (view_.isSpinning && !idle_.isActive()) idle_.start();
    if (!view_.isSpinning && idle_.isActive()) idle_.stop();
}

void frmMain::OnMousePress(QMouseEvent* e) {
    const int button = ButtonCode(e->button());
    MouseDown(button, ShiftState(e->modifiers()), static_cast<float>(e->position().x()),
              static_cast<float>(e->position().y()));
}

void frmMain::OnMouseRelease(QMouseEvent* e) { MouseUp(ButtonCode(e->button())); }

void frmMain::OnKey(QKeyEvent* e) {
    KeyDown(KeyCode(e->key()));
    // Every key with a character raises the key-press handler too; characters the
    // handler does not know (non-ASCII among them) come as 0 and only repaint.
    const QString text = e->text();
    if (!text.isEmpty()) KeyPress(text[0].unicode() < 128 ? static_cast<char>(text[0].unicode()) : '\0');
}

}  // namespace tivarel
