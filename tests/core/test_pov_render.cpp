// The POV-Ray export as the ray tracer sees it: the shipped head declares every
// identifier a scene can use (both forms of every label of atompar2.txt), the sample
// map's full scene parses and renders, and the head's camera shows the model where the
// viewer's window does. Expected pixel positions come from the window's own frustum
// (shorter side -6..6 at the zero plane, eye 22.5 in front of it), not from the head.
// povray and ImageMagick's convert are installed by tools/install-deps.sh; without
// them these tests fail rather than skip. Renders stay in the build folder's
// pov_render/ for a look at them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/pov_scene.h"
#include "mapio/atoms.h"
#include "mapio/fou_reader.h"
#include "surface/cell_table.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "view/trackball.h"

namespace tivarel {
namespace {

namespace fs = std::filesystem;

const std::string kHeadPath = TIVAREL_BIN_DIR "/ZOLmap_POVray_head.def";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------- the head file

// Labels of the parameter file: columns 34-37 of each entry line after the heading,
// up to the line whose columns 1-3 give a number below 1; trailing blanks dropped,
// as POV-Ray ends an identifier at the first blank.
std::vector<std::string> ParameterLabels() {
    const std::vector<std::string> lines = TextLines(ReadText(TIVAREL_SOURCE_DIR "/data/atompar2.txt"));
    std::vector<std::string> labels;
    for (size_t i = 1; i < lines.size() && std::atoi(lines[i].substr(0, 3).c_str()) >= 1; ++i) {
        std::string label = lines[i].substr(33, 4);
        label.erase(label.find_last_not_of(' ') + 1);
        labels.push_back(label);
    }
    return labels;
}

// Identifier -> declared value text, from the part of the head a scene gets (before
// the end line). Fails the test when the end line is missing.
std::map<std::string, std::string> CopiedDeclarations() {
    const std::vector<std::string> lines = TextLines(ReadText(kHeadPath));
    const auto end = std::find(lines.begin(), lines.end(), "//END OF FILE");
    EXPECT_NE(end, lines.end()) << "the head has no \"//END OF FILE\" line";
    const std::regex declare(R"(#declare\s+(\w+)\s*=\s*([^;]*);)");
    std::map<std::string, std::string> found;
    for (auto line = lines.begin(); line != end; ++line)
        for (std::sregex_iterator m(line->begin(), line->end(), declare), stop; m != stop; ++m)
            found[(*m)[1]] = (*m)[2];
    return found;
}

// The numbers of a value text such as "color srgb <0.1, 0.7, 0.1>" or "0.18".
std::vector<double> Numbers(const std::string& text) {
    const std::regex number(R"([-+]?(\d+\.?\d*|\.\d+))");
    std::vector<double> values;
    for (std::sregex_iterator m(text.begin(), text.end(), number), stop; m != stop; ++m)
        values.push_back(std::stod(m->str()));
    return values;
}

TEST(PovHead, DeclaresEveryIdentifierOfAScene) {
    const std::map<std::string, std::string> declared = CopiedDeclarations();
    const std::vector<std::string> labels = ParameterLabels();
    ASSERT_GE(labels.size(), 200u);   // the shipped table: elements, upper-case forms, Q
    EXPECT_EQ(labels.back(), "Q");
    for (const std::string& label : labels) {
        EXPECT_TRUE(declared.count("AtomRadiusFor" + label)) << label;
        EXPECT_TRUE(declared.count("ColorFor" + label)) << label;
    }
    for (const char* name : {"cylRadius", "bondcylRadius", "Level1Color", "Level2Color", "Level3Color",
                             "Gray", "Gray40", "Gray80"})
        EXPECT_TRUE(declared.count(name)) << name;
}

// The screen's sizes and colours of the atoms it knows by name, and its mesh colours.
TEST(PovHead, KeepsTheScreensAtomAndLayerLooks) {
    const std::map<std::string, std::string> declared = CopiedDeclarations();
    struct Look {
        const char* label;
        double radius;
        std::vector<double> colour;
    };
    const Look looks[] = {{"H", 0.1, {0.6, 0.6, 1.0}},  {"C", 0.18, {0.7, 0.7, 0.7}},
                          {"N", 0.2, {0.3, 0.3, 1.0}},  {"O", 0.2, {1.0, 0.1, 0.1}},
                          {"S", 0.2, {0.8, 0.8, 0.2}},  {"F", 0.2, {0.6, 0.6, 1.0}},
                          {"Q", 0.15, {0.9, 0.5, 0.1}}};
    for (const Look& look : looks) {
        const std::string label = look.label;
        EXPECT_EQ(Numbers(declared.at("AtomRadiusFor" + label)), std::vector<double>{look.radius}) << label;
        EXPECT_EQ(Numbers(declared.at("ColorFor" + label)), look.colour) << label;
    }
    EXPECT_EQ(Numbers(declared.at("Level1Color")), (std::vector<double>{0.1, 0.7, 0.1}));
    EXPECT_EQ(Numbers(declared.at("Level2Color")), (std::vector<double>{0.1, 0.1, 0.7}));
    EXPECT_EQ(Numbers(declared.at("Level3Color")), (std::vector<double>{0.7, 0.1, 0.1}));
}

// ---------------------------------------------------------------- rendering

struct Rgb8 {
    int r = 0, g = 0, b = 0;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb8> pixels;   // top row first
    const Rgb8& at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

struct Render {
    int status = -1;
    std::string output;   // what povray printed
    Picture picture;
};

struct Command {
    int status = -1;
    std::string output;
};

Command Run(const std::string& command) {
    Command result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

// A binary PPM (P6, maxval 255), comments allowed in the header.
Picture ParsePpm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    in >> magic;
    int header[3] = {};
    for (int& value : header) {
        while ((in >> std::ws).peek() == '#') in.ignore(1 << 20, '\n');
        in >> value;
    }
    in.get();
    if (magic != "P6" || header[2] != 255 || header[0] <= 0 || header[1] <= 0)
        throw std::runtime_error("not an 8-bit P6 picture");
    Picture p{header[0], header[1], {}};
    for (int i = 0; i < p.width * p.height; ++i) {
        unsigned char rgb[3];
        if (!in.read(reinterpret_cast<char*>(rgb), 3)) throw std::runtime_error("picture data cut short");
        p.pixels.push_back({rgb[0], rgb[1], rgb[2]});
    }
    return p;
}

fs::path RenderFolder() {
    const fs::path dir = fs::path(TIVAREL_BIN_DIR) / "pov_render";
    fs::create_directories(dir);
    return dir;
}

// Writes name.pov and has povray trace it headless into name.png, which convert
// turns into a PPM for the checks.
Render RenderScene(const std::string& scene, const std::string& name, int width, int height) {
    const fs::path dir = RenderFolder();
    std::ofstream(dir / (name + ".pov"), std::ios::binary) << scene;
    fs::remove(dir / (name + ".png"));
    const std::string cd = "cd '" + dir.string() + "' && ";
    const Command trace = Run(cd + "povray +I" + name + ".pov +O" + name + ".png +W" + std::to_string(width) +
                              " +H" + std::to_string(height) + " -D -P +FN +A0.0 +R2 2>&1");
    Render render{trace.status, trace.output, {}};
    if (render.status != 0) return render;
    const Command png = Run(cd + "convert " + name + ".png -depth 8 ppm:-");
    if (png.status != 0) throw std::runtime_error("convert failed on " + name + ".png: " + png.output);
    render.picture = ParsePpm(png.output);
    return render;
}

void ExpectCleanRender(const Render& render, int width, int height) {
    ASSERT_EQ(render.status, 0) << "povray (from tools/install-deps.sh) failed:\n" << render.output;
    EXPECT_EQ(render.output.find("Parse Error"), std::string::npos) << render.output;
    EXPECT_EQ(render.picture.width, width);
    EXPECT_EQ(render.picture.height, height);
}

// Where the window puts an eye-space point (GL eye frame: viewer on +z): pixel
// coordinates with the picture's top left corner at 0 and pixel centres at +0.5.
struct Pixel {
    double x = 0, y = 0;
};

Pixel WindowPixel(double ex, double ey, double ez, int width, int height) {
    const double w = width, h = height;
    const double halfX = 6.0 * std::max(1.0, w / h), halfY = 6.0 * std::max(1.0, h / w);
    const double perspective = 22.5 / (22.5 - ez);
    return {w / 2 + ex * perspective * (w / 2) / halfX, h / 2 - ey * perspective * (h / 2) / halfY};
}

// The model-view matrix (column order) applied to a model point.
std::array<double, 3> ToEye(const Mat4& m, double x, double y, double z) {
    return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
            m[2] * x + m[6] * y + m[10] * z + m[14]};
}

Pixel ModelPixel(const Mat4& m, double x, double y, double z, int width, int height) {
    const std::array<double, 3> e = ToEye(m, x, y, z);
    return WindowPixel(e[0], e[1], e[2], width, height);
}

// Centre (pixel centres at +0.5) and count of the pixels a test selects.
struct Blob {
    int count = 0;
    double x = 0, y = 0;
};

template <typename Select>
Blob FindBlob(const Picture& p, Select select) {
    Blob blob;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (select(p.at(x, y))) {
                ++blob.count;
                blob.x += x + 0.5;
                blob.y += y + 0.5;
            }
    if (blob.count > 0) {
        blob.x /= blob.count;
        blob.y /= blob.count;
    }
    return blob;
}

bool Lit(const Rgb8& c) { return std::max({c.r, c.g, c.b}) > 24; }
bool Reddish(const Rgb8& c) { return c.r > 90 && c.g * 2 < c.r && c.b * 2 < c.r; }
bool Greenish(const Rgb8& c) { return c.g > 60 && c.r * 2 < c.g && c.b * 2 < c.g; }
bool Bluish(const Rgb8& c) { return c.b > 60 && c.r * 3 < c.b * 2 && c.g * 3 < c.b * 2; }
bool Yellowish(const Rgb8& c) { return c.r > 90 && c.g > 90 && c.b * 2 < c.g; }

const Mat4 kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// ---------------------------------------------------------------- where atoms land

// Three atoms of distinct colours and nothing else, at spots whose screen positions
// tell x from y, up from down and near from far.
class PovAtomPlacement : public ::testing::Test {
protected:
    PovAtomPlacement() {
        map.atoms = {{"O   ", {3, 2, 0}, 0}, {"N   ", {-4, -3, 0}, 0}, {"S   ", {3, 0, 4}, 0}};
        state.mapFileName = "placement.fou";
        state.showAtoms = true;
        layers.used = {false, false, false};
        layers.showContourMap = false;
    }
    std::string Scene(const Mat4& modelView) {
        const PovScene scene{map, state, layers, {}, {}, {}, modelView};
        return PovSceneText(scene, ReadText(kHeadPath)).text;
    }
    void ExpectAtomsWhereTheWindowShowsThem(const Mat4& modelView, const std::string& name, int w, int h) {
        const Render render = RenderScene(Scene(modelView), name, w, h);
        ExpectCleanRender(render, w, h);
        if (HasFatalFailure()) return;
        ExpectBlobAt(render.picture, Reddish, ModelPixel(modelView, 3, 2, 0, w, h), "O");
        ExpectBlobAt(render.picture, Bluish, ModelPixel(modelView, -4, -3, 0, w, h), "N");
        ExpectBlobAt(render.picture, Yellowish, ModelPixel(modelView, 3, 0, 4, w, h), "S");
    }
    template <typename Select>
    static void ExpectBlobAt(const Picture& p, Select select, Pixel where, const char* atom) {
        const Blob blob = FindBlob(p, select);
        ASSERT_GT(blob.count, 4) << atom << " not seen";
        EXPECT_NEAR(blob.x, where.x, 1.0) << atom;
        EXPECT_NEAR(blob.y, where.y, 1.0) << atom;
    }

