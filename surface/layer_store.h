#pragma once
// Records of the three layers (triangles or contour segments) in one block that
// is allocated once for the whole run; a rebuild of a layer rewrites its records
// from 1 and sets its count, and records above the count are stale.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tivarel {

constexpr int kLayerCount = 3;

template <typename Record, int32_t Capacity>
class LayerStore {
public:
    static constexpr int32_t kCapacity = Capacity;

    LayerStore() : records_(static_cast<size_t>(kLayerCount) * Capacity) {}
    // Layer 1..3, record 1..count(layer).
    const Record& at(int layer, int32_t n) const { return records_[slot(layer, n)]; }
    Record& at(int layer, int32_t n) { return records_[slot(layer, n)]; }
    int32_t count(int layer) const { return counts_[static_cast<size_t>(layer - 1)]; }
    int32_t& count(int layer) { return counts_[static_cast<size_t>(layer - 1)]; }
    // The valid records 1..count(layer).
    std::span<const Record> layer(int layer) const {
        const int32_t n = count(layer);
        if (n <= 0) return {};
        return {&at(layer, 1), static_cast<size_t>(n)};
    }

private:
    static size_t slot(int layer, int32_t n) {
        return static_cast<size_t>(layer - 1) * Capacity + static_cast<size_t>(n - 1);
    }
    std::vector<Record> records_;
    std::array<int32_t, kLayerCount> counts_{};
};

}  // namespace tivarel
