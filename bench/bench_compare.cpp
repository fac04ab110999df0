// Each rate of the core beside its reference, measured in one run:
//  - the surface extraction (one thread) beside VTK's vtkFlyingEdges3D on the same
//    grid and level, timed through bench/flying_edges.py with Debian's python3-vtk9;
//  - the extraction on all threads beside one thread;
//  - FOU reading beside a bare std::from_chars loop over the same text;
//  - the bond search beside the all-pairs search.
// Times are the best of several runs.
// Run: build/bench/tivarel_compare [surface|fou [FILE]|bonds]
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "bench_maps.h"
#include "mapio/atoms.h"
#include "mapio/fou_reader.h"
#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

using bench::BestSeconds;

const CaseTable& Table() {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    return table;
}

TriangleStore& Store() {
    static TriangleStore store;
    return store;
}

struct BenchGrid {
    GridParams g;
    DensityGrid grid;
    explicit BenchGrid(int n) {
        g(1) = g(2) = g(3) = static_cast<float>(n);
        g(7) = g(8) = g(9) = 0.1f;
        grid.resize(n, n, n);
    }
};

// Two smooth overlapping blobs.
BenchGrid TwoBlobs(int n) {
    BenchGrid t(n);
    for (int c = 1; c <= n; ++c)
        for (int b = 1; b <= n; ++b)
            for (int a = 1; a <= n; ++a) {
                const double d1 = std::hypot(a - 100.0, b - 120.0, c - 128.0);
                const double d2 = std::hypot(a - 160.0, b - 136.0, c - 120.0);
                t.grid(a, b, c) = static_cast<float>(100.0 * std::exp(-d1 * d1 / 4000.0) +
                                                     80.0 * std::exp(-d2 * d2 / 3000.0));
            }
    return t;
}

// Like a real map: Gaussian atoms of width 1.6 grid steps at random positions,
// plus a little noise.
BenchGrid DenseAtoms(int n, int atoms) {
    BenchGrid t(n);
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> noise(-0.002f, 0.002f);
    std::vector<float> values(static_cast<size_t>(n) * n * n);
    for (float& v : values) v = noise(random);
    std::uniform_real_distribution<double> position(1.0, n);
    const double sigma = 1.6, reach = 4.0 * sigma;
    for (int k = 0; k < atoms; ++k) {
        const double x = position(random), y = position(random), z = position(random);
        for (int c = std::max(1, int(z - reach)); c <= std::min(n, int(z + reach) + 1); ++c)
            for (int b = std::max(1, int(y - reach)); b <= std::min(n, int(y + reach) + 1); ++b)
                for (int a = std::max(1, int(x - reach)); a <= std::min(n, int(x + reach) + 1); ++a) {
                    const double r2 = (a - x) * (a - x) + (b - y) * (b - y) + (c - z) * (c - z);
                    values[t.grid.index(a, b, c)] += static_cast<float>(std::exp(-r2 / (2 * sigma * sigma)));
                }
    }
    for (int c = 1; c <= n; ++c)
        for (int b = 1; b <= n; ++b)
            for (int a = 1; a <= n; ++a) t.grid(a, b, c) = values[t.grid.index(a, b, c)];
    return t;
}

// Past the store's capacity counts as more than any wanted number.
int32_t Triangles(const BenchGrid& t, float level) {
    try {
        MarchLayer(t.g, t.grid, level, 1, Store(), Table(), nullptr, MarchOptions{1});
    } catch (const InputError&) {
        return kMaxTrianglesPerLayer + 1;
    }
    return Store().count(1);
}

// The level in [low, high] whose surface has about `wanted` triangles (fewer at higher levels).
float LevelFor(const BenchGrid& t, int32_t wanted, float low, float high) {
    for (int i = 0; i < 24; ++i) {
        const float mid = 0.5f * (low + high);
        (Triangles(t, mid) > wanted ? low : high) = mid;
    }
    return high;
}

