#pragma once
// Map coefficients read from reflection files (MTZ, structure-factor mmCIF and
// small-molecule reflection CIFs) and the density map they give through an FFT.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/map_density.h"

namespace tivarel {

// Which coefficients to take from a file: the default map, the difference map, or a
// pair named by the user (labels of MTZ columns, tags of a CIF's reflection loop).
struct CoefficientChoice {
    bool difference = false;
    std::string amplitude, phase;   // both empty unless the user named them
};

// The structure that phases small-molecule reflections measured without phases.
struct PhasingModel {
    std::string path;
    std::string_view bytes;
};

struct Reflection {
    std::array<int, 3> hkl{};
    float amplitude = 0.0f;
    float phase = 0.0f;   // degrees
};

struct MapCoefficients {
    std::array<double, 6> cell{};   // a, b, c in Angstrom; alpha, beta, gamma in degrees
    std::string spaceGroup;         // as gemmi names it (extended Hermann-Mauguin)
    std::vector<Reflection> reflections;   // those with both numbers given
    std::string used;                      // what was taken, for the summary
    // Small-molecule data phased here: the factor that put |Fo| on the scale of |Fc|
    // (least squares) and R1 = sum ||Fo| - |Fc|| / sum |Fo| after scaling.
    std::optional<double> scale, r1;
    bool phasedByInput = false;   // a structure's CIF phased by its own atoms
};

// Most a Miller index may be; beyond it a file is taken as damaged.
inline constexpr int kMaxMillerIndex = 1000;
// Most points of the FFT grid.
inline constexpr unsigned long long kMaxFftPoints = 1ull << 28;

// Each throws InputError naming the file (and saying what to do) on bad input.
MapCoefficients ReadMtzCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice);
// A structure-factor mmCIF, a small-molecule reflection CIF or a structure's CIF that
// carries its reflections (_shelx_hkl_file). The model phases small-molecule reflections
// that come without phases; it is required then, unless the CIF holds the structure too.
MapCoefficients ReadCifCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice,
                                    const std::optional<PhasingModel>& model);
// A SHELX HKLF 4 list (h k l F^2 sigma); the model gives the cell and symmetry and phases it.
MapCoefficients ReadShelxHklCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice,
                                         const std::optional<PhasingModel>& model);

struct FourierSummary {
    size_t reflections = 0;
    double dMin = 0.0;                 // Angstrom
    std::array<int, 3> grid{};         // FFT grid along a, b, c
};

// The density of one whole cell, in the units of the coefficients (e/Angstrom^3 for
// coefficients in electrons), by gemmi's FFT on a grid of at least 3 points per d-min
// along each axis, the reflections expanded by symmetry and Friedel's law.
MapDensity FourierMap(const MapCoefficients& coefficients, const std::string& path, FourierSummary* summary = nullptr,
                      unsigned long long maxPoints = kMaxFftPoints);

}  // namespace tivarel
