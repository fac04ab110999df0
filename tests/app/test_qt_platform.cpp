// The Qt implementation of the platform services, answered the way a user
// would: by pressing the dialog's buttons while it runs its modal loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/qt_platform.h"

namespace tivarel {
namespace {

// Runs `answer` on the modal dialog of type D once it is up.
template <typename D>
void AnswerWhenShown(std::function<void(D*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

// The captions in the dialog's file type box, as the user sees them.
QStringList ShownFilters(QFileDialog* dialog) {
    QStringList shown;
    const auto* box = dialog->findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; box && i < box->count(); ++i) shown << box->itemText(i);
    return shown;
}

// The names the dialog's list shows for its current filter, once it has read the folder.
QStringList ListedFiles(QFileDialog* dialog, int expected) {
    auto* view = dialog->findChild<QListView*>("listView");
    QStringList names;
    const bool complete = QTest::qWaitFor([&] {
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
        return names.size() == expected;
    });
    EXPECT_TRUE(complete) << names.join(", ").toStdString();
    names.sort();
    return names;
}

TEST(QtPlatform, OpenDialogShowsTheMapCaptionOnceAndAllFilesListsEveryFile) {
    QTemporaryDir folder;
    for (const char* name : {"map.mt1", "map.fou", "README", "notes.txt"}) QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
    QtPlatform platform;
    QStringList shown, maps, all;
    AnswerWhenShown<QFileDialog>([&](QFileDialog* dialog) {
        shown = ShownFilters(dialog);
        maps = ListedFiles(dialog, 2);
        dialog->selectNameFilter(dialog->nameFilters().at(1));
        all = ListedFiles(dialog, 4);
        dialog->reject();
    });
    platform.openFileDialog(folder.filePath("map.mt1").toStdString(),
                            "ZOL map files (*.mt1,*.fou,*.grd)|*.mt1;*.fou;*.grd|All files (*.*)|*.*");
    EXPECT_EQ(shown, QStringList({"ZOL map files (*.mt1,*.fou,*.grd)", "All files (*.*)"}));
    EXPECT_EQ(maps, QStringList({"map.fou", "map.mt1"}));
    EXPECT_EQ(all, QStringList({"README", "map.fou", "map.mt1", "notes.txt"}));
}

TEST(QtPlatform, QuestionHasYesAndNoWithoutIconAndCountsAsADialog) {
    QtPlatform platform;
    bool openWhileAsked = false;
    AnswerWhenShown<QMessageBox>([&](QMessageBox* box) {
        openWhileAsked = platform.dialogOpen();
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->text(), "Add this peak to pek list?");
        EXPECT_EQ(box->windowTitle(), "Tivarel");
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(platform.askYesNo("Add this peak to pek list?", "Tivarel"));
    EXPECT_TRUE(openWhileAsked);
    EXPECT_FALSE(platform.dialogOpen());
    AnswerWhenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(platform.askYesNo("Add this peak to pek list?", "Tivarel"));
}

TEST(QtPlatform, SaveDialogStartsFromTheNameAndNeverAsksToOverwrite) {
    QtPlatform platform;
    const QString target = QDir::temp().filePath("tivarel-dialog-answer.dat");
    AnswerWhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(ShownFilters(dialog), QStringList({"Peak data file (*.dat)", "All files (*.*)"}));
        EXPECT_EQ(dialog->selectedFiles().front().section('/', -1), "newatoms.dat");
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(target);   // typed, as a user does
        QMetaObject::invokeMethod(dialog, "accept");   // as the Save button does
    });
    // Named in full: the folder a relative name would go to is the last one a dialog visited.
    EXPECT_EQ(platform.saveFileDialog(QDir::temp().filePath("newatoms.dat").toStdString(),
                                      "Peak data file (*.dat)|*.dat|All files (*.*)|*.*"),
              target.toStdString());
    AnswerWhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(platform.saveFileDialog("newatoms.dat", "Peak data file (*.dat)|*.dat"), std::nullopt);
}

TEST(QtPlatform, ColourDialogSpeaksBlueGreenRed) {
    QtPlatform platform;
    AnswerWhenShown<QColorDialog>([](QColorDialog* dialog) {
        EXPECT_EQ(dialog->currentColor(), QColor(0x11, 0x22, 0x33));   // started from 0x00332211
        dialog->setCurrentColor(QColor(0, 0, 255));
        dialog->accept();
    });
    EXPECT_EQ(platform.colourDialog(0x00332211u), 0x00FF0000u);
    AnswerWhenShown<QColorDialog>([](QColorDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(platform.colourDialog(0u), std::nullopt);
}

TEST(QtPlatform, MessagesGoToStandardErrorAsOneLine) {
    QtPlatform platform;
    AnswerWhenShown<QMessageBox>([](QMessageBox* box) { box->accept(); });
    ::testing::internal::CaptureStderr();
    platform.showMessage("You do not have any peaks");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "You do not have any peaks\n");
}

}  // namespace
}  // namespace tivarel
