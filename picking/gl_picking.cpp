#include "picking/gl_picking.h"

#include <cmath>

#include "render/frame.h"
#include "render/gl.h"

namespace tivarel::picking {

namespace {
// Enters selection mode with a 1 x 1 pixel pick window at (X, Y) (origin top
// left) under the central eye's projection and the current model view.
void BeginSelection(float X, float Y, const PickCamera& camera, std::vector<GLuint>& buffer) {
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    glSelectBuffer(kSelectBufferSize, buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(X, static_cast<double>(vp[3]) - Y, 1.0, 1.0, vp);
    render::SetEyeProjection(Eye::CentralPicking, camera.extentX, camera.extentY);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    render::LoadModelView(camera.view);
}

// Leaves selection mode; returns the hit count (-1 when the buffer overflowed).
int EndSelection() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glFlush();
    return glRenderMode(GL_RENDER);
}
}  // namespace

void DrawPickGrid(float xmin, float xmax, float ymin, float ymax, float z, int n, CellCentres& table) {
    const float sx = (xmax - xmin) / static_cast<float>(n);
    const float sy = (ymax - ymin) / static_cast<float>(n);
    // A map one point wide has no area to pick in (and a zero step would never end).
    if (!(sx > 0.0f) || !(sy > 0.0f)) return;
    // The squares are counted as well as stepped: where a step is lost in the
    // coordinates' precision (x + sx == x) or the range is endless, the count ends it.
    const int perAxis = n + 1;
    int k = 0;
    float x = xmin;
    for (int column = 0; column < perAxis && x <= xmax; ++column, x += sx) {
        float y = ymin;
        for (int row = 0; row < perAxis && y <= ymax; ++row, y += sy) {
            ++k;
            glLoadName(static_cast<GLuint>(k));
            glBegin(GL_POLYGON);
            glVertex3f(x, y, z);
            glVertex3f(x + sx, y, z);
            glVertex3f(x + sx, y + sy, z);
            glVertex3f(x, y + sy, z);
            glEnd();
            table[static_cast<size_t>(k)] = {x + sx / 2.0f, y + sy / 2.0f};
        }
    }
}

int Select2D(float X, float Y, float xmin, float xmax, float ymin, float ymax, float z,
             const PickCamera& camera, Vec3& point) {
    CellCentres table(kMaxPickSquares + 1, {0.0f, 0.0f});
    std::vector<GLuint> buffer(kSelectBufferSize + 1, 0);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_DEPTH_TEST);
    BeginSelection(X, Y, camera, buffer);
    DrawPickGrid(xmin, xmax, ymin, ymax, z, kPickGridSquares, table);
    const int hits = EndSelection();
    // The first hit record (count, z-min, z-max, name) is the square drawn first.
    const GLuint name = buffer[3];
    const auto& centre = table[name <= kMaxPickSquares ? name : 0];
    point = {centre[0], centre[1], z};
    return hits;
}

bool Pick2D(float X, float Y, float xmin, float xmax, float ymin, float ymax, float z,
            const PickCamera& camera, Vec3& point) {
    const int hits = Select2D(X, Y, xmin, xmax, ymin, ymax, z, camera, point);
    return hits >= 1 && hits <= 4;
}

void DrawPickTriangles(const TriangleStore& store, int layer) {
    const int32_t n = store.count(layer);
    for (int32_t k = 1; k <= n; ++k) {
        const auto& p = store.at(layer, k).point;
        glLoadName(static_cast<GLuint>(k));
        glBegin(GL_TRIANGLES);
        for (const Vec3& v : p) glVertex3f(v.x, v.y, v.z);
        glEnd();
    }
}

int Select3D(float X, float Y, const TriangleStore& store, int layer, const PickCamera& camera,
             std::array<int32_t, 2>& names) {
    std::vector<GLuint> buffer(kSelectBufferSize + 1, 0);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_DEPTH_TEST);
    BeginSelection(X, Y, camera, buffer);
    DrawPickTriangles(store, layer);
    const int hits = EndSelection();
    if (hits == 2) names = {static_cast<int32_t>(buffer[3]), static_cast<int32_t>(buffer[7])};
    return hits;
}

Pick3DResult Pick3D(float X, float Y, const TriangleStore& store, const std::array<bool, 3>& layerUsed,
                    const PickCamera& camera, Vec3& point) {
    int used = 0, layer = 0;
    for (int l = 1; l <= 3; ++l)
        if (layerUsed[static_cast<size_t>(l - 1)]) {
            ++used;
            layer = l;
        }
    if (used != 1) return Pick3DResult::NotOneLayer;
    std::array<int32_t, 2> names{};
    if (Select3D(X, Y, store, layer, camera, names) != 2) return Pick3DResult::NoPick;
    for (int32_t name : names)
        if (name < 1 || name > store.count(layer)) return Pick3DResult::NoPick;
    const auto& t1 = store.at(layer, names[0]).point;
    const auto& t2 = store.at(layer, names[1]).point;
    for (int a = 0; a < 3; ++a) {
        auto coord = [a](const Vec3& p) { return a == 0 ? p.x : (a == 1 ? p.y : p.z); };
        const float c2 = (coord(t2[0]) + coord(t2[1]) + coord(t2[2])) / 3.0f;
        const float c1 = (coord(t1[0]) + coord(t1[1]) + coord(t1[2])) / 3.0f;
        point[a] = (c2 + c1) / 2.0f;
    }
    return Pick3DResult::Found;
}

}  // namespace tivarel::picking
