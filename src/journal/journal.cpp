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
// checkpointPages, the sync thread is woken at once and checkpoints it through a connection of
// its own with synchronous=NORMAL, which syncs the WAL before copying it and the database after:
// first without holding the writer up, then once more for the few pages written meanwhile with
// the writer held (a frame at most, see below), so that the writer's next transaction starts the
// WAL over and journal_size_limit cuts it back. A page synced once therefore stays on the disk, in
// the WAL or in the database, and the WAL stays within a few MB however long the hearing.
//
// A database that cannot be written (another process holding its lock, a full disk, an I/O
// error) never stops the journal. The writer waits for the database at most kHandOff (SQLite's
// busy timeout, and the connection while the sync thread holds it); then the change waits in
// memory, as every change after it until the sync thread has written them all, in order, retrying
// with a growing pause. A call whose change waits returns false: true means that change and every
// one before it are in the journal. The first failure is reported once, and so is the moment the
// journal holds everything again; a lock held for less than kQuietLock is not reported at all.
#include "journal/journal.h"

#include "journal/journal_db.h"
#include "journal/live_slot.h"
#include "support/errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

// The longest the control's thread waits for the database (SQLite's busy timeout) or for the
// connection the sync thread holds: a frame, together.
constexpr int kBusyMs = 6;
constexpr auto kHandOff = std::chrono::milliseconds(6);
// The pause before the sync thread tries a failing database again, doubled at each failure.
constexpr auto kFirstRetry = std::chrono::milliseconds(20);
constexpr auto kLastRetry = std::chrono::milliseconds(500);
// A lock that another connection holds for less than this (a checkpoint on a busy machine) is a
// moment's contention, not worth a line in the log: the changes wait and are written as usual.
constexpr auto kQuietLock = std::chrono::milliseconds(250);
// Changes waiting in memory are written this many to a transaction, so that the writer is never
// held up long between two.
constexpr std::size_t kBatch = 256;
// What may wait in memory before the journal gives up (reported): far more than a hearing types.
constexpr std::size_t kMaxWaiting = std::size_t{256} << 20;

// A change on its way to the database, kept while the database cannot take it.
struct Change {
    enum class What { Record, Field, Live, NoLive } what = What::Record;
    int kind = 0;         // a record's Kind, a field's CaseField
    std::int64_t seq = 0; // a record's number; for the live text, the last record's
    std::int32_t index = 0;
    std::optional<Str> a, b, c;
    std::int64_t at = 0;

    std::size_t bytes() const {
        return sizeof(Change) +
               ((a ? a->size() : 0) + (b ? b->size() : 0) + (c ? c->size() : 0)) * sizeof(char16_t);
    }
};

} // namespace

struct Journal::Impl {
    JournalOptions options;
    std::optional<files::Folder> folder;
    std::string id, path;
    Lock lock;
    Db db;
    Stmt insertRecord, upsertField, upsertLive, deleteLive;
    // Records are numbered 2, 4, 6...; the editor's text refers to the last of them, or takes
    // the odd number after it when it waits in memory (see live()).
    std::int64_t lastSeq = 0;
    // Between hold() and release(): the records made meanwhile, in order.
    bool holding = false;
    std::vector<Change> held;
    bool failed = false; // for good: never started, closed, or too much waiting
    int walFd = -1;
    // The editor's text goes into the slot while it works; into the database otherwise.
    LiveSlot slot;
    bool slotInUse = false;
    // The connection is the control thread's, and the sync thread's while it copies the slot,
    // writes what waits or finishes a checkpoint.
    std::timed_mutex dbMutex;
    // The sync thread waits for the connection: the control thread lets it have it first, or a
    // writer that never pauses would starve it (and the WAL would never be started over).
    std::atomic<int> syncWaiting{0};
    // The last record the database's live row follows (dbMutex held): the slot's text is never
    // copied over a newer one that waited in memory.
    std::int64_t liveRowAfter = 0;
    // The slot holds text the database does not: set by the writer, taken by the sync thread.
    std::atomic<bool> livePending{false};

    // Shared with the sync thread.
    std::mutex mutex;
    std::condition_variable wake;
    bool pending = false, stopping = false;
    std::chrono::steady_clock::time_point firstPending;
    bool retrying = false, checkpointDue = false;
    std::chrono::steady_clock::time_point retryAt;
    std::chrono::milliseconds retryPause = kFirstRetry;
    std::atomic<int> walPages{0};
    std::thread syncer;

