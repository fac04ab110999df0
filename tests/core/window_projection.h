#pragma once
// Where GL puts a model point in the window: the view tests' own projection, worked as GL's
// frustum, its shift and a model-view matrix transform a point, in double precision.
#include <array>

#include "geometry/geometry.h"
#include "stereo/frustum.h"

namespace tivarel {

// Window position (pixels, origin bottom left) of model point (x, y, z) in a
// w x h viewport, as OpenGL computes it from the frustum, its shift and modelView.
inline std::array<double, 2> ProjectToWindow(const EyeFrustum& frustum, const Mat4& modelView, float x,
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
