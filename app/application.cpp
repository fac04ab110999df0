#include "app/application.h"

#include <clocale>

namespace tivarel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Tivarel");
    // QApplication has just taken the user's locale; numbers in files, messages and text
    // boxes use a decimal point.
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace tivarel
