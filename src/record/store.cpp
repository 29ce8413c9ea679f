// The record's one store over either database (sql.h): the schema and its migrations, and each
// change applied to the hearing's state in the transaction that keeps the change.
#include "record/record.h"
#include "record/sql.h"
#include "settings/settings.h"
#include "support/ini_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <map>
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

constexpr std::array kKinds{"hearing", "add",   "rename", "notes",
                            "delete",  "clear", "access", "recover"};
constexpr std::array kAccess{"public", "confidential", "sealed"};

// The enumerator whose name (in one of the tables above) is name.
template <typename Enum, std::size_t N>
std::optional<Enum> fromName(const std::array<const char*, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == names[i])
            return static_cast<Enum>(i);
    return std::nullopt;
}

// Each version's statements, run in order on a database that has the versions before it. A
// version once released is never edited: a change of the schema is a new version.
std::vector<std::vector<std::string_view>> migrations(bool pg) {
    std::vector<std::vector<std::string_view>> all{
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
        {
            "ALTER TABLE hearings ADD COLUMN access text NOT NULL DEFAULT 'public'",
        },
        {},
    };
    std::vector<std::string_view>& v2 = all[1];
    if (pg) {
        v2.insert(
            v2.end(),
            {
                // Words without case nor accents: the index and the queries share the one
                // configuration.
                "CREATE EXTENSION IF NOT EXISTS unaccent",
                "CREATE TEXT SEARCH CONFIGURATION dalmure_words (COPY = pg_catalog.simple)",
                "ALTER TEXT SEARCH CONFIGURATION dalmure_words ALTER MAPPING FOR word, hword, "
                "hword_part, asciiword, asciihword, hword_asciipart WITH unaccent, simple",
                "ALTER TABLE annotations ADD COLUMN words tsvector GENERATED ALWAYS AS "
                "(to_tsvector('dalmure_words', description || ' ' || notes)) STORED",
                "CREATE INDEX annotation_words ON annotations USING gin (words) WHERE deleted = 0",
                "CREATE INDEX hearings_by_dossier ON hearings (no_dossier)",
                // The changes are kept as they were made, whatever a role was granted.
                "CREATE FUNCTION dalmure_kept() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "RAISE EXCEPTION 'the hearing record''s changes are never altered'; END $$",
                "CREATE TRIGGER changes_kept BEFORE UPDATE OR DELETE ON changes FOR EACH "
                "STATEMENT EXECUTE FUNCTION dalmure_kept()",
                "CREATE TRIGGER history_kept BEFORE UPDATE OR DELETE ON annotation_history FOR "
                "EACH STATEMENT EXECUTE FUNCTION dalmure_kept()",
                // Who sees a hearing: public, or a member of dalmure_<level>. The other tables
                // follow their hearing. Every role but the owner (who stations never are) is
                // bound.
                "CREATE FUNCTION dalmure_may_see(level text, who name) RETURNS boolean LANGUAGE "
                "sql STABLE AS $$ SELECT level = 'public' OR EXISTS (SELECT 1 FROM pg_roles r "
                "WHERE r.rolname = 'dalmure_' || level AND pg_has_role(who, r.oid, 'MEMBER')) $$",
                "ALTER TABLE hearings ENABLE ROW LEVEL SECURITY",
                "CREATE POLICY hearing_level ON hearings USING (dalmure_may_see(access, "
                "current_user))",
                "ALTER TABLE annotations ENABLE ROW LEVEL SECURITY",
                "CREATE POLICY annotation_level ON annotations USING (hearing IN (SELECT id FROM "
                "hearings))",
                "ALTER TABLE changes ENABLE ROW LEVEL SECURITY",
                "CREATE POLICY change_level ON changes USING (hearing IN (SELECT id FROM "
                "hearings))",
                "ALTER TABLE annotation_history ENABLE ROW LEVEL SECURITY",
                "CREATE POLICY history_level ON annotation_history USING (annotation IN (SELECT "
                "id FROM annotations))",
                // Search runs as the owner, so that the word index serves it (under row-level
                // security the server tests each row's level before its words), and keeps to the
                // hearings the connected role may see; planned for each query's own words and
                // filters.
                "CREATE FUNCTION dalmure_search(words text, from_at bigint, to_at bigint, dossier "
                "text, in_room text, by_author text, most integer) RETURNS TABLE (hit_hearing "
                "text, hit_annotation text, hit_dossier text, hit_room text, hit_time text, "
                "hit_description text, hit_snippet text, hit_created bigint, hit_rank real) "
                "LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = public, pg_catalog "
                "AS $f$ BEGIN RETURN QUERY EXECUTE $q$ SELECT s.hearing, s.id, s.no_dossier, "
                "s.room, s.time, s.description, ts_headline('dalmure_words', s.body, s.q, "
                "'StartSel=\"\x02\", StopSel=\"\x03\", MaxWords=14, MinWords=6, "
                "MaxFragments=2, FragmentDelimiter=\" … \"'), s.created_at, s.r FROM (SELECT "
                "a.hearing, a.id, h.no_dossier, h.room, a.time, a.description, a.description || "
                "' ' || a.notes AS body, h.created_at, q, ts_rank(a.words, q) AS r, a.added_seq "
                "FROM to_tsquery('dalmure_words', $1) q, annotations a JOIN hearings h ON h.id "
                "= a.hearing WHERE a.deleted = 0 AND a.words @@ q AND dalmure_may_see(h.access, "
                "session_user) AND h.created_at >= $2 AND h.created_at < $3 AND ($4 = '' OR "
                "h.no_dossier = $4) AND ($5 = '' OR h.room = $5) AND ($6 = '' OR a.author = $6) "
                "ORDER BY r DESC, a.hearing, a.added_seq LIMIT $7) s ORDER BY s.r DESC, "
                "s.hearing, s.added_seq $q$ USING words, from_at, to_at, dossier, in_room, "
                "by_author, most; END $f$",
                // The roles a court gives its users (README), made when this role may, and what
                // a station may do: read and add, never alter a change.
                "DO $$ DECLARE r text; BEGIN FOREACH r IN ARRAY ARRAY['dalmure_station', "
                "'dalmure_confidential', 'dalmure_sealed'] LOOP IF NOT EXISTS (SELECT 1 FROM "
                "pg_roles WHERE rolname = r) THEN BEGIN EXECUTE format('CREATE ROLE %I NOLOGIN', "
                "r); EXCEPTION WHEN insufficient_privilege THEN NULL; END; END IF; END LOOP; IF "
                "EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'dalmure_station') THEN GRANT "
                "SELECT ON schema_version TO dalmure_station; GRANT SELECT, INSERT, UPDATE ON "
                "hearings, annotations TO dalmure_station; GRANT SELECT, INSERT ON changes, "
                "annotation_history TO dalmure_station; END IF; END $$",
            });
    } else {
        v2.insert(
            v2.end(),
            {
                "CREATE VIRTUAL TABLE annotation_words USING fts5(body, tokenize = 'unicode61 "
                "remove_diacritics 2')",
                "INSERT INTO annotation_words (rowid, body) SELECT rowid, description || ' ' || "
                "notes FROM annotations WHERE deleted = 0",
                "CREATE TRIGGER annotation_words_added AFTER INSERT ON annotations WHEN "
                "new.deleted = 0 BEGIN INSERT INTO annotation_words (rowid, body) VALUES "
                "(new.rowid, new.description || ' ' || new.notes); END",
                "CREATE TRIGGER annotation_words_changed AFTER UPDATE OF description, notes, "
                "deleted ON annotations BEGIN DELETE FROM annotation_words WHERE rowid = "
                "old.rowid; INSERT INTO annotation_words (rowid, body) SELECT new.rowid, "
                "new.description || ' ' || new.notes WHERE new.deleted = 0; END",
                "CREATE INDEX hearings_by_dossier ON hearings (no_dossier)",
                "CREATE TRIGGER changes_kept BEFORE UPDATE ON changes BEGIN SELECT RAISE(ABORT, "
                "'the hearing record''s changes are never altered'); END",
                "CREATE TRIGGER changes_not_removed BEFORE DELETE ON changes BEGIN SELECT "
                "RAISE(ABORT, 'the hearing record''s changes are never altered'); END",
            });
    }
    if (pg) {
        // Search ranks at most 2,000 matches, the first the server reads (through the word index
        // and in the table's order): putting every match in an order first would read them all,
        // and a word that a tenth of the record holds matches 100,000. Fewer matches are all
        // ranked, as before. The snippets are made only for the hits returned.
        all[2].push_back(
            "CREATE OR REPLACE FUNCTION dalmure_search(words text, from_at bigint, to_at bigint, "
            "dossier text, in_room text, by_author text, most integer) RETURNS TABLE "
            "(hit_hearing text, hit_annotation text, hit_dossier text, hit_room text, hit_time "
            "text, hit_description text, hit_snippet text, hit_created bigint, hit_rank real) "
            "LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = public, pg_catalog AS $f$ "
            "BEGIN RETURN QUERY EXECUTE $q$ SELECT s.hearing, s.id, s.no_dossier, s.room, "
            "s.time, s.description, ts_headline('dalmure_words', s.body, s.q, "
            "'StartSel=\"\x02\", StopSel=\"\x03\", MaxWords=14, MinWords=6, MaxFragments=2, "
            "FragmentDelimiter=\" … \"'), s.created_at, s.r FROM (SELECT c.*, ts_rank(c.words, "
            "c.q) AS r FROM (SELECT a.hearing, a.id, h.no_dossier, h.room, a.time, "
            "a.description, a.description || ' ' || a.notes AS body, h.created_at, q, a.words, "
            "a.added_seq FROM to_tsquery('dalmure_words', $1) q, annotations a JOIN hearings h "
            "ON h.id = a.hearing WHERE a.deleted = 0 AND a.words @@ q AND "
            "dalmure_may_see(h.access, session_user) AND h.created_at >= $2 AND h.created_at < "
            "$3 AND ($4 = '' OR h.no_dossier = $4) AND ($5 = '' OR h.room = $5) AND ($6 = '' OR "
            "a.author = $6) LIMIT 2000) c ORDER BY r DESC, c.hearing, c.added_seq LIMIT "
            "$7) s ORDER BY s.r DESC, s.hearing, s.added_seq $q$ USING words, from_at, to_at, "
            "dossier, in_room, by_author, most; END $f$");
    }
    return all;
}

