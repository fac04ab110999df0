#pragma once
// The peak file: one "ATOM Q" line per picked peak, in fractional coordinates of
// the map's cell cut down to six decimals, each line ended by CR LF.
#include <optional>
#include <string>
#include <vector>

#include "mapio/map_model.h"

namespace tivarel {

// A peak position: in the grid frame as picked, or fractional once converted.
using Peak = Vec3;
using PeakList = std::vector<Peak>;

// One line of the file without its line end, e.g. for peak 3 at (0.25, -0.125, 1):
// "ATOM Q  3   X= .25  Y=-.125  Z= 1 ".
std::string PeakLine(int number, float fx, float fy, float fz);

// floor(v * 1000000) / 1000000 in single precision: rounds down to six decimals.
float CutToSixDecimals(float v);

// Grid-frame peaks to fractional coordinates (inverse cell matrix, plus the origin),
// each cut to six decimals. Empty when the cell matrix cannot be inverted or is so
// close to singular (volume below 1e-6 of the edge lengths' product) that the
// single-precision inverse would be rounding noise.
std::optional<PeakList> FractionalPeaks(const Mat3& cell, const Vec3& origin, const PeakList& peaks);

// The whole file: lines for peaks 1, 2, 3 ... in list order, each ending with CR LF.
std::string PeakFileText(const PeakList& fractionalPeaks);

// The peaks as a recovery file: the peak file when the cell can be inverted; otherwise
// a first line that says so, then the same lines with the grid-frame coordinates.
std::string PeakRecoveryText(const Mat3& cell, const Vec3& origin, const PeakList& gridPeaks,
                             const std::string& mapFileName);

}  // namespace tivarel
