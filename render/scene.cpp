#include "render/scene.h"

#include "render/atoms.h"
#include "render/gl.h"

namespace tivarel::render {

namespace {
constexpr GLuint kSceneList = 1;
int compileCount = 0;

void Vertex(const Point3& p) { glVertex3f(p.x, p.y, p.z); }
void Vertex(const Vec3f& p) { glVertex3f(p.x, p.y, p.z); }

// The used layers' triangles, each turned into line segments by `segments`.
template <typename Segments>
void DrawLayers(const Scene& scene, Segments segments) {
    glLineWidth(LineWidthFor(scene.state));
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        if (!scene.layers.layerUsed(layer)) continue;
        const Rgb& c = scene.layers.meshColour(layer);
        glColor3f(c[0], c[1], c[2]);
        // One primitive per layer: separate segments rasterise exactly like the
        // strips and loops they stand for, and compile far faster.
        glBegin(GL_LINES);
        for (int32_t n = 1; n <= scene.triangles.count(layer); ++n) segments(scene.triangles.at(layer, n).point);
        glEnd();
    }
}
}  // namespace

float LineWidthFor(const ProgramState& state) { return state.stereoMode == "StereoInterlaced" ? 2.0f : 1.0f; }

void SpiderGrid(const Scene& scene) {
    // Web style: three spokes from the centre to the corners: p0-c-p1, c-p2.
    DrawLayers(scene, [](const std::array<Point3, 3>& p) {
        const Point3 c = TriangleCenter(p[0], p[1], p[2]);
        Vertex(p[0]); Vertex(c);
        Vertex(c); Vertex(p[1]);
        Vertex(c); Vertex(p[2]);
    });
}

void TriangleGrid(const Scene& scene) {
    // Triangle style: the closed outline p0-p1-p2.
    DrawLayers(scene, [](const std::array<Point3, 3>& p) {
        Vertex(p[0]); Vertex(p[1]);
        Vertex(p[1]); Vertex(p[2]);
        Vertex(p[2]); Vertex(p[0]);
    });
}

void DrawCell(const DensityMap& map) {
    const auto& k = map.cellCorners;
    glColor3f(0.5f, 0.5f, 0.5f);
    glLineWidth(2.0f);
    glBegin(GL_LINE_LOOP);
    for (size_t i = 0; i < 4; ++i) Vertex(k[i]);
    glEnd();
    glBegin(GL_LINE_LOOP);
    for (size_t i = 4; i < 8; ++i) Vertex(k[i]);
    glEnd();
    glBegin(GL_LINES);
    for (size_t i = 0; i < 4; ++i) {
        Vertex(k[i]);
        Vertex(k[i + 4]);
    }
    glEnd();
}

void ContourMap(const Scene& scene) {
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        const Rgb& c = scene.layers.contourColour(layer);
        glColor3f(c[0], c[1], c[2]);
        for (int32_t n = 1; n <= scene.segments.count(layer); ++n) {
            Vertex(scene.segments.at(layer, n).end1);
            Vertex(scene.segments.at(layer, n).end2);
        }
    }
    glEnd();
    const GridParams& g = scene.map.gridParams;
    const float zp = static_cast<float>(scene.layers.zSection - 1) * g.dz() + g.z0();
    const float xb = static_cast<float>(g.nx() - 1) * g.dx() + g.x0();
    const float yb = static_cast<float>(g.ny() - 1) * g.dy() + g.y0();
    glColor3f(0.7f, 0.7f, 0.7f);
    glLineWidth(2.0f);
    glBegin(GL_LINE_LOOP);
    glVertex3f(g.x0(), g.y0(), zp);
    glVertex3f(xb, g.y0(), zp);
    glVertex3f(xb, yb, zp);
    glVertex3f(g.x0(), yb, zp);
    glEnd();
}

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

int ListCompileCount() { return compileCount; }

void DrawScene(const Scene& scene, uint8_t& listValid) {
    if (listValid == 1) {
        glCallList(kSceneList);
        return;
    }
    ++compileCount;
    glNewList(kSceneList, GL_COMPILE_AND_EXECUTE);
    // Solid objects, lit.
    glEnable(GL_LIGHTING);
    if (scene.state.showMarker) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glPushMatrix();
        glTranslatef(scene.pickPoint.x, scene.pickPoint.y, scene.pickPoint.z);
        DrawCube(0.3);
        glPopMatrix();
    }
    if (scene.peakCount > 0) DrawPeaks(scene.peaks, scene.peakCount);
    if (scene.state.showAtoms) DrawAtomsAndBonds(scene.map, scene.bonds, scene.state);
    // Lines, unlit.
    glDisable(GL_LIGHTING);
    if (scene.state.meshStyle == 1) SpiderGrid(scene);
    else if (scene.state.meshStyle == 2) TriangleGrid(scene);
    if (scene.layers.showContourMap) ContourMap(scene);
    if (scene.state.showCell) DrawCell(scene.map);
    glEndList();
    listValid = 1;
}

}  // namespace tivarel::render
