#pragma once
// frmMain: the main window. It owns the program state, the view state and the
// GL surface, runs the start-up, the frame cycle and the navigation events.
#include <QMainWindow>
#include <QTimer>

#include "app/program.h"
#include "app/progress_window.h"
#include "view/trackball.h"

class QMouseEvent;
class QKeyEvent;

namespace tivarel {

class Platform;
class GLSurface;

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
    void Kamera(const std::string& eyeName);
    void Unload();
    [[noreturn]] void FatalError(const std::string& message);

    // Navigation.
    void MouseDown(int button, int shift, float x, float y);
    void MouseUp(int button);
    void MouseMove(float x, float y);
    void KeyDown(int keyCode);
    void KeyPress(char character);
    void SetView(const std::string& direction);
    void ResetView();
    // One pass of the idle loop while spinning.
    void IdlePass();

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
    bool painting_ = false;
};

}  // namespace tivarel
