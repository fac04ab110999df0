#pragma once
// CCP4/MRC maps written word by word from the format's 1024-byte header, the density they
// sample, and the import command run in the test's process on files in a folder of its own.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../test_files.h"
#include "geometry/geometry.h"
#include "import/import_command.h"

namespace tivarel::test_support {


inline const double kTwoPi = 2.0 * std::acos(-1.0);

// The conversion tests' crystal: a = 7, b = 8, c = 9 Angstrom, beta 110 degrees, sampled in
// 35, 40 and 45 intervals, and a density periodic in the cell that the space group P 1 21 1,
// (x, y, z) -> (-x, y + 1/2, -z), leaves as it is.
inline const std::array<int, 3> kSampling{35, 40, 45};
inline double Density(const Vec3d& f) {
    return 50 + 40 * std::cos(kTwoPi * f[0]) + 30 * std::cos(2 * kTwoPi * f[1]) + 20 * std::cos(kTwoPi * (f[0] + f[2]));
}
// Trilinear interpolation misses a function by at most h^2 / 8 times its second derivative
// along each edge, summed over the edges: (40 + 20) (2 pi)^2 / 35^2 / 8 along a, 30 (4 pi)^2 /
// 40^2 / 8 along b, 20 (2 pi)^2 / 45^2 / 8 along c, together below 0.7.
inline const double kTolerance = 0.7;
// Fractional -> Cartesian, a along x and b along y: c = 9 (cos 110, 0, sin 110).
inline const std::array<Vec3d, 3> kOrthogonal = {
    {{7.0, 0.0, 9.0 * std::cos(kTwoPi * 110 / 360)}, {0.0, 8.0, 0.0}, {0.0, 0.0, 9.0 * std::sin(kTwoPi * 110 / 360)}}};

struct Ccp4File {
    std::array<int, 3> n{}, start{}, sampling = kSampling;   // NC NR NS as stored; NCSTART...; MX MY MZ
    std::array<float, 6> cell{7.0f, 8.0f, 9.0f, 90.0f, 110.0f, 90.0f};
    std::array<int, 3> axes{1, 2, 3};   // MAPC MAPR MAPS: the axis (1 = x) of columns, rows, sections
    int mode = 2, spaceGroup = 1;
    std::function<double(int, int, int)> value = [](int x, int y, int z) {
        return Density({double(x) / kSampling[0], double(y) / kSampling[1], double(z) / kSampling[2]});
    };
};

inline void PutWord(std::string& bytes, size_t word, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes[4 * (word - 1) + i] = char((v >> (8 * i)) & 0xFF);
}

// Little-endian, the data columns fastest, then rows, then sections; integer modes 0, 1 and 6
// take the value rounded.
inline std::string Ccp4Bytes(const Ccp4File& f) {
    std::string bytes(1024, '\0');
    for (size_t i = 0; i < 3; ++i) {
        PutWord(bytes, 1 + i, uint32_t(f.n[i]));
        PutWord(bytes, 5 + i, uint32_t(f.start[i]));
        PutWord(bytes, 8 + i, uint32_t(f.sampling[i]));
        PutWord(bytes, 17 + i, uint32_t(f.axes[i]));
    }
    PutWord(bytes, 4, uint32_t(f.mode));
    for (size_t i = 0; i < 6; ++i) PutWord(bytes, 11 + i, std::bit_cast<uint32_t>(f.cell[i]));
    PutWord(bytes, 23, uint32_t(f.spaceGroup));
    std::memcpy(&bytes[4 * 52], "MAP ", 4);
    PutWord(bytes, 54, 0x00004144u);   // little-endian stamp
    const int size = f.mode == 0 ? 1 : f.mode == 2 ? 4 : 2;
    std::array<int, 3> at{};   // grid point along x, y, z
    for (int s = 0; s < f.n[2]; ++s)
        for (int r = 0; r < f.n[1]; ++r)
            for (int c = 0; c < f.n[0]; ++c) {
                const std::array<int, 3> stored{c, r, s};
                for (size_t i = 0; i < 3; ++i) at[size_t(f.axes[i] - 1)] = f.start[i] + stored[i];
                const double v = f.value(at[0], at[1], at[2]);
                const uint32_t word = f.mode == 2 ? std::bit_cast<uint32_t>(float(v)) : uint32_t(std::lround(v));
                for (int i = 0; i < size; ++i) bytes += char((word >> (8 * i)) & 0xFF);
            }
    return bytes;
}

// The box of kSampling points from `start` (x, y, z) with `size` points, stored with columns,
// rows and sections along `axes`; by default the whole cell.
inline Ccp4File BoxFile(std::array<int, 3> start = {0, 0, 0}, std::array<int, 3> size = kSampling,
                        std::array<int, 3> axes = {1, 2, 3}) {
    Ccp4File f;
    f.axes = axes;
    for (size_t i = 0; i < 3; ++i) {
        f.n[i] = size[size_t(axes[i] - 1)];
        f.start[i] = start[size_t(axes[i] - 1)];
    }
    return f;
}

// The command in this process, with the viewer's side files beside it, a cache folder of the
// test's own and a viewer that is only noted.
class ImportCommand : public ::testing::Test {
protected:
    std::string put(const std::string& name, const std::string& bytes) const {
        WriteFile(dir / name, bytes);
        return (dir / name).string();
    }
    std::pair<int, std::string> runImport(const std::vector<std::string>& args) const {
        std::ostringstream out, err;
        const int status = RunImport(args, out, err, environment);
        return {status, err.str()};
    }
    const TempFolder folder;
    const std::filesystem::path& dir = folder.path();
    std::vector<std::string> viewerStarts;   // "viewer map" for each start
    ImportEnvironment environment{TIVAREL_BIN_DIR, (folder.path() / "cache").string(),
                                  [this](const std::string& viewer, const std::string& map) {
                                      viewerStarts.push_back(viewer + " " + map);
                                      return std::string("the test does not start it");
                                  }};
};

}   // namespace tivarel::test_support
