// A randomized test's steps, scaled by DALMURE_TEST_STEPS (a percentage: 25 under the
// sanitizers, 1000 to hunt longer); never below one.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace dalmure::test {

inline int randomSteps(int usual) {
    const char* scale = std::getenv("DALMURE_TEST_STEPS");
    const long percent = scale && *scale ? std::strtol(scale, nullptr, 10) : 100;
    return static_cast<int>(std::max(1L, usual * std::max(0L, percent) / 100));
}

} // namespace dalmure::test
