// CCP4/MRC maps written word by word from the format's header, converted and read back with
// the viewer's reader against the density they were written from; the tivarel-import command
// as a user meets it, bad inputs too; and files read whole, gzipped or not.
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "../test_files.h"
#include "geometry/geometry.h"
#include "import/ccp4_reader.h"
#include "import/convert.h"
#include "import/file_bytes.h"
#include "import/import_command.h"
#include "import/model_atoms.h"
#include "import/model_placement.h"
#include "mapio/default_levels.h"
#include "mapio/mt1_reader.h"
#include "mapio/mt1_writer.h"
#include "reflection_test_data.h"
#include "surface/march_cubes.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

const double kTwoPi = 2.0 * std::acos(-1.0);

// The crystal: a = 7, b = 8, c = 9 Angstrom, beta 110 degrees, sampled in 35, 40 and 45 intervals, and a density
// periodic in the cell that P 1 21 1, (x, y, z) -> (-x, y + 1/2, -z), leaves as it is.
const std::array<int, 3> kSampling{35, 40, 45};
double Density(const Vec3d& f) {
    return 50 + 40 * std::cos(kTwoPi * f[0]) + 30 * std::cos(2 * kTwoPi * f[1]) + 20 * std::cos(kTwoPi * (f[0] + f[2]));
}
// Trilinear interpolation misses by at most h^2 / 8 times the second derivative along each
// edge, summed: (40 + 20) (2 pi)^2 / 35^2 / 8 + 30 (4 pi)^2 / 40^2 / 8 + 20 (2 pi)^2 / 45^2 / 8 < 0.7.
const double kTolerance = 0.7;
// Fractional -> Cartesian, a along x and b along y: c = 9 (cos 110, 0, sin 110).
const std::array<Vec3d, 3> kOrthogonal = {
    {{7.0, 0.0, 9.0 * std::cos(kTwoPi * 110 / 360)}, {0.0, 8.0, 0.0}, {0.0, 0.0, 9.0 * std::sin(kTwoPi * 110 / 360)}}};

// A box of `size` points from `start` (x, y, z), stored with columns, rows and sections along
// `axes`; by default the whole cell.
struct Ccp4File {
    std::array<int, 3> start{}, size = kSampling;
    std::array<int, 3> axes{1, 2, 3};   // MAPC MAPR MAPS: the axis (1 = x) of columns, rows, sections
    std::array<int, 3> sampling = kSampling;
    std::array<float, 6> cell{7.0f, 8.0f, 9.0f, 90.0f, 110.0f, 90.0f};
    int mode = 2, spaceGroup = 1;
    std::function<double(int, int, int)> value = [](int x, int y, int z) {
        return Density({double(x) / kSampling[0], double(y) / kSampling[1], double(z) / kSampling[2]});
    };
};

// Appending writes a further gzip member.
void WriteGzip(const std::string& path, const std::string& text, const char* mode = "wb") {
    gzFile file = gzopen(path.c_str(), mode);
    gzwrite(file, text.data(), unsigned(text.size()));
    gzclose(file);
}

TEST(FileBytes, PlainGzippedAndSeveralMemberFilesReadWholeAndDamagedOnesSayHow) {
    const TempFolder folder;
    const std::string path = (folder.path() / "map.ccp4").string();
    const std::string text(100000, 'x'), other = "MAP " + std::string(5000, 'y');
    for (const std::string& plain : {std::string(), text}) {
        WriteFile(path, plain);
        EXPECT_EQ(ReadPossiblyGzipped(path), plain);
    }
    WriteGzip(path, other);
    WriteGzip(path, text, "ab");
    EXPECT_EQ(ReadPossiblyGzipped(path), other + text);
    WriteGzip(path, text);
    EXPECT_EQ(ReadPossiblyGzipped(path), text);
    // Cut in half; a trailer whose length is not the data's.
    const std::string gz = ReadFile(path);
    const std::pair<std::string, std::string> damaged[] = {
        {gz.substr(0, gz.size() / 2), ": cannot be read: the compressed data ends early"},
        {gz.substr(0, gz.size() - 4) + std::string("\x01\0\0\0", 4), ": cannot be read: "}};
    for (const auto& [bytes, message] : damaged) {
        WriteFile(path, bytes);
        const std::string said = StopMessage([&] { ReadPossiblyGzipped(path); });
        EXPECT_EQ(said.rfind(path + message, 0), 0u) << said;
    }
}

