// The rig every test program shares: a control on the headless platform at a fixed clock,
// recorders of host events and platform happenings, and a child process for what may hang.
#pragma once

#include "control/dalmure_p.h"
#include "dalmure_test_access.h"
#include "platform/headless/headless_platform.h"
#include "support/text.h"
#include "temp_folder.h"
#include <dalmure/events.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure {
namespace test {

// Runs fn in a child process and returns what it returned: the way to try something that may
// hang or that changes the process (mounts, umask). "TIMEOUT" when the child has not ended
// within `seconds` (it is then killed), "DIED <status>" when it ended without answering.
inline std::string inChild(const std::function<std::string()>& fn, int seconds = 30) {
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        ::close(out[0]);
        std::string answer;
        try {
            answer = fn();
        } catch (const std::exception& e) {
            answer = std::string("exception: ") + e.what();
        } catch (...) {
            answer = "exception";
        }
        std::FILE* pipe = ::fdopen(out[1], "w");
        std::fwrite(answer.data(), 1, answer.size(), pipe);
        std::fclose(pipe);
        ::_exit(0);
    }
    ::close(out[1]);
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timedOut = false;
    for (ssize_t n = 1; n > 0 && !timedOut;) {
        pollfd p{out[0], POLLIN, 0};
        char buf[4096];
        if (::poll(&p, 1, 100) > 0 && (n = ::read(out[0], buf, sizeof buf)) > 0)
            answer.append(buf, static_cast<std::size_t>(n));
        timedOut = n > 0 && std::chrono::steady_clock::now() >= deadline;
    }
    ::close(out[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        return "TIMEOUT";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "DIED " + std::to_string(status) + ": " + answer;
    return answer;
}

inline platform::LocalTime fixedNow() {
    return {2026, 3, 4, 14, 5, 9, 37};
}

// A session meant to die with its process (in a child), never destroyed as in a crash.
struct DoomedSession {
    headless::HeadlessPlatform& platform;
    DalmurePrivate& control;
};
inline DoomedSession startDoomedSession(const std::string& appFolder) {
    headless::HeadlessOptions options;
    options.now = fixedNow();
    auto* platform = new headless::HeadlessPlatform(options);
    auto* control = new DalmurePrivate(*platform, fromUtf8(appFolder));
    control->NoDossier = u"500-01-123456-241";
    control->AnnoAdd(u"10:00:00", u"Ouverture");
    return {*platform, *control};
}

// A control sized as dalmure-host sizes it, with no host: for benchmarks and fuzz targets.
struct Rig {
    explicit Rig(const std::string& folderPath) : folder(folderPath) {
        fs::create_directories(folder);
        headless::HeadlessOptions options;
        options.now = fixedNow();
        platform = std::make_unique<headless::HeadlessPlatform>(options);
        control = std::make_unique<DalmurePrivate>(*platform, fromUtf8(folder));
        platform->userResize(9600, 7200);
    }
    explicit Rig(const TempAppFolder& app) : Rig(app.native()) {}
    std::string folder;
    std::unique_ptr<headless::HeadlessPlatform> platform;
    std::unique_ptr<DalmurePrivate> control;
};

// The host events raised, in order; the handlers act as the host would.
class RecordingEvents : public DalmureEvents {
  public:
    std::vector<std::string> names; // "AnnoModified(0)"
    std::function<void(std::int16_t&)> onDeleteRequest;
    std::function<void(std::int16_t)> onModified;
    std::function<void(std::int16_t&, Str&, Str&, bool&)> onModifiedDesc;
    std::function<void(Str&, Str&)> onAdded;
    std::function<void()> onDblClick;

    void AnnoDeleteRequest(std::int16_t& AnnoIndex) override {
        raise("AnnoDeleteRequest(" + std::to_string(AnnoIndex) + ")", onDeleteRequest, AnnoIndex);
    }
    void AnnoModified(std::int16_t AnnoIndex) override {
        raise("AnnoModified(" + std::to_string(AnnoIndex) + ")", onModified, AnnoIndex);
    }
    void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                          bool& Cancel) override {
        raise("AnnoModifiedDesc(" + std::to_string(AnnoIndex) + "," + s(OldDesc) + "," +
                  s(NewDesc) + ")",
              onModifiedDesc, AnnoIndex, OldDesc, NewDesc, Cancel);
    }
    void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) override {
        raise("AnnoAdded(" + s(AnnoTime) + "," + s(AnnoDesc) + ")", onAdded, AnnoTime, AnnoDesc);
    }
    void DblClick() override { raise("DblClick()", onDblClick); }
    void AnnoRecovered(std::int16_t AnnoIndex) override {
        names.push_back("AnnoRecovered(" + std::to_string(AnnoIndex) + ")");
    }
    void ToolTipChanged(Str& ToolTipText) override {
        names.push_back("ToolTipChanged(" + s(ToolTipText) + ")");
    }