    // The changes the database could not take yet, oldest first, and why it could not.
    std::mutex waitingMutex;
    std::list<Change> waiting;
    std::size_t waitingBytes = 0;
    std::atomic<std::size_t> behindCount{0}; // waiting, and a batch being written
    bool failing = false;
    bool failingOnLock = false; // only because another connection held the database
    std::chrono::steady_clock::time_point failingSince;
    std::int32_t failureNumber = 0;
    std::string failureWhy;
    bool saidFailing = false; // the control thread's: what it last reported

    ~Impl() { shutDown(false); }

    void report(std::int32_t number, const Str& text) {
        if (options.report)
            options.report(number, text);
    }

    // A failure that stops the journal for good: reported, and the journal stops.
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
        tell();
        return true;
    }
    bool behind() const { return behindCount.load() != 0; }

    // Why the database could not be written (any thread), and the changes it refused, which
    // wait from the same moment: the sync thread never finds the failure without them (it would
    // call the journal written again while they are on their way to the line). True when too
    // much waits.
    bool noteFailure(std::int32_t number, const std::string& why, bool onLock = false,
                     std::vector<Change>* refused = nullptr) {
        std::lock_guard<std::mutex> guard(waitingMutex);
        if (!failing) {
            failingSince = std::chrono::steady_clock::now();
            failingOnLock = onLock;
        } else if (!onLock) {
            failingOnLock = false;
        }
        failing = true;
        failureNumber = number;
        failureWhy = why;
        return refused && queueWaiting(*refused);
    }
    bool noteSqliteFailure(int rc, std::vector<Change>* refused = nullptr) {
        const int primary = rc & 0xff;
        return noteFailure(errorNumber(rc, sqlite3_system_errno(db.get())),
                           sqlite3_errmsg(db.get()),
                           primary == SQLITE_BUSY || primary == SQLITE_LOCKED, refused);
    }
    // On the control thread: one line when writing starts failing, one when all is written again.
    void tell() {
        std::int32_t number = 0;
        std::string why;
        {
            std::lock_guard<std::mutex> guard(waitingMutex);
            if (failing == saidFailing)
                return;
            if (failing && failingOnLock &&
                std::chrono::steady_clock::now() - failingSince < kQuietLock)
                return; // said once the lock has lasted
            saidFailing = failing;
            number = failureNumber;
            why = failureWhy;
        }
        if (saidFailing)
            report(number, describe("Journal", path,
                                    why + "; changes wait in memory until it can "
                                          "be written"));
        else
            report(0, describe("Journal", path, "written again, every change that waited in it"));
    }

    void writtenAgain() {
        {
            std::lock_guard<std::mutex> guard(waitingMutex);
            if (waiting.empty())
                failing = false;
        }
        tell();
    }

    // Runs change on the connection (dbMutex held): SQLITE_DONE when it is in the journal.
    int execute(const Change& change) {
        sqlite3_stmt* st = nullptr;
        const auto text = [&](int column, const std::optional<Str>& value) {
            if (value)
                bindText(st, column, *value);
        };
        switch (change.what) {
        case Change::What::Record:
            st = insertRecord.get();
            sqlite3_bind_int64(st, 1, change.seq);
            sqlite3_bind_int(st, 2, change.kind);
            sqlite3_bind_int(st, 3, change.index);
            text(4, change.a);
            text(5, change.b);
            text(6, change.c);
            sqlite3_bind_int64(st, 7, change.at);
            break;
        case Change::What::Field:
            st = upsertField.get();
            sqlite3_bind_int(st, 1, change.kind);
            text(2, change.a);
            sqlite3_bind_int64(st, 3, change.at);
            break;
        case Change::What::Live:
            liveRowAfter = change.seq;
            st = upsertLive.get();
            sqlite3_bind_int64(st, 1, change.seq);
            sqlite3_bind_int(st, 2, change.index);
            text(3, change.a);
            sqlite3_bind_int64(st, 4, change.at);
            break;
        case Change::What::NoLive:
            liveRowAfter = change.seq;
            st = deleteLive.get();
            break;
        }
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return rc;
    }

    // Writes change now, or leaves it waiting behind the others. True when it is in the journal.
    bool submit(Change change) {
        if (holding) {
            held.push_back(std::move(change));
            return false;
        }
        std::vector<Change> one;
        one.push_back(std::move(change));
        return submitAll(std::move(one));
    }
    // Changes in one transaction (one alone in SQLite's own), or else waiting in memory in
    // order, behind those that already wait.
    bool submitAll(std::vector<Change> changes) {
        if (!ready())
            return false;
        std::unique_lock<std::timed_mutex> guard(dbMutex, std::defer_lock);
        const auto handOff = std::chrono::steady_clock::now() + kHandOff;
        while (syncWaiting.load() && std::chrono::steady_clock::now() < handOff)
            std::this_thread::yield();
        if (!behind() && guard.try_lock_until(handOff) && !behind()) {
            const bool alone = changes.size() == 1;
            int rc = alone ? SQLITE_OK
                           : sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK) {
                for (const Change& change : changes)
                    if ((rc = execute(change)) != SQLITE_DONE)
                        break;
                if (rc == SQLITE_DONE)
                    rc = alone ? SQLITE_OK
                               : sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
            }
            if (rc == SQLITE_OK) {
                changed();
                if (saidFailing) // nothing waits, and the database took these
                    writtenAgain();
                return true;
            }
            const bool tooMuch = noteSqliteFailure(rc, &changes);
            if (!sqlite3_get_autocommit(db.get()))
                sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            guard.unlock();
            tell();
            waited(tooMuch);
            return false;
        }
        if (guard.owns_lock())
            guard.unlock();
        wait(std::move(changes));
        return false;
    }
    Change recordOf(Kind kind, std::int32_t index, const Str* a, const Str* b, const Str* c) {
        Change change;
        change.what = Change::What::Record;
        change.kind = static_cast<int>(kind);
        change.seq = lastSeq += 2;
        change.index = index;
        if (a)
            change.a = *a;
        if (b)
            change.b = *b;
        if (c)
            change.c = *c;
        change.at = now();
        return change;
    }
    // Puts changes at the end of the line that waits (waitingMutex held); true when too much
    // waits.
    bool queueWaiting(std::vector<Change>& changes) {
        for (Change& change : changes) {
            waitingBytes += change.bytes();
            waiting.push_back(std::move(change));
            behindCount.fetch_add(1);
        }
        changes.clear();
        return waitingBytes > kMaxWaiting;
    }
    void wait(std::vector<Change> changes) {
        bool tooMuch;
        {
            std::lock_guard<std::mutex> guard(waitingMutex);
            tooMuch = queueWaiting(changes);
        }
        waited(tooMuch);
    }
    void wait(Change change) {
        std::vector<Change> one;
        one.push_back(std::move(change));
        wait(std::move(one));
    }
    void waited(bool tooMuch) {
        if (tooMuch) {
            fail(errors::kDiskFull, "too many changes waiting to be written; the journal stops");
            return;
        }
        retrySoon();
    }
    void retrySoon() {
        std::lock_guard<std::mutex> guard(mutex);
        if (!retrying) {
            retrying = true;
            retryAt = std::chrono::steady_clock::now() + retryPause;
            wake.notify_one();
        }
    }

    bool record(Kind kind, std::int32_t index, const Str* a, const Str* b, const Str* c) {
        if (!ready())
            return false;
        return submit(recordOf(kind, index, a, b, c));
    }

    // The editor's text (or none) into the slot, else into the database. True when it is in the
    // journal with every change before it.
    bool release() {
        holding = false;
        return held.empty() || submitAll(std::exchange(held, {}));
    }

    bool live(std::int32_t index, const Str* text) {
        if (!ready())
            return false;
        // The records held go first: the text may refer to them.
        if (holding && !held.empty()) {
            release();
            holding = true;
        }
        if (slotInUse && behind()) {
            // In line behind the changes that wait, the slot left as it was: a recovery takes
            // the slot's text only while the database's is not newer, and this one is (an odd
            // number, between the last record's and the next's). A dropped text is a row that
            // belongs to no annotation.
            Change change;
            change.what = Change::What::Live;
            change.seq = lastSeq + 1;
            lastSeq += 2;
            change.index = text ? index : -1;
            change.a = text ? *text : Str();
            change.at = now();
            // What the slot holds is older: it is never copied over this one.
            livePending.store(false);
            wait(std::move(change));
            return false;
        }
        if (slotInUse) {
            if (slot.write(lastSeq, index, text, options.now ? options.now() : coarseNow())) {
                liveChanged();
                if (saidFailing)
                    writtenAgain();
                return true;
            }
        }
        Change change;
        change.what = text ? Change::What::Live : Change::What::NoLive;
        change.seq = lastSeq;
        change.index = index;
        if (text)
            change.a = *text;
        change.at = now();
        const bool ok = submit(std::move(change));
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

    // The connection, taken by the sync thread (or by the control thread's syncNow).
    struct SyncLock {
        explicit SyncLock(Impl& impl) : impl_(impl) {
            impl_.syncWaiting.fetch_add(1);
            impl_.dbMutex.lock();
            impl_.syncWaiting.fetch_sub(1);
        }
        ~SyncLock() { impl_.dbMutex.unlock(); }
        SyncLock(const SyncLock&) = delete;
        SyncLock& operator=(const SyncLock&) = delete;
        Impl& impl_;
    };
    enum class Fold { Done, Again, Failed };
    Fold foldLive();
    bool writeWaiting();

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
    bool syncOnce(Db& checkpointer);
    void checkpoint(Db& checkpointer);
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
                      "SELECT count(*) FROM live;",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failSqlite(rc);
    sqlite3_busy_timeout(db.get(), kBusyMs);
    sqlite3_wal_hook(
        db.get(),
        [](void* self, sqlite3*, const char*, int pages) {
            auto* impl = static_cast<Impl*>(self);
            impl->walPages.store(pages, std::memory_order_relaxed);
            if (pages > impl->options.checkpointPages) {
                std::lock_guard<std::mutex> guard(impl->mutex);
                if (!impl->checkpointDue) {
                    impl->checkpointDue = true;
                    impl->wake.notify_one();
                }
            }
            return SQLITE_OK;
        },
        this);
    insertRecord =
        Stmt(db.get(), "INSERT INTO records(seq, kind, idx, a, b, c, at) VALUES(?,?,?,?,?,?,?)");
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
        wake.wait(guard, [&] { return pending || retrying || checkpointDue || stopping; });
        if (stopping && !pending && !retrying)
            break;
        // The sync deadline, the next try of a failing database, or now for a checkpoint.
        auto due = std::chrono::steady_clock::time_point::max();
        if (pending)
            due = firstPending + options.syncDelay;
        if (retrying)
            due = std::min(due, retryAt);
        if (checkpointDue)
            due = std::chrono::steady_clock::now();
        wake.wait_until(guard, due, [&] { return stopping || checkpointDue; });
        pending = false;
        retrying = false;
        checkpointDue = false;
        guard.unlock();
        const bool ok = syncOnce(checkpointer);
        guard.lock();
        if (ok) {
            retryPause = kFirstRetry;
        } else if (!stopping) {
            retrying = true;
            retryAt = std::chrono::steady_clock::now() + retryPause;
            retryPause = std::min<std::chrono::milliseconds>(retryPause * 2, kLastRetry);
        }
    }
}

