// The journal's shared pieces: folder, lock, SQLite owners, errors, and reading a journal back.
#include "journal/journal_db.h"

#include "support/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure::journal::detail {

std::vector<std::string> allNames(std::string_view id) {
    const std::string db = dbName(id), fresh = newName(id);
    return {slotName(id),   db + "-wal",    db + "-shm", db,          fresh + "-journal",
            fresh + "-wal", fresh + "-shm", fresh,       lockName(id)};
}

bool plausibleId(std::string_view id) {
    return !id.empty() && id.front() != '.' && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '_';
    });
}

std::vector<std::string> namesIn(const files::Folder& folder) {
    std::vector<std::string> out;
    const int fd = ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return out;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return out;
    }
    while (const dirent* entry = ::readdir(dir))
        out.emplace_back(entry->d_name);
    ::closedir(dir);
    return out;
}

std::optional<files::Folder> openJournalFolder(const Str& appFolder, std::string_view folderName,
                                               bool create) {
    std::optional<files::Folder> folder;
    try {
        files::Folder app = files::Folder::open(appFolder);
        if (!create && app.kind(folderName) == files::Folder::Kind::Missing)
            return std::nullopt;
        folder.emplace(app.sub(folderName));
    } catch (const ControlError& e) {
        throw ControlError(e.number(), describe("Journal folder",
                                                toUtf8(appFolder) + "/" + std::string(folderName),
                                                toUtf8(e.description())));
    }
    // A folder we own that others may read is closed to them: the notes are the user's alone.
    struct stat st {};
    if (::fstat(folder->descriptor(), &st) == 0 && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0)
        ::fchmod(folder->descriptor(), 0700);
    return folder;
}

std::string pathIn(const files::Folder& folder, const std::string& name) {
    // SQLite refuses a path with a link anywhere in it (it is opened with SQLITE_OPEN_NOFOLLOW),
    // and the application folder's own path may hold links: it is given the folder's path with
    // them resolved. Resolved or not, it must still lead to the very folder that was opened.
    char* resolved = ::realpath(folder.path().c_str(), nullptr);
    if (!resolved)
        return {};
    std::string real(resolved);
    std::free(resolved);
    struct stat byPath {
    }, opened{};
    if (::stat(real.c_str(), &byPath) != 0 || ::fstat(folder.descriptor(), &opened) != 0 ||
        byPath.st_dev != opened.st_dev || byPath.st_ino != opened.st_ino)
        return {};
    return real + "/" + name;
}

// --- Lock -----------------------------------------------------------------------------------

Lock Lock::tryTake(const files::Folder& folder, const std::string& id, bool create, int* error) {
    const std::string name = lockName(id);
    int flags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (create)
        flags |= O_CREAT;
    int fd;
    do {
        fd = ::openat(folder.descriptor(), name.c_str(), flags | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error)
            *error = errno;
        return {};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = EACCES;
        return {};
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (error)
            *error = errno;
        ::close(fd);
        return {};
    }
    return Lock(fd);
}

Lock Lock::tryTakeToRead(const files::Folder& folder, const std::string& id, int* error) {
    int fd;
    do {
        fd = ::openat(folder.descriptor(), lockName(id).c_str(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error)
            *error = errno;
        return {};
    }
    struct stat st {};
    int rc = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0 && error)
            *error = errno;
    } else if (error) {
        *error = EACCES;
    }
    if (rc != 0) {
        ::close(fd);
        return {};
    }
    return Lock(fd);
}

Lock& Lock::operator=(Lock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Lock::~Lock() {
    if (fd_ >= 0)
        ::close(fd_);
}

// --- SQLite owners --------------------------------------------------------------------------

Db& Db::operator=(Db&& other) noexcept {
    if (this != &other) {
        reset();
        db_ = other.db_;
        other.db_ = nullptr;
    }
    return *this;
}

Db::~Db() {
    reset();
}

void Db::reset() {
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

Stmt::Stmt(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st_, nullptr) != SQLITE_OK)
        st_ = nullptr;
}

