#pragma once
// Small-molecule reflections turned into map coefficients: measured amplitudes with the
// file's own calculated phases, or phased by the structure they belong to. Internal to
// the import.
#include <gemmi/cifdoc.hpp>
#include <gemmi/symmetry.hpp>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/cif_blocks.h"
#include "import/map_coefficients.h"
#include "import/shelx_hkl.h"

namespace tivarel {

// A reflection list as a file gives it.
struct SmallMoleculeData {
    std::vector<std::array<int, 3>> hkl;
    std::vector<double> fo;            // |Fo|, NaN where not measured; empty when nothing is measured
    std::string measured;              // where |Fo| came from: "F_squared_meas"
    std::vector<double> fc, phase;     // the file's own F_calc and phase_calc (degrees); empty when not given
    std::array<double, 6> cell{NAN, NAN, NAN, 90, 90, 90};   // NaN when the file gives none
    const gemmi::SpaceGroup* group = nullptr;                 // none when the file gives none
};

// From a core CIF reflection loop (_refln_index_h ...) and the cell and symmetry of its block.
SmallMoleculeData FromReflectionLoop(gemmi::cif::Block& block, const ReflectionLoop& loop, const std::string& path);
// From a SHELX HKLF 4 list; |Fo| = sqrt(max(F^2, 0)). The cell and symmetry are not in it.
SmallMoleculeData FromShelxHkl(const std::vector<HklLine>& lines);

// The Fo map (or with `choice.difference` the Fo - Fc map) of the data: |Fo| scaled to |Fc|
// by least squares; phased by the file's own F_calc/phase_calc or else by `model`, whose cell
// (within 1 %) and space group must agree with the data's, and which gives them when the
// data does not. Data of F_calc/phase_calc only give the Fc map.
MapCoefficients SmallMoleculeCoefficients(const SmallMoleculeData& data, const std::string& path,
                                          const CoefficientChoice& choice, const std::optional<PhasingModel>& model);

}  // namespace tivarel
