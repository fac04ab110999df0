// Opening a map to its first frame, for the sample map and a 200^3 map: the whole
// time from program start to the first frame on screen, and where it goes (reading,
// default levels, bonds, surfaces, contours, rebuilding the scene).
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/tivarel_open_bench [KEEP_200_MAP_AS]
#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/gl_surface.h"
#include "app/main_window.h"
#include "app/progress_window.h"
#include "mapio/default_levels.h"
#include "session/session.h"
#include "app/qt_platform.h"
#include "mapio/fou_reader.h"
#include "mapio/side_files.h"
#include "render/gl.h"

namespace tivarel {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// A FOU map of n^3 points over a cubic cell of edge n / 10 with `atoms` C, N and O
// atoms, each a Gaussian of density in the grid.
std::string DenseFouText(int n, int atoms) {
    const double edge = n / 10.0, sigma = 0.4;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> fraction(0.05, 0.95);
    std::vector<std::array<double, 3>> sites(static_cast<size_t>(atoms));
    for (auto& site : sites) site = {fraction(random), fraction(random), fraction(random)};
    std::vector<float> values(static_cast<size_t>(n) * n * n, 0.0f);
    const int reach = static_cast<int>(4 * sigma * 10) + 1;
    for (const auto& site : sites) {
        const int centre[3] = {int(site[0] * n), int(site[1] * n), int(site[2] * n)};
        for (int z = std::max(0, centre[2] - reach); z < std::min(n, centre[2] + reach); ++z)
            for (int y = std::max(0, centre[1] - reach); y < std::min(n, centre[1] + reach); ++y)
                for (int x = std::max(0, centre[0] - reach); x < std::min(n, centre[0] + reach); ++x) {
                    const double dx = x * 0.1 - site[0] * edge, dy = y * 0.1 - site[1] * edge, dz = z * 0.1 - site[2] * edge;
                    values[(static_cast<size_t>(z) * n + y) * n + x] +=
                        static_cast<float>(10.0 * std::exp(-(dx * dx + dy * dy + dz * dz) / (2 * sigma * sigma)));
                }
    }
    const std::string e = std::to_string(edge);
    std::string t = "bench map\r\nheading\r\n" + e + " 0 0\r\n0 " + e + " 0\r\n0 0 " + e + "\r\n0 0 0\r\ncell\r\n";
    t += e + " " + e + " " + e + " 90 90 90\r\naxes\r\n0 .1 0 0\r\n0 .1 0 0\r\n0 .1 0 0\r\ncounts\r\n";
    t += std::to_string(n) + " " + std::to_string(n) + " " + std::to_string(n) + "\r\n";
    char buf[32];
    for (int z = 0; z < n; ++z) {
        t += "Section\r\n" + std::to_string(z + 1) + "\r\n";
        for (int x = 0; x < n; ++x)
            for (int y = 0; y < n; ++y) {
                std::snprintf(buf, sizeof buf, "%.4g%s", static_cast<double>(values[(static_cast<size_t>(z) * n + y) * n + x]),
                              y % 8 == 7 ? "\r\n" : " ");
                t += buf;
            }
        if (n % 8 != 0) t += "\r\n";
    }
    t += "atoms\r\n" + std::to_string(atoms) + " 14\r\n";
    const char* labels[] = {"C", "N", "O"};
    for (size_t k = 0; k < sites.size(); ++k) {
        std::snprintf(buf, sizeof buf, "%.5f %.5f %.5f", sites[k][0], sites[k][1], sites[k][2]);
        t += std::string(labels[k % 3]) + "\r\n0 0 0\r\n" + buf + "\r\n0 0 0 0 0 0 0\r\n";
    }
    return t;
}

// The steps of opening, one by one on the core, as the program runs them; then
// the whole opening with its progress window but without the main window.
void ReportSteps(const std::string& path) {
    {
        QtPlatform platform;
        ProgressWindow progress;
        Session session(platform, &progress);
        const auto opening = Clock::now();
        session.openMap(path);
        std::printf("  openMap with its progress window, no main window: %.0f ms\n", Ms(opening));
    }
    auto start = Clock::now();
    DensityMap map = ReadFouMap(path);
    const double read = Ms(start);
    {
        start = Clock::now();
        const FileBytes bytes(path);
        const double load = Ms(start);
        double parse[2] = {};
        for (const int threads : {1, 0}) {
            start = Clock::now();
            (void)ParseFouMap(bytes.view(), path, {threads});
            parse[threads == 0] = Ms(start);
        }
        std::printf("  reading: the file's bytes %.1f ms, parsed on all threads %.1f ms (on one %.1f ms)\n", load,
                    parse[1], parse[0]);
    }
    start = Clock::now();
    LayerSettings layers;
    SetLayerDefaults(layers, map.gridParams.minValue(), DefaultUpperValue(map.gridParams, false));
    const double levels = Ms(start);
    start = Clock::now();
    BondList bonds;
    BuildBonds(map, TIVAREL_BIN_DIR, bonds);
    const double bondTime = Ms(start);
    const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    static TriangleStore triangles;
    double surfaces[2] = {};
    for (const int threads : {1, 0}) {
        start = Clock::now();
        for (int layer = 1; layer <= 3; ++layer)
            MarchLayer(map.gridParams, map.grid, layers.layerLimit(layer), layer, triangles, table, nullptr,
                       MarchOptions{threads});
        surfaces[threads == 0] = Ms(start);
    }
    static SegmentStore segments;
    start = Clock::now();
    for (int layer = 1; layer <= 3; ++layer)
        (void)MarchSquares(map.gridParams, map.grid, layers.layerLimit(layer), layers.zSection, layer, segments);
    const double contours = Ms(start);
    std::printf("  read %.1f ms, levels %.3f ms, bonds %.1f ms (%d), surfaces %.1f ms on all threads (%.1f ms on one; "
                "%d + %d + %d triangles), contours %.1f ms\n",
                read, levels, bondTime, bonds.count(), surfaces[1], surfaces[0], triangles.count(1), triangles.count(2),
                triangles.count(3), contours);
}

// Showing a new progress window and waiting until it is on screen, as the
// extraction does before its first layer.
void ReportProgressWindow() {
    ProgressWindow progress;
    const auto start = Clock::now();
    progress.showProgress("ZOL map processing progress. Layer number: 1");
    std::printf("the first window of the program (the progress window) takes %.0f ms to appear\n", Ms(start));
    progress.hide();
}

// The real window: from before the map is opened to the first frame swapped, then
// one more frame that rebuilds the scene (the solids' list, the lines' buffer) and one
// frame of the kept scene.
void ReportFirstFrame(const std::string& path, const Clock::time_point* programStart) {
    QtPlatform platform;
    MainWindow window(platform);
    platform.setOwner(&window);
    const auto opening = Clock::now();
    window.start({StereoMode::None, path});
    const double load = Ms(opening);
    // The first expose runs the resize routine, which paints.
    while (!window.surface()->isExposed()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    window.surface()->makeCurrent();
    glFinish();
    const double firstFrame = Ms(opening);
    if (programStart) std::printf("  first frame %.0f ms after program start\n", Ms(*programStart));
    window.session().hideMarker();   // a change of the scene: the next frame records it anew
    auto start = Clock::now();
    window.paint();
    glFinish();
    const double rebuild = Ms(start);
    start = Clock::now();
    window.paint();
    glFinish();
    const double frame = Ms(start);
    std::printf("  first frame %.0f ms after opening began: OpenMap and window set-up %.0f ms, showing and the first "
                "paint %.0f ms; a frame that rebuilds the scene %.0f ms, a frame of the kept scene %.0f ms\n",
                firstFrame, load, firstFrame - load, rebuild, frame);
}

}  // namespace
}  // namespace tivarel

int main(int argc, char** argv) {
    const auto programStart = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    tivarel::ReportProgressWindow();
    const std::filesystem::path big = std::filesystem::temp_directory_path() / "tivarel_open_bench_200.fou";
    const std::pair<const char*, std::string> maps[] = {{"sample map", TIVAREL_SOURCE_DIR "/data/sample.fou"},
                                                        {"200^3 map", big.string()}};
    const std::chrono::steady_clock::time_point* start = &programStart;
    for (const auto& [name, path] : maps) {
        if (path == big.string()) std::ofstream(big, std::ios::binary) << tivarel::DenseFouText(200, 150);
        std::printf("%s (%.1f MB)\n", name, static_cast<double>(std::filesystem::file_size(path)) / 1e6);
        tivarel::ReportFirstFrame(path, start);
        start = nullptr;
        tivarel::ReportSteps(path);
    }
    if (argc > 1) {
        std::filesystem::copy_file(big, argv[1], std::filesystem::copy_options::overwrite_existing);
        std::printf("the 200^3 map is kept as %s\n", argv[1]);
    }
    std::filesystem::remove(big);
    return 0;
}
