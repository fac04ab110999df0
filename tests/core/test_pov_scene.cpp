// POV-Ray scene: comments and head copy, the unions in their order, cylinders and spheres in
// the file number form, short cylinders left out, the matrix block and the closing lines;
// every line ends with CR LF.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/pov_scene.h"

namespace tivarel {
namespace {

using Lines = std::vector<std::string>;

// The text split at CR LF; fails on a bare CR or LF or a missing last line end.
Lines SplitCrLf(const std::string& text) {
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    for (const std::string& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return lines;
}

const std::string kHead =
    "#include \"colors.inc\"\r\n#declare cylRadius = 0.02;\r\n//END OF FILE\r\ncamera { not copied }\r\n";
const Lines kStart = {"// Original ZOL map filename:",
                      "// C:\\maps\\urea.fou",
                      "#include \"colors.inc\"",
                      "#declare cylRadius = 0.02;",
                      "union {",
                      "union {"};
// Columns m1..m4 = (.5, -.25, .125, 9), (1, 2, 3, 9), (4, 5, 6, 9), (7, 8, -30, 9).
const std::array<float, 16> kModelView = {0.5f, -0.25f, 0.125f, 9, 1, 2, 3, 9, 4, 5, 6, 9, 7, 8, -30, 9};
const Lines kEnd = {"matrix <",
                    " .5  , -.25  ,  .125  , ",
                    " 1  ,  2  ,  3  , ",
                    " 4  ,  5  ,  6  , ",
                    " 7  ,  8  , -30 ",
                    ">",
                    "}",
                    "scale <1,1,-1>",
                    "}"};
const TriangleRecord kTriangle{{Point3{0, 0, 0}, Point3{3, 0, 0}, Point3{0, 3, 0}}};

Lines Scene(const Lines& body, const Lines& start = kStart) {
    Lines all = start;
    all.insert(all.end(), body.begin(), body.end());
    all.insert(all.end(), kEnd.begin(), kEnd.end());
    return all;
}

// Everything switched off; tests switch on what they look at.
class PovSceneTest : public ::testing::Test {
protected:
    PovSceneTest() {
        state.mapFileName = "C:\\maps\\urea.fou";
        state.showAtoms = state.showCell = false;
        layers.used = {false, false, false};
        layers.showContourMap = false;
        layers.zSection = 2;
        const float header[9] = {4, 3, 5, 1, 2, 3, 0.5f, 0.25f, 2};   // 4 x 3 x 5 from (1, 2, 3), steps (.5, .25, 2)
        for (int k = 1; k <= 9; ++k) map.gridParams(k) = header[k - 1];
    }
    PovSceneResult Export(const std::optional<std::string>& head = kHead) {
        return PovSceneText(PovScene{map, state, layers, bonds, triangles, segments, kModelView}, head);
    }
    Lines ExportLines() { return SplitCrLf(Export().text); }

    DensityMap map;
    ProgramState state;
    LayerSettings layers;
    std::vector<Bond> bonds;
    std::array<std::span<const TriangleRecord>, kLayerCount> triangles{};
    std::array<std::span<const SegmentRecord>, kLayerCount> segments{};
};

// Web style: spokes from the centre (1, 1, 0) to the corners; triangle style: the edges.
// Only used layers are written, also when they have no triangles.
TEST_F(PovSceneTest, UsedLayersInWebAndTriangleStyle) {
    const std::vector<TriangleRecord> one = {kTriangle}, two = {kTriangle, kTriangle};
    triangles = {two, one, two};
    layers.used = {false, true, false};
    state.meshStyle = 2;
    EXPECT_EQ(ExportLines(),
              Scene({"union {", "cylinder{< 0 , 0 , 0 >,< 3 , 0 , 0 >,cylRadius}",
                     "cylinder{< 3 , 0 , 0 >,< 0 , 3 , 0 >,cylRadius}",
                     "cylinder{< 0 , 3 , 0 >,< 0 , 0 , 0 >,cylRadius}", "pigment { color Level2Color }", "}"}));
    state.meshStyle = 1;
    EXPECT_EQ(ExportLines(),
              Scene({"union {", "cylinder{< 0 , 0 , 0 >,< 1 , 1 , 0 >,cylRadius}",
                     "cylinder{< 1 , 1 , 0 >,< 3 , 0 , 0 >,cylRadius}",
                     "cylinder{< 1 , 1 , 0 >,< 0 , 3 , 0 >,cylRadius}", "pigment { color Level2Color }", "}"}));
    triangles = {};
    layers.used = {true, false, true};
    EXPECT_EQ(ExportLines(), Scene({"union {", "pigment { color Level1Color }", "}", "union {",
                                    "pigment { color Level3Color }", "}"}));
}

// A cylinder exactly 0.0001 long is written, a shorter one (or none at all) is not.
TEST_F(PovSceneTest, CylindersShorterThanATenThousandthAreLeftOut) {
    const Point3 o{0, 0, 0}, limit{0.0001f, 0, 0}, below{std::nextafter(0.0001f, 0.0f), 0, 0};
    const std::vector<TriangleRecord> layer3 = {TriangleRecord{{o, o, o}}, TriangleRecord{{o, o, limit}},
                                                TriangleRecord{{o, below, o}}};
    triangles[2] = layer3;
    layers.used = {false, false, true};
    state.meshStyle = 2;
    EXPECT_EQ(ExportLines(),
              Scene({"union {", "cylinder{< 0 , 0 , 0 >,< .0001 , 0 , 0 >,cylRadius}",
                     "cylinder{< .0001 , 0 , 0 >,< 0 , 0 , 0 >,cylRadius}", "pigment { color Level3Color }", "}"}));
}

TEST_F(PovSceneTest, ContourMapOfAllLayersThenTheFrameAtThePlaneHeight) {
    const std::vector<SegmentRecord> layer1 = {{{1, 2, 5}, {1.5f, 2.25f, 5}}},
                                     layer3 = {{{-0.5f, 2, 5}, {1, 2, 5}}, {{2, 2.5f, 5}, {2.5f, 2.5f, 5}}};
    segments = {layer1, std::span<const SegmentRecord>{}, layer3};
    layers.showContourMap = true;   // no layer used: the contours are written all the same
    // zSection 2: z = 1 * 2 + 3 = 5; xe = 3 * 0.5 + 1 = 2.5; ye = 2 * 0.25 + 2 = 2.5.
    EXPECT_EQ(ExportLines(),
              Scene({"union {", "cylinder{< 1 , 2 , 5 >,< 1.5 , 2.25 , 5 >,cylRadius}", "pigment { color Level1Color }",
                     "}", "union {", "pigment { color Level2Color }", "}", "union {",
                     "cylinder{<-.5 , 2 , 5 >,< 1 , 2 , 5 >,cylRadius}",
                     "cylinder{< 2 , 2.5 , 5 >,< 2.5 , 2.5 , 5 >,cylRadius}", "pigment { color Level3Color }", "}",
                     "union {", "cylinder{< 1 , 2 , 5 >,< 2.5 , 2 , 5 >,cylRadius}",
                     "cylinder{< 2.5 , 2 , 5 >,< 2.5 , 2.5 , 5 >,cylRadius}",
                     "cylinder{< 2.5 , 2.5 , 5 >,< 1 , 2.5 , 5 >,cylRadius}",
                     "cylinder{< 1 , 2.5 , 5 >,< 1 , 2 , 5 >,cylRadius}", "pigment { color Gray40 }", "}"}));
}

// Corners of a cell of edges 2, 3, 4 through the map's own geometry step: bottom, top, verticals.
TEST_F(PovSceneTest, CellEdgesBottomTopThenVerticals) {
    map.cellMatrix.a = {2, 0, 0, 0, 3, 0, 0, 0, 4};
    FinishCellGeometry(map);
    state.showCell = true;
    Lines cell = {"union {"};
    for (const char* edge :
         {"0 , 0 , 0 >,< 2 , 0 , 0", "2 , 0 , 0 >,< 2 , 3 , 0", "2 , 3 , 0 >,< 0 , 3 , 0", "0 , 3 , 0 >,< 0 , 0 , 0",
          "0 , 0 , 4 >,< 2 , 0 , 4", "2 , 0 , 4 >,< 2 , 3 , 4", "2 , 3 , 4 >,< 0 , 3 , 4", "0 , 3 , 4 >,< 0 , 0 , 4",
          "0 , 0 , 0 >,< 0 , 0 , 4", "2 , 0 , 0 >,< 2 , 0 , 4", "2 , 3 , 0 >,< 2 , 3 , 4", "0 , 3 , 0 >,< 0 , 3 , 4"})
        cell.push_back(std::string("cylinder{< ") + edge + " >,cylRadius}");
    cell.insert(cell.end(), {"pigment { color Gray80 }", "}"});
    EXPECT_EQ(ExportLines(), Scene(cell));
}

// Spheres with the four-character label, then the bonds; hidden atoms take their bonds along.
TEST_F(PovSceneTest, AtomsAsSpheresWithTheirFourCharacterLabelThenBonds) {
    state.showAtoms = true;
    EXPECT_EQ(ExportLines(), Scene({"union {", "pigment { color Gray }", "}"}));
    map.atoms = {{"C   ", {1, 2, 3}, 1}, {"O   ", {1.5f, 2, 3}, 2}, {"Cl  ", {1, 2, -3}, 3}};
    bonds = {{1, 2}, {3, 1}};
    EXPECT_EQ(ExportLines(),
              Scene({"sphere {< 1 , 2 , 3 >,AtomRadiusForC    pigment { color ColorForC   }}",
                     "sphere {< 1.5 , 2 , 3 >,AtomRadiusForO    pigment { color ColorForO   }}",
                     "sphere {< 1 , 2 ,-3 >,AtomRadiusForCl   pigment { color ColorForCl  }}", "union {",
                     "cylinder{< 1 , 2 , 3 >,< 1.5 , 2 , 3 >,bondcylRadius}",
                     "cylinder{< 1 , 2 ,-3 >,< 1 , 2 , 3 >,bondcylRadius}", "pigment { color Gray }", "}"}));
    bonds = {{1, 4}};
    EXPECT_THROW(Export(), std::out_of_range);
    state.showAtoms = false;
    EXPECT_EQ(ExportLines(), Scene({}));
}

TEST_F(PovSceneTest, SectionsFollowAtomsSurfacesContoursCell) {
    map.atoms = {{"N   ", {0, 0, 0}, 1}};
    const std::vector<TriangleRecord> mesh = {kTriangle};
    triangles = {mesh, mesh, mesh};
    layers.used = {true, true, true};
    layers.showContourMap = state.showAtoms = state.showCell = true;
    Lines pigments;
    for (const std::string& line : ExportLines())
        if (line.starts_with("pigment")) pigments.push_back(line.substr(16));
    EXPECT_EQ(pigments, (Lines{"Gray }", "Level1Color }", "Level2Color }", "Level3Color }", "Level1Color }",
                               "Level2Color }", "Level3Color }", "Gray40 }", "Gray80 }"}));
}

// Any line end of the head becomes CR LF and only the exact end line stops the copy; a head
// without one is copied whole, a missing head leaves the scene complete. Both are reported.
TEST_F(PovSceneTest, HeadIsCopiedUpToItsEndLine) {
    const PovSceneResult result =
        Export(std::string("a\nb\r\n\rc\r\n//END OF FILE \n x//END OF FILE\n//END OF FILE\nd\n"));
    EXPECT_EQ(result.head, PovHead::Copied);
    const Lines comments(kStart.begin(), kStart.begin() + 2), open(kStart.end() - 2, kStart.end());
    Lines start = comments;
    start.insert(start.end(), {"a", "b", "", "c", "//END OF FILE ", " x//END OF FILE"});
    start.insert(start.end(), open.begin(), open.end());
    EXPECT_EQ(SplitCrLf(result.text), Scene({}, start));
    const PovSceneResult noEnd = Export(std::string("#declare Gray40 = 1;\n#declare Gray80 = 2;"));
    EXPECT_EQ(noEnd.head, PovHead::NoEndLine);
    start = comments;
    start.insert(start.end(), {"#declare Gray40 = 1;", "#declare Gray80 = 2;"});
    start.insert(start.end(), open.begin(), open.end());
    EXPECT_EQ(SplitCrLf(noEnd.text), Scene({}, start));
    start = comments;
    start.insert(start.end(), open.begin(), open.end());
    EXPECT_EQ(Export(std::string()).head, PovHead::NoEndLine);
    EXPECT_EQ(SplitCrLf(Export(std::string()).text), Scene({}, start));
    EXPECT_EQ(Export(std::nullopt).head, PovHead::Missing);
    EXPECT_EQ(SplitCrLf(Export(std::nullopt).text), Scene({}, start));
}

}   // namespace
}   // namespace tivarel
