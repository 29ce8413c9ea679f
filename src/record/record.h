// The hearing record: every hearing of a court and its annotations, kept by a database that
// several stations share (PostgreSQL) or in the application folder (SQLite, the default).
//
// What the record holds is made of changes: each add, rename, notes commit, delete or clear of a
// station is a Change with an identity of its own (128 random bits in hex), kept in an
// append-only table (who, where, when) and applied to the hearing's current state (hearings,
// annotations) in the same transaction. A change applied twice is applied once, so a station
// that is not sure its change arrived simply sends it again. Within a hearing the changes are
// numbered in the order the record applied them (seq); a station asks for those after the last
// it saw.
//
// Notes: a notes commit names the notes it replaces (base, the change that wrote them). The later
// commit is the annotation's notes; the text it replaced is kept in the annotation's history,
// marked as a conflict when the station did not know it (two stations committed one note).
//
// History: since the changes are never updated nor removed, every state the record held is kept.
// annotationHistory() tells one annotation's changes (added, renamed, notes, deleted) with the
// text before and after each; loadAsOf() is a hearing as it stood at a past time.
//
// Search: the words of the annotations' descriptions and notes, without regard to case or
// accents ("temoin" finds "Témoin"), each word of the query also found as the start of a longer
// word; all the words must be found. Hits come best first with a snippet in which each word
// found lies between kMarkStart and kMarkEnd (the same marks on both databases); text left out
// of a snippet is shown as "…". Best first: the best of every match when at most 2,000
// annotations match. On PostgreSQL, when more match, the hits are the best of 2,000 of them, the
// first the server reads (in the order it keeps them, not by date), so a better match may be
// missed: another word or a filter (case, room, dates, author) brings it back among them.
// SQLite ranks every match.
//
// Access: each hearing has a level. On PostgreSQL the server decides who sees what (row-level
// security on every table, for every role but the tables' owner, which stations never are: a
// role that may not see a hearing finds no trace of it in lists, search, history or load, and
// cannot change it). SQLite has one user, who sees everything.
#pragma once

#include "support/text.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dalmure::record {

// 128 random bits as 32 lowercase hex digits.
std::string newId();

// Recover marks an annotation that a station added back from its crash journal (the Add before
// it made it; its notes follow as a Notes change).
enum class Kind { Hearing, Add, Rename, Notes, Delete, Clear, Access, Recover };
std::string_view kindName(Kind kind);
std::optional<Kind> kindFromName(std::string_view name);

// Who may see a hearing: public (every role), confidential (members of dalmure_confidential),
// sealed (members of dalmure_sealed; the others do not see that it exists). Names as stored:
// "public", "confidential", "sealed".
enum class Access { Public, Confidential, Sealed };
std::string_view accessName(Access access);
std::optional<Access> accessFromName(std::string_view name);

// The case fields and place of a hearing, as a Hearing change carries them.
struct Hearing {
    std::string id;
    Str noDossier, dateCreated, userName, room, station;
    std::int64_t createdAt = 0; // ms since the epoch
    Access access = Access::Public;
    bool operator==(const Hearing&) const = default;
};

struct Annotation {
    std::string id;
    Str time, description, notes, author, station;
    std::string notesChange; // the change that wrote the notes ("" when none)
    bool operator==(const Annotation&) const = default;
};

struct Change {
    std::string id;
    std::string hearing;
    Kind kind = Kind::Add;
    std::string annotation;       // Add, Rename, Notes, Delete
    Str time, description, notes; // Add: time, description; Rename: description; Notes: notes
    Hearing fields;               // Hearing: the case fields (fields.id is unused);
                                  // Access: fields.access
    std::string base;             // Notes: the change that wrote the notes it replaces
    Str author, station;
    std::int64_t at = 0;  // ms since the epoch, at the station
    std::int64_t seq = 0; // the record's order within the hearing (0 until applied)
    bool operator==(const Change&) const = default;
};

// A notes text an annotation no longer shows.
struct NotesVersion {
    Str notes, author, station;
    std::string change, replacedBy;
    std::int64_t at = 0;
    bool conflict = false;
};

struct Loaded {
    Hearing hearing;
    std::vector<Annotation> annotations; // in the order they were added
    std::int64_t seq = 0;                // the last change applied to the hearing
};

