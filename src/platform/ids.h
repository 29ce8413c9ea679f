// Names of the control's child components.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace dalmure::platform {

// Every value of an enumeration whose N values count from 0, in order.
template <class Id, std::size_t N> constexpr std::array<Id, N> allIds() {
    std::array<Id, N> all{};
    for (std::size_t i = 0; i < N; ++i) {
        all[i] = static_cast<Id>(i);
    }
    return all;
}

// The command buttons; their wire and log names ("CWButton1" ... "CWButton6(1)") are in ids.cpp.
enum class ButtonId { Delete, View, Play, Rename, Print, EntryStyleTwo, EntryStyleOne };
inline constexpr auto kAllButtons = allIds<ButtonId, 7>();
// "CWButton1" ... "CWButton5", "CWButton6(0)", "CWButton6(1)".
std::string_view buttonName(ButtonId id);
bool buttonFromName(std::string_view name, ButtonId& out);

// Items of the popup menu mnuPopupAnnotation, in menu order (s1, s2 are separators).
enum class MenuItemId { Play, Rename, Delete, Separator1, Print, Separator2, ViewMinutes };
inline constexpr auto kAllMenuItems = allIds<MenuItemId, 7>();
// "mnuPopupJouer", "mnuPopupRenommer", "mnuPopupSupprimer", "s1", "mnuPopupImprimer", "s2",
// "mnuPopupDalmure".
std::string_view menuItemName(MenuItemId id);
bool menuItemFromName(std::string_view name, MenuItemId& out);

enum class FrameId { Frame1, Frame3 };

// Screen mouse pointers.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;

// Mouse buttons in mouse notifications.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;

} // namespace dalmure::platform
