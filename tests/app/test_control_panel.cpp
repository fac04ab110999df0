// The control panel driven through its own widgets, on a real main window under Xvfb.
#include "panel_helpers.h"

#include <tuple>

#include "render/scene.h"

namespace tivarel::testing {
namespace {

TEST_F(ControlPanelTest, LoadShowsTheRangeLevelsPlaneAndPresetsOfTheSampleMap) {
    Open(kSampleMap);
    ControlPanel& p = panel();
    EXPECT_TRUE(p.isVisible());
    EXPECT_EQ(p.windowTitle().toStdString(), "Control Panel");
    EXPECT_TRUE(ShowsNumber(p.minValueEdit, minValue()));
    EXPECT_TRUE(ShowsNumber(p.maxValueEdit, maxValue()));
    EXPECT_EQ(p.sectionEdit->text().toStdString(), "1");
    ASSERT_EQ(grid().nz(), 58);
    EXPECT_EQ(p.rangeLabel->text().toStdString(), "<1, 58>");
    EXPECT_EQ(BoxStates(), "111" "110" "10" "10");
    // Defaults at 10, 30 and 50 % of the range: the new bars move there, and each level becomes
    // its bar position's value. The preset tooltips are the file's name lines 1, 5 and 9.
    const auto lines = PresetLines();
    ASSERT_GE(lines.size(), 12u);
    const double shares[3] = {0.1, 0.3, 0.5};
    for (int n = 0; n < 3; ++n) {
        const auto level = static_cast<float>(double(maxValue() - minValue()) * shares[n] + minValue());
        const int position = BarPosition(level, minValue(), maxValue());
        EXPECT_EQ(p.levelBars[n]->value(), position) << "layer " << n + 1;
        EXPECT_EQ(program().layers.layerLimit(n + 1), BarLevel(position, minValue(), maxValue())) << n + 1;
        EXPECT_TRUE(ShowsNumber(p.levelEdits[n], program().layers.layerLimit(n + 1))) << "layer " << n + 1;
        EXPECT_EQ(p.presetButtons[n]->toolTip().toStdString(), lines[static_cast<size_t>(4 * n)]);
    }
}

// Clicks set the flags at once, without rebuild or redraw; the panel loaded again
// shows them, and setting its boxes that way is no click.
TEST_F(ControlPanelTest, ClicksSetTheFlagsAndAReopenedPanelShowsThemAndKeepsLayer2Off) {
    Open(kSampleMap);
    Program& prog = program();
    prog.triangles.count(1) = 0;
    prog.state.listValid = 0;
    const int compiled = render::ListCompileCount();
    ControlPanel& p = panel();
    ASSERT_EQ(FlagStates(), "111" "110" "10" "10");
    const std::pair<QAbstractButton*, std::string> clicks[] = {{p.atomsBox,
                                                                "111"
                                                                "010"
                                                                "10"
                                                                "10"},
                                                               {p.contourMapBox,
                                                                "111"
                                                                "000"
                                                                "10"
                                                                "10"},
                                                               {p.cellBox,
                                                                "111"
                                                                "001"
                                                                "10"
                                                                "10"},
                                                               {p.cellBox,
                                                                "111"
                                                                "000"
                                                                "10"
                                                                "10"},
                                                               {p.cellBox,
                                                                "111"
                                                                "001"
                                                                "10"
                                                                "10"},
                                                               {p.layerBoxes[1],
                                                                "101"
                                                                "001"
                                                                "10"
                                                                "10"},
                                                               {p.triangleStyleButton,
                                                                "101"
                                                                "001"
                                                                "01"
                                                                "10"},
                                                               {p.webStyleButton,
                                                                "101"
                                                                "001"
                                                                "10"
                                                                "10"},
                                                               {p.triangleStyleButton,
                                                                "101"
                                                                "001"
                                                                "01"
                                                                "10"},
                                                               {p.pick2DButton,
                                                                "101"
                                                                "001"
                                                                "01"
                                                                "01"},
                                                               {p.pick3DButton,
                                                                "101"
                                                                "001"
                                                                "01"
                                                                "10"},
                                                               {p.pick2DButton,
                                                                "101"
                                                                "001"
                                                                "01"
                                                                "01"}};
    for (const auto& [button, flags] : clicks) {
        button->click();
        EXPECT_EQ(FlagStates(), flags) << "after " << button->toolTip().toStdString();
    }
    EXPECT_EQ(prog.triangles.count(1), 0);
    EXPECT_EQ(prog.state.listValid, 0);
    EXPECT_EQ(render::ListCompileCount(), compiled);
    prog.layers.layerUsed(1) = false;   // a click flips the flag, whatever the box showed
    p.layerBoxes[0]->click();
    EXPECT_TRUE(prog.layers.layerUsed(1));

    prog.layers.zSection = 17;
    p.close();
    QTest::qWait(30);
    window->showControlPanel();
    ASSERT_TRUE(panel().isVisible());
    EXPECT_EQ(BoxStates(), "101" "001" "01" "01");
    EXPECT_EQ(FlagStates(), "101" "001" "01" "01");
    EXPECT_EQ(panel().sectionEdit->text().toStdString(), "17");
    EXPECT_EQ(prog.layers.zSection, 17);
    panel().layerBoxes[1]->click();
    EXPECT_TRUE(prog.layers.layerUsed(2));
}

TEST_F(ControlPanelTest, HalfTheUnitRangePutsTheBarAt16384AndBarsSetLevelsAtOnce) {
    Open(WriteFou("unit.fou", 7, Blob(0.0, 1.0)));
    ASSERT_EQ(minValue(), 0.0f);
    ASSERT_EQ(maxValue(), 1.0f);
    ControlPanel& p = panel();
    const float typedBefore = program().layers.layerLimit(1);
    const int barBefore = p.levelBars[0]->value();
    Type(p.levelEdits[0], "0.5");   // a typed level waits for Apply
    EXPECT_EQ(program().layers.layerLimit(1), typedBefore);
    EXPECT_EQ(p.levelBars[0]->value(), barBefore);
    Apply();
    EXPECT_EQ(p.levelBars[0]->value(), 16384);   // 16383.5, halves to even
    const auto level = static_cast<float>(16384.0 / 32767.0);
    EXPECT_EQ(program().layers.layerLimit(1), level);
    EXPECT_TRUE(ShowsNumber(p.levelEdits[0], level));

    // A bar moved by the user sets its level and text at once, without a rebuild.
    const auto triangles = TriangleCounts();
    p.levelBars[1]->setValue(10000);
    EXPECT_EQ(program().layers.layerLimit(2), static_cast<float>(10000.0 / 32767.0));
    EXPECT_TRUE(ShowsNumber(p.levelEdits[1], program().layers.layerLimit(2)));
    EXPECT_EQ(TriangleCounts(), triangles);
}

TEST_F(ControlPanelTest, BarPositionsRoundHalvesToEven) {
    // With MaxValue = 32767 / 4096 a level of k / 4096 stands exactly at position k.
    const double top = 32767.0 / 4096.0;
    Open(WriteFou("halves.fou", 7, Blob(0.0, top)));
    ASSERT_EQ(maxValue(), static_cast<float>(top));
    ControlPanel& p = panel();
    Type(p.levelEdits[0], "0.0006103515625");   // 2.5 / 4096
    Type(p.levelEdits[1], "0.0008544921875");   // 3.5 / 4096
    Type(p.levelEdits[2], "0.0015869140625");   // 6.5 / 4096
    Apply();
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{2, 4, 6}));
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{2.0f / 4096, 4.0f / 4096, 6.0f / 4096}));
}

