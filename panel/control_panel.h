#pragma once
// ControlPanel: the modeless second window that edits the layer levels,
// switches, mesh style, picking mode, contour plane, axis views and presets.
// It keeps no state of its own: every value lives in the program state.
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "app/program.h"
#include "mapio/presets.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace tivarel {

class ControlPanel : public QWidget {
public:
    // What the panel asks of the main window.
    struct Host {
        std::function<void(ViewAxis)> setView;
        std::function<void()> redraw;        // repaint the main window
    };

    // Builds the controls and runs the load step from the program state. When the
    // presets could not be read, `presetsProblem` says why and the preset buttons tell it.
    ControlPanel(Program& program, const std::array<Preset, 3>& presets, const std::string& presetsProblem,
                 Host host);

    void LevelToScroll();
    float ClampLevel(float x) const;
    void ApplyLevels(float l1, float l2, float l3);
    // The "-" and "+" keys of the main window show the plane here.
    void showSection(int section);

    // The controls; each one's object name is its member name (layer boxes, level
    // edits and bars, axis and preset buttons get a number from 1: "levelEdit2").
    QGroupBox *layerFrame, *styleFrame, *sectionFrame, *pickingFrame, *axisFrame, *presetFrame;
    QLabel *minLabel, *maxLabel, *visibleLabel, *valueLabel, *rangeLabel;
    QLineEdit *minValueEdit, *maxValueEdit, *sectionEdit;
    std::array<QCheckBox*, 3> layerBoxes;   // layers 1..3 switched on
    std::array<QLineEdit*, 3> levelEdits;   // levels of layers 1..3 as text
    std::array<QScrollBar*, 3> levelBars;   // the same levels on 0..kScrollMax
    QRadioButton *webStyleButton, *triangleStyleButton, *pick3DButton, *pick2DButton;
    QCheckBox *atomsBox, *contourMapBox, *cellBox;
    QPushButton *applyButton, *sectionDownButton, *sectionUpButton;
    std::array<QPushButton*, 3> axisButtons;   // views along X, Y, Z
    std::array<QPushButton*, 3> presetButtons;

    static constexpr int kScrollMax = 32767;

private:
    void buildLayerFrame();
    void buildStyleFrame();
    void buildPickingFrame();
    void buildSectionFrame();
    void buildViewAndPresetFrames();
    void loadFields();
    void scrollMoved(int layer, int position);
    void stepSection(int delta);
    void apply();

    Program& program_;
    const std::array<Preset, 3>& presets_;
    const std::string& presetsProblem_;
    Host host_;
};

// Numbers in the panel's text boxes: general form, up to seven significant digits.
std::string PanelNumberText(double value);
// Round to the nearest integer, halves to even.
int RoundHalfEven(double value);

}  // namespace tivarel
