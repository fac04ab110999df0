#pragma once
// The main window's drawing surface: a native GL window with its own context,
// so that stereo back buffers, the stencil mask and the back buffer are real.
#include <QOpenGLContext>
#include <QWindow>

#include <functional>

#include "view/modes.h"

namespace tivarel {

// What the stereo mode needs of the surface, and whether the display gives it.
QSurfaceFormat SurfaceFormatFor(StereoMode stereoMode);
// True when the display grants a double-buffered stereo surface with depth.
bool DisplayHasStereo();

class GLSurface : public QWindow {
public:
    struct Handlers {
        std::function<void()> resize;   // the window's resize routine (it paints)
        std::function<void()> paint;    // the paint routine
        std::function<void(QMouseEvent*)> mousePress, mouseRelease, mouseMove;
        std::function<void(QKeyEvent*)> keyPress;
    };

    GLSurface(const QSurfaceFormat& format, Handlers handlers);

    // Creates the context once for the whole run; false when it cannot be had or lacks
    // the double buffer, depth or stencil bits that the mode needs.
    bool createContext(StereoMode stereoMode);
    bool makeCurrent();
    void swapBuffers();
    void releaseContext();
    QOpenGLContext* context() const { return context_; }

    // Inner size in device pixels.
    int pixelWidth() const;
    int pixelHeight() const;

protected:
    void exposeEvent(QExposeEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* e) override { handlers_.mousePress(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { handlers_.mouseRelease(e); }
    void mouseMoveEvent(QMouseEvent* e) override { handlers_.mouseMove(e); }
    void keyPressEvent(QKeyEvent* e) override { handlers_.keyPress(e); }

private:
    void runResize();

    Handlers handlers_;
    QOpenGLContext* context_ = nullptr;
    QSize resizedTo_;   // the pixel size the resize routine last ran for; empty before the first
};

}  // namespace tivarel
