#pragma once
// The one error of the program's input: a map, a side file or a value in one that the
// program cannot go on from. The text is exactly what the user is shown; a few structural
// checks of the files end the program without a message, and their errors are silent.
#include <stdexcept>
#include <string>

namespace tivarel {

class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& message, bool silent = false)
        : std::runtime_error(message), silent_(silent) {}
    bool silent() const { return silent_; }

private:
    bool silent_;
};

[[noreturn]] inline void Fail(const std::string& message) { throw InputError(message); }
[[noreturn]] inline void FailSilently() { throw InputError("", true); }

}  // namespace tivarel
