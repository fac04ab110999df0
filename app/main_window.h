#pragma once
// frmMain: the main window. It owns the program state, the view state and the
// GL surface, runs the start-up, the frame cycle and the navigation events.
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <utility>
#include <memory>

#include "app/program.h"
#include "app/progress_window.h"
#include "mapio/presets.h"
#include "view/trackball.h"

class QMouseEvent;
class QKeyEvent;

namespace tivarel {

class Platform;
class GLSurface;
class frmControlPanel;
class frmAbout;
class frmHelp;

class frmMain : public QMainWindow {
public:
    explicit frmMain(Platform& platform);
    ~frmMain() override;

    // The start-up: opens the map named by the command text (or chosen in a dialog),
    // resets the view, creates the GL surface and shows the window.
    void Load(const std::string& commandText);

    // The frame cycle.
    void Paint();
    // Draws the frame into the back buffer without swapping; false for an unknown mode.
    bool DrawFrame();
    void Resize();
    void Unload();
    [[noreturn]] void FatalError(const std::string& message);

    // Navigation.
    void MouseDown(int button, int shift, float x, float y);
    void MouseUp(int button);
    void MouseMove(float x, float y);
    void KeyDown(int keyCode);
    void KeyPress(char character);
    void SetView(const std::string& direction);
    // A right click: picks in the contour plane or in the used surface, then offers the peak.
    void PickPeak(float x, float y);
    void ClearPeaks();
    void ResetView();
    // One pass of the idle loop while spinning.
    void IdlePass();
    // Shows the control panel, loading it from the program state when it is not loaded.
    void ShowControlPanel();
    frmControlPanel* controlPanel() { return panel_.get(); }
    frmAbout* aboutWindow() { return about_.get(); }
    frmHelp* helpWindow() { return help_.get(); }
    const std::array<Preset, 3>& presets() const { return presets_; }

    // Menu commands.
    void mnuFile_Open_ZOL_map();
    void mnuFile_Save_peak_list();
    void mnuSavePovrayFile();
    void mnuFile_Save_image();
    void mnuFileExit();
    void mnuEditClearPeaks();
    void mnuViewShow_Control_Panel();
    void mnuViewBackgroundColor();
    void mnuHelpHelp();
    void mnuHelpAbout();
    // Writes the current picture as a TGA file of the drawing area's size.
    void SaveTGA(const std::string& fileName);
    void ExportPovScene();

    Program& program() { return program_; }
    ProgramState& state() { return program_.state; }
    ViewState& view() { return view_; }
    Vec3f& pickPoint() { return pickPoint_; }
    GLSurface* surface() { return surface_; }
    frmProgressBar& progressWindow() { return progress_; }
    bool isIdleLoopActive() const { return idle_.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateSurface();
    // The drawing area in device pixels, 1 x 1 when it has no width or height.
    std::pair<int, int> DrawingSize() const;
    void CreateMenus();
    // Closing a modeless window unloads it, so that the next show loads it anew:
    // Qt deletes it on close, and the owning pointer lets go of it then.
    template <typename Window>
    void UnloadOnClose(std::unique_ptr<Window>& window) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window.get(), &QObject::destroyed, this, [&window] { (void)window.release(); });
    }
    void UnloadControlPanel();
    void StepSection(int delta);
    void UpdateIdleLoop();
    void OnMousePress(QMouseEvent* e);
    void OnMouseRelease(QMouseEvent* e);
    void OnKey(QKeyEvent* e);

    Platform& platform_;
    frmProgressBar progress_;
    Program program_;
    ViewState view_;
    Vec3f pickPoint_;
    GLSurface* surface_ = nullptr;
    QTimer idle_;
    std::array<Preset, 3> presets_{};
    std::unique_ptr<frmControlPanel> panel_;
    std::unique_ptr<frmAbout> about_;
    std::unique_ptr<frmHelp> help_;
    uint32_t dialogColour_ = 0;   // the colour dialog's one colour, 0x00BBGGRR, shared between uses
    bool painting_ = false;
};

}  // namespace tivarel
