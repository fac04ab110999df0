// The exports: the number format, the peak file, TGA bytes, the user's files written whole or not at all, and the
// POV-Ray scene, line by line with CR LF line ends, and one render by povray; numbers under a decimal-comma locale.
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <set>
#include <vector>

#include "../test_files.h"
#include "export/number_format.h"
#include "export/peak_file.h"
#include "export/pov_scene.h"
#include "export/safe_write.h"
#include "export/tga.h"

namespace tivarel {
namespace {

using namespace test_support;
namespace fs = std::filesystem;

// Sign or blank, seven significant digits (rounding may carry into the eighth), no leading
// zero, exponent form at the ends.
TEST(FormatNumber, SignBlankSevenDigitsNoLeadingZeroAndExponentFormAtTheEnds) {
    const std::pair<double, const char*> cases[] = {
        {0.0, " 0"},          {-0.0, " 0"},         {-1.0, "-1"},         {-0.125, "-.125"},
        {-300.0, "-300"},     {0.0001, " .0001"},   {9999999.0, " 9999999"}, {123.456789, " 123.4568"},
        {-0.000123456789, "-.0001234568"},          {0.1f, " .1"},        {0.499999f, " .499999"},
        {1e-6, " 1E-06"},     {0.99999994e-4, " 9.999999E-05"},           {1.234567891e-20, " 1.234568E-20"},
        {-2.5e20, "-2.5E+20"}, {9999999.6, " 1E+07"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
}

// 0.49999997 is the float below .5; 0.91860497 and 2.96170688 lie just below a multiple of
// 10^-6 that their product with 1000000, rounded to single precision, would reach.
TEST(CutToSixDecimals, RoundsDownAsTheDecimalExpansionDoes) {
    const std::pair<float, float> cases[] = {{0.49999997f, 0.499999f}, {-0.1234567f, -0.123457f},
                                             {-1e-7f, -1e-6f}, {0.91860497f, 0.918604f}, {2.96170688f, 2.961706f}};
    for (const auto& [value, cut] : cases) EXPECT_EQ(CutToSixDecimals(value), cut) << value;
}

// A skewed cell (all off-diagonal terms set) and an origin away from zero; peaks placed at p = M (f - origin) in double
// come back as f, cut down onto six decimals. A cell that inverts only into rounding noise converts nothing, and
// unsaved peaks under it are kept in the grid frame, under a line that says so.
TEST(FractionalPeaks, GridToFractionalInvertsTheCellOfANonOrthogonalMap) {
    Mat3 cell;
    cell.a = {10.2f, -2.6f, 1.9f, 0.4f, 11.7f, -3.1f, -0.8f, 0.6f, 7.3f};
    const Vec3 origin{0.1f, -0.2f, 0.3f};
    const double f[3][3] = {{0.25, -0.125, 1.0}, {0.731, 0.402, -0.55}, {1.5, 2.25, 0.875}};
    PeakList grid;
    for (const auto& fr : f) {
        double p[3] = {0, 0, 0};
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) p[i - 1] += double(cell(i, j)) * (fr[j - 1] - double(origin[j - 1]));
        grid.push_back({float(p[0]), float(p[1]), float(p[2])});
    }
    const auto fractional = FractionalPeaks(cell, origin, grid);
    ASSERT_TRUE(fractional.has_value());
    for (size_t k = 0; k < grid.size(); ++k)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR((*fractional)[k][c], f[k][c], 2.5e-6) << k << "," << c;
    for (int j = 1; j <= 3; ++j) cell(3, j) = cell(1, j) * 2.0f;
    EXPECT_FALSE(FractionalPeaks(cell, {}, {{1, 2, 3}}).has_value());
    EXPECT_EQ(PeakRecoveryText(cell, origin, {{1.0f, 1.0f, -2.5f}, {0.0f, 0.0f, 0.0f}}, "/maps/m.fou"),
              "Grid-frame coordinates, not fractional: the cell matrix of /maps/m.fou cannot be inverted.\r\n"
              "ATOM Q  1   X= 1  Y= 1  Z=-2.5 \r\nATOM Q  2   X= 0  Y= 0  Z= 0 \r\n");
}

// 640 = 2 * 256 + 128, 480 = 256 + 224, 65535 = 255 * 256 + 255 (the window's picture save checks the pixels).
TEST(Tga, Header) {
    EXPECT_EQ(TgaHeader(640, 480),
              (std::array<uint8_t, 18>{0, 0, 2, 0, 0, 0, 0, 24, 0, 0, 0, 0, 128, 2, 224, 1, 24, 0}));
    const auto largest = TgaHeader(65535, 256);
    EXPECT_EQ((std::array{largest[12], largest[13], largest[14], largest[15]}),
              (std::array<uint8_t, 4>{255, 255, 0, 1}));
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// A shorter file replaces a longer one; the old file's mode stays, also one the umask would cut; a link stays a link,
// its target (relative to the link's folder) is replaced, or created. Temporary names in use are not touched.
TEST(SafeWrite, BytesArriveUnchangedModesAndLinksAreKept) {
    const TempFolder folder;
    const fs::path& dir = folder.path();
    const fs::path path = dir / "newatoms.dat";
    const std::string bytes = std::string("ATOM Q  1   X= .5 \r\n") + '\0' + "\n\xff";
    WriteFile(path.string() + ".1.tmp", "someone else's");
    EXPECT_FALSE(WriteFileAtomically(path.string(), std::string(5000, 'x')).has_value());
    ::chmod(path.c_str(), 0604);
    const mode_t oldMask = ::umask(077);
    EXPECT_FALSE(WriteFileAtomically(path.string(), bytes).has_value());
    ::umask(oldMask);
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
    EXPECT_EQ(ReadFile(path.string() + ".1.tmp"), "someone else's");
    fs::create_directory(dir / "real");
    WriteFile(dir / "real" / "scene.pov", "old scene");
    fs::create_symlink("real/scene.pov", dir / "scene.pov");
    fs::create_symlink("real/picture.tga", dir / "picture.tga");
    EXPECT_FALSE(WriteFileAtomically((dir / "scene.pov").string(), "new scene").has_value());
    EXPECT_FALSE(WriteFileAtomically((dir / "picture.tga").string(), "pixels").has_value());
    EXPECT_EQ(fs::read_symlink(dir / "scene.pov"), "real/scene.pov");
    EXPECT_EQ(ReadFile(dir / "real" / "scene.pov") + ReadFile(dir / "real" / "picture.tga"), "new scenepixels");
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"newatoms.dat", "newatoms.dat.1.tmp", "picture.tga", "real",
                                                   "scene.pov"}));
}

// A read-only file is refused also where the system would let an administrator through; a write that fails part way (at
// a file size limit) ends with a message naming the file, and leaves everything as it was.
TEST(SafeWrite, FailuresNameTheFileAndLeaveEverythingAsItWas) {
    const TempFolder folder;
    const fs::path readOnly = folder.path() / "precious.dat", path = folder.path() / "newatoms.dat";
    WriteFile(readOnly, "precious");
    ::chmod(readOnly.c_str(), 0444);
    ExpectHolds(WriteFileAtomically(readOnly.string(), "new").value_or(""), {readOnly.string(), "read-only"});
    EXPECT_EQ(ReadFile(readOnly), "precious");
    WriteFile(path, "old");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto error = WriteFileAtomically(path.string(), std::string(5000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ExpectHolds(error.value_or(""), {path.string()});
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"newatoms.dat", "precious.dat"}));
}

