#include "export/peak_file.h"

#include <cmath>

#include "export/number_format.h"

namespace tivarel {

std::string PeakLine(int number, float fx, float fy, float fz) {
    return "ATOM Q " + FormatFileNumber(number) + "  X=" + FormatFileNumber(fx) + " Y=" +
           FormatFileNumber(fy) + " Z=" + FormatFileNumber(fz);
}

float CutToSixDecimals(float v) {
    // A float times 1000000 is exact in double precision (24 + 14 significant
    // bits), so floor sees the true product and 0.49999997 cannot round up to .5.
    return static_cast<float>(std::floor(static_cast<double>(v) * 1000000.0) / 1000000.0);
}

namespace {

// A cell whose volume is negligible against its edge lengths: a float determinant
// of such a matrix is rounding noise, and its inverse would be meaningless.
bool FlatCell(const Mat3& m) {
    auto at = [&m](int i, int j) { return static_cast<double>(m(i, j)); };
    const double det = at(1, 1) * (at(2, 2) * at(3, 3) - at(2, 3) * at(3, 2)) -
                       at(1, 2) * (at(2, 1) * at(3, 3) - at(2, 3) * at(3, 1)) +
                       at(1, 3) * (at(2, 1) * at(3, 2) - at(2, 2) * at(3, 1));
    double edges = 1.0;   // product of the column lengths, the largest |det| possible
    for (int j = 1; j <= 3; ++j) edges *= std::hypot(at(1, j), at(2, j), at(3, j));
    return !(std::fabs(det) > 1e-6 * edges);
}

}  // namespace

std::optional<PeakList> FractionalPeaks(const Mat3& cell, const Vec3& origin, const PeakList& peaks) {
    Mat3 inverse;
    if (FlatCell(cell) || !InvertCellMatrix(cell, inverse)) return std::nullopt;
    PeakList fractional;
    fractional.reserve(peaks.size());
    for (const Peak& p : peaks) {
        const Vec3 f = GridToFractional(inverse, origin, {p.x, p.y, p.z});
        fractional.push_back({CutToSixDecimals(f.x), CutToSixDecimals(f.y), CutToSixDecimals(f.z)});
    }
    return fractional;
}

std::string PeakFileText(const PeakList& fractionalPeaks) {
    std::string text;
    int number = 0;
    for (const Peak& f : fractionalPeaks) text += PeakLine(++number, f.x, f.y, f.z) + "\r\n";
    return text;
}

std::string PeakRecoveryText(const Mat3& cell, const Vec3& origin, const PeakList& gridPeaks,
                             const std::string& mapFileName) {
    if (const std::optional<PeakList> fractional = FractionalPeaks(cell, origin, gridPeaks))
        return PeakFileText(*fractional);
    std::string text = "Grid-frame coordinates, not fractional: the cell matrix of " + mapFileName +
                       " cannot be inverted.\r\n";
    int number = 0;
    for (const Peak& p : gridPeaks) text += PeakLine(++number, p.x, p.y, p.z) + "\r\n";
    return text;
}

}  // namespace tivarel