void PutWord(std::string& bytes, size_t word, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes[4 * (word - 1) + i] = char((v >> (8 * i)) & 0xFF);
}

// Little-endian, columns fastest, then rows, then sections; integer modes 0, 1 and 6 take the value rounded.
std::string Ccp4Bytes(const Ccp4File& f) {
    std::string bytes(1024, '\0');
    std::array<size_t, 3> axis{};   // of columns, rows, sections, from 0
    for (size_t i = 0; i < 3; ++i) {
        axis[i] = size_t(f.axes[i] - 1);
        PutWord(bytes, 1 + i, uint32_t(f.size[axis[i]]));
        PutWord(bytes, 5 + i, uint32_t(f.start[axis[i]]));
        PutWord(bytes, 8 + i, uint32_t(f.sampling[i]));
        PutWord(bytes, 17 + i, uint32_t(f.axes[i]));
    }
    PutWord(bytes, 4, uint32_t(f.mode));
    for (size_t i = 0; i < 6; ++i) PutWord(bytes, 11 + i, std::bit_cast<uint32_t>(f.cell[i]));
    PutWord(bytes, 23, uint32_t(f.spaceGroup));
    bytes.replace(4 * 52, 4, "MAP ");
    PutWord(bytes, 54, 0x00004144u);   // little-endian stamp
    std::array<int, 3> at{};           // grid point along x, y, z
    for (int s = 0; s < f.size[axis[2]]; ++s)
        for (int r = 0; r < f.size[axis[1]]; ++r)
            for (int c = 0; c < f.size[axis[0]]; ++c) {
                const std::array<int, 3> stored{c, r, s};
                for (size_t i = 0; i < 3; ++i) at[axis[i]] = f.start[axis[i]] + stored[i];
                const double v = f.value(at[0], at[1], at[2]);
                const uint32_t word = f.mode == 2 ? std::bit_cast<uint32_t>(float(v)) : uint32_t(std::lround(v));
                for (int i = 0; i < (f.mode == 0 ? 1 : f.mode == 2 ? 4 : 2); ++i) bytes += char((word >> (8 * i)) & 0xFF);
            }
    return bytes;
}

// The command in this process, with the viewer's side files beside it, a cache folder of the
// test's own and a viewer that is only noted.
class ImportCommand : public ::testing::Test {
protected:
    std::string put(const std::string& name, const std::string& bytes) const {
        WriteFile(dir / name, bytes);
        return (dir / name).string();
    }
    std::pair<int, std::string> runImport(const std::vector<std::string>& args) const {
        std::ostringstream out, err;
        return {RunImport(args, out, err, environment), err.str()};
    }
    const TempFolder folder;
    const std::filesystem::path& dir = folder.path();
    std::vector<std::string> viewerStarts;   // "viewer map" for each start
    ImportEnvironment environment{TIVAREL_BIN_DIR, (folder.path() / "cache").string(),
                                  [this](const std::string& viewer, const std::string& map) {
                                      viewerStarts.push_back(viewer + " " + map);
                                      return std::string("the test does not start it");
                                  }};
};

struct Converted {
    DensityMap map;   // as the viewer reads it
    uint64_t outside = 0;
    float fill = 0.0f;
};

Converted Convert(const Ccp4File& file, double scale = 1.0) {
    ConversionOptions options;
    options.scale = scale;
    const Conversion c = ConvertMap(ParseCcp4Map(Ccp4Bytes(file), "test.ccp4"), nullptr, options, "test.ccp4");
    return {ParseMt1Map(Mt1Bytes(c.mt1), "test.mt1"), c.outsidePoints, c.fillValue};
}

// Each grid point with the fractional position the viewer gives it.
void ForEachPoint(const DensityMap& map, const std::function<void(float, const Vec3d&)>& visit) {
    Mat3 inverse;
    ASSERT_TRUE(InvertCellMatrix(map.cellMatrix, inverse));
    const GridParams& g = map.gridParams;
    for (int z = 1; z <= map.grid.nz(); ++z)
        for (int y = 1; y <= map.grid.ny(); ++y)
            for (int x = 1; x <= map.grid.nx(); ++x) {
                const Vec3 p{GridPointCoordinate(g, 1, x), GridPointCoordinate(g, 2, y), GridPointCoordinate(g, 3, z)};
                const Vec3 f = GridToFractional(inverse, map.mapOrigin, p);
                visit(map.grid(x, y, z), {f.x, f.y, f.z});
            }
}

