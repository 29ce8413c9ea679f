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
#pragma once

#include "support/text.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dalmure::record {

// 128 random bits as 32 lowercase hex digits.
std::string newId();

enum class Kind { Hearing, Add, Rename, Notes, Delete, Clear };
std::string_view kindName(Kind kind);
std::optional<Kind> kindFromName(std::string_view name);

// The case fields and place of a hearing, as a Hearing change carries them.
struct Hearing {
    std::string id;
    Str noDossier, dateCreated, userName, room, station;
    std::int64_t createdAt = 0; // ms since the epoch
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
    Hearing fields;               // Hearing: the case fields (fields.id is unused)
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
    // The hearing's changes after seq, in order.
    virtual std::optional<std::vector<Change>> changesAfter(const std::string& hearing,
                                                            std::int64_t seq) = 0;
    virtual std::optional<Loaded> load(const std::string& hearing) = 0;
    virtual std::optional<std::vector<Hearing>> hearings() = 0;
    virtual std::optional<std::vector<NotesVersion>> history(const std::string& annotation) = 0;
    // A descriptor that becomes readable when another connection changed a hearing (-1: none,
    // poll instead); and the hearings it told about since the last call.
    virtual int descriptor() = 0;
    virtual std::vector<std::string> changedHearings() = 0;
};

// The store a connection string names: "" (or "sqlite:") is HearingRecord.db in appFolder, "sqlite:PATH"
// that file; anything else a libpq connection string or URI (postgresql://...).
std::unique_ptr<Store> openStore(const std::string& connection, const Str& appFolder,
                                 Report report);
// The connection string of the application folder's client INI file ([Record] Server=; "" when
// it names none).
std::string configuredServer(const Str& appFolder);

} // namespace dalmure::record
