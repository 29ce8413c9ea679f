// The in-place editor of data texts (Text1) and the add prompt of entry style 2.
//
// The editor edits the data row of the selected annotation. Its text reaches the grid only by a
// commit: when the editor loses the focus, on the style-2 Enter, and before the host changes the
// list under an editor that still has the focus (commitPendingEdit). Its state
// (interaction/notes_editor_state.h) holds the text the editor was opened with, so that an
// unchanged text is never written back.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "interaction/notes_writing.h"
#include "support/log_labels.h"
#include "support/numeric.h"

#include <cstdio>

namespace dalmure {

namespace {

constexpr std::int16_t kEnter = 13;
constexpr std::int16_t kEscape = 27;
constexpr std::int16_t kCtrlZ = 26;
constexpr std::size_t kMaxPromptDescription = 50;

Str twoDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return fromUtf8(buffer);
}

// "hh:nn:ss", hours 00 to 23.
Str formatTime(const platform::LocalTime& t) {
    return twoDigits(t.hour) + u":" + twoDigits(t.minute) + u":" + twoDigits(t.second);
}

Str trimSpaces(const Str& text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == Str::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

} // namespace

// The opening of the editor, the end of the grid click handling: the current cell is the data
// cell of the selected annotation.
void DalmurePrivate::openEditor() {
    platform::Grid& g = grid();
    platform::TextBox& editor = notesEditor();

    editorState_.opened();
    editorState_.setLoading(true);
    editor.setText(Str());
    editorState_.setLoading(false);

    const Str data = g.text();
    if (editor.text() == data) {
        onEditorChange();
    } else {
        editor.setText(data); // the change notification sizes the row
    }

    const std::int32_t row = g.row();
    editor.setTop(g.top() + g.rowPos(row) + 15);
    editor.setLeft(g.left() + g.colPos(1) + 45);
    editor.setHeight(g.rowHeight(row) - 30);

    editor.setVisible(true);
    if (findHoldsFocus() && !findSelecting_) {
        // The clerk is typing a search and the list changed under it (a host add, a delete): the
        // notes open without taking the keyboard from the bar, and remember the text they open
        // with as taking the focus would.
        onEditorGotFocus();
    } else {
        editor.setFocus(); // onEditorGotFocus remembers the text it opens with
    }
    editor.setSelStart(static_cast<std::int32_t>(editor.text().size()));
}

void DalmurePrivate::onEditorChange() {
    trap(label::editorChange, [&] {
        if (editorState_.loading()) {
            return;
        }
        // An expansion made for the key just typed can be undone until the next change.
        if (writing_->justMade) {
            writing_->undo().remember(*writing_->justMade, notesEditor().text().size());
            writing_->justMade.reset();
        } else {
            writing_->undo().forget();
        }
        markMisspelled();
        journalLiveText();
        // The text sizes the row the editor lies over, wherever the control's work has left
        // the current cell (the minutes, a rename and a double click move it).
        const std::int32_t notesRow = editorRow();
        std::int16_t row =
            toInteger(static_cast<long long>(notesRow >= 0 ? notesRow : grid().row()));
        bool scroll = true;
        bool editing = true;
        SetRowHeight(row, scroll, editing);
        PlaceEditor();
    });
}

void DalmurePrivate::onEditorGotFocus() {
    editorState_.focusTaken(notesEditor().text());
    notesEditor().setReadOnly(commands_.notesReadOnly());
    if (findActive() && notesEditor().hasFocus())
        findPinSelected();
}

void DalmurePrivate::onEditorKeyDown(std::int16_t& KeyCode, int Shift) {
    constexpr std::int16_t kKeyZ = 90;
    constexpr int kCtrlMask = 2;
    if (commands_.notesReadOnly()) {
        KeyCode = 0;
        return;
    }
    // Ctrl+Z right after an expansion puts the abbreviation back, instead of the editor's undo.
    if (KeyCode == kKeyZ && Shift == kCtrlMask) {
        trap(label::editorKeyDown, [&] {
            if (undoExpansion()) {
                KeyCode = 0;
            }
        });
    }
}

void DalmurePrivate::onEditorKeyUp(std::int16_t& KeyCode, int Shift) {
    (void)Shift;
    if (commands_.notesReadOnly()) {
        KeyCode = 0;
    }
}

void DalmurePrivate::onEditorKeyPress(std::int16_t& KeyAscii) {
    trap(label::editorKeyPress, [&] {
        writing_->justMade.reset();
        if (KeyAscii == kEnter && PVStyle == 2) {
            if (!commands_.notesReadOnly()) {
                expandBeforeTyping(u'\r');
                writing_->justMade.reset(); // the notes end: nothing to undo
            }
            // Enter ends the notes and asks for the next annotation, also in read-only editing.
            KeyAscii = 0;
            // The commit runs while the editor keeps the focus; it marks the text as committed so
            // that neither the add below nor a later focus loss writes it a second time.
            trap(label::editorLostFocus, [&] { commitEditor(true); });
            if (PromptAnnoAdd()) {
                onEditorChange();
            } else {
                onGridClick();
            }
            return;
        }
        if (commands_.notesReadOnly()) {
            KeyAscii = 0;
            return;
        }
        switch (KeyAscii) {
        case 38:  // &
        case 92:  // backslash
        case 43:  // +
        case 124: // |
            KeyAscii = 0;
            break;
        case 39: // the apostrophe is typed as a grave accent, or as the typographic one
            KeyAscii = static_cast<std::int16_t>(writing_->apostrophe());
            break;
        case kCtrlZ:
            if (undoExpansion()) {
                KeyAscii = 0;
            }
            break;
        case kEscape:
            closeEditor();
            KeyAscii = 0;
            ClearCellBackColor();
            break;
        default:
            break;
        }
        if (KeyAscii != 0) {
            expandBeforeTyping(static_cast<char16_t>(static_cast<std::uint16_t>(KeyAscii)));
        }
    });
}

void DalmurePrivate::closeEditor() {
    editorState_.closed();
    notesEditor().setVisible(false);
}

void DalmurePrivate::onEditorLostFocus() {
    // An editor closed because the list was emptied holds nothing to commit: the notes it held
    // were committed before the list changed.
    if (!editorState_.holdsUserNotes(notesEditor().visible())) {
        return;
    }
    trap(label::editorLostFocus, [&] { commitEditor(false); });
}

void DalmurePrivate::commitPendingEdit() {
    // Only an editor still open, or hidden by Esc, holds notes of the user's.
    if (!notesEditor().hasFocus() || !editorState_.holdsUserNotes(notesEditor().visible())) {
        return;
    }
    trap(label::editorLostFocus, [&] { commitEditor(true); });
}

// A button takes the keyboard only by Tab: clicked, it leaves the focus where it was, so the
// notes are committed here, before the command's own events, as a focus loss commits them. When
// the command is over, whatever its prompt or dialog answered, the keys go on into the notes
// (unless the clerk was typing a search).
void DalmurePrivate::onButtonClick(platform::ButtonId button) {
    commitPendingEdit();
    commands_.buttonClicked(button);
    platform::TextBox& editor = notesEditor();
    if (!editorState_.editsSelection() || !editor.visible() || editor.hasFocus() ||
        findHoldsFocus()) {
        return;
    }
    trap(label::editorLostFocus, [&] { editor.setFocus(); });
}

// Writes the editor's text into the data row of the selected annotation when it differs from the
// text the editor was opened with, then tells the host. markCommitted makes the written text the
// new starting point, for commits made while the editor keeps the focus.
bool DalmurePrivate::commitEditor(bool markCommitted) {
    platform::Grid& g = grid();
    const std::int32_t rememberedCol = g.col();
    const std::int32_t rememberedRow = g.row();
    const Str text = notesEditor().text();
    if (!editorState_.commitDue(text, iSelected)) {
        return false;
    }
    // The column moves first: an index whose data row overflows 16 bits leaves it moved.
    g.setCol(1);
    g.setRow(addInteger(mulInteger(2, iSelected), 1));
    g.setText(text);
    journalNotes(iSelected, text);
    findUpdated(iSelected);
    g.setCol(rememberedCol);
    g.setRow(rememberedRow);
    if (markCommitted) {
        editorState_.committed(text);
    }
    if (events_ != nullptr) {
        events_->AnnoModified(iSelected);
    }
    return true;
}

bool DalmurePrivate::PromptAnnoAdd() {
    // The time of the Enter press, taken before the prompt opens.
    Str time = formatTime(p_.clock().now());
    const Str message =
        settings_.text(u"MSG375", u"Entrez une description pour l'annotation \u00e0 ajouter :");
    Str desc = trimSpaces(p_.dialogs().inputBox(message, u"Orvane", Str()));
    desc = cleanText(expandWords(desc));
    if (desc.empty()) {
        return false;
    }
    if (desc.size() > kMaxPromptDescription) {
        desc.resize(kMaxPromptDescription);
        p_.dialogs().messageBox(
            settings_.text(
                u"MSG376",
                u"La description de l'annotation ne doit pas exc\u00e9der 50 caract\u00e8res."
                u"  Par cons\u00e9quent elle a \u00e9t\u00e9 tronqu\u00e9e."),
            u"Orvane");
    }
    Str addTime = time;
    Str addDesc = desc;
    Str noData;
    AnnoAdd(addTime, addDesc, noData);
    if (events_ != nullptr) {
        // The host's handler gets its own copies: what it does to them leaves the grid alone.
        Str eventTime = time;
        Str eventDesc = desc;
        events_->AnnoAdded(eventTime, eventDesc);
    }
    return true;
}

} // namespace dalmure
