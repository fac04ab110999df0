#pragma once
// Helpers for the control panel tests: small FOU maps, the panel's number form checked by
// its properties, and the scroll-bar arithmetic and surface counts worked out apart.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "panel/control_panel.h"
#include "surface/cell_table.h"
#include "surface/march_cubes.h"
#include "surface/march_squares.h"
#include "window_fixture.h"

namespace tivarel::testing {

constexpr int kBarMax = 32767;

// Writes an n^3 FOU map on a unit grid (identity cell, origin 0) into this process's
// scratch folder; `value` gets 1-based x, y, z. Values run with y fastest, an x row a line.
inline std::string WriteFou(const std::string& name, int n, const std::function<double(int, int, int)>& value) {
    std::ostringstream t;
    t.precision(9);
    t << "panel test map\r\nunit grid\r\n1 0 0 0 1 0 0 0 1\r\n0 0 0\r\ncell\r\n" << n << ' ' << n << ' ' << n
      << " 90 90 90\r\naxes\r\n0 1 0 0\r\n0 1 0 0\r\n0 1 0 0\r\ncounts\r\n" << n << ' ' << n << ' ' << n << "\r\n";
    for (int z = 1; z <= n; ++z) {
        t << "Section\r\n" << z << "\r\n";
        for (int x = 1; x <= n; ++x)
            for (int y = 1; y <= n; ++y) t << value(x, y, z) << (y == n ? "\r\n" : " ");
    }
    t << "atoms\r\n0 14\r\n";
    const auto dir = std::filesystem::temp_directory_path() / ("tivarel-panel-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << t.str();
    return (dir / name).string();
}

// A ball of density on a 7^3 grid: `low` at the corners, `high` exactly at the centre.
inline std::function<double(int, int, int)> Blob(double low, double high) {
    return [=](int x, int y, int z) {
        const double r = std::sqrt(double((x - 4) * (x - 4) + (y - 4) * (y - 4) + (z - 4) * (z - 4)));
        return low + (high - low) * std::max(0.0, 1.0 - r / 3.0);
    };
}

// The lines of the shipped presets file, without their line ends.
inline std::vector<std::string> PresetLines() {
    std::ifstream in(TIVAREL_BIN_DIR "/layer_limit_presets.txt", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A text box shows `value` in the panel's form: no leading blank, one number equal to
// `value` rounded to seven significant digits, no trailing zeros in a fraction.
inline ::testing::AssertionResult ShowsNumber(const QLineEdit* box, double value) {
    const std::string text = box->text().toStdString();
    auto fail = [&](const char* why) {
        return ::testing::AssertionFailure() << "text \"" << text << "\" for " << value << ": " << why;
    };
    if (text.empty() || text[0] == ' ') return fail("empty or a leading blank");
    char* end = nullptr;
    const double shown = std::strtod(text.c_str(), &end);
    if (*end != '\0') return fail("not one number");
    char seven[40];
    std::snprintf(seven, sizeof seven, "%.6e", value);
    if (shown != std::strtod(seven, nullptr)) return fail("not the value to seven digits");
    const bool fraction = text.find('.') != std::string::npos && text.find_first_of("eE") == std::string::npos;
    if (fraction && (text.back() == '0' || text.back() == '.')) return fail("trailing zeros");
    return ::testing::AssertionSuccess();
}

// Where a level puts its scroll bar: the share of the range in 0..32767, nearest, halves to even.
inline int BarPosition(float level, float minValue, float maxValue) {
    const double share = double(level - minValue) * kBarMax / double(maxValue - minValue);
    const double down = std::floor(share), rest = share - down;
    return int(down) + ((rest > 0.5 || (rest == 0.5 && std::fmod(down, 2.0) != 0.0)) ? 1 : 0);
}

// The level a bar position stands for, in single precision.
inline float BarLevel(int position, float minValue, float maxValue) {
    return static_cast<float>(double(position) / kBarMax * double(maxValue - minValue) + minValue);
}

// A typed or preset level as the panel keeps it: clamped into the map's range and,
// when that moves its bar, replaced by the value of the bar's new position.
inline float KeptLevel(float typed, int oldPosition, float minValue, float maxValue) {
    const float clamped = std::max(minValue, std::min(typed, maxValue));
    const int position = BarPosition(clamped, minValue, maxValue);
    return position == oldPosition ? clamped : BarLevel(position, minValue, maxValue);
}

// Triangles and contour segments of one level, computed apart from the program.
inline int32_t TrianglesAt(const DensityMap& map, float level) {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    static TriangleStore store;
    MarchLayer(map.gridParams, map.grid, level, 1, store, table, nullptr);
    return store.count(1);
}

inline int32_t SegmentsAt(const DensityMap& map, float level, int section) {
    static SegmentStore store;
    (void)MarchSquares(map.gridParams, map.grid, level, section, 1, store);
    return store.count(1);
}

class ControlPanelTest : public WindowTest {
protected:
    ControlPanel& panel() {
        return window->controlPanel() ? *window->controlPanel() : throw std::runtime_error("no control panel");
    }
    Program& program() { return window->program(); }
    const GridParams& grid() { return program().map.gridParams; }
    float minValue() { return grid().minValue(); }
    float maxValue() { return grid().maxValue(); }

    static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void Type(QLineEdit* box, const std::string& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QString::fromStdString(text));
    }
    void Apply() { Click(panel().applyButton); }

    std::array<int32_t, 3> TriangleCounts() {
        return {program().triangles.count(1), program().triangles.count(2), program().triangles.count(3)};
    }
    std::array<int, 3> BarPositions() {
        return {panel().levelBars[0]->value(), panel().levelBars[1]->value(), panel().levelBars[2]->value()};
    }
    static std::string Bits(std::initializer_list<bool> bits) {
        std::string s;
        for (bool bit : bits) s += bit ? '1' : '0';
        return s;
    }
    // The layer boxes, the atoms, contour map and cell boxes, and the four style and picking buttons, ticked.
    std::string BoxStates() {
        const ControlPanel& p = panel();
        return Bits({p.layerBoxes[0]->isChecked(), p.layerBoxes[1]->isChecked(), p.layerBoxes[2]->isChecked(),
                     p.atomsBox->isChecked(), p.contourMapBox->isChecked(), p.cellBox->isChecked(),
                     p.webStyleButton->isChecked(), p.triangleStyleButton->isChecked(), p.pick3DButton->isChecked(),
                     p.pick2DButton->isChecked()});
    }
    // layerUsed 1..3, showAtoms, showContourMap, showCell, meshStyle 1 and 2, pickMode "3D" and "2D".
    std::string FlagStates() {
        const Program& p = program();
        return Bits({p.layers.used[0], p.layers.used[1], p.layers.used[2], p.state.showAtoms, p.layers.showContourMap,
                     p.state.showCell, p.state.meshStyle == 1, p.state.meshStyle == 2, p.state.pickMode == "3D",
                     p.state.pickMode == "2D"});
    }

    // The plane is `z` in the flags and in sectionEdit; after a rebuild its contours are plane z's.
    void ExpectPlane(int z, const std::string& what, bool rebuilt) {
        EXPECT_EQ(program().layers.zSection, z) << what;
        EXPECT_EQ(panel().sectionEdit->text().toStdString(), std::to_string(z)) << what;
        for (int layer = 1; rebuilt && layer <= 3; ++layer)
            EXPECT_EQ(program().segments.count(layer), SegmentsAt(program().map, program().layers.layerLimit(layer), z))
                << what << ", layer " << layer;
    }
};

}  // namespace tivarel::testing
