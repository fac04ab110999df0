#pragma once
// The platform services on Qt: message boxes, dialogs, beep, program end.
#include <QString>

#include "session/platform.h"

class QWidget;

namespace tivarel {

class QtPlatform : public Platform {
public:
    // Dialogs are parented to `owner` once it is set (the main window).
    void setOwner(QWidget* owner) { owner_ = owner; }

    bool askYesNo(const std::string& text, const std::string& title) override;
    std::optional<std::string> openFileDialog(const std::string& fileName, const std::string& filter) override;
    std::optional<std::string> saveFileDialog(const std::string& fileName, const std::string& filter) override;
    std::optional<uint32_t> colourDialog(uint32_t initial) override;
    void beep() override;
    std::string programDirectory() override;
    std::string dataDirectory() override;

protected:
    void messageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    void doEndProgram(int status) override;

private:
    QWidget* owner_ = nullptr;
};

// "Name (*.a)|*.a|All files (*.*)|*.*" as a Qt name filter list.
QString QtNameFilters(const std::string& filter);

}  // namespace tivarel
