#include "app/qt_platform.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace tivarel {

QString QtNameFilters(const std::string& filter) {
    // The pieces alternate between a caption and its patterns; Qt wants "Caption (patterns)"
    // and reads the patterns from the last brackets. The dialogs hide that appended part
    // (HideNameFilterDetails), so each caption shows exactly as written, and "*.*" lists
    // every file, names without a dot too, as it does on Windows.
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';');
        for (QString& pattern : patterns)
            if (pattern == "*.*") pattern = "*";
        filters << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

void QtPlatform::messageBox(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok, owner_);
    const DialogScope open(*this);
    box.exec();
}

bool QtPlatform::askYesNo(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    const DialogScope open(*this);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtPlatform::openFileDialog(const std::string& fileName, const std::string& filter) {
    const DialogScope open(*this);
    const QString name = QFileDialog::getOpenFileName(owner_, QString(), QString::fromStdString(fileName),
                                                      QtNameFilters(filter), nullptr,
                                                      QFileDialog::HideNameFilterDetails);
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

std::optional<std::string> QtPlatform::saveFileDialog(const std::string& fileName, const std::string& filter) {
    const DialogScope open(*this);
    // The chosen file is written over, as the user asked: no second question.
    const QString name = QFileDialog::getSaveFileName(owner_, QString(), QString::fromStdString(fileName),
                                                      QtNameFilters(filter), nullptr,
                                                      QFileDialog::DontConfirmOverwrite | QFileDialog::HideNameFilterDetails);
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

std::optional<uint32_t> QtPlatform::colourDialog(uint32_t initial) {
    const QColor start(static_cast<int>(initial & 0xFF), static_cast<int>((initial >> 8) & 0xFF),
                       static_cast<int>((initial >> 16) & 0xFF));
    const DialogScope open(*this);
    const QColor chosen = QColorDialog::getColor(start, owner_);
    if (!chosen.isValid()) return std::nullopt;
    return static_cast<uint32_t>(chosen.red()) | static_cast<uint32_t>(chosen.green()) << 8 |
           static_cast<uint32_t>(chosen.blue()) << 16;
}

void QtPlatform::beep() { QApplication::beep(); }

void QtPlatform::doEndProgram(int status) {
    std::fflush(nullptr);
    // At once, as the user asked: no further events, no teardown of the GL context by Qt.
    std::_Exit(status);
}

std::string QtPlatform::programDirectory() { return QCoreApplication::applicationDirPath().toStdString(); }

std::string QtPlatform::dataDirectory() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
    return folder.toStdString();
}

}  // namespace tivarel
