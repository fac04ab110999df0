#pragma once
// The few services of the desktop that the program uses, behind one interface so
// that tests can script every dialogue. Message texts always go to standard error too.
#include <cstdint>
#include <optional>
#include <string>

namespace tivarel {

class ProgramStop;

enum class MessageIcon { None, Critical };

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with one OK button; the text is also written to standard error.
    void showMessage(const std::string& text, const std::string& title = "Tivarel",
                     MessageIcon icon = MessageIcon::None);
    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& title = "Tivarel") = 0;
    // File dialogs start from `fileName` and return the chosen name, or nothing on cancel.
    virtual std::optional<std::string> openFileDialog(const std::string& fileName, const std::string& filter) = 0;
    virtual std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) = 0;
    // Colour in 0x00BBGGRR; nothing on cancel.
    virtual std::optional<uint32_t> colourDialog(uint32_t initial) = 0;
    virtual void beep() = 0;
    // Ends the program with the given exit status; never returns.
    [[noreturn]] void endProgram(int status);
    // The folder that holds the program and its side files.
    virtual std::string programDirectory() = 0;

    // Shows the stop's message (unless it is a silent stop) and ends the program with status 1.
    [[noreturn]] void stop(const ProgramStop& reason);

    // True while a modal box or dialog runs its own event loop.
    bool dialogOpen() const { return dialogDepth_ > 0; }

protected:
    // Marks a modal box or dialog as open for the scope's lifetime.
    class DialogScope {
    public:
        explicit DialogScope(Platform& platform) : platform_(platform) { ++platform_.dialogDepth_; }
        ~DialogScope() { --platform_.dialogDepth_; }
        DialogScope(const DialogScope&) = delete;
        DialogScope& operator=(const DialogScope&) = delete;

    private:
        Platform& platform_;
    };

    virtual void messageBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // Must not return: exits the process (or, in tests, throws).
    virtual void doEndProgram(int status) = 0;

private:
    int dialogDepth_ = 0;
};

// Runs `work`; a ProgramStop raised inside ends the program through the platform.
template <typename Work>
void RunOrStop(Platform& platform, Work&& work);

}  // namespace tivarel

#include <new>

#include "mapio/program_stop.h"

namespace tivarel {
template <typename Work>
void RunOrStop(Platform& platform, Work&& work) {
    try {
        work();
    } catch (const ProgramStop& reason) {
        platform.stop(reason);
    } catch (const std::bad_alloc&) {
        platform.stop(ProgramStop("Not enough memory for this map."));
    }
}
}  // namespace tivarel
