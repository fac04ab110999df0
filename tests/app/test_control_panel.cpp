// The control panel driven through its own widgets, on a real main window under Xvfb. The
// map is a ball of 7^3 points from -64 to 63.99609375 (a range of 32767 / 256), so that the
// arithmetic is by hand: level -64 + k / 256 stands exactly at bar position k.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <langinfo.h>
#include <locale.h>

#include <tuple>

#include "panel/control_panel.h"
#include "window_fixture.h"

namespace tivarel::testing {
namespace {

// Highest at (4, 4, 4), falling linearly to the lowest at distance 3 and beyond.
double Ball(double x, double y, double z) {
    return -64 + 32767.0 / 256 * std::max(0.0, 1.0 - std::hypot(x - 4, y - 4, z - 4) / 3);
}

class ControlPanelTest : public WindowTest {
protected:
    void openBall() { open(WriteFou("ball.fou", {7, 7, 7}, {1, 1, 1}, Ball)); }
    ControlPanel& panel() { return *window->controlPanel(); }
    static void type(QLineEdit* box, const std::string& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QString::fromStdString(text));
    }
    void apply() { QTest::mouseClick(panel().applyButton, Qt::LeftButton); }
    std::array<int, 3> bars() {
        return {panel().levelBars[0]->value(), panel().levelBars[1]->value(), panel().levelBars[2]->value()};
    }
    std::array<std::string, 3> texts() {
        std::array<std::string, 3> t;
        for (int n = 0; n < 3; ++n) t[size_t(n)] = panel().levelEdits[n]->text().toStdString();
        return t;
    }
    std::array<int32_t, 3> triangleCounts() {
        const TriangleStore& t = session().triangles();
        return {t.count(1), t.count(2), t.count(3)};
    }
    // Layers 1..3 used, atoms, contour map, cell, web style, triangle style, 3D and 2D picking:
    // as the program holds them, or as the panel's boxes and buttons show them.
    std::string flags(bool shown = false) {
        const LayerSettings& l = session().layers();
        const ProgramState& p = session().state();
        const ControlPanel& c = panel();
        const bool bits[2][10] = {
            {l.used[0], l.used[1], l.used[2], p.showAtoms, l.showContourMap, p.showCell,
             p.meshStyle == MeshStyle::Web, p.meshStyle == MeshStyle::Triangle, p.pickMode == PickMode::Surface,
             p.pickMode == PickMode::Plane},
            {c.layerBoxes[0]->isChecked(), c.layerBoxes[1]->isChecked(), c.layerBoxes[2]->isChecked(),
             c.atomsBox->isChecked(), c.contourMapBox->isChecked(), c.cellBox->isChecked(),
             c.webStyleButton->isChecked(), c.triangleStyleButton->isChecked(), c.pick3DButton->isChecked(),
             c.pick2DButton->isChecked()}};
        std::string s;
        for (bool bit : bits[shown ? 1 : 0]) s += bit ? '1' : '0';
        return s;
    }
};

// The run stands in a locale that writes decimal commas (the test main's choice): the
// program's numbers keep their decimal point.
TEST(ProgramLocale, NumbersKeepTheirDecimalPointUnderALocaleThatWritesCommas) {
    const locale_t user = newlocale(LC_NUMERIC_MASK, "", nullptr);   // as the environment asks
    const std::string mark = user ? nl_langinfo_l(RADIXCHAR, user) : "";
    if (user) freelocale(user);
    if (mark != ",") GTEST_SKIP() << kCommaLocale << " is not installed (tools/install-deps.sh installs it)";
    EXPECT_EQ(PanelNumberText(-0.25), "-0.25");
}

// Defaults at 10, 30 and 50 % of the range put the bars at 3276.7, 9830.1 and 16383.5,
// rounded halves to even: 3277, 9830, 16384; each level becomes its bar's value. A bar moved
// by the user sets its level and text at once, without a rebuild.
TEST_F(ControlPanelTest, TheDefaultsShowOnTheirBarsAndBarsAndBoxesTakeEffectAtOnce) {
    openBall();
    ControlPanel& p = panel();
    EXPECT_TRUE(p.isVisible() && p.windowTitle() == "Control Panel");
    EXPECT_EQ(p.minValueEdit->text().toStdString() + " " + p.maxValueEdit->text().toStdString(), "-64 63.99609");
    EXPECT_EQ(p.rangeLabel->text().toStdString(), "<1, 7>");
    EXPECT_EQ(flags(true), "1111101010");
    EXPECT_EQ(bars(), (std::array<int, 3>{3277, 9830, 16384}));
    EXPECT_EQ(texts(), (std::array<std::string, 3>{"-51.19922", "-25.60156", "0"}));
    EXPECT_EQ(p.presetButtons[2]->toolTip().toStdString(), "High: cores of the heavier atoms (30, 50, 70)");
    const auto before = triangleCounts();
    p.levelBars[1]->setValue(10000);
    EXPECT_EQ(session().layers().layerLimit(2), -24.9375f);
    EXPECT_EQ(p.levelEdits[1]->text().toStdString(), "-24.9375");
    // So do the boxes and buttons their switches, without a new scene; the panel loaded
    // again shows them.
    const uint64_t scene = session().sceneRevision();
    const std::pair<QAbstractButton*, const char*> clicks[] = {
        {p.atomsBox, "1110101010"},      {p.contourMapBox, "1110001010"},       {p.cellBox, "1110011010"},
        {p.layerBoxes[1], "1010011010"}, {p.triangleStyleButton, "1010010110"}, {p.pick2DButton, "1010010101"}};
    for (const auto& [button, want] : clicks) {
        button->click();
        EXPECT_EQ(flags(), want) << "after " << button->toolTip().toStdString();
    }
    EXPECT_EQ(triangleCounts(), before);
    EXPECT_EQ(session().sceneRevision(), scene);
    session().setSection(5);
    p.close();   // unloads it
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->controlPanel() == nullptr; }, 5000)) << "the panel still loaded";
    window->showControlPanel();
    EXPECT_EQ(flags(true), "1010010101");
    EXPECT_EQ(panel().sectionEdit->text().toStdString(), "5");
}

