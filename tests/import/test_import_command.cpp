// The tivarel-import command as a user meets it: its arguments and output names, a model on a
// box map far from its coordinates, maps too fine for the viewer, the summary's levels,
// --open's cache, and every bad input ending with a message naming the file, status 1 and
// no file written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <regex>

#include "ccp4_test_file.h"
#include "import/ccp4_reader.h"
#include "import/model_placement.h"
#include "mapio/default_levels.h"
#include "mapio/mt1_reader.h"
#include "mapio/input_error.h"
#include "reflection_test_data.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

// A PDB file of the test cell (7, 8, 9 Å, beta 110) with atoms at these Cartesian positions.
std::string Pdb(const std::vector<std::pair<const char*, Vec3d>>& atoms) {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1 21 1     2\n";
    char line[100];
    int serial = 0;
    for (const auto& [element, p] : atoms) {
        std::snprintf(line, sizeof line, "HETATM%5d  %-3s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n",
                      ++serial % 100000, element, p[0], p[1], p[2], element);
        text += line;
    }
    return text + "END\n";
}

// The same at fractional positions.
std::string PdbAt(const std::vector<std::pair<const char*, Vec3d>>& atoms) {
    std::vector<std::pair<const char*, Vec3d>> cartesian;
    for (const auto& [element, f] : atoms) {
        Vec3d p{};
        for (size_t i = 0; i < 3; ++i) p[i] = kOrthogonal[i][0] * f[0] + kOrthogonal[i][1] * f[1] + kOrthogonal[i][2] * f[2];
        cartesian.push_back({element, p});
    }
    return Pdb(cartesian);
}

TEST(ImportArguments, UsageErrorsAndDefaultOutputNames) {
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{}, "no map given"},
        {{"m.map", "n.map"}, "one map at a time, not also n.map"},
        {{"m.map", "--bogus"}, "unknown option --bogus"},
        {{"m.map", "--step"}, "--step needs a value"},
        {{"m.map", "--step", "0"}, "--step must be more than 0"},
        {{"m.map", "--step", "1x"}, "--step needs a number, not '1x'"},
        {{"m.map", "--model", "p.pdb", "--margin", "-1"}, "--margin must be 0 or more"},
        {{"m.map", "--margin", "2"}, "--margin needs --model"},
        {{"m.map", "--scale", "0"}, "--scale must not be 0"},
        {{"m.mtz", "--f", "FP"}, "--f and --phi go together"},
        {{"m.mtz", "--diff", "--f", "FP", "--phi", "PHIC"}, "--diff or --f/--phi, not both"},
        {{"m.map", "--open", "-o", "x.mt1"}, "--open keeps its map in the cache folder; -o does not go with it"},
        {{"m.map", "-o", "x.map"}, "the viewer opens only names ending in mt1 or MT1, not x.map"}};
    for (const auto& [args, problem] : usage) {
        std::ostringstream out, err;
        EXPECT_EQ(RunImport(args, out, err), 1) << problem;
        EXPECT_EQ(err.str(), "tivarel-import: usage: " + problem + " (see --help)\n");
    }
    EXPECT_EQ(ParseImportArguments({"m.map", "--model", "p.pdb", "--margin", "0"}).margin, 0.0);
    std::ostringstream out, err;
    EXPECT_EQ(RunImport({"m.map", "--help"}, out, err), 0);
    EXPECT_TRUE(out.str().starts_with("Usage: tivarel-import INPUT")) << out.str();
    const std::tuple<std::string, bool, std::string> names[] = {
        {"maps/x.ccp4.gz", false, "maps/x.mt1"}, {"maps/x.mtz", true, "maps/x-diff.mt1"},
        {"a.b/x", false, "a.b/x.mt1"},         {"maps/.x", false, "maps/.x.mt1"}};
    for (const auto& [map, difference, output] : names) {
        EXPECT_EQ(DefaultOutputPath(map, difference), output);
        EXPECT_EQ(ParseImportArguments(difference ? std::vector<std::string>{map, "--diff"} : std::vector{map}).outputPath,
                  output);
    }
}

