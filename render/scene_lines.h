#pragma once
// The scene's lines in drawing order: the layer meshes in either style, the contour map
// with its frame, the cell. They go to a `Lines` target with five calls,
//   colour(rgb)  width(w)  begin(mode)  vertex(x, y, z)  end()
// which either draws them at once (ImmediateLines, inside the scene list) or keeps
// them for the scene's buffer object (SceneBuffers). A colour given inside a primitive
// holds for the vertices after it; such a primitive gives one before its first vertex.
#include <array>
#include <cstdint>

#include "render/gl.h"
#include "render/scene.h"

namespace tivarel::render {

struct ImmediateLines {
    void colour(const Rgb& c) { glColor3f(c[0], c[1], c[2]); }
    void width(float w) { glLineWidth(w); }
    void begin(GLenum mode) { glBegin(mode); }
    void vertex(float x, float y, float z) { glVertex3f(x, y, z); }
    void end() { glEnd(); }
};

template <typename Lines, typename Point>
void Vertex(Lines& out, const Point& p) {
    out.vertex(p.x, p.y, p.z);
}

// The used layers' triangles, each turned into line segments by `segments`. One
// primitive per layer: separate segments rasterise exactly like the strips and loops
// they stand for.
template <typename Lines, typename Segments>
void DrawLayers(const Scene& scene, Lines& out, Segments segments) {
    out.width(LineWidthFor(scene.stereoMode));
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        if (!scene.layers.layerUsed(layer)) continue;
        out.colour(scene.layers.meshColour(layer));
        out.begin(GL_LINES);
        for (int32_t n = 1; n <= scene.triangles.count(layer); ++n) segments(scene.triangles.at(layer, n).point);
        out.end();
    }
}

// Web style: three spokes from the centre to the corners: p0-c-p1, c-p2.
template <typename Lines>
void WebGrid(const Scene& scene, Lines& out) {
    DrawLayers(scene, out, [&out](const std::array<Vec3, 3>& p) {
        const Vec3 c = TriangleCenter(p[0], p[1], p[2]);
        Vertex(out, p[0]); Vertex(out, c);
        Vertex(out, c); Vertex(out, p[1]);
        Vertex(out, c); Vertex(out, p[2]);
    });
}

// Triangle style: the closed outline p0-p1-p2.
template <typename Lines>
void TriangleGrid(const Scene& scene, Lines& out) {
    DrawLayers(scene, out, [&out](const std::array<Vec3, 3>& p) {
        Vertex(out, p[0]); Vertex(out, p[1]);
        Vertex(out, p[1]); Vertex(out, p[2]);
        Vertex(out, p[2]); Vertex(out, p[0]);
    });
}

template <typename Lines>
void DrawCell(const DensityMap& map, Lines& out) {
    const auto& k = map.cellCorners;
    out.colour({0.5f, 0.5f, 0.5f});
    out.width(2.0f);
    out.begin(GL_LINE_LOOP);
    for (size_t i = 0; i < 4; ++i) Vertex(out, k[i]);
    out.end();
    out.begin(GL_LINE_LOOP);
    for (size_t i = 4; i < 8; ++i) Vertex(out, k[i]);
    out.end();
    out.begin(GL_LINES);
    for (size_t i = 0; i < 4; ++i) {
        Vertex(out, k[i]);
        Vertex(out, k[i + 4]);
    }
    out.end();
}

// The contour segments of the three layers in one primitive, then the frame of the map
// in that plane.
template <typename Lines>
void ContourMap(const Scene& scene, Lines& out) {
    out.width(3.0f);
    out.begin(GL_LINES);
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        out.colour(scene.layers.contourColour(layer));
        for (int32_t n = 1; n <= scene.segments.count(layer); ++n) {
            Vertex(out, scene.segments.at(layer, n).end1);
            Vertex(out, scene.segments.at(layer, n).end2);
        }
    }
    out.end();
    const SectionPlane p = SectionPlaneOf(scene.map.gridParams, scene.layers.zSection);
    out.colour({0.7f, 0.7f, 0.7f});
    out.width(2.0f);
    out.begin(GL_LINE_LOOP);
    out.vertex(p.x0, p.y0, p.z);
    out.vertex(p.x1, p.y0, p.z);
    out.vertex(p.x1, p.y1, p.z);
    out.vertex(p.x0, p.y1, p.z);
    out.end();
}

// Everything drawn after the lighting is off.
template <typename Lines>
void DrawSceneLines(const Scene& scene, Lines& out) {
    if (scene.state.meshStyle == MeshStyle::Web) WebGrid(scene, out);
    else TriangleGrid(scene, out);
    if (scene.layers.showContourMap) ContourMap(scene, out);
    if (scene.state.showCell) DrawCell(scene.map, out);
}

}  // namespace tivarel::render