  private:
    // Noted before the handler runs: what it raises comes after.
    template <class Handler, class... Args>
    void raise(std::string call, Handler& handler, Args&... args) {
        names.push_back(std::move(call));
        if (handler)
            handler(args...);
    }
};

// The platform's happenings as short texts ("launch <program> <params>", "navigate <path>",
// "printsize <n>", "pointer busy", "menu", "prompt(<answer>)", "msgbox"); the dialogs also go to
// dialogLog when set, to be checked in order with the host events.
class RecordingHappenings : public headless::HappeningSink {
  public:
    std::vector<std::string> seen;
    std::vector<std::string>* dialogLog = nullptr;
    struct Prompt {
        std::string title, message, defaultText;
    };
    std::vector<Prompt> prompts;
    std::vector<std::string> messages; // "<title>: <message>"

    void prompt(const Str& title, const Str& message, const Str& defaultText,
                const Str& answer) override {
        prompts.push_back({s(title), s(message), s(defaultText)});
        note("prompt(" + s(answer) + ")", true);
    }
    void messageBox(const Str& title, const Str& message) override {
        messages.push_back(s(title) + ": " + s(message));
        note("msgbox", true);
    }
    void menu(const std::vector<headless::MenuItemState>&,
              std::optional<platform::MenuItemId>) override {
        note("menu", false);
    }
    void launch(const Str& program, const Str& params) override {
        note("launch " + s(program) + " " + s(params), false);
    }
    void navigate(const Str& path) override { note("navigate " + s(path), false); }
    void printSize(std::int16_t size) override { note("printsize " + std::to_string(size), false); }
    void pointer(int p) override {
        note(p == platform::kPointerBusy ? "pointer busy" : "pointer " + std::to_string(p), false);
    }
    std::vector<std::string> only(const std::string& prefix) const {
        std::vector<std::string> out;
        std::copy_if(seen.begin(), seen.end(), std::back_inserter(out),
                     [&](const std::string& e) { return e.starts_with(prefix); });
        return out;
    }

  private:
    void note(std::string text, bool dialog) {
        if (dialog && dialogLog)
            dialogLog->push_back(text);
        seen.push_back(std::move(text));
    }
};

// A control in a temporary application folder: prepare the folder first, then start().
class ControlHarness {
  public:
    explicit ControlHarness(std::optional<platform::LocalTime> now = fixedNow()) {
        headless::HeadlessOptions options;
        options.now = now;
        platform = std::make_unique<headless::HeadlessPlatform>(options);
    }

    DalmurePrivate& start() {
        control = std::make_unique<DalmurePrivate>(*platform, app.path());
        control->setEventSink(&events);
        return *control;
    }
    // Start-up, then the container's sizing.
    DalmurePrivate& startSized(std::int32_t width = 9600, std::int32_t height = 7200) {
        start();
        platform->userResize(width, height);
        return *control;
    }

    DalmurePrivate& c() { return *control; }
    platform::Grid& grid() { return platform->grid(); }
    platform::TextBox& editor() { return platform->editor(); }
    platform::CommandButton& button(platform::ButtonId id) { return platform->button(id); }

    // (time, description) pairs through the host API, in order.
    void add(const std::vector<std::pair<std::string, std::string>>& items) {
        for (const auto& [time, desc] : items)
            control->AnnoAdd(u(time), u(desc));
    }
    void add(Str time, Str desc, Str data) { control->AnnoAdd(time, desc, data); }
    // The main rows' time texts, top to bottom.
    std::vector<std::string> times() {
        std::vector<std::string> out;
        for (std::int32_t r = 0; r + 1 < grid().rows(); r += 2)
            out.push_back(s(grid().textMatrix(r, 0)));
        return out;
    }
    std::string cell(std::int32_t row, std::int32_t col) { return s(grid().textMatrix(row, col)); }

    TempAppFolder app;
    std::unique_ptr<headless::HeadlessPlatform> platform;
    RecordingEvents events;
    std::unique_ptr<DalmurePrivate> control;
};

} // namespace test
} // namespace dalmure
