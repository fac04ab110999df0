#pragma once
// MainWindow: the main window. It holds the session, the view state and the GL surface,
// runs the start-up, the frame cycle and the navigation events.
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "app/command_line.h"
#include "app/progress_window.h"
#include "mapio/presets.h"
#include "session/platform.h"
#include "session/session.h"
#include "view/trackball.h"

class QMouseEvent;
class QKeyEvent;

namespace tivarel {

class GLSurface;
class ControlPanel;
class AboutWindow;
class HelpWindow;
namespace render {
class SceneDrawing;
}

class MainWindow : public QMainWindow {
public:
    explicit MainWindow(Platform& platform);
    ~MainWindow() override;

    // The start-up: opens the map named on the command line (or chosen in a dialog),
    // resets the view, creates the GL surface and shows the window.
    void start(const CommandLine& commandLine);

    // The frame cycle.
    void paint();
    // Draws the frame into the back buffer without swapping.
    void drawFrame();
    void resizeView();
    // Offers the peaks for saving, releases the context and the other windows, ends the program.
    void closeProgram();
    [[noreturn]] void fatalError(const std::string& message);

    // Navigation.
    void mouseDown(MouseButton button, Modifiers modifiers, float x, float y);
    void mouseUp(MouseButton button);
    void mouseMove(float x, float y);
    void keyDown(Key key);
    void keyPress(char character);
    void setView(ViewAxis axis);
    // A right click: picks in the contour plane or in the used surface, then offers the peak.
    void pickPeak(float x, float y);
    // The view as a map opens: no turn, shift or spin, the map's start zoom.
    void resetView();
    // One pass of the idle loop while spinning.
    void idlePass();
    ControlPanel* controlPanel() { return panel_.get(); }
    AboutWindow* aboutWindow() { return about_.get(); }
    HelpWindow* helpWindow() { return help_.get(); }

    // Menu commands ("&Exit" is closeProgram).
    void openMap();
    void savePeakList();
    // Writes the shown scene, under the current view, as a POV-Ray file.
    void exportPovScene();
    void saveImage();
    void clearPeaks();
    // Shows the control panel, loading it from the session when it is not loaded.
    void showControlPanel();
    void chooseBackgroundColour();
    void showHelp();
    void showAbout();
    // Writes the current picture as a TGA file of the drawing area's size.
    void saveTga(const std::string& fileName);

    Session& session() { return session_; }
    ViewState& view() { return view_; }
    StereoMode stereoMode() const { return stereoMode_; }
    GLSurface* surface() { return surface_; }
    ProgressWindow& progressWindow() { return progress_; }
    bool isIdleLoopActive() const { return idle_.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createSurface();
    // The steps after a map is opened: the view reset, the presets read, the panel loaded.
    void showNewMap();
    void readPresets();
    // The drawing area in device pixels, 1 x 1 when it has no width or height.
    std::pair<int, int> drawingSize() const;
    void createMenus();
    // Closing a modeless window unloads it, so that the next show loads it anew:
    // Qt deletes it on close, and the owning pointer lets go of it then.
    template <typename Window>
    void unloadOnClose(std::unique_ptr<Window>& window) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window.get(), &QObject::destroyed, this, [&window] { (void)window.release(); });
    }
    void reloadControlPanel();
    void unloadControlPanel();
    void stepSection(int delta);
    void updateIdleLoop();
    void onMousePress(QMouseEvent* e);
    void onMouseRelease(QMouseEvent* e);
    void onKey(QKeyEvent* e);
    // Every event and command enters here: nothing it throws reaches Qt's event loop.
    template <typename Handler>
    void handle(Handler&& handler) {
        RunHandler(platform_, session_.peakRescue(), handler);
    }

    Platform& platform_;
    ProgressWindow progress_;
    Session session_;
    ViewState view_;
    StereoMode stereoMode_ = StereoMode::None;
    float extentX_ = 1.0f, extentY_ = 1.0f;   // the window's longer side widens the view
    GLSurface* surface_ = nullptr;
    std::unique_ptr<render::SceneDrawing> scene_;
    QTimer idle_;
    std::array<Preset, 3> presets_{};
    std::string presetsProblem_;   // why the presets could not be read; empty when they were
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<AboutWindow> about_;
    std::unique_ptr<HelpWindow> help_;
    uint32_t dialogColour_ = 0;   // the colour dialog's one colour, 0x00BBGGRR, shared between uses
    bool painting_ = false;
};

}  // namespace tivarel
