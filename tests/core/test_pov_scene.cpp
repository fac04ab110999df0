// POV-Ray scene: comments and head copy, the unions in their order, cylinders and
// spheres in the file number form, short cylinders left out, the matrix block and
// the closing lines; every line ends with CR LF.
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
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        lines.push_back(line);
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const std::string kHead =
    "#include \"colors.inc\"\r\n"
    "#declare cylRadius = 0.02;\r\n"
    "//END OF FILE\r\n"
    "camera { not copied }\r\n";
const Lines kComments = {"// Original ZOL map filename:", "// C:\\maps\\urea.fou"};
const Lines kHeadLines = {"#include \"colors.inc\"", "#declare cylRadius = 0.02;"};
const Lines kOpen = {"union {", "union {"};
// Columns m1..m4 = (.5, -.25, .125, 9), (1, 2, 3, 9), (4, 5, 6, 9), (7, 8, -30, 9).
const std::array<float, 16> kModelView = {0.5f, -0.25f, 0.125f, 9, 1, 2, 3, 9, 4, 5, 6, 9, 7, 8, -30, 9};
const Lines kMatrixAndClose = {"matrix <",
                               " .5  , -.25  ,  .125  , ",
                               " 1  ,  2  ,  3  , ",
                               " 4  ,  5  ,  6  , ",
                               " 7  ,  8  , -30 ",
                               ">",
                               "}",
                               "scale <1,1,-1>",
                               "}"};

// The triangle of the web-style example: (0,0,0), (3,0,0), (0,3,0).
const TriangleRecord kTriangle{{Point3{0, 0, 0}, Point3{3, 0, 0}, Point3{0, 3, 0}}};

// Everything switched off; tests switch on what they look at.
class PovSceneTest : public ::testing::Test {
protected:
    PovSceneTest() {
        state.mapFileName = "C:\\maps\\urea.fou";
        state.showAtoms = false;
        state.showCell = false;
        state.meshStyle = 2;
        layers.used = {false, false, false};
        layers.showContourMap = false;
        layers.zSection = 2;
        // Grid 4 x 3 x 5 from (1, 2, 3), steps (0.5, 0.25, 2).
        const float header[9] = {4, 3, 5, 1, 2, 3, 0.5f, 0.25f, 2};
        for (int k = 1; k <= 9; ++k) map.gridParams(k) = header[k - 1];
    }
    PovSceneResult Export(const std::optional<std::string>& head = kHead) {
        PovScene scene{map, state, layers, bonds, triangles, segments, kModelView};
        return PovSceneText(scene, head);
    }
    Lines ExportLines() { return SplitCrLf(Export().text); }

    DensityMap map;
    ProgramState state;
    LayerSettings layers;
    std::vector<Bond> bonds;
    std::array<std::span<const TriangleRecord>, kLayerCount> triangles{};
    std::array<std::span<const SegmentRecord>, kLayerCount> segments{};
};

TEST_F(PovSceneTest, OneLayerInTriangleStyleWithEverythingElseOff) {
    const std::vector<TriangleRecord> layer2 = {kTriangle};
    const std::vector<TriangleRecord> unused = {kTriangle, kTriangle};
    triangles = {unused, layer2, unused};
    layers.layerUsed(2) = true;
    const PovSceneResult result = Export();
    EXPECT_EQ(result.head, PovHead::Copied);
    const Lines layer = {"union {",
                         "cylinder{< 0 , 0 , 0 >,< 3 , 0 , 0 >,cylRadius}",
                         "cylinder{< 3 , 0 , 0 >,< 0 , 3 , 0 >,cylRadius}",
                         "cylinder{< 0 , 3 , 0 >,< 0 , 0 , 0 >,cylRadius}",
                         "pigment { color Level2Color }",
                         "}"};
    EXPECT_EQ(SplitCrLf(result.text), Join({kComments, kHeadLines, kOpen, layer, kMatrixAndClose}));
}

