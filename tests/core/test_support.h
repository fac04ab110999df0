#pragma once
// Shared by the core tests: the stop that bad input ends in, and its message.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "../test_files.h"
#include "mapio/input_error.h"

namespace tivarel::test_support {

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
