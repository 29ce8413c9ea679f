// The journal writer.
//
// Each list change is one SQLite transaction on a connection with synchronous=OFF: the commit is
// a write(2) into the WAL, in the kernel's hands before the call returns, so a killed process
// loses nothing and the handling never waits for a disk. The editor's text, written at every
// keystroke, goes into the live slot instead (journal/live_slot.h): a memcpy into a shared file
// mapping, just as much in the kernel's hands, at a hundredth of a transaction's cost.
//
// Getting it onto the disk is the sync thread's job: the first change after a sync arms a
// deadline (syncDelay, 250 ms by default); when it passes, the thread copies the slot's text into
// the database (the "live" row) and calls fdatasync on the WAL, and every change made meanwhile
// rides along. A power cut thus loses at most syncDelay of typing; a recovery on the same boot
// takes the text from the slot, which is never older than the row. While the clerk types, that is
// one sync every syncDelay (a few a second); when nothing changes, none. A thread rather than a
// timer of the host's event loop: a busy or blocked screen would delay a timer, and the sync would
// then run on the very thread the clerk types on.
//
// The WAL is never checkpointed by the writer (wal_autocheckpoint off). When it has grown past
// checkpointPages, the sync thread checkpoints it through a connection of its own with
// synchronous=NORMAL, which syncs the WAL before copying it and the database after; only then may
// the writer start the WAL over. A page synced once therefore stays on the disk, in the WAL or in
// the database.
#include "journal/journal.h"

#include "journal/journal_db.h"
#include "journal/live_slot.h"
#include "support/errors.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace dalmure::journal {

namespace {

using namespace detail;

constexpr const char* kSchema = R"(
PRAGMA application_id = 1246907980;
PRAGMA user_version = 1;
CREATE TABLE records(seq INTEGER PRIMARY KEY, kind INTEGER NOT NULL, idx INTEGER NOT NULL,
                     a BLOB, b BLOB, c BLOB, at INTEGER NOT NULL);
CREATE TABLE fields(name INTEGER PRIMARY KEY, value BLOB NOT NULL, at INTEGER NOT NULL);
CREATE TABLE live(id INTEGER PRIMARY KEY CHECK (id = 1), after INTEGER NOT NULL,
                  idx INTEGER NOT NULL, text BLOB NOT NULL, at INTEGER NOT NULL);
)";
static_assert(kApplicationId == 1246907980);

// A name that sorts by the time the journal was started and never meets another.
std::string newId() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits))
        bits =
            static_cast<std::uint64_t>(::getpid()) << 32 ^
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char id[64];
    std::snprintf(id, sizeof id, "%04d%02d%02d-%02d%02d%02d-%016llx", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(bits));
    return id;
}

void syncFolder(const files::Folder& folder) {
    ::fsync(folder.descriptor());
}

// The time of a keystroke: the coarse clock (a few ms) costs a fraction of the precise one.
std::int64_t coarseNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// An errno for what made an SQLite call fail on the sync thread.
int errnoFor(int rc, int systemErrno) {
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return ENOSPC;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return EROFS;
    default:
        return systemErrno ? systemErrno : EIO;
    }
}

} // namespace

struct Journal::Impl {
    JournalOptions options;
    std::optional<files::Folder> folder;
    std::string id, path;
    Lock lock;
    Db db;
    Stmt insertRecord, upsertField, upsertLive, deleteLive;
    std::int64_t lastSeq = 0;
    bool failed = false;
    int walFd = -1;
    // The editor's text goes into the slot while it works; into the database otherwise.
    LiveSlot slot;
    bool slotInUse = false;
    // The connection is the control thread's, and the sync thread's while it copies the slot.
    std::mutex dbMutex;
    // The slot holds text the database does not: set by the writer, taken by the sync thread.
    std::atomic<bool> livePending{false};

    // Shared with the sync thread.
    std::mutex mutex;
    std::condition_variable wake;
    bool pending = false, stopping = false;
    std::chrono::steady_clock::time_point firstPending;
    std::atomic<int> walPages{0};
    std::atomic<int> syncErrno{0};
    std::atomic<bool> syncFailed{false};
    std::thread syncer;

    ~Impl() { shutDown(false); }

    void report(std::int32_t number, const Str& text) {
        if (options.report)
            options.report(number, text);
    }

