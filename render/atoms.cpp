#include "render/atoms.h"

#include <memory>

#include "render/gl.h"
#include "render/scene.h"

namespace tivarel::render {

namespace {
struct AtomLook {
    const char* name;
    Rgb colour;
    float radius;
};

constexpr AtomLook kAtomLooks[] = {
    {"H   ", {0.6f, 0.6f, 1.0f}, 0.1f},  {"C   ", {0.7f, 0.7f, 0.7f}, 0.18f},
    {"N   ", {0.3f, 0.3f, 1.0f}, 0.2f},  {"O   ", {1.0f, 0.1f, 0.1f}, 0.2f},
    {"S   ", {0.8f, 0.8f, 0.2f}, 0.2f},  {"F   ", {0.6f, 0.6f, 1.0f}, 0.2f},
    {"Q   ", {0.9f, 0.5f, 0.1f}, 0.15f},
};
constexpr AtomLook kOtherAtom = {"", {0.4f, 0.4f, 0.4f}, 0.2f};

const AtomLook& LookOf(const std::string& name) {
    for (const AtomLook& look : kAtomLooks)
        if (name == look.name) return look;
    return kOtherAtom;
}

// A filled quadric with smooth outward normals, released when the drawing ends.
using Quadric = std::unique_ptr<GLUquadric, decltype(&gluDeleteQuadric)>;
Quadric MakeQuadric() {
    Quadric q(gluNewQuadric(), &gluDeleteQuadric);
    gluQuadricDrawStyle(q.get(), GLU_FILL);
    gluQuadricNormals(q.get(), GLU_SMOOTH);
    gluQuadricOrientation(q.get(), GLU_OUTSIDE);
    return q;
}

void Vertex(const Vec3& p) { glVertex3f(p.x, p.y, p.z); }
}  // namespace

Rgb AtomColourOf(const std::string& name) { return LookOf(name).colour; }
float AtomRadius(const std::string& name) { return LookOf(name).radius; }

void AtomColour(const std::string& name) {
    const Rgb c = AtomColourOf(name);
    glColor3f(c[0], c[1], c[2]);
}

void DrawSphere(GLUquadric* quadric, float radius, int n) { gluSphere(quadric, radius, n, n); }

void DrawAtomsAndBonds(const DensityMap& map, const BondList& bonds, StereoMode stereoMode) {
    const Quadric quadric = MakeQuadric();
    for (const AtomRecord& atom : map.atoms) {
        glPushMatrix();
        AtomColour(atom.name);
        glTranslatef(atom.position.x, atom.position.y, atom.position.z);
        DrawSphere(quadric.get(), AtomRadius(atom.name), 8);
        glPopMatrix();
    }
    glColor3f(0.7f, 0.7f, 0.7f);
    glDisable(GL_LIGHTING);
    glLineWidth(LineWidthFor(stereoMode));
    glBegin(GL_LINES);
    for (const Bond& bond : bonds.bonds) {
        Vertex(map.atoms[static_cast<size_t>(bond.first - 1)].position);
        Vertex(map.atoms[static_cast<size_t>(bond.second - 1)].position);
    }
    glEnd();
}

void DrawPeaks(std::span<const Vec3> peaks) {
    const Quadric quadric = MakeQuadric();
    for (const Vec3& peak : peaks) {
        glPushMatrix();
        glColor3f(1.0f, 0.6f, 0.1f);
        glTranslatef(peak.x, peak.y, peak.z);
        DrawSphere(quadric.get(), 0.25f, 8);
        glPopMatrix();
    }
}

}  // namespace tivarel::render
