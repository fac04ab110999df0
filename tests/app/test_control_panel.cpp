// The control panel driven through its own widgets, on a real main window under Xvfb.
#include "panel_helpers.h"

#include "render/scene.h"

namespace tivarel::testing {
namespace {

// ---------------------------------------------------------------- the load step

TEST_F(ControlPanelTest, LoadShowsTheRangeLevelsPlaneAndPresetsOfTheSampleMap) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    EXPECT_TRUE(p.isVisible());
    EXPECT_EQ(p.windowTitle().toStdString(), "Control Panel");
    EXPECT_TRUE(ShowsNumber(p.Text1, minValue()));
    EXPECT_TRUE(ShowsNumber(p.Text2, maxValue()));
    EXPECT_GT(maxValue(), 70.0f);
    EXPECT_EQ(p.Text6->text().toStdString(), "1");
    ASSERT_EQ(grid().nz(), 58);
    EXPECT_EQ(p.Label7->text().toStdString(), "<1, 58>");

    // The defaults sit at 10, 30 and 50 % of the range; the new bars (at 0) move to
    // them, and each level is then the value of its bar's position.
    const float range = maxValue() - minValue();
    const double shares[3] = {0.1, 0.3, 0.5};
    for (int n = 0; n < 3; ++n) {
        const auto level = static_cast<float>(double(range) * shares[n] + minValue());
        const int position = BarPosition(level, minValue(), maxValue());
        EXPECT_EQ(p.scrolls[n]->value(), position) << "layer " << n + 1;
        EXPECT_EQ(program().layers.layerLimit(n + 1), BarLevel(position, minValue(), maxValue())) << n + 1;
        EXPECT_TRUE(ShowsNumber(p.limits[n], program().layers.layerLimit(n + 1))) << "layer " << n + 1;
        EXPECT_EQ(p.scrolls[n]->minimum(), 0);
        EXPECT_EQ(p.scrolls[n]->maximum(), kBarMax);
    }

    // Tooltips of the preset buttons: the name lines 1, 5 and 9 of the shipped file.
    const auto lines = FileLines(TIVAREL_BIN_DIR "/layer_limit_presets.txt");
    ASSERT_GE(lines.size(), 12u);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(p.presetButtons[n]->toolTip().toStdString(), lines[static_cast<size_t>(4 * n)]);

