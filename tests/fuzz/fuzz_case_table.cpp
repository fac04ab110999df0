// The marching-cubes case table: any text either loads into tables that the extraction
// can use on any grid without leaving its store, or stops (with or without a message).
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    const std::string_view input = fuzz::Bytes(data, size);
    try {
        const CaseTable table = ParseCellTable(input, "fuzz/cell_table.dat");
        // A 6 x 5 x 4 grid of the input's bytes reaches many cases.
        DensityGrid grid;
        grid.resize(6, 5, 4);
        GridParams g;
        g(1) = 6;
        g(2) = 5;
        g(3) = 4;
        g(7) = g(8) = g(9) = 1.0f;
        for (int z = 1; z <= 4; ++z)
            for (int y = 1; y <= 5; ++y)
                for (int x = 1; x <= 6; ++x) {
                    const size_t i = static_cast<size_t>((z - 1) * 30 + (y - 1) * 6 + (x - 1));
                    grid(x, y, z) = static_cast<float>(fuzz::TailByte(input, i) % 4);
                }
        auto& store = fuzz::SharedStores().triangles;
        MarchLayer(g, grid, 1.5f, 3, store, table, nullptr);
        if (store.count(3) > 3 * 4 * 5 * 10) std::abort();   // more than ten triangles a cube
    } catch (const ProgramStop&) {
    }
    return 0;
}
