#include "info/info_windows.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <fstream>
#include <sstream>

#include "export/number_format.h"
#include "mapio/side_files.h"
#include "panel/icons.h"

namespace tivarel {

namespace {
QLabel* AddLabel(QGridLayout* grid, const QString& text, int row, int column) {
    auto* label = new QLabel(text);
    grid->addWidget(label, row, column);
    return label;
}
}  // namespace

frmAbout::frmAbout(const AboutFacts& facts) : QWidget(nullptr, Qt::Window) {
    setWindowTitle("About");
    auto* grid = new QGridLayout(this);
    Picture1 = new QLabel;
    Picture1->setPixmap(RingsIcon(47));   // contour rings around a density peak
    grid->addWidget(Picture1, 0, 0, 2, 1);
    Label1 = AddLabel(grid, "Version 1.1 beta  7", 0, 1);
    Label5 = AddLabel(grid, "Tivarel shows electron-density maps of crystal structures as contour surfaces.", 1, 1);
    Label2 = AddLabel(grid, "Active OpenGL drivers:", 2, 0);
    Label3 = AddLabel(grid, QString::fromStdString(facts.glVendor + " " + facts.glVersion), 2, 1);
    Label4 = AddLabel(grid, "Graphic Display Mode:", 3, 0);
    Label6 = AddLabel(grid, QString::fromStdString(facts.stereoMode), 3, 1);
    Label7 = AddLabel(grid, "Actual number of TVR  triangles:", 4, 0);
    Label8 = AddLabel(grid, QString::fromStdString(FormatNumber(facts.usedTriangles)), 4, 1);
}

std::string HelpText(const std::string& fileBytes) {
    std::string text;
    for (std::string_view line : SideFileLines(fileBytes)) text.append(line).append("\n");
    return text;
}

frmHelp::frmHelp(const std::string& programDirectory) : QWidget(nullptr, Qt::Window), Text1(new QPlainTextEdit) {
    setWindowTitle("Help");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Text1);
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setFont(QFont("DejaVu Sans Mono"));
    resize(489, 402);
    const std::string path = SideFilePath(programDirectory, "readme.txt");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Text1->setPlainText(QString::fromStdString("The help file " + path + " could not be read."));
        return;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    Text1->setPlainText(QString::fromStdString(HelpText(bytes.str())));
}

}  // namespace tivarel
