#pragma once
// frmControlPanel: the modeless second window that edits the layer levels,
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

class frmControlPanel : public QWidget {
public:
    // What the panel asks of the main window.
    struct Host {
        std::function<void(const std::string&)> setView;
        std::function<void()> redraw;        // repaint the main window
    };

    // Builds the controls and runs the load step from the program state.
    frmControlPanel(Program& program, const std::array<Preset, 3>& presets, Host host);

    void LevelToScroll();
    float ClampLevel(float x) const;
    void ApplyLevels(float l1, float l2, float l3);
    // The "-" and "+" keys of the main window show the plane here.
    void ShowSection(int section);

    // Controls, by their design names, for the main window and the tests.
    QGroupBox *Frame1, *Frame2, *Frame3, *Frame4, *Frame5, *Frame6;
    QLabel *Label10, *Label9, *Label8, *Label5, *Label7;
    QLineEdit *Text1, *Text2, *Text6;
    std::array<QCheckBox*, 3> layerChecks;     // Check1..Check3
    std::array<QLineEdit*, 3> limits;          // Limit1..Limit3
    std::array<QScrollBar*, 3> scrolls;        // HScroll1..HScroll3
    QRadioButton *Option1, *Option2, *Option3, *Option4;
    QCheckBox *Check4, *Check5, *Check6;
    QPushButton *Command1, *Command2, *Command3;
    QPushButton *ForceAxisX, *ForceAxesY, *ForceAxisZ;
    std::array<QPushButton*, 3> presetButtons;  // Preset1..Preset3

    static constexpr int kScrollMax = 32767;

private:
    void BuildLayerFrame();
    void BuildStyleFrame();
    void BuildPickingFrame();
    void BuildSectionFrame();
    void BuildViewAndPresetFrames();
    void LoadFields();
    void ScrollMoved(int layer, int position);
    void StepSection(int delta);
    void Apply();

    Program& program_;
    const std::array<Preset, 3>& presets_;
    Host host_;
};

// Numbers in the panel's text boxes: general form, up to seven significant digits.
std::string PanelNumberText(double value);
// Round to the nearest integer, halves to even.
int RoundHalfEven(double value);

}  // namespace tivarel
