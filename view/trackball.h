#pragma once
// View maths: the virtual trackball, quaternion and vector operations, the
// cofactor inverse that gives the screen axes in model space, and the view state
// with the navigation steps that mouse and keyboard handlers apply to it.
// Stored values are float32; intermediates are carried in double where that
// only removes rounding, and every named quantity is rounded back to float.
#include <array>
#include <cstdint>
#include "geometry/geometry.h"
#include "view/modes.h"

namespace tivarel {


inline constexpr double kTrackballRadius = 0.8;
inline constexpr double kSphereSwitchFactor = 0.707106781186548;
inline constexpr double kHyperbolaDivisor = 1.4142135623731;
inline constexpr double kAngleDivisor = 1.6;
inline constexpr double kPi = 3.14159265358979;

// ---------------------------------------------------------------- vectors
void Vec3Set(Vec4& v, float x, float y, float z);
void Vec3Sub(const Vec4& a, const Vec4& b, Vec4& dst);  // dst = a - b
void Vec3Copy(const Vec4& src, Vec4& dst);              // all four elements
void Vec3Cross(const Vec4& a, const Vec4& b, Vec4& dst);  // dst = a x b
double Vec3Length(const Vec4& v);
void Vec3Scale(Vec4& v, double s);
void Vec3Normalize(Vec4& v);  // a zero vector stays zero
double Vec3Dot(const Vec4& a, const Vec4& b);
void Vec3Add(const Vec4& a, const Vec4& b, Vec4& dst);

// ---------------------------------------------------------------- trackball and quaternions
// Rotation carrying window point 1 to window point 2 (normalised units -1..1).
void TrackballQuat(Quat& q, float p1x, float p1y, float p2x, float p2y);
// Height above (x, y) of the sphere of radius r joined at 45 degrees by a hyperbolic sheet.
float TrackballDepth(float r, float x, float y);
// Normalises the axis a in place; a zero axis gives the identity rotation.
void QuatFromAxisAngle(Vec4& a, float phi, Quat& q);
// dest = q2's rotation followed by q1's, renormalised; dest may be q1 or q2.
void QuatCompose(const Quat& q1, const Quat& q2, Quat& dest);
// A zero quaternion becomes the identity.
void QuatNormalize(Quat& q);
void QuatToMatrix(Mat4& m, const Quat& q);
double ArcSine(double x);

// Cofactor matrix of a's upper-left 3x3 block over its determinant (the
// transpose of the block's inverse) into elements 0-2, 4-6, 8-10 of b; the
// others are left alone. A singular block writes the identity block.
void CofactorInverse(const Mat4& a, Mat4& b);

// ---------------------------------------------------------------- view state and navigation
struct ViewState {
    Quat viewQuat{0.0f, 0.0f, 0.0f, 1.0f};
    Quat dragQuat{};
    std::array<float, 3> modelShift{};
    float zoomScale = 1.0f;
    float startZoom = 1.0f;   // what a reset and "c" set zoomScale to: 1.0 but for large maps
    bool isSpinning = false, isRotating = false, isZooming = false;
    int16_t lastX = 0, lastY = 0;
};

inline constexpr double kKeyStep = 0.3;

// The view part of ResetView: identity orientation, no shift, the start zoom, idle.
void ResetViewState(ViewState& view);
// One spin increment: the last drag rotation applied after the current orientation.
void SpinStep(ViewState& view);
// Only the left button changes the state (the right one picks, in the caller); with
// Shift alone held it zooms, otherwise it turns.
void MouseDown(ViewState& view, MouseButton button, Modifiers modifiers, float x, float y);
void MouseUp(ViewState& view, MouseButton button);
// Applies a zoom or rotate drag step; true when the window must repaint now
// (zoom); a rotate step is painted by the following spin steps.
bool MouseMove(ViewState& view, float x, float y, int width, int height);
// Arrow keys move the model along the screen axes; other keys only stop the spin.
void KeyDownMove(ViewState& view, Key key);
// "a"/"s" move along the depth axis, "c" clears the shift and sets the start zoom; every
// character stops the spin.
void KeyPressMove(ViewState& view, char character);
// Looks along the axis; clears the drag states, the spin and the shift; the zoom stays.
void SetViewQuat(ViewState& view, ViewAxis axis);
// The model-view matrix R * T * S: the rotation, then modelShift, then zoomScale; the
// frame loads it and the POV-Ray scene writes it.
Mat4 ModelViewMatrix(const ViewState& view);

}  // namespace tivarel