// The installed command on a gzipped map and a model: the MT1 map lands beside the map under
// the map's name.
TEST_F(ImportCommand, TheInstalledCommandWritesBesideTheMap) {
    const std::string map = (dir / "crystal.ccp4.gz").string(), bytes = Ccp4Bytes(BoxFile());
    gzFile file = gzopen(map.c_str(), "wb");
    gzwrite(file, bytes.data(), unsigned(bytes.size()));
    gzclose(file);
    const std::string command = std::string("\"") + TIVAREL_IMPORT + "\" " + map + " --model " +
                                put("model.pdb", Pdb({{"FE", {1, 2, 3}}, {"FE", {2, 2, 3}}, {"FE", {3, 2, 3}}}));
    ASSERT_EQ(WEXITSTATUS(std::system((command + " 2>/dev/null").c_str())), 0);
    const DensityMap mt1 = ReadMt1Map((dir / "crystal.mt1").string());
    ASSERT_EQ(mt1.atoms.size(), 3u);
    EXPECT_EQ(mt1.atoms[0].name, "Fe  ");
}

// With --margin the grid spans the atoms plus the margin at the --step given: atoms 1.5 apart
// along x, 0.5 along y, none along z, a margin of 1 and a step of 0.25 give 15 x 11 x 9 points,
// the atoms a margin inside the box's ends; -o names the file.
TEST_F(ImportCommand, MarginStepAndOutputName) {
    const std::string out = (dir / "out.mt1").string();
    const auto [status, err] = runImport({put("cell.map", Ccp4Bytes(BoxFile())), "--model",
                                       put("m.pdb", Pdb({{"C", {1.0, 2.0, 3.0}}, {"O", {2.5, 2.5, 3.0}}})), "--margin", "1",
                                       "--step", "0.25", "-o", out});
    ASSERT_EQ(status, 0) << err;
    EXPECT_FALSE(fs::exists(dir / "cell.mt1"));
    const DensityMap mt1 = ReadMt1Map(out);
    const GridParams& g = mt1.gridParams;
    EXPECT_EQ((std::array{g.nx(), g.ny(), g.nz()}), (std::array{15, 11, 9}));
    EXPECT_EQ((std::array{g.dx(), g.dy(), g.dz()}), (std::array{0.25f, 0.25f, 0.25f}));
    ASSERT_EQ(mt1.atoms.size(), 2u);
    const Vec3 low = mt1.atoms[0].position, high = mt1.atoms[1].position;
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(low[a], GridPointCoordinate(g, a + 1, 1) + 1.0f, 1e-4) << a;
    EXPECT_NEAR(high[0], GridPointCoordinate(g, 1, 15) - 1.0f, 1e-4);
    EXPECT_NEAR(high[1], GridPointCoordinate(g, 2, 11) - 1.0f, 1e-4);
}

// A box of the P 1 21 1 crystal one cell away from the model: an atom reaches the box by a
// lattice translation, two only through their symmetry mates (one of them nearer the box's
// centre beyond its far ends), one not at all and is put as near as it goes. With --margin
// around that last one alone there is no map data: an error.
TEST_F(ImportCommand, ModelAtomsAreMovedOntoAFarBoxMap) {
    Ccp4File box = BoxFile({40, 45, 50}, {14, 12, 16});   // fractions 1.14-1.51, 1.125-1.4, 1.11-1.44
    box.spaceGroup = 4;
    Model model;
    model.atoms = {{"C", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}, {"O", {0.9, 0.9, 0.9}}, {"S", {0.6, 0.75, 0.6}}};
    const Placement placement = PlaceAtomsInBox(model, ParseCcp4Map(Ccp4Bytes(box), "box.ccp4"));
    EXPECT_EQ(placement.moved, 4u);
    EXPECT_EQ(placement.inside, 3u);
    // C by (1, 1, 1); N's mate (-x, y + 1/2, -z) by (2, 0, 2); O's mate, by (2, 0, 2), misses the
    // box by 0.043 of a along x and 0.011 of c along z, nearer than any other image; S by
    // (1, 1, 1) lies beyond the box's far ends, its mate by (2, 0, 2) inside.
    const Vec3d expected[4] = {{1.3, 1.3, 1.3}, {1.25, 1.35, 1.28}, {1.1, 1.4, 1.1}, {1.4, 1.25, 1.4}};
    for (size_t i = 0; i < 4; ++i)
        for (size_t a = 0; a < 3; ++a) EXPECT_NEAR(model.atoms[i].fractional[a], expected[i][a], 1e-12) << i << a;

    const std::string boxPath = put("box.ccp4", Ccp4Bytes(box));
    const auto [status, err] = runImport({boxPath, "--model", put("model.pdb", PdbAt({{"C", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}}))});
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("2 atoms moved by symmetry or whole cells onto the map's box; 2 of 2 lie inside it"), std::string::npos) << err;
    EXPECT_NE(err.find("grid points lie outside the map's data and take its minimum"), std::string::npos) << err;
    const auto [refused, said] = runImport({boxPath, "--model", put("far.pdb", PdbAt({{"O", {0.9, 0.9, 0.9}}})), "--margin", "0.2"});
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
    } catch (const InputError&) {
        return false;
    }
}

