// The catalogue database on libmdb (mdbtools).
//
// libmdb trusts the file it reads: a damaged page can make it read out of bounds, loop or print
// warnings on stderr. The catalogue lies in a folder users can write to, so three layers stand
// between a file and the control:
//
//  1. The file is read once into memory (its identity taken from the same descriptor) and its
//     structure checked here: the Jet/ACE signature, a known engine version, the page size of
//     that version, a size that is a whole number of pages within sane limits, and the page
//     types of the pages libmdb starts from. Empty, truncated, random and foreign files stop
//     here, cheaply, in-process.
//  2. libmdb then reads the checked bytes (mdb_open_buffer) in a forked child process with its
//     standard output and error sent to /dev/null. The child walks every user table once with
//     bounded loops (a cap on rows, columns, tables and output size) and sends the tables back
//     over a pipe in a small length-prefixed form, closed by an end marker.
//  3. The parent waits for that answer with a time limit, kills and reaps the child when it
//     runs over, and parses the answer with bounds checks. A crash, a hang, a leak or noise of
//     libmdb on a file that passed the checks thus stays in the child; the file is reported as
//     "Unrecognized database format" like any other unreadable file.
//
// Forking costs about a millisecond, and it happens once per version of the file in the whole
// process: the tables read are cached for every reader (platforms created later included), keyed
// on the file's path, device, inode, size and modification time (ns), and dropped as soon as any
// of these changes, so a catalogue replaced on disk is read again by the next lookup. A file found
// unreadable is cached as such too, so that a damaged catalogue costs one attempt, not one per
// message.
#include "platform/mdb/mdb_catalogue.h"

#include "support/errors.h"

#include <mdbtools.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure::platform {

namespace {

constexpr std::int32_t kUnrecognized = -2147467259;
constexpr std::int32_t kTableNotFound = -2147217865;
constexpr std::int32_t kNoValueGiven = -2147217904;
constexpr std::int32_t kItemNotFound = 3265;

constexpr std::int64_t kMaxFileSize = 256LL << 20;
constexpr std::size_t kMaxAnswer = 64u << 20;
constexpr unsigned kMaxTables = 256;
constexpr unsigned kMaxColumns = 255; // Jet's own limit
constexpr unsigned kMaxRows = 1u << 20;
constexpr std::size_t kBindSize = 1u << 16; // longest text kept per value, in UTF-8 bytes
constexpr std::uint32_t kEndMarker = 0x454E4421;

[[noreturn]] void unrecognized(const std::string& path) {
    throw ControlError(kUnrecognized, u"Unrecognized database format '" + fromUtf8(path) + u"'.");
}

// ---- Layer 1: the structure of the file --------------------------------------------------

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

bool plausibleJetFile(const std::string& bytes) {
    if (bytes.size() < 2048)
        return false;
    // Page 0: type 0, then 01 00 00, then the engine's signature.
    if (bytes.compare(0, 4, std::string("\x00\x01\x00\x00", 4)) != 0)
        return false;
    const bool jet = bytes.compare(4, 16, std::string("Standard Jet DB\0", 16)) == 0;
    const bool ace = bytes.compare(4, 16, std::string("Standard ACE DB\0", 16)) == 0;
    if (!jet && !ace)
        return false;
    const auto version = static_cast<unsigned char>(bytes[0x14]);
    // 0 Jet 3 (2 KB pages); 1 Jet 4; 2..6 the ACE versions libmdb knows (4 KB pages).
    if (version > 6 || (version == 0 && !jet))
        return false;
    const std::size_t pageSize = version == 0 ? 2048 : 4096;
    if (bytes.size() % pageSize != 0)
        return false;
    const std::size_t pages = bytes.size() / pageSize;
    if (pages < 3)
        return false;
    // Page 2 holds the definition of the system catalogue (MSysObjects): a table-definition page
    // whose "next page" link lies inside the file.
    const std::size_t p2 = 2 * pageSize;
    if (static_cast<unsigned char>(bytes[p2]) != 0x02 ||
        static_cast<unsigned char>(bytes[p2 + 1]) != 0x01)
        return false;
    if (le32(bytes, p2 + 4) >= pages)
        return false;
    return true;
}

// ---- Layer 2: libmdb in a child ----------------------------------------------------------

class Writer {
  public:
    bool u8(unsigned v) { return put(std::string(1, static_cast<char>(v))); }
    bool u32(std::uint32_t v) {
        char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
        return put(std::string(b, 4));
    }
    bool str(const char* s, std::size_t n) {
        return u32(static_cast<std::uint32_t>(n)) && put(std::string(s, n));
    }
    const std::string& data() const { return out_; }