constexpr std::string_view kChangeColumns =
    "id, hearing, kind, annotation, time, description, notes, no_dossier, date_created, "
    "user_name, room, base, author, station, at, seq";

std::int64_t number(const std::string& text) {
    return text.empty() ? 0 : std::stoll(text);
}

constexpr std::string_view kHearingColumns =
    "id, no_dossier, date_created, user_name, room, station, created_at, access";

Hearing hearingFromRow(const Row& r) {
    return {r[0],           fromUtf8(r[1]),
            fromUtf8(r[2]), fromUtf8(r[3]),
            fromUtf8(r[4]), fromUtf8(r[5]),
            number(r[6]),   accessFromName(r[7]).value_or(Access::Sealed)};
}

// What the changes up to one time made of a hearing: each applied as applyInside applies it.
class Replay {
  public:
    explicit Replay(std::string hearing) { state_.hearing.id = std::move(hearing); }

    // Applies c; when it changes annotation watch, its history entry goes to history.
    void apply(const Change& c, const std::string& watch = {},
               std::vector<HistoryEntry>* history = nullptr) {
        state_.seq = c.seq;
        Hearing& h = state_.hearing;
        const auto found = index_.find(c.annotation);
        Entry* row = found == index_.end() ? nullptr : &rows_[found->second];
        HistoryEntry entry{c.kind, {}, {}, c.author, c.station, c.at, c.seq, c.id, false};
        bool watched = !watch.empty() && c.annotation == watch;
        switch (c.kind) {
        case Kind::Hearing:
            h.noDossier = c.fields.noDossier;
            h.dateCreated = c.fields.dateCreated;
            h.userName = c.fields.userName;
            if (!c.fields.room.empty())
                h.room = c.fields.room;
            if (h.station.empty())
                h.station = c.station;
            if (h.createdAt == 0)
                h.createdAt = c.at;
            break;
        case Kind::Access:
            h.access = c.fields.access;
            break;
        case Kind::Add:
            if (row) {
                watched = false;
                break;
            }
            index_[c.annotation] = rows_.size();
            rows_.push_back(
                {{c.annotation, c.time, c.description, {}, c.author, c.station, {}}, false});
            entry.after = c.description;
            break;
        case Kind::Rename:
            if (!row)
                break;
            entry.before = std::exchange(row->annotation.description, c.description);
            entry.after = c.description;
            break;
        case Kind::Notes:
            if (!row)
                break;
            entry.conflict =
                !row->annotation.notes.empty() && row->annotation.notesChange != c.base;
            entry.before = std::exchange(row->annotation.notes, c.notes);
            entry.after = c.notes;
            row->annotation.notesChange = c.id;
            break;
        case Kind::Delete:
            if (!row)
                break;
            entry.before = row->annotation.description;
            row->deleted = true;
            break;
        case Kind::Recover:
            if (row)
                entry.after = row->annotation.description;
            break;
        case Kind::Clear:
            for (Entry& r : rows_) {
                if (!r.deleted && r.annotation.id == watch) {
                    entry.before = r.annotation.description;
                    watched = true;
                }
                r.deleted = true;
            }
            break;
        }
        if (watched && history)
            history->push_back(std::move(entry));
    }

