// Tivarel: a viewer of three-dimensional electron-density maps.
#include <exception>
#include <string>

#include "app/application.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "session/platform.h"
#include "app/qt_platform.h"

int main(int argc, char* argv[]) {
    // The command text is the arguments as one string, taken before Qt looks at them.
    std::string commandText;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandText += ' ';
        commandText += argv[i];
    }
    const tivarel::CommandLine commandLine = tivarel::ParseCommandLine(commandText);
    tivarel::Application app(argc, argv);
    tivarel::QtPlatform platform;
    tivarel::MainWindow window(platform);
    platform.setOwner(&window);
    // The start-up cannot go on from any failure: it ends the program with its message.
    try {
        tivarel::RunOrStop(platform, window.session().peakRescue(), [&] { window.start(commandLine); });
    } catch (const std::exception& failure) {
        window.session().endWithMessage(failure.what());
    }
    return QApplication::exec();
}
