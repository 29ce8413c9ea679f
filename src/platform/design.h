// The control's form as designed: positions, sizes, colours and texts its child controls carry
// before start-up and the container change them. Every platform builds the form from these.
#pragma once

#include "platform/ids.h"
#include "platform/placement.h"

#include <cstdint>

namespace dalmure::design {

// Colours are 0x00BBGGRR.
inline constexpr std::int32_t kSurfaceBackColor = 0xF0F0F0;
inline constexpr std::int32_t kGridBackColor = 0xFFFFFF;
inline constexpr std::int32_t kGridBackColorBkg = 0x808080;
// The tooltip-background colour: highlight of the selected annotation and editor background.
inline constexpr std::int32_t kGridBackColorFixed = 0xE1FFFF;
inline constexpr std::int32_t kButtonColor = 0xF0F0F0;
inline constexpr std::int32_t kEditorBackColor = 0xFFFFFF;

// The control, its frames, grid and browser (twips).
inline constexpr std::int32_t kControlWidth = 9600;
inline constexpr std::int32_t kControlHeight = 7200;
inline constexpr std::int32_t kFrame3Left = 30, kFrame3Top = 900;
inline constexpr std::int32_t kFrame3Width = 9540, kFrame3Height = 6250;
inline constexpr std::int32_t kGridLeft = 100, kGridTop = 200;
inline constexpr std::int32_t kGridWidth = 9340, kGridHeight = 5950;
inline constexpr std::int32_t kGridDefaultRowHeight = 240;
inline constexpr std::int32_t kGridDefaultColWidth = 1200;
inline constexpr std::int32_t kFrame1Width = 9540, kFrame1Height = 120;
// Frame1, which holds the browser component, stands right above Frame3.
constexpr platform::Placement frame1Placement() {
    return {kFrame3Left, kFrame3Top - kFrame1Height, kFrame1Width, kFrame1Height};
}
constexpr platform::Placement frame3Placement() {
    return {kFrame3Left, kFrame3Top, kFrame3Width, kFrame3Height};
}
inline constexpr std::int32_t kBrowserWidth = 9480;
inline constexpr double kFontSize = 8.0; // "MS Sans Serif" 8 pt on every font

// Command buttons in the bar above the grid, 840 twips apart, 780 x 780.
inline constexpr std::int32_t kButtonTop = 60, kButtonSize = 780;
constexpr std::int32_t buttonLeft(platform::ButtonId id) {
    switch (id) {
    case platform::ButtonId::Play:
        return 60; // play
    case platform::ButtonId::Rename:
        return 900; // rename
    case platform::ButtonId::View:
        return 1740; // view the minutes
    case platform::ButtonId::Print:
        return 2580; // print
    case platform::ButtonId::Delete:
        return 3420; // delete
    case platform::ButtonId::EntryStyleTwo:
    case platform::ButtonId::EntryStyleOne:
        return 4260; // entry style
    }
    return 0;
}

// Texts the form carries until start-up puts the localised ones.
inline constexpr const char16_t* kStyleButtonToolTip =
    u"Fonctionement de la touche \"Enter\" dans le proc\u00e8s verbal";
constexpr const char16_t* buttonToolTip(platform::ButtonId id) {
    switch (id) {
    case platform::ButtonId::Delete:
        return u"Supprimer l'annotation s\u00e9lectionn\u00e9e";
    case platform::ButtonId::View:
        return u"Visualiser le proc\u00e8s-verbal avec le fureteur internet";
    case platform::ButtonId::Play:
        return u"Jouer \u00e0 l'annotation s\u00e9lectionn\u00e9e";
    case platform::ButtonId::Rename:
        return u"Modifier la description de l'annotation s\u00e9lectionn\u00e9e";
    case platform::ButtonId::Print:
        return u"Impression sommaire de la liste d'annotations";
    case platform::ButtonId::EntryStyleTwo:
    case platform::ButtonId::EntryStyleOne:
        return kStyleButtonToolTip;
    }
    return u"";
}
constexpr const char16_t* menuCaption(platform::MenuItemId id) {
    switch (id) {
    case platform::MenuItemId::Play:
        return u"Jouer \u00e0 l'annotation";
    case platform::MenuItemId::Rename:
        return u"Renommer...";
    case platform::MenuItemId::Delete:
        return u"Supprimer";
    case platform::MenuItemId::Print:
        return u"Imprimer la liste...";
    case platform::MenuItemId::ViewMinutes:
        return u"Consulter le proc\u00e8s-verbal...";
    case platform::MenuItemId::Separator1:
    case platform::MenuItemId::Separator2:
        return u"-";
    }
    return u"";
}

} // namespace dalmure::design