    // The first failure: reported, and the journal stops.
    bool fail(std::int32_t number, const std::string& why) {
        if (!failed) {
            failed = true;
            report(number,
                   describe("Journal", path.empty() && folder ? folder->path() : path, why));
        }
        return false;
    }
    bool failSqlite(int rc) {
        return fail(errorNumber(rc, db ? sqlite3_system_errno(db.get()) : 0),
                    db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
    }

    std::int64_t now() const { return options.now ? options.now() : systemNow(); }

    bool create(const Str& appFolder, std::string_view folderName);
    bool ready() {
        if (failed)
            return false;
        if (syncFailed.load(std::memory_order_relaxed)) {
            const int err = syncErrno.load();
            return fail(errorNumberForErrno(err), std::strerror(err));
        }
        return true;
    }
    // Runs a statement of the control thread (dbMutex held).
    bool run(sqlite3_stmt* st) {
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        if (rc != SQLITE_DONE)
            return failSqlite(rc);
        changed();
        return true;
    }
    bool record(Kind kind, std::int32_t index, const Str* a, const Str* b, const Str* c) {
        if (!ready())
            return false;
        sqlite3_stmt* st = insertRecord.get();
        sqlite3_bind_int(st, 1, static_cast<int>(kind));
        sqlite3_bind_int(st, 2, index);
        if (a)
            bindText(st, 3, *a);
        if (b)
            bindText(st, 4, *b);
        if (c)
            bindText(st, 5, *c);
        sqlite3_bind_int64(st, 6, now());
        std::lock_guard<std::mutex> guard(dbMutex);
        if (!run(st))
            return false;
        lastSeq = sqlite3_last_insert_rowid(db.get());
        return true;
    }

    // The editor's text (or none) into the slot, else into the database.
    bool live(std::int32_t index, const Str* text) {
        if (!ready())
            return false;
        if (slotInUse) {
            if (slot.write(lastSeq, index, text, options.now ? options.now() : coarseNow())) {
                liveChanged();
                return true;
            }
        }
        std::lock_guard<std::mutex> guard(dbMutex);
        bool ok;
        if (text) {
            sqlite3_stmt* st = upsertLive.get();
            sqlite3_bind_int64(st, 1, lastSeq);
            sqlite3_bind_int(st, 2, index);
            bindText(st, 3, *text);
            sqlite3_bind_int64(st, 4, now());
            ok = run(st);
        } else {
            ok = run(deleteLive.get());
        }
        if (ok && slotInUse) {
            // A text the slot could not take (it could not grow): the database holds the latest
            // now, and the slot, no longer, is left to no reader.
            slot.retire();
            slotInUse = false;
            livePending.store(false);
        }
        return ok;
    }

    // The slot was written: the sync thread is told once until it has copied the slot. The
    // slot's generation was stored sequentially consistent before this load, and the sync thread
    // clears the flag before it reads the generation: one of the two sees the other.
    void liveChanged() {
        if (!livePending.load(std::memory_order_seq_cst)) {
            livePending.store(true, std::memory_order_seq_cst);
            changed();
        }
    }

    bool foldLive();

    // A change is in the WAL: arm the sync deadline unless one is armed.
    void changed() {
        std::lock_guard<std::mutex> guard(mutex);
        if (!pending) {
            pending = true;
            firstPending = std::chrono::steady_clock::now();
            wake.notify_one();
        }
    }

    void syncLoop();
    void syncOnce(Db& checkpointer);
    void shutDown(bool remove);
};

bool Journal::Impl::create(const Str& appFolder, std::string_view folderName) {
    try {
        folder = openJournalFolder(appFolder, folderName, true);
    } catch (const ControlError& e) {
        failed = true;
        report(e.number(), e.description());
        return false;
    }
    id = newId();
    int err = 0;
    lock = Lock::tryTake(*folder, id, true, &err);
    if (!lock)
        return fail(errorNumberForErrno(err),
                    std::string("cannot create ") + lockName(id) + ": " + std::strerror(err));

    // The database is made whole under a name of its own, then renamed into place: a journal
    // found under its real name always has its schema and its mark.
    const std::string fresh = newName(id);
    const std::string freshPath = pathIn(*folder, fresh);
    path = pathIn(*folder, dbName(id));
    if (freshPath.empty() || path.empty())
        return fail(errors::kPathFileAccess, "the folder moved while it was opened");
    const int fd = ::openat(folder->descriptor(), fresh.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(errorNumberForErrno(errno), std::strerror(errno));
    ::close(fd);
    {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(freshPath.c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        Db made(raw);
        // Nothing to keep safe until the rename: one fsync of the whole file before it does.
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(made.get(), "PRAGMA synchronous=OFF; PRAGMA journal_mode=WAL",
                              nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(made.get(), kSchema, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            const std::string why = made ? sqlite3_errmsg(made.get()) : sqlite3_errstr(rc);
            const int sys = made ? sqlite3_system_errno(made.get()) : 0;
            made.reset();
            for (const auto& name : allNames(id))
                if (name != lockName(id))
                    ::unlinkat(folder->descriptor(), name.c_str(), 0);
            return fail(errorNumber(rc, sys), why);
        }
        // Closing checkpoints the schema into the database file and removes the WAL.
    }
    {
        const int made =
            ::openat(folder->descriptor(), fresh.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        const bool synced = made >= 0 && ::fsync(made) == 0;
        const int err = errno;
        if (made >= 0)
            ::close(made);
        if (!synced)
            return fail(errorNumberForErrno(err), std::strerror(err));
    }
    if (::renameat(folder->descriptor(), fresh.c_str(), folder->descriptor(), dbName(id).c_str()) !=
        0)
        return fail(errorNumberForErrno(errno), std::strerror(errno));
    syncFolder(*folder);

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    db = Db(raw);
    if (rc != SQLITE_OK)
        return failSqlite(rc);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    rc = sqlite3_exec(db.get(),
                      "PRAGMA synchronous=OFF; PRAGMA wal_autocheckpoint=0; PRAGMA cache_size=-256;"
                      "PRAGMA journal_size_limit=4194304;"
                      "PRAGMA busy_timeout=1000; SELECT count(*) FROM live;",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failSqlite(rc);
    sqlite3_wal_hook(
        db.get(),
        [](void* self, sqlite3*, const char*, int pages) {
            static_cast<Impl*>(self)->walPages.store(pages, std::memory_order_relaxed);
            return SQLITE_OK;
        },
        this);
    insertRecord =
        Stmt(db.get(), "INSERT INTO records(kind, idx, a, b, c, at) VALUES(?,?,?,?,?,?)");
    upsertField = Stmt(db.get(), "INSERT OR REPLACE INTO fields(name, value, at) VALUES(?,?,?)");
    upsertLive =
        Stmt(db.get(), "INSERT OR REPLACE INTO live(id, after, idx, text, at) VALUES(1,?,?,?,?)");
    deleteLive = Stmt(db.get(), "DELETE FROM live");
    if (!insertRecord.get() || !upsertField.get() || !upsertLive.get() || !deleteLive.get())
        return failSqlite(sqlite3_errcode(db.get()));

    // The first read opened the WAL; the sync thread syncs it through a descriptor of its own.
    walFd = ::openat(folder->descriptor(), (dbName(id) + "-wal").c_str(),
                     O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (walFd < 0)
        return fail(errorNumberForErrno(errno), std::strerror(errno));
    // Without a slot (no room for it, no boot id to tell a reader whether to trust it) the
    // editor's text goes into the database as each list change does.
    slotInUse = slot.create(*folder, slotName(id));
    // The WAL's name in the folder must survive a power cut as much as its contents.
    syncFolder(*folder);
    syncer = std::thread([this] { syncLoop(); });
    return true;
}

void Journal::Impl::syncLoop() {
    Db checkpointer;
    std::unique_lock<std::mutex> guard(mutex);
    for (;;) {
        wake.wait(guard, [&] { return pending || stopping; });
        if (!pending)
            break;
        const auto due = firstPending + options.syncDelay;
        wake.wait_until(guard, due, [&] { return stopping; });
        pending = false;
        guard.unlock();
        syncOnce(checkpointer);
        guard.lock();
    }
}

// Copies the slot's text into the database's live row. False when it has to be tried again
// (the writer kept overwriting it while it was copied).
bool Journal::Impl::foldLive() {
    if (!livePending.exchange(false, std::memory_order_seq_cst))
        return true;
    std::lock_guard<std::mutex> guard(dbMutex);
    if (!slotInUse)
        return true; // retired: the database holds the latest
    SlotState state;
    if (!slot.snapshot(state)) {
        livePending.store(true);
        return false;
    }
    if (state.generation == 0)
        return true;
    sqlite3_stmt* st;
    if (state.hasText) {
        st = upsertLive.get();
        sqlite3_bind_int64(st, 1, state.after);
        sqlite3_bind_int(st, 2, state.index);
        bindText(st, 3, state.text);
        sqlite3_bind_int64(st, 4, state.at);
    } else {
        st = deleteLive.get();
    }
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE) {
        syncErrno.store(errnoFor(rc, sqlite3_system_errno(db.get())));
        syncFailed.store(true);
    }
    return true;
}

void Journal::Impl::syncOnce(Db& checkpointer) {
    if (syncFailed.load())
        return;
    // The slot into the database, then the WAL: what was recorded is on the disk before any
    // longer work.
    if (!foldLive())
        changed(); // the next round copies it
    if (syncFailed.load())
        return;
    int rc;
    do {
        rc = ::fdatasync(walFd);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        syncErrno.store(errno);
        syncFailed.store(true);
        return;
    }
    if (options.synced)
        options.synced();
    if (walPages.load(std::memory_order_relaxed) <= options.checkpointPages)
        return;
    if (!checkpointer) {
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(
            path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
            nullptr);
        checkpointer = Db(raw);
        if (opened != SQLITE_OK) {
            checkpointer.reset();
            return;
        }
        sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_exec(raw, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-256", nullptr, nullptr,
                     nullptr);
    }
    // A checkpoint that cannot run whole now is taken up again at the next sync.
    sqlite3_wal_checkpoint_v2(checkpointer.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                              nullptr);
}

void Journal::Impl::shutDown(bool remove) {
    if (syncer.joinable()) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        wake.notify_one();
        syncer.join();
    }
    // Kept for a recovery: the slot's text into the database too.
    if (!remove && !failed && db)
        for (int attempt = 0; attempt < 8 && !foldLive(); ++attempt)
            ;
    slot.unmap();
    insertRecord = {};
    upsertField = {};
    upsertLive = {};
    deleteLive = {};
    db.reset();
    if (walFd >= 0) {
        // Kept for a recovery: on the disk before the process goes.
        if (!remove && !failed)
            ::fdatasync(walFd);
        ::close(walFd);
        walFd = -1;
    }
    if (remove && folder && lock) {
        for (const auto& name : allNames(id))
            ::unlinkat(folder->descriptor(), name.c_str(), 0);
        syncFolder(*folder);
    }
    lock = Lock();
}

// --- Journal --------------------------------------------------------------------------------

Journal::Journal(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Journal::~Journal() = default;

std::unique_ptr<Journal> Journal::start(const Str& appFolder, std::string_view folderName,
                                        JournalOptions options) {
    auto impl = std::make_unique<Impl>();
    impl->options = std::move(options);
    if (!impl->create(appFolder, folderName))
        impl->shutDown(true); // what was made of it goes; the journal stays off
    return std::unique_ptr<Journal>(new Journal(std::move(impl)));
}

bool Journal::added(std::int32_t index, const Str& time, const Str& description, const Str& data) {
    return impl_->record(Kind::Added, index, &time, &description, &data);
}

bool Journal::deleted(std::int32_t index) {
    return impl_->record(Kind::Deleted, index, nullptr, nullptr, nullptr);
}

bool Journal::renamed(std::int32_t index, const Str& description) {
    return impl_->record(Kind::Renamed, index, &description, nullptr, nullptr);
}

bool Journal::notesCommitted(std::int32_t index, const Str& notes) {
    return impl_->record(Kind::Notes, index, &notes, nullptr, nullptr);
}

bool Journal::cleared() {
    return impl_->record(Kind::Cleared, 0, nullptr, nullptr, nullptr);
}

bool Journal::caseField(CaseField field, const Str& value) {
    if (!impl_->ready())
        return false;
    sqlite3_stmt* st = impl_->upsertField.get();
    sqlite3_bind_int(st, 1, static_cast<int>(field));
    bindText(st, 2, value);
    sqlite3_bind_int64(st, 3, impl_->now());
    std::lock_guard<std::mutex> guard(impl_->dbMutex);
    return impl_->run(st);
}

bool Journal::liveText(std::int32_t index, const Str& text) {
    return impl_->live(index, &text);
}

bool Journal::liveTextDropped() {
    return impl_->live(0, nullptr);
}

void Journal::close() {
    impl_->shutDown(true);
    impl_->failed = true; // nothing more is recorded
}

bool Journal::working() const {
    return !impl_->failed && !impl_->syncFailed.load();
}

const std::string& Journal::id() const {
    return impl_->id;
}

void Journal::syncNow() {
    if (impl_->walFd < 0 || impl_->failed)
        return;
    for (int attempt = 0; attempt < 8 && !impl_->foldLive(); ++attempt)
        ;
    ::fdatasync(impl_->walFd);
}

} // namespace dalmure::journal
