#pragma once
// The one error path of the import command: a problem with its input or output.
// The message names the file and says what is wrong with it.
#include <sstream>
#include <stdexcept>
#include <string>

namespace tivarel {

class ImportError : public std::runtime_error {
public:
    explicit ImportError(const std::string& message) : std::runtime_error(message) {}
};

// Throws "<file>: <problem>".
[[noreturn]] inline void FailImport(const std::string& file, const std::string& problem) {
    throw ImportError(file + ": " + problem);
}

// A number as a message shows it: 6 significant digits, no trailing zeros.
inline std::string ShortNumber(double v) {
    std::ostringstream text;
    text << v;
    return text.str();
}

}  // namespace tivarel