// A whole-cell map of 8000 small blobs is too fine for the viewer at its own spacing: the
// default step is coarsened until the default levels fit, and says so; a step the user chose
// is kept, with a warning naming a step that fits, and that step does fit.
TEST_F(ImportCommand, MapsTooFineForTheViewerAreCoarsenedOrWarnedAbout) {
    Ccp4File fine = BoxFile({0, 0, 0}, {100, 100, 100});
    fine.sampling = {100, 100, 100};
    fine.cell = {20, 20, 20, 90, 90, 90};
    fine.value = [](int x, int y, int z) {
        return std::cos(kTwoPi * x / 5.0) * std::cos(kTwoPi * y / 5.0) * std::cos(kTwoPi * z / 5.0);
    };
    const std::string map = put("fine.ccp4", Ccp4Bytes(fine));
    const auto [status, err] = runImport({map});
    ASSERT_EQ(status, 0) << err;
    std::smatch step;
    ASSERT_TRUE(std::regex_search(err, step, std::regex("at the map's own spacing of 0.2 Å the viewer's default levels need "
                                                        "[0-9]+ triangles in a layer, more than the 400000 it draws; the "
                                                        "step is ([0-9.]+) Å instead")))
        << err;
    EXPECT_TRUE(FitsViewer((dir / "fine.mt1").string()));
    const auto [kept, warned] = runImport({map, "--step", "0.2", "-o", (dir / "kept.mt1").string()});
    ASSERT_EQ(kept, 0) << warned;
    std::smatch fits;
    ASSERT_TRUE(std::regex_search(warned, fits, std::regex("--step ([0-9.]+) fits"))) << warned;
    EXPECT_FALSE(FitsViewer((dir / "kept.mt1").string()));
    ASSERT_EQ(runImport({map, "--step", fits[1], "-o", (dir / "fits.mt1").string()}).first, 0);
    EXPECT_TRUE(FitsViewer((dir / "fits.mt1").string()));
}

// The summary's mean and rms are those of the values written, and its levels mean + 1, 2, 3 rms.
TEST_F(ImportCommand, TheSummaryGivesMeanRmsAndLevelsToTypeIn) {
    const auto [status, err] = runImport({put("cell.ccp4", Ccp4Bytes(BoxFile()))});
    ASSERT_EQ(status, 0) << err;
    const DensityMap map = ReadMt1Map((dir / "cell.mt1").string());
    const std::vector<float>& values = map.grid.values();
    double sum = 0, squares = 0;
    for (float v : values) sum += v;
    const double mean = sum / double(values.size());
    for (float v : values) squares += (v - mean) * (v - mean);
    const double rms = std::sqrt(squares / double(values.size()));
    std::smatch said;
    const std::string number = "([-0-9.e+]+)";
    ASSERT_TRUE(std::regex_search(err, said, std::regex("mean " + number + ", rms " + number +
                                                        "; levels at mean \\+ 1, 2, 3 rms: " + number + ", " + number + ", " + number)))
        << err;
    const double want[5] = {mean, rms, mean + rms, mean + 2 * rms, mean + 3 * rms};
    for (size_t k = 0; k < 5; ++k) EXPECT_NEAR(std::stod(said[k + 1]), want[k], 1e-4 * std::fabs(want[k])) << k;
}

