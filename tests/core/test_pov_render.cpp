// The POV-Ray export as the ray tracer sees it: povray (installed by tools/install-deps.sh;
// without it the test fails) renders a small scene with the shipped head, showing the atoms
// where the viewer's window does.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/pov_scene.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string kHead = ReadText(TIVAREL_BIN_DIR "/ZOLmap_POVray_head.def");

// O (red), N (blue) and S (yellow) under a quarter turn about z (x goes to y) and a shift of
// 1 to the right, in a 320 x 240 picture: the shorter side spans -6..6 at the zero plane, seen
// from 22.5 in front, so 20 pixels a unit there. O (3, 2, 0) is seen at (-1, 3, 0), pixel
// (140, 60); N (-4, -3, 0) at (4, -4, 0), pixel (240, 200); S (3, 0, 4) at (1, 3, 4), 22.5 /
// 18.5 times larger: pixel (184.3, 47.0).
TEST(PovRender, SmokeRenderShowsTheAtomsWhereTheWindowDoes) {
    DensityMap map;
    map.atoms = {{"O   ", {3, 2, 0}, 0}, {"N   ", {-4, -3, 0}, 0}, {"S   ", {3, 0, 4}, 0}};
    ProgramState state;
    state.mapFileName = "smoke.fou";
    LayerSettings layers;
    layers.showContourMap = false;
    const std::array<float, 16> view = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    std::string dir = (fs::temp_directory_path() / "tivarel-pov-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::ofstream(dir + "/smoke.pov", std::ios::binary)
        << PovSceneText(PovScene{map, state, layers, {}, {}, {}, view}, kHead).text;
    const std::string command =
        "povray +I" + dir + "/smoke.pov +O" + dir + "/smoke.ppm +FP +W320 +H240 -D -P -A >" + dir + "/log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir + "/log");
    const std::string ppm = ReadText(dir + "/smoke.ppm");   // a P6 picture: header, then the pixels
    fs::remove_all(dir);
    ASSERT_GT(ppm.size(), 230400u);
    const std::string rgb = ppm.substr(ppm.size() - 230400);
    EXPECT_TRUE(ppm.starts_with("P6") && ppm.substr(0, ppm.size() - 230400).ends_with("320 240\n255\n"));
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