    Loaded loaded() const {
        Loaded out = state_;
        for (const Entry& r : rows_)
            if (!r.deleted)
                out.annotations.push_back(r.annotation);
        return out;
    }

  private:
    struct Entry {
        Annotation annotation;
        bool deleted = false;
    };
    Loaded state_;
    std::vector<Entry> rows_;
    std::map<std::string, std::size_t> index_;
};

// The words of what a user typed: runs of letters and digits (anything but ASCII punctuation,
// spaces and the common Unicode punctuation), each to be found as a word or a word's start.
std::vector<std::string> queryWords(const Str& typed) {
    std::vector<std::string> out;
    Str word;
    auto flush = [&] {
        if (!word.empty())
            out.push_back(toUtf8(word));
        word.clear();
    };
    for (char16_t ch : typed) {
        const bool ascii = ch < 0x80;
        const bool letter = ascii ? (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'z') ||
                                        (ch >= u'A' && ch <= u'Z')
                                  : !(ch < 0xC0 || (ch >= 0x2000 && ch <= 0x206F) || ch == 0xD7 ||
                                      ch == 0xF7 || (ch >= 0x3000 && ch <= 0x303F));
        if (letter)
            word += ch;
        else
            flush();
    }
    flush();
    return out;
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

    std::optional<std::int64_t> apply(const Change& c) override { return applyAll({&c, 1}); }

    std::optional<std::int64_t> applyAll(std::span<const Change> changes) override {
        if (changes.empty())
            return reachable() ? std::optional<std::int64_t>(0) : std::nullopt;
        if (!reachable() || !begin(false))
            return std::nullopt;
        std::optional<std::int64_t> seq;
        // Each hearing changed, and what its notification carries.
        std::vector<std::pair<std::string, std::string>> changed;
        for (const Change& c : changes) {
            Row row;
            if (!(seq = applyInside(c, &row)))
                break;
            auto h = std::find_if(changed.begin(), changed.end(),
                                  [&](const auto& e) { return e.first == c.hearing; });
            if (h == changed.end())
                h = changed.insert(changed.end(), {c.hearing, {}});
            if (!row.empty() && pg())
                carry(h->second, row);
        }
        // The other roles learn that a hearing changed, but not which when it is not public;
        // those who may see it also learn what changed, when it is small enough to be told.
        if (seq && pg())
            for (const auto& [hearing, rows] : changed)
                if (!exec("SELECT pg_notify('dalmure_record', CASE WHEN access = 'public' THEN "
                          "id || ? ELSE '' END) FROM hearings WHERE id = ?",
                          {rows == kUntold ? std::string() : rows, hearing}))
                    seq.reset();
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
            exec("SELECT " + std::string(kHearingColumns) + ", last_seq FROM hearings WHERE id = ?",
                 {hearing}, &h) &&
            exec("SELECT id, time, description, notes, author, station, notes_change FROM "
                 "annotations WHERE hearing = ? AND deleted = 0 ORDER BY added_seq",
                 {hearing}, &a);
        rollback();
        if (!ok || h.empty())
            return std::nullopt;
        loaded.hearing = hearingFromRow(h[0]);
        loaded.seq = number(h[0][8]);
        for (const Row& r : a)
            loaded.annotations.push_back({r[0], fromUtf8(r[1]), fromUtf8(r[2]), fromUtf8(r[3]),
                                          fromUtf8(r[4]), fromUtf8(r[5]), r[6]});
        return loaded;
    }

    std::optional<std::vector<Hearing>> hearings() override {
        std::vector<Row> rows;
        if (!reachable() || !exec("SELECT " + std::string(kHearingColumns) +
                                      " FROM hearings ORDER BY created_at DESC, id",
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

    std::optional<std::vector<HistoryEntry>>
    annotationHistory(const std::string& annotation) override {
        std::vector<Row> rows;
        if (!reachable() ||
            !exec("SELECT hearing FROM annotations WHERE id = ?", {annotation}, &rows))
            return std::nullopt;
        std::vector<HistoryEntry> out;
        if (rows.empty())
            return out;
        std::optional<std::vector<Change>> changes = changesAfter(rows[0][0], 0);
        if (!changes)
            return std::nullopt;
        Replay replay(rows[0][0]);
        for (const Change& c : *changes)
            replay.apply(c, annotation, &out);
        return out;
    }

    std::optional<Loaded> loadAsOf(const std::string& hearing, std::int64_t at) override {
        std::optional<std::vector<Change>> changes = changesAfter(hearing, 0);
        if (!changes)
            return std::nullopt;
        Replay replay(hearing);
        bool any = false;
        for (const Change& c : *changes)
            if (c.at <= at) {
                replay.apply(c);
                any = true;
            }
        if (!any)
            return std::nullopt;
        return replay.loaded();
    }

    std::optional<std::vector<SearchHit>> search(const SearchQuery& q) override {
        const std::vector<std::string> words = queryWords(q.words);
        if (words.empty() || q.limit <= 0 || !reachable())
            return std::nullopt;
        std::string match;
        for (const std::string& w : words) {
            match += match.empty() ? "" : pg() ? " & " : " ";
            // The server reads "P-1" as "p" and "-1": a number may follow a hyphen.
            if (!pg())
                match += "\"" + w + "\"*";
            else if (w.find_first_not_of("0123456789") == std::string::npos)
                match += "('" + w + "':* | '-" + w + "':*)";
            else
                match += "'" + w + "':*";
        }
        const std::string from =
            std::to_string(q.from.value_or(std::numeric_limits<std::int64_t>::min()));
        const std::string to =
            std::to_string(q.to.value_or(std::numeric_limits<std::int64_t>::max()));
        const std::string dossier = toUtf8(q.noDossier), room = toUtf8(q.room),
                          author = toUtf8(q.author), limit = std::to_string(q.limit);
        // Ranked first, the snippets made only for the hits returned.
        const bool server = pg();
        // SQLite: from the words, or, for one case or room, from its hearings (CROSS JOIN keeps
        // that order), which a common word would otherwise make the longer way.
        const bool byHearing = !q.noDossier.empty() || !q.room.empty();
        const std::string statement =
            server ? "SELECT * FROM dalmure_search(?, ?, ?, ?, ?, ?, ?)"
                   : std::string("SELECT a.hearing, a.id, h.no_dossier, h.room, a.time, "
                                 "a.description, snippet(annotation_words, 0, char(2), char(3), "
                                 "'…', 12), h.created_at, -w.rank FROM ") +
                         (byHearing ? "hearings h CROSS JOIN annotations a CROSS JOIN "
                                      "annotation_words w"
                                    : "annotation_words w JOIN annotations a JOIN hearings h") +
                         " WHERE a.rowid = w.rowid AND h.id = a.hearing AND annotation_words "
                         "MATCH ? AND h.created_at >= ? AND h.created_at < ? AND (? = '' OR "
                         "h.no_dossier = ?) AND (? = '' OR h.room = ?) AND (? = '' OR a.author "
                         "= ?) ORDER BY w.rank, a.hearing, a.added_seq LIMIT ?";
        const std::vector<std::string> params =
            server ? std::vector<std::string>{match, from, to, dossier, room, author, limit}
                   : std::vector<std::string>{match, from, to,     dossier, dossier,
                                              room,  room, author, author,  limit};
        std::vector<Row> rows;
        if (!exec(statement, params, &rows))
            return std::nullopt;
        std::vector<SearchHit> out;
        for (const Row& r : rows) {
            // The text searched is the description, a space and the notes (none: a space left).
            Str snippet = fromUtf8(r[6]);
            while (!snippet.empty() && snippet.back() == u' ')
                snippet.pop_back();
            out.push_back({r[0], r[1], fromUtf8(r[2]), fromUtf8(r[3]), fromUtf8(r[4]),
                           fromUtf8(r[5]), std::move(snippet), number(r[7]), std::stod(r[8])});
        }
        return out;
    }

    bool setAccess(const std::string& hearing, Access access, const Str& author, const Str& station,
                   std::int64_t at) override {
        Change c;
        c.id = newId();
        c.hearing = hearing;
        c.kind = Kind::Access;
        c.fields.access = access;
        c.author = author;
        c.station = station;
        c.at = at;
        return apply(c).has_value();
    }
    bool enforcesAccess() const override { return pg(); }

    int descriptor() override { return sql_->descriptor(); }

    std::vector<std::string> changedHearings() override {
        std::vector<std::string> out = sql_->notifications();
        told_.clear();
        for (std::string& payload : out) {
            const std::size_t end = payload.find(kChangeMark);
            auto [at, added] = told_.try_emplace(payload.substr(0, end));
            std::optional<std::vector<Change>>& carried = at->second;
            if (added)
                carried.emplace();
            if (end == std::string::npos || !carried || !untell(payload, end, *carried))
                carried.reset();
            payload.resize(std::min(end, payload.size()));
        }
        return out;
    }

    std::optional<std::vector<Change>> told(const std::string& hearing) override {
        const auto found = told_.find(hearing);
        if (found == told_.end())
            return std::vector<Change>();
        return std::move(found->second);
    }

  private:
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
            static_cast<std::size_t>(number(rows.at(0).at(0))) >= migrations(pg()).size()) {
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
        const auto all = migrations(pg());
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

    // A notification carries each change as its row: the columns apart by kFieldMark, each row
    // after a kChangeMark. A change with a mark in its text, or one that would take the payload
    // past the server's limit, is not carried: the notification tells only the hearing.
    static constexpr char kChangeMark = '\x1e', kFieldMark = '\x1f';
    static constexpr std::size_t kMaxTold = 7'800; // the server's limit is 8,000 bytes
    static constexpr std::string_view kUntold = "\x1e\x1e";

    static void carry(std::string& rows, const Row& row) {
        if (rows == kUntold)
            return;
        for (const std::string& field : row) {
            if (rows.size() + field.size() + 1 > kMaxTold ||
                field.find_first_of(std::string_view("\x1e\x1f", 2)) != std::string::npos) {
                rows = kUntold;
                return;
            }
            rows += &field == row.data() ? kChangeMark : kFieldMark;
            rows += field;
        }
    }

    // The rows payload carries from its first kChangeMark (at), added to told; false when they
    // are not whole rows.
    static bool untell(const std::string& payload, std::size_t at, std::vector<Change>& out) {
        std::vector<std::string> fields;
        std::size_t count = 0;
        for (std::size_t from = at + 1;; ++count) {
            const std::size_t end = payload.find_first_of(std::string_view("\x1e\x1f", 2), from);
            fields.push_back(payload.substr(from, end - from));
            if (end == std::string::npos || payload[end] == kChangeMark) {
                if (fields.size() != 16)
                    return false;
                out.push_back(changeFromRow(fields));
                fields.clear();
            }
            if (end == std::string::npos)
                return true;
            from = end + 1;
        }
    }

    // Applies c inside the transaction begun; row: its row in changes, when it was not applied
    // before.
    std::optional<std::int64_t> applyInside(const Change& c, Row* row = nullptr) {
        std::vector<Row> rows;
        // The hearing's row is the lock that orders its changes.
        if (!exec("INSERT INTO hearings (id) VALUES (?) ON CONFLICT DO NOTHING", {c.hearing}) ||
            !exec(std::string("SELECT last_seq FROM hearings WHERE id = ?") +
                      (pg() ? " FOR UPDATE" : ""),
                  {c.hearing}, &rows))
            return std::nullopt;
        if (rows.empty()) { // a hearing this role may not see
            failed("a change of a hearing this role may not see");
            return std::nullopt;
        }
        const std::int64_t seq = number(rows.at(0).at(0)) + 1;
        rows.clear();
        if (!exec("SELECT seq FROM changes WHERE id = ?", {c.id}, &rows))
            return std::nullopt;
        if (!rows.empty())
            return number(rows[0][0]); // applied before
        const std::string s = std::to_string(seq);
        const std::string at = std::to_string(c.at);
        const std::string author = toUtf8(c.author), station = toUtf8(c.station);
        Row values{c.id,
                   c.hearing,
                   std::string(kindName(c.kind)),
                   c.annotation,
                   toUtf8(c.time),
                   c.kind == Kind::Access ? std::string(accessName(c.fields.access))
                                          : toUtf8(c.description),
                   toUtf8(c.notes),
                   toUtf8(c.fields.noDossier),
                   toUtf8(c.fields.dateCreated),
                   toUtf8(c.fields.userName),
                   toUtf8(c.fields.room),
                   c.base,
                   author,
                   station,
                   at,
                   s};
        if (!exec("UPDATE hearings SET last_seq = ? WHERE id = ?", {s, c.hearing}) ||
            !exec("INSERT INTO changes (" + std::string(kChangeColumns) +
                      ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  values))
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
        case Kind::Recover: // history only
            break;
        }
        if (!ok)
            return std::nullopt;
        if (row)
            *row = std::move(values);
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
    // What the notifications gathered by the last changedHearings() carried, by hearing.
    std::map<std::string, std::optional<std::vector<Change>>> told_;
};

} // namespace

Change changeFromRow(const Row& r) {
    Change c;
    c.id = r[0];
    c.hearing = r[1];
    c.kind = kindFromName(r[2]).value_or(Kind::Add);
    c.annotation = r[3];
    c.time = fromUtf8(r[4]);
    c.description = fromUtf8(r[5]);
    c.notes = fromUtf8(r[6]);
    c.fields.noDossier = fromUtf8(r[7]);
    c.fields.dateCreated = fromUtf8(r[8]);
    c.fields.userName = fromUtf8(r[9]);
    c.fields.room = fromUtf8(r[10]);
    c.base = r[11];
    c.author = fromUtf8(r[12]);
    c.station = fromUtf8(r[13]);
    c.at = number(r[14]);
    c.seq = number(r[15]);
    if (c.kind == Kind::Access) {
        c.fields.access = accessFromName(r[5]).value_or(Access::Sealed);
        c.description.clear();
    }
    return c;
}

std::string_view kindName(Kind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

std::optional<Kind> kindFromName(std::string_view name) {
    return fromName<Kind>(kKinds, name);
}

std::string_view accessName(Access access) {
    return kAccess[static_cast<std::size_t>(access)];
}

std::optional<Access> accessFromName(std::string_view name) {
    return fromName<Access>(kAccess, name);
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