struct VtkResult {
    double seconds = 0.0;
    long triangles = 0;
};

bool HaveVtk() {
    return std::system("/usr/bin/python3 -c 'import vtkmodules.vtkFiltersCore' >/dev/null 2>&1") == 0;
}

VtkResult TimeFlyingEdges(const BenchGrid& t, float level) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string raw = (dir / "tivarel_bench_grid.raw").string(), out = (dir / "tivarel_bench_vtk.txt").string();
    {
        std::ofstream file(raw, std::ios::binary);
        file.write(reinterpret_cast<const char*>(t.grid.values().data()),
                   static_cast<std::streamsize>(t.grid.values().size() * sizeof(float)));
    }
    char levelText[32];
    std::snprintf(levelText, sizeof levelText, "%.9g", static_cast<double>(level));
    const std::string command = "/usr/bin/python3 " TIVAREL_SOURCE_DIR "/bench/flying_edges.py " + raw + " " +
                                std::to_string(t.grid.nx()) + " " + std::to_string(t.grid.ny()) + " " +
                                std::to_string(t.grid.nz()) + " " + levelText + " 7 > " + out;
    VtkResult result;
    if (std::system(command.c_str()) == 0) {
        std::ifstream answer(out);
        answer >> result.seconds >> result.triangles;
    }
    std::filesystem::remove(raw);
    std::filesystem::remove(out);
    return result;
}

void CompareExtraction(const char* name, const BenchGrid& t, float level, bool vtk) {
    const double cubes = double(t.grid.nx() - 1) * (t.grid.ny() - 1) * (t.grid.nz() - 1);
    const double one = BestSeconds(7, [&] { Triangles(t, level); });
    const int32_t ours = Store().count(1);
    const double all = BestSeconds(7, [&] { MarchLayer(t.g, t.grid, level, 1, Store(), Table(), nullptr); });
    std::printf("%-34s level %-10.6g %8d triangles\n", name, static_cast<double>(level), ours);
    std::printf("  MarchLayer, 1 thread         %8.2f ms  %8.1f M cubes/s\n", one * 1e3, cubes / one / 1e6);
    if (vtk) {
        const VtkResult fe = TimeFlyingEdges(t, level);
        std::printf("  vtkFlyingEdges3D, 1 thread   %8.2f ms  %8.1f M cubes/s  %8ld triangles%s\n", fe.seconds * 1e3,
                    cubes / fe.seconds / 1e6, fe.triangles,
                    fe.triangles == ours ? "" : "  (count differs: ties and saddles are resolved differently)");
        std::printf("  ratio MarchLayer / vtkFlyingEdges3D: %.2f\n", fe.seconds / one);
    }
    std::printf("  MarchLayer, %u threads        %8.2f ms  %8.1f M cubes/s  speed-up %.2f\n",
                std::thread::hardware_concurrency(), all * 1e3, cubes / all / 1e6, one / all);
}

void CompareExtractions() {
    const bool vtk = HaveVtk();
    if (!vtk)
        std::printf("python3-vtk9 is not installed for /usr/bin/python3: no vtkFlyingEdges3D reference in this run.\n");
    const BenchGrid blobs = TwoBlobs(256);
    CompareExtraction("two blobs 256^3", blobs, 25.0f, vtk);
    const BenchGrid dense = DenseAtoms(256, 6000);
    for (const int32_t wanted : {110000, 320000})
        CompareExtraction("6000 atoms 256^3", dense, LevelFor(dense, wanted, 0.0f, 1.5f), vtk);
}

// The reference: every token of the text (split on blanks, commas and line ends)
// through std::from_chars, summed so that nothing is left out.
double FromCharsLoop(const std::string& text) {
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; };
    double sum = 0.0;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        while (p < end && separator(*p)) ++p;
        const char* start = p;
        while (p < end && !separator(*p)) ++p;
        float value = 0.0f;
        std::from_chars(start, p, value);
        sum += value;
    }
    return sum;
}

