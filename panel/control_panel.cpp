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
W* Place(QWidget* parent, QRect geometry, const QString& text = QString(), const QString& tip = QString()) {
    auto* w = new W(parent);
    w->setGeometry(geometry);
    if constexpr (!std::is_same_v<W, QScrollBar>) {
        if (!text.isNull()) w->setText(text);
    }
    if (!tip.isNull()) w->setToolTip(tip);
    return w;
}

QGroupBox* Frame(QWidget* parent, const QString& title, int left, int top, int width, int height) {
    auto* frame = new QGroupBox(title, parent);
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

frmControlPanel::frmControlPanel(Program& program, const std::array<Preset, 3>& presets, Host host)
    : QWidget(nullptr, Qt::Window), program_(program), presets_(presets), host_(std::move(host)) {
    setWindowTitle("Control Panel");
    setFixedSize(3165 / 15, 7695 / 15);
    move(8685 / 15, 690 / 15);
    BuildLayerFrame();
    BuildStyleFrame();
    BuildPickingFrame();
    BuildSectionFrame();
    BuildViewAndPresetFrames();
    Command1 = Place<QPushButton>(this, Twips(480, 7200, 2055, 375), "Apply", "apply changes and redraw all");
    connect(Command1, &QPushButton::clicked, this, [this] { Apply(); });
    LoadFields();
}

void frmControlPanel::BuildLayerFrame() {
    Frame1 = Frame(this, "Map layers parametres", 0, 0, 3135, 3375);
    Label10 = Place<QLabel>(Frame1, Twips(120, 240, 1335, kRowHeight), "ZOL Minimum");
    Label9 = Place<QLabel>(Frame1, Twips(1560, 240, 1455, kRowHeight), "ZOL Maximum");
    Text1 = Place<QLineEdit>(Frame1, Twips(120, 480, 1335, kTextHeight));
    Text2 = Place<QLineEdit>(Frame1, Twips(1560, 480, 1455, kTextHeight));
    Label8 = Place<QLabel>(Frame1, Twips(120, 840, 1335, kRowHeight), "Layer Visible");
    Label5 = Place<QLabel>(Frame1, Twips(1560, 840, 1455, kRowHeight), "Layer Value");
    const char* names[3] = {"Layer1", "Layer 2", "Layer 3"};
    for (int n = 0; n < 3; ++n) {
        const int top = 1200 + 720 * n;
        const QString number = QString::number(n + 1);
        layerChecks[n] = Place<QCheckBox>(Frame1, Twips(120, top, 1335, kRowHeight), names[n],
                                          "enable/disable 3D contour " + number);
        layerChecks[n]->setStyleSheet(ColourStyle(program_.layers.meshColour(n + 1)));
        limits[n] = Place<QLineEdit>(Frame1, Twips(1560, top, 1455, kTextHeight), QString(), "map limit " + number);
        scrolls[n] = Place<QScrollBar>(Frame1, Twips(120, top + 360, 2895, 255));
        scrolls[n]->setOrientation(Qt::Horizontal);
        scrolls[n]->setRange(0, kScrollMax);
        const int layer = n + 1;
        connect(layerChecks[n], &QCheckBox::clicked, this, [this, layer] {
            program_.layers.layerUsed(layer) = !program_.layers.layerUsed(layer);
        });
        connect(scrolls[n], &QScrollBar::valueChanged, this, [this, layer](int position) { ScrollMoved(layer, position); });
    }
}

void frmControlPanel::BuildStyleFrame() {
    Frame2 = Frame(this, "Object style and visibility", 0, 3480, 3135, 1455);
    Option1 = Place<QRadioButton>(Frame2, Twips(120, 240, 855, kIconControlHeight), QString(), "web type 3D grid");
    Option2 = Place<QRadioButton>(Frame2, Twips(1080, 240, 855, kIconControlHeight), QString(), "triangle 3D grid");
    Check5 = Place<QCheckBox>(Frame2, Twips(120, 960, 855, kIconControlHeight), QString(), "enable/disable contour map");
    Check4 = Place<QCheckBox>(Frame2, Twips(1080, 960, 855, kIconControlHeight), QString(), "enable/disable atoms visibility");
    Check6 = Place<QCheckBox>(Frame2, Twips(2160, 960, 855, kIconControlHeight), QString(), "show lattice cell");
    SetIcon(Option1, WebIcon());
    SetIcon(Option2, TriangleIcon());
    SetIcon(Check5, RingsIcon());
    SetIcon(Check4, BallsIcon());
    SetIcon(Check6, CellBoxIcon());
    ProgramState& s = program_.state;
    connect(Option1, &QRadioButton::clicked, this, [&s] { s.meshStyle = 1; });
    connect(Option2, &QRadioButton::clicked, this, [&s] { s.meshStyle = 2; });
    connect(Check4, &QCheckBox::clicked, this, [&s] { s.showAtoms = !s.showAtoms; });
    connect(Check5, &QCheckBox::clicked, this, [this] {
        program_.layers.showContourMap = !program_.layers.showContourMap;
    });
    connect(Check6, &QCheckBox::clicked, this, [&s] { s.showCell = !s.showCell; });
}

void frmControlPanel::BuildPickingFrame() {
    Frame4 = Frame(this, "Picking", 0, 5040, 3135, 615);
    Option3 = Place<QRadioButton>(Frame4, Twips(120, 240, 1215, kRowHeight), "3D", "Set 3D picking mode");
    Option4 = Place<QRadioButton>(Frame4, Twips(1800, 240, 1215, kRowHeight), "2D", "Set 2D picking mode");
    ProgramState& s = program_.state;
    connect(Option3, &QRadioButton::clicked, this, [&s] { s.pickMode = "3D"; });
    connect(Option4, &QRadioButton::clicked, this, [&s] { s.pickMode = "2D"; });
}

void frmControlPanel::BuildSectionFrame() {
    Frame3 = Frame(this, "2 D map Z layer number", 0, 5760, 3135, 615);
    Text6 = Place<QLineEdit>(Frame3, Twips(120, 240, 615, kTextHeight));
    Command2 = Place<QPushButton>(Frame3, Twips(960, 240, 330, 330), "-", "-1 contour hight");
    Command3 = Place<QPushButton>(Frame3, Twips(1320, 240, 330, 330), "+", "+1 contour hight");
    QFont serif("DejaVu Serif");
    serif.setStyleHint(QFont::Serif);
    Command2->setFont(serif);
    Command3->setFont(serif);
    Label7 = Place<QLabel>(Frame3, Twips(1800, 240, 1215, kRowHeight));
    connect(Command2, &QPushButton::clicked, this, [this] { StepSection(-1); });
    connect(Command3, &QPushButton::clicked, this, [this] { StepSection(+1); });
}

void frmControlPanel::BuildViewAndPresetFrames() {
    Frame5 = Frame(this, "Force axis view", 0, 6480, 1455, 615);
    ForceAxisX = Place<QPushButton>(Frame5, Twips(120, 240, 435, 330), "X", "Force viewing along X axes");
    ForceAxesY = Place<QPushButton>(Frame5, Twips(600, 240, 435, 330), "Y", "Force viewing along Y axes");
    ForceAxisZ = Place<QPushButton>(Frame5, Twips(1080, 240, 435, 330), "Z", "Force viewing along Z axes");
    connect(ForceAxisX, &QPushButton::clicked, this, [this] { host_.setView("X"); });
    connect(ForceAxesY, &QPushButton::clicked, this, [this] { host_.setView("Y"); });
    connect(ForceAxisZ, &QPushButton::clicked, this, [this] { host_.setView("Z"); });
    Frame6 = Frame(this, "User layer setting", 1560, 6480, 1575, 615);
    for (int n = 0; n < 3; ++n) {
        presetButtons[n] = Place<QPushButton>(Frame6, Twips(120 + 480 * n, 240, 435, 330), QString::number(n + 1));
        connect(presetButtons[n], &QPushButton::clicked, this, [this, n] {
            // Presets are absolute levels: in single precision, clamped into this map's range.
            const auto& levels = presets_[static_cast<size_t>(n)].levels;
            const GridParams& g = program_.map.gridParams;
            auto level = [&](size_t k) { return ClampPresetLevel(levels[k], g.minValue(), g.maxValue()); };
            ApplyLevels(level(0), level(1), level(2));
        });
    }
}

void frmControlPanel::LoadFields() {
    const GridParams& g = program_.map.gridParams;
    Text1->setText(QString::fromStdString(PanelNumberText(g.minValue())));
    Text2->setText(QString::fromStdString(PanelNumberText(g.maxValue())));
    for (int n = 0; n < 3; ++n)
        limits[n]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(n + 1))));
    for (int n = 0; n < 3; ++n)
        presetButtons[n]->setToolTip(QString::fromStdString(presets_[static_cast<size_t>(n)].name));
    ShowSection(program_.layers.zSection);
    Label7->setText(QString::fromStdString("<1," + FormatNumber(g.nz()) + ">"));
    LevelToScroll();
    for (int n = 0; n < 3; ++n) layerChecks[n]->setChecked(program_.layers.layerUsed(n + 1));
    Check4->setChecked(program_.state.showAtoms);
    Check5->setChecked(program_.layers.showContourMap);
    Check6->setChecked(program_.state.showCell);
    (program_.state.meshStyle == 1 ? Option1 : Option2)->setChecked(true);
    (program_.state.pickMode == "3D" ? Option3 : Option4)->setChecked(true);
}