    DensityMap map;
    ProgramState state;
    LayerSettings layers;
};

TEST_F(PovAtomPlacement, UnturnedViewInALandscapePicture) {
    ExpectAtomsWhereTheWindowShowsThem(kIdentity, "placement_landscape", 320, 240);
}

// The shorter side is now the width: it spans -6..6 and the height widens.
TEST_F(PovAtomPlacement, UnturnedViewInAPortraitPicture) {
    ExpectAtomsWhereTheWindowShowsThem(kIdentity, "placement_portrait", 240, 320);
}

// A quarter turn about z (x goes to y) and a shift of 1 to the right: a transposed
// matrix would turn the other way, a lost translation leave the atoms in place.
TEST_F(PovAtomPlacement, TurnedAndShiftedView) {
    const Mat4 quarterTurn = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    ExpectAtomsWhereTheWindowShowsThem(quarterTurn, "placement_turned", 320, 240);
}

// ---------------------------------------------------------------- the sample map

// The sample map's scene as the program computes it on opening: levels at 10, 30 and
// 50 % of the density range, bonds, contours of a middle plane; atoms, cell and contour
// map shown, web style.
struct SampleScene {
    DensityMap map = ReadFouMap(TIVAREL_SOURCE_DIR "/data/sample.fou");
    ProgramState state;
    LayerSettings layers;
    BondList bonds;
    std::unique_ptr<TriangleStore> triangles = std::make_unique<TriangleStore>();
    std::unique_ptr<SegmentStore> segments = std::make_unique<SegmentStore>();

