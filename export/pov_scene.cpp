#include "export/pov_scene.h"

#include <cmath>
#include <string_view>

#include "export/number_format.h"

namespace tivarel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "//END OF FILE";
// Shorter cylinders are left out: they would be invisible and upset the ray tracer.
constexpr float kShortestCylinder = 0.0001f;
constexpr std::array<std::string_view, kLayerCount> kLevelColours = {"Level1Color", "Level2Color",
                                                                      "Level3Color"};
// Cell edges as pairs of 1-based corners: bottom face, top face, then the verticals.
constexpr int kCellEdges[12][2] = {{1, 2}, {2, 3}, {3, 4}, {4, 1}, {5, 6}, {6, 7},
                                   {7, 8}, {8, 5}, {1, 5}, {2, 6}, {3, 7}, {4, 8}};

// Length in single precision, as the check against the shortest cylinder needs.
bool LongEnough(const Vec3& a, const Vec3& b) {
    const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) >= kShortestCylinder;
}

class SceneWriter {
public:
    explicit SceneWriter(std::string& out) : out_(out) {}

    void text(std::string_view piece) { out_ += piece; }
    void line(std::string_view piece) {
        out_ += piece;
        out_ += kLineEnd;
    }
    void number(float v) { out_ += FormatFileNumber(v); }
    void pigment(std::string_view colour) {
        text("pigment { color ");
        text(colour);
        line(" }");
    }
    void cylinder(const Vec3& a, const Vec3& b, std::string_view radius) {
        if (!LongEnough(a, b)) return;
        text("cylinder{<");
        point(a);
        text(">,<");
        point(b);
        text(">,");
        text(radius);
        line("}");
    }
    // The label goes in unchanged, trailing blanks included ("C   ").
    void sphere(const AtomRecord& atom) {
        text("sphere {<");
        point(atom.position);
        text(">,AtomRadiusFor");
        text(atom.name);
        text(" pigment { color ColorFor");
        text(atom.name);
        line("}}");
    }

private:
    void point(const Vec3& p) {
        number(p.x);
        text(",");
        number(p.y);
        text(",");
        number(p.z);
    }
    std::string& out_;
};

// Copies the head line by line (any line end) up to its "//END OF FILE" line.
PovHead CopyHead(SceneWriter& w, const std::optional<std::string>& head) {
    if (!head) return PovHead::Missing;
    std::string_view rest = *head;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        const std::string_view text = rest.substr(0, end);
        if (text == kHeadEnd) return PovHead::Copied;
        w.line(text);
        if (end == std::string_view::npos) break;
        const bool crlf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
        rest.remove_prefix(end + (crlf ? 2 : 1));
    }
    return PovHead::NoEndLine;
}

// Bonds name their atoms by 1-based number.
Vec3 AtomPoint(const PovScene& s, int number) {
    return s.map.atoms.at(static_cast<size_t>(number - 1)).position;
}

void WriteAtomsAndBonds(SceneWriter& w, const PovScene& s) {
    for (const AtomRecord& atom : s.map.atoms) w.sphere(atom);
    w.line("union {");
    for (const Bond& bond : s.bonds)
        w.cylinder(AtomPoint(s, bond.first), AtomPoint(s, bond.second), "bondcylRadius");
    w.pigment("Gray");
    w.line("}");
}

// Web style: spokes from the centre to the corners; triangle style: the three edges.
void WriteTriangle(SceneWriter& w, const TriangleRecord& t, MeshStyle meshStyle) {
    const Vec3& a = t.point[0];
    const Vec3& b = t.point[1];
    const Vec3& c = t.point[2];
    if (meshStyle == MeshStyle::Web) {
        const Vec3 m = TriangleCenter(a, b, c);
        w.cylinder(a, m, "cylRadius");
        w.cylinder(m, b, "cylRadius");
        w.cylinder(m, c, "cylRadius");
    } else {
        w.cylinder(a, b, "cylRadius");
        w.cylinder(b, c, "cylRadius");
        w.cylinder(c, a, "cylRadius");
    }
}

void WriteSurfaces(SceneWriter& w, const PovScene& s) {
    for (int layer = 1; layer <= kLayerCount; ++layer) {
        if (!s.layers.layerUsed(layer)) continue;
        const size_t i = static_cast<size_t>(layer - 1);
        w.line("union {");
        for (const TriangleRecord& t : s.triangles[i]) WriteTriangle(w, t, s.state.meshStyle);
        w.pigment(kLevelColours[i]);
        w.line("}");
    }
}

// The outline of the contour map at the height of its plane.
void WriteContourFrame(SceneWriter& w, const GridParams& g, int zSection) {
    const SectionPlane p = SectionPlaneOf(g, zSection);
    const Vec3 corners[4] = {{p.x0, p.y0, p.z}, {p.x1, p.y0, p.z}, {p.x1, p.y1, p.z}, {p.x0, p.y1, p.z}};
    w.line("union {");
    for (size_t k = 0; k < 4; ++k) w.cylinder(corners[k], corners[(k + 1) % 4], "cylRadius");
    w.pigment("Gray40");
    w.line("}");
}

// Contours of all three layers, whether their surfaces are used or not, then the frame.
void WriteContourMap(SceneWriter& w, const PovScene& s) {
    for (size_t i = 0; i < kLayerCount; ++i) {
        w.line("union {");
        for (const SegmentRecord& seg : s.segments[i]) w.cylinder(seg.end1, seg.end2, "cylRadius");
        w.pigment(kLevelColours[i]);
        w.line("}");
    }
    WriteContourFrame(w, s.map.gridParams, s.layers.zSection);
}

void WriteCell(SceneWriter& w, const std::array<Vec3, 8>& corners) {
    w.line("union {");
    for (const auto& edge : kCellEdges)
        w.cylinder(corners[static_cast<size_t>(edge[0] - 1)], corners[static_cast<size_t>(edge[1] - 1)], "cylRadius");
    w.pigment("Gray80");
    w.line("}");
}

// The first three numbers of each column (m13..m15 the translation); the fourth row is not written.
void WriteMatrix(SceneWriter& w, const std::array<float, 16>& m) {
    w.line("matrix <");
    for (size_t column = 0; column < 4; ++column) {
        for (size_t row = 0; row < 3; ++row) {
            w.number(m[column * 4 + row]);
            if (column < 3 || row < 2) w.text(" , ");
        }
        w.line("");
    }
    w.line(">");
}

}  // namespace

PovSceneResult PovSceneText(const PovScene& s, const std::optional<std::string>& headText) {
    PovSceneResult result;
    SceneWriter w(result.text);
    w.line("// Original ZOL map filename:");
    w.line("// " + s.state.mapFileName);
    result.head = CopyHead(w, headText);
    w.line("union {");   // outer: the mirror
    w.line("union {");   // inner: the view
    if (s.state.showAtoms) WriteAtomsAndBonds(w, s);
    WriteSurfaces(w, s);
    if (s.layers.showContourMap) WriteContourMap(w, s);
    if (s.state.showCell) WriteCell(w, s.map.cellCorners);
    WriteMatrix(w, s.modelView);
    w.line("}");
    w.line("scale <1,1,-1>");
    w.line("}");
    return result;
}

}  // namespace tivarel
