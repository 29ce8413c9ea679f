// Dalmure: the annotation control of a court-recording screen.
//
// The host adds time-stamped annotations; the control keeps them in time order, lets the user
// type notes under each, add, rename, delete and play annotations, and writes the minutes of the
// hearing. Every procedure that can fail traps its errors and writes them to the monthly log;
// only the members documented as raising let a dalmure::ControlError reach the host.
//
// This class runs the control on the in-memory platform (no display: services, tests, tools);
// the Qt widget is dalmure::qt::DalmureWidget (<dalmure/dalmure_widget.h>).
#pragma once

#include <dalmure/dalmure_export.h>
#include <dalmure/events.h>
#include <dalmure/session.h>
#include <dalmure/text.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dalmure {

namespace platform {
class Platform;
}
class DalmurePrivate;

class DALMURE_EXPORT Dalmure {
  public:
    // Creates the control and runs its start-up. appFolder is the application folder (INI file,
    // catalogue, templates, minutes page, Log/ and Recovery/), absolute, without a trailing "/".
    explicit Dalmure(Str appFolder);
    // The same on a platform of this library's own (the Qt widget's, the test platforms).
    Dalmure(platform::Platform& platform, Str appFolder);
    ~Dalmure();
    Dalmure(const Dalmure&) = delete;
    Dalmure& operator=(const Dalmure&) = delete;

    // Where events go (nullptr: nowhere).
    void setEventSink(DalmureEvents* sink);
    // The application folder given at creation.
    const Str& appFolder() const;

    // --- Annotation list (an index is 0-based; the control's 16-bit arithmetic decides) ----
    // Adds an annotation in time order, selects it and opens the editor on its notes. The
    // arguments are the caller's variables: the control may clean them.
    void AnnoAdd(Str& strAnnoTime, Str& strAnnoDesc, Str& strAnnoData);
    void AnnoAdd(Str strAnnoTime, Str strAnnoDesc);
    // The number of annotations.
    std::int16_t AnnoCount();
    // The time, description and notes of annotation AnnoIndex ("" when there is none).
    Str AnnoTime(std::int32_t AnnoIndex);
    Str AnnoDesc(std::int32_t AnnoIndex);
    Str AnnoData(std::int32_t AnnoIndex);
    // Removes annotation AnnoIndex; the caller's variable is overwritten (2 x the selection).
    void AnnoDelete(std::int32_t& AnnoIndex);
    // Empties the list.
    void ClearAll();
    // The selected annotation.
    std::int16_t Selected() const;

    // --- Properties and modes -----------------------------------------------------------------
    // The background colour of the control and its buttons.
    std::int32_t BackColor() const;
    // Let form: converts the number itself (raises Overflow outside the signed 32-bit range).
    void LetBackColor(double value);
    // Set form: stores the colour only.
    void SetBackColor(std::int32_t value);
    // Shows (true) or hides the grid while the host makes many changes.
    void AllowRefreshPV(bool& blRefresh);
    void AllowRefreshPV();
    // Whether the play command is hidden.
    bool NoPlay() const;
    void NoPlay(bool& value);
    // Whether the view and print commands are hidden.
    bool NoPV() const;
    void NoPV(bool& value);
    // Whether rename and delete are hidden.
    bool NoModif() const;
    void NoModif(bool& blNoModifSet);

  private:
    std::unique_ptr<platform::Platform> ownPlatform_; // the in-memory one, when made here
    std::unique_ptr<DalmurePrivate> const d;

  public:
    // Public variables the host reads and writes: the case number, date and user printed on
    // the minutes; the entry style (2: Enter ends the notes and asks for the next annotation);
    // the font size kept for the host; whether the user is kept from switching the entry style.
    Str& NoDossier;
    Str& DateCreated;
    Str& UserName;
    std::int16_t& PVStyle;
    std::int16_t& PVFontSize;
    bool& LockPVStyle;

    // --- Sessions that ended without closing -------------------------------------------------
    // Every change is kept in a journal in Recovery/ until the control ends normally. The
    // journals of sessions that crashed or were killed (never those of running controls).
    std::vector<journal::FoundJournal> RecoverableSessions();
    // Brings session id back: missing annotations added (AnnoRecovered for each), notes written
    // into their annotations (AnnoModified for each that changes), empty case fields filled in;
    // then its journal is removed. An annotation is matched by its time, its description and
    // its place among those of the same time and description: one the host added again is not
    // added twice. False, the journal left as it is, when it cannot be read (damaged) or when it
    // is of another hearing (one log line): its HearingId differs from the one the host gave
    // this control, or, when either has none, its NoDossier differs from this control's while
    // this control holds a hearing (a NoDossier or an annotation).
    bool RecoverSession(const std::string& id);
    // The same; with intoOtherHearing, a session of another hearing is brought in too: each of
    // its annotations is added as a new one with its notes, and the notes, annotations and case
    // fields this control holds are left as they are.
    bool RecoverSession(const std::string& id, bool intoOtherHearing);
    // Removes the journal of session id; false when it is in use or cannot be removed.
    bool DiscardSession(const std::string& id);

    // The identity of the hearing this control holds, recorded in its journal. At start, and
    // when set to "", the control makes one of its own (32 hexadecimal digits, random); a host
    // that keeps its hearings sets its own (any text) so that a session left behind is known to
    // be that hearing's. Only an identity the host set is compared by RecoverSession.
    Str HearingId() const;
    void HearingId(const Str& value);

    // --- Glossary of the hearing --------------------------------------------------------------
    // Abbreviations the notes editor expands for this hearing (parties, counsel, exhibits), over
    // those of the glossary file; their words count as correctly spelled. GlossaryAdd is false,
    // keeping nothing, for an abbreviation that is not letters and digits or an empty text.
    bool GlossaryAdd(const Str& abbreviation, const Str& text);
    void GlossaryRemove(const Str& abbreviation);
    void GlossaryClear();

    // --- Log ----------------------------------------------------------------------------------
    // Makes sure the month folder of the log exists; returns it and stores it in strPath.
    Str GetLogPath(Str& strPath);

    // --- Container notifications the host forwards ------------------------------------------
    // The focus entered the control from outside.
    void UserControl_EnterFocus();
    // An ambient property of the container changed ("BackColor" is the one the control uses).
    void UserControl_AmbientChanged(const Str& PropertyName);
    // The container resized the control.
    void UserControl_Resize();
};

} // namespace dalmure
