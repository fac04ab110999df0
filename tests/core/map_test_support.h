#pragma once
// Pieces the core tests share: the contents of test map files and the checks of a
// loaded map against them, bad-input drivers for the map readers, and small grids
// with known values for the contouring tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mapio/map_model.h"
#include "mapio/program_stop.h"
#include "surface/march_cubes.h"

namespace tivarel::test_support {

// ---------------------------------------------------------------- values and numbers

// Distinct for every grid point, negative and positive, so any mix-up of order shows.
inline float DefaultValue(int x, int y, int z) { return float(100 * x + 10 * y + z) - 250.25f; }

// DefaultValue, but `v` at grid point (x, y, z).
inline std::function<float(int, int, int)> ValueAt(int x, int y, int z, float v) {
    return [=](int a, int b, int c) { return a == x && b == y && c == z ? v : DefaultValue(a, b, c); };
}

// DefaultValue, but the upper value limit at the first point of a 3 x 4 x 2 grid and
// the lower one at its last point.
inline float ValueAtLimits(int x, int y, int z) {
    if (x == 1 && y == 1 && z == 1) return 10000.0f;
    if (x == 3 && y == 4 && z == 2) return -10000.0f;
    return DefaultValue(x, y, z);
}

struct ValueCase {
    float value;
    const char* message;
};
// Just past each value limit, with the message a reader must stop with.
inline const ValueCase kValuesBeyondLimits[] = {{10000.5f, "Your input data looks strange, ZOL > 10000"},
                                                {-10001.0f, "Your input data looks strange, ZOL < -10000"}};

// Shortest text that reads back as exactly `v`.
inline std::string NumberText(float v) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// ---------------------------------------------------------------- what a map file holds

// Header and grid of a map given in a crystal cell (FOU, MT1), as the tests write them.
struct CellMapContents {
    std::array<std::array<float, 3>, 3> matrix{{{5.5f, -3.125f, 1.25f}, {0.5f, 5.375f, -0.75f}, {-0.25f, 0.125f, 7.5f}}};
    std::array<float, 3> origin{0.125f, -0.25f, 0.5f};
    std::array<float, 6> cell{5.5f, 6.25f, 7.75f, 80.0f, 95.5f, 120.0f};
    std::array<std::array<float, 2>, 3> axes{{{-1.5f, 0.25f}, {0.5f, 0.375f}, {2.0f, 0.75f}}};  // first, step
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

// ---------------------------------------------------------------- checks of a loaded map

inline void ExpectNearPoint(const Vec3f& actual, const std::array<double, 3>& expected, const std::string& what) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(actual[c], expected[size_t(c)], 1e-5 * (1.0 + std::fabs(expected[size_t(c)])))
            << what << " component " << c;
}

// Matrix, origin, cell constants, counts, first grid coordinates and steps as written.
inline void ExpectHeader(const CellMapContents& f, const DensityMap& map) {
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            EXPECT_EQ(map.cellMatrix(i, j), f.matrix[size_t(i - 1)][size_t(j - 1)]) << i << "," << j;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(map.mapOrigin[c], f.origin[size_t(c)]);
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(map.cellParams[k], f.cell[k]);
    for (int axis = 1; axis <= 3; ++axis) {
        const size_t a = size_t(axis - 1);
        EXPECT_EQ(map.gridParams(axis), float(f.n[a]));
        EXPECT_EQ(map.gridParams(3 + axis), f.axes[a][0]);
        EXPECT_EQ(map.gridParams(6 + axis), f.axes[a][1]);
    }
}

// Every value in its memory slot (x fastest, then y, then z), and the value range.
// `File` exposes the counts `n` and `value(x, y, z)`.
template <class File>
void ExpectGrid(const File& f, const DensityMap& map) {
    ASSERT_EQ(map.grid.nx(), f.n[0]);
    ASSERT_EQ(map.grid.ny(), f.n[1]);
    ASSERT_EQ(map.grid.nz(), f.n[2]);
    float lowest = INFINITY, highest = -INFINITY;
    for (int z = 1; z <= f.n[2]; ++z)
        for (int y = 1; y <= f.n[1]; ++y)
            for (int x = 1; x <= f.n[0]; ++x) {
                const float v = f.value(x, y, z);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                const size_t slot = size_t(x - 1) + size_t(f.n[0]) * (size_t(y - 1) + size_t(f.n[1]) * size_t(z - 1));
                ASSERT_EQ(map.grid.values()[slot], v) << x << "," << y << "," << z;
            }
    EXPECT_EQ(map.gridParams.minValue(), lowest);
    EXPECT_EQ(map.gridParams.maxValue(), highest);
}

// Each atom named as `nameOf` says and moved into the grid frame, and the corners of
// the fractional unit cell: bottom face in cyclic order, then the top face.
template <class Atom, class NameOf>
void ExpectAtomsAndCorners(const GridFrame& frame, const std::vector<Atom>& atoms, NameOf nameOf,
                           const DensityMap& map) {
    ASSERT_EQ(map.atoms.size(), atoms.size());
    for (size_t i = 0; i < atoms.size(); ++i) {
        EXPECT_EQ(map.atoms[i].name, nameOf(atoms[i]));
        ExpectNearPoint(map.atoms[i].position, frame.point(atoms[i].position), "atom " + std::to_string(i + 1));
    }
    const std::array<std::array<double, 3>, 8> corners{
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (size_t k = 0; k < 8; ++k)
        ExpectNearPoint(map.cellCorners[k], frame.point(corners[k]), "corner " + std::to_string(k + 1));
}

// ---------------------------------------------------------------- bad input

// The ProgramStop that `action` throws; fails the test when none is thrown.
inline ProgramStop StopFrom(const std::function<void()>& action) {
    try {
        action();
    } catch (const ProgramStop& stop) {
        return stop;
    }
    ADD_FAILURE() << "no ProgramStop thrown";
    return ProgramStop("(no stop)");
}

inline std::string StopMessage(const std::function<void()>& action) { return StopFrom(action).what(); }

// One map reader: from bytes in memory, under the name `path`, and from a file.
struct MapReader {
    DensityMap (*parse)(std::string_view, const std::string&);
    DensityMap (*read)(const std::string&);
    std::string path;
};

// The stop of input that must not load; fails the test when it loads.
inline ProgramStop StopOf(const MapReader& reader, std::string_view bytes) {
    return StopFrom([&] { reader.parse(bytes, reader.path); });
}

inline void ExpectMessageNames(const MapReader& reader, const std::string& message, const std::string& part) {
    EXPECT_NE(message.find(reader.path), std::string::npos) << message;
    EXPECT_NE(message.find(part), std::string::npos) << message << " should hold " << part;
}

// Writes the bytes to a temporary file and loads that.
inline DensityMap ReadThroughDisk(const MapReader& reader, const std::string& bytes, const std::string& fileName) {
    const std::string path = ::testing::TempDir() + fileName;
    std::ofstream(path, std::ios::binary) << bytes;
    DensityMap map = reader.read(path);
    std::remove(path.c_str());
    return map;
}

inline void ExpectMissingFileStops(const MapReader& reader, const std::string& missing) {
    try {
        reader.read(missing);
        FAIL() << "a missing file loaded";
    } catch (const ProgramStop& stop) {
        EXPECT_NE(std::string(stop.what()).find(missing), std::string::npos) << stop.what();
    }
}

// Files of default contents but `c.value` at grid point (2, 3, 2): each must stop with
// `c.message`. `File` exposes `value(x, y, z)`.
template <class File>
void ExpectValuesStop(const MapReader& reader, std::string (*write)(const File&),
                      std::span<const ValueCase> cases = kValuesBeyondLimits) {
    for (const ValueCase& c : cases) {
        File f;
        f.value = ValueAt(2, 3, 2, c.value);
        EXPECT_EQ(StopOf(reader, write(f)).what(), std::string(c.message)) << c.value;
    }
}

// A text map of default contents written with CR LF and with LF line ends (`File`
// exposes `lineEnd`): whatever the cut, the reader stops with a message or loads; it
// loads the whole map once the last number is complete and never while that number
// is missing.
template <class File>
void ExpectEveryCutStopsOrLoads(const MapReader& reader, std::string (*write)(const File&)) {
    for (const std::string eol : {"\r\n", "\n"}) {
        File f;
        f.lineEnd = eol;
        const std::string text = write(f);
        const size_t lastNumber = text.find_last_of(" \r\n", text.size() - eol.size() - 1) + 1;
        for (size_t cut = 0; cut < text.size(); ++cut) {
            bool loaded = false;
            try {
                reader.parse(text.substr(0, cut), reader.path);
                loaded = true;
            } catch (const ProgramStop&) {
            }
            if (cut <= lastNumber) {
                EXPECT_FALSE(loaded) << "cut at " << cut;
            }
            if (cut >= text.size() - eol.size()) {
                EXPECT_TRUE(loaded) << "cut at " << cut;
            }
        }
    }
}

// Each byte in turn replaced by each garbage byte: the reader stops with a message or loads.
inline void ParseEverySpoiledByte(const MapReader& reader, const std::string& bytes,
                                  std::initializer_list<char> garbage) {
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (const char g : garbage) {
            std::string spoiled = bytes;
            spoiled[at] = g;
            try {
                reader.parse(spoiled, reader.path);
            } catch (const ProgramStop&) {
            }
        }
    }
}

// Random texts of numbers, separators, line ends, letters and odd bytes: the reader
// stops with a message or loads.
inline void ParseRandomText(const MapReader& reader, unsigned seed) {
    static const char alphabet[] = "0123456789 .,-+eE\r\n\tabc\xff";
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);  // includes the '\0'
    std::uniform_int_distribution<size_t> length(0, 400);
    for (int n = 0; n < 500; ++n) {
        std::string text(length(random), ' ');
        for (char& c : text) c = alphabet[pick(random)];
        try {
            reader.parse(text, reader.path);
        } catch (const ProgramStop&) {
        }
    }
}

// ---------------------------------------------------------------- grids for contouring

// A grid with first point `origin` and steps `step`, values from f(a, b, c) (1-based).
struct TestGrid {
    GridParams g;
    DensityGrid grid;
    TestGrid(int nx, int ny, int nz, const std::function<float(int, int, int)>& f,
             Vec3f step = {1, 1, 1}, Vec3f origin = {0, 0, 0}) {
        g(1) = static_cast<float>(nx);
        g(2) = static_cast<float>(ny);
        g(3) = static_cast<float>(nz);
        for (int axis = 0; axis < 3; ++axis) {
            g(4 + axis) = origin[axis];
            g(7 + axis) = step[axis];
        }
        grid.resize(nx, ny, nz);
        for (int c = 1; c <= nz; ++c)
            for (int b = 1; b <= ny; ++b)
                for (int a = 1; a <= nx; ++a) grid(a, b, c) = f(a, b, c);
    }
};

inline void ExpectPoint(const Point3& p, float x, float y, float z) {
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

}  // namespace tivarel::test_support
