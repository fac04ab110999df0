#include "surface/march_cubes.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mapio/input_error.h"

namespace tivarel {

namespace {

// Cube columns (steps along x) per slab: a slab reads the grid in rows of 17
// points, about one cache line, and keeps per row of the (y, z) plane one word
// of above-level bits.
constexpr int kSlabWidth = 16;
// Rows ahead whose cache lines are asked for while a row is classified: the rows
// of a slab lie nx floats apart, a stride the hardware does not foresee in time.
constexpr size_t kPrefetchRows = 32;
// Cubes ahead whose grid rows are asked for while a cube is emitted.
constexpr size_t kPrefetchCubes = 8;
// Grids with fewer cubes than this are extracted on the calling thread alone.
constexpr int64_t kThreadedCubes = int64_t{1} << 18;
// How often the waiting caller looks at the workers' progress.
constexpr auto kProgressPoll = std::chrono::milliseconds(20);

const char* const kCapacityMessage = "Sorry, to complicated scene, Number of reguired triangles > 1 200 000";

InputError MemoryStop(const DensityGrid& grid) {
    const uint64_t points = uint64_t(grid.nx()) * uint64_t(grid.ny()) * uint64_t(grid.nz());
    return InputError("Not enough memory to build the surfaces of a grid of " + std::to_string(points) + " points.");
}

// Bit i set when row[i] lies above the level, for i < n (n <= 32).
uint32_t AboveBits(const float* row, int n, float level) {
    uint32_t bits = 0;
    int i = 0;
#if defined(__SSE2__)
    // The ordered comparison is false for NaN, as IsAbove is.
    const __m128 levels = _mm_set1_ps(level);
    for (; i + 4 <= n; i += 4)
        bits |= static_cast<uint32_t>(_mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(row + i), levels))) << i;
#endif
    for (; i < n; ++i) bits |= static_cast<uint32_t>(IsAbove(level, row[i])) << i;
    return bits;
}

// The case table recompiled for the inner loop: the edges whose points a case
// computes (the numbers 1..12 of its edge list, each once) and, per triangle
// corner, the edge whose point it takes. A triangle edge that the edge list
// does not name takes the zero point, slot 0.
struct CaseProgram {
    uint8_t edgeCount = 0;
    std::array<uint8_t, 12> edges{};
    uint8_t cornerCount = 0;   // three per triangle
    std::array<uint8_t, 30> corners{};
};
using CasePrograms = std::array<CaseProgram, 256>;

CaseProgram CompileCase(const CaseTable& table, size_t caseIndex) {
    CaseProgram program;
    const auto& edgeRow = table.caseEdges[caseIndex];
    uint32_t listed = 0;
    for (int k = 1; k <= edgeRow[0] && k <= 12; ++k) {
        const int e = edgeRow[static_cast<size_t>(k)];
        if (e < 1 || e > 12 || (listed >> e & 1u)) continue;
        listed |= 1u << e;
        program.edges[program.edgeCount++] = static_cast<uint8_t>(e);
    }
    const auto& triangleRow = table.caseTriangles[caseIndex];
    for (int k = 1; k <= 3 * triangleRow[0] && k <= 30; ++k) {
        const int e = triangleRow[static_cast<size_t>(k)];
        const bool computed = e >= 1 && e <= 12 && (listed >> e & 1u);
        program.corners[program.cornerCount++] = static_cast<uint8_t>(computed ? e : 0);
    }
    return program;
}

CasePrograms CompileCases(const CaseTable& table) {
    CasePrograms programs;
    for (size_t caseIndex = 0; caseIndex < programs.size(); ++caseIndex)
        programs[caseIndex] = CompileCase(table, caseIndex);
    return programs;
}

// An edge in the form the point computation wants: its two corners, its axis
// and which of the two coordinates (0: cube origin, 1: origin + step) each
// other axis takes.
struct EdgeShape {
    uint8_t from, to, axis;
    std::array<uint8_t, 3> side;
};

