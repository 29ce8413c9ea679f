// The command buttons and the popup menu of the in-memory platform.
#include "control/design.h"
#include "platform/headless/headless_components.h"

namespace dalmure::headless {

HeadlessButton::HeadlessButton(platform::ButtonId id)
    : place_{design::buttonLeft(id), design::kButtonTop, design::kButtonSize, design::kButtonSize},
      toolTip_(design::buttonToolTip(id)), color_(design::kButtonColor) {}

HeadlessMenu::HeadlessMenu(Context& ctx) : ctx_(ctx) {
    for (platform::MenuItemId id : platform::kAllMenuItems) {
        items_[static_cast<std::size_t>(id)].caption = design::menuCaption(id);
    }
}

Str HeadlessMenu::caption(platform::MenuItemId item) const {
    return items_[static_cast<std::size_t>(item)].caption;
}
void HeadlessMenu::setCaption(platform::MenuItemId item, const Str& caption) {
    items_[static_cast<std::size_t>(item)].caption = caption;
}
bool HeadlessMenu::enabled(platform::MenuItemId item) const {
    return items_[static_cast<std::size_t>(item)].enabled;
}
void HeadlessMenu::setEnabled(platform::MenuItemId item, bool v) {
    items_[static_cast<std::size_t>(item)].enabled = v;
}
bool HeadlessMenu::visible(platform::MenuItemId item) const {
    return items_[static_cast<std::size_t>(item)].visible;
}
void HeadlessMenu::setVisible(platform::MenuItemId item, bool v) {
    items_[static_cast<std::size_t>(item)].visible = v;
}

void HeadlessMenu::popup(bool /*rightButtonChooses*/) {
    ++popups_;
    // The user's choice, made when the menu opened on a right click; a separator, a disabled
    // or a hidden item cannot be chosen, and the menu closes with nothing chosen.
    std::optional<platform::MenuItemId> chosen = ctx_.pendingChoice;
    ctx_.pendingChoice.reset();
    if (chosen) {
        const Item& it = items_[static_cast<std::size_t>(*chosen)];
        const bool separator =
            *chosen == platform::MenuItemId::Separator1 || *chosen == platform::MenuItemId::Separator2;
        if (separator || !it.enabled || !it.visible) {
            chosen.reset();
        }
    }
    if (ctx_.happenings) {
        std::vector<MenuItemState> states;
        states.reserve(items_.size());
        for (platform::MenuItemId id : platform::kAllMenuItems) {
            const Item& it = items_[static_cast<std::size_t>(id)];
            states.push_back(MenuItemState{id, it.caption, it.enabled, it.visible});
        }
        ctx_.happenings->menu(states, chosen);
    }
    if (chosen && ctx_.notifications) {
        ctx_.notifications->menuClick(*chosen);
    }
}

} // namespace dalmure::headless
