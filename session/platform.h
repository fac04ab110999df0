#pragma once
// The few services of the desktop that the program uses, behind one interface so
// that tests can script every dialogue. Message texts always go to standard error too.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tivarel {

class InputError;

enum class MessageIcon { None, Critical };

// Keeps what must not be lost when the program ends (the peaks never saved) and returns a
// note for the user that says where, or an empty text when nothing was at stake.
using Rescue = std::function<std::string()>;

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with one OK button; the text is also written to standard error, as
    // one line.
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
    // Ends the program with the given exit status; never returns. What the rescue
    // keeps is kept first, and its note goes to standard error.
    [[noreturn]] void endProgram(int status, const Rescue& rescue);
    // The folder that holds the program and its side files.
    virtual std::string programDirectory() = 0;
    // A folder of the user's where the program may keep files (created when missing).
    virtual std::string dataDirectory() = 0;

    // Shows the error's message (unless it is silent) with the rescue's note, and ends
    // the program with status 1.
    [[noreturn]] void stop(const InputError& reason, const Rescue& rescue);
    // Shows the message with the rescue's note added, then ends the program with status 1.
    [[noreturn]] void endWithMessage(const std::string& text, const Rescue& rescue,
                                     const std::string& title = "Tivarel", MessageIcon icon = MessageIcon::None);

    // Writes a note to standard error as one line; an empty note writes nothing.
    static void tell(const std::string& note);

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

// `text`, then `note` on a line of its own when there is one.
std::string WithNote(const std::string& text, const std::string& note);

// Runs `work`; an InputError or a lack of memory raised inside ends the program through
// the platform, after the rescue.
template <typename Work>
void RunOrStop(Platform& platform, const Rescue& rescue, Work&& work);

// Runs an event handler: an InputError or a lack of memory ends the program through the
// platform, any other failure is told in a message and the program goes on. No exception
// leaves it, so none can pass through Qt's event loop.
template <typename Handler>
void RunHandler(Platform& platform, const Rescue& rescue, Handler&& handler);

}  // namespace tivarel

#include <exception>
#include <new>

#include "mapio/input_error.h"

namespace tivarel {
template <typename Work>
void RunOrStop(Platform& platform, const Rescue& rescue, Work&& work) {
    try {
        work();
    } catch (const InputError& reason) {
        platform.stop(reason, rescue);
    } catch (const std::bad_alloc&) {
        platform.stop(InputError("Not enough memory for this map."), rescue);
    }
}

template <typename Handler>
void RunHandler(Platform& platform, const Rescue& rescue, Handler&& handler) {
    try {
        RunOrStop(platform, rescue, handler);
    } catch (const std::exception& failure) {
        platform.showMessage(std::string("The command could not be completed: ") + failure.what());
    }
}
}  // namespace tivarel
