// Small pieces the process helpers share: argument vectors and poll timeouts from deadlines.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace talpir::test {

// Milliseconds left until deadline for poll(), never negative.
inline int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// A null-terminated vector of pointers into strings, as exec and posix_spawn take them; the
// strings must outlive it.
inline std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace talpir::test
