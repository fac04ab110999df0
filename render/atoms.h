#pragma once
// Atoms as lit spheres coloured and sized by name, bonds as grey lines, and
// the peaks of the peak list as orange spheres.
#include <array>
#include <span>
#include <string>

#include "mapio/atoms.h"
#include "mapio/map_model.h"
#include "surface/layer_settings.h"
#include "view/modes.h"

class GLUquadric;

namespace tivarel::render {

// Colour and radius by the exact four-character name; grey 0.2 for names not in the table.
Rgb AtomColourOf(const std::string& name);
float AtomRadius(const std::string& name);
// Sets the current drawing colour for an atom of that name.
void AtomColour(const std::string& name);
void DrawSphere(GLUquadric* quadric, float radius, int n);

void DrawAtomsAndBonds(const DensityMap& map, const BondList& bonds, StereoMode stereoMode);
void DrawPeaks(std::span<const Vec3> peaks);

}  // namespace tivarel::render
