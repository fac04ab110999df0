#pragma once
// Shared by the tests: files written and read back in a test's own fresh folder, and the stop bad input ends in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include "mapio/input_error.h"

namespace tivarel::test_support {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A new empty folder under the temporary directory, removed with all it holds at the end of its scope.
class TempFolder {
public:
    TempFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "tivarel-test-XXXXXX").string();
        if (!mkdtemp(name.data())) throw std::runtime_error("cannot make a test folder " + name);
        path_ = name;
    }
    ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
    TempFolder(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::error_code ignored_;
};

// The InputError that `action` throws; fails the test when none is thrown.
inline InputError StopFrom(const std::function<void()>& action) {
    try {
        action();
    } catch (const InputError& stop) {
        return stop;
    }
    ADD_FAILURE() << "no InputError thrown";
    return InputError("(no stop)");
}

inline std::string StopMessage(const std::function<void()>& action) { return StopFrom(action).what(); }

// `text` holds every one of `parts`.
inline void ExpectHolds(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << text << " lacks " << part;
}

}   // namespace tivarel::test_support
