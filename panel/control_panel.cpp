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

#include "app/platform.h"
#include "export/number_format.h"
#include "mapio/text_scanner.h"
#include "panel/icons.h"

namespace tivarel {

namespace {
// The layout is given in twips; at 96 dots per inch a pixel is 15 twips.
QRect Twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

constexpr int kTextHeight = 315;
constexpr int kRowHeight = 285;
constexpr int kIconControlHeight = 480;   // a 30-pixel icon and its margins

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

QGroupBox* Frame(QWidget* parent, const char* name, const QString& title, int left, int top, int width, int height) {
    auto* frame = new QGroupBox(title, parent);
    frame->setObjectName(name);
    frame->setGeometry(Twips(left, top, width, height));
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
    button->setIconSize(QSize(30, 30));
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
    if (r > 2147483647.0) return 2147483647;
    if (r < -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(r);
}

ControlPanel::ControlPanel(Program& program, const std::array<Preset, 3>& presets, const std::string& presetsProblem,
                           Host host)
    : QWidget(nullptr, Qt::Window),
      program_(program),
      presets_(presets),
      presetsProblem_(presetsProblem),
      host_(std::move(host)) {
    setWindowTitle("Control Panel");
    setFixedSize(3165 / 15, 7695 / 15);
    move(8685 / 15, 690 / 15);
    buildLayerFrame();
    buildStyleFrame();
    buildPickingFrame();
    buildSectionFrame();
    buildViewAndPresetFrames();
    applyButton =
        Place<QPushButton>(this, "applyButton", Twips(480, 7200, 2055, 375), "Apply", "apply changes and redraw all");
    connect(applyButton, &QPushButton::clicked, this, [this] { RunHandler(program_.platform(), [this] { apply(); }); });
    loadFields();
}

void ControlPanel::buildLayerFrame() {
    layerFrame = Frame(this, "layerFrame", "Map layers parametres", 0, 0, 3135, 3375);
    minLabel = Place<QLabel>(layerFrame, "minLabel", Twips(120, 240, 1335, kRowHeight), "ZOL Minimum");
    maxLabel = Place<QLabel>(layerFrame, "maxLabel", Twips(1560, 240, 1455, kRowHeight), "ZOL Maximum");
    minValueEdit = Place<QLineEdit>(layerFrame, "minValueEdit", Twips(120, 480, 1335, kTextHeight));
    maxValueEdit = Place<QLineEdit>(layerFrame, "maxValueEdit", Twips(1560, 480, 1455, kTextHeight));
    visibleLabel = Place<QLabel>(layerFrame, "visibleLabel", Twips(120, 840, 1335, kRowHeight), "Layer Visible");
    valueLabel = Place<QLabel>(layerFrame, "valueLabel", Twips(1560, 840, 1455, kRowHeight), "Layer Value");
    const char* names[3] = {"Layer1", "Layer 2", "Layer 3"};
    for (int n = 0; n < 3; ++n) {
        const int top = 1200 + 720 * n;
        const QString number = QString::number(n + 1);
        layerBoxes[n] = Place<QCheckBox>(layerFrame, "layer" + number + "Box", Twips(120, top, 1335, kRowHeight),
                                         names[n], "enable/disable 3D contour " + number);
        layerBoxes[n]->setStyleSheet(ColourStyle(program_.layers.meshColour(n + 1)));
        levelEdits[n] = Place<QLineEdit>(layerFrame, "level" + number + "Edit", Twips(1560, top, 1455, kTextHeight),
                                         QString(), "map limit " + number);
        levelBars[n] = Place<QScrollBar>(layerFrame, "level" + number + "Bar", Twips(120, top + 360, 2895, 255));
        levelBars[n]->setOrientation(Qt::Horizontal);
        levelBars[n]->setRange(0, kScrollMax);
        const int layer = n + 1;
        connect(layerBoxes[n], &QCheckBox::clicked, this,
                [this, layer] { program_.layers.layerUsed(layer) = !program_.layers.layerUsed(layer); });
        connect(levelBars[n], &QScrollBar::valueChanged, this,
                [this, layer](int position) { scrollMoved(layer, position); });
    }
}

void ControlPanel::buildStyleFrame() {
    styleFrame = Frame(this, "styleFrame", "Object style and visibility", 0, 3480, 3135, 1455);
    webStyleButton = Place<QRadioButton>(styleFrame, "webStyleButton", Twips(120, 240, 855, kIconControlHeight),
                                         QString(), "web type 3D grid");
    triangleStyleButton = Place<QRadioButton>(styleFrame, "triangleStyleButton",
                                              Twips(1080, 240, 855, kIconControlHeight), QString(), "triangle 3D grid");
    contourMapBox = Place<QCheckBox>(styleFrame, "contourMapBox", Twips(120, 960, 855, kIconControlHeight), QString(),
                                     "enable/disable contour map");
    atomsBox = Place<QCheckBox>(styleFrame, "atomsBox", Twips(1080, 960, 855, kIconControlHeight), QString(),
                                "enable/disable atoms visibility");
    cellBox = Place<QCheckBox>(styleFrame, "cellBox", Twips(2160, 960, 855, kIconControlHeight), QString(),
                               "show lattice cell");
    SetIcon(webStyleButton, WebIcon());
    SetIcon(triangleStyleButton, TriangleIcon());
    SetIcon(contourMapBox, RingsIcon());
    SetIcon(atomsBox, BallsIcon());
    SetIcon(cellBox, CellBoxIcon());
    ProgramState& s = program_.state;
    connect(webStyleButton, &QRadioButton::clicked, this, [&s] { s.meshStyle = MeshStyle::Web; });
    connect(triangleStyleButton, &QRadioButton::clicked, this, [&s] { s.meshStyle = MeshStyle::Triangle; });
    connect(atomsBox, &QCheckBox::clicked, this, [&s] { s.showAtoms = !s.showAtoms; });
    connect(contourMapBox, &QCheckBox::clicked, this,
            [this] { program_.layers.showContourMap = !program_.layers.showContourMap; });
    connect(cellBox, &QCheckBox::clicked, this, [&s] { s.showCell = !s.showCell; });
}

void ControlPanel::buildPickingFrame() {
    pickingFrame = Frame(this, "pickingFrame", "Picking", 0, 5040, 3135, 615);
    pick3DButton = Place<QRadioButton>(pickingFrame, "pick3DButton", Twips(120, 240, 1215, kRowHeight), "3D",
                                       "Set 3D picking mode");
    pick2DButton = Place<QRadioButton>(pickingFrame, "pick2DButton", Twips(1800, 240, 1215, kRowHeight), "2D",
                                       "Set 2D picking mode");
    ProgramState& s = program_.state;
    connect(pick3DButton, &QRadioButton::clicked, this, [&s] { s.pickMode = PickMode::Surface; });
    connect(pick2DButton, &QRadioButton::clicked, this, [&s] { s.pickMode = PickMode::Plane; });
}

void ControlPanel::buildSectionFrame() {
    sectionFrame = Frame(this, "sectionFrame", "2 D map Z layer number", 0, 5760, 3135, 615);
    sectionEdit = Place<QLineEdit>(sectionFrame, "sectionEdit", Twips(120, 240, 615, kTextHeight));
    sectionDownButton =
        Place<QPushButton>(sectionFrame, "sectionDownButton", Twips(960, 240, 330, 330), "-", "-1 contour hight");
    sectionUpButton =
        Place<QPushButton>(sectionFrame, "sectionUpButton", Twips(1320, 240, 330, 330), "+", "+1 contour hight");
    QFont serif("DejaVu Serif");
    serif.setStyleHint(QFont::Serif);
    sectionDownButton->setFont(serif);
    sectionUpButton->setFont(serif);
    rangeLabel = Place<QLabel>(sectionFrame, "rangeLabel", Twips(1800, 240, 1215, kRowHeight));
    connect(sectionDownButton, &QPushButton::clicked, this, [this] { stepSection(-1); });
    connect(sectionUpButton, &QPushButton::clicked, this, [this] { stepSection(+1); });
}

void ControlPanel::buildViewAndPresetFrames() {
    axisFrame = Frame(this, "axisFrame", "Force axis view", 0, 6480, 1455, 615);
    const ViewAxis axes[3] = {ViewAxis::X, ViewAxis::Y, ViewAxis::Z};
    for (int n = 0; n < 3; ++n) {
        const QString name(QChar('X' + n));
        axisButtons[n] =
            Place<QPushButton>(axisFrame, name.toLower() + "AxisButton", Twips(120 + 480 * n, 240, 435, 330), name,
                               "Force viewing along " + name + " axes");
        connect(axisButtons[n], &QPushButton::clicked, this, [this, axis = axes[n]] { host_.setView(axis); });
    }
    presetFrame = Frame(this, "presetFrame", "User layer setting", 1560, 6480, 1575, 615);
    for (int n = 0; n < 3; ++n) {
        const QString number = QString::number(n + 1);
        presetButtons[n] =
            Place<QPushButton>(presetFrame, "preset" + number + "Button", Twips(120 + 480 * n, 240, 435, 330), number);
        connect(presetButtons[n], &QPushButton::clicked, this, [this, n] {
            if (!presetsProblem_.empty()) {
                program_.platform().showMessage(presetsProblem_);
                return;
            }
            // Presets are absolute levels: in single precision, clamped into this map's range.
            const auto& levels = presets_[static_cast<size_t>(n)].levels;
            const GridParams& g = program_.map.gridParams;
            auto level = [&](size_t k) { return ClampPresetLevel(levels[k], g.minValue(), g.maxValue()); };
            ApplyLevels(level(0), level(1), level(2));
        });
    }
}

void ControlPanel::loadFields() {
    const GridParams& g = program_.map.gridParams;
    minValueEdit->setText(QString::fromStdString(PanelNumberText(g.minValue())));
    maxValueEdit->setText(QString::fromStdString(PanelNumberText(g.maxValue())));
    for (int n = 0; n < 3; ++n)
        levelEdits[n]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(n + 1))));
    for (int n = 0; n < 3; ++n)
        presetButtons[n]->setToolTip(QString::fromStdString(presets_[static_cast<size_t>(n)].name));
    showSection(program_.layers.zSection);
    rangeLabel->setText(QString::fromStdString("<1," + FormatNumber(g.nz()) + ">"));
    LevelToScroll();
    for (int n = 0; n < 3; ++n) layerBoxes[n]->setChecked(program_.layers.layerUsed(n + 1));
    atomsBox->setChecked(program_.state.showAtoms);
    contourMapBox->setChecked(program_.layers.showContourMap);
    cellBox->setChecked(program_.state.showCell);
    (program_.state.meshStyle == MeshStyle::Web ? webStyleButton : triangleStyleButton)->setChecked(true);
    (program_.state.pickMode == PickMode::Surface ? pick3DButton : pick2DButton)->setChecked(true);
}