// New files never replace earlier ones.
TEST(SafeWrite, NewFilesTakeTheFirstFreeName) {
    const TempFolder folder;
    const std::string dir = folder.path().string();
    EXPECT_EQ(WriteNewFile(dir, "map-peaks", ".dat", "one"), dir + "/map-peaks.dat");
    EXPECT_EQ(WriteNewFile(dir, "map-peaks", ".dat", "two"), dir + "/map-peaks-2.dat");
    EXPECT_EQ(ReadFile(dir + "/map-peaks.dat") + ReadFile(dir + "/map-peaks-2.dat"), "onetwo");
}

const std::string kHead = "#include \"colors.inc\"\r\n#declare cylRadius = 0.02;\r\n//END OF FILE\r\ncamera { x }\r\n";
// Columns m1..m4 = (.5, -.25, .125, 9), (1, 2, 3, 9), (4, 5, 6, 9), (7, 8, -30, 9).
const std::array<float, 16> kModelView = {0.5f, -0.25f, 0.125f, 9, 1, 2, 3, 9, 4, 5, 6, 9, 7, 8, -30, 9};
const std::string kEnd =
    "matrix <\n .5  , -.25  ,  .125  , \n 1  ,  2  ,  3  , \n 4  ,  5  ,  6  , \n 7  ,  8  , -30 \n>\n}\n"
    "scale <1,1,-1>\n}\n";

