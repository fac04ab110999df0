// Rates of the surface extraction and of FOU reading, for the closing notes:
// cubes and triangles per second on a 256^3 grid, and megabytes per second of map text.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "bench_maps.h"
#include "mapio/fou_reader.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

constexpr int kN = 256;

struct BenchGrid {
    GridParams g;
    DensityGrid grid;
    BenchGrid() {
        g(1) = g(2) = g(3) = kN;
        g(7) = g(8) = g(9) = 0.1f;
        grid.resize(kN, kN, kN);
        // Two smooth overlapping blobs; the level below cuts about 300 000 triangles.
        for (int c = 1; c <= kN; ++c)
            for (int b = 1; b <= kN; ++b)
                for (int a = 1; a <= kN; ++a) {
                    const double d1 = std::hypot(a - 100.0, b - 120.0, c - 128.0);
                    const double d2 = std::hypot(a - 160.0, b - 136.0, c - 120.0);
                    grid(a, b, c) = static_cast<float>(100.0 * std::exp(-d1 * d1 / 4000.0) +
                                                       80.0 * std::exp(-d2 * d2 / 3000.0));
                }
    }
};

const BenchGrid& Grid256() {
    static const BenchGrid grid;
    return grid;
}

const CaseTable& Table() {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    return table;
}

void BM_MarchLayer256(benchmark::State& state) {
    const BenchGrid& g = Grid256();
    static TriangleStore store;
    const MarchOptions options{static_cast<int>(state.range(0))};
    for (auto _ : state) MarchLayer(g.g, g.grid, 25.0f, 1, store, Table(), nullptr, options);
    const double cubes = std::pow(kN - 1, 3);
    state.counters["triangles"] = store.count(1);
    state.counters["cubes/s"] = benchmark::Counter(cubes, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["triangles/s"] =
        benchmark::Counter(store.count(1), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MarchLayer256)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The straightforward visit of the same cubes in the same order, reading eight
// grid values per cube and classifying them: the baseline the extraction is
// measured against (no triangles are made here at all).
void BM_NaiveCubeScan256(benchmark::State& state) {
    const BenchGrid& g = Grid256();
    for (auto _ : state) {
        long nonTrivial = 0;
        for (int a = 1; a < kN; ++a)
            for (int b = 1; b < kN; ++b)
                for (int c = 1; c < kN; ++c) {
                    int caseIndex = 0;
                    for (int k = 0; k < 8; ++k)
                        caseIndex |= IsAbove(25.0f, g.grid(a + kCubeCorners[k][0], b + kCubeCorners[k][1],
                                                           c + kCubeCorners[k][2])) << k;
                    nonTrivial += caseIndex != 0 && caseIndex != 255;
                }
        benchmark::DoNotOptimize(nonTrivial);
    }
    state.counters["cubes/s"] = benchmark::Counter(std::pow(kN - 1, 3), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_NaiveCubeScan256)->Unit(benchmark::kMillisecond);

void BM_ParseFou50MB(benchmark::State& state) {
    const std::string& text = bench::FouText();
    for (auto _ : state) {
        DensityMap map = ParseFouMap(text, "bench.fou");
        benchmark::DoNotOptimize(map.gridParams.maxValue());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseFou50MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tivarel
