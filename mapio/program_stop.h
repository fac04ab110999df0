#pragma once
// The one error path of the core: a condition the program cannot go on from.
// The text is exactly what the user is shown; an empty text ends the program
// without a message (a few structural checks do that).
#include <stdexcept>
#include <string>

namespace tivarel {

class ProgramStop : public std::runtime_error {
public:
    explicit ProgramStop(const std::string& message) : std::runtime_error(message) {}
    bool silent() const { return what()[0] == '\0'; }
};

[[noreturn]] inline void StopProgram(const std::string& message) { throw ProgramStop(message); }

}  // namespace tivarel
