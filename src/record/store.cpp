// The record's one store over either database (sql.h): the schema and its migrations, and each
// change applied to the hearing's state in the transaction that keeps the change.
#include "record/record.h"
#include "record/sql.h"
#include "settings/settings.h"
#include "support/ini_reader.h"

#include <array>
#include <cstdio>
#include <random>
#include <utility>

namespace dalmure::record {

Store::~Store() = default;

std::string newId() {
    static thread_local std::random_device device;
    std::string out;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        out += part;
    }
    return out;
}

namespace {

constexpr std::array kKinds{"hearing", "add", "rename", "notes", "delete", "clear", "access"};
constexpr std::array kAccess{"public", "confidential", "sealed"};

// Each version's statements, run in order on a database that has the versions before it. A
// version once released is never edited: a change of the schema is a new version.
const std::vector<std::vector<std::string_view>>& migrations() {
    static const std::vector<std::vector<std::string_view>> all{
        {
            // Every change as a station made it, never updated nor removed.
            "CREATE TABLE changes (id text PRIMARY KEY, hearing text NOT NULL, seq bigint NOT "
            "NULL, kind text NOT NULL, annotation text NOT NULL, time text NOT NULL, "
            "description text NOT NULL, notes text NOT NULL, no_dossier text NOT NULL, "
            "date_created text NOT NULL, user_name text NOT NULL, room text NOT NULL, base text "
            "NOT NULL, author text NOT NULL, station text NOT NULL, at bigint NOT NULL, "
            "UNIQUE (hearing, seq))",
            "CREATE TABLE hearings (id text PRIMARY KEY, no_dossier text NOT NULL DEFAULT '', "
            "date_created text NOT NULL DEFAULT '', user_name text NOT NULL DEFAULT '', room text "
            "NOT NULL DEFAULT '', station text NOT NULL DEFAULT '', created_at bigint NOT NULL "
            "DEFAULT 0, last_seq bigint NOT NULL DEFAULT 0)",
            "CREATE TABLE annotations (id text PRIMARY KEY, hearing text NOT NULL, added_seq "
            "bigint NOT NULL, time text NOT NULL, description text NOT NULL, notes text NOT NULL, "
            "notes_change text NOT NULL, author text NOT NULL, station text NOT NULL, deleted "
            "integer NOT NULL DEFAULT 0)",
            "CREATE INDEX annotations_of_hearing ON annotations (hearing, added_seq)",
            "CREATE TABLE annotation_history (annotation text NOT NULL, notes text NOT NULL, "
            "author text NOT NULL, station text NOT NULL, change text NOT NULL, replaced_by text "
            "NOT NULL, at bigint NOT NULL, conflict integer NOT NULL)",
            "CREATE INDEX history_of_annotation ON annotation_history (annotation)",
        },
    };
    return all;
}

constexpr std::string_view kChangeColumns =
    "id, hearing, seq, kind, annotation, time, description, notes, no_dossier, date_created, "
    "user_name, room, base, author, station, at";

std::int64_t number(const std::string& text) {
    return text.empty() ? 0 : std::stoll(text);
}

Change changeFromRow(const Row& r) {
    Change c;
    c.id = r[0];
    c.hearing = r[1];
    c.seq = number(r[2]);
    c.kind = kindFromName(r[3]).value_or(Kind::Add);
    c.annotation = r[4];
    c.time = fromUtf8(r[5]);
    c.description = fromUtf8(r[6]);
    c.notes = fromUtf8(r[7]);
    c.fields.noDossier = fromUtf8(r[8]);
    c.fields.dateCreated = fromUtf8(r[9]);
    c.fields.userName = fromUtf8(r[10]);
    c.fields.room = fromUtf8(r[11]);
    c.base = r[12];
    c.author = fromUtf8(r[13]);
    c.station = fromUtf8(r[14]);
    c.at = number(r[15]);
    return c;
}

class SqlStore final : public Store {
  public:
    SqlStore(std::unique_ptr<Sql> sql, Report report)
        : sql_(std::move(sql)), report_(std::move(report)) {}

    bool shared() const override { return sql_->dialect() == Sql::Dialect::PostgreSQL; }