    for (int n = 0; n < 3; ++n) EXPECT_TRUE(p.layerChecks[n]->isChecked()) << n + 1;
    EXPECT_TRUE(p.Check4->isChecked());
    EXPECT_TRUE(p.Check5->isChecked());
    EXPECT_FALSE(p.Check6->isChecked());
    EXPECT_TRUE(p.Option1->isChecked());
    EXPECT_FALSE(p.Option2->isChecked());
    EXPECT_TRUE(p.Option3->isChecked());
    EXPECT_FALSE(p.Option4->isChecked());
}

TEST_F(ControlPanelTest, ReloadTakesEveryBoxFromTheFlagsWithoutFlippingThem) {
    Open(kSampleMap);
    Program& prog = program();
    prog.layers.layerUsed(1) = false;
    prog.layers.layerUsed(3) = false;
    prog.state.showAtoms = false;
    prog.layers.showContourMap = false;
    prog.state.showCell = true;
    prog.state.meshStyle = 2;
    prog.state.pickMode = "2D";
    prog.layers.zSection = 17;
    CloseAndShowPanel();
    frmControlPanel& p = panel();
    EXPECT_FALSE(p.layerChecks[0]->isChecked());
    EXPECT_TRUE(p.layerChecks[1]->isChecked());
    EXPECT_FALSE(p.layerChecks[2]->isChecked());
    EXPECT_FALSE(p.Check4->isChecked());
    EXPECT_FALSE(p.Check5->isChecked());
    EXPECT_TRUE(p.Check6->isChecked());
    EXPECT_FALSE(p.Option1->isChecked());
    EXPECT_TRUE(p.Option2->isChecked());
    EXPECT_FALSE(p.Option3->isChecked());
    EXPECT_TRUE(p.Option4->isChecked());
    EXPECT_EQ(p.Text6->text().toStdString(), "17");
    // Setting the boxes is no click: the flags are as they were.
    EXPECT_EQ(prog.layers.used, (std::array<bool, 3>{false, true, false}));
    EXPECT_FALSE(prog.state.showAtoms);
    EXPECT_FALSE(prog.layers.showContourMap);
    EXPECT_TRUE(prog.state.showCell);
    EXPECT_EQ(prog.state.meshStyle, 2);
    EXPECT_EQ(prog.state.pickMode, "2D");
    EXPECT_EQ(prog.layers.zSection, 17);
}

TEST_F(ControlPanelTest, ASwitchedOffLayerStaysOffAfterClosingAndShowingThePanel) {
    Open(kSampleMap);
    panel().layerChecks[1]->click();
    EXPECT_FALSE(program().layers.layerUsed(2));
    EXPECT_FALSE(panel().layerChecks[1]->isChecked());
    CloseAndShowPanel();
    ASSERT_TRUE(panel().isVisible());
    EXPECT_FALSE(panel().layerChecks[1]->isChecked());
    EXPECT_TRUE(panel().layerChecks[0]->isChecked());
    EXPECT_TRUE(panel().layerChecks[2]->isChecked());
    EXPECT_FALSE(program().layers.layerUsed(2));
    panel().layerChecks[1]->click();
    EXPECT_TRUE(program().layers.layerUsed(2));
    EXPECT_TRUE(panel().layerChecks[1]->isChecked());
}

// ---------------------------------------------------------------- levels and scroll bars

TEST_F(ControlPanelTest, HalfTheUnitRangePutsTheBarAt16384AndBarsSetLevelsAtOnce) {
    OpenWritten("unit.fou", FouText(7, 7, 7, Blob(0.0, 1.0)));
    ASSERT_EQ(minValue(), 0.0f);
    ASSERT_EQ(maxValue(), 1.0f);
    frmControlPanel& p = panel();
    Type(p.limits[0], "0.5");
    Apply();
    EXPECT_EQ(p.scrolls[0]->value(), 16384);   // 16383.5, halves to even
    const auto level = static_cast<float>(16384.0 / 32767.0);
    EXPECT_EQ(program().layers.layerLimit(1), level);
    EXPECT_TRUE(ShowsNumber(p.limits[0], level));

    // A bar moved by the user sets its level and text at once, without a rebuild.
    const auto triangles = TriangleCounts();
    p.scrolls[1]->setValue(10000);
    EXPECT_EQ(program().layers.layerLimit(2), static_cast<float>(10000.0 / 32767.0));
    EXPECT_TRUE(ShowsNumber(p.limits[1], program().layers.layerLimit(2)));
    p.scrolls[2]->setValue(0);
    p.scrolls[2]->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const int step = p.scrolls[2]->value();
    EXPECT_GT(step, 0);
    EXPECT_EQ(program().layers.layerLimit(3), BarLevel(step, 0.0f, 1.0f));
    EXPECT_TRUE(ShowsNumber(p.limits[2], program().layers.layerLimit(3)));
    EXPECT_EQ(TriangleCounts(), triangles);
}

TEST_F(ControlPanelTest, BarPositionsRoundHalvesToEven) {
    // With MaxValue = 32767 / 4096 a level of k / 4096 stands exactly at position k.
    const double top = 32767.0 / 4096.0;
    OpenWritten("halves.fou", FouText(7, 7, 7, Blob(0.0, top)));
    ASSERT_EQ(maxValue(), static_cast<float>(top));
    frmControlPanel& p = panel();
    Type(p.limits[0], "0.0006103515625");   // 2.5 / 4096
    Type(p.limits[1], "0.0008544921875");   // 3.5 / 4096
    Type(p.limits[2], "0.0015869140625");   // 6.5 / 4096
    Apply();
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{2, 4, 6}));
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{2.0f / 4096, 4.0f / 4096, 6.0f / 4096}));
}

TEST_F(ControlPanelTest, ApplyClampsTypedLevelsIntoTheRange) {
    OpenWritten("two-to-six.fou", FouText(7, 7, 7, Blob(2.0, 6.0)));
    ASSERT_EQ(minValue(), 2.0f);
    ASSERT_EQ(maxValue(), 6.0f);
    frmControlPanel& p = panel();
    Type(p.limits[0], "-7");
    Type(p.limits[1], "abc");   // no number: 0, then raised to MinValue
    Type(p.limits[2], "1000");
    Type(p.Text1, "2.5");   // the range boxes can be edited, but nothing reads them back
    Type(p.Text2, "3");
    Apply();
    EXPECT_EQ(program().layers.layerLimit(1), 2.0f);
    EXPECT_EQ(program().layers.layerLimit(2), 2.0f);
    EXPECT_EQ(program().layers.layerLimit(3), 6.0f);
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, kBarMax}));
    EXPECT_TRUE(ShowsNumber(p.limits[0], 2.0));
    EXPECT_TRUE(ShowsNumber(p.limits[1], 2.0));
    EXPECT_TRUE(ShowsNumber(p.limits[2], 6.0));

    // The leading numeric part of a text counts.
    Type(p.limits[1], "3.5 units");
    Apply();
    const float kept = KeptLevel(3.5f, 0, 2.0f, 6.0f);
    EXPECT_EQ(program().layers.layerLimit(2), kept);
    EXPECT_NEAR(kept, 3.5f, 4.0 / kBarMax);
    EXPECT_EQ(p.scrolls[1]->value(), BarPosition(3.5f, 2.0f, 6.0f));
}