// A map of 20 to 40, below and above the shipped presets' levels (5 to 70).
TEST_F(ControlPanelTest, TypedAndPresetLevelsAreClampedAndPresetsWaitForApply) {
    Open(WriteFou("twenty-to-forty.fou", 7, Blob(20.0, 40.0)));
    ASSERT_EQ(minValue(), 20.0f);
    ASSERT_EQ(maxValue(), 40.0f);
    ControlPanel& p = panel();
    Type(p.levelEdits[0], "-7");
    Type(p.levelEdits[1], "abc");   // no number: 0, then raised to MinValue
    Type(p.levelEdits[2], "1000");
    Type(p.minValueEdit, "25");   // the range boxes can be edited, but nothing reads them back
    Type(p.maxValueEdit, "30");
    Apply();
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{20.0f, 20.0f, 40.0f}));
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, kBarMax}));
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(ShowsNumber(p.levelEdits[n], program().layers.limits[size_t(n)])) << n;
    // Again with the bars already at the ends, where moving them would not clamp the levels.
    Type(p.levelEdits[0], "-9");
    Type(p.levelEdits[1], "33.5 units");   // the leading numeric part counts
    Type(p.levelEdits[2], "1e6");
    Apply();
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{20.0f, KeptLevel(33.5f, 0, 20.0f, 40.0f), 40.0f}));
    EXPECT_EQ(p.levelBars[1]->value(), BarPosition(33.5f, 20.0f, 40.0f));

    const auto lines = PresetLines();
    ASSERT_GE(lines.size(), 12u);
    const auto triangles = TriangleCounts();
    for (int k : {0, 2, 2}) {   // the second High finds its bars at the top
        const auto bars = BarPositions();
        Click(p.presetButtons[k]);
        for (int n = 0; n < 3; ++n) {
            const float want = KeptLevel(std::stof(lines[size_t(4 * k + 1 + n)]), bars[size_t(n)], 20.0f, 40.0f);
            EXPECT_EQ(program().layers.layerLimit(n + 1), want) << "preset " << k + 1 << ", layer " << n + 1;
            EXPECT_TRUE(ShowsNumber(p.levelEdits[n], want)) << "preset " << k + 1 << ", layer " << n + 1;
        }
        EXPECT_EQ(TriangleCounts(), triangles);
    }
    // Apply reads the levels back from their seven-digit texts; the bars stay put, so
    // the levels become those texts' values. The surfaces are rebuilt and drawn once.
    const auto bars = BarPositions();
    std::array<float, 3> shown{};
    for (int n = 0; n < 3; ++n) shown[size_t(n)] = std::stof(p.levelEdits[n]->text().toStdString());
    window->paint();
    const int compiled = render::ListCompileCount();
    Apply();
    for (int n = 0; n < 3; ++n) {
        const float want = KeptLevel(shown[size_t(n)], bars[size_t(n)], 20.0f, 40.0f);
        EXPECT_EQ(program().layers.layerLimit(n + 1), want) << "layer " << n + 1;
        EXPECT_EQ(program().triangles.count(n + 1), TrianglesAt(program().map, want)) << "layer " << n + 1;
    }
    EXPECT_GT(program().triangles.count(1), 0);
    EXPECT_NE(TriangleCounts(), triangles);
    EXPECT_EQ(BarPositions(), bars);
    EXPECT_EQ(render::ListCompileCount(), compiled + 1);
    EXPECT_NE(program().state.listValid, 0);
}

