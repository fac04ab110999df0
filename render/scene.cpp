#include "render/scene.h"

#include "render/atoms.h"
#include "render/gl.h"
#include "render/scene_buffers.h"
#include "render/scene_lines.h"

namespace tivarel::render {

namespace {
constexpr GLuint kSceneList = 1;

// The lit solids: the marker, the peaks, the atoms and bonds; the lighting is off after them.
void DrawSolids(const Scene& scene) {
    glEnable(GL_LIGHTING);
    if (scene.state.showMarker) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glPushMatrix();
        glTranslatef(scene.pickPoint.x, scene.pickPoint.y, scene.pickPoint.z);
        DrawCube(0.3);
        glPopMatrix();
    }
    if (!scene.peaks.empty()) DrawPeaks(scene.peaks);
    if (scene.state.showAtoms) DrawAtomsAndBonds(scene.map, scene.bonds, scene.stereoMode);
    glDisable(GL_LIGHTING);
}
}  // namespace

float LineWidthFor(StereoMode stereoMode) { return stereoMode == StereoMode::Interlaced ? 2.0f : 1.0f; }

void DrawBox(double sx, double sy, double sz) {
    const double x = sx, y = sy, z = sz;
    struct Face {
        GLfloat n[3];
        double c[4][3];
    };
    const Face faces[6] = {
        {{0, 0, -1}, {{0, 0, 0}, {x, 0, 0}, {x, y, 0}, {0, y, 0}}},
        {{0, 0, 1}, {{0, 0, z}, {x, 0, z}, {x, y, z}, {0, y, z}}},
        {{0, 1, 0}, {{0, y, 0}, {x, y, 0}, {x, y, z}, {0, y, z}}},
        {{0, -1, 0}, {{0, 0, 0}, {x, 0, 0}, {x, 0, z}, {0, 0, z}}},
        {{1, 0, 0}, {{x, 0, 0}, {x, y, 0}, {x, y, z}, {x, 0, z}}},
        {{-1, 0, 0}, {{0, 0, 0}, {0, y, 0}, {0, y, z}, {0, 0, z}}},
    };
    glBegin(GL_QUADS);
    for (const Face& f : faces) {
        glNormal3fv(f.n);
        for (const auto& c : f.c) glVertex3d(c[0], c[1], c[2]);
    }
    glEnd();
}

void DrawCenteredBox(double sx, double sy, double sz) {
    const float hx = static_cast<float>(sx / 2), hy = static_cast<float>(sy / 2), hz = static_cast<float>(sz / 2);
    glTranslatef(-hx, -hy, -hz);
    DrawBox(sx, sy, sz);
    glTranslatef(hx, hy, hz);
}

void DrawCube(double size) { DrawCenteredBox(size, size, size); }

SceneDrawing::SceneDrawing(const GlFunctionLookup& lookup) : buffers_(SceneBuffers::create(lookup)) {}

void SceneDrawing::draw(const Scene& scene, uint64_t revision) {
    if (builtRevision_ == revision) {
        glCallList(kSceneList);
        if (buffers_) buffers_->draw();
        return;
    }
    glNewList(kSceneList, GL_COMPILE_AND_EXECUTE);
    DrawSolids(scene);
    if (!buffers_) {
        ImmediateLines lines;
        DrawSceneLines(scene, lines);
    }
    glEndList();
    if (buffers_) {
        buffers_->write(scene);
        buffers_->draw();
    }
    builtRevision_ = revision;
}

void SceneDrawing::release() {
    if (buffers_) buffers_->release();
    buffers_.reset();
    builtRevision_.reset();
}

}  // namespace tivarel::render
