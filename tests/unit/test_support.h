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

// A started control in a fresh folder (or `folder`) with `annotations`, its HTML program
// recorded only, its happenings recorded.
struct Clerk {
    ControlHarness h;
    RecordingHappenings rec;

    explicit Clerk(int annotations = 2, const std::string& folder = "",
                   const std::string& program = "/bin/true") {
        headless::HeadlessOptions options;
        options.now = fixedNow();
        options.htmlProgram = u(program);
        h.platform = std::make_unique<headless::HeadlessPlatform>(options);
        if (folder.empty())
            h.start();
        else
            h.control = std::make_unique<DalmurePrivate>(*h.platform, u(folder));
        h.platform->setHappeningSink(&rec);
        for (int i = 0; i < annotations; ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "09:%02d:%02d", i / 60 % 60, i % 60);
            h.add(u(time), u("T\xC3\xA9moin " + std::to_string(i)), u("Note de la greffe"));
        }
    }
    void view() { DalmureTestAccess::buttonClick(h.c(), platform::ButtonId::View); }
    void print() { DalmureTestAccess::buttonClick(h.c(), platform::ButtonId::Print); }
    void log(const std::string& text) { h.c().writeLogLine(0, u(text), u("errDalmure_Test")); }
    std::string file(const std::string& name) const { return h.app.file(name); }
    std::string page() const { return h.app.readBytes("pvData.html"); }
    std::size_t launches() const { return rec.only("launch").size(); }
    std::size_t loads() const { return rec.only("navigate").size(); }
};

// Runs work(0) .. work(n - 1) in n child processes at once, calling `meanwhile` (when given)
// until they have all ended; true when each child's work returned true.
inline bool inChildren(int n, const std::function<bool(int)>& work,
                       const std::function<void()>& meanwhile = {}) {
    std::vector<pid_t> running;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(work(i) ? 0 : 1);
        if (pid > 0)
            running.push_back(pid);
    }
    bool ok = running.size() == static_cast<std::size_t>(n);
    while (!running.empty()) {
        if (meanwhile)
            meanwhile();
        std::erase_if(running, [&](pid_t pid) {
            int status = 0;
            if (::waitpid(pid, &status, meanwhile ? WNOHANG : 0) != pid)
                return false;
            ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            return true;
        });
    }
    return ok;
}

} // namespace dalmure::test
