// The rig of the support layer's own tests (log, catalogue, INI reader), without a control.
#pragma once

#include "platform/clock.h"
#include "platform/ids.h"
#include "platform/screen.h"
#include "random_steps.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dalmure::test {

// Stopped until a test moves it; counts how often it is read.
class StoppedClock : public platform::Clock {
  public:
    platform::LocalTime t{2026, 3, 4, 14, 5, 9, 37};
    double seconds = 14 * 3600 + 5 * 60 + 9.37;
    mutable int calls = 0;
    platform::LocalTime now() const override {
        ++calls;
        return t;
    }
    double secondsSinceMidnight() const override { return seconds; }
};

class RecordingScreen : public platform::Screen {
  public:
    int pointer = 99;
    std::vector<int> history;
    void setMousePointer(int p) override {
        pointer = p;
        history.push_back(p);
    }
    int mousePointer() const override { return pointer; }
};

inline constexpr auto& slurp = readFile;

class SupportTest : public ::testing::Test {
  protected:
    // What the control gives the log.
    std::function<void()> pointerBack() {
        return [this] { screen_.setMousePointer(platform::kPointerDefault); };
    }

    TempAppFolder folder_;
    std::filesystem::path app_{folder_.native()};
    StoppedClock clock_;
    RecordingScreen screen_;
};

} // namespace dalmure::test
