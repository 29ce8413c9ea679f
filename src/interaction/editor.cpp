// The in-place editor of data texts (Text1) and the add prompt of entry style 2.
//
// The editor edits the data row of the selected annotation. Its text reaches the grid only by a
// commit: when the editor loses the focus, on the style-2 Enter, and before the host changes the
// list under an editor that still has the focus (commitPendingEdit). strEditStart holds the text
// the editor was opened with, so that an unchanged text is never written back.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "support/numeric.h"

#include <cstdio>

namespace dalmure {

namespace {

constexpr std::int16_t kEnter = 13;
constexpr std::int16_t kEscape = 27;
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

    blEditorClosedByList = false;
    blSelectionFailed = false;
    blEditorOpen = true;
    blLoadingEditor = true;
    editor.setText(Str());
    blLoadingEditor = false;

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
    editor.setFocus(); // onEditorGotFocus remembers the text it opens with
    editor.setSelStart(static_cast<std::int32_t>(editor.text().size()));
}

void DalmurePrivate::onEditorChange() {
    trap(u"errDalmure_Text1_Change", [&] {
        if (blLoadingEditor) {
            return;
        }
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
    strEditStart = notesEditor().text();
    notesEditor().setReadOnly(commands_.notesReadOnly());
}

void DalmurePrivate::onEditorKeyDown(std::int16_t& KeyCode, int Shift) {
    (void)Shift;
    if (commands_.notesReadOnly()) {
        KeyCode = 0;
    }
}

void DalmurePrivate::onEditorKeyUp(std::int16_t& KeyCode, int Shift) {
    (void)Shift;
    if (commands_.notesReadOnly()) {
        KeyCode = 0;
    }
}

void DalmurePrivate::onEditorKeyPress(std::int16_t& KeyAscii) {
    trap(u"errDalmure_Text1_KeyPress", [&] {
        if (KeyAscii == kEnter && PVStyle == 2) {
            // Enter ends the notes and asks for the next annotation, also in read-only editing.
            KeyAscii = 0;
            // The commit runs while the editor keeps the focus; it marks the text as committed so
            // that neither the add below nor a later focus loss writes it a second time.
            trap(u"errDalmure_Text1_LostFocus", [&] { commitEditor(true); });
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
        case 39: // the apostrophe is typed as a grave accent
            KeyAscii = 96;
            break;
        case kEscape:
            closeEditor();
            KeyAscii = 0;
            ClearCellBackColor();
            break;
        default:
            break;
        }
    });
}

void DalmurePrivate::closeEditor() {
    blEditorOpen = false;
    notesEditor().setVisible(false);
}

void DalmurePrivate::onEditorLostFocus() {
    // An editor closed because the list was emptied holds nothing to commit: the notes it held
    // were committed before the list changed.
    if (blEditorClosedByList && !notesEditor().visible()) {
        return;
    }
    trap(u"errDalmure_Text1_LostFocus", [&] { commitEditor(false); });
}

void DalmurePrivate::commitPendingEdit() {
    // Only an editor still open, or hidden by Esc, holds notes of the user's.
    if (!notesEditor().hasFocus() || (blEditorClosedByList && !notesEditor().visible())) {
        return;
    }
    trap(u"errDalmure_Text1_LostFocus", [&] { commitEditor(true); });
}

// Writes the editor's text into the data row of the selected annotation when it differs from the
// text the editor was opened with, then tells the host. markCommitted makes the written text the
// new starting point, for commits made while the editor keeps the focus.
bool DalmurePrivate::commitEditor(bool markCommitted) {
    platform::Grid& g = grid();
    const std::int32_t rememberedCol = g.col();
    const std::int32_t rememberedRow = g.row();
    const Str text = notesEditor().text();
    if (blSelectionFailed || text == strEditStart || iSelected < 0) {
        return false;
    }
    // The column moves first: an index whose data row overflows 16 bits leaves it moved.
    g.setCol(1);
    g.setRow(addInteger(mulInteger(2, iSelected), 1));
    g.setText(text);
    journalNotes(iSelected, text);
    g.setCol(rememberedCol);
    g.setRow(rememberedRow);
    if (markCommitted) {
        strEditStart = text;
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
    desc = cleanText(desc);
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
