// The import as a new user meets it: a model given with a box map far from its coordinates,
// maps too fine for the viewer's triangle limit, the values' mean and rms to set levels from,
// messages that name the cause, and --open's cache.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "ccp4_test_file.h"
#include "import/ccp4_reader.h"
#include "import/import_command.h"
#include "import/model_placement.h"
#include "mapio/default_levels.h"
#include "mapio/mt1_reader.h"
#include "mapio/program_stop.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

// A PDB file of atoms at these fractional positions of the test cell (7, 8, 9 Å, beta 110).
std::string PdbAt(const std::vector<std::pair<const char*, Vec3>>& atoms) {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1 21 1     2\n";
    char line[100];
    int serial = 0;
    for (const auto& [element, f] : atoms) {
        double p[3];
        for (size_t i = 0; i < 3; ++i) p[i] = kOrthogonal[i][0] * f[0] + kOrthogonal[i][1] * f[1] + kOrthogonal[i][2] * f[2];
        std::snprintf(line, sizeof line, "HETATM%5d  %-3s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n", ++serial,
                      element, p[0], p[1], p[2], element);
        text += line;
    }
    return text + "END\n";
}

class UserFiles : public ::testing::Test {
protected:
    std::string Put(const std::string& name, const std::string& bytes) const {
        WriteFile(dir / name, bytes);
        return (dir / name).string();
    }
    // The command in this process, with the viewer's case table beside it.
    std::pair<int, std::string> Import(const std::vector<std::string>& args) const {
        std::ostringstream out, err;
        const int status = RunImport(args, out, err, environment);
        return {status, err.str()};
    }
    const TempFolder folder;
    const fs::path& dir = folder.path();
    std::vector<std::string> viewerStarts;   // "viewer map" for each start
    ImportEnvironment environment{TIVAREL_BIN_DIR, (folder.path() / "cache").string(),
                                  [this](const std::string& viewer, const std::string& map) {
                                      viewerStarts.push_back(viewer + " " + map);
                                      return std::string("the test does not start it");
                                  }};
};

// A box of the P 1 21 1 crystal one cell away from the model: an atom reaches the box by a
// lattice translation, one only through its symmetry mate, one not at all and is put as near
// as it goes. With --margin around that last one alone there is no map data: an error.
TEST_F(UserFiles, ModelAtomsAreMovedOntoAFarBoxMap) {
    Ccp4File box = BoxFile({40, 45, 50}, {14, 12, 16});   // fractions 1.14-1.51, 1.125-1.4, 1.11-1.44
    box.spaceGroup = 4;
    const MapDensity map = ParseCcp4Map(Ccp4Bytes(box), "box.ccp4");
    Model model;
    model.atoms = {{"C", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}, {"O", {0.9, 0.9, 0.9}}};
    const Placement placement = PlaceAtomsInBox(model, map);
    EXPECT_EQ(placement.moved, 3u);
    EXPECT_EQ(placement.inside, 2u);
    // C by (1, 1, 1); N's mate (-x, y + 1/2, -z) by (2, 0, 2); O's mate, by (2, 0, 2), misses the
    // box by 0.043 of a along x and 0.011 of c along z, nearer than any other image.
    const Vec3 expected[3] = {{1.3, 1.3, 1.3}, {1.25, 1.35, 1.28}, {1.1, 1.4, 1.1}};
    for (size_t i = 0; i < 3; ++i)
        for (size_t a = 0; a < 3; ++a) EXPECT_NEAR(model.atoms[i].fractional[a], expected[i][a], 1e-12) << i << a;

    const std::string boxPath = Put("box.ccp4", Ccp4Bytes(box));
    const auto [status, err] = Import({boxPath, "--model", Put("model.pdb", PdbAt({{"C", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}}))});
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("2 atoms moved by symmetry or whole cells onto the map's box; 2 of 2 lie inside it"), std::string::npos) << err;
    const auto [refused, said] = Import({boxPath, "--model", Put("far.pdb", PdbAt({{"O", {0.9, 0.9, 0.9}}})), "--margin", "0.2"});
    EXPECT_EQ(refused, 1);
    EXPECT_NE(said.find(boxPath + ": holds no data in the box around the atoms of " + (dir / "far.pdb").string()),
              std::string::npos) << said;
}

