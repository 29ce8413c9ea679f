// The platform a dalmure-host session drives: the control's components plus the means to play
// the user, fix the clock and answer dialogs. The headless platform provides all of it; another
// platform plugs in through runOnPlatform (host_platform.cpp).
#pragma once

#include "platform/headless/headless_platform.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dalmure::host {

struct PlatformOptions {
    std::string name = "headless"; // "headless" or "qt"
    std::optional<platform::LocalTime> now;
    std::optional<Str> htmlProgram;
    std::optional<std::string> printPdf;
};

class HostPlatform {
  public:
    virtual ~HostPlatform() = default;

    virtual platform::Platform& platform() = 0;
    virtual void setHappeningSink(headless::HappeningSink* sink) = 0;
    virtual void setNow(const platform::LocalTime& now) = 0;
    virtual bool buttonShown(platform::ButtonId id) const = 0;

    virtual void queueAnswer(const Str& text) = 0;
    virtual void queueCancel() = 0;

    // The user, as the host protocol orders each action; false: refused, nothing changed.
    virtual bool userClick(std::int32_t row, std::int32_t col) = 0;
    virtual bool userDblClick(std::int32_t row, std::int32_t col) = 0;
    virtual bool userRightClick(std::int32_t row, std::int32_t col,
                                std::optional<std::string> choose) = 0;
    virtual void userKeyPress(std::int16_t ascii) = 0;
    virtual int userType(const Str& text) = 0;
    virtual void userBlur() = 0;
    virtual void userFocus() = 0;
    virtual bool userButton(platform::ButtonId id) = 0;
    virtual bool userHover(const std::string& over) = 0;
    virtual bool userScroll(std::optional<std::int32_t> topRow) = 0;
    virtual void userResize(std::int32_t width, std::int32_t height) = 0;
    virtual void userAmbient(const Str& name) = 0;
    // Ctrl+F in the list or the notes (false: neither has the keyboard), and the find bar's keys:
    // Enter and Esc in its line, F3 and Shift+F3 wherever Ctrl+F works while the bar is shown, a
    // click on its close button (false: the key reaches no one).
    virtual bool userFind() = 0;
    virtual bool userFindKey(headless::FindKey key) = 0;

    // --- What the user sees, for tests ---
    // The grid row drawn under the middle of the editor; nullopt while the editor or the grid
    // is not shown, or the editor lies over no row.
    virtual std::optional<std::int32_t> rowUnderEditor() = 0;
    // Lets the platform finish what it does on its own (a page loading or printing).
    virtual void settle() = 0;
};

// Creates the platform named in options. A toolkit platform needs its application object to
// exist already (the Qt platform: a QApplication). Returns null, with the reason in error, when
// the platform cannot be created.
std::unique_ptr<HostPlatform> createHostPlatform(const PlatformOptions& options,
                                                 std::string& error);

// Creates the platform named in options and runs session on it (for a toolkit platform, inside
// its event loop). Returns the session's exit code; on a platform that cannot be created, writes
// the reason into error and returns 2 without running the session.
int runOnPlatform(const PlatformOptions& options, const std::function<int(HostPlatform&)>& session,
                  std::string& error);

} // namespace dalmure::host
