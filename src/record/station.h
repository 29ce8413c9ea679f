// A station on a hearing: a control whose list is the hearing's, kept in the record (record.h).
//
// The station follows the control's changes (control/change_feed.h) and queues each as a Change
// in its outbox, an SQLite file of the application folder (Outbox.db), before anything is sent:
// a station whose server is unreachable keeps working and loses nothing. poll() sends what is
// queued, in order (each change once: the record drops a change it already has), and brings
// into the control, through its own members, what other stations changed since the last change
// it saw. The host calls poll() often (every 100 ms, or when descriptor() is readable).
//
// Two stations committing one annotation's notes: the commit the record applied later is the
// notes; the other text stays in the annotation's history and both hosts are told (conflict).
//
// On a server, the station also keeps a copy of each hearing it opened, as it last saw it with
// its own changes, in HearingCopy.db of the application folder: a hearing opened while the
// server is unreachable comes from there, and the station works on it as usual (its changes
// wait in the outbox; what the others did arrives when the server is back). Its own changes
// reach the copy as they are queued; the others', once they are in the control, at most a second
// later, in one transaction (at once when the server is lost or the station goes).
//
// On a server, the notification of a change of a public hearing carries the changes themselves
// (store.cpp): while they follow the last change the station has, without a gap, it applies them
// without asking the record; otherwise (a gap, a change too large to be told, a hearing that is
// not public) it asks for every change after the last it has.
#pragma once

#include "control/change_feed.h"
#include "record/record.h"
#include "record/sql.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dalmure {
class DalmurePrivate;
}

namespace dalmure::record {

enum class Link { Connected, Offline, Sending };

// Two stations committed one annotation's notes; kept is its notes now, replaced is in history.
struct Conflict {
    std::int32_t index = -1; // in the control's list
    std::string annotation;
    Str kept, replaced, keptStation, replacedStation;
};

struct StationOptions {
    Str author;          // who annotates (the clerk's name)
    Str station;         // this machine's name
    Str room;            // the courtroom, for the hearings this station creates
    bool follow = false; // read-only: the station shows the hearing and sends nothing
    std::function<void(const Conflict&)> conflict;
    std::function<void(Link link, std::size_t pending)> linkChanged;
    Report report;
};

class Station final : private ChangeFeed {
  public:
    // Attaches to control (which must outlive the station); the outbox is in control's
    // application folder.
    Station(DalmurePrivate& control, std::unique_ptr<Store> store, StationOptions options);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // A new hearing holding what the control holds now; its id ("" when the outbox cannot be
    // written). Works offline: the hearing reaches the record with the rest of the queue.
    std::string create();
    // Empties the control and loads hearing id into it (its case fields, then AnnoAdd of each
    // annotation in order); false when neither the record nor the station's copy of it has
    // such a hearing. From the copy, the link stays Offline until the server answers.
    bool open(const std::string& id);
    // Empties the control and loads the hearing as it stood at at (ms since the epoch, the
    // stations' clocks): a view of the past that the station neither follows nor changes.
    bool openAsOf(const std::string& id, std::int64_t at);
    // The host changed the control's case fields: they are queued now rather than with the
    // next change of the list.
    void caseFieldsChanged() { queueCaseFields(); }

    void poll();
    int descriptor() { return store_->descriptor(); }

    Link link() const { return link_; }
    std::size_t pending();
    const std::string& hearing() const { return hearing_; }
    // The identity of annotation index of the control ("" when there is none).
    std::string annotationId(std::int32_t index) const;
    Store& store() { return *store_; }

  private:
    void added(std::int32_t index, const Str& time, const Str& description) override;
    void deleted(std::int32_t index) override;
    void renamed(std::int32_t index, const Str& description) override;
    void notesCommitted(std::int32_t index, const Str& notes) override;
    void cleared() override;
    void recovered(std::int32_t index) override;

    bool show(const std::string& id, std::optional<Loaded> loaded, bool attach, Link link);
    bool queue(Change change);
    void queueCaseFields();
    bool send();
    bool receive(bool toldOnly);
    // The changes told_ holds that follow cursor_ without a gap; nullopt when one is missing.
    std::optional<std::vector<Change>> takeTold();
    void applyForeign(const Change& c);
    void select(std::int32_t index);
    void reselect(const std::string& annotation); // when it is still in the list
    std::int32_t indexOf(const std::string& annotation) const;
    bool known(const std::string& change);
    // The copy: brought up to the record's seq for hearing id, and what it holds.
    void refreshCopy(const std::string& id);
    // Writes what the copy is still to take (see copyPending_).
    void writeCopy();
    std::int64_t copied(const std::string& id);
    void keepCopied(const std::string& id, std::int64_t seq);
    void setLink(Link link);
    bool targets(std::int32_t index) const;

    struct Written {
        std::string change;
        Str notes, station;
    };

    DalmurePrivate& control_;
    std::unique_ptr<Store> store_;
    StationOptions options_;
    std::unique_ptr<Store> copy_; // on a server only
    std::unique_ptr<Sql> outbox_;
    bool outboxReady_ = false;
    std::string hearing_;
    std::int64_t cursor_ = 0;
    std::vector<std::string> ids_;             // the control's list, by identity
    std::map<std::string, std::string> shown_; // annotation -> the notes change the control shows
    std::map<std::string, Str> shownText_;     // annotation -> those notes
    std::map<std::string, Written> current_;   // annotation -> the record's notes, as seen
    Str dossier_, date_, user_;                // the case fields as sent
    std::string applying_;     // the annotation a change from elsewhere is being applied to
    bool applyingAll_ = false; // a clear from elsewhere
    // The annotations a hearing being opened brings, and the next one the control will add.
    const std::vector<Annotation>* loading_ = nullptr;
    std::size_t loadingNext_ = 0;
    Link link_ = Link::Offline;
    bool fetchDue_ = true;
    // The hearing's changes the notifications carried, not yet applied: while they follow the
    // cursor without a gap, the station applies them without asking the record.
    std::vector<Change> told_;
    // What other stations changed in hearing copyHearing_ since copyFrom_ (the record's seq),
    // not yet in the copy: written at most once per kCopyEvery, in one transaction, and before
    // the copy is read or the station goes (the record holds it meanwhile).
    std::vector<Change> copyPending_;
    std::string copyHearing_;
    std::int64_t copyFrom_ = 0;
    std::chrono::steady_clock::time_point copyWritten_{};
};

} // namespace dalmure::record
