#pragma once
// What the viewer will make of a converted map: the levels it opens with, the triangles
// those need, and the values' mean and spread for choosing levels of one's own.
#include <cstdint>

#include "import/convert.h"
#include "surface/cell_table.h"

namespace tivarel {

struct ValueSummary {
    float lowest = 0.0f, highest = 0.0f;
    double mean = 0.0, rms = 0.0;   // rms: the root mean square deviation from the mean
};

// The extremes come from the conversion, which found them while resampling.
ValueSummary SummariseValues(const Conversion& conversion);

// Triangles of the busiest of the three layers at the levels the viewer opens the map
// with, by the viewer's own marching cubes.
int64_t BusiestLayer(const Conversion& conversion, const CaseTable& table);

}  // namespace tivarel