TEST_F(ControlPanelTest, ApplyRebuildsTheSurfacesAtTheNewLevelsAndRedrawsOnce) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    window->Paint();
    const auto before = TriangleCounts();
    const auto oldBars = BarPositions();
    const int compiled = render::ListCompileCount();
    const char* typed[3] = {"20", "40.5", "65"};
    for (int n = 0; n < 3; ++n) Type(p.limits[n], typed[n]);
    Apply();
    for (int n = 0; n < 3; ++n) {
        const float want = KeptLevel(std::stof(typed[n]), oldBars[static_cast<size_t>(n)], minValue(), maxValue());
        EXPECT_EQ(program().layers.layerLimit(n + 1), want) << "layer " << n + 1;
        EXPECT_EQ(program().triangles.count(n + 1), TrianglesAt(program().map, want)) << "layer " << n + 1;
        EXPECT_NE(program().triangles.count(n + 1), before[static_cast<size_t>(n)]) << "layer " << n + 1;
    }
    // listValid was reset, so the redraw recorded the scene list once more.
    EXPECT_EQ(render::ListCompileCount(), compiled + 1);
    EXPECT_NE(program().state.listValid, 0);
}

TEST_F(ControlPanelTest, TypedLevelsWaitForApplyWhileBarMovesDoNot) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const float level1 = program().layers.layerLimit(1);
    Type(p.limits[0], "33");
    EXPECT_EQ(program().layers.layerLimit(1), level1);
    EXPECT_EQ(p.scrolls[0]->value(), BarPosition(level1, minValue(), maxValue()));
}

// ---------------------------------------------------------------- presets

TEST_F(ControlPanelTest, ShippedPresetSetsLevelsButTheSurfacesWaitForApply) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const auto lines = FileLines(TIVAREL_BIN_DIR "/layer_limit_presets.txt");
    ASSERT_GE(lines.size(), 12u);
    const auto triangles = TriangleCounts();
    const auto oldBars = BarPositions();
    Click(p.presetButtons[1]);
    std::array<float, 3> want{};
    for (int n = 0; n < 3; ++n) {
        const auto level = static_cast<float>(std::stod(lines[static_cast<size_t>(5 + n)]));
        want[static_cast<size_t>(n)] = KeptLevel(level, oldBars[static_cast<size_t>(n)], minValue(), maxValue());
        EXPECT_EQ(program().layers.layerLimit(n + 1), want[static_cast<size_t>(n)]) << "layer " << n + 1;
        EXPECT_NEAR(program().layers.layerLimit(n + 1), level, maxValue() / kBarMax);
        EXPECT_TRUE(ShowsNumber(p.limits[n], want[static_cast<size_t>(n)])) << "layer " << n + 1;
    }
    EXPECT_EQ(TriangleCounts(), triangles);

    // "Apply" reads the levels back from their seven-digit texts; the bars stay put,
    // so the levels become those texts' values.
    const auto presetBars = BarPositions();
    std::array<float, 3> shown{};
    for (int n = 0; n < 3; ++n) shown[size_t(n)] = static_cast<float>(std::stod(p.limits[n]->text().toStdString()));
    Apply();
    for (int n = 0; n < 3; ++n) {
        const auto i = static_cast<size_t>(n);
        const float applied = KeptLevel(shown[i], presetBars[i], minValue(), maxValue());
        EXPECT_EQ(program().layers.layerLimit(n + 1), applied) << "layer " << n + 1;
        EXPECT_NEAR(applied, want[static_cast<size_t>(n)], 1e-4);
        EXPECT_EQ(program().triangles.count(n + 1), TrianglesAt(program().map, applied)) << "layer " << n + 1;
    }
    EXPECT_EQ(BarPositions(), presetBars);
    EXPECT_NE(TriangleCounts(), triangles);
}