// The whole cell, and the whole cell grown from half of it by the space group P 1 21 1, follow the density everywhere
// (the grid wraps round the cell's edges), with the cell matrix of a along x and b along y.
TEST(Ccp4Import, WholeCellFollowsTheDensityInTheCellsFrame) {
    Ccp4File half{{0, 0, 0}, {kSampling[0], kSampling[1] / 2, kSampling[2]}};
    half.spaceGroup = 4;
    for (const Ccp4File& file : {Ccp4File{}, half}) {
        const Converted c = Convert(file);
        EXPECT_EQ(c.outside, 0u);
        ForEachPoint(c.map, [](float value, const Vec3d& f) { ASSERT_NEAR(value, Density(f), kTolerance); });
        for (int a = 0; a < 3; ++a) {   // the grid centred on the viewer's zero, the cell within a step of its ends
            const auto [low, high] = std::minmax_element(c.map.cellCorners.begin(), c.map.cellCorners.end(),
                                                         [a](const Vec3& p, const Vec3& q) { return p[a] < q[a]; });
            const float first = c.map.gridParams(4 + a), last = -first, step = c.map.gridParams(7 + a);
            EXPECT_NEAR(first + (c.map.gridParams(1 + a) - 1) * step, last, 1e-4f) << "axis " << a;
            EXPECT_NEAR((*low)[a], first + step / 2, step / 2) << "axis " << a;
            EXPECT_NEAR((*high)[a], last - step / 2, step / 2) << "axis " << a;
        }
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(c.map.cellMatrix(k / 3 + 1, k % 3 + 1), kOrthogonal[size_t(k / 3)][size_t(k % 3)], 1e-5);
    }
}

TEST(Ccp4Import, IntegerModesGiveTheValuesOfFloats) {
    Ccp4File integers{};   // 0 to 90: fits every integer mode
    integers.value = [f = integers.value](int x, int y, int z) { return std::round((f(x, y, z) + 40) / 2); };
    const std::vector<float> asFloats = Convert(integers).map.grid.values();
    for (int mode : {0, 1, 6}) {
        integers.mode = mode;
        EXPECT_EQ(Convert(integers).map.grid.values(), asFloats) << "mode " << mode;
    }
}

// A box two cells and more away from the cell's origin, stored in another axis order and scaled by 2: the density
// inside the data, the data's minimum outside, all those points counted; the same bytes on one thread as on several.
TEST(Ccp4Import, BoxMapIsResampledOverItsBoxWithTheFillOnlyOutsideTheData) {
    const std::array<int, 3> start{80, -50, 100}, size{14, 12, 16};
    const Ccp4File file{start, size, {2, 3, 1}};
    const Converted c = Convert(file, 2);
    double lowest = INFINITY;
    for (int k = 0; k < size[0] * size[1] * size[2]; ++k)
        lowest = std::min(lowest, file.value(start[0] + k % size[0], start[1] + k / size[0] % size[1],
                                             start[2] + k / size[0] / size[1]));
    EXPECT_EQ(c.fill, float(2 * lowest));
    uint64_t inside = 0, outside = 0, unsure = 0;
    ForEachPoint(c.map, [&](float value, const Vec3d& f) {
        bool in = true, near = false;
        for (size_t a = 0; a < 3; ++a) {
            const double g = f[a] * kSampling[a] - start[a];
            in = in && g >= 0 && g <= size[a] - 1;
            near = near || std::fabs(g) < 1e-3 || std::fabs(g - (size[a] - 1)) < 1e-3;
        }
        ++(near ? unsure : in ? inside : outside);
        if (!near) {
            EXPECT_NEAR(value, in ? 2 * Density(f) : c.fill, in ? 2 * kTolerance : 0.0);
        }
    });
    EXPECT_TRUE(inside > 1000 && outside > 100) << inside << " " << outside;   // the skewed box's corners lie outside
    EXPECT_TRUE(c.outside >= outside && c.outside <= outside + unsure) << c.outside;
    const MapDensity map = ParseCcp4Map(Ccp4Bytes(file), "test.ccp4");
    ConversionOptions one, three;
    one.threads = 1;
    three.threads = 3;
    one.step = three.step = 0.11;
    EXPECT_EQ(Mt1Bytes(ConvertMap(map, nullptr, one, "x").mt1), Mt1Bytes(ConvertMap(map, nullptr, three, "x").mt1));
}

