#pragma once
// ControlPanel: the modeless second window that edits the layer levels, switches,
// mesh style, picking mode, contour plane, axis views and presets. It keeps no state
// of its own: every change goes to the session, and the controls show what it holds.
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "mapio/presets.h"
#include "session/session.h"

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
        std::function<void()> redraw;   // repaint the main window
    };

    // Builds the controls and loads them from the session. When the presets could not be
    // read, `presetsProblem` says why and the preset buttons tell it.
    ControlPanel(Session& session, const std::array<Preset, 3>& presets, const std::string& presetsProblem,
                 Host host);

    // The contour plane as the session holds it (the main window's "-" and "+" keys move it).
    void showSection();

    // The controls; each one's object name is its member name, with the layer's, preset's
    // or axis's own number or letter in it ("level2Edit", "preset3Button", "yAxisButton").
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
    // The levels as the session holds them, in the text boxes and on the bars.
    void showLevels();
    void levelToScroll();
    void scrollMoved(int layer, int position);
    void applyLevels(const std::array<float, 3>& levels);
    void apply();

    Session& session_;
    const std::array<Preset, 3>& presets_;
    const std::string& presetsProblem_;
    Host host_;
};

// Numbers in the panel's text boxes: general form, up to seven significant digits.
std::string PanelNumberText(double value);
// Round to the nearest integer, halves to even.
int RoundHalfEven(double value);

}  // namespace tivarel
