// tivarel-import's conversions beside their anchors, measured in one run. The whole
// command is the program itself, run as users run it, in a process of its own:
//  - an MTZ of 100 000 reflections to an MT1 map: the whole command beside its parts
//    (reading the coefficients, the FFT, the resampling) and beside gemmi's own reading
//    of the file and FFT of the same coefficients;
//  - a 200^3 CCP4 map to an MT1 map, as it is and gzipped: the whole command beside
//    gemmi's own reading and set-up of the same file and beside the resampling alone.
// Times are the best of several runs. The files are written into a temporary folder.
// Run: build/bench/tivarel_import_bench
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/ccp4.hpp>
#include <gemmi/fourier.hpp>
#include <gemmi/gz.hpp>
#include <gemmi/mtz.hpp>
#include <gemmi/symmetry.hpp>
#undef GEMMI_WRITE_IMPLEMENTATION

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_maps.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/file_bytes.h"
#include "import/map_coefficients.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

using bench::BestSeconds;

void Row(const char* what, double seconds, double anchor) {
    std::printf("  %-52s %8.1f ms  %6.2f\n", what, 1e3 * seconds, seconds / anchor);
}

// Random map coefficients for the unique reflections of a P 1 21 1 cell to `dMin`.
std::string RandomMtz(double dMin, int* reflections) {
    gemmi::Mtz mtz(true);
    mtz.spacegroup = gemmi::find_spacegroup_by_name("P 1 21 1");
    const gemmi::UnitCell cell(60, 70, 80, 90, 100, 90);
    mtz.set_cell_for_all(cell);
    mtz.add_dataset("bench");
    mtz.add_column("FWT", 'F', -1, -1, false);
    mtz.add_column("PHWT", 'P', -1, -1, false);
    const gemmi::ReciprocalAsu asu(mtz.spacegroup);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> amplitude(0, 100), phase(-180, 180);
    std::vector<float> data;
    const int n = int(cell.a / dMin) + 1, m = int(cell.b / dMin) + 1, l = int(cell.c / dMin) + 1;
    for (int h = -n; h <= n; ++h)
        for (int k = -m; k <= m; ++k)
            for (int j = -l; j <= l; ++j) {
                const gemmi::Miller hkl{h, k, j};
                if (!asu.is_in(hkl) || hkl == gemmi::Miller{0, 0, 0} || cell.calculate_d(hkl) < dMin) continue;
                data.insert(data.end(), {float(h), float(k), float(j), amplitude(random), phase(random)});
            }
    mtz.set_data(data.data(), data.size());
    *reflections = mtz.nreflections;
    std::string bytes;
    mtz.write_to_string(bytes);
    return bytes;
}

