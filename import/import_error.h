#pragma once
// The import command's errors: the program's one input error, whose message names the
// file and says what is wrong with it.
#include <sstream>
#include <stdexcept>
#include <string>

#include "mapio/input_error.h"

namespace tivarel {

// Throws "<file>: <problem>".
[[noreturn]] inline void FailImport(const std::string& file, const std::string& problem) {
    throw InputError(file + ": " + problem);
}

// Runs `action`, which reads with gemmi, and tells gemmi's faults as InputError naming the
// file: `doing` goes before gemmi's own words, and gemmi's own naming of the file at their
// end (": path") is dropped. Lack of memory passes as it is.
template <typename Action>
auto WithGemmi(const std::string& path, const std::string& doing, Action action) {
    try {
        return action();
    } catch (const InputError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        std::string what = e.what();
        const std::string named = ": " + path;
        if (what.size() > named.size() && what.compare(what.size() - named.size(), named.size(), named) == 0)
            what.resize(what.size() - named.size());
        FailImport(path, doing + what);
    }
}

// A number as a message shows it: 6 significant digits, no trailing zeros.
inline std::string ShortNumber(double v) {
    std::ostringstream text;
    text << v;
    return text.str();
}

}  // namespace tivarel
