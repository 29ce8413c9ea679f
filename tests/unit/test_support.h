// The unit tests' GoogleTest fixture over the shared harness (tests/support/harness.h).
#pragma once

#include "harness.h"
#include "random_steps.h"

#include <gtest/gtest.h>

namespace dalmure {
namespace test {

// GoogleTest fixture over a harness: `h` is ready, the control not yet started.
class ControlTest : public ::testing::Test {
  protected:
    ControlHarness h;
    DalmurePrivate& start() { return h.start(); }
    DalmurePrivate& startSized(std::int32_t width = 9600, std::int32_t height = 7200) {
        return h.startSized(width, height);
    }
};

} // namespace test
} // namespace dalmure
