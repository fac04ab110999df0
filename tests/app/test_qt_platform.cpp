// The Qt platform services, answered as a user would: through the dialog in its modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "app/qt_platform.h"

namespace tivarel {
namespace {

// Runs `answer` on the modal dialog of type D once it is up; when none is up within 10 s the test fails and whatever
// modal window there is goes, so that the run goes on.
template <typename D>
void AnswerWhenShown(std::function<void(D*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, deadline = QDeadlineTimer(10000)] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired()) return;
        poll->stop();
        poll->deleteLater();
        if (dialog) return answer(dialog);
        ADD_FAILURE() << "no " << D::staticMetaObject.className() << " came up within 10 s";
        if (QWidget* other = QApplication::activeModalWidget()) other->close();
    });
    poll->start(20);
}

// Each caption shows as written; "*.*" lists every file, names without a dot too. A name chosen is taken without
// asking. Colours travel as 0x00BBGGRR. A message also goes to standard error, as one line.
TEST(QtPlatform, TheDialogsAnswerWhatTheUserChose) {
    QTemporaryDir folder;   // a folder of the test's own
    const QString target = folder.filePath("answer.dat");
    QtPlatform platform;
    AnswerWhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->nameFilters(), QStringList({"Peak data file (*.dat) (*.dat)", "All files (*.*) (*)"}));
        EXPECT_EQ(dialog->selectedFiles().front(), folder.filePath("newatoms.dat"));
        // Chosen as a click on a file does (selectFile leaves a name box that has the focus alone).
        if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();   // as the buttons do
    });
    EXPECT_EQ(platform.saveFileDialog(folder.filePath("newatoms.dat").toStdString(),
                                      "Peak data file (*.dat)|*.dat|All files (*.*)|*.*"),
              target.toStdString());
    AnswerWhenShown<QColorDialog>([](QColorDialog* dialog) {
        EXPECT_EQ(dialog->currentColor(), QColor(0x11, 0x22, 0x33));
        dialog->setCurrentColor(QColor(0, 0, 255));
        dialog->accept();
    });
    EXPECT_EQ(platform.colourDialog(0x00332211u), 0x00FF0000u);
    AnswerWhenShown<QMessageBox>([](QMessageBox* box) { box->accept(); });
    ::testing::internal::CaptureStderr();
    platform.showMessage("Cannot write the file a.dat\nThe 2 peaks\r\nwere kept.");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot write the file a.dat The 2 peaks  were kept.\n");
}

}   // namespace
}   // namespace tivarel