// Writes the changes that wait, in order, a batch to a transaction. False when the database
// still cannot take them: they wait for the next try.
bool Journal::Impl::writeWaiting() {
    for (;;) {
        SyncLock connection(*this);
        std::list<Change> batch;
        {
            std::lock_guard<std::mutex> guard(waitingMutex);
            if (waiting.empty())
                return true;
            auto end = waiting.begin();
            std::advance(end, std::min(kBatch, waiting.size()));
            batch.splice(batch.end(), waiting, waiting.begin(), end);
        }
        // The sync thread never waits for a lock while it holds the connection: it tries again
        // later instead.
        sqlite3_busy_timeout(db.get(), 0);
        int rc = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            for (const Change& change : batch)
                if ((rc = execute(change)) != SQLITE_DONE)
                    break;
            if (rc == SQLITE_DONE)
                rc = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK)
            noteSqliteFailure(rc);
        if (rc != SQLITE_OK && !sqlite3_get_autocommit(db.get()))
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(db.get(), kBusyMs);
        std::lock_guard<std::mutex> guard(waitingMutex);
        if (rc != SQLITE_OK) {
            waiting.splice(waiting.begin(), batch);
            return false;
        }
        for (const Change& change : batch)
            waitingBytes -= change.bytes();
        behindCount.fetch_sub(batch.size());
    }
}

