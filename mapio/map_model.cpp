#include "mapio/map_model.h"

#include "mapio/input_error.h"

#include <cmath>

namespace tivarel {

void DensityGrid::resize(int nx, int ny, int nz) {
    nx_ = nx;
    ny_ = ny;
    nz_ = nz;
    values_.assign(static_cast<size_t>(nx) * static_cast<size_t>(ny) * static_cast<size_t>(nz), 0.0f);
}

void DensityGrid::resizeForOverwrite(int nx, int ny, int nz) {
    nx_ = nx;
    ny_ = ny;
    nz_ = nz;
    values_.clear();
    values_.resize(static_cast<size_t>(nx) * static_cast<size_t>(ny) * static_cast<size_t>(nz));
}

Vec3 MatrixVector(const Mat3& m, const Vec3& v) {
    Vec3 w;
    for (int i = 1; i <= 3; ++i) {
        float s = 0.0f;
        for (int j = 1; j <= 3; ++j) s += m(i, j) * v[j - 1];
        w[i - 1] = s;
    }
    return w;
}

Vec3 FractionalToGrid(const DensityMap& map, const Vec3& f) {
    Vec3 d{f.x - map.mapOrigin.x, f.y - map.mapOrigin.y, f.z - map.mapOrigin.z};
    return MatrixVector(map.cellMatrix, d);
}

bool InvertCellMatrix(const Mat3& m, Mat3& inverse) {
    const float det = m(1, 1) * m(2, 2) * m(3, 3) + m(1, 2) * m(2, 3) * m(3, 1) +
                      m(1, 3) * m(2, 1) * m(3, 2) - m(1, 3) * m(2, 2) * m(3, 1) -
                      m(1, 1) * m(2, 3) * m(3, 2) - m(1, 2) * m(2, 1) * m(3, 3);
    if (det == 0.0f || !std::isfinite(det)) return false;
    // Adjugate = transposed cofactor matrix.
    Mat3 adj;
    adj(1, 1) = m(2, 2) * m(3, 3) - m(2, 3) * m(3, 2);
    adj(1, 2) = m(1, 3) * m(3, 2) - m(1, 2) * m(3, 3);
    adj(1, 3) = m(1, 2) * m(2, 3) - m(1, 3) * m(2, 2);
    adj(2, 1) = m(2, 3) * m(3, 1) - m(2, 1) * m(3, 3);
    adj(2, 2) = m(1, 1) * m(3, 3) - m(1, 3) * m(3, 1);
    adj(2, 3) = m(1, 3) * m(2, 1) - m(1, 1) * m(2, 3);
    adj(3, 1) = m(2, 1) * m(3, 2) - m(2, 2) * m(3, 1);
    adj(3, 2) = m(1, 2) * m(3, 1) - m(1, 1) * m(3, 2);
    adj(3, 3) = m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1);
    for (float& v : adj.a) v /= det;
    inverse = adj;
    return true;
}

Vec3 GridToFractional(const Mat3& inverse, const Vec3& origin, const Vec3& p) {
    Vec3 f = MatrixVector(inverse, p);
    return {f.x + origin.x, f.y + origin.y, f.z + origin.z};
}

float GridPointCoordinate(const GridParams& g, int axis, int k) {
    return g(3 + axis) + static_cast<float>(k - 1) * g(6 + axis);
}

void ValueAcceptor::reject(float v) {
    if (v > kValueLimit) Fail("Your input data looks strange, ZOL > 10000");
    Fail("Your input data looks strange, ZOL < -10000");
}

void FinishCellGeometry(DensityMap& map) {
    for (AtomRecord& atom : map.atoms) atom.position = FractionalToGrid(map, atom.position);
    static constexpr float kCorners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                             {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (size_t k = 0; k < 8; ++k)
        map.cellCorners[k] = FractionalToGrid(map, {kCorners[k][0], kCorners[k][1], kCorners[k][2]});
}

}  // namespace tivarel
