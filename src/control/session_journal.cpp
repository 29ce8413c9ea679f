// The control's journal: every change to the list, the case fields and the notes being typed,
// recorded as it happens (see journal/journal.h), and the recovery of a session that ended
// without closing.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "journal/journal.h"
#include "support/log_labels.h"

#include <map>
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
    journal::Recovery recovery(appFolder(), kJournalFolder,
                               [this](std::int32_t number, const Str& description) {
                                   writeLogLine(number, description, kJournalLabel);
                               });
    std::vector<journal::FoundJournal> found = recovery.list();
    // This control's own journal is in use, and so never listed.
    return found;
}

bool DalmurePrivate::DiscardSession(const std::string& id) {
    if (journal_ && journal_->id() == id)
        return false;
    journal::Recovery recovery(appFolder(), kJournalFolder,
                               [this](std::int32_t number, const Str& description) {
                                   writeLogLine(number, description, kJournalLabel);
                               });
    return recovery.discard(id);
}

bool DalmurePrivate::RecoverSession(const std::string& id) {
    if (journal_ && journal_->id() == id)
        return false;
    journal::Recovery recovery(appFolder(), kJournalFolder,
                               [this](std::int32_t number, const Str& description) {
                                   writeLogLine(number, description, kJournalLabel);
                               });
    std::optional<journal::Recovered> found = recovery.replay(id);
    if (!found)
        return false;
    journal::Recovered& session = *found;
    if (session.live && session.live->annotation >= 0 &&
        session.live->annotation < static_cast<std::int32_t>(session.annotations.size()))
        session.annotations[static_cast<std::size_t>(session.live->annotation)].notes =
            session.live->text;

    if (NoDossier.empty())
        NoDossier = session.caseFields.noDossier;
    if (DateCreated.empty())
        DateCreated = session.caseFields.dateCreated;
    if (UserName.empty())
        UserName = session.caseFields.userName;

    trap(label::recoverSession, [&] {
        commitPendingEdit();
        // Annotations already in the list (the host added them again) are matched by time and
        // description: the n-th recovered annotation of a time and description goes with the
        // n-th in the list, and is added only when the list has fewer.
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
            std::int32_t k = occurrence(a, n);
            const bool added = k < 0;
            if (added) {
                Str time = a.time;
                Str desc = a.description;
                Str noData;
                AnnoAdd(time, desc, noData);
                k = occurrence(a, n);
                if (k < 0)
                    continue; // the list could not take it (logged by the add)
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