constexpr std::array<EdgeShape, 13> MakeEdgeShapes() {
    std::array<EdgeShape, 13> shapes{};
    for (size_t e = 1; e <= 12; ++e) {
        const CubeEdge& edge = kCubeEdges[e];
        const auto& offset = kCubeCorners[static_cast<size_t>(edge.from)];
        shapes[e] = {static_cast<uint8_t>(edge.from), static_cast<uint8_t>(edge.to), static_cast<uint8_t>(edge.axis),
                     {static_cast<uint8_t>(offset[0]), static_cast<uint8_t>(offset[1]), static_cast<uint8_t>(offset[2])}};
    }
    return shapes;
}
constexpr std::array<EdgeShape, 13> kEdgeShapes = MakeEdgeShapes();

// Per axis, the cube origin coordinate of index k and that coordinate plus the
// step: the same single-precision values the per-cube formulas give.
struct AxisCoordinates {
    std::vector<float> origin, far;
    float step = 0.0f;
    AxisCoordinates(const GridParams& g, int axis, int n) : origin(static_cast<size_t>(n) + 1), far(origin.size()) {
        step = g(6 + axis);
        for (int k = 1; k <= n; ++k) {
            origin[static_cast<size_t>(k)] = GridPointCoordinate(g, axis, k);
            far[static_cast<size_t>(k)] = origin[static_cast<size_t>(k)] + step;
        }
    }
};

// Everything the slabs of one layer share; read-only while they are extracted.
struct LayerJob {
    LayerJob(const GridParams& g, const DensityGrid& values, float contourLevel, const CaseTable& table)
        : grid(values), level(contourLevel), nx(values.nx()), ny(values.ny()), nz(values.nz()),
          programs(CompileCases(table)), x(g, 1, nx), y(g, 2, ny), z(g, 3, nz) {
        const size_t rowStep = static_cast<size_t>(nx), planeStep = rowStep * static_cast<size_t>(ny);
        for (size_t k = 0; k < 8; ++k)
            cornerOffset[k] = static_cast<size_t>(kCubeCorners[k][0]) + rowStep * static_cast<size_t>(kCubeCorners[k][1]) +
                              planeStep * static_cast<size_t>(kCubeCorners[k][2]);
    }

    int slabCount() const { return (nx - 1 + kSlabWidth - 1) / kSlabWidth; }
    int firstColumn(int slab) const { return 1 + slab * kSlabWidth; }
    int columnCount(int slab) const { return std::min(kSlabWidth, nx - firstColumn(slab)); }

    const DensityGrid& grid;
    float level;
    int nx, ny, nz;
    CasePrograms programs;
    AxisCoordinates x, y, z;
    float step[3] = {x.step, y.step, z.step};
    std::array<size_t, 8> cornerOffset{};   // from corner 0 to corner k in the value array
};

// Room for triangles in the store: `room` records from `next` on.
struct TriangleSpan {
    TriangleRecord* next;
    int64_t room;
};

// Stores the triangles of one cube with a crossing in the table's order; false
// when the span is used up first.
bool EmitCube(const LayerJob& job, const CaseProgram& program, const float* corner0, const float (&side)[3][2],
              TriangleSpan& out) {
    // Edge points by edge number; slot 0 is the zero point.
    std::array<float, 3> points[13];
    points[0] = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < program.edgeCount; ++k) {
        const uint8_t e = program.edges[static_cast<size_t>(k)];
        const EdgeShape& shape = kEdgeShapes[e];
        const float t = EdgeFraction(corner0[job.cornerOffset[shape.from]], corner0[job.cornerOffset[shape.to]], job.level);
        const float along = side[shape.axis][0] + t * job.step[shape.axis];
        points[e] = {shape.axis == 0 ? along : side[0][shape.side[0]],
                     shape.axis == 1 ? along : side[1][shape.side[1]],
                     shape.axis == 2 ? along : side[2][shape.side[2]]};
    }
    for (int k = 0; k < program.cornerCount; k += 3) {
        if (out.room == 0) return false;
        TriangleRecord& record = *out.next++;
        --out.room;
        for (size_t q = 0; q < 3; ++q) {
            const auto& p = points[program.corners[static_cast<size_t>(k) + q]];
            record.point[q] = {p[0], p[1], p[2]};
        }
    }
    return true;
}

