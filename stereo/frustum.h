#pragma once
// The off-axis projection of each eye and the window extents, without GL: the render
// layer hands these numbers to glFrustum and glTranslatef.
#include <utility>

namespace tivarel {

// The eye a projection is set up for. Picking uses the central eye's frustum multiplied
// onto the pick window instead of replacing the projection.
enum class Eye { Central, Left, Right, CentralPicking };

// One eye's frustum (handed to glFrustum as doubles) and the shift applied after it.
struct EyeFrustum {
    double left, right, bottom, top, nearClip, farClip;
    float shiftX, shiftY, shiftZ;
};

// Projection constants of SetEyeProjection.
inline constexpr float kViewHalfWidth = 6.0f;
inline constexpr float kNearValue = 15.0f;
inline constexpr float kFarValue = -15.0f;
inline constexpr float kZeroPlane = 0.0f;
inline constexpr float kViewerDistance = 22.5f;
inline constexpr float kEyeOffset = 0.31f;

// The arithmetic of SetEyeFrustum / MultEyeFrustum, in float32 throughout.
// nearV and farV are positions from the zero plane towards the viewer.
EyeFrustum ComputeEyeFrustum(float left, float right, float bottom, float top, float nearV,
                             float farV, float zeroPlane, float distance, float eyeOffset);
// The frustum of an eye: the central ones look from the middle, the left and right
// ones from kEyeOffset to that side.
EyeFrustum EyeFrustumFor(Eye eye, float extentX, float extentY);
// (extentX, extentY) for a window of w x h pixels: the shorter side spans -6..6.
std::pair<float, float> WindowExtents(int w, int h);

}  // namespace tivarel
