#include "app/platform.h"

#include <cstdio>
#include <cstdlib>

namespace tivarel {

void Platform::showMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    messageBox(text, title, icon);
}

void Platform::endProgram(int status) {
    doEndProgram(status);
    std::abort();   // an implementation that returned would leave the program in an undefined state
}

void Platform::stop(const ProgramStop& reason) {
    if (!reason.silent()) showMessage(reason.what());
    endProgram(1);
}

}  // namespace tivarel
