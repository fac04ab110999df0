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

std::array<double, 2> ProjectToWindow(const EyeFrustum& frustum, const Mat4& modelView, float x,
                                      float y, float z, int w, int h) {
    const std::array<double, 4> point{x, y, z, 1.0};
    std::array<double, 4> eye{};
    for (size_t row = 0; row < 4; ++row)
        for (size_t k = 0; k < 4; ++k) eye[row] += double(modelView[k * 4 + row]) * point[k];
    const double sx = eye[0] + double(frustum.shiftX) * eye[3];
    const double sy = eye[1] + double(frustum.shiftY) * eye[3];
    const double sz = eye[2] + double(frustum.shiftZ) * eye[3];
    const double width = frustum.right - frustum.left;
    const double height = frustum.top - frustum.bottom;
    const double clipX = 2.0 * frustum.nearClip / width * sx + (frustum.right + frustum.left) / width * sz;
    const double clipY = 2.0 * frustum.nearClip / height * sy + (frustum.top + frustum.bottom) / height * sz;
    const double clipW = -sz;
    return {(clipX / clipW + 1.0) / 2.0 * w, (clipY / clipW + 1.0) / 2.0 * h};
}

}  // namespace tivarel
