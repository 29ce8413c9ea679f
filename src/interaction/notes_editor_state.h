// What the control knows of its notes editor beyond the text box: whether the click handling has
// it open, the text it took the focus with, and the two ways its text can stop being notes of
// the user's (the list was emptied under it, or the selection it would belong to failed).
//
// The state decides nothing on the platform: the control shows, hides and fills the text box
// and writes commits into the grid, asking this state whether a commit is due.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure {

class NotesEditorState {
  public:
    // --- Opening and closing ----------------------------------------------------------------
    // The click handling opens the editor on the selected annotation: whatever emptied the list
    // or failed a selection before is over.
    void opened() {
        closedByList_ = false;
        selectionFailed_ = false;
        open_ = true;
    }
    // Esc, the cell leaving or a failed selection closes the editor.
    void closed() { open_ = false; }
    // AnnoDelete or ClearAll emptied the list: the editor closes, and its text is then no note
    // of the user's, so a host change to the list commits nothing.
    void closedByList() {
        closedByList_ = true;
        open_ = false;
    }
    // A selection failed (an annotation past the 16-bit index): until the next one succeeds,
    // what the editor holds belongs to no annotation and nothing of it is committed.
    void selectionFailed() { selectionFailed_ = true; }

    // Open from the click handling until Esc, the cell leaving or an emptied list closes it; it
    // may be hidden meanwhile only while its row is out of view.
    bool isOpen() const { return open_; }
    // Open on an annotation whose selection succeeded: what is typed is that annotation's.
    bool editsSelection() const { return open_ && !selectionFailed_; }

    // --- Loading -----------------------------------------------------------------------------
    // While the control empties the editor to load an annotation's notes, the change it hears is
    // not the user's typing.
    void setLoading(bool loading) { loading_ = loading; }
    bool loading() const { return loading_; }

    // --- Committing --------------------------------------------------------------------------
    // The editor took the focus holding this text: an unchanged text is never written back.
    void focusTaken(const Str& text) { startText_ = text; }
    const Str& startText() const { return startText_; }
    // Whether the editor's text may be notes of the user's: not while it is hidden after the
    // list was emptied (those notes were committed before the list changed).
    bool holdsUserNotes(bool editorVisible) const { return !closedByList_ || editorVisible; }
    // Whether text is to be written into the notes of annotation `selected`: it changed since the
    // editor took the focus, an annotation is selected and its selection did not fail.
    bool commitDue(const Str& text, std::int16_t selected) const {
        return !selectionFailed_ && text != startText_ && selected >= 0;
    }
    // text was written while the editor keeps the focus: it is the new starting text.
    void committed(const Str& text) { startText_ = text; }

  private:
    Str startText_;
    bool loading_ = false;
    bool closedByList_ = false;
    bool open_ = false;
    bool selectionFailed_ = false;
};

} // namespace dalmure
