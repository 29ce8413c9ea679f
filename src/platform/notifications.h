// Everything a platform component reports to the control. The control implements this
// interface; each component calls it synchronously, on the user-interface thread.
#pragma once

#include "platform/ids.h"
#include "support/text.h"

#include <cstdint>
#include <vector>

namespace dalmure::platform {

class Notifications {
  public:
    virtual ~Notifications() = default;

    // Annotation grid. A user click makes the clicked cell current before gridClick arrives.
    virtual void gridClick() = 0;
    virtual void gridDblClick() = 0;
    virtual void gridKeyPress(std::int16_t& keyAscii) = 0;
    // A key went down on the grid (key codes as for the editor: 33 Page Up, 34 Page Down, 35 End,
    // 36 Home, 38 Up, 40 Down). The control sets keyCode to 0 when it took the key; the grid
    // then does nothing more with it.
    virtual void gridKeyDown(std::int16_t& keyCode, int shift) {
        (void)keyCode;
        (void)shift;
    }
    virtual void gridLeaveCell() = 0;
    virtual void gridScroll() = 0;
    virtual void gridMouseMove(int button, int shift, double x, double y) = 0;
    virtual void gridMouseUp(int button, int shift, double x, double y) = 0;

    // In-place editor. Setting keyCode / keyAscii to 0 discards the key.
    virtual void editorChange() = 0;
    virtual void editorGotFocus() = 0;
    virtual void editorLostFocus() = 0;
    virtual void editorKeyDown(std::int16_t& keyCode, int shift) = 0;
    virtual void editorKeyPress(std::int16_t& keyAscii) = 0;
    virtual void editorKeyUp(std::int16_t& keyCode, int shift) = 0;
    // The spelling help for the editor's word at unit pos of its text (a right click on it):
    // false when no misspelled word is there. The platform shows the suggestions; choosing one
    // replaces the word, "add" calls editorAddWord.
    struct SpellingHelp {
        std::int32_t start = 0;
        std::int32_t length = 0;
        Str word;
        std::vector<Str> suggestions;
        Str addCaption; // the caption of the entry that adds the word to the glossary
    };
    virtual bool editorSpellingHelp(std::int32_t pos, SpellingHelp& help) {
        (void)pos;
        (void)help;
        return false;
    }
    virtual void editorAddWord(const Str& word) { (void)word; }

    // Command buttons and popup menu.
    virtual void buttonClick(ButtonId button) = 0;
    virtual void buttonMouseMove(ButtonId button) = 0;
    virtual void menuClick(MenuItemId item) = 0;
    // The menu key or Shift+F10 on the grid or in the editor: the popup menu of the selected
    // annotation, the selection left as it is.
    virtual void menuRequested() {}
    // The popup menu's items are about to be shown inside another menu (the editor's own text
    // menu on a right click): they take their states as for the popup menu, which stays closed.
    virtual void menuItemsWanted() {}

    // Find bar. findRequested: Ctrl+F in the grid or the notes. findTextChanged: the clerk
    // changed the bar's text. findNext: Enter or F3 (backwards: Shift+F3) in the bar, or F3 in
    // the grid or the notes while the bar is shown. findClosed: Esc in the bar or its close
    // button.
    virtual void findRequested() {}
    virtual void findTextChanged() {}
    virtual void findNext(bool backwards) { (void)backwards; }
    virtual void findClosed() {}

    // The control's own surface and its container.
    virtual void surfaceMouseMove(int button, int shift, double x, double y) = 0;
    virtual void surfaceEnterFocus() = 0;
    virtual void surfaceResize() = 0;
    virtual void ambientChanged(const Str& propertyName) = 0;
};

} // namespace dalmure::platform
