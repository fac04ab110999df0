// One application for the whole run, started as the program starts, in a decimal-comma locale.
#include <stdlib.h>

#include "app/application.h"
#include "window_fixture.h"

int main(int argc, char** argv) {
    // QApplication takes the user's locale from the environment, LC_ALL before LC_NUMERIC.
    if (const char* all = getenv("LC_ALL"); all && *all) setenv("LANG", all, 1), unsetenv("LC_ALL");
    setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
    tivarel::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
