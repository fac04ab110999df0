#include "surface/march_cubes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "mapio/program_stop.h"

namespace tivarel {

namespace {

// Above-level flags of every grid point, laid out x outermost and z innermost,
// the order in which the cubes are visited, so the case loop reads memory in sequence.
class AboveFlags {
public:
    AboveFlags(const DensityGrid& grid, float level)
        : nx_(static_cast<size_t>(grid.nx())), ny_(static_cast<size_t>(grid.ny())),
          nz_(static_cast<size_t>(grid.nz())), flags_(Allocate(nx_ * ny_ * nz_)) {
        transpose(grid, level);
    }
    // The flags along z of grid column (a, b), 1-based.
    const uint8_t* column(int a, int b) const {
        return flags_.get() + (static_cast<size_t>(a - 1) * ny_ + static_cast<size_t>(b - 1)) * nz_;
    }

private:
    static std::unique_ptr<uint8_t[]> Allocate(size_t n) {
        try {
            return std::unique_ptr<uint8_t[]>(new uint8_t[n]);
        } catch (const std::bad_alloc&) {
            stopProgram("Not enough memory to build the surfaces of a grid of " + std::to_string(n) + " points.");
        }
    }

    // Blocked transpose through a small buffer: each tile is read in runs along x
    // and written in runs along z. (Writing straight across would touch lines
    // ny * nz bytes apart, which on power-of-two grids all fall into one cache set.)
    void transpose(const DensityGrid& grid, float level) {
        constexpr size_t kTile = 64;
        uint8_t block[kTile][kTile];   // [z - z0][x - x0]
        const float* v = grid.values().data();
        for (size_t y = 0; y < ny_; ++y)
            for (size_t z0 = 0; z0 < nz_; z0 += kTile)
                for (size_t x0 = 0; x0 < nx_; x0 += kTile) {
                    const size_t zEnd = std::min(nz_, z0 + kTile), xEnd = std::min(nx_, x0 + kTile);
                    for (size_t z = z0; z < zEnd; ++z) {
                        const float* row = v + (z * ny_ + y) * nx_;
                        for (size_t x = x0; x < xEnd; ++x)
                            block[z - z0][x - x0] = static_cast<uint8_t>(IsAbove(level, row[x]));
                    }
                    for (size_t x = x0; x < xEnd; ++x) {
                        uint8_t* column = flags_.get() + (x * ny_ + y) * nz_;
                        for (size_t z = z0; z < zEnd; ++z) column[z] = block[z - z0][x - x0];
                    }
                }
    }

