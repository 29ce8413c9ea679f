// The journal: what a control's list and editor hold, kept on disk as it changes, so that a
// crash, a kill or a power cut loses nothing the clerk typed.
//
// Each control instance writes its own journal (an SQLite database in WAL mode) in a folder of
// the application folder, e.g. "Recovery". Every record is a committed transaction before the
// call that writes it returns true: a killed process loses nothing. (A database that cannot be
// written at once keeps the call from waiting: the record waits in memory and the call returns
// false; see below.) A background thread brings the
// journal to the disk a short while after the first change that is not there yet (never more
// than one second, never more than a few times a second), so that typing never waits for a disk.
//
// The folder is 0700 and every file in it 0600 (court notes can be confidential); the folder is
// never reached through a link. A journal in use is locked (flock on a side file): no other
// instance lists, replays or discards it. A clean close removes the journal; a journal left by a
// process that ended any other way is found by Recovery, summarized, replayed and discarded.
//
// Nothing here throws. A journal that cannot be started (read-only folder, full disk) is reported
// once through the Report callback and then does nothing. A journal that started and then cannot
// be written (another process holding the database's lock, a full disk, an I/O error) keeps the
// changes in memory, in order, and writes them as soon as it can: reported once when it starts
// failing and once when it holds everything again. A damaged journal is reported and left as it
// is.
#pragma once

#include "support/text.h"

#include <dalmure/session.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dalmure::journal {

// A problem worth one log line: a file error number (61 disk full, 70 permission denied, 57 device
// I/O error, 75 path/file access error) and a description naming the file.
using Report = std::function<void(std::int32_t number, const Str& description)>;

// The hearing's identity is kept with the case fields: a session knows the hearing it belongs to.
enum class CaseField : int { NoDossier = 1, DateCreated = 2, UserName = 3, HearingId = 4 };

struct Annotation {
    Str time, description, data, notes;
    bool operator==(const Annotation&) const = default;
};

// Text the editor held for an annotation and that was not committed as its notes.
struct LiveText {
    std::int32_t annotation = 0;
    Str text;
    bool operator==(const LiveText&) const = default;
};

// Everything a journal holds, in plain data.
struct Recovered {
    CaseFields caseFields;
    Str hearingId;                       // empty for a journal that never recorded one
    std::vector<Annotation> annotations; // in list order, with their committed notes
    std::optional<LiveText> live;        // refers to an index of annotations
    std::int64_t lastChange = 0;         // ms since the epoch, 0 when nothing was recorded
};

struct JournalOptions {
    Report report;
    // How long after the first change not yet on the disk the journal is synced. Changes made
    // meanwhile ride along with that sync.
    std::chrono::milliseconds syncDelay{250};
    // Once the WAL holds this many pages, the sync thread moves them into the database file.
    int checkpointPages = 1000;
    // Time source for the time of each change (ms since the epoch); the system clock when empty.
    std::function<std::int64_t()> now;
    // Called on the sync thread each time what was recorded reached the disk.
    std::function<void()> synced;
};

// One instance's journal. Its calls are made from one thread (the control's); the report comes
// on that thread too, a failure of the sync thread at the next call.
class Journal {
  public:
    // Starts a new journal in appFolder/folderName (created 0700 when missing). A journal that
    // cannot be started is reported and returned not working: every call then does nothing.
    static std::unique_ptr<Journal> start(const Str& appFolder, std::string_view folderName,
                                          JournalOptions options);

    // Keeps the journal on disk (synced) for a later recovery: the end of a control that was not
    // closed cleanly.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Records. Each returns true once the record, and every one before it, is in the journal;
    // false when it waits in memory for a database that cannot be written now (never more than a
    // frame's wait: written later, in order) or when the journal does not work. Indexes are the
    // list's, 0-based, as the list is when the change is made.
    bool added(std::int32_t index, const Str& time, const Str& description, const Str& data);
    bool deleted(std::int32_t index);
    bool renamed(std::int32_t index, const Str& description);
    bool notesCommitted(std::int32_t index, const Str& notes);
    bool cleared();
    // Many annotations added at once (a hearing opened from elsewhere), in one transaction:
    // each as added() then, with notes, notesCommitted() would record it.
    struct Added {
        std::int32_t index = 0;
        Str time, description, notes;
    };
    bool addedAll(const std::vector<Added>& batch);
    bool caseField(CaseField field, const Str& value);
    // Records made from hold() to release() wait in memory and go in one transaction at
    // release() (changes made elsewhere, applied one after the other): each returns false
    // meanwhile, and release() answers for them all. The editor's text is never written before
    // the records held: they go first; so does the end of the journal.
    void hold();
    bool release();
    // The editor's whole text for annotation index, replacing the previous live text. Committed
    // notes for that annotation, its deletion or a clear end it; so does liveTextDropped().
    bool liveText(std::int32_t index, const Str& text);
    bool liveTextDropped();

    // The end of a control that closes normally: the journal is removed.
    void close();

    bool working() const;
    // Changes wait in memory for the database.
    bool behind() const;
    const std::string& id() const;
    // Brings what was recorded to the disk now (tests and the benchmark; the sync thread does it
    // on its own otherwise).
    void syncNow();

    struct Impl;

  private:
    explicit Journal(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The journals of a folder that were not closed cleanly. Journals in use are never touched.
//
// A journal is checked before it is read: its database with SQLite's quick check on a read-only
// connection, its WAL (and shared-memory file) by kind and header without ever being opened by
// SQLite when they are not what they claim to be, so that a FIFO put in their place never blocks
// and a WAL overwritten with other bytes is not taken for an empty one. A folder that cannot be
// written is read all the same (a journal whose lock cannot be taken, nor made, is in use by
// nobody: no journal is written there).
class Recovery {
  public:
    // reported: the damaged journals already reported, kept by the caller so that each is
    // reported once however many Recovery objects it makes (one per Recovery when null).
    Recovery(const Str& appFolder, std::string_view folderName, Report report,
             std::set<std::string>* reported = nullptr);
    ~Recovery();
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    // The journals left behind, oldest first; a damaged one is reported (once per Recovery) and
    // listed with its problem. A folder that does not exist holds none.
    std::vector<FoundJournal> list();
    // The contents of journal id; nothing when it is in use, missing or damaged (reported).
    std::optional<Recovered> replay(const std::string& id);
    // Removes journal id (damaged or not); false when it is in use or cannot be removed.
    bool discard(const std::string& id);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// How many sessions left behind are kept, for how long, in how much room: the ORClient.INI
// [Journal] section's MaxSessions, MaxAgeDays and MaxTotalMB.
struct SessionLimits {
    int maxSessions = 20;
    int maxAgeDays = 30;
    int maxTotalMB = 512;
};

// Removes the journals left behind in appFolder/folderName that are past limits, the least
// recently changed first, one report line each (number 0), leaving room for one more session.
// A journal in use is never removed (nor counted out); a missing folder holds none.
void keepSessionsWithin(const Str& appFolder, std::string_view folderName,
                        const SessionLimits& limits, const Report& report);

} // namespace dalmure::journal
