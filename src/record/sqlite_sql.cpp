// The record's SQLite connection: a file of the application folder, 0600, never reached through
// a link, in WAL mode so that several stations of one machine share it.
#include "record/sql.h"

#include "support/files.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure::record {

namespace {

class SqliteSql final : public Sql {
  public:
    SqliteSql(std::string folder, std::string name)
        : folder_(std::move(folder)), name_(std::move(name)) {}
    ~SqliteSql() override {
        forget();
        if (db_)
            sqlite3_close_v2(db_);
    }
    Dialect dialect() const override { return Dialect::SQLite; }

    bool connect() override {
        if (db_)
            return true;
        try {
            // The file is made 0600 here, through the folder's descriptor, so that SQLite only
            // ever opens a regular file that exists (its -wal and -shm take the same mode).
            files::Folder folder = files::Folder::open(fromUtf8(folder_));
            const int fd = ::openat(folder.descriptor(), name_.c_str(),
                                    O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
            if (fd < 0) {
                error_ = name_ + ": " + std::strerror(errno);
                return false;
            }
            struct stat st {};
            const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
            ::close(fd);
            if (!regular) {
                error_ = name_ + ": not a regular file";
                return false;
            }
        } catch (const std::exception& e) {
            error_ = e.what();
            return false;
        }
        const std::string path = folder_ + "/" + name_;
        if (sqlite3_open_v2(path.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK) {
            error_ = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close_v2(db_);
            db_ = nullptr;
            return false;
        }
        sqlite3_busy_timeout(db_, 5000);
        // temp_store=MEMORY also keeps each statement's undo of a transaction in small blocks
        // of memory: by default each written statement takes a 64 KiB block and frees it at
        // its end, which the allocator gives back to the system every time.
        if (!exec("PRAGMA journal_mode=WAL", {}, nullptr) ||
            !exec("PRAGMA synchronous=NORMAL", {}, nullptr) ||
            !exec("PRAGMA temp_store=MEMORY", {}, nullptr)) {
            forget();
            sqlite3_close_v2(db_);
            db_ = nullptr;
            return false;
        }
        return true;
    }

    bool exec(std::string_view statement, const std::vector<std::string>& params,
              std::vector<Row>* rows) override {
        if (!db_ && !connect())
            return false;
        sqlite3_stmt* st = prepared(statement);
        if (!st)
            return false;
        for (std::size_t i = 0; i < params.size(); ++i)
            sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].data(),
                              static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (!rows)
                continue;
            Row row;
            const int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                const auto* text = sqlite3_column_text(st, c);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
            }
            rows->push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            error_ = sqlite3_errmsg(db_);
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return rc == SQLITE_DONE;
    }
    const std::string& error() const override { return error_; }

  private:
    // The statement, prepared once: a station runs the same few statements for every change.
    // The statements are few; a text built anew each time (a search's filters) empties the
    // cache when it grows past kMaxPrepared.
    static constexpr std::size_t kMaxPrepared = 64;
    sqlite3_stmt* prepared(std::string_view statement) {
        const auto found = prepared_.find(statement);
        if (found != prepared_.end())
            return found->second;
        if (prepared_.size() >= kMaxPrepared)
            forget();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, statement.data(), static_cast<int>(statement.size()), &st,
                               nullptr) != SQLITE_OK) {
            error_ = sqlite3_errmsg(db_);
            sqlite3_finalize(st);
            return nullptr;
        }
        prepared_.emplace(std::string(statement), st);
        return st;
    }
    void forget() {
        for (auto& [text, st] : prepared_)
            sqlite3_finalize(st);
        prepared_.clear();
    }

    std::string folder_, name_, error_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*, std::less<>> prepared_;
};

} // namespace

std::unique_ptr<Sql> openSqlite(const std::string& folder, const std::string& name) {
    return std::make_unique<SqliteSql>(folder, name);
}

} // namespace dalmure::record
