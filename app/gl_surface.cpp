#include "app/gl_surface.h"

#include <QExposeEvent>
#include <QOffscreenSurface>
#include <QResizeEvent>

#include "render/gl.h"

namespace tivarel {

namespace {
QSurfaceFormat BaseFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    f.setDepthBufferSize(16);
    return f;
}

struct GrantedBits {
    GLboolean stereo = GL_FALSE, doubleBuffer = GL_FALSE;
    GLint depth = 0, stencil = 0;
};

GrantedBits QueryBits() {
    GrantedBits b;
    glGetBooleanv(GL_STEREO, &b.stereo);
    glGetBooleanv(GL_DOUBLEBUFFER, &b.doubleBuffer);
    glGetIntegerv(GL_DEPTH_BITS, &b.depth);
    glGetIntegerv(GL_STENCIL_BITS, &b.stencil);
    return b;
}
}  // namespace

bool DisplayHasStereo() {
    // Asking for stereo where there is none makes some platforms drop double
    // buffering and depth first; so try it on a throwaway window.
    QSurfaceFormat f = BaseFormat();
    f.setStereo(true);
    QWindow probe;
    probe.setSurfaceType(QSurface::OpenGLSurface);
    probe.setFormat(f);
    probe.resize(4, 4);
    probe.create();
    QOpenGLContext context;
    context.setFormat(f);
    if (!context.create() || !context.makeCurrent(&probe)) return false;
    const GrantedBits b = QueryBits();
    context.doneCurrent();
    return b.stereo && b.doubleBuffer && b.depth >= 16;
}

QSurfaceFormat SurfaceFormatFor(StereoMode stereoMode) {
    QSurfaceFormat f = BaseFormat();
    if (stereoMode == StereoMode::Hardware && DisplayHasStereo()) f.setStereo(true);
    if (stereoMode == StereoMode::Interlaced) f.setStencilBufferSize(1);
    return f;
}

GLSurface::GLSurface(const QSurfaceFormat& format, Handlers handlers) : handlers_(std::move(handlers)) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(format);
}

bool GLSurface::createContext(StereoMode stereoMode) {
    create();
    context_ = new QOpenGLContext(this);
    context_->setFormat(requestedFormat());
    if (!context_->create() || !context_->makeCurrent(this)) return false;
    const GrantedBits b = QueryBits();
    return b.doubleBuffer && b.depth >= 16 && (stereoMode != StereoMode::Interlaced || b.stencil >= 1);
}

bool GLSurface::makeCurrent() { return context_ && context_->makeCurrent(this); }

void GLSurface::swapBuffers() {
    if (context_) context_->swapBuffers(this);
}

void GLSurface::releaseContext() {
    if (!context_) return;
    context_->doneCurrent();
    delete context_;
    context_ = nullptr;
}

int GLSurface::pixelWidth() const { return static_cast<int>(width() * devicePixelRatio() + 0.5); }
int GLSurface::pixelHeight() const { return static_cast<int>(height() * devicePixelRatio() + 0.5); }

void GLSurface::runResize() {
    resizedTo_ = QSize(pixelWidth(), pixelHeight());
    handlers_.resize();
}

void GLSurface::exposeEvent(QExposeEvent*) {
    if (!isExposed() || !context_) return;
    // The resize routine runs before the first paint and after any change of size
    // (or pixel ratio) that happened while the window was hidden; it paints itself.
    if (resizedTo_ != QSize(pixelWidth(), pixelHeight())) runResize();
    else handlers_.paint();
}

void GLSurface::resizeEvent(QResizeEvent*) {
    if (isExposed() && context_) runResize();   // otherwise the next expose runs it
}

}  // namespace tivarel
