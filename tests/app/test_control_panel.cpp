// The control panel driven through its own widgets, on a real main window under Xvfb. The map is a ball of 7^3 points
// from -64 to 63.99609375 (a range of 32767 / 256): level -64 + k / 256 stands exactly at bar position k.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

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
    std::array<QString, 3> texts() {
        return {panel().levelEdits[0]->text(), panel().levelEdits[1]->text(), panel().levelEdits[2]->text()};
    }
};

// Defaults at 10, 30 and 50 % of the range put the bars at 3276.7, 9830.1 and 16383.5, so 3277, 9830, 16384, and each
// level becomes its bar's value, written with a decimal point under the test main's comma locale. A bar moved sets its
// level and text at once, and the atoms box its switch, without a new scene. Typed levels wait for Apply, are clamped
// into the map's range (also with the bar already at the end), and halves of a bar step go to the even position.
TEST_F(ControlPanelTest, BarsAndBoxesTakeEffectAtOnceAndTypedLevelsAreClampedAndRoundedAtApply) {
    openBall();
    ControlPanel& p = panel();
    EXPECT_EQ(p.rangeLabel->text(), "<1, 7>");
    EXPECT_EQ(bars(), (std::array<int, 3>{3277, 9830, 16384}));
    EXPECT_EQ(texts(), (std::array<QString, 3>{"-51.19922", "-25.60156", "0"}));
    const uint64_t scene = session().sceneRevision();
    p.levelBars[1]->setValue(10000);
    EXPECT_EQ(session().layers().layerLimit(2), -24.9375f);
    EXPECT_EQ(p.levelEdits[1]->text(), "-24.9375");
    p.atomsBox->click();
    EXPECT_FALSE(session().state().showAtoms || session().state().showCell);
    EXPECT_EQ(session().sceneRevision(), scene);
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
        for (size_t n = 0; n < 3; ++n) type(panel().levelEdits[n], step.typed[n]);
        EXPECT_EQ(session().layers().limits, before);
        apply();
        EXPECT_EQ(bars(), step.bars) << step.typed[1];
        EXPECT_EQ(session().layers().limits, step.levels) << step.typed[1];
    }
    EXPECT_EQ(texts(), (std::array<QString, 3>{"-63.99219", "-63.98438", "-63.97656"}));
}

// The same ball as a GRD map: its range for the levels ends at the lowest value plus a 500th of the highest, 0.12799
// wide, whose 10, 30 and 50 % lie at bar positions 3.28, 9.83, 16.38.
TEST_F(ControlPanelTest, AGrdMapOpensWithItsOwnDefaultLevels) {
    std::ofstream grd(Scratch("ball.grd"));
    grd.precision(10);
    grd << "ball\ntwo\nthree\nfour\n7 7 7\n3 3 3\n6 6 6\nAtoms\n0\nDensity\nx fastest\nvalues\n";
    for (int i = 0; i < 7 * 7 * 7; ++i) grd << Ball(1 + i % 7, 1 + i / 7 % 7, 1 + i / 49) << '\n';
    grd.close();
    open(Scratch("ball.grd"));
    EXPECT_EQ(bars(), (std::array<int, 3>{3, 10, 16}));
    EXPECT_EQ(texts(), (std::array<QString, 3>{"-63.98828", "-63.96094", "-63.9375"}));
}

// The plane typed and applied (or the key after "key ") is rounded, kept in 1..7 and rebuilt: planes 2 to 6 cut the
// ball at layer 1's level, while the contour map is on. The "-" and "+" buttons step it without a rebuild; either steps
// from the plane shown, not a typed one.
TEST_F(ControlPanelTest, ThePlaneStaysInsideTheMapAndItsContoursGoWithTheirSwitch) {
    openBall();
    ControlPanel& p = panel();
    const std::tuple<std::string, int, int> steps[] = {{"0", 4, 1},     {"abc", 4, 1},  {"1000", 4, 7}, {"2.5", 4, 2},
                                                       {"3.5", 4, 4},   {"-", 1, 1},    {"+", 7, 7},    {"-", 7, 6},
                                                       {"key -", 1, 1}, {"key +", 7, 7}};
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
        EXPECT_EQ(p.sectionEdit->text(), QString::number(want));
        EXPECT_EQ(session().sceneRevision(), scene + (rebuilt ? 1 : 0));
        EXPECT_TRUE(!rebuilt || (session().segments().count(1) > 0) == (want >= 2 && want <= 6));
    }
    p.contourMapBox->click();   // off: rebuilt without it
    QTest::keyClick(&surface(), '-');
    EXPECT_EQ(session().segments().count(1), 0);
    showLayers({false, false, false});   // the contour map alone: its frame is grey 0.7
    EXPECT_GT(frame().count(Colour8{178.5, 178.5, 178.5}), 40);
}

}   // namespace
}   // namespace tivarel::testing
