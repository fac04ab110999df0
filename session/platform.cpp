#include "session/platform.h"

#include <cstdio>
#include <cstdlib>

namespace tivarel {

void Platform::tell(const std::string& note) {
    if (note.empty()) return;
    std::string line = note;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string WithNote(const std::string& text, const std::string& note) {
    return note.empty() ? text : text + "\n" + note;
}

void Platform::showMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    tell(text);
    if (beforeMessage_) beforeMessage_();
    messageBox(text, title, icon);
}

void Platform::endProgram(int status) {
    tell(rescue());
    doEndProgram(status);
    std::abort();   // an implementation that returned would leave the program in an undefined state
}

void Platform::stop(const ProgramStop& reason) {
    if (reason.silent()) endProgram(1);
    endWithMessage(reason.what());
}

void Platform::endWithMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    showMessage(WithNote(text, rescue()), title, icon);
    endProgram(1);
}

}  // namespace tivarel
