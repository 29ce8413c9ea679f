#include "hearing_store.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// "ORVH" in the file's header: the mark that tells our database from any other SQLite file.
constexpr std::uint32_t kApplicationId = 0x4F525648;
constexpr int kSchemaVersion = 1;

// UTF-16 text, so that the control's strings are stored and read back unchanged.
constexpr const char* kSchema = R"sql(
PRAGMA encoding = 'UTF-16le';
BEGIN;
PRAGMA application_id = 1330796104;
PRAGMA user_version = 1;
CREATE TABLE hearings(
  id INTEGER PRIMARY KEY,
  no_dossier TEXT NOT NULL DEFAULT '',
  date_created TEXT NOT NULL DEFAULT '',
  user_name TEXT NOT NULL DEFAULT '',
  hearing_date TEXT NOT NULL DEFAULT '',
  created INTEGER NOT NULL,
  changed INTEGER NOT NULL);
CREATE TABLE annotations(
  hearing INTEGER NOT NULL REFERENCES hearings(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  time TEXT NOT NULL,
  description TEXT NOT NULL,
  notes TEXT NOT NULL,
  PRIMARY KEY(hearing, position)) WITHOUT ROWID;
CREATE TABLE current(
  one INTEGER PRIMARY KEY CHECK(one = 1),
  hearing INTEGER NOT NULL);
COMMIT;
)sql";
static_assert(kApplicationId == 1330796104u);

class Stmt {
  public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
    ~Stmt() { sqlite3_finalize(st_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    explicit operator bool() const { return st_ != nullptr; }

    Stmt& bind(int column, qint64 value) {
        sqlite3_bind_int64(st_, column, value);
        return *this;
    }
    Stmt& bind(int column, const QString& text) {
        sqlite3_bind_text16(st_, column, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(st_); }
    void reset() { sqlite3_reset(st_); }
    bool done() { return st_ != nullptr && step() == SQLITE_DONE; }
    qint64 integer(int column) const { return sqlite3_column_int64(st_, column); }
    QString text(int column) const {
        const void* p = sqlite3_column_text16(st_, column);
        const int bytes = sqlite3_column_bytes16(st_, column);
        return p ? QString::fromUtf16(static_cast<const char16_t*>(p), bytes / 2) : QString();
    }

  private:
    sqlite3_stmt* st_ = nullptr;
};

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// What is in the place of the database: nothing (created now, empty, 0600), an empty file, or a
// file whose header says it is ours. Anything else is described in *problem and not touched.
enum class Place { Fresh, Ours, Refused };

Place inspect(const QByteArray& path, QString* problem) {
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return Place::Fresh;
    }
    if (errno != EEXIST) {
        *problem = systemError(errno);
        return Place::Refused;
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        *problem = systemError(errno);
        return Place::Refused;
    }
    if (S_ISLNK(st.st_mode)) {
        *problem = QStringLiteral("a symbolic link is in its place");
        return Place::Refused;
    }
    if (!S_ISREG(st.st_mode)) {
        *problem = QStringLiteral("not a regular file");
        return Place::Refused;
    }
    fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *problem = systemError(errno);
        return Place::Refused;
    }
    unsigned char header[72] = {};
    const ssize_t got = ::read(fd, header, sizeof header);
    const int err = errno;
    ::close(fd);
    if (got < 0) {
        *problem = systemError(err);
        return Place::Refused;
    }
    if (got == 0 && st.st_size == 0)
        return Place::Fresh; // created and never filled: nothing in it to keep
    if (got < 72 || std::memcmp(header, "SQLite format 3", 16) != 0) {
        *problem = QStringLiteral("not an SQLite database (damaged or another kind of file)");
        return Place::Refused;
    }
    const std::uint32_t id = (std::uint32_t(header[68]) << 24) | (std::uint32_t(header[69]) << 16) |
                             (std::uint32_t(header[70]) << 8) | std::uint32_t(header[71]);
    if (id != kApplicationId) {
        *problem = QStringLiteral("an SQLite database of another program, not a hearings database");
        return Place::Refused;
    }
    return Place::Ours;
}

// Checks a database of ours without writing anything to it (a read-only connection never
// checkpoints into the file).
bool checkReadOnly(const QByteArray& path, QString* problem) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    QString why;
    if (rc == SQLITE_OK) {
        Stmt version(db, "PRAGMA user_version");
        if (!version || version.step() != SQLITE_ROW) {
            why = QString::fromUtf8(sqlite3_errmsg(db));
        } else if (version.integer(0) != kSchemaVersion) {
            why = QStringLiteral("written by another version of the screen (schema %1)")
                      .arg(version.integer(0));
        } else {
            Stmt check(db, "PRAGMA quick_check");
            if (!check || check.step() != SQLITE_ROW)
                why = QString::fromUtf8(sqlite3_errmsg(db));
            else if (check.text(0) != QLatin1String("ok"))
                why = QStringLiteral("damaged: ") + check.text(0);
        }
    } else {
        why = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    }
    sqlite3_close(db);
    if (why.isEmpty())
        return true;
    *problem = why;
    return false;
}

} // namespace

