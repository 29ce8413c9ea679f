// What the journal writer and the recovery share: the file names of a journal, its schema, the
// folder it lives in, small owners of SQLite handles, and the mapping of failures to the file
// error numbers the control logs.
#pragma once

#include "journal/journal.h"
#include "journal/live_slot.h"
#include "support/files.h"

#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace dalmure::journal::detail {

// "JRNL": the mark that tells a journal from any other SQLite file.
inline constexpr std::int32_t kApplicationId = 0x4A524E4C;
inline constexpr int kSchemaVersion = 1;

// Record kinds, as stored.
enum class Kind : int { Added = 1, Deleted = 2, Renamed = 3, Notes = 4, Cleared = 5 };

// The files of journal id.
inline std::string dbName(std::string_view id) {
    return std::string(id) + ".db";
}
inline std::string lockName(std::string_view id) {
    return std::string(id) + ".lock";
}
inline std::string newName(std::string_view id) {
    return std::string(id) + ".db.new";
}
// The editor's text as it is typed (journal/live_slot.h).
inline std::string slotName(std::string_view id) {
    return std::string(id) + ".live";
}
// Every name a journal may leave, its lock last.
std::vector<std::string> allNames(std::string_view id);

// An id a journal may carry: letters, digits, '-' and '_', not starting with a dot.
bool plausibleId(std::string_view id);

// The names in a folder, read through its descriptor.
std::vector<std::string> namesIn(const files::Folder& folder);

// The journals' folder, opened without following a link and made 0700; created when create is
// set, nothing when it does not exist otherwise. Throws ControlError, its description naming the
// folder.
std::optional<files::Folder> openJournalFolder(const Str& appFolder, std::string_view folderName,
                                               bool create);

// The path SQLite is given for name in folder, after checking that the folder's path still leads
// to the very folder that was opened. Empty when it does not.
std::string pathIn(const files::Folder& folder, const std::string& name);

// An exclusive flock on id's lock file, created 0600 when missing. Invalid when another process
// (or another descriptor of this one) holds it.
class Lock {
  public:
    Lock() = default;
    static Lock tryTake(const files::Folder& folder, const std::string& id, bool create,
                        int* error);
    // The same lock through a read-only descriptor, for a lock file that cannot be opened for
    // writing (a read-only folder or file system). Never creates it.
    static Lock tryTakeToRead(const files::Folder& folder, const std::string& id, int* error);
    Lock(Lock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Lock& operator=(Lock&& other) noexcept;
    ~Lock();
    explicit operator bool() const { return fd_ >= 0; }

  private:
    explicit Lock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

class Db {
  public:
    Db() = default;
    explicit Db(sqlite3* db) : db_(db) {}
    Db(Db&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
    Db& operator=(Db&& other) noexcept;
    ~Db();
    sqlite3* get() const { return db_; }
    explicit operator bool() const { return db_ != nullptr; }
    void reset();

  private:
    sqlite3* db_ = nullptr;
};

class Stmt {
  public:
    Stmt() = default;
    Stmt(sqlite3* db, const char* sql); // invalid (get() null) when it cannot be prepared
    Stmt(Stmt&& other) noexcept : st_(other.st_) { other.st_ = nullptr; }
    Stmt& operator=(Stmt&& other) noexcept;
    ~Stmt();
    sqlite3_stmt* get() const { return st_; }

  private:
    sqlite3_stmt* st_ = nullptr;
};

// Text is stored as its UTF-16 code units, so that whatever the control holds (lone surrogates
// included) comes back unchanged.
int bindText(sqlite3_stmt* st, int column, const Str& text);
Str columnText(sqlite3_stmt* st, int column);

// The file error number for an SQLite result (the system error behind it when there is one).
std::int32_t errorNumber(int sqliteCode, int systemErrno);
std::int32_t errorNumberForErrno(int err);

// One line for the log: what failed, on which file, and why.
Str describe(const std::string& what, const std::string& native, const std::string& why);

// Reads journal file `path` (the recovery's side): never writes to the database file itself.
// The live slot, when there is one to trust, holds the editor's text in place of the database's
// copy of it (the slot is always the newer). Returns the contents or, through problem, why it
// cannot be read.
std::optional<Recovered> readJournal(const std::string& path, std::string& problem,
                                     const std::optional<SlotState>& slot = std::nullopt);

// The first bytes of a file that claims to be a journal: an SQLite header with our mark.
bool looksLikeJournal(const files::Folder& folder, const std::string& name, std::string& problem);
// A journal's WAL, checked before SQLite opens it (SQLite takes a WAL whose header is not valid
// for an empty one): missing, empty, or a regular file with a valid WAL header. Anything else in
// its place (a FIFO, a link, a device) is refused without being opened or read.
bool looksLikeWal(const files::Folder& folder, const std::string& name, std::string& problem);

std::int64_t systemNow();

} // namespace dalmure::journal::detail
