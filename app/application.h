#pragma once
// The program's QApplication: its name, and numbers written with a decimal point
// whatever the user's locale.
#include <QApplication>

namespace tivarel {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
};

}  // namespace tivarel
