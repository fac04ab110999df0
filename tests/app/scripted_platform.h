#pragma once
// A platform double for tests: records every message and question in order,
// answers dialogs from a script, and turns the end of the program into an exception.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace tivarel::testing {

struct ProgramEnded {
    int status;
};

class ScriptedPlatform : public Platform {
public:
    std::vector<std::string> events;   // "message: ...", "question: ...", "open: ...", "beep", ...
    std::vector<std::string> messages;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<uint32_t>> colourAnswers;
    std::string directory = TIVAREL_BIN_DIR;
    std::string dataFolder;   // the user's data folder; none unless a test sets one

    // Runs while a question is open, as the user's time with the box.
    std::function<void()> whileAsking;

    bool askYesNo(const std::string& text, const std::string&) override {
        events.push_back("question: " + text);
        const DialogScope open(*this);
        if (whileAsking) whileAsking();
        return take(yesNoAnswers, false);
    }
    std::optional<std::string> openFileDialog(const std::string& fileName, const std::string& filter) override {
        events.push_back("open: " + fileName + " | " + filter);
        return take(fileAnswers, std::optional<std::string>());
    }
    std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) override {
        events.push_back("save: " + fileName + " | " + filter);
        return take(fileAnswers, std::optional<std::string>());
    }
    std::optional<uint32_t> colourDialog(uint32_t initial) override {
        events.push_back("colour: " + std::to_string(initial));
        return take(colourAnswers, std::optional<uint32_t>());
    }
    void beep() override { events.push_back("beep"); }
    std::string programDirectory() override { return directory; }
    std::string dataDirectory() override { return dataFolder; }

protected:
    void doEndProgram(int status) override {
        events.push_back("end: " + std::to_string(status));
        throw ProgramEnded{status};
    }
    void messageBox(const std::string& text, const std::string& title, MessageIcon) override {
        events.push_back("message: " + text);
        messages.push_back(text);
        lastTitle = title;
    }

public:
    std::string lastTitle;

private:
    template <typename T>
    static T take(std::deque<T>& answers, T fallback) {
        if (answers.empty()) return fallback;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace tivarel::testing