TEST_F(PovSceneTest, WebStyleDrawsSpokesFromTheCentre) {
    const std::vector<TriangleRecord> layer1 = {kTriangle};
    triangles[0] = layer1;
    layers.layerUsed(1) = true;
    state.meshStyle = 1;
    const Lines layer = {"union {",
                         "cylinder{< 0 , 0 , 0 >,< 1 , 1 , 0 >,cylRadius}",
                         "cylinder{< 1 , 1 , 0 >,< 3 , 0 , 0 >,cylRadius}",
                         "cylinder{< 1 , 1 , 0 >,< 0 , 3 , 0 >,cylRadius}",
                         "pigment { color Level1Color }",
                         "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, layer, kMatrixAndClose}));
}

TEST_F(PovSceneTest, DegenerateTrianglesWriteNoCylinders) {
    const Point3 p{0.1f, -0.2f, 0.3f};
    const std::vector<TriangleRecord> layer3 = {
        TriangleRecord{{p, p, p}},
        TriangleRecord{{p, p, Point3{0.1f, -0.2f, 1.3f}}},   // one edge of zero length
    };
    triangles[2] = layer3;
    layers.layerUsed(3) = true;
    const Lines triangleStyle = {"union {",
                                 "cylinder{< .1 ,-.2 , .3 >,< .1 ,-.2 , 1.3 >,cylRadius}",
                                 "cylinder{< .1 ,-.2 , 1.3 >,< .1 ,-.2 , .3 >,cylRadius}",
                                 "pigment { color Level3Color }",
                                 "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, triangleStyle, kMatrixAndClose}));

    state.meshStyle = 1;
    const Lines lines = ExportLines();
    size_t cylinders = 0;
    for (const std::string& line : lines) cylinders += line.rfind("cylinder{", 0) == 0;
    EXPECT_EQ(cylinders, 3u);   // the second triangle's three spokes; the first has none
}

TEST_F(PovSceneTest, UsedLayerWithoutTrianglesWritesItsPigmentOnly) {
    layers.used = {true, false, true};
    const Lines layers13 = {"union {", "pigment { color Level1Color }", "}",
                            "union {", "pigment { color Level3Color }", "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, layers13, kMatrixAndClose}));
}

TEST_F(PovSceneTest, CylindersShorterThanATenThousandthAreLeftOut) {
    const float limit = 0.0001f;
    const std::vector<SegmentRecord> layer1 = {
        {{0, 0, 0}, {limit, 0, 0}},                          // exactly the limit: written
        {{0, 0, 0}, {std::nextafter(limit, 0.0f), 0, 0}},   // just below: left out
    };
    segments[0] = layer1;
    layers.showContourMap = true;
    const Lines lines = ExportLines();
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[7], "cylinder{< 0 , 0 , 0 >,< .0001 , 0 , 0 >,cylRadius}");
    EXPECT_EQ(lines[8], "pigment { color Level1Color }");
}

TEST_F(PovSceneTest, ContourMapOfAllLayersThenTheFrameAtThePlaneHeight) {
    const std::vector<SegmentRecord> layer1 = {{{1, 2, 5}, {1.5f, 2.25f, 5}}};
    const std::vector<SegmentRecord> layer3 = {{{-0.5f, 2, 5}, {1, 2, 5}}, {{2, 2.5f, 5}, {2.5f, 2.5f, 5}}};
    segments = {layer1, std::span<const SegmentRecord>{}, layer3};
    layers.showContourMap = true;   // no layer used: the contours are written all the same
    // zSection 2: z = 1 * 2 + 3 = 5; xe = 3 * 0.5 + 1 = 2.5; ye = 2 * 0.25 + 2 = 2.5.
    const Lines contours = {"union {",
                            "cylinder{< 1 , 2 , 5 >,< 1.5 , 2.25 , 5 >,cylRadius}",
                            "pigment { color Level1Color }",
                            "}",
                            "union {",
                            "pigment { color Level2Color }",
                            "}",
                            "union {",
                            "cylinder{<-.5 , 2 , 5 >,< 1 , 2 , 5 >,cylRadius}",
                            "cylinder{< 2 , 2.5 , 5 >,< 2.5 , 2.5 , 5 >,cylRadius}",
                            "pigment { color Level3Color }",
                            "}",
                            "union {",
                            "cylinder{< 1 , 2 , 5 >,< 2.5 , 2 , 5 >,cylRadius}",
                            "cylinder{< 2.5 , 2 , 5 >,< 2.5 , 2.5 , 5 >,cylRadius}",
                            "cylinder{< 2.5 , 2.5 , 5 >,< 1 , 2.5 , 5 >,cylRadius}",
                            "cylinder{< 1 , 2.5 , 5 >,< 1 , 2 , 5 >,cylRadius}",
                            "pigment { color Gray40 }",
                            "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, contours, kMatrixAndClose}));
}

TEST_F(PovSceneTest, CellEdgesBottomTopThenVerticals) {
    // Cell corners from a cell of edges 2, 3, 4 through the map's own geometry step.
    map.cellMatrix = Mat3f{};
    map.cellMatrix(1, 1) = 2;
    map.cellMatrix(2, 2) = 3;
    map.cellMatrix(3, 3) = 4;
    FinishCellGeometry(map);
    state.showCell = true;
    const Lines cell = {"union {",
                        "cylinder{< 0 , 0 , 0 >,< 2 , 0 , 0 >,cylRadius}",
                        "cylinder{< 2 , 0 , 0 >,< 2 , 3 , 0 >,cylRadius}",
                        "cylinder{< 2 , 3 , 0 >,< 0 , 3 , 0 >,cylRadius}",
                        "cylinder{< 0 , 3 , 0 >,< 0 , 0 , 0 >,cylRadius}",
                        "cylinder{< 0 , 0 , 4 >,< 2 , 0 , 4 >,cylRadius}",
                        "cylinder{< 2 , 0 , 4 >,< 2 , 3 , 4 >,cylRadius}",
                        "cylinder{< 2 , 3 , 4 >,< 0 , 3 , 4 >,cylRadius}",
                        "cylinder{< 0 , 3 , 4 >,< 0 , 0 , 4 >,cylRadius}",
                        "cylinder{< 0 , 0 , 0 >,< 0 , 0 , 4 >,cylRadius}",
                        "cylinder{< 2 , 0 , 0 >,< 2 , 0 , 4 >,cylRadius}",
                        "cylinder{< 2 , 3 , 0 >,< 2 , 3 , 4 >,cylRadius}",
                        "cylinder{< 0 , 3 , 0 >,< 0 , 3 , 4 >,cylRadius}",
                        "pigment { color Gray80 }",
                        "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, cell, kMatrixAndClose}));
}

TEST_F(PovSceneTest, AtomsAsSpheresWithTheirFourCharacterLabelThenBonds) {
    map.atoms = {{"C   ", {1, 2, 3}, 1}, {"O   ", {1.5f, 2, 3}, 2}, {"Cl  ", {1, 2, -3}, 3}};
    bonds = {{1, 2}, {3, 1}};
    state.showAtoms = true;
    const Lines atoms = {"sphere {< 1 , 2 , 3 >,AtomRadiusForC    pigment { color ColorForC   }}",
                         "sphere {< 1.5 , 2 , 3 >,AtomRadiusForO    pigment { color ColorForO   }}",
                         "sphere {< 1 , 2 ,-3 >,AtomRadiusForCl   pigment { color ColorForCl  }}",
                         "union {",
                         "cylinder{< 1 , 2 , 3 >,< 1.5 , 2 , 3 >,bondcylRadius}",
                         "cylinder{< 1 , 2 ,-3 >,< 1 , 2 , 3 >,bondcylRadius}",
                         "pigment { color Gray }",
                         "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, atoms, kMatrixAndClose}));

    state.showAtoms = false;   // hidden atoms take their bonds along
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, kMatrixAndClose}));
}

TEST_F(PovSceneTest, NoAtomsStillWriteTheBondUnion) {
    state.showAtoms = true;
    const Lines empty = {"union {", "pigment { color Gray }", "}"};
    EXPECT_EQ(ExportLines(), Join({kComments, kHeadLines, kOpen, empty, kMatrixAndClose}));
}

TEST_F(PovSceneTest, BondToAMissingAtomIsRefused) {
    map.atoms = {{"C   ", {1, 2, 3}, 1}};
    bonds = {{1, 2}};
    state.showAtoms = true;
    EXPECT_THROW(Export(), std::out_of_range);
}

TEST_F(PovSceneTest, SectionsFollowAtomsSurfacesContoursCell) {
    map.atoms = {{"N   ", {0, 0, 0}, 1}};
    const std::vector<TriangleRecord> mesh = {kTriangle};
    triangles = {mesh, mesh, mesh};
    layers.used = {true, true, true};
    layers.showContourMap = true;
    state.showAtoms = true;
    state.showCell = true;
    Lines pigments;
    for (const std::string& line : ExportLines())
        if (line.rfind("pigment", 0) == 0) pigments.push_back(line.substr(16));
    const Lines expected = {"Gray }",        "Level1Color }", "Level2Color }", "Level3Color }", "Level1Color }",
                            "Level2Color }", "Level3Color }", "Gray40 }",      "Gray80 }"};
    EXPECT_EQ(pigments, expected);
}

TEST_F(PovSceneTest, HeadLineEndsBecomeCrLfAndOnlyTheExactEndLineStops) {
    const std::string head = "a\nb\r\n\rc\r\n//END OF FILE \n x//END OF FILE\n//END OF FILE\nd\n";
    const PovSceneResult result = Export(head);
    EXPECT_EQ(result.head, PovHead::Copied);
    const Lines headLines = {"a", "b", "", "c", "//END OF FILE ", " x//END OF FILE"};
    EXPECT_EQ(SplitCrLf(result.text), Join({kComments, headLines, kOpen, kMatrixAndClose}));
}

TEST_F(PovSceneTest, HeadWithoutEndLineIsCopiedWholeAndReported) {
    const PovSceneResult result = Export(std::string("#declare Gray40 = 1;\n#declare Gray80 = 2;"));
    EXPECT_EQ(result.head, PovHead::NoEndLine);
    const Lines headLines = {"#declare Gray40 = 1;", "#declare Gray80 = 2;"};
    EXPECT_EQ(SplitCrLf(result.text), Join({kComments, headLines, kOpen, kMatrixAndClose}));

    const PovSceneResult empty = Export(std::string());
    EXPECT_EQ(empty.head, PovHead::NoEndLine);
    EXPECT_EQ(SplitCrLf(empty.text), Join({kComments, kOpen, kMatrixAndClose}));
}

TEST_F(PovSceneTest, MissingHeadStillGivesTheWholeSceneAndIsReported) {
    const PovSceneResult result = Export(std::nullopt);
    EXPECT_EQ(result.head, PovHead::Missing);
    EXPECT_EQ(SplitCrLf(result.text), Join({kComments, kOpen, kMatrixAndClose}));
}

TEST(LayerStore, LayerSpansTheValidRecordsOfOneLayer) {
    static TriangleStore store;   // the run's one store, 43 MB
    store.count(1) = 0;
    store.count(2) = 2;
    store.at(2, 1) = kTriangle;
    store.at(2, 2) = TriangleRecord{{Point3{7, 8, 9}, Point3{}, Point3{}}};
    EXPECT_TRUE(store.layer(1).empty());
    const auto layer2 = store.layer(2);
    ASSERT_EQ(layer2.size(), 2u);
    EXPECT_EQ(layer2[0].point[1], (Point3{3, 0, 0}));
    EXPECT_EQ(layer2[1].point[0], (Point3{7, 8, 9}));
}

}  // namespace
}  // namespace tivarel
