#include "import/viewer_limits.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "mapio/default_levels.h"
#include "surface/march_cubes.h"

namespace tivarel {

ValueSummary SummariseValues(const Conversion& conversion) {
    const GridValues& values = conversion.mt1.grid.values();
    ValueSummary s;
    if (values.empty()) return s;
    s.lowest = conversion.lowest;
    s.highest = conversion.highest;
    double sum = 0.0;
    for (float v : values) sum += v;
    s.mean = sum / double(values.size());
    double squares = 0.0;
    for (float v : values) squares += (v - s.mean) * (v - s.mean);
    s.rms = std::sqrt(squares / double(values.size()));
    return s;
}

int64_t BusiestLayer(const Conversion& conversion, const CaseTable& table) {
    const Mt1Contents& mt1 = conversion.mt1;
    GridParams g;
    g(1) = float(mt1.grid.nx());
    g(2) = float(mt1.grid.ny());
    g(3) = float(mt1.grid.nz());
    for (int a = 0; a < 3; ++a) {
        g(4 + a) = mt1.first[size_t(a)];
        g(7 + a) = mt1.step[size_t(a)];
    }
    g(10) = conversion.lowest;
    g(11) = conversion.highest;
    // The three levels side by side.
    const std::array<float, 3> levels = DefaultLevels(g.minValue(), DefaultUpperValue(g, false));
    std::array<int64_t, 3> counts{};
    {
        std::vector<std::jthread> others;
        for (size_t k = 1; k < 3; ++k)
            others.emplace_back([&, k] { counts[k] = CountTriangles(g, mt1.grid, levels[k], table); });
        counts[0] = CountTriangles(g, mt1.grid, levels[0], table);
    }
    return *std::max_element(counts.begin(), counts.end());
}

}  // namespace tivarel