// Copies the slot's text into the database's live row. Again when it has to be tried again
// (the writer kept overwriting it while it was copied), Failed when the database refused it.
Journal::Impl::Fold Journal::Impl::foldLive() {
    if (!livePending.exchange(false, std::memory_order_seq_cst))
        return Fold::Done;
    SyncLock guard(*this);
    if (!slotInUse)
        return Fold::Done; // retired: the database holds the latest
    SlotState state;
    if (!slot.snapshot(state)) {
        livePending.store(true);
        return Fold::Again;
    }
    if (state.generation == 0 || state.after < liveRowAfter)
        return Fold::Done;
    Change change;
    change.what = state.hasText ? Change::What::Live : Change::What::NoLive;
    change.seq = state.after;
    change.index = state.index;
    change.a = std::move(state.text);
    change.at = state.at;
    sqlite3_busy_timeout(db.get(), 0);
    const int rc = execute(change);
    sqlite3_busy_timeout(db.get(), kBusyMs);
    if (rc != SQLITE_DONE) {
        noteSqliteFailure(rc);
        livePending.store(true);
        return Fold::Failed;
    }
    return Fold::Done;
}

bool Journal::Impl::syncOnce(Db& checkpointer) {
    // What waits first, then the slot (its text follows the last record), then the WAL to the
    // disk: what was recorded is there before any longer work.
    if (!writeWaiting())
        return false;
    const Fold folded = foldLive();
    if (folded == Fold::Failed)
        return false;
    if (folded == Fold::Again)
        changed(); // the next round copies it
    int rc;
    do {
        rc = ::fdatasync(walFd);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        noteFailure(errorNumberForErrno(errno), std::strerror(errno));
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(waitingMutex);
        if (waiting.empty())
            failing = false;
    }
    if (options.synced)
        options.synced();
    if (walPages.load(std::memory_order_relaxed) > options.checkpointPages)
        checkpoint(checkpointer);
    return true;
}