// The same ball as a GRD map: its range for the levels ends at the lowest value plus a 500th
// of the highest, 0.12799 wide, whose 10, 30 and 50 % lie at bar positions 3.28, 9.83, 16.38.
TEST_F(ControlPanelTest, AGrdMapOpensWithItsOwnDefaultLevels) {
    std::ostringstream grd;
    grd.precision(10);
    grd << "ball\ntwo\nthree\nfour\n7 7 7\n3 3 3\n6 6 6\nAtoms\n0\nDensity\nx fastest\nvalues\n";
    for (int i = 0; i < 7 * 7 * 7; ++i) grd << Ball(1 + i % 7, 1 + i / 7 % 7, 1 + i / 49) << '\n';
    std::ofstream(Scratch("ball.grd")) << grd.str();
    open(Scratch("ball.grd"));
    EXPECT_EQ(bars(), (std::array<int, 3>{3, 10, 16}));
    EXPECT_EQ(texts(), (std::array<std::string, 3>{"-63.98828", "-63.96094", "-63.9375"}));
}

// Typed levels wait for Apply, are clamped into the map's range (also when the bar is already
// at the end and does not move), and halves of a bar step go to the even position.
TEST_F(ControlPanelTest, TypedAndPresetLevelsWaitForApplyAndAreClampedAndRounded) {
    openBall();
    const struct {
        std::array<const char*, 3> typed;
        std::array<int, 3> bars;
        std::array<float, 3> levels;
    } steps[] = {
        {{"-70", "abc", "1000"}, {0, 16384, 32767}, {-64, 0, 63.99609375f}},
        {{"-90", "33.5 units", "1e6"}, {0, 24960, 32767}, {-64, 33.5f, 63.99609375f}},
        {{"-63.990234375", "-63.982421875", "-63.974609375"}, {2, 4, 6}, {-63.9921875f, -63.984375f, -63.9765625f}},
    };
    for (const auto& step : steps) {
        const auto before = session().layers().limits;
        for (int n = 0; n < 3; ++n) type(panel().levelEdits[n], step.typed[size_t(n)]);
        EXPECT_EQ(session().layers().limits, before);
        apply();
        EXPECT_EQ(bars(), step.bars) << step.typed[1];
        EXPECT_EQ(session().layers().limits, step.levels) << step.typed[1];
    }
    EXPECT_EQ(texts(), (std::array<std::string, 3>{"-63.99219", "-63.98438", "-63.97656"}));
    // The presets' levels (Low 5, 15, 30; High 30, 50, 70, the last above the map) show at
    // once but wait for Apply, which rebuilds the surfaces, a new scene.
    const auto before = triangleCounts();
    panel().presetButtons[0]->click();
    EXPECT_EQ(session().layers().limits, (std::array<float, 3>{5, 15, 30}));
    EXPECT_EQ(bars(), (std::array<int, 3>{17664, 20224, 24064}));
    panel().presetButtons[2]->click();
    EXPECT_EQ(texts(), (std::array<std::string, 3>{"30", "50", "63.99609"}));
    EXPECT_EQ(bars(), (std::array<int, 3>{24064, 29184, 32767}));
    EXPECT_EQ(triangleCounts(), before);
    const uint64_t scene = session().sceneRevision();
    apply();
    EXPECT_NE(triangleCounts(), before);
    EXPECT_EQ(session().sceneRevision(), scene + 1);
}

