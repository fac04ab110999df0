#include "stereo/frustum.h"

namespace tivarel {

EyeFrustum ComputeEyeFrustum(float left, float right, float bottom, float top, float nearV,
                             float farV, float zeroPlane, float distance, float eyeOffset) {
    const float dx = right - left;
    const float dy = top - bottom;
    const float xmid = (right + left) / 2.0f;
    const float ymid = (top + bottom) / 2.0f;
    const float clipNear = zeroPlane + distance - nearV;
    const float clipFar = zeroPlane + distance - farV;
    // The view window at the zero plane, scaled back to the near clip plane and
    // shifted against the eye so both eyes frame the same zero-plane rectangle.
    const float ratio = clipNear / distance;
    const float topW = ratio * dy / 2.0f;
    const float rightW = (dx / 2.0f - eyeOffset) * ratio;
    const float leftW = (-dx / 2.0f - eyeOffset) * ratio;
    return EyeFrustum{leftW, rightW, -topW, topW, clipNear, clipFar,
                      -xmid - eyeOffset, -ymid, -zeroPlane - distance};
}

EyeFrustum EyeFrustumFor(Eye eye, float extentX, float extentY) {
    const float offset = eye == Eye::Left ? -kEyeOffset : eye == Eye::Right ? kEyeOffset : 0.0f;
    const float halfX = kViewHalfWidth * extentX;
    const float halfY = kViewHalfWidth * extentY;
    return ComputeEyeFrustum(-halfX, halfX, -halfY, halfY, kNearValue, kFarValue, kZeroPlane,
                             kViewerDistance, offset);
}

std::pair<float, float> WindowExtents(int w, int h) {
    if (w == 0 || h == 0) w = h = 1;
    float extentX = 1.0f;
    float extentY = 1.0f;
    const double r = double(h) / w;
    if (r > 1.0) extentY = static_cast<float>(r);
    if (r < 1.0) extentX = static_cast<float>(double(w) / h);
    return {extentX, extentY};
}

}  // namespace tivarel