void Write(const fs::path& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The command as a user runs it, its messages left unread; a failure ends the benchmark.
void Import(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(TIVAREL_IMPORT_PROGRAM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", TIVAREL_IMPORT_PROGRAM);
        std::exit(1);
    }
}

void MtzBench(const fs::path& dir) {
    int reflections = 0;
    const fs::path mtzPath = dir / "bench.mtz";
    Write(mtzPath, RandomMtz(1.5, &reflections));
    const std::string path = mtzPath.string(), out = (dir / "bench.mt1").string();
    std::printf("MTZ of %d reflections (P 1 21 1, 60 x 70 x 80 Å, d-min 1.5 Å) to MT1\n", reflections);
    const double whole = BestSeconds(3, [&] { Import({path, "-o", out}); });
    FileContent bytes;
    const double read = BestSeconds(5, [&] { bytes = ReadPossiblyGzipped(path); });
    MapCoefficients coefficients;
    const double parse = BestSeconds(5, [&] { coefficients = ReadMtzCoefficients(bytes, path, {}); });
    MapDensity map;
    const double fft = BestSeconds(3, [&] { map = FourierMap(coefficients, path); });
    const double resample = BestSeconds(3, [&] { ConvertMap(map, nullptr, {}, path); });
    const double gemmi = BestSeconds(3, [&] {
        gemmi::Mtz mtz;
        mtz.read_file(path);
        const gemmi::FPhiProxy<gemmi::MtzDataProxy> fphi(gemmi::MtzDataProxy{mtz}, 3, 4);
        gemmi::transform_f_phi_to_map<float>(fphi, {0, 0, 0}, 3.0);
    });
    std::printf("  %-52s %8s     ratio to gemmi's read and FFT\n", "", "");
    Row("tivarel-import, whole command", whole, gemmi);
    Row("  reading the file", read, gemmi);
    Row("  the coefficients", parse, gemmi);
    Row("  FFT (gemmi)", fft, gemmi);
    Row("  resampling onto the MT1 grid and checks", resample, gemmi);
    Row("gemmi: read_file + transform_f_phi_to_map", gemmi, gemmi);
}

// A 200^3 map of a smooth density over its whole cell.
std::string CubeMap() {
    gemmi::Ccp4<float> ccp4;
    ccp4.grid.set_unit_cell(60, 60, 60, 90, 90, 90);
    ccp4.grid.spacegroup = &gemmi::get_spacegroup_p1();
    ccp4.grid.set_size(200, 200, 200);
    for (int w = 0; w < 200; ++w)
        for (int v = 0; v < 200; ++v)
            for (int u = 0; u < 200; ++u)
                ccp4.grid.set_value(u, v, w, float(std::sin(u * 0.1) * std::cos(v * 0.07) + std::sin(w * 0.05)));
    ccp4.update_ccp4_header(2, true);
    const fs::path tmp = fs::temp_directory_path() / "tivarel-bench-cube.ccp4";
    ccp4.write_ccp4_map(tmp.string());
    std::string bytes(ReadPossiblyGzipped(tmp.string()).view());
    fs::remove(tmp);
    return bytes;
}

// The map as it is, or gzipped as the EMDB serves its maps.
void Ccp4Bench(const fs::path& dir, const std::string& bytes200, bool gzipped) {
    const fs::path mapPath = dir / (gzipped ? "cube.ccp4.gz" : "cube.ccp4");
    if (gzipped) {
        gzFile file = gzopen(mapPath.c_str(), "wb6");
        gzwrite(file, bytes200.data(), unsigned(bytes200.size()));
        gzclose(file);
    } else {
        Write(mapPath, bytes200);
    }
    const std::string path = mapPath.string(), out = (dir / "cube.mt1").string();
    std::printf("CCP4 map of 200^3 points%s (%.0f MB) to MT1\n", gzipped ? ", gzipped" : "",
                double(fs::file_size(mapPath)) / 1e6);
    const double gemmi = BestSeconds(3, [&] {
        gemmi::Ccp4<float> ccp4;
        ccp4.read_ccp4(gemmi::MaybeGzipped(path));
        ccp4.setup(NAN, gemmi::MapSetup::Full);
    });
    const double whole = BestSeconds(3, [&] { Import({path, "-o", out}); });
    FileContent bytes;
    const double read = BestSeconds(3, [&] { bytes = ReadPossiblyGzipped(path); });
    MapDensity map;
    const double parse = BestSeconds(3, [&] { map = ParseCcp4Map(bytes, path); });
    const double resample = BestSeconds(3, [&] { ConvertMap(map, nullptr, {}, path); });
    std::printf("  %-52s %8s     ratio to gemmi's read and set-up\n", "", "");
    Row("tivarel-import, whole command", whole, gemmi);
    Row("  reading the file's bytes", read, gemmi);
    Row("  the map (gemmi's reader from memory)", parse, gemmi);
    Row("  resampling onto the MT1 grid and checks", resample, gemmi);
    Row("gemmi: read_ccp4_file + setup", gemmi, gemmi);
}

}  // namespace
}  // namespace tivarel

int main() {
    namespace fs = std::filesystem;
    std::string name = (fs::temp_directory_path() / "tivarel-bench-XXXXXX").string();
    if (!mkdtemp(name.data())) return 1;
    tivarel::MtzBench(name);
    const std::string cube = tivarel::CubeMap();
    tivarel::Ccp4Bench(name, cube, false);
    tivarel::Ccp4Bench(name, cube, true);
    fs::remove_all(name);
    return 0;
}