class ControlPanelPresetTest : public ControlPanelTest {
protected:
    // A program folder of its own, with the side files and presets written here.
    void SetUp() override {
        const auto dir = ScratchDir() / "program";
        std::filesystem::create_directories(dir);
        for (const char* name : {"cell_table.dat", "atompar2.txt"})
            std::filesystem::copy_file(std::string(TIVAREL_BIN_DIR "/") + name, dir / name,
                                       std::filesystem::copy_options::overwrite_existing);
        std::ofstream(dir / "layer_limit_presets.txt", std::ios::binary)
            << "  First: 0, 1.0 and 1.5  \r\n0\r\n1.0\r\n1.5\r\n"
            << "Second\r\n-5\r\n0.5\r\n99\r\n"
            << "Third, with a text level\r\ntext only\r\n0.25\r\n0.75\r\nignored\r\n";
        platform.directory = dir.string();
    }
};

TEST_F(ControlPanelPresetTest, PresetLevelsAreClampedIntoTheMapRange) {
    OpenWritten("unit-presets.fou", FouText(7, 7, 7, Blob(0.0, 1.0)));
    frmControlPanel& p = panel();
    EXPECT_EQ(p.presetButtons[0]->toolTip().toStdString(), "  First: 0, 1.0 and 1.5  ");
    EXPECT_EQ(p.presetButtons[1]->toolTip().toStdString(), "Second");
    EXPECT_EQ(p.presetButtons[2]->toolTip().toStdString(), "Third, with a text level");

    const auto triangles = TriangleCounts();
    Click(p.presetButtons[0]);
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{0.0f, 1.0f, 1.0f}));
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, kBarMax, kBarMax}));
    EXPECT_TRUE(ShowsNumber(p.limits[2], 1.0));

    Click(p.presetButtons[2]);   // the text level reads 0 and is raised to MinValue
    EXPECT_EQ(program().layers.layerLimit(1), 0.0f);
    EXPECT_EQ(program().layers.layerLimit(2), BarLevel(8192, 0.0f, 1.0f));
    EXPECT_EQ(program().layers.layerLimit(3), BarLevel(24575, 0.0f, 1.0f));

    Click(p.presetButtons[1]);
    EXPECT_EQ(program().layers.layerLimit(1), 0.0f);
    EXPECT_EQ(program().layers.layerLimit(2), BarLevel(16384, 0.0f, 1.0f));
    EXPECT_EQ(program().layers.layerLimit(3), 1.0f);
    // Again: the bars stay where they are, so the levels stay exactly as the preset gives them.
    Click(p.presetButtons[1]);
    EXPECT_EQ(program().layers.layerLimit(2), 0.5f);
    EXPECT_TRUE(ShowsNumber(p.limits[1], 0.5));
    EXPECT_EQ(TriangleCounts(), triangles);

    Apply();
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{0.0f, 0.5f, 1.0f}));
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(program().triangles.count(n + 1), TrianglesAt(program().map, program().layers.limits[size_t(n)]));
    EXPECT_EQ(program().triangles.count(3), 0);   // nothing lies strictly above the maximum
}

// ---------------------------------------------------------------- the contour plane

TEST_F(ControlPanelTest, ApplyRoundsThePlaneAndKeepsItInsideTheMap) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const int nz = grid().nz();
    const std::pair<std::string, int> cases[] = {
        {"29", 29}, {"0", 1}, {"abc", 1}, {"-3", 1}, {"1000", nz}, {"70000", nz}, {"2.5", 2}, {"3.5", 4}, {"30.7", 31},
    };
    for (const auto& [typed, want] : cases) {
        Type(p.Text6, typed);
        Apply();
        EXPECT_EQ(program().layers.zSection, want) << typed;
        EXPECT_EQ(p.Text6->text().toStdString(), std::to_string(want)) << typed;
        for (int layer = 1; layer <= 3; ++layer)
            EXPECT_EQ(program().segments.count(layer),
                      SegmentsAt(program().map, program().layers.layerLimit(layer), want))
                << typed << ", layer " << layer;
    }
    // The middle of the molecules has contours of every layer.
    Type(p.Text6, "29");
    Apply();
    for (int layer = 1; layer <= 3; ++layer) EXPECT_GT(program().segments.count(layer), 0) << layer;
}