// A PDB file of the test cell (7, 8, 9 Å, beta 110) with atoms at these Cartesian, or else fractional, positions.
std::string Pdb(const std::vector<std::pair<const char*, Vec3d>>& atoms, bool fractional = false) {
    std::string text = "CRYST1    7.000    8.000    9.000  90.00 110.00  90.00 P 1 21 1     2\n";
    char line[100];
    int serial = 0;
    for (auto [element, p] : atoms) {
        if (fractional) p = {kOrthogonal[0][0] * p[0] + kOrthogonal[0][2] * p[2], 8.0 * p[1], kOrthogonal[2][2] * p[2]};
        std::snprintf(line, sizeof line, "HETATM%5d  %-3s LIG A   1    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n",
                      ++serial % 100000, element, p[0], p[1], p[2], element);
        text += line;
    }
    return text + "END\n";
}

TEST(ImportArguments, UsageErrorsAndDefaultOutputNames) {
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{}, "no map given"},
        {{"m.map", "n.map"}, "one map at a time, not also n.map"},
        {{"m.map", "--bogus"}, "unknown option --bogus"},
        {{"m.map", "--step"}, "--step needs a value"},
        {{"m.map", "--step", "0"}, "--step must be more than 0"},
        {{"m.map", "--step", "1x"}, "--step needs a number, not '1x'"},
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
    const std::tuple<std::string, bool, std::string> names[] = {
        {"maps/x.ccp4.gz", false, "maps/x.mt1"}, {"maps/x.mtz", true, "maps/x-diff.mt1"},
        {"a.b/x", false, "a.b/x.mt1"},         {"maps/.x", false, "maps/.x.mt1"}};
    for (const auto& [map, difference, output] : names)
        EXPECT_EQ(ParseImportArguments(difference ? std::vector<std::string>{map, "--diff"} : std::vector{map}).outputPath,
                  output);
}