void Journal::Impl::checkpoint(Db& checkpointer) {
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
    // The bulk without holding the writer up; then the pages it wrote meanwhile, with the writer
    // held, so that the WAL is wholly in the database and the next transaction starts it over.
    // A checkpoint that cannot run whole now (another reader, a lock) is taken up again at the
    // next sync.
    if (sqlite3_wal_checkpoint_v2(checkpointer.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                  nullptr) != SQLITE_OK)
        return;
    SyncLock guard(*this);
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
    // Kept for a recovery: what waits, and the slot's text, into the database too.
    if (!remove && !failed && db && writeWaiting())
        for (int attempt = 0; attempt < 8 && foldLive() == Fold::Again; ++attempt)
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

Journal::~Journal() {
    impl_->release();
}

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

bool Journal::addedAll(const std::vector<Added>& batch) {
    if (!impl_->ready())
        return false;
    std::vector<Change> changes;
    changes.reserve(batch.size());
    const Str none;
    for (const Added& a : batch) {
        changes.push_back(impl_->recordOf(Kind::Added, a.index, &a.time, &a.description, &none));
        if (!a.notes.empty())
            changes.push_back(impl_->recordOf(Kind::Notes, a.index, &a.notes, nullptr, nullptr));
    }
    return impl_->submitAll(std::move(changes));
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
    Change change;
    change.what = Change::What::Field;
    change.kind = static_cast<int>(field);
    change.a = value;
    change.at = impl_->now();
    return impl_->submit(std::move(change));
}

bool Journal::liveText(std::int32_t index, const Str& text) {
    return impl_->live(index, &text);
}

bool Journal::liveTextDropped() {
    return impl_->live(0, nullptr);
}

void Journal::hold() {
    impl_->holding = true;
}

bool Journal::release() {
    return impl_->release();
}

void Journal::close() {
    impl_->release();
    impl_->shutDown(true);
    impl_->failed = true; // nothing more is recorded
}

bool Journal::working() const {
    return !impl_->failed;
}

bool Journal::behind() const {
    return impl_->behind();
}

const std::string& Journal::id() const {
    return impl_->id;
}

void Journal::syncNow() {
    if (impl_->walFd < 0 || impl_->failed || !impl_->writeWaiting())
        return;
    for (int attempt = 0; attempt < 8 && impl_->foldLive() == Impl::Fold::Again; ++attempt)
        ;
    ::fdatasync(impl_->walFd);
}

} // namespace dalmure::journal