Stmt& Stmt::operator=(Stmt&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(st_);
        st_ = other.st_;
        other.st_ = nullptr;
    }
    return *this;
}

Stmt::~Stmt() {
    sqlite3_finalize(st_);
}

int bindText(sqlite3_stmt* st, int column, const Str& text) {
    // Code units in the machine's order: the journal is read back on the machine that wrote it.
    return sqlite3_bind_blob64(st, column,
                               text.empty() ? "" : static_cast<const void*>(text.data()),
                               text.size() * sizeof(char16_t), SQLITE_STATIC);
}

Str columnText(sqlite3_stmt* st, int column) {
    const void* bytes = sqlite3_column_blob(st, column);
    const int size = sqlite3_column_bytes(st, column);
    Str text(static_cast<std::size_t>(size) / sizeof(char16_t), u'\0');
    if (bytes && !text.empty())
        std::memcpy(text.data(), bytes, text.size() * sizeof(char16_t));
    return text;
}

// --- Errors ---------------------------------------------------------------------------------

std::int32_t errorNumberForErrno(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return errors::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return errors::kPermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return errors::kPathNotFound;
    case ELOOP:
        return errors::kPathFileAccess;
    default:
        return errors::kDeviceIo;
    }
}

std::int32_t errorNumber(int sqliteCode, int systemErrno) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_FULL:
        return errors::kDiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return errors::kPermissionDenied;
    case SQLITE_CANTOPEN:
        return systemErrno ? errorNumberForErrno(systemErrno) : errors::kPathFileAccess;
    case SQLITE_IOERR:
        return systemErrno ? errorNumberForErrno(systemErrno) : errors::kDeviceIo;
    default:
        return errors::kDeviceIo;
    }
}

Str describe(const std::string& what, const std::string& native, const std::string& why) {
    return fromUtf8(what + " " + native + ": " + why);
}

std::int64_t systemNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// --- Reading a journal back -----------------------------------------------------------------