// With --margin the grid spans the atoms plus the margin at the --step given: atoms 1.5 apart along x, 0.5 along y,
// none along z, a margin of 1 and a step of 0.25 give 15 x 11 x 9 points, the atoms a margin inside the box's ends; -o
// names the file. The summary's mean and rms are those of the values written, and its levels mean + 1, 2, 3 rms.
TEST_F(ImportCommand, MarginStepOutputNameAndSummary) {
    const std::string out = (dir / "out.mt1").string();
    const auto [status, err] = runImport({put("cell.map", Ccp4Bytes({})), "--model",
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
    const std::vector<float>& values = mt1.grid.values();
    double sum = 0, squares = 0;
    for (float v : values) sum += v, squares += double(v) * v;
    const double mean = sum / double(values.size()), rms = std::sqrt(squares / double(values.size()) - mean * mean);
    std::smatch said;
    const std::string n = "([-0-9.e+]+)";
    const std::regex summary("mean " + n + ", rms " + n + "; levels at mean \\+ 1, 2, 3 rms: " + n + ", " + n + ", " + n);
    ASSERT_TRUE(std::regex_search(err, said, summary)) << err;
    const double want[5] = {mean, rms, mean + rms, mean + 2 * rms, mean + 3 * rms};
    for (size_t k = 0; k < 5; ++k) EXPECT_NEAR(std::stod(said[k + 1]), want[k], 1e-4 * std::fabs(want[k])) << k;
}

// A box of the P 1 21 1 crystal one cell away from the model: an atom reaches the box by a lattice translation, two
// only through their symmetry mates (one of them nearer the box's centre beyond its far ends), one not at all and is
// put as near as it goes. The installed command, on the box gzipped, writes the MT1 map beside it under its name. With
// --margin around that last atom alone there is no map data: an error.
TEST_F(ImportCommand, ModelAtomsAreMovedOntoAFarBoxMap) {
    Ccp4File box{{40, 45, 50}, {14, 12, 16}};   // fractions 1.14-1.51, 1.125-1.4, 1.11-1.44
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

    const std::string boxPath = (dir / "box.ccp4.gz").string();
    WriteGzip(boxPath, Ccp4Bytes(box));
    const std::string near = put("model.pdb", Pdb({{"FE", {0.3, 0.3, 0.3}}, {"N", {0.75, 0.85, 0.72}}}, true));
    const std::string command = "\"" TIVAREL_IMPORT "\" " + boxPath + " --model " + near + " 2>" + (dir / "err").string();
    ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
    const std::string err = ReadFile(dir / "err");
    EXPECT_EQ(ReadMt1Map((dir / "box.mt1").string()).atoms.at(0).name, "Fe  ");
    ExpectHolds(err, {"2 atoms moved by symmetry or whole cells onto the map's box; 2 of 2 lie inside it",
                      "grid points lie outside the map's data and take its minimum"});
    const std::string far = put("far.pdb", Pdb({{"O", {0.9, 0.9, 0.9}}}, true));
    const auto [refused, said] = runImport({boxPath, "--model", far, "--margin", "0.2"});
    EXPECT_EQ(refused, 1);
    ExpectHolds(said, {boxPath + ": holds no data in the box around the atoms of " + far});
}

// Whether the viewer's own reader and marching cubes fit each default level of a written map in a layer.
bool FitsViewer(const std::string& mt1Path) {
    const DensityMap map = ReadMt1Map(mt1Path);
    const CaseTable table = LoadCellTable((fs::path(TIVAREL_BIN_DIR) / "cell_table.dat").string());
    static TriangleStore store;
    int layer = 1;
    try {
        for (float level : DefaultLevels(map.gridParams.minValue(), map.gridParams.maxValue()))
            MarchLayer(map.gridParams, map.grid, level, layer++, store, table, nullptr);
    } catch (const InputError&) {
        return false;
    }
    return true;
}

// A whole-cell map of 8000 small blobs is too fine for the viewer at its own spacing: the
// default step is coarsened until the default levels fit, and says so; a step the user chose
// is kept, with a warning naming a step that fits, and that step does fit.
TEST_F(ImportCommand, MapsTooFineForTheViewerAreCoarsenedOrWarnedAbout) {
    Ccp4File fine{{0, 0, 0}, {100, 100, 100}};
    fine.sampling = {100, 100, 100};
    fine.cell = {20, 20, 20, 90, 90, 90};
    fine.value = [](int x, int y, int z) {
        return std::cos(kTwoPi * x / 5.0) * std::cos(kTwoPi * y / 5.0) * std::cos(kTwoPi * z / 5.0);
    };
    const std::string map = put("fine.ccp4", Ccp4Bytes(fine));
    const auto [status, err] = runImport({map});
    ASSERT_EQ(status, 0) << err;
    EXPECT_TRUE(std::regex_search(err, std::regex("at the map's own spacing of 0.2 Å the viewer's default levels need [0-9]+ "
                                                  "triangles in a layer, more than the 400000 it draws; the step is [0-9.]+ Å")))
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

// --open converts into the cache and starts the viewer beside the command on it; a second open of the unchanged file
// shows the same conversion; a changed file or another scale is converted again.
TEST_F(ImportCommand, OpenConvertsIntoTheCacheOnceWhileTheFileIsUnchanged) {
    const std::string map = put("site.ccp4", Ccp4Bytes({}));
    EXPECT_EQ(runImport({map, "--open"}).first, 1);   // the test's viewer does not start
    ASSERT_EQ(viewerStarts.size(), 1u);
    const std::string viewer = (fs::path(TIVAREL_BIN_DIR) / "tivarel").string();
    ASSERT_EQ(viewerStarts[0].rfind(viewer + " " + (dir / "cache").string() + "/site-", 0), 0u) << viewerStarts[0];
    const std::string cached = viewerStarts[0].substr(viewer.size() + 1);
    const fs::file_time_type made = fs::last_write_time(cached);
    const auto [again, said] = runImport({map, "--open"});
    ExpectHolds(said, {"showing " + cached + ", converted before from the same files"});
    EXPECT_EQ(fs::last_write_time(cached), made);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    Ccp4File other{};
    other.value = [](int, int, int) { return 1.0; };
    WriteFile(map, Ccp4Bytes(other) + std::string(4, '\0'));   // another size: another file
    EXPECT_EQ(runImport({map, "--open"}).second.find("converted before"), std::string::npos);
    EXPECT_EQ(viewerStarts.back(), viewer + " " + cached);
    EXPECT_EQ(ReadMt1Map(cached).gridParams.maxValue(), 1.0f);
    runImport({map, "--open", "--scale", "2"});
    EXPECT_NE(viewerStarts.back(), viewer + " " + cached);
}

// A structure's CIF as SHELXL writes it, its reflections inside (_shelx_hkl_file), after a
// byte-order mark: one file gives the Fo map, phased by its own atoms, which the map also
// shows, each named by its element (placed as a model's atoms are).
TEST_F(ImportCommand, AStructureCifWithItsReflectionsIsPhasedByItself) {
    const Crystal& crystal = kMonoclinic;
    std::string hkl;
    for (const TestReflection& r : UniqueSet(crystal))
        hkl += Format("%4.0f%4.0f%4.0f", r.hkl[0], r.hkl[1], r.hkl[2]) + Format("%8.2f%8.2f\n", std::norm(r.f), 1.0);
    const std::string cif =
        "\xEF\xBB\xBF" + StructureCif(crystal) + "_shelx_hkl_file\n;\n" + hkl + "   0   0   0    0.00    0.00\n;\n";
    const auto [status, err] = runImport({put("structure.cif", cif)});
    ASSERT_EQ(status, 0) << err;
    ExpectHolds(err, {"with phases from " + (dir / "structure.cif").string()});
    const DensityMap mt1 = ReadMt1Map((dir / "structure.mt1").string());
    ASSERT_EQ(mt1.atoms.size(), crystal.atoms.size());
    for (size_t i = 0; i < crystal.atoms.size(); ++i)
        EXPECT_EQ(mt1.atoms[i].name, (crystal.atoms[i].element + std::string("   ")).substr(0, 4));
}

// Each bad input ends with one message naming the file and what to do, status 1, no output.
TEST_F(ImportCommand, BadInputEndsWithAMessageNamingTheFileAndWritesNothing) {
    const std::string cell = Ccp4Bytes({});
    std::string strong = cell, deep = cell, complex = cell, extended = cell;
    for (size_t i = 1024; i < strong.size(); i += 4) {
        PutWord(strong, i / 4 + 1, 0x471c4000u);   // 40000
        PutWord(deep, i / 4 + 1, 0xc71c4000u);     // -40000
    }
    PutWord(complex, 4, 4);
    PutWord(extended, 24, 80);   // an extended header of 80 bytes
    const Crystal& crystal = kMonoclinic;
    const std::vector<TestReflection> unique = UniqueSet(crystal);
    const std::string mtz = MtzBytes(crystal, unique), fcf = FcfBytes(crystal, unique, 1.0, false);
    std::string otherPhase = mtz;
    otherPhase.replace(otherPhase.find("PHWT "), 5, "PHIC ");
    const std::string structure = StructureCif(crystal), pdb = Pdb({{"C", {0.3, 0.3, 0.3}}}, true);
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
        {MtzBytes(crystal, unique, {{"FP", "SIGFP", 1}}), "", {}, "has no phases, so no map can be computed from it (its columns are H, K, L, "
                                            "FP and SIGFP)"},
        {otherPhase, "", {}, "has no columns FWT/PHWT or 2FOFCWT/PH2FOFCWT or FWT/PHIFWT; its amplitude columns are FWT "
                             "and its phase columns PHIC: choose a pair with --f LABEL --phi LABEL"},
        {mtz, "", {"--diff"}, "has no columns DELFWT/PHDELWT or FOFCWT/PHFOFCWT or DELFWT/PHIDELFWT"},
        {mtz.substr(0, mtz.size() / 2), "", {}, "is truncated"},
        {fcf, "", {}, "holds measured F_squared_meas without phases: give the structure they belong to with --model"},
        {fcf, StructureCif(crystal, 1.02), {}, "model: has the cell 7.14 8.16 9.18 Å, 90 110 90°, which differs from the cell of"},
        {fcf, structure, {"--f", "F_meas", "--phi", "phase_calc"}, "has no tags F_meas/phase_calc"},
        {MmcifBytes(crystal, {}) + "1 2 3 ? ? ?\n", "", {}, "holds no reflections with map coefficients"},
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
        ExpectHolds(err, {(dir / (ofModel ? model : in)).string() + ": " + c.problem.substr(ofModel ? 7 : 0)});
        EXPECT_FALSE(fs::exists(dir / (in + ".mt1"))) << c.problem;
    }
    const auto [status, err] = runImport({put("coarse.ccp4", cell), "--step", "1000"});
    EXPECT_EQ(status, 0);
    ExpectHolds(err, {"the step of 1000 Å leaves only 2 points along x, too few to show the map: give a smaller --step"});
}

}  // namespace
}  // namespace tivarel