// A cube the surface crosses, in a column of a slab.
struct Crossing {
    uint16_t b, c;
    uint8_t caseIndex;
};

// One thread's working memory: the above-level bits of a slab's grid rows and,
// per cube column of the slab, its cubes with a crossing in (y, z) order.
class SlabExtractor {
public:
    explicit SlabExtractor(const LayerJob& job)
        : job_(job), above_(static_cast<size_t>(job.ny) * static_cast<size_t>(job.nz)) {}

    // Finds the cubes of the slab that the surface crosses and counts their triangles;
    // with `listing` false it only counts them.
    void classify(int slab, bool listing = true) {
        slab_ = slab;
        markAbove();
        listCrossings(listing);
    }
    int64_t triangleCount() const { return triangles_; }

    // Stores the triangles of column `column` (0-based in the slab); false when
    // the span is used up first.
    bool emitColumn(int column, TriangleSpan& out) const {
        const LayerJob& job = job_;
        const int a = job.firstColumn(slab_) + column;
        const float* values = job.grid.values().data();
        float side[3][2] = {{job.x.origin[static_cast<size_t>(a)], job.x.far[static_cast<size_t>(a)]}, {}, {}};
        const std::vector<Crossing>& cubes = crossings_[static_cast<size_t>(column)];
        for (size_t n = 0; n < cubes.size(); ++n) {
            if (n + kPrefetchCubes < cubes.size()) prefetchCube(a, cubes[n + kPrefetchCubes]);
            const Crossing& cube = cubes[n];
            side[1][0] = job.y.origin[cube.b];
            side[1][1] = job.y.far[cube.b];
            side[2][0] = job.z.origin[cube.c];
            side[2][1] = job.z.far[cube.c];
            const float* corner0 = values + job.grid.index(a, cube.b, cube.c);
            if (!EmitCube(job, job.programs[cube.caseIndex], corner0, side, out)) return false;
        }
        return true;
    }

private:
    // Asks for the four grid rows of a cube ahead of its turn.
    void prefetchCube(int a, const Crossing& cube) const {
        const float* corner0 = job_.grid.values().data() + job_.grid.index(a, cube.b, cube.c);
        for (size_t k = 0; k < 8; k += 2) __builtin_prefetch(corner0 + job_.cornerOffset[k]);
    }

    // Bit i of row (b, c) is set when grid point (first column + i, b, c) lies above
    // the level. The rows are read in memory order.
    void markAbove() {
        const LayerJob& job = job_;
        const int points = job.columnCount(slab_) + 1;
        const size_t rows = above_.size(), rowStep = static_cast<size_t>(job.nx);
        const float* first = job.grid.values().data() + job.grid.index(job.firstColumn(slab_), 1, 1);
        for (size_t r = 0; r < rows; ++r) {
            const float* row = first + r * rowStep;
            if (r + kPrefetchRows < rows) {
                __builtin_prefetch(row + kPrefetchRows * rowStep);
                __builtin_prefetch(row + kPrefetchRows * rowStep + points - 1);
            }
            above_[r] = AboveBits(row, points, job.level);
        }
    }

    // A cube has a crossing unless its eight corners are all above or all not
    // above; the four rows around a line of cubes along x tell that for the whole
    // slab at once, and give the cubes' case indices.
    void listCrossings(bool listing) {
        const LayerJob& job = job_;
        const size_t ny = static_cast<size_t>(job.ny);
        const uint32_t columns = (uint32_t{1} << job.columnCount(slab_)) - 1;
        for (auto& list : crossings_) list.clear();
        triangles_ = 0;
        for (int b = 1; b < job.ny; ++b) {
            const uint32_t* row = above_.data() + (b - 1);
            uint32_t low0 = row[0], low1 = row[1];   // rows (b, c) and (b + 1, c)
            for (int c = 1; c < job.nz; ++c) {
                row += ny;
                const uint32_t high0 = row[0], high1 = row[1];   // rows (b, c + 1) and (b + 1, c + 1)
                const uint32_t any = low0 | low1 | high0 | high1, all = low0 & low1 & high0 & high1;
                uint32_t crossing = (any | any >> 1) & ~(all & all >> 1) & columns;
                while (crossing) {
                    const int i = std::countr_zero(crossing);
                    crossing &= crossing - 1;
                    // Corners 0, 1 | 3, 2 | 4, 5 | 7, 6 lie at x offsets 0, 1 of the four rows.
                    const uint32_t caseIndex = (low0 >> i & 3u) | (low1 >> i & 1u) << 3 | (low1 >> (i + 1) & 1u) << 2 |
                                               (high0 >> i & 3u) << 4 | (high1 >> i & 1u) << 7 |
                                               (high1 >> (i + 1) & 1u) << 6;
                    if (listing)
                        crossings_[static_cast<size_t>(i)].push_back(
                            {static_cast<uint16_t>(b), static_cast<uint16_t>(c), static_cast<uint8_t>(caseIndex)});
                    triangles_ += job.programs[caseIndex].cornerCount / 3;
                }
                low0 = high0;
                low1 = high1;
            }
        }
    }

