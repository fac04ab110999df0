#pragma once
// AboutWindow and HelpWindow: two modeless information windows whose contents are a
// snapshot taken when they load.
#include <QWidget>

#include <string>

#include "view/modes.h"

class QLabel;
class QPlainTextEdit;

namespace tivarel {

// What the About window shows.
struct AboutFacts {
    std::string glVendor, glVersion;
    StereoMode stereoMode = StereoMode::None;
    int32_t usedTriangles = 0;
};

class AboutWindow : public QWidget {
public:
    explicit AboutWindow(const AboutFacts& facts);
    QLabel* picture;
    QLabel *versionLabel, *descriptionLabel;
    // Captions and the values filled at load: OpenGL driver, display mode, triangle count.
    QLabel *driversCaption, *driversLabel, *modeCaption, *modeLabel, *trianglesCaption, *trianglesLabel;
};

// The stereo mode as the About window names it.
std::string StereoModeName(StereoMode mode);

// The help text: every line of the file followed by a line end, also the last one.
std::string HelpText(const std::string& fileBytes);

class HelpWindow : public QWidget {
public:
    // Shows readme.txt from the program's directory.
    explicit HelpWindow(const std::string& programDirectory);
    QPlainTextEdit* textView;
};

}  // namespace tivarel
