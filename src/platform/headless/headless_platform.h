// The in-memory platform: deterministic widgets, fixed text metrics, dialogs answered from a
// queue, a shell and printer that record what they receive. Used by most tests and by
// dalmure-host. The user's actions are simulated here, in the order a real desktop delivers them.
#pragma once

#include "platform/platform.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dalmure::headless {

// What happened outside the control's own state, reported as it happens.
struct MenuItemState {
    platform::MenuItemId id;
    Str caption;
    bool enabled;
    bool visible;
};
class HappeningSink {
  public:
    virtual ~HappeningSink() = default;
    virtual void prompt(const Str& title, const Str& message, const Str& defaultText,
                        const Str& answer) = 0;
    virtual void messageBox(const Str& title, const Str& message) = 0;
    virtual void menu(const std::vector<MenuItemState>& items,
                      std::optional<platform::MenuItemId> chosen) = 0;
    virtual void launch(const Str& program, const Str& parameters) = 0;
    virtual void navigate(const Str& path) = 0;
    virtual void printSize(std::int16_t size) = 0;
    virtual void pointer(int pointer) = 0;
};

// The print size, kept and reported as it is set. The Qt platform keeps it here too: its browser
// component reads it back when it prints.
class HeadlessPrinter final : public platform::Printer {
  public:
    // happenings: the platform's sink, read at each change.
    explicit HeadlessPrinter(HappeningSink* const& happenings) : happenings_(happenings) {}
    void setPrintSize(std::int16_t size) override;
    std::int16_t printSize() const override { return size_; }

  private:
    HappeningSink* const& happenings_;
    std::int16_t size_ = 0;
};

// The local clock, or a fixed time (tests, recorded sessions); the Qt platform's clock too.
class HeadlessClock final : public platform::Clock {
  public:
    explicit HeadlessClock(std::optional<platform::LocalTime> fixed) : fixed_(fixed) {}
    platform::LocalTime now() const override;
    double secondsSinceMidnight() const override;
    void fix(const platform::LocalTime& t) { fixed_ = t; }

  private:
    std::optional<platform::LocalTime> fixed_;
};

enum class FindKey { Enter, F3, ShiftF3, Escape, Close };

struct HeadlessOptions {
    // Fixed local clock; nullopt: the real clock runs.
    std::optional<platform::LocalTime> now;
    // Program associated with .html files; nullopt or empty: none is associated.
    std::optional<Str> htmlProgram;
};

class HeadlessPlatform : public platform::Platform {
  public:
    explicit HeadlessPlatform(HeadlessOptions options = {});
    ~HeadlessPlatform() override;

    void setNotifications(platform::Notifications* sink) override;

    // --- Observing ---
    void setHappeningSink(HappeningSink* sink);
    // Fixes the clock from now on.
    void setNow(const platform::LocalTime& now);
    // A button is shown when it and the frame holding it are shown.
    bool buttonShown(platform::ButtonId id) const;
    // Runs whenever the control lets pending user-interface events run (the surface's
    // yieldToPendingEvents): lets a test act in the middle of a long operation.
    void setPendingEventsHook(std::function<void()> hook);
    // Names the control passed to the surface's propertyChanged, oldest first.
    const std::vector<Str>& propertiesChanged() const;
    // How many times the popup menu opened.
    int menuPopups() const;

    // --- Dialog answers, first in first out; a prompt with none queued is cancelled ("") ---
    void queueAnswer(const Str& text);
    void queueCancel();

    // --- The user (see the host protocol for the order of each) ---
    // Each returns false, changing nothing, when the platform refuses the action (a row beyond
    // the last, a hidden button, a scroll to a row that does not exist, nothing typed).
    bool userClick(std::int32_t row, std::int32_t col);
    bool userDblClick(std::int32_t row, std::int32_t col);
    bool userRightClick(std::int32_t row, std::int32_t col, std::optional<std::string> choose);
    void userKeyPress(std::int16_t ascii);
    // A key without a character goes down on the grid (which takes the focus first).
    void userKeyDown(std::int16_t keyCode, int shift = 0);
    // The menu key, where the focus is; choose as for userRightClick.
    bool userMenuKey(std::optional<std::string> choose);
    // Types into the editor; returns the number of characters delivered (0: none could be).
    int userType(const Str& text);
    void userBlur();
    void userFocus();
    bool userButton(platform::ButtonId id);
    // over: a button name, "grid" or "surface".
    bool userHover(const std::string& over);
    bool userScroll(std::optional<std::int32_t> topRow);
    void userResize(std::int32_t width, std::int32_t height);
    void userAmbient(const Str& name);
    // Ctrl+F, taken while the grid, the notes or the find bar has the focus; false otherwise.
    // userType types into the bar while it has the focus.
    bool userFind();
    // A key of the find bar: Enter and Esc in the bar, F3 and Shift+F3 in the bar, the grid or
    // the notes while the bar is shown, Close its close button. False when refused.
    bool userFindKey(FindKey key);
    bool findBarShown() const;
    bool findBarFocused() const;
    Str findBarCount() const;

  private:
    void clickCell(std::int32_t row, std::int32_t col);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace dalmure::headless