void ControlPanel::LevelToScroll() {
    const GridParams& g = program_.map.gridParams;
    const float range = g.maxValue() - g.minValue();
    for (int n = 0; n < 3; ++n) {
        // A flat map has no range to spread over the bar: it rests at 0.
        const float position = range == 0.0f ? 0.0f
                                             : (program_.layers.layerLimit(n + 1) - g.minValue()) *
                                                   static_cast<float>(kScrollMax) / range;
        levelBars[n]->setValue(RoundHalfEven(position));
    }
}

void ControlPanel::scrollMoved(int layer, int position) {
    const GridParams& g = program_.map.gridParams;
    const double level = static_cast<double>(position) / kScrollMax * (g.maxValue() - g.minValue()) + g.minValue();
    program_.layers.layerLimit(layer) = static_cast<float>(level);
    levelEdits[layer - 1]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(layer))));
}

float ControlPanel::ClampLevel(float x) const {
    const GridParams& g = program_.map.gridParams;
    if (x > g.maxValue()) x = g.maxValue();
    if (x < g.minValue()) x = g.minValue();
    return x;
}

void ControlPanel::ApplyLevels(float l1, float l2, float l3) {
    const float levels[3] = {l1, l2, l3};
    for (int n = 0; n < 3; ++n) {
        program_.layers.layerLimit(n + 1) = ClampLevel(levels[n]);
        levelEdits[n]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(n + 1))));
    }
    LevelToScroll();
}

void ControlPanel::showSection(int section) { sectionEdit->setText(QString::number(section)); }

void ControlPanel::stepSection(int delta) {
    const int nz = program_.map.gridParams.nz();
    int section = program_.layers.zSection + delta;
    if (section < 1) section = 1;
    if (section > nz) section = nz;
    program_.layers.zSection = static_cast<int16_t>(section);
    showSection(section);
}

void ControlPanel::apply() {
    float levels[3];
    for (int n = 0; n < 3; ++n) levels[n] = static_cast<float>(LenientNumber(levelEdits[n]->text().toStdString()));
    ApplyLevels(levels[0], levels[1], levels[2]);
    int section = RoundHalfEven(LenientNumber(sectionEdit->text().toStdString()));
    const int nz = program_.map.gridParams.nz();
    if (section > nz) section = nz;
    if (section < 1) section = 1;
    program_.layers.zSection = static_cast<int16_t>(section);
    showSection(section);
    program_.state.listValid = 0;
    program_.GenerateFields();
    host_.redraw();
}

}  // namespace tivarel