// The whole scene, with CR LF line ends: comments, the head as given, the two unions opened,
// `body`, the matrix and the end.
std::string Scene(const std::string& body,
                  const std::string& head = "#include \"colors.inc\"\n#declare cylRadius = 0.02;\n") {
    std::string out;
    for (char c : "// Original ZOL map filename:\n// C:\\maps\\urea.fou\n" + head + "union {\nunion {\n" + body + kEnd)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// Everything switched off; tests switch on what they look at.
class PovSceneTest : public ::testing::Test {
protected:
    PovSceneResult exportScene(const std::optional<std::string>& head = kHead) {
        return PovSceneText(PovScene{map, state, layers, bonds, triangles, segments, view}, head);
    }

    DensityMap map;
    ProgramState state{.mapFileName = "C:\\maps\\urea.fou", .showAtoms = false};   // no cell either
    LayerSettings layers{.showContourMap = false};                                  // no layer used either
    std::vector<Bond> bonds;
    std::array<float, 16> view = kModelView;
    std::array<std::span<const TriangleRecord>, kLayerCount> triangles{};
    std::array<std::span<const SegmentRecord>, kLayerCount> segments{};
};

// Web style: spokes from the centre (1, 1, 0) to the corners; triangle style: the edges, without those shorter than a
// ten-thousandth (exactly 0.0001 is kept). Only used layers are written, also when they have no triangles.
TEST_F(PovSceneTest, UsedLayersInWebAndTriangleStyle) {
    const Vec3 o{0, 0, 0}, limit{0.0001f, 0, 0}, below{std::nextafter(0.0001f, 0.0f), 0, 0};
    const TriangleRecord triangle{{o, Vec3{3, 0, 0}, Vec3{0, 3, 0}}};
    const std::vector<TriangleRecord> one = {triangle}, two = {triangle, triangle},
                                      tiny = {{{o, o, o}}, {{o, o, limit}}, {{o, below, o}}};
    triangles = {two, one, tiny};
    layers.used = {false, true, true};
    state.meshStyle = MeshStyle::Triangle;
    EXPECT_EQ(exportScene().text,
              Scene("union {\ncylinder{< 0 , 0 , 0 >,< 3 , 0 , 0 >,cylRadius}\ncylinder{< 3 , 0 , 0 >,< 0 , 3 , 0 >,"
                    "cylRadius}\ncylinder{< 0 , 3 , 0 >,< 0 , 0 , 0 >,cylRadius}\npigment { color Level2Color }\n}\n"
                    "union {\ncylinder{< 0 , 0 , 0 >,< .0001 , 0 , 0 >,cylRadius}\ncylinder{< .0001 , 0 , 0 >,< 0 , 0 "
                    ", 0 >,cylRadius}\npigment { color Level3Color }\n}\n"));
    state.meshStyle = MeshStyle::Web;
    triangles[2] = {};
    EXPECT_EQ(exportScene().text,
              Scene("union {\ncylinder{< 0 , 0 , 0 >,< 1 , 1 , 0 >,cylRadius}\ncylinder{< 1 , 1 , 0 >,< 3 , 0 "
                    ", 0 >,cylRadius}\ncylinder{< 1 , 1 , 0 >,< 0 , 3 , 0 >,cylRadius}\npigment { color "
                    "Level2Color }\n}\nunion {\npigment { color Level3Color }\n}\n"));
}

// Corners of a cell of edges 2, 3, 4 through the map's own geometry step: bottom, top, verticals.
TEST_F(PovSceneTest, CellEdgesBottomTopThenVerticals) {
    map.cellMatrix.a = {2, 0, 0, 0, 3, 0, 0, 0, 4};
    FinishCellGeometry(map);
    state.showCell = true;
    std::string cell = "union {\n";
    for (const char* edge :
         {"0 , 0 , 0 >,< 2 , 0 , 0", "2 , 0 , 0 >,< 2 , 3 , 0", "2 , 3 , 0 >,< 0 , 3 , 0", "0 , 3 , 0 >,< 0 , 0 , 0",
          "0 , 0 , 4 >,< 2 , 0 , 4", "2 , 0 , 4 >,< 2 , 3 , 4", "2 , 3 , 4 >,< 0 , 3 , 4", "0 , 3 , 4 >,< 0 , 0 , 4",
          "0 , 0 , 0 >,< 0 , 0 , 4", "2 , 0 , 0 >,< 2 , 0 , 4", "2 , 3 , 0 >,< 2 , 3 , 4", "0 , 3 , 0 >,< 0 , 3 , 4"})
        cell += std::string("cylinder{< ") + edge + " >,cylRadius}\n";
    EXPECT_EQ(exportScene().text, Scene(cell + "pigment { color Gray80 }\n}\n"));
}

// Spheres with the four-character label, then the bonds; hidden atoms take their bonds along.
TEST_F(PovSceneTest, AtomsAsSpheresWithTheirFourCharacterLabelThenBonds) {
    state.showAtoms = true;
    map.atoms = {{"C   ", {1, 2, 3}, 1}, {"O   ", {1.5f, 2, 3}, 2}, {"Cl  ", {1, 2, -3}, 3}};
    bonds = {{1, 2}, {3, 1}};
    EXPECT_EQ(
        exportScene().text,
        Scene(
            "sphere {< 1 , 2 , 3 >,AtomRadiusForC    pigment { color ColorForC   }}\nsphere {< 1.5 , 2 , 3 >,"
            "AtomRadiusForO    pigment { color ColorForO   }}\nsphere {< 1 , 2 ,-3 >,AtomRadiusForCl   pigment { color "
            "ColorForCl  }}\nunion {\ncylinder{< 1 , 2 , 3 >,< 1.5 , 2 , 3 >,bondcylRadius}\ncylinder{< 1 , 2 ,-3 >,"
            "< 1 , 2 , 3 >,bondcylRadius}\npigment { color Gray }\n}\n"));
    state.showAtoms = false;
    EXPECT_EQ(exportScene().text, Scene(""));
}

// The files keep their decimal points when the user's locale writes commas.
TEST_F(PovSceneTest, FilesKeepTheirDecimalPointsUnderACommaLocale) {
    struct Restore {
        std::locale previous = std::locale::global(std::locale::classic());
        ~Restore() { std::locale::global(previous); }
    } restore;
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));   // sets the C library's locale too
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (tools/install-deps.sh makes it)";
    }
    char comma[8];
    std::snprintf(comma, sizeof comma, "%.1f", 0.5);
    ASSERT_STREQ(comma, "0,5");   // the C library writes commas now
    EXPECT_EQ(PeakFileText({{0.25f, -1.5e-7f, 12.5f}}), "ATOM Q  1   X= .25  Y=-1.5E-07  Z= 12.5 \r\n");
    map.atoms = {{"C   ", {0.5f, -2.25f, 1e-5f}, 1}};
    state.showAtoms = true;
    EXPECT_NE(exportScene().text.find("sphere {< .5 ,-2.25 , 1E-05 >"), std::string::npos);
}