// One change of an annotation's history. before/after: Add: "" and the description; Rename: the
// old and new description; Notes: the old and new notes (conflict: the station did not know the
// old text); Delete and Clear: the description and ""; Recover: "" and the description.
struct HistoryEntry {
    Kind kind = Kind::Add;
    Str before, after, author, station;
    std::int64_t at = 0;  // ms since the epoch, at the station
    std::int64_t seq = 0; // the record's order within the hearing
    std::string change;
    bool conflict = false;
};

// The marks around each word a search found, in SearchHit::snippet.
inline constexpr char16_t kMarkStart = u'\x02';
inline constexpr char16_t kMarkEnd = u'\x03';

struct SearchQuery {
    Str words;                        // what the user typed; at least one word
    std::optional<std::int64_t> from; // the hearing created at or after (ms since the epoch)
    std::optional<std::int64_t> to;   // ... and before
    Str noDossier, room, author;      // exact; empty: any (author: who added the annotation)
    int limit = 50;
};

struct SearchHit {
    std::string hearing, annotation;
    Str noDossier, room, time, description;
    Str snippet; // from the description and the notes, words found marked
    std::int64_t hearingCreatedAt = 0;
    double rank = 0; // higher is better; comparable only within one search
};

// A problem worth a log line.
using Report = std::function<void(const std::string& description)>;

// One database holding hearings. Calls return nothing (nullopt, false) when the database cannot
// be reached; the next call tries to connect again.
class Store {
  public:
    virtual ~Store();
    virtual bool shared() const = 0; // a server that other machines reach
    virtual bool reachable() = 0;
    // Applies change (once: a change already applied is left alone). The seq it has in the
    // hearing, nullopt when the record could not be written.
    virtual std::optional<std::int64_t> apply(const Change& change) = 0;
    // Applies changes in order, each as apply() would, in one transaction: all of them, or none
    // (nullopt). The seq of the last one (0 when there is none). The other connections are told
    // once per hearing changed, not once per change.
    virtual std::optional<std::int64_t> applyAll(std::span<const Change> changes) = 0;
    // The hearing's changes after seq, in order.
    virtual std::optional<std::vector<Change>> changesAfter(const std::string& hearing,
                                                            std::int64_t seq) = 0;
    virtual std::optional<Loaded> load(const std::string& hearing) = 0;
    virtual std::optional<std::vector<Hearing>> hearings() = 0;
    virtual std::optional<std::vector<NotesVersion>> history(const std::string& annotation) = 0;
    // Every change of the annotation, in the record's order (empty when there is none, or the
    // hearing is not one this user may see).
    virtual std::optional<std::vector<HistoryEntry>>
    annotationHistory(const std::string& annotation) = 0;
    // The hearing as the changes made (at the station) up to at, inclusive, left it; nullopt also
    // when it had no change by then (or is not one this user may see).
    virtual std::optional<Loaded> loadAsOf(const std::string& hearing, std::int64_t at) = 0;
    // Annotations (not deleted) of the hearings this user may see, best first (on PostgreSQL
    // among at most 2,000 of the matches, see Search above), at most query.limit; nullopt also
    // when the query has no word.
    virtual std::optional<std::vector<SearchHit>> search(const SearchQuery& query) = 0;
    // Sets the hearing's level as a change (an Access change) by author at station; false when
    // the record could not be written or the database refused (PostgreSQL: a role may only give
    // a level it may see itself).
    virtual bool setAccess(const std::string& hearing, Access access, const Str& author,
                           const Str& station, std::int64_t at) = 0;
    // Whether the database decides who sees which hearing (false: one user sees everything).
    virtual bool enforcesAccess() const = 0;
    // A descriptor that becomes readable when another connection changed a hearing (-1: none,
    // poll instead); and the hearings it told about since the last call ("": a hearing that is
    // not public, not named to every role).
    virtual int descriptor() = 0;
    virtual std::vector<std::string> changedHearings() = 0;
    // The changes of hearing that the notifications gathered by the last changedHearings()
    // carried, in the record's order (empty when none told of it); nullopt when one told of it
    // without its changes (too large to be told): they are to be fetched.
    virtual std::optional<std::vector<Change>> told(const std::string& hearing) = 0;
};

// The store a connection string names: "" (or "sqlite:") is HearingRecord.db in appFolder,
// "sqlite:PATH" that file; anything else a libpq connection string or URI (postgresql://...).
std::unique_ptr<Store> openStore(const std::string& connection, const Str& appFolder,
                                 Report report);
// The connection string of the application folder's client INI file ([Record] Server=; "" when
// it names none).
std::string configuredServer(const Str& appFolder);

} // namespace dalmure::record
