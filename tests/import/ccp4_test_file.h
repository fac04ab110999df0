#pragma once
// CCP4/MRC map files written by the tests, word by word from the format's header
// layout (1024 bytes: NC NR NS, MODE, NCSTART NRSTART NSSTART, MX MY MZ, the cell,
// MAPC MAPR MAPS, DMIN DMAX DMEAN, ISPG, NSYMBT, ..., ORIGIN, "MAP ", MACHST, RMS, labels),
// and the analytic density the conversion tests compare against.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tivarel::test_support {

using Vec3 = std::array<double, 3>;

struct Ccp4File {
    std::array<int, 3> n{};          // columns, rows, sections as stored
    std::array<int, 3> start{};      // NCSTART, NRSTART, NSSTART
    std::array<int, 3> sampling{};   // MX, MY, MZ: intervals along x, y, z
    std::array<float, 6> cell{};
    std::array<int, 3> axes{1, 2, 3};   // MAPC, MAPR, MAPS: the axis (1 = x) of columns, rows, sections
    int mode = 2;
    int spaceGroup = 1;
    Vec3 origin{};                   // MRC ORIGIN, Angstrom
    // Value at grid point (x, y, z) counted in sampling intervals from the cell's origin.
    std::function<double(int, int, int)> value;
};

inline void PutWord(std::string& bytes, size_t word, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes[4 * (word - 1) + i] = char((v >> (8 * i)) & 0xFF);
}
inline void PutInt(std::string& bytes, size_t word, int32_t v) { PutWord(bytes, word, uint32_t(v)); }
inline void PutFloat(std::string& bytes, size_t word, float v) { PutWord(bytes, word, std::bit_cast<uint32_t>(v)); }

inline void PutValue(std::string& bytes, int mode, double v) {
    auto append = [&bytes](uint32_t word, int count) {
        for (int i = 0; i < count; ++i) bytes += char((word >> (8 * i)) & 0xFF);
    };
    switch (mode) {
    case 0: append(uint32_t(int8_t(std::lround(v))), 1); break;
    case 1: append(uint32_t(uint16_t(int16_t(std::lround(v)))), 2); break;
    case 6: append(uint32_t(uint16_t(std::lround(v))), 2); break;
    default: append(std::bit_cast<uint32_t>(float(v)), 4); break;
    }
}

// The file's bytes, little-endian, data in stored order: columns fastest, then rows, then sections.
inline std::string Ccp4Bytes(const Ccp4File& f) {
    std::string bytes(1024, '\0');
    for (size_t i = 0; i < 3; ++i) {
        PutInt(bytes, 1 + i, f.n[i]);
        PutInt(bytes, 5 + i, f.start[i]);
        PutInt(bytes, 8 + i, f.sampling[i]);
        PutInt(bytes, 17 + i, f.axes[i]);
        PutFloat(bytes, 50 + i, float(f.origin[i]));
    }
    PutInt(bytes, 4, f.mode);
    for (size_t i = 0; i < 6; ++i) PutFloat(bytes, 11 + i, f.cell[i]);
    PutInt(bytes, 23, f.spaceGroup);
    std::memcpy(&bytes[4 * 52], "MAP ", 4);
    PutWord(bytes, 54, 0x00004144u);   // little-endian stamp
    std::array<int, 3> at{};           // grid point along x, y, z
    for (int s = 0; s < f.n[2]; ++s)
        for (int r = 0; r < f.n[1]; ++r)
            for (int c = 0; c < f.n[0]; ++c) {
                const std::array<int, 3> stored{c, r, s};
                for (size_t i = 0; i < 3; ++i) at[size_t(f.axes[i] - 1)] = f.start[i] + stored[i];
                PutValue(bytes, f.mode, f.value(at[0], at[1], at[2]));
            }
    return bytes;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// ---------------------------------------------------------------- the analytic density

struct Cell {
    double a, b, c, alpha, beta, gamma;   // degrees
};

// Fractional -> Cartesian with a along x and b in the x-y plane, from the cell's
// edge vectors: a = (a, 0, 0), b = (b cos g, b sin g, 0), c completes the angles.
inline std::array<Vec3, 3> Orthogonalisation(const Cell& cell) {
    const double rad = std::acos(-1.0) / 180.0;
    const double ca = std::cos(cell.alpha * rad), cb = std::cos(cell.beta * rad), cg = std::cos(cell.gamma * rad);
    const double sg = std::sin(cell.gamma * rad);
    const double cx = cell.c * cb, cy = cell.c * (ca - cb * cg) / sg;
    const double cz = std::sqrt(cell.c * cell.c - cx * cx - cy * cy);
    return {{{cell.a, cell.b * cg, cx}, {0.0, cell.b * sg, cy}, {0.0, 0.0, cz}}};
}

inline Vec3 Cartesian(const std::array<Vec3, 3>& m, const Vec3& f) {
    return {m[0][0] * f[0] + m[0][1] * f[1] + m[0][2] * f[2], m[1][0] * f[0] + m[1][1] * f[1] + m[1][2] * f[2],
            m[2][0] * f[0] + m[2][1] * f[1] + m[2][2] * f[2]};
}

struct GaussianAtom {
    const char* element;
    Vec3 fractional;
    double height;
};

// A sum of Gaussians (width sigma) repeated through the lattice: periodic in every
// fractional coordinate. The atom's image nearest in fractional terms and its 26
// neighbours are summed; farther images lie more than a cell edge away, where a
// Gaussian of sigma below 1 Angstrom in a cell of edges above 6 Angstrom has died out.
struct PeriodicDensity {
    Cell cell;
    std::vector<GaussianAtom> atoms;
    double sigma;

    double at(const Vec3& f) const {
        const auto m = Orthogonalisation(cell);
        double sum = 0.0;
        for (const GaussianAtom& atom : atoms) {
            Vec3 d;
            for (size_t i = 0; i < 3; ++i) d[i] = f[i] - atom.fractional[i] - std::round(f[i] - atom.fractional[i]);
            for (int i = -1; i <= 1; ++i)
                for (int j = -1; j <= 1; ++j)
                    for (int k = -1; k <= 1; ++k) {
                        const Vec3 p = Cartesian(m, {d[0] + i, d[1] + j, d[2] + k});
                        sum += atom.height * std::exp(-(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) / (2 * sigma * sigma));
                    }
        }
        return sum;
    }
};

}  // namespace tivarel::test_support