std::unique_ptr<HearingStore> HearingStore::open(const QString& folder, QString* problem) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(kFileName);
    const QByteArray native = QFile::encodeName(path);
    QString why;
    const Place place = inspect(native, &why);
    if (place == Place::Ours && !checkReadOnly(native, &why)) {
        *problem = path + QStringLiteral(": ") + why;
        return nullptr;
    }
    if (place == Place::Refused) {
        *problem = path + QStringLiteral(": ") + why;
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(native.constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    std::unique_ptr<HearingStore> store(new HearingStore(db, path));
    if (rc != SQLITE_OK) {
        *problem = path + QStringLiteral(": ") +
                   QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    // The schema is made in a rollback journal so that the mark is in the file's header from the
    // start; the database then works in WAL mode, every commit synced.
    if ((place == Place::Fresh && !store->exec(kSchema)) ||
        !store->exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;"
                     "PRAGMA foreign_keys = ON;")) {
        *problem = path + QStringLiteral(": ") + store->lastError();
        return nullptr;
    }
    return store;
}

HearingStore::~HearingStore() {
    sqlite3_close(db_);
}

bool HearingStore::fail(const char* what) {
    lastError_ =
        QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_));
    return false;
}

bool HearingStore::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    fail("database");
    rollback();
    return false;
}

