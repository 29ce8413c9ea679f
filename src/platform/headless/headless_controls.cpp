// The command buttons and the popup menu of the in-memory platform.
#include "platform/design.h"
#include "platform/headless/headless_components.h"

namespace dalmure::headless {

HeadlessButton::HeadlessButton(platform::ButtonId id)
    : Placed(
          {design::buttonLeft(id), design::kButtonTop, design::kButtonSize, design::kButtonSize}),
      toolTip_(design::buttonToolTip(id)), color_(design::kButtonColor) {}

HeadlessMenu::HeadlessMenu(Context& ctx) : ctx_(ctx) {
    for (platform::MenuItemId id : platform::kAllMenuItems) {
        setCaption(id, design::menuCaption(id));
    }
}

void HeadlessMenu::popup(bool /*rightButtonChooses*/) {
    ++popups_;
    // The user's choice, made when the menu opened on a right click; a separator, a disabled
    // or a hidden item cannot be chosen, and the menu closes with nothing chosen.
    std::optional<platform::MenuItemId> chosen = ctx_.pendingChoice;
    ctx_.pendingChoice.reset();
    if (chosen) {
        const Item& it = item(*chosen);
        const bool separator = *chosen == platform::MenuItemId::Separator1 ||
                               *chosen == platform::MenuItemId::Separator2;
        if (separator || !it.enabled || !it.visible) {
            chosen.reset();
        }
    }
    if (ctx_.happenings) {
        std::vector<MenuItemState> states;
        states.reserve(platform::kAllMenuItems.size());
        for (platform::MenuItemId id : platform::kAllMenuItems) {
            const Item& it = item(id);
            states.push_back(MenuItemState{id, it.caption, it.enabled, it.visible});
        }
        ctx_.happenings->menu(states, chosen);
    }
    if (chosen && ctx_.notifications) {
        ctx_.notifications->menuClick(*chosen);
    }
}

} // namespace dalmure::headless

namespace dalmure::headless {

void HeadlessFindBar::setVisible(bool v) {
    if (visible_ == v)
        return;
    visible_ = v;
    if (!v && focus_) {
        focus_ = false;
        if (focusLeaving_)
            focusLeaving_();
    }
}

void HeadlessFindBar::setFocus() {
    if (!visible_)
        return;
    if (beforeFocus)
        beforeFocus();
    focus_ = true;
    selected_ = true;
}

bool HeadlessFindBar::typeKey(char16_t c) {
    const Str before = text_;
    if (selected_) {
        selected_ = false;
        text_.clear();
        if (c == u'\b')
            return !before.empty();
    }
    if (c == u'\b') {
        if (!text_.empty())
            text_.pop_back();
    } else {
        text_ += c;
    }
    return text_ != before;
}

} // namespace dalmure::headless