// The plane typed and applied is rounded and kept in 1..7, and rebuilt: planes 2 to 6 cut
// the ball at layer 1's level. The buttons step it without rebuild, the main window's keys
// with one; either steps from the plane shown, not from an unapplied typed one.
TEST_F(ControlPanelTest, ThePlaneStaysInsideTheMapWhetherTypedOrStepped) {
    openBall();
    ControlPanel& p = panel();
    // A text typed and applied, the "-" or "+" button, or the key after "key ".
    const std::tuple<std::string, int, int> steps[] = {
        {"0", 4, 1},   {"abc", 4, 1}, {"1000", 4, 7}, {"2.5", 4, 2}, {"3.5", 4, 4},      {"4.7", 4, 5},
        {"-", 1, 1},   {"+", 7, 7},   {"-", 7, 6},    {"key -", 1, 1}, {"key +", 4, 5}, {"key +", 7, 7}};
    for (const auto& [how, from, want] : steps) {
        SCOPED_TRACE(how + " from " + std::to_string(from));
        session().setSection(from);
        type(p.sectionEdit, "3");
        const uint64_t scene = session().sceneRevision();
        const bool rebuilt = how != "+" && how != "-";
        if (!rebuilt)
            (how == "+" ? p.sectionUpButton : p.sectionDownButton)->click();
        else if (how.starts_with("key "))
            QTest::keyClick(&surface(), how[4]);
        else
            type(p.sectionEdit, how), apply();
        EXPECT_EQ(session().layers().zSection, want);
        EXPECT_EQ(p.sectionEdit->text().toStdString(), std::to_string(want));
        EXPECT_EQ(session().sceneRevision(), scene + (rebuilt ? 1 : 0));
        EXPECT_TRUE(!rebuilt || (session().segments().count(1) > 0) == (want >= 2 && want <= 6));
    }
}

// The contour map's lines in the layers' contour colours and its frame in grey 0.7, the
// cell's edges in grey 0.5; each goes with its switch.
TEST_F(ControlPanelTest, FrameShowsTheContourMapAndTheCellInTheirColours) {
    open(kSampleMap);
    ControlPanel& p = panel();
    p.atomsBox->click();   // no lit atoms, whose shading could pass for a grey
    for (QCheckBox* box : {p.layerBoxes[0], p.layerBoxes[1], p.layerBoxes[2], p.cellBox}) box->click();
    type(p.sectionEdit, "29");
    const Colour8 colours[5] = {
        {51, 229.5, 51}, {102, 102, 255}, {255, 76.5, 76.5}, {178.5, 178.5, 178.5}, {127.5, 127.5, 127.5}};
    for (const bool on : {true, false}) {
        apply();
        const FrameImage image = frame();
        for (const Colour8& c : colours) EXPECT_EQ(image.count(c) > 40, on) << c[0] << " " << c[1];
        p.cellBox->click();
        p.contourMapBox->click();
    }
}

}   // namespace
}   // namespace tivarel::testing