void HearingStore::rollback() {
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool HearingStore::touch(qint64 id) {
    Stmt st(db_, "UPDATE hearings SET changed = ? WHERE id = ?");
    return st.bind(1, nowMs()).bind(2, id).done() || fail("hearing");
}

qint64 HearingStore::create() {
    if (!exec("BEGIN IMMEDIATE"))
        return 0;
    const qint64 now = nowMs();
    Stmt add(db_, "INSERT INTO hearings(created, changed) VALUES(?, ?)");
    if (!add.bind(1, now).bind(2, now).done()) {
        fail("new hearing");
        rollback();
        return 0;
    }
    const qint64 id = sqlite3_last_insert_rowid(db_);
    Stmt cur(db_, "INSERT OR REPLACE INTO current(one, hearing) VALUES(1, ?)");
    if (!cur.bind(1, id).done()) {
        fail("current hearing");
        rollback();
        return 0;
    }
    return exec("COMMIT") ? id : 0;
}

std::optional<qint64> HearingStore::current() {
    Stmt st(db_, "SELECT h.id FROM current c JOIN hearings h ON h.id = c.hearing");
    if (st && st.step() == SQLITE_ROW)
        return st.integer(0);
    return std::nullopt;
}

bool HearingStore::setCurrent(qint64 id) {
    Stmt st(db_, "INSERT OR REPLACE INTO current(one, hearing) "
                 "SELECT 1, id FROM hearings WHERE id = ?");
    if (!st.bind(1, id).done())
        return fail("current hearing");
    if (sqlite3_changes(db_) == 0) {
        lastError_ = QStringLiteral("no hearing %1").arg(id);
        return false;
    }
    return true;
}

std::optional<Hearing> HearingStore::load(qint64 id) {
    Stmt head(db_, "SELECT no_dossier, date_created, user_name, hearing_date FROM hearings "
                   "WHERE id = ?");
    if (!head || head.bind(1, id).step() != SQLITE_ROW) {
        lastError_ = QStringLiteral("no hearing %1").arg(id);
        return std::nullopt;
    }
    Hearing h;
    h.id = id;
    h.fields = {head.text(0), head.text(1), head.text(2),
                QDate::fromString(head.text(3), Qt::ISODate)};
    Stmt rows(db_, "SELECT time, description, notes FROM annotations WHERE hearing = ? "
                   "ORDER BY position");
    if (!rows) {
        fail("annotations");
        return std::nullopt;
    }
    rows.bind(1, id);
    int rc;
    while ((rc = rows.step()) == SQLITE_ROW)
        h.annotations.push_back({rows.text(0), rows.text(1), rows.text(2)});
    if (rc != SQLITE_DONE) {
        fail("annotations");
        return std::nullopt;
    }
    return h;
}

std::vector<HearingSummary> HearingStore::list() {
    std::vector<HearingSummary> out;
    Stmt st(db_, "SELECT h.id, h.no_dossier, h.date_created, h.user_name, h.hearing_date, "
                 "h.changed, (SELECT count(*) FROM annotations a WHERE a.hearing = h.id) "
                 "FROM hearings h ORDER BY h.changed DESC, h.id DESC");
    if (!st)
        return out;
    while (st.step() == SQLITE_ROW)
        out.push_back(
            {st.integer(0),
             {st.text(1), st.text(2), st.text(3), QDate::fromString(st.text(4), Qt::ISODate)},
             int(st.integer(6)),
             st.integer(5)});
    return out;
}

bool HearingStore::saveCaseFields(qint64 id, const CaseFields& f) {
    Stmt st(db_, "UPDATE hearings SET no_dossier = ?, date_created = ?, user_name = ?, "
                 "hearing_date = ?, changed = ? WHERE id = ? AND (no_dossier IS NOT ? OR "
                 "date_created IS NOT ? OR user_name IS NOT ? OR hearing_date IS NOT ?)");
    const QString date = f.date.isValid() ? f.date.toString(Qt::ISODate) : QString();
    st.bind(1, f.noDossier).bind(2, f.dateCreated).bind(3, f.userName).bind(4, date);
    st.bind(5, nowMs()).bind(6, id);
    st.bind(7, f.noDossier).bind(8, f.dateCreated).bind(9, f.userName).bind(10, date);
    return st.done() || fail("case fields");
}

bool HearingStore::saveAnnotations(qint64 id, const std::vector<StoredAnnotation>& annotations) {
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    auto abandon = [this](const char* what) {
        fail(what);
        rollback();
        return false;
    };
    Stmt known(db_, "SELECT 1 FROM hearings WHERE id = ?");
    if (!known || known.bind(1, id).step() != SQLITE_ROW) {
        rollback();
        lastError_ = QStringLiteral("no hearing %1").arg(id);
        return false;
    }
    std::vector<StoredAnnotation> stored;
    {
        Stmt rows(db_, "SELECT time, description, notes FROM annotations WHERE hearing = ? "
                       "ORDER BY position");
        if (!rows)
            return abandon("annotations");
        rows.bind(1, id);
        int rc;
        while ((rc = rows.step()) == SQLITE_ROW)
            stored.push_back({rows.text(0), rows.text(1), rows.text(2)});
        if (rc != SQLITE_DONE)
            return abandon("annotations");
    }
    bool changed = false;
    Stmt put(db_, "INSERT OR REPLACE INTO annotations(hearing, position, time, description, notes)"
                  " VALUES(?, ?, ?, ?, ?)");
    for (std::size_t i = 0; i < annotations.size(); ++i) {
        if (i < stored.size() && stored[i] == annotations[i])
            continue;
        const StoredAnnotation& a = annotations[i];
        put.reset();
        if (!put.bind(1, id)
                 .bind(2, qint64(i))
                 .bind(3, a.time)
                 .bind(4, a.description)
                 .bind(5, a.notes)
                 .done())
            return abandon("annotation");
        changed = true;
    }
    if (stored.size() > annotations.size()) {
        Stmt cut(db_, "DELETE FROM annotations WHERE hearing = ? AND position >= ?");
        if (!cut.bind(1, id).bind(2, qint64(annotations.size())).done())
            return abandon("annotations");
        changed = true;
    }
    if (changed && !touch(id))
        return abandon("hearing");
    return exec("COMMIT");
}

} // namespace orvane