    const LayerJob& job_;
    int slab_ = 0;
    int64_t triangles_ = 0;
    std::vector<uint32_t> above_;
    std::array<std::vector<Crossing>, kSlabWidth> crossings_;
};

std::string LayerCaption(int layer) {
    // The standard number-to-text conversion puts a blank before a non-negative number.
    return "ZOL map processing progress. Layer number: " + std::to_string(layer);
}

// Shows 100 * done / total when the percentage changed.
class ProgressForward {
public:
    ProgressForward(ProgressSink* sink, int total) : sink_(sink), total_(total) {}
    void columnsDone(int done) {
        const int percent = static_cast<int>(100LL * done / total_);
        if (sink_ && percent != shown_) sink_->setProgress(shown_ = percent);
    }

private:
    ProgressSink* sink_;
    int total_;
    int shown_ = 0;
};

// The slabs are taken in turn by one or more threads. Each slab counts its
// triangles first; its place in the store follows from the counts of the slabs
// before it, so every thread writes straight into the store and the result does
// not depend on the number of threads.
class LayerExtraction {
public:
    LayerExtraction(const LayerJob& job, TriangleStore& store, int layer)
        : job_(job), first_(&store.at(layer, 1)), ends_(new std::atomic<int64_t>[static_cast<size_t>(job.slabCount())]) {
        for (int slab = 0; slab < job.slabCount(); ++slab) ends_[static_cast<size_t>(slab)] = kUnknown;
    }

    // On the calling thread; the bar shows the column that starts.
    void runHere(ProgressSink* progress) {
        ProgressForward forward(progress, job_.nx - 1);
        work([&](int column) { forward.columnsDone(column); });
        if (error_) std::rethrow_exception(error_);
    }

    // On `threads` workers while the calling thread shows their progress.
    void runOnThreads(int threads, ProgressSink* progress) {
        running_ = threads;
        {
            std::vector<std::jthread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([this] {
                    work([](int) {});
                    std::lock_guard lock(mutex_);
                    --running_;
                    finished_.notify_one();
                });
            ProgressForward forward(progress, job_.nx - 1);
            std::unique_lock lock(mutex_);
            while (running_ > 0) {
                finished_.wait_for(lock, kProgressPoll);
                lock.unlock();
                forward.columnsDone(columnsDone_);
                lock.lock();
            }
            forward.columnsDone(columnsDone_);
        }
        if (error_) std::rethrow_exception(error_);
    }

    // Triangles stored, and whether the layer had more than the store holds.
    int32_t count() const { return static_cast<int32_t>(std::min<int64_t>(stored_, kMaxTrianglesPerLayer)); }
    bool overflowed() const { return stored_ > kMaxTrianglesPerLayer; }

private:
    static constexpr int64_t kUnknown = -1;   // the slab's end is not known yet
    static constexpr int64_t kFailed = -2;    // the slab's thread failed: nothing after it counts

