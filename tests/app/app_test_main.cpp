// Test entry for the Qt layer: one QApplication for the whole run, under Xvfb.
#include <gtest/gtest.h>

#include <QApplication>

#include <clocale>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tivarel");
    std::setlocale(LC_NUMERIC, "C");   // as the program does
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
