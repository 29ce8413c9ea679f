#include "platform/ids.h"

namespace dalmure::platform {

namespace {
constexpr std::array<std::string_view, 7> kButtonNames{"CWButton1", "CWButton2",    "CWButton3",
                                                      "CWButton4", "CWButton5",    "CWButton6(0)",
                                                      "CWButton6(1)"};
constexpr std::array<std::string_view, 7> kMenuNames{
    "mnuPopupJouer", "mnuPopupRenommer", "mnuPopupSupprimer", "s1",
    "mnuPopupImprimer", "s2", "mnuPopupDalmure"};
} // namespace

std::string_view buttonName(ButtonId id) { return kButtonNames[static_cast<std::size_t>(id)]; }

bool buttonFromName(std::string_view name, ButtonId& out) {
    for (std::size_t i = 0; i < kButtonNames.size(); ++i) {
        if (kButtonNames[i] == name) {
            out = kAllButtons[i];
            return true;
        }
    }
    return false;
}

std::string_view menuItemName(MenuItemId id) { return kMenuNames[static_cast<std::size_t>(id)]; }

bool menuItemFromName(std::string_view name, MenuItemId& out) {
    for (std::size_t i = 0; i < kMenuNames.size(); ++i) {
        if (kMenuNames[i] == name) {
            out = kAllMenuItems[i];
            return true;
        }
    }
    return false;
}

} // namespace dalmure::platform
