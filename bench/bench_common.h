#pragma once

// Small pieces the benchmarks share.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx::bench {

// Runs both measurements of a round, the order alternating from round to round so that a busy
// spell of the machine falls on both alike.
template <class A, class B> void InTurn(int round, const A& a, const B& b) {
    if (round % 2 == 0) {
        a();
        b();
    } else {
        b();
        a();
    }
}

// "10000,100000" as sorted positive numbers; empty when any entry is not one.
inline std::vector<std::int64_t> ParseSizes(std::string_view text) {
    std::vector<std::int64_t> sizes;
    std::string list(text);
    for (char* token = std::strtok(list.data(), ","); token != nullptr; token = std::strtok(nullptr, ",")) {
        const long long value = std::atoll(token);
        if (value <= 0) {
            return {};
        }
        sizes.push_back(value);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

// The smallest of the figures: the run least disturbed by the rest of the machine.
inline double BestOf(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

inline double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace mwdx::bench