    size_t nx_, ny_, nz_;
    std::unique_ptr<uint8_t[]> flags_;
};

struct CubeGeometry {
    float origin[3];   // position of corner 0
    float step[3];
    float value[8];    // corner values V0..V7
};

// Point on cube edge e, measured from its from-corner.
Point3 EdgePoint(const CubeGeometry& cube, int e, float level) {
    const CubeEdge& edge = kCubeEdges[static_cast<size_t>(e)];
    const auto& offset = kCubeCorners[static_cast<size_t>(edge.from)];
    const float t = EdgeFraction(cube.value[edge.from], cube.value[edge.to], level);
    float p[3];
    for (int axis = 0; axis < 3; ++axis) {
        const float o = cube.origin[axis], d = cube.step[axis];
        if (axis == edge.axis) p[axis] = o + t * d;
        else p[axis] = offset[static_cast<size_t>(axis)] != 0 ? o + d : o;
    }
    return {p[0], p[1], p[2]};
}

// Points of the edges the case cuts; other entries stay (0, 0, 0).
void CubeEdgeVertices(std::array<Point3, 13>& points, const CubeGeometry& cube,
                      const CaseTable& table, float level, int caseIndex) {
    const auto& row = table.caseEdges[static_cast<size_t>(caseIndex)];
    for (int k = 1; k <= row[0] && k <= 12; ++k) {
        const int e = row[static_cast<size_t>(k)];
        if (e >= 1 && e <= 12) points[static_cast<size_t>(e)] = EdgePoint(cube, e, level);
    }
}

void StoreTriangle(TriangleStore& store, int layer, const std::array<Point3, 13>& points,
                   int e1, int e2, int e3) {
    int32_t& count = store.count(layer);
    if (count + 1 > kMaxTrianglesPerLayer)
        stopProgram("Sorry, to complicated scene, Number of reguired triangles > 1 200 000");
    ++count;
    TriangleRecord& record = store.at(layer, count);
    record.point[0] = points[static_cast<size_t>(e1)];
    record.point[1] = points[static_cast<size_t>(e2)];
    record.point[2] = points[static_cast<size_t>(e3)];
}

void EmitCubeTriangles(int caseIndex, const CubeGeometry& cube, int layer, TriangleStore& store,
                       const CaseTable& table, float level) {
    std::array<Point3, 13> points{};
    CubeEdgeVertices(points, cube, table, level, caseIndex);
    const auto& row = table.caseTriangles[static_cast<size_t>(caseIndex)];
    for (int j = 1; j <= row[0] && j <= 10; ++j) {
        const size_t k = static_cast<size_t>(3 * j);
        StoreTriangle(store, layer, points, row[k - 2], row[k - 1], row[k]);
    }
}

CubeGeometry LoadCube(const GridParams& g, const DensityGrid& grid, int a, int b, int c) {
    CubeGeometry cube;
    const int idx[3] = {a, b, c};
    for (int axis = 0; axis < 3; ++axis) {
        // The same single-precision coordinate as the contour plane, frame and picking use.
        cube.origin[axis] = GridPointCoordinate(g, axis + 1, idx[axis]);
        cube.step[axis] = g(7 + axis);
    }
    for (size_t k = 0; k < 8; ++k)
        cube.value[k] = grid(a + kCubeCorners[k][0], b + kCubeCorners[k][1], c + kCubeCorners[k][2]);
    return cube;
}

// The four corner flags of the square (a..a+1, b..b+1) in every z plane, as
// the low four bits of a cube's case index: bit 0 (a, b), bit 1 (a+1, b),
// bit 2 (a+1, b+1), bit 3 (a, b+1). A cube's case is faces[c] | faces[c + 1] << 4.
void FaceCodes(const AboveFlags& above, int a, int b, std::vector<uint8_t>& faces) {
    const uint8_t* c00 = above.column(a, b);
    const uint8_t* c10 = above.column(a + 1, b);
    const uint8_t* c11 = above.column(a + 1, b + 1);
    const uint8_t* c01 = above.column(a, b + 1);
    for (size_t c = 0; c < faces.size(); ++c)
        faces[c] = static_cast<uint8_t>(c00[c] | c10[c] << 1 | c11[c] << 2 | c01[c] << 3);
}

// Most cubes lie wholly inside or outside the surface: eight of them in a row
// are skipped at once when their nine face codes are all 0 or all 15.
constexpr int kRun = 8;
bool UniformRun(const std::vector<uint8_t>& faces, int c, int nz) {
    if (c + kRun >= nz) return false;
    uint64_t word;
    std::memcpy(&word, faces.data() + c, sizeof word);
    const uint8_t next = faces[static_cast<size_t>(c + kRun)];
    return (word == 0 && next == 0) || (word == 0x0F0F0F0F0F0F0F0FULL && next == 15);
}

std::string LayerCaption(int layer) {
    // The standard number-to-text conversion puts a blank before a non-negative number.
    return "ZOL map processing progress. Layer number: " + std::to_string(layer);
}

}  // namespace

void MarchLayer(const GridParams& g, const DensityGrid& grid, float level, int layer,
                TriangleStore& store, const CaseTable& table, ProgressSink* progress) {
    store.count(layer) = 0;
    if (progress) {
        progress->setProgress(0);
        progress->showProgress(LayerCaption(layer));
    }
    const int nx = grid.nx(), ny = grid.ny(), nz = grid.nz();
    if (nx > 1 && ny > 1 && nz > 1) {
        const AboveFlags above(grid, level);
        std::vector<uint8_t> faces(static_cast<size_t>(nz));
        int shown = 0;
        for (int a = 1; a <= nx - 1; ++a) {
            const int percent = static_cast<int>(100LL * a / (nx - 1));
            if (progress && percent != shown) progress->setProgress(shown = percent);
            for (int b = 1; b <= ny - 1; ++b) {
                FaceCodes(above, a, b, faces);
                // Cube c (0-based along z) has the face codes of planes c and c + 1.
                int c = 0;
                while (c < nz - 1) {
                    if (UniformRun(faces, c, nz)) {
                        c += kRun;
                        continue;
                    }
                    const int caseIndex = faces[static_cast<size_t>(c)] | faces[static_cast<size_t>(c + 1)] << 4;
                    if (caseIndex != 0 && caseIndex != 255)
                        EmitCubeTriangles(caseIndex, LoadCube(g, grid, a, b, c + 1), layer, store, table, level);
                    ++c;
                }
            }
        }
    }
    if (progress) progress->hideProgress();
}

}  // namespace tivarel