    bool reachable() override {
        // An unreachable server is reported once, not at every try.
        if (!sql_->connect())
            return std::exchange(offline_, true) ? false : failed("connect");
        offline_ = false;
        return migrated_ || migrate();
    }

    std::optional<std::int64_t> apply(const Change& c) override {
        if (!reachable() || !begin(false))
            return std::nullopt;
        std::optional<std::int64_t> seq = applyInside(c);
        if (!seq || !exec("COMMIT")) {
            rollback();
            return std::nullopt;
        }
        return seq;
    }

    std::optional<std::vector<Change>> changesAfter(const std::string& hearing,
                                                    std::int64_t seq) override {
        std::vector<Row> rows;
        if (!reachable() || !exec("SELECT " + std::string(kChangeColumns) +
                                      " FROM changes WHERE hearing = ? AND seq > ? ORDER BY seq",
                                  {hearing, std::to_string(seq)}, &rows))
            return std::nullopt;
        std::vector<Change> out;
        for (const Row& r : rows)
            out.push_back(changeFromRow(r));
        return out;
    }

    std::optional<Loaded> load(const std::string& hearing) override {
        if (!reachable() || !begin(true))
            return std::nullopt;
        Loaded loaded;
        std::vector<Row> h, a;
        const bool ok =
            exec("SELECT id, no_dossier, date_created, user_name, room, station, created_at, "
                 "last_seq FROM hearings WHERE id = ?",
                 {hearing}, &h) &&
            exec("SELECT id, time, description, notes, author, station, notes_change FROM "
                 "annotations WHERE hearing = ? AND deleted = 0 ORDER BY added_seq",
                 {hearing}, &a);
        rollback();
        if (!ok || h.empty())
            return std::nullopt;
        loaded.hearing = hearingFromRow(h[0]);
        loaded.seq = number(h[0][7]);
        for (const Row& r : a)
            loaded.annotations.push_back({r[0], fromUtf8(r[1]), fromUtf8(r[2]), fromUtf8(r[3]),
                                          fromUtf8(r[4]), fromUtf8(r[5]), r[6]});
        return loaded;
    }

    std::optional<std::vector<Hearing>> hearings() override {
        std::vector<Row> rows;
        if (!reachable() ||
            !exec("SELECT id, no_dossier, date_created, user_name, room, station, created_at "
                  "FROM hearings ORDER BY created_at DESC, id",
                  {}, &rows))
            return std::nullopt;
        std::vector<Hearing> out;
        for (const Row& r : rows)
            out.push_back(hearingFromRow(r));
        return out;
    }

    std::optional<std::vector<NotesVersion>> history(const std::string& annotation) override {
        std::vector<Row> rows;
        if (!reachable() ||
            !exec("SELECT h.notes, h.author, h.station, h.change, h.replaced_by, h.at, "
                  "h.conflict FROM annotation_history h JOIN changes c ON c.id = h.replaced_by "
                  "WHERE h.annotation = ? ORDER BY c.seq",
                  {annotation}, &rows))
            return std::nullopt;
        std::vector<NotesVersion> out;
        for (const Row& r : rows)
            out.push_back({fromUtf8(r[0]), fromUtf8(r[1]), fromUtf8(r[2]), r[3], r[4], number(r[5]),
                           r[6] == "1"});
        return out;
    }

    std::optional<std::vector<HistoryEntry>> annotationHistory(const std::string&) override {
        return std::nullopt;
    }
    std::optional<Loaded> loadAsOf(const std::string&, std::int64_t) override {
        return std::nullopt;
    }
    std::optional<std::vector<SearchHit>> search(const SearchQuery&) override {
        return std::nullopt;
    }
    bool setAccess(const std::string&, Access, const Str&, const Str&, std::int64_t) override {
        return false;
    }
    bool enforcesAccess() const override { return pg(); }

    int descriptor() override { return sql_->descriptor(); }
    std::vector<std::string> changedHearings() override { return sql_->notifications(); }

  private:
    static Hearing hearingFromRow(const Row& r) {
        return {r[0],           fromUtf8(r[1]), fromUtf8(r[2]), fromUtf8(r[3]),
                fromUtf8(r[4]), fromUtf8(r[5]), number(r[6])};
    }

