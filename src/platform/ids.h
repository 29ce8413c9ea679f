// Names of the control's child components.
#pragma once

#include <array>
#include <string_view>

namespace dalmure::platform {

// CWButton1 delete, CWButton2 view, CWButton3 play, CWButton4 rename, CWButton5 print,
// CWButton6(0) / CWButton6(1) the entry-style pair.
enum class ButtonId { CWButton1, CWButton2, CWButton3, CWButton4, CWButton5, CWButton6_0, CWButton6_1 };
inline constexpr std::array<ButtonId, 7> kAllButtons{
    ButtonId::CWButton1, ButtonId::CWButton2,   ButtonId::CWButton3,  ButtonId::CWButton4,
    ButtonId::CWButton5, ButtonId::CWButton6_0, ButtonId::CWButton6_1};
// "CWButton1" ... "CWButton5", "CWButton6(0)", "CWButton6(1)".
std::string_view buttonName(ButtonId id);
bool buttonFromName(std::string_view name, ButtonId& out);

// Items of the popup menu mnuPopupAnnotation, in menu order (s1, s2 are separators).
enum class MenuItemId { Jouer, Renommer, Supprimer, S1, Imprimer, S2, Dalmure };
inline constexpr std::array<MenuItemId, 7> kAllMenuItems{
    MenuItemId::Jouer, MenuItemId::Renommer, MenuItemId::Supprimer, MenuItemId::S1,
    MenuItemId::Imprimer, MenuItemId::S2,    MenuItemId::Dalmure};
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