// The viewer's own reader and marching cubes on a written map: does every default level fit
// in a layer?
bool FitsViewer(const std::string& mt1Path) {
    const DensityMap map = ReadMt1Map(mt1Path);
    const CaseTable table = LoadCellTable((fs::path(TIVAREL_BIN_DIR) / "cell_table.dat").string());
    static TriangleStore store;
    try {
        int layer = 1;
        for (float level : DefaultLevels(map.gridParams.minValue(), map.gridParams.maxValue()))
            MarchLayer(map.gridParams, map.grid, level, layer++, store, table, nullptr);
        return true;
    } catch (const ProgramStop&) {
        return false;
    }
}

// A whole-cell map of 8000 small blobs is too fine for the viewer at its own spacing: the
// default step is coarsened until the default levels fit, and says so; a step the user chose
// is kept, with a warning naming a step that fits, and that step does fit.
TEST_F(UserFiles, MapsTooFineForTheViewerAreCoarsenedOrWarnedAbout) {
    Ccp4File fine = BoxFile({0, 0, 0}, {100, 100, 100});
    fine.sampling = {100, 100, 100};
    fine.cell = {20, 20, 20, 90, 90, 90};
    fine.value = [](int x, int y, int z) {
        return std::cos(kTwoPi * x / 5.0) * std::cos(kTwoPi * y / 5.0) * std::cos(kTwoPi * z / 5.0);
    };
    const std::string map = Put("fine.ccp4", Ccp4Bytes(fine));
    const auto [status, err] = Import({map});
    ASSERT_EQ(status, 0) << err;
    std::smatch step;
    ASSERT_TRUE(std::regex_search(err, step, std::regex("at the map's own spacing of 0.2 Å the viewer's default levels need "
                                                        "[0-9]+ triangles in a layer, more than the 400000 it draws; the "
                                                        "step is ([0-9.]+) Å instead")))
        << err;
    EXPECT_GT(std::stod(step[1]), 0.2);
    EXPECT_TRUE(FitsViewer((dir / "fine.mt1").string()));

    const auto [kept, warned] = Import({map, "--step", "0.2", "-o", (dir / "kept.mt1").string()});
    ASSERT_EQ(kept, 0) << warned;
    std::smatch fits;
    ASSERT_TRUE(std::regex_search(warned, fits, std::regex("--step ([0-9.]+) fits"))) << warned;
    EXPECT_FALSE(FitsViewer((dir / "kept.mt1").string()));
    ASSERT_EQ(Import({map, "--step", fits[1], "-o", (dir / "fits.mt1").string()}).first, 0);
    EXPECT_TRUE(FitsViewer((dir / "fits.mt1").string()));
}

// The summary's mean and rms are those of the values written, and its levels mean + 1, 2, 3 rms.
TEST_F(UserFiles, TheSummaryGivesMeanRmsAndLevelsToTypeIn) {
    const auto [status, err] = Import({Put("cell.ccp4", Ccp4Bytes(BoxFile()))});
    ASSERT_EQ(status, 0) << err;
    const DensityMap map = ReadMt1Map((dir / "cell.mt1").string());
    double sum = 0, squares = 0;
    for (float v : map.grid.values()) sum += v;
    const double n = double(map.grid.values().size()), mean = sum / n;
    for (float v : map.grid.values()) squares += (v - mean) * (v - mean);
    const double rms = std::sqrt(squares / n);
    std::smatch said;
    ASSERT_TRUE(std::regex_search(err, said, std::regex("mean ([-0-9.e+]+), rms ([-0-9.e+]+); levels at mean \\+ 1, 2, 3 rms: "
                                                        "([-0-9.e+]+), ([-0-9.e+]+), ([-0-9.e+]+)")))
        << err;
    EXPECT_NEAR(std::stod(said[1]), mean, 1e-4 * std::fabs(mean));
    EXPECT_NEAR(std::stod(said[2]), rms, 1e-4 * rms);
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(std::stod(said[size_t(2 + k)]), mean + k * rms, 1e-4 * (mean + k * rms)) << k;
}

