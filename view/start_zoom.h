#pragma once
// The zoom a map starts at. At zoom 1.0 the start view shows 12 units across the window's
// shorter side at the model origin's depth; a map whose box is more than twice that long
// would show only a few huge triangles of its middle, so it starts zoomed out until the
// whole box is in view. Every other map starts at 1.0 exactly.
#include "mapio/map_model.h"

namespace tivarel {

// Height of the start view at the zero plane, where the model origin lies: the shorter side
// of the window spans twice the frustum's half-width there, whatever its distance.
float StartViewHeight();

// The largest side of the grid's box in the grid frame, (n - 1) * step along each axis.
float LargestBoxSide(const GridParams& g);

// 1.0 when the largest side is at most twice the start view's height. Otherwise the zoom at
// which the sphere about the model origin holding the whole box looks, from the eye, as
// tall as 90 % of the window's shorter side: the box is then in view in every orientation,
// with a margin, whatever the shift of the box from the origin.
float StartZoom(const GridParams& g);

}  // namespace tivarel