    bool exec(const std::string& statement, const std::vector<std::string>& params = {},
              std::vector<Row>* rows = nullptr) {
        return sql_->exec(statement, params, rows) || failed(statement.substr(0, 40));
    }
    bool failed(const std::string& what) {
        if (report_)
            report_("hearing record: " + what + ": " + sql_->error());
        return false;
    }
    bool pg() const { return sql_->dialect() == Sql::Dialect::PostgreSQL; }
    bool begin(bool snapshot) {
        if (pg())
            return exec(snapshot ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN");
        return exec(snapshot ? "BEGIN" : "BEGIN IMMEDIATE");
    }
    void rollback() { sql_->exec("ROLLBACK", {}, nullptr); }

    bool migrate() {
        std::vector<Row> rows;
        // A station's role may read the version without the rights to create or lock.
        if (sql_->exec("SELECT coalesce(max(version), 0) FROM schema_version", {}, &rows) &&
            static_cast<std::size_t>(number(rows.at(0).at(0))) >= migrations().size()) {
            migrated_ = true;
            return true;
        }
        rows.clear();
        if (!exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)") ||
            !begin(false))
            return false;
        // One station migrates; the others wait for it and find the schema current.
        if ((pg() && !exec("LOCK TABLE schema_version IN EXCLUSIVE MODE")) ||
            !exec("SELECT coalesce(max(version), 0) FROM schema_version", {}, &rows)) {
            rollback();
            return false;
        }
        const auto& all = migrations();
        for (std::size_t v = static_cast<std::size_t>(number(rows.at(0).at(0))); v < all.size();
             ++v) {
            for (std::string_view statement : all[v])
                if (!exec(std::string(statement))) {
                    rollback();
                    return false;
                }
            if (!exec("INSERT INTO schema_version (version) VALUES (?)", {std::to_string(v + 1)})) {
                rollback();
                return false;
            }
        }
        if (!exec("COMMIT")) {
            rollback();
            return false;
        }
        migrated_ = true;
        return true;
    }

    std::optional<std::int64_t> applyInside(const Change& c) {
        std::vector<Row> rows;
        // The hearing's row is the lock that orders its changes.
        if (!exec("INSERT INTO hearings (id) VALUES (?) ON CONFLICT DO NOTHING", {c.hearing}) ||
            !exec(std::string("SELECT last_seq FROM hearings WHERE id = ?") +
                      (pg() ? " FOR UPDATE" : ""),
                  {c.hearing}, &rows))
            return std::nullopt;
        const std::int64_t seq = number(rows.at(0).at(0)) + 1;
        rows.clear();
        if (!exec("SELECT seq FROM changes WHERE id = ?", {c.id}, &rows))
            return std::nullopt;
        if (!rows.empty())
            return number(rows[0][0]); // applied before
        const std::string s = std::to_string(seq);
        const std::string at = std::to_string(c.at);
        const std::string author = toUtf8(c.author), station = toUtf8(c.station);
        if (!exec("UPDATE hearings SET last_seq = ? WHERE id = ?", {s, c.hearing}) ||
            !exec("INSERT INTO changes (" + std::string(kChangeColumns) +
                      ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {c.id, c.hearing, s, std::string(kindName(c.kind)), c.annotation, toUtf8(c.time),
                   toUtf8(c.description), toUtf8(c.notes), toUtf8(c.fields.noDossier),
                   toUtf8(c.fields.dateCreated), toUtf8(c.fields.userName), toUtf8(c.fields.room),
                   c.base, author, station, at}))
            return std::nullopt;
        bool ok = true;
        switch (c.kind) {
        case Kind::Hearing:
            ok = exec("UPDATE hearings SET no_dossier = ?, date_created = ?, user_name = ?, "
                      "room = CASE WHEN ? = '' THEN room ELSE ? END, station = CASE WHEN station "
                      "= '' THEN ? ELSE station END, created_at = CASE WHEN created_at = 0 THEN ? "
                      "ELSE created_at END WHERE id = ?",
                      {toUtf8(c.fields.noDossier), toUtf8(c.fields.dateCreated),
                       toUtf8(c.fields.userName), toUtf8(c.fields.room), toUtf8(c.fields.room),
                       station, at, c.hearing});
            break;
        case Kind::Add:
            ok = exec("INSERT INTO annotations (id, hearing, added_seq, time, description, notes, "
                      "notes_change, author, station) VALUES (?, ?, ?, ?, ?, '', '', ?, ?) ON "
                      "CONFLICT DO NOTHING",
                      {c.annotation, c.hearing, s, toUtf8(c.time), toUtf8(c.description), author,
                       station});
            break;
        case Kind::Rename:
            ok = exec("UPDATE annotations SET description = ? WHERE id = ? AND hearing = ?",
                      {toUtf8(c.description), c.annotation, c.hearing});
            break;
        case Kind::Notes:
            ok = applyNotes(c, at);
            break;
        case Kind::Delete:
            ok = exec("UPDATE annotations SET deleted = 1 WHERE id = ? AND hearing = ?",
                      {c.annotation, c.hearing});
            break;
        case Kind::Clear:
            ok = exec("UPDATE annotations SET deleted = 1 WHERE hearing = ?", {c.hearing});
            break;
        case Kind::Access:
            ok = exec("UPDATE hearings SET access = ? WHERE id = ?",
                      {std::string(accessName(c.fields.access)), c.hearing});
            break;
        }
        if (ok && pg())
            ok = exec("SELECT pg_notify('dalmure_record', ?)", {c.hearing});
        if (!ok)
            return std::nullopt;
        return seq;
    }