void CompareFouReading(const std::string& path) {
    const std::string text = path.empty() ? bench::FouText() : ReadWholeFile(path);
    double sum = 0.0;
    float maxValue = 0.0f;
    const double reference = BestSeconds(7, [&] { sum += FromCharsLoop(text); });
    const auto parse = [&](int threads) {
        return BestSeconds(7, [&] { maxValue += ParseFouMap(text, "bench.fou", {threads}).gridParams.maxValue(); });
    };
    const double reader = parse(1), everyCore = parse(0);
    const double mb = static_cast<double>(text.size()) / 1e6;
    std::printf("FOU text of %.1f MB (%s)\n", mb, path.empty() ? "190^3 values" : path.c_str());
    std::printf("  ParseFouMap, one thread      %8.2f ms  %8.1f MB/s\n", reader * 1e3, mb / reader);
    std::printf("  ParseFouMap, every core      %8.2f ms  %8.1f MB/s\n", everyCore * 1e3, mb / everyCore);
    std::printf("  std::from_chars loop         %8.2f ms  %8.1f MB/s\n", reference * 1e3, mb / reference);
    std::printf("  ratio ParseFouMap on one thread / from_chars loop: %.2f   (checksums %g %g)\n", reference / reader,
                sum, static_cast<double>(maxValue));
}

// 32 767 atoms of C, N, O and H at random positions in a box of organic density
// (one atom per 11 cubic units), typed from the shipped atompar2.txt.
std::vector<AtomRecord> RandomStructure(const AtomParTable& table) {
    const int n = kMaxCount;
    const float box = static_cast<float>(std::cbrt(11.0 * n));
    std::mt19937 random(99);
    std::uniform_real_distribution<float> coordinate(0.0f, box);
    const char* labels[] = {"C   ", "C   ", "N   ", "O   ", "H   ", "H   "};
    std::vector<AtomRecord> atoms(static_cast<size_t>(n));
    for (AtomRecord& atom : atoms) {
        atom.name = labels[random() % 6];
        atom.position = {coordinate(random), coordinate(random), coordinate(random)};
    }
    AssignAtomTypes(atoms, table);
    return atoms;
}

// The reference: every pair once, as the rule is written.
size_t AllPairBonds(const std::vector<AtomRecord>& atoms, const AtomParTable& table) {
    size_t count = 0;
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size(); ++j) {
            const Vec3 a = atoms[i].position, b = atoms[j].position;
            const double d = AtomDistance(a.x, a.y, a.z, b.x, b.y, b.z);
            const auto [low, high] = BondLimits(table, atoms[i].type, atoms[j].type);
            count += d > low && d < high && count < static_cast<size_t>(kMaxBonds);
        }
    return count;
}

void CompareBondSearch() {
    const AtomParTable table = ReadAtomParameters(TIVAREL_BIN_DIR "/atompar2.txt");
    const std::vector<AtomRecord> atoms = RandomStructure(table);
    BondList bonds;
    size_t reference = 0;
    const double cells = BestSeconds(5, [&] { FindBonds(atoms, table, bonds); });
    const double allPairs = BestSeconds(1, [&] { reference = AllPairBonds(atoms, table); });
    std::printf("bonds of %zu random atoms\n", atoms.size());
    std::printf("  FindBonds (cell list)        %8.2f ms  %8d bonds\n", cells * 1e3, bonds.count());
    std::printf("  all-pairs search             %8.2f ms  %8zu bonds\n", allPairs * 1e3, reference);
    std::printf("  ratio FindBonds / all pairs: %.0f\n", allPairs / cells);
}

}  // namespace
}  // namespace tivarel

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "surface") tivarel::CompareExtractions();
    if (only.empty() || only == "fou") tivarel::CompareFouReading(argc > 2 ? argv[2] : "");
    if (only.empty() || only == "bonds") tivarel::CompareBondSearch();
    return 0;
}