  private:
    bool put(const std::string& s) {
        if (out_.size() + s.size() > kMaxAnswer)
            return false;
        out_ += s;
        return true;
    }
    std::string out_;
};

// Runs in the child: dumps every user table. Returns the answer (status byte first).
std::string dumpTables(std::string& bytes) {
    Writer w;
    ::unsetenv("MDBICONV"); // texts come back as UTF-8
    MdbHandle* mdb = mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS);
    if (mdb == nullptr) {
        w.u8(1);
        return w.data();
    }
    mdb_set_bind_size(mdb, kBindSize);
    if (mdb_read_catalog(mdb, MDB_TABLE) == nullptr) {
        w.u8(1);
        return w.data();
    }
    w.u8(0);
    std::vector<MdbCatalogEntry*> entries;
    for (unsigned i = 0; i < mdb->num_catalog && entries.size() < kMaxTables; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry != nullptr && entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            entries.push_back(entry);
    }
    w.u32(static_cast<std::uint32_t>(entries.size()));
    for (MdbCatalogEntry* entry : entries) {
        w.str(entry->object_name, strnlen(entry->object_name, sizeof entry->object_name));
        MdbTableDef* table = mdb_read_table(entry);
        if (table == nullptr || mdb_read_columns(table) == nullptr ||
            table->num_cols > kMaxColumns) {
            w.u32(0);
            w.u32(0);
            continue;
        }
        const unsigned ncols = table->num_cols;
        w.u32(ncols);
        std::vector<std::vector<char>> bound(ncols, std::vector<char>(kBindSize + 1, '\0'));
        std::vector<int> lengths(ncols, 0);
        for (unsigned c = 0; c < ncols; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            w.str(col->name, strnlen(col->name, sizeof col->name));
            mdb_bind_column(table, static_cast<int>(c + 1), bound[c].data(), &lengths[c]);
        }
        // Rows: counted first into a separate writer so that the count precedes them.
        Writer rows;
        std::uint32_t count = 0;
        std::vector<MdbField> fields(ncols);
        mdb_rewind_table(table);
        while (count < kMaxRows && mdb_fetch_row(table)) {
            // The bound buffers give "" for NULL and for an empty text alike; the null mask of
            // the row just fetched tells them apart.
            std::vector<unsigned char> isNull(ncols, 0);
            int start = 0;
            size_t size = 0;
            if (table->cur_row > 0 &&
                mdb_find_row(mdb, static_cast<int>(table->cur_row - 1), &start, &size) == 0) {
                const int n = mdb_crack_row(table, start & 0x1FFF, size, fields.data());
                for (int f = 0; f < n && f < static_cast<int>(ncols); ++f)
                    if (fields[f].colnum >= 0 && fields[f].colnum < static_cast<int>(ncols))
                        isNull[fields[f].colnum] = fields[f].is_null;
            }
            bool ok = true;
            for (unsigned c = 0; c < ncols && ok; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
                const bool null = isNull[c] && col->col_type != MDB_BOOL;
                ok = rows.u8(null ? 1 : 0) &&
                     (null || rows.str(bound[c].data(), strnlen(bound[c].data(), kBindSize)));
            }
            if (!ok)
                break;
            ++count;
        }
        w.u32(count);
        if (!w.str(rows.data().data(), rows.data().size()))
            break;
    }
    w.u32(kEndMarker);
    return w.data();
}