// Each message names the file and the cause, and nothing is written.
TEST_F(UserFiles, MessagesNameTheCause) {
    const std::string cell = Ccp4Bytes(BoxFile());
    std::string extended = cell;
    PutWord(extended, 24, 80);   // an extended header of 80 bytes
    const std::string pdb = PdbAt({{"C", {0.3, 0.3, 0.3}}});
    const struct {
        std::vector<std::string> args;   // "MAP" and "MODEL" stand for the files
        std::string map, problem;
    } cases[] = {
        {{"MAP", "--scale", "1e40"}, cell, "m0.ccp4: --scale 1e+40 takes its values beyond what a map file holds"},
        {{"MAP", "--model", "MODEL", "--margin", "1e6"}, cell, "m1.ccp4: covers 2e+06 Å along x, more than 32767 points at "
                                                               "a step of 0.2 Å: give a smaller --margin (1e+06 Å now)"},
        {{"MAP"}, extended.substr(0, 1024), "m2.ccp4: is truncated: 1024 of at least 1104 bytes"},
        {{"MAP"}, cell.substr(0, 2000), "m3.ccp4: is truncated: 2000 of " + std::to_string(cell.size()) + " bytes"},
        {{"MAP"}, pdb, "m4.ccp4: is a model, not a map or reflections; give it with --model"},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        std::vector<std::string> args = cases[k].args;
        for (std::string& arg : args) {
            if (arg == "MAP") arg = Put("m" + std::to_string(k) + ".ccp4", cases[k].map);
            if (arg == "MODEL") arg = Put("model" + std::to_string(k) + ".pdb", pdb);
        }
        const auto [status, err] = Import(args);
        EXPECT_EQ(status, 1) << err;
        EXPECT_NE(err.find((dir / cases[k].problem).string()), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir / ("m" + std::to_string(k) + ".mt1")));
    }
    const auto [status, err] = Import({Put("coarse.ccp4", cell), "--step", "1000"});
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("the step of 1000 Å leaves only 2 points along x, too few to show the map: give a smaller --step"),
              std::string::npos) << err;
}

// --open converts into the cache and starts the viewer beside the command on it; a second
// open of the unchanged file shows the same conversion; a changed file is converted again.
TEST_F(UserFiles, OpenConvertsIntoTheCacheOnceWhileTheFileIsUnchanged) {
    const std::string map = Put("site.ccp4", Ccp4Bytes(BoxFile()));
    EXPECT_EQ(Import({map, "--open"}).first, 1);   // the test's viewer does not start
    ASSERT_EQ(viewerStarts.size(), 1u);
    const std::string viewer = (fs::path(TIVAREL_BIN_DIR) / "tivarel").string();
    ASSERT_EQ(viewerStarts[0].rfind(viewer + " " + (dir / "cache").string() + "/site-", 0), 0u) << viewerStarts[0];
    const std::string cached = viewerStarts[0].substr(viewer.size() + 1);
    ASSERT_TRUE(fs::exists(cached));
    const fs::file_time_type made = fs::last_write_time(cached);

    const auto [again, said] = Import({map, "--open"});
    EXPECT_NE(said.find("showing " + cached + ", converted before from the same files"), std::string::npos) << said;
    EXPECT_EQ(fs::last_write_time(cached), made);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);

    Ccp4File other = BoxFile();
    other.value = [](int, int, int) { return 1.0; };
    WriteFile(map, Ccp4Bytes(other) + std::string(4, '\0'));   // another size: another file
    const auto [changed, told] = Import({map, "--open"});
    EXPECT_EQ(told.find("converted before"), std::string::npos) << told;
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    EXPECT_EQ(ReadMt1Map(cached).gridParams.maxValue(), 1.0f);
    // Another scale is another conversion.
    Import({map, "--open", "--scale", "2"});
    EXPECT_NE(viewerStarts.back(), viewer + " " + cached);
}

}  // namespace
}  // namespace tivarel
