// The in-memory components behind HeadlessPlatform. Internal to the headless platform: the
// control reaches them only through the platform interfaces.
#pragma once

#include "platform/grid_model.h"
#include "platform/headless/headless_platform.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace dalmure::headless {

// What every component shares: where notifications and happenings go, and the right-click
// choice waiting for the popup menu.
struct Context {
    platform::Notifications* notifications = nullptr;
    HappeningSink* happenings = nullptr;
    std::optional<platform::MenuItemId> pendingChoice;
    std::function<void()> pendingEvents;
};

// Text metrics of the in-memory platform: each character 10 x S twips wide, each line 25 x S
// high for a font of S points. A line ends at CR LF, CR or LF; an empty text is one line.
double measureWidth(StrView text, double points);
double measureHeight(StrView text, double points);

// VB's run-time error 380.
[[noreturn]] void invalidPropertyValue();

// ---------------------------------------------------------------------------------------------
// The annotation grid: the grid's own store and rules, with nothing drawn.
using HeadlessGrid = platform::GridModel;

// ---------------------------------------------------------------------------------------------
class HeadlessFrame final : public platform::Placed<platform::Frame> {
  public:
    HeadlessFrame(platform::Placement placement, bool visible)
        : Placed(placement), visible_(visible) {}
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }

  private:
    void placementChanged() override {}
    bool visible_;
};

class HeadlessSurface final : public platform::ControlSurface {
  public:
    explicit HeadlessSurface(Context& ctx);
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override { width_ = v; }
    std::int32_t height() const override { return height_; }
    void setHeight(std::int32_t v) override { height_ = v; }
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override { backColor_ = color; }
    double fontSize() const override { return fontSize_; }
    void setFontSize(double points) override { fontSize_ = points; }
    double textWidth(StrView text) const override { return measureWidth(text, fontSize_); }
    double textHeight(StrView text) const override { return measureHeight(text, fontSize_); }
    void propertyChanged(const Str& name) override { changed_.push_back(name); }
    void yieldToPendingEvents() override;

    const std::vector<Str>& propertiesChanged() const { return changed_; }

  private:
    Context& ctx_;
    std::int32_t width_, height_, backColor_;
    double fontSize_;
    std::vector<Str> changed_;
};

// ---------------------------------------------------------------------------------------------
class HeadlessButton final : public platform::Placed<platform::CommandButton> {
  public:
    explicit HeadlessButton(platform::ButtonId id);
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }
    Str toolTipText() const override { return toolTip_; }
    void setToolTipText(const Str& text) override { toolTip_ = text; }
    std::int32_t buttonColor() const override { return color_; }
    void setButtonColor(std::int32_t color) override { color_ = color; }

  private:
    void placementChanged() override {}
    bool visible_ = true;
    Str toolTip_;
    std::int32_t color_;
};

class HeadlessMenu final : public platform::MenuItems {
  public:
    explicit HeadlessMenu(Context& ctx);
    void popup(bool rightButtonChooses) override;

    int popups() const { return popups_; }

  private:
    void itemChanged(platform::MenuItemId /*id*/) override {}
    Context& ctx_;
    int popups_ = 0;
};

// ---------------------------------------------------------------------------------------------
class HeadlessDialogs final : public platform::Dialogs {
  public:
    explicit HeadlessDialogs(Context& ctx) : ctx_(ctx) {}
    Str inputBox(const Str& message, const Str& title, const Str& defaultText) override;
    void messageBox(const Str& message, const Str& title) override;

    void queue(std::optional<Str> answer) { answers_.push_back(std::move(answer)); }
    std::size_t queued() const { return answers_.size(); }

  private:
    Context& ctx_;
    std::deque<std::optional<Str>> answers_; // nullopt: cancel
};

class HeadlessBrowser final : public platform::BrowserComponent {
  public:
    explicit HeadlessBrowser(Context& ctx);
    void navigate(const Str& path) override;
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override { width_ = v; }

  private:
    Context& ctx_;
    std::int32_t width_;
};

class HeadlessShell final : public platform::Shell {
  public:
    HeadlessShell(Context& ctx, std::optional<Str> htmlProgram)
        : ctx_(ctx), htmlProgram_(std::move(htmlProgram)) {}
    int findExecutable(const Str& file, const Str& directory, Str& programBuffer) override;
    int shellExecute(const Str& operation, const Str& program, const std::vector<Str>& arguments,
                     const Str& directory, int showMode) override;

  private:
    Context& ctx_;
    std::optional<Str> htmlProgram_;
};

class HeadlessScreen final : public platform::Screen {
  public:
    explicit HeadlessScreen(Context& ctx) : ctx_(ctx) {}
    void setMousePointer(int pointer) override;
    int mousePointer() const override { return pointer_; }

  private:
    Context& ctx_;
    int pointer_ = platform::kPointerDefault;
};

// ---------------------------------------------------------------------------------------------
// The find bar: its text, count and focus, nothing drawn. It is one line of the surface's font
// high.
class HeadlessFindBar final : public platform::FindBar {
  public:
    static constexpr std::int32_t kHeight = 360;
    // focusLeaving runs when the bar gives the focus up by being hidden.
    explicit HeadlessFindBar(std::function<void()> focusLeaving)
        : focusLeaving_(std::move(focusLeaving)) {}
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;
    Str text() const override { return text_; }
    void setText(const Str& text) override { text_ = text; }
    Str count() const override { return count_; }
    void setCount(const Str& text) override { count_ = text; }
    void setCaptions(const Str& closeToolTip, const Str& placeholder) override {
        closeToolTip_ = closeToolTip;
        placeholder_ = placeholder;
    }
    void setFocus() override;
    // The editor taking the focus takes it from the bar.
    bool hasFocus() const override {
        if (focus_ && editorFocused && editorFocused())
            focus_ = false;
        return visible_ && focus_;
    }
    std::int32_t height() const override { return kHeight; }
    void setPlacement(std::int32_t left, std::int32_t top, std::int32_t width) override {
        place_ = {left, top, width, kHeight};
    }

    // The user: the focus went elsewhere; a character typed into the line (Backspace removes
    // the last one). Taking the focus selects the whole line, which the next key replaces (or,
    // Backspace, clears). False: the text did not change.
    void blur() { focus_ = false; }
    bool typeKey(char16_t c);
    const platform::Placement& placement() const { return place_; }
    const Str& closeToolTip() const { return closeToolTip_; }

    std::function<void()> beforeFocus; // the editor lets the focus go
    std::function<bool()> editorFocused;

  private:
    std::function<void()> focusLeaving_;
    bool visible_ = false;
    mutable bool focus_ = false;
    bool selected_ = false;
    Str text_, count_, closeToolTip_, placeholder_;
    platform::Placement place_;
};

} // namespace dalmure::headless