// --open converts into the cache and starts the viewer beside the command on it; a second
// open of the unchanged file shows the same conversion; a changed file is converted again,
// and another scale is another conversion.
TEST_F(ImportCommand, OpenConvertsIntoTheCacheOnceWhileTheFileIsUnchanged) {
    const std::string map = put("site.ccp4", Ccp4Bytes(BoxFile()));
    EXPECT_EQ(runImport({map, "--open"}).first, 1);   // the test's viewer does not start
    ASSERT_EQ(viewerStarts.size(), 1u);
    const std::string viewer = (fs::path(TIVAREL_BIN_DIR) / "tivarel").string();
    ASSERT_EQ(viewerStarts[0].rfind(viewer + " " + (dir / "cache").string() + "/site-", 0), 0u) << viewerStarts[0];
    const std::string cached = viewerStarts[0].substr(viewer.size() + 1);
    const fs::file_time_type made = fs::last_write_time(cached);
    const auto [again, said] = runImport({map, "--open"});
    EXPECT_NE(said.find("showing " + cached + ", converted before from the same files"), std::string::npos) << said;
    EXPECT_EQ(fs::last_write_time(cached), made);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    Ccp4File other = BoxFile();
    other.value = [](int, int, int) { return 1.0; };
    WriteFile(map, Ccp4Bytes(other) + std::string(4, '\0'));   // another size: another file
    EXPECT_EQ(runImport({map, "--open"}).second.find("converted before"), std::string::npos);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    EXPECT_EQ(ReadMt1Map(cached).gridParams.maxValue(), 1.0f);
    runImport({map, "--open", "--scale", "2"});
    EXPECT_NE(viewerStarts.back(), viewer + " " + cached);
}

// A structure's CIF as SHELXL writes it, its reflections inside (_shelx_hkl_file): one file
// gives the Fo map, phased by its own atoms, which the map also shows.
TEST_F(ImportCommand, AStructureCifWithItsReflectionsIsPhasedByItself) {
    const Crystal crystal = MonoclinicCrystal();
    std::string hkl;
    for (const TestReflection& r : UniqueSet(crystal))
        hkl += Format("%4.0f%4.0f%4.0f", r.hkl[0], r.hkl[1], r.hkl[2]) + Format("%8.2f%8.2f\n", std::norm(r.f), 1.0);
    const std::string cif = StructureCif(crystal) + "_shelx_hkl_file\n;\n" + hkl + "   0   0   0    0.00    0.00\n;\n";
    const auto [status, err] = runImport({put("structure.cif", cif)});
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("with phases from " + (dir / "structure.cif").string()), std::string::npos) << err;
    const DensityMap mt1 = ReadMt1Map((dir / "structure.mt1").string());
    ASSERT_EQ(mt1.atoms.size(), crystal.atoms.size());
    EXPECT_EQ(mt1.atoms[0].name, "Fe  ");
}

std::string MtzWithoutPhases(const Crystal& crystal) {
    gemmi::Mtz mtz(true);
    mtz.spacegroup = gemmi::find_spacegroup_by_name("P 1 21 1");
    mtz.set_cell_for_all(CellOf(crystal));
    mtz.add_dataset("x");
    mtz.add_column("FP", 'F', -1, -1, false);
    mtz.add_column("SIGFP", 'Q', -1, -1, false);
    const float row[5] = {1, 2, 3, 10, 1};
    mtz.set_data(row, 5);
    std::string bytes;
    mtz.write_to_string(bytes);
    return bytes;
}

