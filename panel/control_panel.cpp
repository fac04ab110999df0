#include "panel/control_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <cmath>
#include <cstdio>
#include <limits>

#include "export/number_format.h"
#include "icons/icons.h"
#include "mapio/text_scanner.h"
#include "session/platform.h"

namespace tivarel {

namespace {
// Where each control sits, in pixels: frames and the Apply button in the window, the
// other controls in their frame. The three layer rows, axis and preset buttons repeat
// at the steps given.
constexpr QSize kWindowSize{211, 513};
constexpr QPoint kWindowPosition{579, 46};
constexpr QRect kLayerFrame{0, 0, 209, 225};
constexpr QRect kMinLabel{8, 16, 89, 19}, kMaxLabel{104, 16, 97, 19};
constexpr QRect kMinValueEdit{8, 32, 89, 21}, kMaxValueEdit{104, 32, 97, 21};
constexpr QRect kVisibleLabel{8, 56, 89, 19}, kValueLabel{104, 56, 97, 19};
constexpr QRect kLayerBox{8, 80, 89, 19}, kLevelEdit{104, 80, 97, 21}, kLevelBar{8, 104, 193, 17};
constexpr int kLayerRowStep = 48;
constexpr QRect kStyleFrame{0, 232, 209, 97};
constexpr QRect kWebStyleButton{8, 16, 57, 32}, kTriangleStyleButton{72, 16, 57, 32};
constexpr QRect kContourMapBox{8, 64, 57, 32}, kAtomsBox{72, 64, 57, 32}, kCellBox{144, 64, 57, 32};
constexpr QRect kPickingFrame{0, 336, 209, 41};
constexpr QRect kPick3DButton{8, 16, 81, 19}, kPick2DButton{120, 16, 81, 19};
constexpr QRect kSectionFrame{0, 384, 209, 41};
constexpr QRect kSectionEdit{8, 16, 41, 21}, kSectionDownButton{64, 16, 22, 22}, kSectionUpButton{88, 16, 22, 22};
constexpr QRect kRangeLabel{120, 16, 81, 19};
constexpr QRect kAxisFrame{0, 432, 97, 41}, kPresetFrame{104, 432, 105, 41};
constexpr QRect kFrameButton{8, 16, 29, 22};   // the first axis or preset button
constexpr int kFrameButtonStep = 32;
constexpr QRect kApplyButton{32, 480, 137, 25};
constexpr QSize kIconSize{30, 30};

template <typename W>
W* Place(QWidget* parent, const QString& name, QRect geometry, const QString& text = QString(),
         const QString& tip = QString()) {
    auto* w = new W(parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    if constexpr (!std::is_same_v<W, QScrollBar>) {
        if (!text.isNull()) w->setText(text);
    }
    if (!tip.isNull()) w->setToolTip(tip);
    return w;
}

QGroupBox* Frame(QWidget* parent, const char* name, const QString& title, QRect geometry) {
    auto* frame = new QGroupBox(title, parent);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    return frame;
}

QString ColourStyle(const Rgb& c) {
    return QString("color: rgb(%1, %2, %3)")
        .arg(std::lround(c[0] * 255))
        .arg(std::lround(c[1] * 255))
        .arg(std::lround(c[2] * 255));
}

template <typename Button>
void SetIcon(Button* button, const QPixmap& pixmap) {
    button->setIcon(QIcon(pixmap));
    button->setIconSize(kIconSize);
}
}  // namespace

std::string PanelNumberText(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.7G", value);
    return buf;
}

int RoundHalfEven(double value) {
    if (!std::isfinite(value)) return 0;
    const double r = std::nearbyint(value);   // the default rounding mode: nearest, ties to even
    if (r > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (r < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

ControlPanel::ControlPanel(Session& session, const std::array<Preset, 3>& presets, const std::string& presetsProblem,
                           Host host)
    : QWidget(nullptr, Qt::Window),
      session_(session),
      presets_(presets),
      presetsProblem_(presetsProblem),
      host_(std::move(host)) {
    setWindowTitle("Control Panel");
    setFixedSize(kWindowSize);
    move(kWindowPosition);
    buildLayerFrame();
    buildStyleFrame();
    buildPickingFrame();
    buildSectionFrame();
    buildViewAndPresetFrames();
    applyButton = Place<QPushButton>(this, "applyButton", kApplyButton, "Apply", "apply changes and redraw all");
    connect(applyButton, &QPushButton::clicked, this, [this] { RunHandler(session_.platform(), session_.peakRescue(), [this] { apply(); }); });
    loadFields();
}

void ControlPanel::buildLayerFrame() {
    layerFrame = Frame(this, "layerFrame", "Map layers parametres", kLayerFrame);
    minLabel = Place<QLabel>(layerFrame, "minLabel", kMinLabel, "ZOL Minimum");
    maxLabel = Place<QLabel>(layerFrame, "maxLabel", kMaxLabel, "ZOL Maximum");
    minValueEdit = Place<QLineEdit>(layerFrame, "minValueEdit", kMinValueEdit);
    maxValueEdit = Place<QLineEdit>(layerFrame, "maxValueEdit", kMaxValueEdit);
    visibleLabel = Place<QLabel>(layerFrame, "visibleLabel", kVisibleLabel, "Layer Visible");
    valueLabel = Place<QLabel>(layerFrame, "valueLabel", kValueLabel, "Layer Value");
    const char* names[3] = {"Layer1", "Layer 2", "Layer 3"};
    for (int n = 0; n < 3; ++n) {
        const QPoint down(0, kLayerRowStep * n);
        const QString number = QString::number(n + 1);
        layerBoxes[n] = Place<QCheckBox>(layerFrame, "layer" + number + "Box", kLayerBox.translated(down), names[n],
                                         "enable/disable 3D contour " + number);
        layerBoxes[n]->setStyleSheet(ColourStyle(session_.layers().meshColour(n + 1)));
        levelEdits[n] = Place<QLineEdit>(layerFrame, "level" + number + "Edit", kLevelEdit.translated(down),
                                         QString(), "map limit " + number);
        levelBars[n] = Place<QScrollBar>(layerFrame, "level" + number + "Bar", kLevelBar.translated(down));
        levelBars[n]->setOrientation(Qt::Horizontal);
        levelBars[n]->setRange(0, kScrollMax);
        const int layer = n + 1;
        connect(layerBoxes[n], &QCheckBox::clicked, this,
                [this, layer] { session_.setLayerUsed(layer, !session_.layers().layerUsed(layer)); });
        connect(levelBars[n], &QScrollBar::valueChanged, this,
                [this, layer](int position) { scrollMoved(layer, position); });
    }
}

void ControlPanel::buildStyleFrame() {
    styleFrame = Frame(this, "styleFrame", "Object style and visibility", kStyleFrame);
    webStyleButton =
        Place<QRadioButton>(styleFrame, "webStyleButton", kWebStyleButton, QString(), "web type 3D grid");
    triangleStyleButton =
        Place<QRadioButton>(styleFrame, "triangleStyleButton", kTriangleStyleButton, QString(), "triangle 3D grid");
    contourMapBox =
        Place<QCheckBox>(styleFrame, "contourMapBox", kContourMapBox, QString(), "enable/disable contour map");
    atomsBox = Place<QCheckBox>(styleFrame, "atomsBox", kAtomsBox, QString(), "enable/disable atoms visibility");
    cellBox = Place<QCheckBox>(styleFrame, "cellBox", kCellBox, QString(), "show lattice cell");
    SetIcon(webStyleButton, WebIcon());
    SetIcon(triangleStyleButton, TriangleIcon());
    SetIcon(contourMapBox, RingsIcon());
    SetIcon(atomsBox, BallsIcon());
    SetIcon(cellBox, CellBoxIcon());
    Session& s = session_;
    connect(webStyleButton, &QRadioButton::clicked, this, [&s] { s.setMeshStyle(MeshStyle::Web); });
    connect(triangleStyleButton, &QRadioButton::clicked, this, [&s] { s.setMeshStyle(MeshStyle::Triangle); });
    connect(atomsBox, &QCheckBox::clicked, this, [&s] { s.setShowAtoms(!s.state().showAtoms); });
    connect(contourMapBox, &QCheckBox::clicked, this, [&s] { s.setShowContourMap(!s.layers().showContourMap); });
    connect(cellBox, &QCheckBox::clicked, this, [&s] { s.setShowCell(!s.state().showCell); });
}

void ControlPanel::buildPickingFrame() {
    pickingFrame = Frame(this, "pickingFrame", "Picking", kPickingFrame);
    pick3DButton = Place<QRadioButton>(pickingFrame, "pick3DButton", kPick3DButton, "3D", "Set 3D picking mode");
    pick2DButton = Place<QRadioButton>(pickingFrame, "pick2DButton", kPick2DButton, "2D", "Set 2D picking mode");
    Session& s = session_;
    connect(pick3DButton, &QRadioButton::clicked, this, [&s] { s.setPickMode(PickMode::Surface); });
    connect(pick2DButton, &QRadioButton::clicked, this, [&s] { s.setPickMode(PickMode::Plane); });
}

void ControlPanel::buildSectionFrame() {
    sectionFrame = Frame(this, "sectionFrame", "2 D map Z layer number", kSectionFrame);
    sectionEdit = Place<QLineEdit>(sectionFrame, "sectionEdit", kSectionEdit);
    sectionDownButton =
        Place<QPushButton>(sectionFrame, "sectionDownButton", kSectionDownButton, "-", "-1 contour hight");
    sectionUpButton = Place<QPushButton>(sectionFrame, "sectionUpButton", kSectionUpButton, "+", "+1 contour hight");
    QFont serif("DejaVu Serif");
    serif.setStyleHint(QFont::Serif);
    sectionDownButton->setFont(serif);
    sectionUpButton->setFont(serif);
    rangeLabel = Place<QLabel>(sectionFrame, "rangeLabel", kRangeLabel);
    // The buttons step the plane shown, without a rebuild: Apply rebuilds.
    connect(sectionDownButton, &QPushButton::clicked, this, [this] {
        session_.moveSection(-1);
        showSection();
    });
    connect(sectionUpButton, &QPushButton::clicked, this, [this] {
        session_.moveSection(+1);
        showSection();
    });
}

void ControlPanel::buildViewAndPresetFrames() {
    axisFrame = Frame(this, "axisFrame", "Force axis view", kAxisFrame);
    const ViewAxis axes[3] = {ViewAxis::X, ViewAxis::Y, ViewAxis::Z};
    for (int n = 0; n < 3; ++n) {
        const QString name(QChar('X' + n));
        axisButtons[n] = Place<QPushButton>(axisFrame, name.toLower() + "AxisButton",
                                            kFrameButton.translated(kFrameButtonStep * n, 0), name,
                                            "Force viewing along " + name + " axes");
        connect(axisButtons[n], &QPushButton::clicked, this, [this, axis = axes[n]] { host_.setView(axis); });
    }
    presetFrame = Frame(this, "presetFrame", "User layer setting", kPresetFrame);
    for (int n = 0; n < 3; ++n) {
        const QString number = QString::number(n + 1);
        presetButtons[n] = Place<QPushButton>(presetFrame, "preset" + number + "Button",
                                              kFrameButton.translated(kFrameButtonStep * n, 0), number);
        connect(presetButtons[n], &QPushButton::clicked, this, [this, n] {
            if (!presetsProblem_.empty()) {
                session_.platform().showMessage(presetsProblem_);
                return;
            }
            // Presets are absolute levels: in single precision, clamped into this map's range.
            const auto& levels = presets_[static_cast<size_t>(n)].levels;
            const GridParams& g = session_.map().gridParams;
            auto level = [&](size_t k) { return ClampPresetLevel(levels[k], g.minValue(), g.maxValue()); };
            applyLevels({level(0), level(1), level(2)});
        });
    }
}

void ControlPanel::loadFields() {
    const GridParams& g = session_.map().gridParams;
    minValueEdit->setText(QString::fromStdString(PanelNumberText(g.minValue())));
    maxValueEdit->setText(QString::fromStdString(PanelNumberText(g.maxValue())));
    for (int n = 0; n < 3; ++n)
        levelEdits[n]->setText(QString::fromStdString(PanelNumberText(session_.layers().layerLimit(n + 1))));
    for (int n = 0; n < 3; ++n)
        presetButtons[n]->setToolTip(QString::fromStdString(presets_[static_cast<size_t>(n)].name));
    showSection();
    rangeLabel->setText(QString::fromStdString("<1," + FormatNumber(g.nz()) + ">"));
    levelToScroll();
    const LayerSettings& layers = session_.layers();
    const ProgramState& state = session_.state();
    for (int n = 0; n < 3; ++n) layerBoxes[n]->setChecked(layers.layerUsed(n + 1));
    atomsBox->setChecked(state.showAtoms);
    contourMapBox->setChecked(layers.showContourMap);
    cellBox->setChecked(state.showCell);
    (state.meshStyle == MeshStyle::Web ? webStyleButton : triangleStyleButton)->setChecked(true);
    (state.pickMode == PickMode::Surface ? pick3DButton : pick2DButton)->setChecked(true);
}

void ControlPanel::levelToScroll() {
    const GridParams& g = session_.map().gridParams;
    const float range = g.maxValue() - g.minValue();
    for (int n = 0; n < 3; ++n) {
        // A flat map has no range to spread over the bar: it rests at 0.
        const float position = range == 0.0f ? 0.0f
                                             : (session_.layers().layerLimit(n + 1) - g.minValue()) *
                                                   static_cast<float>(kScrollMax) / range;
        // A bar that moves sets its level to the bar's own value (scrollMoved).
        levelBars[n]->setValue(RoundHalfEven(position));
    }
}

void ControlPanel::scrollMoved(int layer, int position) {
    session_.setLevelAt(layer, static_cast<double>(position) / kScrollMax);
    levelEdits[layer - 1]->setText(QString::fromStdString(PanelNumberText(session_.layers().layerLimit(layer))));
}

void ControlPanel::applyLevels(const std::array<float, 3>& levels) {
    for (int n = 0; n < 3; ++n) {
        session_.setLevel(n + 1, levels[static_cast<size_t>(n)]);
        levelEdits[n]->setText(QString::fromStdString(PanelNumberText(session_.layers().layerLimit(n + 1))));
    }
    levelToScroll();
}

void ControlPanel::showSection() { sectionEdit->setText(QString::number(session_.layers().zSection)); }

void ControlPanel::apply() {
    std::array<float, 3> levels{};
    for (int n = 0; n < 3; ++n)
        levels[static_cast<size_t>(n)] = static_cast<float>(LenientNumber(levelEdits[n]->text().toStdString()));
    applyLevels(levels);
    session_.setSection(RoundHalfEven(LenientNumber(sectionEdit->text().toStdString())));
    showSection();
    session_.generateFields();
    host_.redraw();
}

}  // namespace tivarel
