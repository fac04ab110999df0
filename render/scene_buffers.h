#pragma once
// The scene's lines in one vertex buffer object: the meshes, the contour map and the
// cell go to it once per rebuild, and every frame draws them from it with the same
// primitives, order, colours and widths as a display list of them would replay.
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "render/gl.h"
#include <GL/glext.h>

#include "surface/layer_settings.h"

namespace tivarel::render {

struct Scene;

// GL 1.5 entry points, which the GL 1.1 headers and libraries do not give; they are
// looked up by name in the current context.
struct BufferFunctions {
    PFNGLGENBUFFERSPROC genBuffers = nullptr;
    PFNGLDELETEBUFFERSPROC deleteBuffers = nullptr;
    PFNGLBINDBUFFERPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAPROC bufferData = nullptr;
    PFNGLBUFFERSUBDATAPROC bufferSubData = nullptr;
};

using GlFunction = void (*)();
// The context's function of that name, or null.
using GlFunctionLookup = std::function<GlFunction(const char* name)>;

class SceneBuffers {
public:
    // For the current context; null when it has no buffer objects.
    static std::unique_ptr<SceneBuffers> create(const GlFunctionLookup& lookup);
    explicit SceneBuffers(const BufferFunctions& gl);

    // Writes the lines of the scene and the steps that draw them.
    void write(const Scene& scene);
    // Draws the lines as last written.
    void draw() const;
    // Deletes the buffer; its context must be current. It goes with its context anyway.
    void release();

private:
    class Writer;
    using Vertex = std::array<float, 3>;
    // One call of the drawing, in order: a colour, a line width, or a primitive over
    // vertices first .. first + count - 1. A primitive that changes colour on the way
    // has a colour per vertex, at byte `colours` of the buffer.
    struct Step {
        enum class Kind { Colour, Width, Draw } kind;
        Rgb colour{};
        float width = 0.0f;
        GLenum mode = GL_LINES;
        GLint first = 0;
        GLsizei count = 0;
        GLintptr colours = kNoColours;
    };
    static constexpr GLintptr kNoColours = -1;

    BufferFunctions gl_;
    GLuint buffer_ = 0;
    GLsizeiptr capacity_ = 0;   // bytes the buffer holds; it grows, and is reused while big enough
    std::vector<Step> steps_;
    std::vector<Vertex> staging_, stagingColours_;   // on their way to the buffer
};

}  // namespace tivarel::render