// Each bad input ends with one message naming the file and what to do, status 1, no output.
TEST_F(ImportCommand, BadInputEndsWithAMessageNamingTheFileAndWritesNothing) {
    const std::string cell = Ccp4Bytes(BoxFile());
    std::string strong = cell, deep = cell, complex = cell, extended = cell;
    for (size_t i = 1024; i < strong.size(); i += 4) {
        PutWord(strong, i / 4 + 1, 0x471c4000u);   // 40000
        PutWord(deep, i / 4 + 1, 0xc71c4000u);     // -40000
    }
    PutWord(complex, 4, 4);
    PutWord(extended, 24, 80);   // an extended header of 80 bytes
    const Crystal crystal = MonoclinicCrystal();
    const std::vector<TestReflection> unique = UniqueSet(crystal);
    const std::string mtz = MtzBytes(crystal, unique), fcf = FcfBytes(crystal, unique, 1.0, false);
    std::string otherPhase = mtz;
    otherPhase.replace(otherPhase.find("PHWT "), 5, "PHIC ");
    const std::string structure = StructureCif(crystal), pdb = PdbAt({{"C", {0.3, 0.3, 0.3}}});
    const struct {
        std::string input, model;
        std::vector<std::string> options;
        std::string problem;   // of the input, or of the model after "model: "
    } cases[] = {
        {"", "", {}, "is empty"},
        {"a line of text\n", "", {}, "is none of what tivarel-import reads"},
        {cell.substr(0, 2000), "", {}, "is truncated: 2000 of " + std::to_string(cell.size()) + " bytes"},
        {extended.substr(0, 1024), "", {}, "is truncated: 1024 of at least 1104 bytes"},
        {complex, "", {}, "has data of mode 4, which is not supported"},
        {strong, "", {}, "its values run from 40000 to 40000, but the viewer takes only -10000 to 10000: multiply them "
                         "with --scale 0.2"},
        {deep, "", {}, "its values run from -40000 to -40000, but the viewer takes only -10000 to 10000"},
        {cell, "", {"--scale", "1e40"}, "--scale 1e+40 takes its values beyond what a map file holds"},
        {cell, pdb, {"--margin", "1e6"}, "covers 2e+06 Å along x, more than 32767 points at a step of 0.2 Å: give a "
                                         "smaller --margin (1e+06 Å now)"},
        {cell, Pdb({{"XX", {1, 2, 3}}}), {}, "model: atom A/LIG1/XX has an unknown element"},
        {cell, Pdb(std::vector<std::pair<const char*, Vec3d>>(32768, {"C", {1, 2, 3}})), {}, "model: holds more than 32767 atoms"},
        {MtzWithoutPhases(crystal), "", {}, "has no phases, so no map can be computed from it (its columns are H, K, L, "
                                            "FP and SIGFP)"},
        {otherPhase, "", {}, "has no columns FWT/PHWT or 2FOFCWT/PH2FOFCWT or FWT/PHIFWT; its amplitude columns are FWT "
                             "and its phase columns PHIC: choose a pair with --f LABEL --phi LABEL"},
        {mtz, "", {"--diff"}, "has no columns DELFWT/PHDELWT or FOFCWT/PHFOFCWT or DELFWT/PHIDELFWT"},
        {mtz.substr(0, mtz.size() / 2), "", {}, "is truncated"},
        {fcf, "", {}, "holds measured F_squared_meas without phases: give the structure they belong to with --model"},
        {fcf, StructureCif(crystal, 1.02), {}, "model: has the cell 7.14 8.16 9.18 Å, 90 110 90°, which differs from the cell of"},
        {fcf, structure, {"--f", "F_meas", "--phi", "phase_calc"}, "has no tags F_meas/phase_calc"},
        {"data_empty\n_cell.length_a 7\n_cell.length_b 8\n_cell.length_c 9\n_symmetry.space_group_name_H-M 'P 1'\n"
         "loop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n_refln.pdbx_FWT\n_refln.pdbx_PHWT\n1 2 3 ? ?\n",
         "", {}, "holds no reflections with map coefficients"},
        {structure, "", {}, "is a model, not a map or reflections; give it with --model"},
        {pdb, "", {}, "is a model, not a map or reflections; give it with --model"}};
    for (size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        const std::string in = "in" + std::to_string(k), model = "model" + std::to_string(k);
        std::vector<std::string> args{put(in, c.input)};
        if (!c.model.empty()) args.insert(args.end(), {"--model", put(model, c.model)});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto [status, err] = runImport(args);
        EXPECT_EQ(status, 1) << c.problem;
        const bool ofModel = c.problem.starts_with("model: ");
        const std::string named = (dir / (ofModel ? model : in)).string() + ": " + c.problem.substr(ofModel ? 7 : 0);
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir / (in + ".mt1"))) << c.problem;
    }
    const auto [status, err] = runImport({put("coarse.ccp4", cell), "--step", "1000"});
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("the step of 1000 Å leaves only 2 points along x, too few to show the map: give a smaller --step"),
              std::string::npos) << err;
}

}  // namespace
}  // namespace tivarel
