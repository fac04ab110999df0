#pragma once
// Map texts and timing shared by the benchmarks.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace tivarel::bench {

// The shortest of `runs` runs of `work`, in seconds.
inline double BestSeconds(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A FOU text of about 50 MB: a 190^3 grid of values with several digits each,
// eight to a line.
inline const std::string& FouText() {
    static const std::string text = [] {
        const int n = 190;
        std::string t = "bench map\r\nheading\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n0 0 0\r\ncell\r\n";
        t += "10 10 10 90 90 90\r\naxes\r\n0 .1 0 0\r\n0 .1 0 0\r\n0 .1 0 0\r\ncounts\r\n";
        t += std::to_string(n) + " " + std::to_string(n) + " " + std::to_string(n) + "\r\n";
        char buf[32];
        for (int z = 1; z <= n; ++z) {
            t += "Section " + std::to_string(z) + "\r\n" + std::to_string(z) + "\r\n";
            for (int x = 1; x <= n; ++x)
                for (int y = 1; y <= n; ++y) {
                    std::snprintf(buf, sizeof buf, "%.5g%s", std::sin(x * 0.1) * std::cos(y * 0.07) * z,
                                  y % 8 == 0 ? "\r\n" : " ");
                    t += buf;
                }
        }
        return t + "atoms\r\n0 14\r\n";
    }();
    return text;
}

}  // namespace tivarel::bench
