#pragma once
// The program's modes and the input it handles, as types: each is compared as a value
// wherever it matters, and put into words only where a window shows it.
namespace tivarel {

// How the picture reaches the eyes; chosen on the command line and kept for the run.
enum class StereoMode {
    None,         // one central eye
    Hardware,     // the left and right back buffers of a stereo display
    Interlaced,   // the eyes on alternate pixel rows, through a stencil mask
};

// What a right click picks in.
enum class PickMode {
    Surface,   // in the one used layer's surface: the panel's 3D
    Plane,     // in the contour map's plane: the panel's 2D
};

// How a layer's triangles are drawn as lines.
enum class MeshStyle {
    Web,        // spokes from each triangle's centre to its corners
    Triangle,   // each triangle's outline
};

// The axis a forced view looks along.
enum class ViewAxis { X, Y, Z };

// The keys that move the model or end the program by their key code; every other key
// is None here (characters are handled as characters).
enum class Key { None, Left, Up, Right, Down, Escape };

enum class MouseButton { None, Left, Right, Middle };

// Modifier keys held with a mouse button.
struct Modifiers {
    bool shift = false, control = false, alt = false;
    bool shiftOnly() const { return shift && !control && !alt; }
};

}  // namespace tivarel
