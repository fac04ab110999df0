#include "render/scene_buffers.h"

#include <cstdio>

#include "render/scene.h"
#include "render/scene_lines.h"

namespace tivarel::render {

namespace {
// Vertices sent to the buffer per call.
constexpr size_t kStagedVertices = size_t{1} << 16;

// Counts the vertices, and those of them that take a colour of their own.
struct CountedLines {
    size_t vertices = 0, coloured = 0;
    bool inside = false, perVertex = false;
    void colour(const Rgb&) { perVertex = perVertex || inside; }
    void width(float) {}
    void begin(GLenum) { inside = true; }
    void vertex(float, float, float) {
        ++vertices;
        if (perVertex) ++coloured;
    }
    void end() { inside = perVertex = false; }
};

// A byte offset into the bound buffer, where GL takes a pointer.
const void* BufferOffset(GLintptr bytes) { return reinterpret_cast<const void*>(bytes); }

// "major.minor..." at the start of GL_VERSION, as one number: 1.5 is 105.
int GlVersion() {
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (!text || std::sscanf(text, "%d.%d", &major, &minor) != 2) return 0;
    return 100 * major + minor;
}
}  // namespace

// Keeps the steps and stages the vertices, sending each full stage to the buffer:
// the positions from its start, the colours of vertices that have their own after them.
class SceneBuffers::Writer {
public:
    Writer(SceneBuffers& to, size_t vertices)
        : to_(to), positions_{0, to.staging_}, colours_{vertices, to.stagingColours_} {}
    ~Writer() {
        flush(positions_);
        flush(colours_);
    }
    // A colour inside a primitive goes to the vertices that follow it; GL keeps the last
    // one as the current colour.
    void colour(const Rgb& c) {
        if (inside_) perVertex_ = true;
        else to_.steps_.push_back({Step::Kind::Colour, c});
        current_ = c;
    }
    void width(float w) { to_.steps_.push_back({Step::Kind::Width, {}, w}); }
    void begin(GLenum mode) {
        inside_ = true;
        mode_ = mode;
        first_ = positions_.count();
        firstColour_ = colours_.count();
    }
    void vertex(float x, float y, float z) {
        add(positions_, {x, y, z});
        if (perVertex_) add(colours_, current_);
    }
    void end() {
        const auto count = static_cast<GLsizei>(positions_.count() - first_);
        const GLintptr colours = perVertex_ ? static_cast<GLintptr>(firstColour_ * sizeof(Vertex)) : kNoColours;
        to_.steps_.push_back({Step::Kind::Draw, {}, 0.0f, mode_, static_cast<GLint>(first_), count, colours});
        if (perVertex_) to_.steps_.push_back({Step::Kind::Colour, current_});
        inside_ = perVertex_ = false;
    }

private:
    // One run of vertices in the buffer, from vertex `base` on.
    struct Run {
        size_t base;
        std::vector<Vertex>& staging;
        size_t written = 0, staged = 0;
        size_t count() const { return base + written + staged; }
    };
    void add(Run& run, const Vertex& v) {
        run.staging[run.staged++] = v;
        if (run.staged == run.staging.size()) flush(run);
    }
    void flush(Run& run) {
        if (run.staged == 0) return;
        to_.gl_.bufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>((run.base + run.written) * sizeof(Vertex)),
                              static_cast<GLsizeiptr>(run.staged * sizeof(Vertex)), run.staging.data());
        run.written += run.staged;
        run.staged = 0;
    }

    SceneBuffers& to_;
    Run positions_, colours_;
    Rgb current_{};
    bool inside_ = false, perVertex_ = false;
    GLenum mode_ = GL_LINES;
    size_t first_ = 0, firstColour_ = 0;
};

std::unique_ptr<SceneBuffers> SceneBuffers::create(const GlFunctionLookup& lookup) {
    if (GlVersion() < 105) return nullptr;
    BufferFunctions gl;
    gl.genBuffers = reinterpret_cast<PFNGLGENBUFFERSPROC>(lookup("glGenBuffers"));
    gl.deleteBuffers = reinterpret_cast<PFNGLDELETEBUFFERSPROC>(lookup("glDeleteBuffers"));
    gl.bindBuffer = reinterpret_cast<PFNGLBINDBUFFERPROC>(lookup("glBindBuffer"));
    gl.bufferData = reinterpret_cast<PFNGLBUFFERDATAPROC>(lookup("glBufferData"));
    gl.bufferSubData = reinterpret_cast<PFNGLBUFFERSUBDATAPROC>(lookup("glBufferSubData"));
    if (!gl.genBuffers || !gl.deleteBuffers || !gl.bindBuffer || !gl.bufferData || !gl.bufferSubData) return nullptr;
    return std::make_unique<SceneBuffers>(gl);
}

SceneBuffers::SceneBuffers(const BufferFunctions& gl)
    : gl_(gl), staging_(kStagedVertices), stagingColours_(kStagedVertices) {
    gl_.genBuffers(1, &buffer_);
}

void SceneBuffers::write(const Scene& scene) {
    CountedLines counted;
    DrawSceneLines(scene, counted);
    const auto bytes = static_cast<GLsizeiptr>((counted.vertices + counted.coloured) * sizeof(Vertex));
    gl_.bindBuffer(GL_ARRAY_BUFFER, buffer_);
    if (bytes > capacity_) {
        gl_.bufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STATIC_DRAW);
        capacity_ = bytes;
    }
    steps_.clear();
    {
        Writer writer(*this, counted.vertices);
        DrawSceneLines(scene, writer);
    }
    gl_.bindBuffer(GL_ARRAY_BUFFER, 0);
}

void SceneBuffers::draw() const {
    gl_.bindBuffer(GL_ARRAY_BUFFER, buffer_);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    for (const Step& step : steps_) {
        if (step.kind == Step::Kind::Colour) glColor3f(step.colour[0], step.colour[1], step.colour[2]);
        if (step.kind == Step::Kind::Width) glLineWidth(step.width);
        if (step.kind != Step::Kind::Draw || step.count == 0) continue;
        if (step.colours == kNoColours) {
            glDrawArrays(step.mode, step.first, step.count);
            continue;
        }
        // Both arrays from the primitive's first vertex.
        glVertexPointer(3, GL_FLOAT, 0, BufferOffset(static_cast<GLintptr>(step.first) * GLintptr{sizeof(Vertex)}));
        glColorPointer(3, GL_FLOAT, 0, BufferOffset(step.colours));
        glEnableClientState(GL_COLOR_ARRAY);
        glDrawArrays(step.mode, 0, step.count);
        glDisableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    gl_.bindBuffer(GL_ARRAY_BUFFER, 0);
}

void SceneBuffers::release() {
    gl_.deleteBuffers(1, &buffer_);
    buffer_ = 0;
    capacity_ = 0;
    steps_.clear();
}

}  // namespace tivarel::render