TEST_F(ControlPanelTest, ApplyRoundsThePlaneAndKeepsItInsideTheMap) {
    Open(kSampleMap);
    const int nz = grid().nz();
    const std::pair<std::string, int> cases[] = {
        {"0", 1}, {"abc", 1}, {"-3", 1}, {"1000", nz}, {"70000", nz}, {"2.5", 2}, {"3.5", 4}, {"30.7", 31}, {"29", 29},
    };
    for (const auto& [typed, want] : cases) {
        Type(panel().sectionEdit, typed);
        Apply();
        ExpectPlane(want, typed, true);
    }
    // The middle of the molecules has contours of every layer.
    for (int layer = 1; layer <= 3; ++layer) EXPECT_GT(program().segments.count(layer), 0) << layer;
}

// The buttons step the plane without rebuild or redraw; the keys of the main window
// also write sectionEdit and rebuild. sectionEdit holds an unapplied "10" meanwhile.
TEST_F(ControlPanelTest, MinusAndPlusButtonsAndKeysStepThePlaneWithinTheMap) {
    Open(kSampleMap);
    ControlPanel& p = panel();
    const int nz = grid().nz();
    const auto button = [](QPushButton* b) { return [b] { Click(b); }; };
    const auto key = [this](char k) { return [this, k] { QTest::keyClick(&surface(), k); }; };
    const std::tuple<const char*, int, std::function<void()>, int, bool> steps[] = {
        {"- button", 1, button(p.sectionDownButton), 1, false},
        {"+ button", 1, button(p.sectionUpButton), 2, false},
        {"+ button", nz, button(p.sectionUpButton), nz, false},
        {"- button", nz, button(p.sectionDownButton), nz - 1, false},
        {"+ key", 28, key('+'), 29, true},
        {"- key", 29, key('-'), 28, true},
        {"- key", 1, key('-'), 1, true},
        {"+ key", nz, key('+'), nz, true}};
    for (const auto& [what, from, press, want, rebuilt] : steps) {
        program().layers.zSection = static_cast<int16_t>(from);
        Type(p.sectionEdit, "10");
        program().triangles.count(1) = 0;   // a rebuild refills it
        program().state.listValid = 0;      // a redraw records the scene list
        const int compiled = render::ListCompileCount();
        press();
        const std::string step = std::string(what) + " from " + std::to_string(from);
        ExpectPlane(want, step, rebuilt);
        EXPECT_EQ(program().triangles.count(1) > 0, rebuilt) << step;
        if (!rebuilt) {
            EXPECT_EQ(render::ListCompileCount(), compiled) << step;
            EXPECT_EQ(program().state.listValid, 0) << step;
        }
    }
}

