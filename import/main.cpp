// tivarel-import: converts a CCP4/MRC map (and optionally a model) into an MT1 map.
#include <iostream>
#include <string>
#include <vector>

#include "import/import_command.h"

int main(int argc, char* argv[]) {
    return tivarel::RunImport(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