bool writeAllFd(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// libmdb loads iconv converters; load them once in the parent so that the child never has to
// open gconv modules (dynamic loading after fork in a threaded host is best avoided).
void warmIconv() {
    static const bool warmed = [] {
        const char* pairs[][2] = {
            {"UTF-8", "UCS-2LE"}, {"UCS-2LE", "UTF-8"}, {"UTF-8", "CP1252"}, {"CP1252", "UTF-8"}};
        for (auto& p : pairs) {
            iconv_t cd = iconv_open(p[0], p[1]);
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
        return true;
    }();
    (void)warmed;
}

// ---- Layer 3: the parent's side ------------------------------------------------------------

std::optional<std::string> readInChild(std::string& bytes, int timeoutMs) {
    warmIconv();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(fds[0]);
        ::signal(SIGPIPE, SIG_DFL);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
        }
        ::alarm(static_cast<unsigned>(timeoutMs / 1000 + 2)); // a child orphaned by a dying parent
        const std::string answer = dumpTables(bytes);
        _exit(writeAllFd(fds[1], answer) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string answer;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        if (answer.size() + static_cast<std::size_t>(n) > kMaxAnswer + 16)
            break;
        answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!complete)
        ::kill(pid, SIGKILL);
    int status = 0;
    pid_t w;
    do {
        w = ::waitpid(pid, &status, 0);
    } while (w < 0 && errno == EINTR);
    const bool exitedOk = w == pid ? (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                                   : true; // SIGCHLD ignored by the host: the end marker decides
    if (!complete || !exitedOk)
        return std::nullopt;
    return answer;
}

class Reader {
  public:
    explicit Reader(const std::string& s) : s_(s) {}
    bool u8(unsigned& v) {
        if (pos_ + 1 > s_.size())
            return false;
        v = static_cast<unsigned char>(s_[pos_++]);
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (pos_ + 4 > s_.size())
            return false;
        v = le32(s_, pos_);
        pos_ += 4;
        return true;
    }
    bool str(std::string& out) {
        std::uint32_t n;
        if (!u32(n) || n > s_.size() - pos_)
            return false;
        out.assign(s_, pos_, n);
        pos_ += n;
        return true;
    }
    bool atEnd() const { return pos_ == s_.size(); }

  private:
    const std::string& s_;
    std::size_t pos_ = 0;
};

std::optional<std::vector<MdbTableData>> parseAnswer(const std::string& answer) {
    Reader r(answer);
    unsigned status;
    std::uint32_t ntables;
    if (!r.u8(status) || status != 0 || !r.u32(ntables) || ntables > kMaxTables)
        return std::nullopt;
    std::vector<MdbTableData> tables;
    for (std::uint32_t t = 0; t < ntables; ++t) {
        MdbTableData table;
        std::string text;
        std::uint32_t ncols, nrows;
        if (!r.str(text) || !r.u32(ncols) || ncols > kMaxColumns)
            return std::nullopt;
        table.name = fromUtf8(text);
        for (std::uint32_t c = 0; c < ncols; ++c) {
            if (!r.str(text))
                return std::nullopt;
            table.columns.push_back(fromUtf8(text));
        }
        std::string rowBytes;
        if (!r.u32(nrows) || nrows > kMaxRows || !r.str(rowBytes))
            return std::nullopt;
        Reader rows(rowBytes);
        for (std::uint32_t i = 0; i < nrows; ++i) {
            std::vector<std::optional<Str>> row;
            for (std::uint32_t c = 0; c < ncols; ++c) {
                unsigned null;
                if (!rows.u8(null))
                    return std::nullopt;
                if (null) {
                    row.emplace_back(std::nullopt);
                } else {
                    if (!rows.str(text))
                        return std::nullopt;
                    row.emplace_back(fromUtf8(text));
                }
            }
            table.rows.push_back(std::move(row));
        }
        if (!rows.atEnd())
            return std::nullopt;
        tables.push_back(std::move(table));
    }
    std::uint32_t end;
    if (!r.u32(end) || end != kEndMarker || !r.atEnd())
        return std::nullopt;
    return tables;
}

// ---- The connection over a cached read ---------------------------------------------------

class MemoryRecordset : public CatalogueRecordset {
  public:
    MemoryRecordset(std::shared_ptr<const std::vector<MdbTableData>> keep,
                    const MdbTableData& table, std::vector<std::size_t> rows)
        : keep_(std::move(keep)), table_(table), rows_(std::move(rows)) {}
    bool eof() const override { return pos_ >= rows_.size(); }
    void moveFirst() override { pos_ = 0; }
    std::optional<Str> field(const Str& name) const override {
        for (std::size_t c = 0; c < table_.columns.size(); ++c) {
            if (!equalNoCase(table_.columns[c], name))
                continue;
            // Asking for a field with no current row is what ADO reports as BOF/EOF.
            if (eof())
                throw ControlError(3021, u"Either BOF or EOF is True, or the current record has "
                                         u"been deleted. Requested operation requires a current "
                                         u"record.");
            return table_.rows[rows_[pos_]][c];
        }
        throw ControlError(kItemNotFound, u"Item cannot be found in the collection corresponding "
                                          u"to the requested name or ordinal.");
    }

  private:
    std::shared_ptr<const std::vector<MdbTableData>> keep_;
    const MdbTableData& table_;
    std::vector<std::size_t> rows_;
    std::size_t pos_ = 0;
};

class MemoryConnection : public CatalogueConnection {
  public:
    explicit MemoryConnection(std::shared_ptr<const std::vector<MdbTableData>> tables)
        : tables_(std::move(tables)) {}

    std::unique_ptr<CatalogueRecordset>
    selectWhereUpperEquals(const Str& table, const Str& idColumn, const Str& upperId) override {
        if (!tables_)
            throw ControlError(kUnrecognized,
                               u"Operation is not allowed when the object is closed.");
        const MdbTableData* found = nullptr;
        for (const auto& t : *tables_)
            if (equalNoCase(t.name, table)) {
                found = &t;
                break;
            }
        if (found == nullptr)
            throw ControlError(kTableNotFound,
                               u"The Microsoft Jet database engine cannot find the input table or "
                               u"query '" +
                                   table +
                                   u"'.  Make sure it exists and that its name is "
                                   u"spelled correctly.");
        std::size_t idCol = found->columns.size();
        for (std::size_t c = 0; c < found->columns.size(); ++c)
            if (equalNoCase(found->columns[c], idColumn)) {
                idCol = c;
                break;
            }
        // An unknown name in the WHERE clause is a parameter to Jet, and none is given.
        if (idCol == found->columns.size())
            throw ControlError(kNoValueGiven,
                               u"No value given for one or more required parameters.");
        std::vector<std::size_t> rows;
        for (std::size_t i = 0; i < found->rows.size(); ++i) {
            const auto& v = found->rows[i][idCol];
            if (v && ucase(*v) == upperId)
                rows.push_back(i);
        }
        return std::make_unique<MemoryRecordset>(tables_, *found, std::move(rows));
    }

    void close() override { tables_.reset(); }

  private:
    std::shared_ptr<const std::vector<MdbTableData>> tables_;
};

} // namespace

namespace {

// The tables read by every shared reader of the process, one entry per path, most recently read
// last. Never destroyed: readers may outlive static destruction in a host's clean-up.
struct SharedCache {
    static constexpr std::size_t kMaxPaths = 8;
    std::mutex mutex;
    std::vector<MdbCatalogueDatabase::Entry> entries;
};
SharedCache& sharedCache() {
    static SharedCache* cache = new SharedCache;
    return *cache;
}

} // namespace

std::unique_ptr<CatalogueConnection> MdbCatalogueDatabase::open(const std::string& path) {
    std::unique_lock<std::mutex> lock(sharedCache_ ? sharedCache().mutex : mutex_);

    int fd;
    do {
        // The path may be a link to a regular file (deployments share one catalogue); a FIFO
        // or a device swapped in since the caller looked is not waited for, and refused below.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        errors::fromErrno(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        unrecognized(path);
    }
    MdbFileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeSeconds = st.st_mtim.tv_sec;
    id.mtimeNanoseconds = st.st_mtim.tv_nsec;

    // The entry this path has in the cache in use, if any; a different identity drops it.
    std::vector<Entry>* shared = sharedCache_ ? &sharedCache().entries : nullptr;
    const Entry* cached = nullptr;
    if (shared != nullptr) {
        for (auto it = shared->begin(); it != shared->end(); ++it)
            if (it->path == path) {
                if (it->identity == id)
                    cached = &*it;
                else
                    shared->erase(it);
                break;
            }
    } else if (cache_ && cache_->path == path && cache_->identity == id) {
        cached = &*cache_;
    }
    if (cached != nullptr) {
        ::close(fd);
        if (!cached->tables)
            unrecognized(path);
        return std::make_unique<MemoryConnection>(cached->tables);
    }
    cache_.reset();

    std::string bytes;
    bool readOk = st.st_size >= 0 && st.st_size <= kMaxFileSize;
    if (readOk) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        readOk = done == bytes.size();
    }
    ::close(fd);
    ++reads_;

    std::shared_ptr<const std::vector<MdbTableData>> tables;
    if (readOk && plausibleJetFile(bytes)) {
        if (auto answer = readInChild(bytes, timeoutMs_))
            if (auto parsed = parseAnswer(*answer))
                tables = std::make_shared<const std::vector<MdbTableData>>(std::move(*parsed));
    }
    if (shared != nullptr) {
        if (shared->size() >= SharedCache::kMaxPaths)
            shared->erase(shared->begin());
        shared->push_back(Entry{path, id, tables});
    } else {
        cache_ = Entry{path, id, tables};
    }
    if (!tables)
        unrecognized(path);
    return std::make_unique<MemoryConnection>(tables);
}

} // namespace dalmure::platform