TEST_F(ControlPanelTest, MinusAndPlusStepThePlaneWithoutRebuildOrRedraw) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const int nz = grid().nz();
    // A rebuild would refill layer 1, a redraw record the scene list.
    program().triangles.count(1) = 0;
    program().state.listValid = 0;
    const int compiled = render::ListCompileCount();

    Click(p.Command2);
    EXPECT_EQ(program().layers.zSection, 1);
    EXPECT_EQ(p.Text6->text().toStdString(), "1");
    Click(p.Command3);
    EXPECT_EQ(program().layers.zSection, 2);
    EXPECT_EQ(p.Text6->text().toStdString(), "2");
    Type(p.Text6, "10");   // typed but not applied: the buttons step the plane itself
    Click(p.Command3);
    EXPECT_EQ(program().layers.zSection, 3);
    EXPECT_EQ(p.Text6->text().toStdString(), "3");
    EXPECT_EQ(program().triangles.count(1), 0);
    EXPECT_EQ(program().state.listValid, 0);
    EXPECT_EQ(render::ListCompileCount(), compiled);

    Type(p.Text6, std::to_string(nz));
    Apply();
    ASSERT_EQ(program().layers.zSection, nz);
    program().triangles.count(1) = 0;
    program().state.listValid = 0;
    const int compiledAtTop = render::ListCompileCount();
    Click(p.Command3);
    EXPECT_EQ(program().layers.zSection, nz);
    EXPECT_EQ(p.Text6->text().toStdString(), std::to_string(nz));
    Click(p.Command2);
    EXPECT_EQ(program().layers.zSection, nz - 1);
    EXPECT_EQ(p.Text6->text().toStdString(), std::to_string(nz - 1));
    EXPECT_EQ(program().triangles.count(1), 0);
    EXPECT_EQ(program().state.listValid, 0);
    EXPECT_EQ(render::ListCompileCount(), compiledAtTop);
}

TEST_F(ControlPanelTest, PlusAndMinusKeysOfTheMainWindowWriteText6AndRebuild) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const int nz = grid().nz();
    auto expectPlane = [&](int want, const char* what) {
        EXPECT_EQ(program().layers.zSection, want) << what;
        EXPECT_EQ(p.Text6->text().toStdString(), std::to_string(want)) << what;
        EXPECT_GT(program().triangles.count(1), 0) << what << ": the surfaces were rebuilt";
        for (int layer = 1; layer <= 3; ++layer)
            EXPECT_EQ(program().segments.count(layer),
                      SegmentsAt(program().map, program().layers.layerLimit(layer), want))
                << what << ", layer " << layer;
    };
    Type(p.Text6, "28");
    Apply();
    program().triangles.count(1) = 0;
    QTest::keyClick(&surface(), '+');
    expectPlane(29, "+ from 28");
    program().triangles.count(1) = 0;
    QTest::keyClick(&surface(), '-');
    expectPlane(28, "- from 29");

    Type(p.Text6, "1");
    Apply();
    program().triangles.count(1) = 0;
    QTest::keyClick(&surface(), '-');
    expectPlane(1, "- at 1");

    Type(p.Text6, std::to_string(nz));
    Apply();
    program().triangles.count(1) = 0;
    QTest::keyClick(&surface(), '+');
    expectPlane(nz, "+ at nz");
}

// ---------------------------------------------------------------- switches, options, views

TEST_F(ControlPanelTest, BoxesAndOptionsSetTheirFlagsWithoutRebuildOrRedraw) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    Program& prog = program();
    prog.triangles.count(1) = 0;
    prog.state.listValid = 0;
    const int compiled = render::ListCompileCount();

    p.Check4->click();
    EXPECT_FALSE(prog.state.showAtoms);
    p.Check5->click();
    EXPECT_FALSE(prog.layers.showContourMap);
    p.Check6->click();
    EXPECT_TRUE(prog.state.showCell);
    p.Check6->click();
    EXPECT_FALSE(prog.state.showCell);
    p.layerChecks[2]->click();
    EXPECT_FALSE(prog.layers.layerUsed(3));
    p.Option2->click();
    EXPECT_EQ(prog.state.meshStyle, 2);
    p.Option1->click();
    EXPECT_EQ(prog.state.meshStyle, 1);
    p.Option4->click();
    EXPECT_EQ(prog.state.pickMode, "2D");
    p.Option3->click();
    EXPECT_EQ(prog.state.pickMode, "3D");
    EXPECT_EQ(prog.triangles.count(1), 0);
    EXPECT_EQ(prog.state.listValid, 0);
    EXPECT_EQ(render::ListCompileCount(), compiled);

    // A click flips the flag, whatever the box showed.
    prog.layers.layerUsed(1) = false;
    p.layerChecks[0]->click();
    EXPECT_TRUE(prog.layers.layerUsed(1));
}