    SampleScene() {
        BuildBonds(map, TIVAREL_BIN_DIR, bonds);
        state.mapFileName = TIVAREL_SOURCE_DIR "/data/sample.fou";
        state.showAtoms = state.showCell = true;
        state.meshStyle = 1;
        layers.showContourMap = true;
        layers.zSection = static_cast<int16_t>((map.gridParams.nz() + 1) / 2);
        const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
        const GridParams& g = map.gridParams;
        const double range = static_cast<double>(g.maxValue()) - g.minValue();
        const double fractions[3] = {0.1, 0.3, 0.5};
        for (int layer = 1; layer <= 3; ++layer) {
            const float level = static_cast<float>(range * fractions[layer - 1] + g.minValue());
            layers.layerUsed(layer) = true;
            MarchLayer(g, map.grid, level, layer, *triangles, table, nullptr);
            (void)MarchSquares(g, map.grid, level, layers.zSection, layer, *segments);
        }
    }
    std::string Text(const Mat4& modelView) const {
        PovScene scene{map, state, layers, bonds.bonds, {}, {}, modelView};
        for (int layer = 1; layer <= 3; ++layer) {
            scene.triangles[static_cast<size_t>(layer - 1)] = triangles->layer(layer);
            scene.segments[static_cast<size_t>(layer - 1)] = segments->layer(layer);
        }
        return PovSceneText(scene, ReadText(kHeadPath)).text;
    }
    // The window box (left, top, right, bottom) of the grid's eight corners: every
    // part of the scene lies inside the grid.
    std::array<double, 4> GridBox(const Mat4& m, int w, int h) const {
        const GridParams& g = map.gridParams;
        const double xs[2] = {g.x0(), g.x0() + (g(1) - 1.0) * g.dx()};
        const double ys[2] = {g.y0(), g.y0() + (g(2) - 1.0) * g.dy()};
        const double zs[2] = {g.z0(), g.z0() + (g(3) - 1.0) * g.dz()};
        std::array<double, 4> box = {1e9, 1e9, -1e9, -1e9};
        for (double x : xs)
            for (double y : ys)
                for (double z : zs) {
                    const Pixel p = ModelPixel(m, x, y, z, w, h);
                    box = {std::min(box[0], p.x), std::min(box[1], p.y), std::max(box[2], p.x),
                           std::max(box[3], p.y)};
                }
        return box;
    }
};

// Renders the sample under one view and checks what any view must show.
Picture ExpectSampleFramed(const SampleScene& sample, const Mat4& modelView, const std::string& name) {
    constexpr int w = 320, h = 240;
    const Render render = RenderScene(sample.Text(modelView), name, w, h);
    ExpectCleanRender(render, w, h);
    const Picture& p = render.picture;
    if (p.pixels.empty()) return p;
    const Blob lit = FindBlob(p, Lit);
    EXPECT_GT(lit.count, w * h / 50) << name << ": hardly anything drawn";
    // The molecules sit in the middle of the grid, which is centred on the view.
    EXPECT_NEAR(lit.x, w / 2.0, w / 10.0) << name;
    EXPECT_NEAR(lit.y, h / 2.0, h / 10.0) << name;
    const std::array<double, 4> box = sample.GridBox(modelView, w, h);
    int outside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (Lit(p.at(x, y)) && (x + 2 < box[0] || x - 1 > box[2] || y + 2 < box[1] || y - 1 > box[3]))
                ++outside;
    EXPECT_EQ(outside, 0) << name << ": lit pixels outside the grid's box";
    // Layer 1 in its screen green (nothing else is green); layer 2 and the nitrogen
    // atoms blue. Layer 3 lies deep inside the other two and shows in a few pixels only.
    EXPECT_GT(FindBlob(p, Greenish).count, w * h / 100) << name;
    EXPECT_GT(FindBlob(p, Bluish).count, 20) << name;
    return p;
}

TEST(PovSampleRender, MoleculesInTheMiddleUnderTwoViews) {
    const SampleScene sample;
    ASSERT_GT(sample.triangles->count(1), 0);
    ASSERT_GT(sample.segments->count(1), 0);
    ASSERT_GT(sample.bonds.count(), 0);
    const Picture unturned = ExpectSampleFramed(sample, kIdentity, "sample_unturned");
    // The view along x of the program's axis keys: another picture, framed as well.
    ViewState view;
    SetViewQuat(view, "X");
    const Picture along = ExpectSampleFramed(sample, ModelViewMatrix(view), "sample_along_x");
    ASSERT_EQ(along.pixels.size(), unturned.pixels.size());
    size_t differing = 0;
    for (size_t i = 0; i < along.pixels.size(); ++i)
        differing += Lit(along.pixels[i]) != Lit(unturned.pixels[i]) ? 1 : 0;
    EXPECT_GT(differing, along.pixels.size() / 50);
}

}  // namespace
}  // namespace tivarel
