// The POV-Ray scene, line by line with CR LF line ends, and one render by povray; its numbers and
// the peak file's under a locale that writes decimal commas.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

#include "../test_files.h"
#include "export/peak_file.h"
#include "export/pov_scene.h"

namespace tivarel {
namespace {

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
    PovSceneTest() {
        state.mapFileName = "C:\\maps\\urea.fou";
        state.showAtoms = state.showCell = false;
        layers.used = {false, false, false};
        layers.showContourMap = false;
    }
    PovSceneResult exportScene(const std::optional<std::string>& head = kHead) {
        return PovSceneText(PovScene{map, state, layers, bonds, triangles, segments, view}, head);
    }

    DensityMap map;
    ProgramState state;
    LayerSettings layers;
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
    using test_support::ReadFile;
    if (std::system("command -v povray >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "povray is not installed (tools/install-deps.sh installs it): the scene is not rendered";
    map.atoms = {{"O   ", {3, 2, 0}, 0}, {"N   ", {-4, -3, 0}, 0}, {"S   ", {3, 0, 4}, 0}};
    state.showAtoms = true;
    view = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    const test_support::TempFolder folder;
    const std::string dir = folder.path().string();
    test_support::WriteFile(dir + "/smoke.pov", exportScene(ReadFile(TIVAREL_BIN_DIR "/ZOLmap_POVray_head.def")).text);
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

}   // namespace
}   // namespace tivarel