bool looksLikeJournal(const files::Folder& folder, const std::string& name, std::string& problem) {
    const int fd = ::openat(folder.descriptor(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    struct stat st {};
    unsigned char header[100] = {};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        n = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (!S_ISREG(st.st_mode)) {
        problem = "not a regular file";
        return false;
    }
    if (n != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header, "SQLite format 3", 16) != 0) {
        problem = "not an SQLite database";
        return false;
    }
    const std::uint32_t mark = std::uint32_t(header[68]) << 24 | std::uint32_t(header[69]) << 16 |
                               std::uint32_t(header[70]) << 8 | std::uint32_t(header[71]);
    if (mark != static_cast<std::uint32_t>(kApplicationId)) {
        problem = "an SQLite database of another program";
        return false;
    }
    return true;
}

namespace {

std::uint32_t bigEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

} // namespace

bool looksLikeWal(const files::Folder& folder, const std::string& name, std::string& problem) {
    // Never opened when it is not a regular file: a FIFO would block its reader.
    switch (folder.kind(name)) {
    case files::Folder::Kind::Missing:
        return true;
    case files::Folder::Kind::Regular:
        break;
    default:
        problem = name + " is not a regular file";
        return false;
    }
    const int fd = ::openat(folder.descriptor(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = name + ": " + std::strerror(errno);
        return errno == ENOENT;
    }
    struct stat st {};
    unsigned char header[32] = {};
    ssize_t n = -1;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size > 0)
        n = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (!regular) {
        problem = name + " is not a regular file";
        return false;
    }
    if (st.st_size == 0)
        return true; // a WAL started over, or never written
    // The header: magic (its low bit the checksums' byte order), format 3007000, a page size
    // that is a power of two from 512 to 65536, and its own checksum over its first 24 bytes.
    const std::uint32_t magic = bigEndian32(header);
    const std::uint32_t pageSize = bigEndian32(header + 8);
    bool valid = n == static_cast<ssize_t>(sizeof header) && (magic & ~1u) == 0x377f0682u &&
                 bigEndian32(header + 4) == 3007000u && pageSize >= 512 && pageSize <= 65536 &&
                 (pageSize & (pageSize - 1)) == 0;
    if (valid) {
        const bool bigEndianSums = (magic & 1u) != 0;
        std::uint32_t s0 = 0, s1 = 0;
        for (int i = 0; i < 24; i += 8) {
            std::uint32_t a = bigEndian32(header + i), b = bigEndian32(header + i + 4);
            if (!bigEndianSums) {
                a = __builtin_bswap32(a);
                b = __builtin_bswap32(b);
            }
            s0 += a + s1;
            s1 += b + s0;
        }
        valid = s0 == bigEndian32(header + 24) && s1 == bigEndian32(header + 28);
    }
    if (!valid)
        problem = name + " is not a valid WAL";
    return valid;
}

namespace {

// Applies the records of a journal in order. The live text was written when the record `after`
// was the last one: it refers to the list as it was then, and follows the annotation it belongs
// to through the records written later (an add before it moves it down, a delete before it moves
// it up; its own deletion, committed notes or a clear end it).
class Replayer {
  public:
    explicit Replayer(Recovered& out) : out_(out) {}

    void setLive(std::int64_t after, LiveText live) {
        liveAfter_ = after;
        pendingLive_ = std::move(live);
    }

    void record(std::int64_t seq, Kind kind, std::int64_t index, Str a, Str b, Str c) {
        attachLiveUpTo(seq - 1);
        auto& list = out_.annotations;
        const auto size = static_cast<std::int64_t>(list.size());
        switch (kind) {
        case Kind::Added:
            if (index < 0 || index > size)
                return;
            list.insert(list.begin() + index,
                        Annotation{std::move(a), std::move(b), std::move(c), {}});
            if (out_.live && out_.live->annotation >= index)
                ++out_.live->annotation;
            return;
        case Kind::Deleted:
            if (index < 0 || index >= size)
                return;
            list.erase(list.begin() + index);
            if (out_.live) {
                if (out_.live->annotation == index)
                    out_.live.reset();
                else if (out_.live->annotation > index)
                    --out_.live->annotation;
            }
            return;
        case Kind::Renamed:
            if (index >= 0 && index < size)
                list[static_cast<std::size_t>(index)].description = std::move(a);
            return;
        case Kind::Notes:
            if (index >= 0 && index < size)
                list[static_cast<std::size_t>(index)].notes = std::move(a);
            if (out_.live && out_.live->annotation == index)
                out_.live.reset();
            return;
        case Kind::Cleared:
            list.clear();
            out_.live.reset();
            return;
        }
    }

    void finish() {
        attachLiveUpTo(INT64_MAX);
        if (out_.live &&
            (out_.live->annotation < 0 ||
             out_.live->annotation >= static_cast<std::int32_t>(out_.annotations.size())))
            out_.live.reset();
    }

  private:
    void attachLiveUpTo(std::int64_t seq) {
        if (pendingLive_ && liveAfter_ <= seq) {
            out_.live = std::move(pendingLive_);
            pendingLive_.reset();
        }
    }

    Recovered& out_;
    std::int64_t liveAfter_ = 0;
    std::optional<LiveText> pendingLive_;
};

std::string errorOf(sqlite3* db, int rc) {
    return db ? std::string(sqlite3_errmsg(db)) : std::string(sqlite3_errstr(rc));
}

} // namespace

std::optional<Recovered> readJournal(const std::string& path, std::string& problem,
                                     const std::optional<SlotState>& slot) {
    sqlite3* raw = nullptr;
    // Read-only: reading never writes to the journal (and works in a folder that cannot be
    // written); no checkpoint either when the connection closes.
    int rc =
        sqlite3_open_v2(path.c_str(), &raw,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        problem = errorOf(raw, rc);
        return std::nullopt;
    }
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);

    auto fail = [&](int code) {
        problem = errorOf(db.get(), code);
        return std::nullopt;
    };
    {
        Stmt check(db.get(), "PRAGMA quick_check(1)");
        if (!check.get())
            return fail(sqlite3_errcode(db.get()));
        rc = sqlite3_step(check.get());
        if (rc != SQLITE_ROW)
            return fail(rc);
        const auto* verdict = sqlite3_column_text(check.get(), 0);
        if (!verdict || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0) {
            problem = verdict ? reinterpret_cast<const char*>(verdict) : "damaged";
            return std::nullopt;
        }
    }
    {
        Stmt version(db.get(), "PRAGMA user_version");
        if (!version.get() || sqlite3_step(version.get()) != SQLITE_ROW ||
            sqlite3_column_int(version.get(), 0) != kSchemaVersion) {
            problem = "a journal of another version";
            return std::nullopt;
        }
    }

    Recovered out;
    std::int64_t last = 0;
    Replayer replayer(out);
    {
        Stmt live(db.get(), "SELECT after, idx, text, at FROM live WHERE id = 1");
        if (!live.get())
            return fail(sqlite3_errcode(db.get()));
        rc = sqlite3_step(live.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return fail(rc);
        // The database's text is the newer only when it was written after a later record than
        // the slot's (it waited in memory while the slot was left as it was).
        if (slot && (rc != SQLITE_ROW || sqlite3_column_int64(live.get(), 0) <= slot->after)) {
            if (slot->hasText)
                replayer.setLive(slot->after, LiveText{slot->index, slot->text});
            last = std::max<std::int64_t>(last, slot->at);
        } else if (rc == SQLITE_ROW) {
            replayer.setLive(
                sqlite3_column_int64(live.get(), 0),
                LiveText{sqlite3_column_int(live.get(), 1), columnText(live.get(), 2)});
            last = std::max<std::int64_t>(last, sqlite3_column_int64(live.get(), 3));
        }
    }
    {
        Stmt fields(db.get(), "SELECT name, value, at FROM fields");
        if (!fields.get())
            return fail(sqlite3_errcode(db.get()));
        while ((rc = sqlite3_step(fields.get())) == SQLITE_ROW) {
            Str value = columnText(fields.get(), 1);
            switch (static_cast<CaseField>(sqlite3_column_int(fields.get(), 0))) {
            case CaseField::NoDossier:
                out.caseFields.noDossier = std::move(value);
                break;
            case CaseField::DateCreated:
                out.caseFields.dateCreated = std::move(value);
                break;
            case CaseField::UserName:
                out.caseFields.userName = std::move(value);
                break;
            case CaseField::HearingId:
                out.hearingId = std::move(value);
                break;
            }
            last = std::max<std::int64_t>(last, sqlite3_column_int64(fields.get(), 2));
        }
        if (rc != SQLITE_DONE)
            return fail(rc);
    }
    {
        Stmt records(db.get(), "SELECT seq, kind, idx, a, b, c, at FROM records ORDER BY seq");
        if (!records.get())
            return fail(sqlite3_errcode(db.get()));
        while ((rc = sqlite3_step(records.get())) == SQLITE_ROW) {
            sqlite3_stmt* st = records.get();
            replayer.record(sqlite3_column_int64(st, 0),
                            static_cast<Kind>(sqlite3_column_int(st, 1)),
                            sqlite3_column_int64(st, 2), columnText(st, 3), columnText(st, 4),
                            columnText(st, 5));
            last = std::max<std::int64_t>(last, sqlite3_column_int64(st, 6));
        }
        if (rc != SQLITE_DONE)
            return fail(rc);
    }
    replayer.finish();
    out.lastChange = last;
    return out;
}

} // namespace dalmure::journal::detail