    // The text replaced goes to the history, a conflict when the station did not know it.
    bool applyNotes(const Change& c, const std::string& at) {
        std::vector<Row> rows;
        if (!exec("SELECT a.notes, a.notes_change, coalesce(w.author, a.author), "
                  "coalesce(w.station, a.station), coalesce(w.at, 0) FROM annotations a LEFT JOIN "
                  "changes w ON w.id = a.notes_change WHERE a.id = ? AND a.hearing = ?",
                  {c.annotation, c.hearing}, &rows))
            return false;
        if (rows.empty())
            return true; // deleted or never added: the change is kept, nothing shows it
        const Row& old = rows[0];
        if (!old[0].empty() &&
            !exec("INSERT INTO annotation_history (annotation, notes, author, station, change, "
                  "replaced_by, at, conflict) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                  {c.annotation, old[0], old[2], old[3], old[1], c.id, old[4],
                   old[1] != c.base ? "1" : "0"}))
            return false;
        (void)at;
        return exec("UPDATE annotations SET notes = ?, notes_change = ? WHERE id = ?",
                    {toUtf8(c.notes), c.id, c.annotation});
    }

    std::unique_ptr<Sql> sql_;
    Report report_;
    bool migrated_ = false;
    bool offline_ = false;
};

} // namespace

std::string_view kindName(Kind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

std::optional<Kind> kindFromName(std::string_view name) {
    for (std::size_t i = 0; i < kKinds.size(); ++i)
        if (name == kKinds[i])
            return static_cast<Kind>(i);
    return std::nullopt;
}

std::string_view accessName(Access access) {
    return kAccess[static_cast<std::size_t>(access)];
}

std::optional<Access> accessFromName(std::string_view name) {
    for (std::size_t i = 0; i < kAccess.size(); ++i)
        if (name == kAccess[i])
            return static_cast<Access>(i);
    return std::nullopt;
}

std::unique_ptr<Store> openStore(const std::string& connection, const Str& appFolder,
                                 Report report) {
    std::unique_ptr<Sql> sql;
    if (connection.empty() || connection == "sqlite:") {
        sql = openSqlite(toUtf8(appFolder), "HearingRecord.db");
    } else if (connection.rfind("sqlite:", 0) == 0) {
        const std::string path = connection.substr(7);
        const auto slash = path.rfind('/');
        sql = slash == std::string::npos
                  ? openSqlite(toUtf8(appFolder), path)
                  : openSqlite(path.substr(0, slash ? slash : 1), path.substr(slash + 1));
    } else {
        sql = openPostgres(connection);
    }
    return std::make_unique<SqlStore>(std::move(sql), std::move(report));
}

std::string configuredServer(const Str& appFolder) {
    return toUtf8(ReadIni(u"Record", u"Server", Str(), appFolder + u"/" + Settings::kIniFileName));
}

} // namespace dalmure::record