TEST_F(ControlPanelTest, AxisButtonsForceTheDocumentedViews) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    const auto s = static_cast<float>(std::sqrt(0.5));
    const std::pair<QPushButton*, Quat> cases[] = {
        {p.ForceAxisX, {0.0f, s, s, 0.0f}}, {p.ForceAxesY, {s, 0.0f, s, 0.0f}}, {p.ForceAxisZ, {s, s, 0.0f, 0.0f}}};
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

// ---------------------------------------------------------------- a flat map

TEST_F(ControlPanelTest, FlatMapShowsTheLevelWithBarsAtZero) {
    OpenWritten("flat.fou", FouText(3, 3, 3, [](int, int, int) { return 3.25; }));
    ASSERT_EQ(minValue(), 3.25f);
    ASSERT_EQ(maxValue(), 3.25f);
    frmControlPanel& p = panel();
    EXPECT_EQ(p.Label7->text().toStdString(), "<1, 3>");
    EXPECT_TRUE(ShowsNumber(p.Text1, 3.25));
    EXPECT_TRUE(ShowsNumber(p.Text2, 3.25));
    for (int n = 0; n < 3; ++n) {
        EXPECT_TRUE(ShowsNumber(p.limits[n], 3.25)) << "layer " << n + 1;
        EXPECT_EQ(program().layers.layerLimit(n + 1), 3.25f);
    }
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, 0}));

    Type(p.limits[0], "7");
    Type(p.limits[1], "abc");
    p.scrolls[2]->setValue(500);   // a bar of a flat map can only stand for its one value
    EXPECT_EQ(program().layers.layerLimit(3), 3.25f);
    Apply();
    EXPECT_EQ(program().layers.limits, (std::array<float, 3>{3.25f, 3.25f, 3.25f}));
    EXPECT_EQ(BarPositions(), (std::array<int, 3>{0, 0, 0}));
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(ShowsNumber(p.limits[n], 3.25)) << "layer " << n + 1;
    Click(p.Command2);
    Click(p.Command3);
    EXPECT_EQ(program().layers.zSection, 2);
}

// ---------------------------------------------------------------- the picture

bool Near(Rgb8 p, double r, double g, double b) {
    return std::abs(p.r - r * 255) <= 1.01 && std::abs(p.g - g * 255) <= 1.01 && std::abs(p.b - b * 255) <= 1.01;
}

struct ColourCounts {
    std::array<int, 3> contour{};
    int cellGrey = 0;
};

ColourCounts CountColours(const FrameImage& image) {
    // Contour colours of layers 1 to 3, and the grey of the cell edges.
    static const double kContour[3][3] = {{0.2, 0.9, 0.2}, {0.4, 0.4, 1.0}, {1.0, 0.3, 0.3}};
    ColourCounts c;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb8 p = image.at(x, y);
            for (size_t L = 0; L < 3; ++L) c.contour[L] += Near(p, kContour[L][0], kContour[L][1], kContour[L][2]);
            c.cellGrey += std::abs(p.r - 128) <= 1 && std::abs(p.g - 128) <= 1 && std::abs(p.b - 128) <= 1;
        }
    return c;
}

TEST_F(ControlPanelTest, FrameWithContourMapAndCellShowsTheirColours) {
    Open(kSampleMap);
    frmControlPanel& p = panel();
    p.Check4->click();   // no lit atoms, whose shading could pass for the cell's grey
    // No meshes either: they would hide the inner contours. The contour map still
    // draws the lines of every layer, used or not.
    for (QCheckBox* layer : p.layerChecks) layer->click();
    Type(p.Text6, std::to_string(grid().nz() / 2));
    Apply();
    const ColourCounts withoutCell = CountColours(Frame());

    p.Check6->click();
    Apply();
    const ColourCounts withCell = CountColours(Frame());
    for (size_t L = 0; L < 3; ++L) EXPECT_GT(withCell.contour[L], 40) << "layer " << L + 1;
    EXPECT_GT(withCell.cellGrey, 200);
    EXPECT_LT(withoutCell.cellGrey, withCell.cellGrey / 10);

    p.Check5->click();   // contour map off: its colours go
    Apply();
    const ColourCounts withoutContours = CountColours(Frame());
    for (size_t L = 0; L < 3; ++L)
        EXPECT_LT(withoutContours.contour[L], withCell.contour[L] / 10) << "layer " << L + 1;
}

}  // namespace
}  // namespace tivarel::testing
