// The control's journal: every change to the list, the case fields and the notes being typed,
// recorded as it happens (see journal/journal.h), and the recovery of a session that ended
// without closing.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "journal/journal.h"
#include "support/errors.h"
#include "support/log_labels.h"
#include "support/numeric.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <sys/random.h>
#include <unistd.h>
#include <utility>

namespace dalmure {

namespace {

constexpr std::string_view kJournalFolder = "Recovery";
constexpr const char16_t* kJournalLabel = label::journal;

} // namespace

void DalmurePrivate::startJournal() {
    journal::JournalOptions options;
    options.report = [this](std::int32_t number, const Str& description) {
        writeLogLine(number, description, kJournalLabel);
    };
    // The sessions left behind are kept within the INI file's limits; a value that is not a
    // number of at least 1 takes the default.
    journal::SessionLimits limits;
    const auto limit = [&](const char16_t* key, int fallback) {
        const double value = leadingNumber(settings_.iniValue(u"Journal", key, Str()));
        return value >= 1 && value <= 1e6 ? static_cast<int>(value) : fallback;
    };
    limits.maxSessions = limit(u"MaxSessions", limits.maxSessions);
    limits.maxAgeDays = limit(u"MaxAgeDays", limits.maxAgeDays);
    limits.maxTotalMB = limit(u"MaxTotalMB", limits.maxTotalMB);
    journal::keepSessionsWithin(appFolder(), kJournalFolder, limits, options.report);
    journal_ = journal::Journal::start(appFolder(), kJournalFolder, std::move(options));
}

void DalmurePrivate::closeJournal() {
    if (journal_)
        journal_->close();
}

void DalmurePrivate::journalCaseFields() {
    if (!journal_)
        return;
    const auto note = [&](journal::CaseField field, const Str& now, Str& recorded) {
        if (now != recorded && journal_->caseField(field, now))
            recorded = now;
    };
    note(journal::CaseField::NoDossier, NoDossier, journaledDossier_);
    note(journal::CaseField::DateCreated, DateCreated, journaledDate_);
    note(journal::CaseField::UserName, UserName, journaledUser_);
    note(journal::CaseField::HearingId, hearingId_, journaledHearing_);
}

void DalmurePrivate::journalAdded(std::int32_t index, const Str& time, const Str& desc,
                                  const Str& data) {
    if (feed_)
        feed_->added(index, time, desc);
    if (!journal_)
        return;
    journalCaseFields();
    journal_->added(index, time, desc, data);
}

void DalmurePrivate::journalDeleted(std::int32_t index) {
    if (feed_)
        feed_->deleted(index);
    if (!journal_)
        return;
    journalCaseFields();
    journal_->deleted(index);
}

void DalmurePrivate::journalCleared() {
    if (feed_)
        feed_->cleared();
    if (!journal_)
        return;
    journalCaseFields();
    journal_->cleared();
}

void DalmurePrivate::journalRenamed(std::int32_t index, const Str& desc) {
    if (feed_)
        feed_->renamed(index, desc);
    if (!journal_)
        return;
    journalCaseFields();
    journal_->renamed(index, desc);
}

void DalmurePrivate::journalNotes(std::int32_t index, const Str& notes) {
    if (feed_)
        feed_->notesCommitted(index, notes);
    if (!journal_)
        return;
    journalCaseFields();
    journal_->notesCommitted(index, notes);
}

// The editor's text as the clerk types it, for the annotation it is open on.
void DalmurePrivate::journalLiveText() {
    if (!journal_ || !editorState_.editsSelection() || iSelected < 0)
        return;
    journalCaseFields();
    journal_->liveText(iSelected, notesEditor().text());
}

void DalmurePrivate::setNotes(std::int32_t index, const Str& notes) {
    platform::Grid& g = grid();
    const std::int32_t row = g.row();
    const std::int32_t col = g.col();
    g.setCol(1);
    g.setRow(2 * index + 1);
    g.setText(notes);
    g.setCol(col);
    g.setRow(row);
    journalNotes(index, notes);
    findUpdated(index);
}

// --- The hearing --------------------------------------------------------------------------

namespace {

// 128 random bits in hex: an identity no other hearing is given.
Str newHearingId() {
    std::uint64_t bits[2] = {};
    if (::getrandom(bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        // No entropy yet (early boot): the time, the process and this object's address.
        bits[0] ^=
            static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
        bits[1] ^= static_cast<std::uint64_t>(::getpid()) << 32 ^
                   static_cast<std::uint64_t>(
                       std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   reinterpret_cast<std::uintptr_t>(&bits);
    }
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(bits[0]),
                  static_cast<unsigned long long>(bits[1]));
    return fromUtf8(text);
}

} // namespace

void DalmurePrivate::HearingId(const Str& value) {
    hearingNamed_ = !value.empty();
    hearingId_ = hearingNamed_ ? value : newHearingId();
    journalCaseFields();
}

bool DalmurePrivate::otherHearing(const Str& hearingId, const journal::CaseFields& fields) const {
    if (hearingNamed_ && !hearingId.empty())
        return hearingId != hearingId_;
    // Without identities to compare, the case number: a control holds a hearing once it has one
    // or an annotation.
    const bool holdsHearing = !NoDossier.empty() || list_.count() > 0;
    return holdsHearing && fields.noDossier != NoDossier;
}

void DalmurePrivate::renameAnnotation(std::int32_t index, const Str& description) {
    if (index < 0 || index >= AnnoCount())
        return;
    platform::Grid& g = grid();
    const std::int32_t row = g.row();
    const std::int32_t col = g.col();
    g.setCol(1);
    g.setRow(2 * index);
    g.setText(description);
    g.setCol(col);
    g.setRow(row);
    renamed(static_cast<std::int16_t>(index), description);
}

void DalmurePrivate::replaceNotes(std::int32_t index, const Str& notes) {
    if (index < 0 || index >= AnnoCount())
        return;
    const bool shown = editorState_.isOpen() && iSelected == index &&
                       notesEditor().text() == editorState_.startText();
    setNotes(index, notes);
    if (shown) {
        notesEditor().setText(notes);
        editorState_.focusTaken(notes);
    }
    if (events_ != nullptr)
        events_->AnnoModified(static_cast<std::int16_t>(index));
}

// --- Recovery ----------------------------------------------------------------------------

std::vector<journal::FoundJournal> DalmurePrivate::RecoverableSessions() {
    journal::Recovery recovery(
        appFolder(), kJournalFolder,
        [this](std::int32_t number, const Str& description) {
            writeLogLine(number, description, kJournalLabel);
        },
        &damagedReported_);
    // This control's own journal is in use, and so never listed.
    std::vector<journal::FoundJournal> found = recovery.list();
    for (journal::FoundJournal& f : found)
        f.otherHearing = !f.damaged && otherHearing(f.hearingId, f.caseFields);
    return found;
}

bool DalmurePrivate::DiscardSession(const std::string& id) {
    if (journal_ && journal_->id() == id)
        return false;
    journal::Recovery recovery(
        appFolder(), kJournalFolder,
        [this](std::int32_t number, const Str& description) {
            writeLogLine(number, description, kJournalLabel);
        },
        &damagedReported_);
    return recovery.discard(id);
}

std::int32_t DalmurePrivate::addRecovered(const journal::Annotation& a) {
    const std::int32_t before = AnnoCount();
    Str time = a.time;
    Str desc = a.description;
    Str noData;
    AnnoAdd(time, desc, noData);
    // The new annotation is selected; anything else means the list could not take it (logged).
    const std::int32_t k = iSelected;
    if (AnnoCount() != before + 1 || k < 0 || AnnoTime(k) != time || AnnoDesc(k) != desc)
        return -1;
    return k;
}

bool DalmurePrivate::RecoverSession(const std::string& id, bool intoOtherHearing) {
    if (journal_ && journal_->id() == id)
        return false;
    journal::Recovery recovery(
        appFolder(), kJournalFolder,
        [this](std::int32_t number, const Str& description) {
            writeLogLine(number, description, kJournalLabel);
        },
        &damagedReported_);
    std::optional<journal::Recovered> found = recovery.replay(id);
    if (!found)
        return false;
    journal::Recovered& session = *found;
    const bool other = otherHearing(session.hearingId, session.caseFields);
    if (other && !intoOtherHearing) {
        // What was compared: the hearings' identities, else their case numbers.
        const bool byId = hearingNamed_ && !session.hearingId.empty();
        const Str what = byId ? u"hearing " : u"NoDossier ";
        writeLogLine(errors::kInvalidProcedureCall,
                     u"Session " + fromUtf8(id) + u" is of " + what +
                         (byId ? session.hearingId : session.caseFields.noDossier) +
                         u", not of this control's " + what + (byId ? hearingId_ : NoDossier) +
                         u": not recovered",
                     label::recoverSession);
        return false;
    }
    if (session.live && session.live->annotation >= 0 &&
        session.live->annotation < static_cast<std::int32_t>(session.annotations.size()))
        session.annotations[static_cast<std::size_t>(session.live->annotation)].notes =
            session.live->text;

    // Another hearing's case fields are not this one's.
    if (!other) {
        if (NoDossier.empty())
            NoDossier = session.caseFields.noDossier;
        if (DateCreated.empty())
            DateCreated = session.caseFields.dateCreated;
        if (UserName.empty())
            UserName = session.caseFields.userName;
    }

    trap(label::recoverSession, [&] {
        commitPendingEdit();
        // An annotation is known by its identity in the list: its time, its description and its
        // place among those of the same time and description. The n-th recovered annotation of
        // a time and description is the n-th of the list (one the host added again), and is
        // added when the list has fewer; a new one goes after those of its time, so that it is
        // the n-th then. Two annotations stamped the same second thus keep their own notes.
        // Into another hearing nothing is matched: each annotation comes in as a new one with
        // its notes, and the list's annotations and notes are left as they are.
        std::map<std::pair<Str, Str>, int> seen;
        const auto occurrence = [&](const journal::Annotation& a, int n) -> std::int32_t {
            const std::int32_t count = AnnoCount();
            for (std::int32_t k = 0; k < count; ++k)
                if (AnnoTime(k) == a.time && AnnoDesc(k) == a.description && n-- == 0)
                    return k;
            return -1;
        };
        for (const journal::Annotation& a : session.annotations) {
            const int n = seen[{a.time, a.description}]++;
            std::int32_t k = other ? -1 : occurrence(a, n);
            if (k < 0) {
                k = addRecovered(a);
                if (k < 0)
                    continue;
                if (feed_)
                    feed_->recovered(k);
                if (events_ != nullptr)
                    events_->AnnoRecovered(static_cast<std::int16_t>(k));
            }
            if (!a.notes.empty() && AnnoData(k) != a.notes) {
                setNotes(k, a.notes);
                if (events_ != nullptr)
                    events_->AnnoModified(static_cast<std::int16_t>(k));
            }
        }
        // The editor opens again on the selection, holding its notes as they are now.
        if (iSelected >= 0 && AnnoCount() > 0) {
            grid().setCol(1);
            grid().setRow(2 * std::int32_t{iSelected} + 1);
            onGridClick();
        }
    });
    PlaceEditor();
    recovery.discard(id);
    return true;
}

} // namespace dalmure