    template <typename ColumnStart>
    void work(ColumnStart columnStart) {
        int slab = -1;
        try {
            SlabExtractor extractor(job_);
            // A slab once taken is always given an end, so no thread waits forever.
            while (!stop_) {
                slab = next_++;
                if (slab >= job_.slabCount()) return;
                extractor.classify(slab);
                const int64_t begin = slab == 0 ? 0 : endOf(slab - 1);
                if (begin == kFailed) {
                    publish(slab, kFailed);
                    return;
                }
                const int64_t end = begin + extractor.triangleCount();
                publish(slab, end);
                TriangleSpan out{first_ + std::min<int64_t>(begin, kMaxTrianglesPerLayer),
                                 std::max<int64_t>(0, std::min<int64_t>(end, kMaxTrianglesPerLayer) - begin)};
                if (end > kMaxTrianglesPerLayer) stop_ = true;   // the slabs after it find no room
                for (int i = 0; i < job_.columnCount(slab); ++i) {
                    columnStart(job_.firstColumn(slab) + i);
                    if (!extractor.emitColumn(i, out)) break;
                    ++columnsDone_;
                }
                for (int64_t seen = stored_; seen < end && !stored_.compare_exchange_weak(seen, end);) {
                }
            }
        } catch (const std::bad_alloc&) {
            fail(MemoryStop(job_.grid), slab);
        }
    }

    int64_t endOf(int slab) {
        std::atomic<int64_t>& end = ends_[static_cast<size_t>(slab)];
        int64_t value = end.load();
        while (value == kUnknown) {
            end.wait(kUnknown);
            value = end.load();
        }
        return value;
    }

    void publish(int slab, int64_t end) {
        ends_[static_cast<size_t>(slab)] = end;
        ends_[static_cast<size_t>(slab)].notify_all();
    }

    void fail(const InputError& stop, int slab) {
        {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::make_exception_ptr(stop);
        }
        stop_ = true;
        if (slab >= 0 && slab < job_.slabCount() && ends_[static_cast<size_t>(slab)] == kUnknown) publish(slab, kFailed);
    }

    const LayerJob& job_;
    TriangleRecord* first_;
    std::unique_ptr<std::atomic<int64_t>[]> ends_;   // per slab: one past its last triangle
    std::atomic<int> next_{0};
    std::atomic<int> columnsDone_{0};
    std::atomic<int64_t> stored_{0};   // the largest slab end reached
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable finished_;
    int running_ = 0;
    std::exception_ptr error_;
};

int ThreadCount(const MarchOptions& options, const LayerJob& job) {
    int threads = options.threads;
    if (threads <= 0) {
        const int64_t cubes = int64_t(job.nx - 1) * int64_t(job.ny - 1) * int64_t(job.nz - 1);
        threads = cubes < kThreadedCubes ? 1 : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    return std::min(threads, job.slabCount());
}

}  // namespace

int64_t CountTriangles(const GridParams& g, const DensityGrid& grid, float level, const CaseTable& table) {
    if (grid.nx() < 2 || grid.ny() < 2 || grid.nz() < 2) return 0;
    const LayerJob job(g, grid, level, table);
    SlabExtractor extractor(job);
    int64_t total = 0;
    for (int slab = 0; slab < job.slabCount(); ++slab) {
        extractor.classify(slab, false);
        total += extractor.triangleCount();
    }
    return total;
}

void MarchLayer(const GridParams& g, const DensityGrid& grid, float level, int layer,
                TriangleStore& store, const CaseTable& table, ProgressSink* progress, MarchOptions options) {
    store.count(layer) = 0;
    if (progress) {
        progress->setProgress(0);
        progress->showProgress(LayerCaption(layer));
    }
    if (grid.nx() > 1 && grid.ny() > 1 && grid.nz() > 1) {
        std::optional<LayerJob> job;
        std::optional<LayerExtraction> extraction;
        try {
            job.emplace(g, grid, level, table);
            extraction.emplace(*job, store, layer);
        } catch (const std::bad_alloc&) {
            throw MemoryStop(grid);
        }
        const int threads = ThreadCount(options, *job);
        if (threads <= 1)
            extraction->runHere(progress);
        else
            extraction->runOnThreads(threads, progress);
        store.count(layer) = extraction->count();
        if (extraction->overflowed()) Fail(kCapacityMessage);
    }
    if (progress) progress->hideProgress();
}

}  // namespace tivarel
