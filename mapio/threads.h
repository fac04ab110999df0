#pragma once
// Work shared out over threads: each share runs on a thread of its own, the first on
// the calling thread, and the call returns when all are done.
#include <algorithm>
#include <thread>
#include <vector>

namespace tivarel {

// `asked` threads when above 0, otherwise one per core.
inline int ThreadCountFor(int asked) {
    return asked > 0 ? asked : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Runs work(0) to work(shares - 1) side by side; `work` must not throw.
template <typename Work>
void RunShares(int shares, const Work& work) {
    std::vector<std::jthread> others;
    for (int share = 1; share < shares; ++share) others.emplace_back([&work, share] { work(share); });
    work(0);
}

}  // namespace tivarel