namespace tivarel::test_support {

// The conversion tests' crystal: monoclinic (beta 110 degrees), three atoms of distinct
// heights, sampled every 0.2 Angstrom along each edge.
inline const Cell kCell{7.0, 8.0, 9.0, 90.0, 110.0, 90.0};
inline const std::array<int, 3> kSampling{35, 40, 45};
inline const PeriodicDensity kDensity{kCell, {{"Fe", {0.1, 0.2, 0.3}, 100.0}, {"O", {0.6, 0.45, 0.8}, 60.0},
                                              {"Cl", {0.35, 0.9, 0.55}, 40.0}}, 0.8};

// Trilinear interpolation misses a function by at most h^2 / 8 times its second
// derivative along each edge, summed over the edges; a Gaussian's second derivative
// in any direction is at most its height / sigma^2, and the heights add up.
inline double InterpolationTolerance(const PeriodicDensity& d, const std::array<double, 3>& spacing) {
    double heights = 0.0, h2 = 0.0;
    for (const GaussianAtom& atom : d.atoms) heights += atom.height;
    for (double h : spacing) h2 += h * h;
    return h2 / 8.0 * heights / (d.sigma * d.sigma);
}

// kDensity at grid point (x, y, z) of kSampling, any cell.
inline double DensityAtPoint(int x, int y, int z) {
    static const std::vector<double> values = [] {
        std::vector<double> v;
        for (int k = 0; k < kSampling[2]; ++k)
            for (int j = 0; j < kSampling[1]; ++j)
                for (int i = 0; i < kSampling[0]; ++i)
                    v.push_back(kDensity.at({double(i) / kSampling[0], double(j) / kSampling[1], double(k) / kSampling[2]}));
        return v;
    }();
    const auto wrap = [](int i, int n) { return size_t(((i % n) + n) % n); };
    return values[wrap(x, kSampling[0]) + size_t(kSampling[0]) * (wrap(y, kSampling[1]) + size_t(kSampling[1]) * wrap(z, kSampling[2]))];
}

// The box of kSampling points from `start` (x, y, z) with `size` points, stored with
// columns, rows and sections along `axes`.
inline Ccp4File BoxFile(std::array<int, 3> start, std::array<int, 3> size, std::array<int, 3> axes = {1, 2, 3}) {
    Ccp4File f;
    f.axes = axes;
    f.sampling = kSampling;
    f.cell = {float(kCell.a), float(kCell.b), float(kCell.c), float(kCell.alpha), float(kCell.beta), float(kCell.gamma)};
    for (size_t i = 0; i < 3; ++i) {
        f.n[i] = size[size_t(axes[i] - 1)];
        f.start[i] = start[size_t(axes[i] - 1)];
    }
    f.value = DensityAtPoint;
    return f;
}

inline Ccp4File CellFile(std::array<int, 3> axes = {1, 2, 3}) { return BoxFile({0, 0, 0}, kSampling, axes); }

}  // namespace tivarel::test_support
