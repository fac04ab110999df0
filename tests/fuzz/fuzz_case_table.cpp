// The marching-cubes case table: any text either loads into tables that the extraction
// can use on any grid without leaving its store, or stops (with or without a message).
#include <cstdlib>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    const std::string_view input = fuzz::Bytes(data, size);
    try {
        const CaseTable table = ParseCellTable(input, "fuzz/cell_table.dat");
        DensityGrid grid;   // 6 x 5 x 4 values from the input's last bytes reach many cases
        grid.resize(6, 5, 4);
        const GridParams g{{6, 5, 4, 0, 0, 0, 1, 1, 1}};
        for (size_t i = 0; i < 120; ++i) grid(int(i % 6) + 1, int(i / 6 % 5) + 1, int(i / 30) + 1) = fuzz::TailByte(input, i) % 4;
        auto& store = fuzz::Once().triangles;
        MarchLayer(g, grid, 1.5f, 3, store, table, nullptr);
        if (store.count(3) > 3 * 4 * 5 * 10) std::abort();   // more than ten triangles a cube
    } catch (const InputError&) {
    }
    return 0;
}
