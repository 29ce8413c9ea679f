// The control behind the public Dalmure class (include/dalmure/dalmure.h) and the Qt widget.
//
// The host adds time-stamped annotations; the control keeps them in its grid in time order
// (annotation k in grid rows 2k and 2k+1), lets the user type notes, add, rename, delete and
// play annotations, and writes the minutes of the hearing. Every procedure that can fail traps
// its errors and writes them to the monthly log; only the few members documented as untrapped
// let a ControlError reach the host.
#pragma once

#include "annotations/annotation_list.h"
#include "commands/commands.h"
#include "control/change_feed.h"
#include "interaction/notes_editor_state.h"
#include "journal/journal.h"
#include "minutes/minutes.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "support/log.h"
#include "support/text.h"

#include <dalmure/events.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace dalmure {

namespace writing {
class FindIndex;
}
class NotesWriting;

class DalmurePrivate : private platform::Notifications,
                       private Minutes::Host,
                       private Commands::Host {
  public:
    // Creates the control on a platform and runs its start-up. appFolder is the application
    // folder (INI file, catalogue, templates, minutes page, Log/), absolute, without a trailing
    // "/".
    DalmurePrivate(platform::Platform& platform, Str appFolder);
    ~DalmurePrivate() override;
    DalmurePrivate(const DalmurePrivate&) = delete;
    DalmurePrivate& operator=(const DalmurePrivate&) = delete;

    // Where events go (nullptr: nowhere).
    void setEventSink(DalmureEvents* sink) { events_ = sink; }
    const Str& appFolder() const { return settings_.appFolder(); }

    // --- Annotation list -------------------------------------------------------------------
    // Index arguments are taken wide; the control's own 16-bit arithmetic decides.
    void AnnoAdd(Str& strAnnoTime, Str& strAnnoDesc, Str& strAnnoData);
    void AnnoAdd(Str strAnnoTime, Str strAnnoDesc) {
        Str data;
        AnnoAdd(strAnnoTime, strAnnoDesc, data);
    }
    std::int16_t AnnoCount();
    Str AnnoTime(std::int32_t AnnoIndex);
    Str AnnoDesc(std::int32_t AnnoIndex);
    Str AnnoData(std::int32_t AnnoIndex);
    // The caller's variable is overwritten (2 x the selection) when rows are removed.
    void AnnoDelete(std::int32_t& AnnoIndex);
    void ClearAll();
    std::int16_t Selected() const { return iSelected; }

    // --- Properties and modes --------------------------------------------------------------
    std::int32_t BackColor() const { return lBackColor; }
    // Let form: converts the number itself (Overflow outside the signed 32-bit range, raised).
    void LetBackColor(double value);
    // Set form: stores the colour only.
    void SetBackColor(std::int32_t value) { lBackColor = value; }
    void AllowRefreshPV(bool& blRefresh);
    void AllowRefreshPV() {
        bool refresh = true;
        AllowRefreshPV(refresh);
    }
    bool NoPlay() const { return commands_.noPlay(); }
    void NoPlay(bool& value);
    bool NoPV() const { return commands_.noView(); }
    void NoPV(bool& value);
    bool NoModif() const { return commands_.noModify(); }
    void NoModif(bool& blNoModifSet);

    // The members from here to the container notifications are the host's, documented on the
    // public class (include/dalmure/dalmure.h), which forwards to them.

    // Public variables: plain fields the host reads and writes.
    Str NoDossier;
    Str DateCreated;
    Str UserName;
    std::int16_t PVStyle = 0;
    std::int16_t PVFontSize = 0;
    bool LockPVStyle = false;

    // --- Sessions that ended without closing -----------------------------------------------
    std::vector<journal::FoundJournal> RecoverableSessions();
    bool RecoverSession(const std::string& id, bool intoOtherHearing = false);
    bool DiscardSession(const std::string& id);
    const Str& HearingId() const { return hearingId_; }
    void HearingId(const Str& value);

    // --- Glossary of the hearing ------------------------------------------------------------
    bool GlossaryAdd(const Str& abbreviation, const Str& text);
    void GlossaryRemove(const Str& abbreviation);
    void GlossaryClear();

    // --- Log -------------------------------------------------------------------------------
    Str GetLogPath(Str& strPath) { return log_.GetLogPath(strPath); }

    // --- Container notifications the host forwards -----------------------------------------
    // The control taking the focus hands it to the notes editor (nothing when it is hidden).
    void focusNotesEditor();
    // A change of the container's BackColor recolours the command buttons; others are ignored.
    void applyAmbientChange(const Str& PropertyName);
    // Keeps the control at its minimum size and lays frames, grid and editor out to fit it.
    void fitToSize();

    // --- Views for hosts, tests and tools ---------------------------------------------------
    struct PrivateState {
        std::int16_t iSelected;
        Str strLangColumn;
        Str strLastToolTip;
        Str strEditStart;
        bool blScrolling;
    };
    PrivateState privateState() const;
    platform::Platform& platform() { return p_; }
    // Writes one log line through the control's writer; a line that cannot be written is lost.
    void writeLogLine(std::int32_t number, const Str& description, const Str& label);

    // --- Inside the control: parts and state that hosts never see (the public class hides this
    // whole class); the widget, the host tool and the tests drive them directly.

    // --- List helpers -----------------------------------------------------------------------
    bool blValideGrid();

    // --- Layout -----------------------------------------------------------------------------
    void ResizeGrid();
    void SetRowHeight(std::int16_t& row, bool& scroll, bool& editing);
    void EnsureVisible(std::int32_t& row);
    void ClearCellBackColor();
    // Lays the open editor over the notes row of the selected annotation, scrolling the list
    // first when that row is out of view and keepInView (anything but the clerk's scrolling); a
    // row still out of view hides the editor (it keeps its text and focus, and is shown again
    // when the row is back). Run after every change of row heights, top row or size.
    void PlaceEditor(bool keepInView = true);
    // The notes row the editor works on, -1 when the editor is closed or the row does not exist.
    std::int32_t editorRow();

    // --- Grid, editor, buttons and menu ----------------------------------------------------
    void onGridClick();
    void onGridDoubleClick();
    void onGridKeyPress(std::int16_t& KeyAscii);
    // Up, Down, Page Up, Page Down, Home and End select an annotation as a click on it does.
    void onGridKeyDown(std::int16_t& KeyCode, int Shift);
    // The annotation a move key leads to from the selected one; -1 for any other key.
    std::int32_t annotationAfterKey(std::int16_t KeyCode);
    void openCommandMenu();
    void prepareCommandMenu();
    void onGridLeaveCell();
    void onGridScroll();
    void onGridMouseMove();
    void onGridMouseUp(int Button);
    void onSurfaceMouseMove();

    void openEditor();  // the last steps of the grid click handling
    void closeEditor(); // hides the editor until the next click handling opens it
    bool PromptAnnoAdd();
    void onEditorChange();
    void onEditorGotFocus();
    void onEditorKeyDown(std::int16_t& KeyCode, int Shift);
    void onEditorKeyPress(std::int16_t& KeyAscii);
    void onEditorKeyUp(std::int16_t& KeyCode, int Shift);
    void onEditorLostFocus();
    // Commits typed notes before the host changes the list under the editor.
    void commitPendingEdit();
    // A command button: the notes typed so far are committed, the command runs, and the
    // keyboard is back in the notes of the selected annotation when the editor is open.
    void onButtonClick(platform::ButtonId button);
    // The commit itself; markCommitted makes the written text the editor's new starting text.
    bool commitEditor(bool markCommitted);
    // Expands the abbreviation before the caret when ch, about to be typed there, ends it.
    void expandBeforeTyping(char16_t ch);
    // Puts back the abbreviation of the expansion just made; false when there is none to undo.
    bool undoExpansion();
    // Marks the misspelled words of the editor's text.
    void markMisspelled();

    // --- What the minutes ask of the control -------------------------------------------------
    bool hasSelection() override { return blValideGrid(); }
    void pageWritten() override { PlaceEditor(); }
    // --- What the commands ask of the control -----------------------------------------------
    std::int16_t& selection() override { return iSelected; }
    void play() override { onGridDoubleClick(); }
    DalmureEvents* events() override { return events_; }
    void renamed(std::int16_t index, const Str& description) override {
        journalRenamed(index, description);
        findUpdated(index);
    }
    Str expandWords(const Str& typed) override;
    Str renamePrompt() override;

    // Runs body, its errors logged under the procedure's label (control/trap.h).
    template <class Body> void trap(const char16_t* label, Body&& body);

  private:
    // --- Notifications from the platform ---------------------------------------------------
    void gridClick() override { onGridClick(); }
    void gridDblClick() override { onGridDoubleClick(); }
    void gridKeyPress(std::int16_t& keyAscii) override { onGridKeyPress(keyAscii); }
    void gridKeyDown(std::int16_t& keyCode, int shift) override { onGridKeyDown(keyCode, shift); }
    void menuRequested() override { openCommandMenu(); }
    void menuItemsWanted() override { prepareCommandMenu(); }
    void gridLeaveCell() override { onGridLeaveCell(); }
    void gridScroll() override { onGridScroll(); }
    void gridMouseMove(int, int, double, double) override { onGridMouseMove(); }
    void gridMouseUp(int button, int, double, double) override { onGridMouseUp(button); }
    void editorChange() override { onEditorChange(); }
    void editorGotFocus() override { onEditorGotFocus(); }
    void editorLostFocus() override { onEditorLostFocus(); }
    void editorKeyDown(std::int16_t& keyCode, int shift) override {
        onEditorKeyDown(keyCode, shift);
    }
    void editorKeyPress(std::int16_t& keyAscii) override { onEditorKeyPress(keyAscii); }
    void editorKeyUp(std::int16_t& keyCode, int shift) override { onEditorKeyUp(keyCode, shift); }
    void buttonClick(platform::ButtonId button) override { onButtonClick(button); }
    void buttonMouseMove(platform::ButtonId button) override { commands_.buttonHovered(button); }
    void menuClick(platform::MenuItemId item) override { commands_.menuItemChosen(item); }
    void findRequested() override { openFind(); }
    void findTextChanged() override { filterFind(); }
    void findNext(bool backwards) override { nextFound(backwards); }
    void findClosed() override { closeFind(); }
    void surfaceMouseMove(int, int, double, double) override { onSurfaceMouseMove(); }
    void surfaceEnterFocus() override { focusNotesEditor(); }
    void surfaceResize() override { fitToSize(); }
    void ambientChanged(const Str& name) override { applyAmbientChange(name); }

    // Short names for the child components.
    platform::Grid& grid() { return p_.grid(); }
    platform::TextBox& notesEditor() { return p_.editor(); }
    platform::CommandButton& button(platform::ButtonId id) { return p_.button(id); }

  public:
    // The spelling help for the word at pos of the notes, and "add to glossary" (what a right
    // click on the notes asks of the control).
    bool editorSpellingHelp(std::int32_t pos, SpellingHelp& help) override;
    void editorAddWord(const Str& word) override;

    // --- Find bar (control/find.cpp) ----------------------------------------------------------
    // While the bar is shown, the annotations that do not match what the clerk typed have their
    // rows hidden; the one whose notes the clerk worked in last stays shown whatever the filter.
    void openFind();
    void filterFind();
    void nextFound(bool backwards);
    void closeFind();
    bool findActive() const { return find_ != nullptr; }
    // The bar holds the keyboard: a selection the list makes meanwhile (a host add, a delete)
    // leaves the focus in it.
    bool findHoldsFocus();
    // The room the shown bar takes above the grid (0 while hidden).
    std::int32_t findRoom();
    // Places the bar and the grid below it inside Frame3.
    void layoutFind();
    // The list changed under a filter: annotation index came in, changed or went, or all went.
    void findInserted(std::int32_t index);
    void findUpdated(std::int32_t index);
    void findRemoved(std::int32_t index);
    void findCleared();
    // Moves the current cell off a hidden annotation, to the next one shown (or the one before),
    // for the selection that follows a delete.
    void findSkipHidden();
    // The editor took the focus on the selected annotation: it stays shown.
    void findPinSelected();
    // Hides or shows the rows of annotation index as the filter says.
    void findApply(std::int32_t index);
    void findShowCount();

    // --- Journal ----------------------------------------------------------------------------
    void startJournal();
    void closeJournal(); // the normal end: the journal is removed
    // Each records one change, the case fields first when the host changed them since. A change
    // is recorded before the editor opens on its result (the editor's text refers to it).
    void journalAdded(std::int32_t index, const Str& time, const Str& desc, const Str& data);
    void journalDeleted(std::int32_t index);
    void journalCleared();
    void journalRenamed(std::int32_t index, const Str& desc);
    void journalNotes(std::int32_t index, const Str& notes);
    void journalLiveText();
    void journalCaseFields();
    // Whether a session of hearing hearingId with these case fields belongs to another hearing
    // than this control's (see RecoverSession in include/dalmure/dalmure.h).
    bool otherHearing(const Str& hearingId, const journal::CaseFields& fields) const;
    // Adds a recovered annotation (without its notes); its index, -1 when the list refused it.
    std::int32_t addRecovered(const journal::Annotation& a);
    // Writes notes into annotation index, outside the editor.
    void setNotes(std::int32_t index, const Str& notes);

    // --- Followers of the list (control/change_feed.h) ----------------------------------------
    // One follower at most (nullptr: none); it is told every change the journal records.
    void setChangeFeed(ChangeFeed* feed) { feed_ = feed; }
    // A change made elsewhere (another station's), brought into the list as the control's own
    // change: the new description of annotation index, and its new notes (AnnoModified). The
    // editor showing that annotation's notes, untouched since it opened, shows the new ones.
    void renameAnnotation(std::int32_t index, const Str& description);
    void replaceNotes(std::int32_t index, const Str& notes);
    // Changes made elsewhere, applied one after the other through the members above (a station's
    // batch): the journal takes them in one transaction at releaseJournal().
    void holdJournal() {
        if (journal_)
            journal_->hold();
    }
    void releaseJournal() {
        if (journal_)
            journal_->release();
    }
    // Many annotations at once (a hearing opened from elsewhere): the list, journal, find bar
    // and feed end as after one AnnoAdd of each, in order, but the scroll, selection and editor
    // follow only the last. Returns how many were added (fewer when the list refused one).
    struct NewAnnotation {
        Str time, description, notes;
    };
    std::size_t addAnnotations(const std::vector<NewAnnotation>& batch);

    platform::Platform& p_;
    // The annotations in the grid's rows and their time order (control/annotations.cpp adds the
    // host's rules around it).
    AnnotationList list_{p_.grid()};
    Log log_;
    Settings settings_;
    Minutes minutes_;
    Commands commands_;
    std::unique_ptr<NotesWriting> writing_;
    DalmureEvents* events_ = nullptr;
    std::unique_ptr<journal::Journal> journal_;
    Str journaledDossier_, journaledDate_, journaledUser_, journaledHearing_;
    // The hearing's identity: the control's own until the host names the hearing.
    Str hearingId_;
    bool hearingNamed_ = false;
    // Damaged journals already logged: each once in the control's life.
    std::set<std::string> damagedReported_;
    ChangeFeed* feed_ = nullptr;

    // Private state, named as the control has always named it.
    std::int16_t iSelected = 0;
    bool blScrolling = false;
    // PlaceEditor is scrolling the list to its row.
    bool placing_ = false;
    std::int32_t lBackColor = 0;
    // The notes editor: open or not, the text it took the focus with, whether it holds notes of
    // the user's.
    NotesEditorState editorState_;

    // The filter of the find bar, kept only while the bar is shown.
    std::unique_ptr<writing::FindIndex> find_;
    // Enter or F3 is selecting a match: the notes that open on it take the keyboard, as after a
    // click.
    bool findSelecting_ = false;
};

} // namespace dalmure
