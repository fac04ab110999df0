#pragma once
// Shared by the core tests: the maps the reader tests write and the checks of a loaded map,
// the stop of bad input, and small grids of known values for the contouring tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "../test_files.h"
#include "mapio/map_model.h"
#include "mapio/input_error.h"
#include "surface/march_cubes.h"

namespace tivarel::test_support {

// Distinct for every grid point, negative and positive, so any mix-up of order shows.
inline float DefaultValue(int x, int y, int z) { return float(100 * x + 10 * y + z) - 250.25f; }

// Shortest text that reads back as exactly `v`.
inline std::string NumberText(float v) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// Header and grid of a map given in a crystal cell (FOU, MT1), as the tests write them.
struct CellMapContents {
    std::array<std::array<float, 3>, 3> matrix{
        {{5.5f, -3.125f, 1.25f}, {0.5f, 5.375f, -0.75f}, {-0.25f, 0.125f, 7.5f}}};
    std::array<float, 3> origin{0.125f, -0.25f, 0.5f};
    std::array<float, 6> cell{5.5f, 6.25f, 7.75f, 80.0f, 95.5f, 120.0f};
    std::array<std::array<float, 2>, 3> axes{{{-1.5f, 0.25f}, {0.5f, 0.375f}, {2.0f, 0.75f}}};   // first, step
    std::array<int, 3> n{3, 4, 2};
    std::function<float(int, int, int)> value = DefaultValue;
};

// Fractional points into the grid frame, in double: matrix * (f - origin).
struct GridFrame {
    std::array<std::array<double, 3>, 3> matrix{};
    std::array<double, 3> origin{};
    template <class T>
    std::array<double, 3> point(const std::array<T, 3>& frac) const {
        std::array<double, 3> p{};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j) p[i] += matrix[i][j] * (double(frac[j]) - origin[j]);
        return p;
    }
};

inline GridFrame CellFrame(const CellMapContents& f) {
    GridFrame frame;
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = 0; j < 3; ++j) frame.matrix[i][j] = double(f.matrix[i][j]);
        frame.origin[i] = double(f.origin[i]);
    }
    return frame;
}

// Matrix, origin, cell constants, counts, first grid coordinates and steps as written.
inline void ExpectHeader(const CellMapContents& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(map.cellMatrix(i, j), f.matrix[size_t(i - 1)][size_t(j - 1)]);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(map.mapOrigin[c], f.origin[size_t(c)]);
    EXPECT_EQ(map.cellParams, f.cell);
    for (int a = 1; a <= 3; ++a) {
        EXPECT_EQ(map.gridParams(a), float(f.n[size_t(a - 1)]));
        EXPECT_EQ(map.gridParams(3 + a), f.axes[size_t(a - 1)][0]);
        EXPECT_EQ(map.gridParams(6 + a), f.axes[size_t(a - 1)][1]);
    }
}

// Every value in its memory slot (x fastest, then y, then z), and the value range.
// `File` exposes the counts `n` and `value(x, y, z)`.
template <class File>
void ExpectGrid(const File& f, const DensityMap& map) {
    ASSERT_EQ((std::array{map.grid.nx(), map.grid.ny(), map.grid.nz()}), f.n);
    float lowest = INFINITY, highest = -INFINITY;
    size_t slot = 0;
    for (int z = 1; z <= f.n[2]; ++z)
        for (int y = 1; y <= f.n[1]; ++y)
            for (int x = 1; x <= f.n[0]; ++x, ++slot) {
                const float v = f.value(x, y, z);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                ASSERT_EQ(map.grid.values()[slot], v) << x << "," << y << "," << z;
            }
    EXPECT_EQ(map.gridParams.minValue(), lowest);
    EXPECT_EQ(map.gridParams.maxValue(), highest);
}

// An atom as a file gives it (its label or line) and as the map must hold it.
struct FileAtom {
    std::string text, name;
    std::array<double, 3> position;   // in the file's frame
};

// Each atom named and moved into the grid frame, and the corners of the fractional unit
// cell: bottom face in cyclic order, then the top face.
inline void ExpectAtomsAndCorners(const GridFrame& frame, const std::vector<FileAtom>& atoms, const DensityMap& map) {
    ASSERT_EQ(map.atoms.size(), atoms.size());
    std::vector<std::array<double, 3>> places;
    for (const FileAtom& atom : atoms) places.push_back(atom.position);
    for (size_t k = 0; k < atoms.size(); ++k) EXPECT_EQ(map.atoms[k].name, atoms[k].name);
    places.insert(places.end(),
                  {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
    for (size_t k = 0; k < places.size(); ++k) {
        const Vec3 actual = k < atoms.size() ? map.atoms[k].position : map.cellCorners[k - atoms.size()];
        for (int c = 0; c < 3; ++c) {
            const double want = frame.point(places[k])[size_t(c)];
            EXPECT_NEAR(actual[c], want, 1e-5 * (1.0 + std::fabs(want)))
                << (k < atoms.size() ? "atom " : "corner ") << k;
        }
    }
}

// The InputError that `action` throws; fails the test when none is thrown.
inline InputError StopFrom(const std::function<void()>& action) {
    try {
        action();
    } catch (const InputError& stop) {
        return stop;
    }
    ADD_FAILURE() << "no InputError thrown";
    return InputError("(no stop)");
}

inline std::string StopMessage(const std::function<void()>& action) { return StopFrom(action).what(); }

// `text` holds every one of `parts`.
inline void ExpectHolds(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << text << " lacks " << part;
}

// `text` with `from` replaced by `to` at its one place.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    EXPECT_EQ(text.find(from), text.rfind(from)) << from;
    return text.replace(text.find(from), from.size(), to);
}

// A grid with first point `origin` and steps `step`, values f(a, b, c) (1-based).
struct TestGrid {
    GridParams g;
    DensityGrid grid;
    TestGrid(int nx, int ny, int nz, const std::function<float(int, int, int)>& f, Vec3 step = {1, 1, 1},
             Vec3 origin = {0, 0, 0}) {
        for (int a = 0; a < 3; ++a) {
            g(1 + a) = float(std::array{nx, ny, nz}[size_t(a)]);
            g(4 + a) = origin[a];
            g(7 + a) = step[a];
        }
        grid.resize(nx, ny, nz);
        for (int c = 1; c <= nz; ++c)
            for (int b = 1; b <= ny; ++b)
                for (int a = 1; a <= nx; ++a) grid(a, b, c) = f(a, b, c);
    }
};

inline void ExpectPoint(const Vec3& p, float x, float y, float z) {
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

}   // namespace tivarel::test_support
