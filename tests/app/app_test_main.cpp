// Test entry for the Qt layer: one QApplication for the whole run, under Xvfb.
#include <QApplication>

#include <clocale>

#include "window_fixture.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tivarel");
    std::setlocale(LC_NUMERIC, "C");   // as the program does
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::filesystem::remove_all(tivarel::testing::ScratchFolder());
    return status;
}