void frmControlPanel::LevelToScroll() {
    const GridParams& g = program_.map.gridParams;
    const float range = g.maxValue() - g.minValue();
    for (int n = 0; n < 3; ++n) {
        // A flat map has no range to spread over the bar: it rests at 0.
        const float position = range == 0.0f ? 0.0f
                                             : (program_.layers.layerLimit(n + 1) - g.minValue()) *
                                                   static_cast<float>(kScrollMax) / range;
        scrolls[n]->setValue(RoundHalfEven(position));
    }
}

void frmControlPanel::ScrollMoved(int layer, int position) {
    const GridParams& g = program_.map.gridParams;
    const double level = static_cast<double>(position) / kScrollMax * (g.maxValue() - g.minValue()) + g.minValue();
    program_.layers.layerLimit(layer) = static_cast<float>(level);
    limits[layer - 1]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(layer))));
}

float frmControlPanel::ClampLevel(float x) const {
    const GridParams& g = program_.map.gridParams;
    if (x > g.maxValue()) x = g.maxValue();
    if (x < g.minValue()) x = g.minValue();
    return x;
}

void frmControlPanel::ApplyLevels(float l1, float l2, float l3) {
    const float levels[3] = {l1, l2, l3};
    for (int n = 0; n < 3; ++n) {
        program_.layers.layerLimit(n + 1) = ClampLevel(levels[n]);
        limits[n]->setText(QString::fromStdString(PanelNumberText(program_.layers.layerLimit(n + 1))));
    }
    LevelToScroll();
}

void frmControlPanel::ShowSection(int section) { Text6->setText(QString::number(section)); }

void frmControlPanel::StepSection(int delta) {
    const int nz = program_.map.gridParams.nz();
    int section = program_.layers.zSection + delta;
    if (section < 1) section = 1;
    if (section > nz) section = nz;
    program_.layers.zSection = static_cast<int16_t>(section);
    ShowSection(section);
}

void frmControlPanel::Apply() {
    float levels[3];
    for (int n = 0; n < 3; ++n) levels[n] = static_cast<float>(LenientNumber(limits[n]->text().toStdString()));
    ApplyLevels(levels[0], levels[1], levels[2]);
    int section = RoundHalfEven(LenientNumber(Text6->text().toStdString()));
    const int nz = program_.map.gridParams.nz();
    if (section > nz) section = nz;
    if (section < 1) section = 1;
    program_.layers.zSection = static_cast<int16_t>(section);
    ShowSection(section);
    program_.state.listValid = 0;
    program_.GenerateFields();
    host_.redraw();
}

}  // namespace tivarel
