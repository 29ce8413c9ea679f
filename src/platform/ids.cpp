#include "platform/ids.h"

namespace dalmure::platform {

namespace {
constexpr std::array<std::string_view, 7> kButtonNames{"CWButton1", "CWButton2",    "CWButton3",
                                                      "CWButton4", "CWButton5",    "CWButton6(0)",
                                                      "CWButton6(1)"};
constexpr std::array<std::string_view, 7> kMenuNames{
    "mnuPopupJouer", "mnuPopupRenommer", "mnuPopupSupprimer", "s1",
    "mnuPopupImprimer", "s2", "mnuPopupDalmure"};
// The id whose name is `name`, from a table of names in the order of the ids.
template <class Id, std::size_t N>
bool idFromName(const std::array<std::string_view, N>& names, std::string_view name, Id& out) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) {
            out = static_cast<Id>(i);
            return true;
        }
    }
    return false;
}

} // namespace

std::string_view buttonName(ButtonId id) { return kButtonNames[static_cast<std::size_t>(id)]; }

bool buttonFromName(std::string_view name, ButtonId& out) {
    return idFromName(kButtonNames, name, out);
}

std::string_view menuItemName(MenuItemId id) { return kMenuNames[static_cast<std::size_t>(id)]; }

bool menuItemFromName(std::string_view name, MenuItemId& out) {
    return idFromName(kMenuNames, name, out);
}

} // namespace dalmure::platform
