#pragma once
// One frame for each stereo mode, the eye projections, the model-view matrix,
// the fixed render state and the interlace stencil mask.
#include <functional>

#include "stereo/frustum.h"
#include "view/trackball.h"

namespace tivarel::render {

void InitDepth();
void InitLighting();

// SetEyeFrustum replaces the projection matrix; MultEyeFrustum multiplies onto it.
void SetEyeFrustum(const EyeFrustum& f);
void MultEyeFrustum(const EyeFrustum& f);
// The projection of one eye; the picking eye's is multiplied onto the pick window.
void SetEyeProjection(Eye eye, float extentX, float extentY);
// Loads the view's model-view matrix; under a zoom GL renormalises the lit normals.
void LoadModelView(const ViewState& view);

// Stencil 1 on pixel rows 0, 2, 4, ... from the bottom, 0 on the others.
void BuildInterlaceMask(int w, int h);

// Draws one frame into the back buffer(s) for the stereo mode, calling `drawScene`
// once per eye.
void DrawFrame(StereoMode stereoMode, float extentX, float extentY, const ViewState& view,
               const std::function<void()>& drawScene);

}  // namespace tivarel::render
