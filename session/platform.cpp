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
    messageBox(text, title, icon);
}

void Platform::endProgram(int status, const Rescue& rescue) {
    tell(rescue());
    doEndProgram(status);
    std::abort();   // an implementation that returned would leave the program in an undefined state
}

void Platform::stop(const InputError& reason, const Rescue& rescue) {
    if (reason.silent()) endProgram(1, rescue);
    endWithMessage(reason.what(), rescue);
}

void Platform::endWithMessage(const std::string& text, const Rescue& rescue, const std::string& title,
                              MessageIcon icon) {
    showMessage(WithNote(text, rescue()), title, icon);
    // What the rescue kept is in the message: the end has nothing more to keep.
    endProgram(1, [] { return std::string(); });
}

}  // namespace tivarel
