#include "host_platform.h"

#include <memory>
#include <optional>

namespace dalmure::host {

namespace {

// The in-memory platform, every call passed straight through.
class HeadlessHost final : public HostPlatform {
  public:
    explicit HeadlessHost(headless::HeadlessOptions options) : p_(std::move(options)) {}

    platform::Platform& platform() override { return p_; }
    void setHappeningSink(headless::HappeningSink* sink) override { p_.setHappeningSink(sink); }
    void setNow(const platform::LocalTime& now) override { p_.setNow(now); }
    bool buttonShown(platform::ButtonId id) const override { return p_.buttonShown(id); }

    void queueAnswer(const Str& text) override { p_.queueAnswer(text); }
    void queueCancel() override { p_.queueCancel(); }

    bool userClick(std::int32_t row, std::int32_t col) override { return p_.userClick(row, col); }
    bool userDblClick(std::int32_t row, std::int32_t col) override {
        return p_.userDblClick(row, col);
    }
    bool userRightClick(std::int32_t row, std::int32_t col,
                        std::optional<std::string> choose) override {
        return p_.userRightClick(row, col, std::move(choose));
    }
    void userKeyPress(std::int16_t ascii) override { p_.userKeyPress(ascii); }
    int userType(const Str& text) override { return p_.userType(text); }
    void userBlur() override { p_.userBlur(); }
    void userFocus() override { p_.userFocus(); }
    bool userButton(platform::ButtonId id) override { return p_.userButton(id); }
    bool userHover(const std::string& over) override { return p_.userHover(over); }
    bool userScroll(std::optional<std::int32_t> topRow) override { return p_.userScroll(topRow); }
    void userResize(std::int32_t width, std::int32_t height) override {
        p_.userResize(width, height);
    }
    void userAmbient(const Str& name) override { p_.userAmbient(name); }
    bool userFind() override { return p_.userFind(); }
    bool userFindKey(headless::FindKey key) override { return p_.userFindKey(key); }

    std::optional<std::int32_t> rowUnderEditor() override {
        platform::Grid& g = p_.grid();
        platform::TextBox& e = p_.editor();
        if (!e.visible() || !g.visible())
            return std::nullopt;
        // Editor and grid share the frame's coordinates; rows are measured from the first shown.
        const std::int64_t y = std::int64_t{e.top()} + e.height() / 2 - g.top();
        if (y < 0 || y >= g.height())
            return std::nullopt;
        for (std::int32_t r = g.topRow(); r < g.rows(); ++r) {
            const std::int64_t top = g.rowPos(r);
            if (top > y)
                break;
            if (y < top + g.rowHeight(r))
                return r;
        }
        return std::nullopt;
    }
    void settle() override {}

  private:
    headless::HeadlessPlatform p_;
};

} // namespace

#ifdef DALMURE_HOST_WITH_QT
// qt_platform_main.cpp
int runQtHost(const PlatformOptions& options, const std::function<int(HostPlatform&)>& session,
              std::string& error);
std::unique_ptr<HostPlatform> createQtHost(const PlatformOptions& options, std::string& error);
#endif

namespace {

std::unique_ptr<HostPlatform> createHeadlessHost(const PlatformOptions& options) {
    headless::HeadlessOptions h;
    h.now = options.now;
    h.htmlProgram = options.htmlProgram;
    // --print-pdf: the headless browser component only records the navigation.
    return std::make_unique<HeadlessHost>(std::move(h));
}

} // namespace

std::unique_ptr<HostPlatform> createHostPlatform(const PlatformOptions& options,
                                                 std::string& error) {
    if (options.name == "headless")
        return createHeadlessHost(options);
    if (options.name == "qt") {
#ifdef DALMURE_HOST_WITH_QT
        return createQtHost(options, error);
#else
        error = "the qt platform is not available in this build of dalmure-host";
        return nullptr;
#endif
    }
    error = "unknown platform \"" + options.name + "\" (expected headless or qt)";
    return nullptr;
}

int runOnPlatform(const PlatformOptions& options, const std::function<int(HostPlatform&)>& session,
                  std::string& error) {
    if (options.name == "headless") {
        auto host = createHeadlessHost(options);
        return session(*host);
    }
    if (options.name == "qt") {
#ifdef DALMURE_HOST_WITH_QT
        return runQtHost(options, session, error); // qt_platform_main.cpp
#else
        error = "the qt platform is not available in this build of dalmure-host";
        return 2;
#endif
    }
    error = "unknown platform \"" + options.name + "\" (expected headless or qt)";
    return 2;
}

} // namespace dalmure::host
