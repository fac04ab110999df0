#pragma once
// Helpers for the control panel tests: small FOU maps written on the fly, the
// panel's number form checked by its properties, the scroll-bar arithmetic worked
// out on its own, and surface counts computed apart from the program.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
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

// A FOU map on a unit grid (identity cell matrix, origin 0, steps 1); `value`
// gets 1-based x, y, z. Sections list the values with y fastest, one x row a line.
inline std::string FouText(int nx, int ny, int nz, const std::function<double(int, int, int)>& value) {
    std::ostringstream t;
    t.precision(9);
    t << "panel test map\r\nunit grid\r\n1 0 0 0 1 0 0 0 1\r\n0 0 0\r\ncell\r\n";
    t << nx << ' ' << ny << ' ' << nz << " 90 90 90\r\naxes\r\n";
    for (int axis = 0; axis < 3; ++axis) t << "0 1 0 0\r\n";
    t << "counts\r\n" << nx << ' ' << ny << ' ' << nz << "\r\n";
    for (int z = 1; z <= nz; ++z) {
        t << "Section\r\n" << z << "\r\n";
        for (int x = 1; x <= nx; ++x)
            for (int y = 1; y <= ny; ++y) t << value(x, y, z) << (y == ny ? "\r\n" : " ");
    }
    t << "atoms\r\n0 14\r\n";
    return t.str();
}

// A ball of density: `low` at the corners, `high` exactly at the centre of a 7^3 grid.
inline std::function<double(int, int, int)> Blob(double low, double high) {
    return [=](int x, int y, int z) {
        const double r = std::sqrt(double((x - 4) * (x - 4) + (y - 4) * (y - 4) + (z - 4) * (z - 4)));
        return low + (high - low) * std::max(0.0, 1.0 - r / 3.0);
    };
}

// A scratch folder of this process, removed by nobody: the names are unique per run.
inline std::filesystem::path ScratchDir() {
    const auto dir = std::filesystem::temp_directory_path() / ("tivarel-panel-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string WriteFile(const std::string& name, const std::string& text) {
    const auto path = ScratchDir() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

// The lines of a text file without their line ends.
inline std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A text box shows `value` in the panel's form: no leading blank, the whole text
// one number, equal to `value` rounded to seven significant digits, and no
// trailing zeros in a fraction (general form).
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
    if (rest > 0.5 || (rest == 0.5 && std::fmod(down, 2.0) != 0.0)) return int(down) + 1;
    return int(down);
}

// The level a bar position stands for, in single precision.
inline float BarLevel(int position, float minValue, float maxValue) {
    return static_cast<float>(double(position) / kBarMax * double(maxValue - minValue) + minValue);
}

// A typed or preset level as the panel keeps it: clamped into the map's range and,
// when that moves its bar, replaced by the value of the bar's new position.
inline float KeptLevel(float typed, int oldPosition, float minValue, float maxValue) {
    float clamped = typed > maxValue ? maxValue : typed;
    if (clamped < minValue) clamped = minValue;
    const int position = BarPosition(clamped, minValue, maxValue);
    return position == oldPosition ? clamped : BarLevel(position, minValue, maxValue);
}

// Triangles and contour segments of one level, computed apart from the program.
inline const CaseTable& SharedCaseTable() {
    static const CaseTable table = LoadCellTable(TIVAREL_BIN_DIR "/cell_table.dat");
    return table;
}

inline int32_t TrianglesAt(const DensityMap& map, float level) {
    static TriangleStore store;
    MarchLayer(map.gridParams, map.grid, level, 1, store, SharedCaseTable(), nullptr);
    return store.count(1);
}

inline int32_t SegmentsAt(const DensityMap& map, float level, int section) {
    static SegmentStore store;
    (void)MarchSquares(map.gridParams, map.grid, level, section, 1, store);
    return store.count(1);
}

class ControlPanelTest : public WindowTest {
protected:
    frmControlPanel& panel() {
        frmControlPanel* p = window->controlPanel();
        if (!p) throw std::runtime_error("no control panel loaded");
        return *p;
    }
    Program& program() { return window->program(); }
    const GridParams& grid() { return program().map.gridParams; }
    float minValue() { return grid().minValue(); }
    float maxValue() { return grid().maxValue(); }

    // Opens a map written for the test; returns its path.
    std::string OpenWritten(const std::string& name, const std::string& fouText) {
        const std::string path = WriteFile(name, fouText);
        Open(path);
        return path;
    }

    static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void Type(QLineEdit* box, const std::string& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QString::fromStdString(text));
    }
    void Apply() { Click(panel().Command1); }

    // The user closes the panel window and shows it again from the main window.
    void CloseAndShowPanel() {
        panel().close();
        QTest::qWait(30);
        window->ShowControlPanel();
    }

    std::array<int32_t, 3> TriangleCounts() {
        return {program().triangles.count(1), program().triangles.count(2), program().triangles.count(3)};
    }
    std::array<int, 3> BarPositions() {
        return {panel().scrolls[0]->value(), panel().scrolls[1]->value(), panel().scrolls[2]->value()};
    }
};

}  // namespace tivarel::testing
