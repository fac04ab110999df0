// Writes the program's icon: the contour rings that the control panel and the About
// window draw, rendered at one size to a PNG file.
// Usage: make_icon SIZE OUTPUT.png   (needs no display: run with QT_QPA_PLATFORM=offscreen)
#include <QGuiApplication>
#include <QPixmap>

#include <cstdlib>
#include <iostream>

#include "icons/icons.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 16) {
        std::cerr << "Usage: make_icon SIZE OUTPUT.png\n";
        return 2;
    }
    if (!tivarel::RingsIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::cerr << "make_icon: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
