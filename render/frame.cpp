#include "render/frame.h"

#include "render/gl.h"

namespace tivarel::render {

void InitDepth() {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_DITHER);
    glDepthFunc(GL_LESS);
    glClearDepth(1.0);
    glEnable(GL_COLOR_MATERIAL);
}

void InitLighting() {
    const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat shininess[1] = {50.0f};
    // w = 0: a directional light along -Z, set under the identity so it stays with the viewer.
    const GLfloat position[4] = {0.0f, 0.0f, 100.0f, 0.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void MultEyeFrustum(const EyeFrustum& f) {
    glFrustum(f.left, f.right, f.bottom, f.top, f.nearClip, f.farClip);
    glTranslatef(f.shiftX, f.shiftY, f.shiftZ);
}

void SetEyeFrustum(const EyeFrustum& f) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MultEyeFrustum(f);
}

void SetEyeProjection(Eye eye, float extentX, float extentY) {
    const EyeFrustum f = EyeFrustumFor(eye, extentX, extentY);
    if (eye == Eye::CentralPicking) MultEyeFrustum(f);
    else SetEyeFrustum(f);
}

void LoadModelView(const ViewState& view) {
    glMatrixMode(GL_MODELVIEW);
    const Mat4 m = ModelViewMatrix(view);
    glLoadMatrixf(m.data());
    if (view.zoomScale == 1.0f) glDisable(GL_NORMALIZE);
    else glEnable(GL_NORMALIZE);
}

void BuildInterlaceMask(int w, int h) {
    glViewport(0, 0, w, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // An exact pixel grid with each line through its row's pixel centres, so that
    // every rasteriser puts the line for y on pixel row y.
    gluOrtho2D(0.0, w, 0.0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDrawBuffer(GL_BACK);
    glEnable(GL_STENCIL_TEST);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glDisable(GL_DEPTH_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glColor4f(1.0f, 1.0f, 1.0f, 0.0f);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (int y = 0; y <= h; y += 2) {
        // One pixel beyond each side, so that no end rule drops the first or last pixel.
        glVertex2f(-1.0f, static_cast<float>(y) + 0.5f);
        glVertex2f(static_cast<float>(w + 1), static_cast<float>(y) + 0.5f);
    }
    glEnd();
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glFlush();
}

namespace {
void DrawEye(Eye eye, float extentX, float extentY, const ViewState& view,
             const std::function<void()>& drawScene) {
    SetEyeProjection(eye, extentX, extentY);
    LoadModelView(view);
    drawScene();
}
}  // namespace

void DrawFrame(StereoMode stereoMode, float extentX, float extentY, const ViewState& view,
               const std::function<void()>& drawScene) {
    glEnable(GL_DEPTH_TEST);
    switch (stereoMode) {
    case StereoMode::None:
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawEye(Eye::Central, extentX, extentY, view, drawScene);
        break;
    case StereoMode::Hardware:
        glDrawBuffer(GL_BACK_LEFT);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawEye(Eye::Left, extentX, extentY, view, drawScene);
        glDrawBuffer(GL_BACK_RIGHT);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        DrawEye(Eye::Right, extentX, extentY, view, drawScene);
        break;
    case StereoMode::Interlaced:
        glEnable(GL_STENCIL_TEST);
        // The stencil buffer keeps the row mask: clear colour and depth only.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glStencilFunc(GL_NOTEQUAL, 1, 1);
        DrawEye(Eye::Left, extentX, extentY, view, drawScene);
        glStencilFunc(GL_EQUAL, 1, 1);
        DrawEye(Eye::Right, extentX, extentY, view, drawScene);
        break;
    }
    glFlush();
}

}  // namespace tivarel::render