// Any line end of the head becomes CR LF and only the exact end line stops the copy; a
// missing head leaves the scene complete, and is reported.
TEST_F(PovSceneTest, HeadIsCopiedUpToItsEndLine) {
    const PovSceneResult copied =
        exportScene(std::string("a\nb\r\n\rc\r\n//END OF FILE \n x//END OF FILE\n//END OF FILE\nd\n"));
    EXPECT_EQ(copied.head, PovHead::Copied);
    EXPECT_EQ(copied.text, Scene("", "a\nb\n\nc\n//END OF FILE \n x//END OF FILE\n"));
    EXPECT_EQ(exportScene(std::nullopt).head, PovHead::Missing);
    EXPECT_EQ(exportScene(std::nullopt).text, Scene("", ""));
}

// O (red), N (blue) and S (yellow) under a quarter turn about z (x goes to y) and a shift of 1 to the right, in a 320 x
// 240 picture: the shorter side spans -6..6 at the zero plane, seen from 22.5 in front, so 20 pixels a unit there. O
// (3, 2, 0) is seen at (-1, 3, 0), pixel (140, 60); N (-4, -3, 0) at (4, -4, 0), pixel (240, 200); S (3, 0, 4) at (1,
// 3, 4), 22.5 / 18.5 times larger: pixel (184.3, 47.0).
TEST_F(PovSceneTest, SmokeRenderShowsTheAtomsWhereTheWindowDoes) {
    if (std::system("command -v povray >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "povray is not installed (tools/install-deps.sh installs it): the scene is not rendered";
    map.atoms = {{"O   ", {3, 2, 0}, 0}, {"N   ", {-4, -3, 0}, 0}, {"S   ", {3, 0, 4}, 0}};
    state.showAtoms = true;
    view = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    const TempFolder folder;
    const std::string dir = folder.path().string();
    WriteFile(dir + "/smoke.pov", exportScene(ReadFile(TIVAREL_BIN_DIR "/ZOLmap_POVray_head.def")).text);
    const std::string command =
        "povray +I" + dir + "/smoke.pov +O" + dir + "/smoke.ppm +FP +W320 +H240 -D -P -A >" + dir + "/log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(dir + "/log");
    const std::string ppm = ReadFile(dir + "/smoke.ppm");   // a P6 picture: header, then the pixels
    ASSERT_TRUE(ppm.size() > 230400 && ppm.starts_with("P6") &&
                ppm.substr(0, ppm.size() - 230400).ends_with("320 240\n255\n"));
    const std::string rgb = ppm.substr(ppm.size() - 230400);
    const struct {
        const char* atom;
        bool (*colour)(int, int, int);
        double x, y;
    } atoms[] = {{"O", [](int r, int g, int b) { return r > 90 && 2 * g < r && 2 * b < r; }, 140.0, 60.0},
                 {"N", [](int r, int g, int b) { return b > 60 && 3 * r < 2 * b && 3 * g < 2 * b; }, 240.0, 200.0},
                 {"S", [](int r, int g, int b) { return r > 90 && g > 90 && 2 * b < g; }, 184.3, 47.0}};
    for (const auto& atom : atoms) {
        double count = 0, x = 0, y = 0;   // centre of the atom's pixels, pixel centres at +0.5
        for (size_t i = 0; i < 320 * 240; ++i)
            if (atom.colour(uint8_t(rgb[3 * i]), uint8_t(rgb[3 * i + 1]), uint8_t(rgb[3 * i + 2]))) {
                ++count;
                x += double(i % 320) + 0.5;
                y += double(i / 320) + 0.5;
            }
        ASSERT_GT(count, 4) << atom.atom << " not seen";
        EXPECT_NEAR(x / count, atom.x, 1.0) << atom.atom;
        EXPECT_NEAR(y / count, atom.y, 1.0) << atom.atom;
    }
}

}  // namespace
}  // namespace tivarel
