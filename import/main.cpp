// tivarel-import: converts a CCP4/MRC map (and optionally a model) into an MT1 map.
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "import/import_command.h"

int main(int argc, char* argv[]) {
    // Blocks up to 32 MB (the most the C library allows here) from the heap, which keeps
    // what is freed: the grids then take the memory the file's bytes had, its pages already
    // taken from the kernel, instead of new pages one fault at a time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    return tivarel::RunImport(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