TEST_F(ControlPanelTest, AxisButtonsForceTheAxisViews) {
    Open(kSampleMap);
    ControlPanel& p = panel();
    const auto s = static_cast<float>(std::sqrt(0.5));
    const std::pair<QPushButton*, Quat> cases[] = {{p.axisButtons[0], {0.0f, s, s, 0.0f}},
                                                   {p.axisButtons[1], {s, 0.0f, s, 0.0f}},
                                                   {p.axisButtons[2], {s, s, 0.0f, 0.0f}}};
    for (const auto& [button, quat] : cases) {
        ViewState& v = window->view();
        v.modelShift = {1.0f, -2.0f, 3.0f};
        v.zoomScale = 1.7f;
        v.isRotating = v.isZooming = true;
        Click(button);
        EXPECT_EQ(v.viewQuat, quat) << button->text().toStdString();
        EXPECT_EQ(v.modelShift, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
        EXPECT_EQ(v.zoomScale, 1.7f);
        EXPECT_FALSE(v.isRotating || v.isZooming || v.isSpinning);
    }
}

TEST_F(ControlPanelTest, FlatMapShowsTheLevelWithBarsAtZero) {
    Open(WriteFou("flat.fou", 3, [](int, int, int) { return 3.25; }));
    ASSERT_EQ(minValue(), 3.25f);
    ASSERT_EQ(maxValue(), 3.25f);
    ControlPanel& p = panel();
    EXPECT_EQ(p.rangeLabel->text().toStdString(), "<1, 3>");
    EXPECT_TRUE(ShowsNumber(p.minValueEdit, 3.25));
    EXPECT_TRUE(ShowsNumber(p.maxValueEdit, 3.25));
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{3.25f, 3.25f, 3.25f}));
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, 0}));
    Type(p.levelEdits[0], "7");
    Type(p.levelEdits[1], "abc");
    p.levelBars[2]->setValue(500);   // a bar of a flat map can only stand for its one value
    EXPECT_EQ(program().layers.layerLimit(3), 3.25f);
    Apply();
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{3.25f, 3.25f, 3.25f}));
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, 0}));
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(ShowsNumber(p.levelEdits[n], 3.25)) << "layer " << n + 1;
}

struct ColourCounts {
    std::array<int, 3> contour{};   // pixels in the contour colours of layers 1 to 3
    int cellGrey = 0;               // pixels in the grey of the cell edges
};

ColourCounts CountColours(const FrameImage& image) {
    static const double kColours[4][3] = {
        {0.2, 0.9, 0.2}, {0.4, 0.4, 1.0}, {1.0, 0.3, 0.3}, {128 / 255.0, 128 / 255.0, 128 / 255.0}};
    const auto near = [](Rgb8 p, const double* c) {
        return std::abs(p.r - c[0] * 255) <= 1.01 && std::abs(p.g - c[1] * 255) <= 1.01 &&
               std::abs(p.b - c[2] * 255) <= 1.01;
    };
    ColourCounts c;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            for (size_t L = 0; L < 3; ++L) c.contour[L] += near(image.at(x, y), kColours[L]);
            c.cellGrey += near(image.at(x, y), kColours[3]);
        }
    return c;
}

TEST_F(ControlPanelTest, FrameWithContourMapAndCellShowsTheirColours) {
    Open(kSampleMap);
    ControlPanel& p = panel();
    p.atomsBox->click();   // no lit atoms, whose shading could pass for the cell's grey
    // No meshes either: they would hide the inner contours. The contour map still
    // draws the lines of every layer, used or not.
    for (QCheckBox* layer : p.layerBoxes) layer->click();
    Type(p.sectionEdit, std::to_string(grid().nz() / 2));
    Apply();
    const ColourCounts withoutCell = CountColours(Frame());
    p.cellBox->click();
    Apply();
    const ColourCounts withCell = CountColours(Frame());
    for (size_t L = 0; L < 3; ++L) EXPECT_GT(withCell.contour[L], 40) << "layer " << L + 1;
    EXPECT_GT(withCell.cellGrey, 200);
    EXPECT_LT(withoutCell.cellGrey, withCell.cellGrey / 10);
    p.contourMapBox->click();   // contour map off: its colours go
    Apply();
    const ColourCounts withoutContours = CountColours(Frame());
    for (size_t L = 0; L < 3; ++L)
        EXPECT_LT(withoutContours.contour[L], withCell.contour[L] / 10) << "layer " << L + 1;
}

}  // namespace
}  // namespace tivarel::testing
