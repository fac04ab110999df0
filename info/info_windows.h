#pragma once
// frmAbout and frmHelp: two modeless information windows whose contents are a
// snapshot taken when they load.
#include <QWidget>

#include <string>

class QLabel;
class QPlainTextEdit;

namespace tivarel {

// What the About window shows.
struct AboutFacts {
    std::string glVendor, glVersion;
    std::string stereoMode;
    int32_t usedTriangles = 0;
};

class frmAbout : public QWidget {
public:
    explicit frmAbout(const AboutFacts& facts);
    QLabel *Picture1, *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8;
};

// The help text: every line of the file followed by a line end, also the last one.
std::string HelpText(const std::string& fileBytes);

class frmHelp : public QWidget {
public:
    // Shows readme.txt from the program's directory.
    explicit frmHelp(const std::string& programDirectory);
    QPlainTextEdit* Text1;
};

}  // namespace tivarel
