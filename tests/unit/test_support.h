// The unit tests' GoogleTest fixture over the shared harness (tests/support/harness.h).
#pragma once

#include "harness.h"
#include "random_steps.h"

#include <gtest/gtest.h>

namespace dalmure::test {

// The log as "<label> <number> <description>" lines: a whole log checked in one comparison.
inline std::string logged(const TempAppFolder& app) {
    std::string out;
    for (const LogEntry& e : app.logEntries())
        out += e.label + " " + e.number + " " + e.description + "\n";
    return out;
}

// GoogleTest fixture over a harness: `h` is ready, the control not yet started.
class ControlTest : public ::testing::Test {
  protected:
    ControlHarness h;
    DalmurePrivate& start() { return h.start(); }
    DalmurePrivate& startSized(std::int32_t width = 9600, std::int32_t height = 7200) {
        return h.startSized(width, height);
    }
};

} // namespace dalmure::test
