#include "info/info_windows.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <fstream>
#include <sstream>

#include "export/number_format.h"
#include "mapio/side_files.h"
#include "icons/icons.h"

namespace tivarel {

namespace {
QLabel* AddLabel(QGridLayout* grid, const char* name, const QString& text, int row, int column) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    grid->addWidget(label, row, column);
    return label;
}
}  // namespace

std::string StereoModeName(StereoMode mode) {
    switch (mode) {
    case StereoMode::None: return "NoStereo";
    case StereoMode::Hardware: return "StereoHW";
    case StereoMode::Interlaced: return "StereoInterlaced";
    }
    return {};
}

AboutWindow::AboutWindow(const AboutFacts& facts) : QWidget(nullptr, Qt::Window) {
    setWindowTitle("About");
    auto* grid = new QGridLayout(this);
    picture = new QLabel;
    picture->setObjectName("picture");
    picture->setPixmap(RingsIcon(47));   // contour rings around a density peak
    grid->addWidget(picture, 0, 0, 2, 1);
    versionLabel = AddLabel(grid, "versionLabel", "Version 1.1 beta  7", 0, 1);
    descriptionLabel = AddLabel(grid, "descriptionLabel",
                                "Tivarel shows electron-density maps of crystal structures as contour surfaces.", 1, 1);
    driversCaption = AddLabel(grid, "driversCaption", "Active OpenGL drivers:", 2, 0);
    driversLabel = AddLabel(grid, "driversLabel", QString::fromStdString(facts.glVendor + " " + facts.glVersion), 2, 1);
    modeCaption = AddLabel(grid, "modeCaption", "Graphic Display Mode:", 3, 0);
    modeLabel = AddLabel(grid, "modeLabel", QString::fromStdString(StereoModeName(facts.stereoMode)), 3, 1);
    trianglesCaption = AddLabel(grid, "trianglesCaption", "Actual number of TVR  triangles:", 4, 0);
    trianglesLabel = AddLabel(grid, "trianglesLabel", QString::fromStdString(FormatNumber(facts.usedTriangles)), 4, 1);
}

std::string HelpText(const std::string& fileBytes) {
    std::string text;
    for (std::string_view line : SideFileLines(fileBytes)) text.append(line).append("\n");
    return text;
}

HelpWindow::HelpWindow(const std::string& programDirectory)
    : QWidget(nullptr, Qt::Window), textView(new QPlainTextEdit) {
    setWindowTitle("Help");
    textView->setObjectName("textView");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(textView);
    textView->setReadOnly(true);
    textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    textView->setFont(QFont("DejaVu Sans Mono"));
    resize(489, 402);
    const std::string path = SideFilePath(programDirectory, "readme.txt");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        textView->setPlainText(QString::fromStdString("The help file " + path + " could not be read."));
        return;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    textView->setPlainText(QString::fromStdString(HelpText(bytes.str())));
}

}  // namespace tivarel
