// Search across hearings, history, a hearing as of a past time and access levels.
#include "dalmure_test_access.h"
#include "record_rig.h"

namespace dalmure::test {
namespace {

using record::Access;
using record::Change;
using record::Kind;

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Changes written straight to a store, as stations send them.
struct Writer {
    record::Store& store;
    std::string hearing = record::newId();
    Str author = u"greffier A";

    Change change(Kind kind) {
        Change c;
        c.id = record::newId();
        c.hearing = hearing;
        c.kind = kind;
        c.station = u"S";
        return c;
    }
    // A change of annotation (a new one when none is given); the annotation.
    std::string apply(Kind kind, const std::string& annotation = {}, const Str& text = {}) {
        Change c = change(kind);
        c.annotation = annotation.empty() ? record::newId() : annotation;
        c.time = u"10:00:00";
        (kind == Kind::Notes ? c.notes : c.description) = text;
        c.author = author;
        EXPECT_TRUE(store.apply(c));
        return c.annotation;
    }
    void open(const Str& dossier, const Str& room, std::int64_t at) {
        Change c = change(Kind::Hearing);
        c.fields.noDossier = dossier;
        c.fields.room = room;
        c.at = at;
        EXPECT_TRUE(store.apply(c));
    }
};

// The words a snippet marks, in order, each followed by a space.
std::string marked(const Str& snippet) {
    std::string out;
    for (std::size_t from = 0; (from = snippet.find(record::kMarkStart, from)) != Str::npos;) {
        const std::size_t end = snippet.find(record::kMarkEnd, from);
        out += s(snippet.substr(from + 1, end - from - 1)) + " ";
        from = end;
    }
    return out;
}

record::SearchQuery query(const char* words,
                          const std::function<void(record::SearchQuery&)>& set = {}) {
    record::SearchQuery q;
    q.words = u(words);
    if (set)
        set(q);
    return q;
}

constexpr std::int64_t kDay = 86'400'000, kMonday = 1'796'000'000'000;

class SearchHearings : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        store = record::openStore(freshDatabase(GetParam(), folder), {}, {});
        Writer one{*store}, two{*store};
        one.open(u"500-01-000001-241", u"Salle 4.10", kMonday);
        const std::string roy = one.apply(Kind::Add, {}, u"Témoin M. Roy");
        one.apply(Kind::Notes, roy, u"contre-interrogatoire par la Couronne");
        one.author = u"greffier B";
        one.apply(Kind::Add, {}, u"Pièce P-1");
        one.apply(Kind::Rename, one.apply(Kind::Add, {}, u"Ouverture"),
                  u"Plaidoirie de la défense");
        one.apply(Kind::Delete, one.apply(Kind::Add, {}, u"témoin supprimé"));
        two.open(u"500-01-000002-241", u"Salle 2.01", kMonday + kDay);
        two.apply(Kind::Add, {}, u"TÉMOIN expert, témoin de la défense");
        two.apply(Kind::Add, {}, u"Suspension");
        first = one.hearing;
    }
    std::vector<std::string> found(const record::SearchQuery& q) {
        std::vector<std::string> out;
        auto hits = store->search(q);
        EXPECT_TRUE(hits) << s(q.words);
        for (const record::SearchHit& h : hits.value_or(std::vector<record::SearchHit>{}))
            out.push_back(s(h.description));
        return out;
    }

    TempAppFolder folder;
    std::unique_ptr<record::Store> store;
    std::string first;
};

TEST_P(SearchHearings, WordsWithoutCaseNorAccentsBestFirstAndFiltered) {
    const std::string expert = "TÉMOIN expert, témoin de la défense", roy = "Témoin M. Roy";
    const std::vector<std::pair<record::SearchQuery, std::vector<std::string>>> cases{
        {query("temoin"), {expert, roy}}, // the word three times ranks first
        {query("TEMOIN roy"), {roy}},
        {query("couronne"), {roy}}, // in the notes
        {query("plaid"), {"Plaidoirie de la défense"}},
        {query("piece P-1"), {"Pièce P-1"}},
        {query("ouverture"), {}}, // renamed
        {query("supprime"), {}},  // deleted
        {query("temoin absent"), {}},
        {query("defense", [](auto& q) { q.noDossier = u"500-01-000002-241"; }), {expert}},
        {query("temoin", [](auto& q) { q.room = u"Salle 4.10"; }), {roy}},
        {query("temoin", [](auto& q) { q.author = u"greffier B"; }), {}},
        {query("piece", [](auto& q) { q.author = u"greffier B"; }), {"Pièce P-1"}},
        {query("temoin", [](auto& q) { q.from = kMonday + 1; }), {expert}},
        {query("temoin", [](auto& q) { q.to = kMonday + 1; }), {roy}},
        {query("temoin", [](auto& q) { q.limit = 1; }), {expert}},
    };
    for (const auto& [query, expected] : cases) {
        SCOPED_TRACE(s(query.words));
        EXPECT_EQ(found(query), expected);
    }
    EXPECT_FALSE(store->search(query(" ,; ")));
}

TEST_P(SearchHearings, HitsTellTheHearingAndMarkTheWords) {
    auto hits = store->search(query("TEMOIN couronne"));
    ASSERT_TRUE(hits && hits->size() == 1);
    const record::SearchHit& hit = hits->front();
    EXPECT_EQ(hit.hearing, first);
    EXPECT_EQ(hit.annotation.size(), 32U);
    EXPECT_EQ(s(hit.noDossier + u" " + hit.room + u" " + hit.time),
              "500-01-000001-241 Salle 4.10 10:00:00");
    EXPECT_EQ(hit.hearingCreatedAt, kMonday);
    EXPECT_EQ(marked(hit.snippet), "Témoin Couronne ");
    hits = store->search(query("temoin"));
    ASSERT_TRUE(hits && hits->size() == 2);
    EXPECT_GT((*hits)[0].rank, (*hits)[1].rank);
    EXPECT_EQ(marked((*hits)[0].snippet), "TÉMOIN témoin ");
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchHearings,
                         ::testing::Values(Backend::Postgres, Backend::Sqlite), backendName);

class History : public ::testing::TestWithParam<Backend> {};

std::string minutes(DalmurePrivate& control, const TempAppFolder& app) {
    EXPECT_TRUE(DalmureTestAccess::GenerateHTML(control, false));
    return app.readBytes("pvData.html");
}

// One annotation renamed and its notes rewritten, another deleted.
TEST_P(History, EveryChangeKeptAndTheMinutesAsTheyWereToTheByte) {
    TempAppFolder folder;
    const std::string connection = freshDatabase(GetParam(), folder);
    Desk a(connection, "A");
    a.c().NoDossier = u"500-01-000003-241";
    a.c().UserName = u"greffier";
    a.c().DateCreated = u"2026-12-07";
    a.harness.add({{"10:00:00", "Ouverture"}, {"10:05:00", "Témoin"}});
    const std::string hearing = a.station->create();
    a.commitNotes(1, "première version");
    ASSERT_TRUE(a.flush());
    const std::string opening = a.station->annotationId(0), witness = a.station->annotationId(1);
    const std::string before = minutes(a.c(), a.harness.app);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::int64_t then = nowMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));

    a.c().renameAnnotation(1, u"Témoin M. Roy");
    a.commitNotes(1, "seconde version");
    a.remove(0);
    a.c().AnnoAdd(u"10:20:00", u"Suspension");
    ASSERT_TRUE(a.flush());

    // An annotation's changes: kind|before|after, made by then or later; all A's, in order.
    auto historyOf = [&](const std::string& annotation) {
        std::string got;
        std::int64_t seq = 0;
        const auto history = a.station->store().annotationHistory(annotation);
        for (const record::HistoryEntry& e : history.value()) {
            got += std::string(record::kindName(e.kind)) + "|" + s(e.before) + "|" + s(e.after) +
                   (e.at <= then ? " then; " : " later; ");
            EXPECT_TRUE(s(e.author + u"/" + e.station) == "clerk A/A" && !e.conflict &&
                        e.change.size() == 32 && e.seq > seq);
            seq = e.seq;
        }
        return got;
    };
    EXPECT_EQ(historyOf(witness), "add||Témoin then; notes||première version then; "
                                  "rename|Témoin|Témoin M. Roy later; "
                                  "notes|première version|seconde version later; ");
    EXPECT_EQ(historyOf(opening), "add||Ouverture then; delete|Ouverture| later; ");

    // As of then, on another station: the minutes written then; it neither follows nor sends.
    Desk past(connection, "B");
    ASSERT_TRUE(past.station->openAsOf(hearing, then));
    EXPECT_EQ(minutes(past.c(), past.harness.app), before);
    past.c().AnnoAdd(u"11:00:00", u"Note de B");
    past.station->poll();
    EXPECT_EQ(past.station->pending(), 0U);
    EXPECT_EQ(a.station->store().changesAfter(hearing, 0)->size(), 8U); // none from B
    EXPECT_NE(minutes(a.c(), a.harness.app), before);
    auto now = a.station->store().loadAsOf(hearing, nowMs());
    auto loaded = a.station->store().load(hearing);
    ASSERT_TRUE(now && loaded);
    EXPECT_TRUE(now->annotations == loaded->annotations && now->hearing == loaded->hearing &&
                now->seq == loaded->seq);
    EXPECT_FALSE(a.station->store().loadAsOf(hearing, 0));

    // A session of another case that died in this folder, recovered here: marked recovered.
    ASSERT_EQ(
        inChild([&] {
            startDoomedSession(a.harness.app.native()).control.AnnoAdd(u"10:40:00", u"Reprise");
            return std::string("OK");
        }),
        "OK");
    const auto found = a.c().RecoverableSessions();
    ASSERT_EQ(found.size(), 1U);
    ASSERT_TRUE(a.c().RecoverSession(found[0].id, true));
    ASSERT_TRUE(a.flush());
    const std::int32_t back = a.c().AnnoCount() - 1;
    ASSERT_EQ(s(a.c().AnnoDesc(back)), "Reprise");
    EXPECT_EQ(historyOf(a.station->annotationId(back)),
              "add||Reprise later; recover||Reprise later; ");
}
INSTANTIATE_TEST_SUITE_P(Backends, History, ::testing::Values(Backend::Postgres, Backend::Sqlite),
                         backendName);

// The database, not the client, keeps a sealed hearing from a clerk; a judge and the owner see it.
TEST(Sealed, HearingHiddenFromARoleThatMayNotSeeIt) {
    TempAppFolder folder;
    const std::string admin = freshDatabase(Backend::Postgres, folder);
    auto owner = record::openStore(admin, {}, {});
    ASSERT_TRUE(owner->reachable()); // the schema and group roles
    auto sql = record::openPostgres(admin);
    for (const char* role : {"clerk LOGIN IN ROLE dalmure_station",
                             "judge LOGIN IN ROLE dalmure_station, dalmure_sealed"})
        sql->exec(std::string("CREATE ROLE ") + role); // once per server
    auto as = [&](const char* role) {
        std::string c = admin;
        return c.replace(c.find("user=dalmure"), 12, std::string("user=") + role);
    };
    auto judge = record::openStore(as("judge"), {}, {});
    auto clerk = record::openStore(as("clerk"), {}, {});
    ASSERT_TRUE(clerk->reachable() && judge->reachable());

    Writer sealed{*judge}, open{*judge};
    sealed.open(u"500-01-000004-241", u"Salle 1", kMonday);
    const std::string witness = sealed.apply(Kind::Add, {}, u"Témoin protégé");
    EXPECT_TRUE(judge->setAccess(sealed.hearing, Access::Sealed, u"juge", u"S", kMonday));
    open.open(u"500-01-000005-241", u"Salle 2", kMonday);
    open.apply(Kind::Add, {}, u"Témoin public");

    for (const char* role : {"judge", "clerk", "dalmure"}) {
        SCOPED_TRACE(role);
        auto& store = *(role[0] == 'j' ? judge : role[0] == 'c' ? clerk : owner);
        auto hearings = store.hearings();
        auto hits = store.search(query("temoin"));
        std::vector<record::Row> rows;
        ASSERT_TRUE(
            hearings && hits &&
            record::openPostgres(as(role))->exec("SELECT count(*) FROM annotations", {}, &rows));
        const bool listed = std::any_of(hearings->begin(), hearings->end(), [&](const auto& h) {
            return h.id == sealed.hearing && h.access == Access::Sealed;
        });
        // Listed, hearings, hits, loaded, changes, history, as of a time, rows read straight.
        const std::vector<std::size_t> seen{listed,
                                            hearings->size(),
                                            hits->size(),
                                            store.load(sealed.hearing).has_value(),
                                            !store.changesAfter(sealed.hearing, 0)->empty(),
                                            !store.annotationHistory(witness)->empty(),
                                            store.loadAsOf(sealed.hearing, kMonday).has_value(),
                                            std::stoul(rows.at(0).at(0))};
        EXPECT_EQ(seen, (role[0] == 'c' ? std::vector<std::size_t>{0, 1, 1, 0, 0, 0, 0, 1}
                                        : std::vector<std::size_t>{1, 2, 2, 1, 1, 1, 1, 2}));
        EXPECT_TRUE(store.enforcesAccess());
    }
    // The clerk can neither change the sealed hearing nor seal one; nobody alters a change.
    Change c = sealed.change(Kind::Add);
    c.annotation = record::newId();
    EXPECT_FALSE(clerk->apply(c));
    EXPECT_FALSE(clerk->setAccess(open.hearing, Access::Sealed, u"greffier", u"S", kMonday));
    EXPECT_FALSE(clerk->setAccess(open.hearing, Access::Confidential, u"greffier", u"S", kMonday));
    auto raw = record::openPostgres(as("judge"));
    EXPECT_FALSE(raw->exec("UPDATE changes SET description = 'x'"));
    EXPECT_FALSE(raw->exec("DELETE FROM changes"));
    EXPECT_FALSE(sql->exec("UPDATE changes SET description = 'x'")); // not even the owner
    // What the clerk is told of the judge's changes never names the sealed hearing.
    clerk->changedHearings();
    sealed.apply(Kind::Add, {}, u"Suspension");
    open.apply(Kind::Add, {}, u"Reprise");
    std::vector<std::string> told;
    for (int i = 0; i < 100 && told.size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (std::string& h : clerk->changedHearings())
            told.push_back(h);
    }
    EXPECT_EQ(told, (std::vector<std::string>{"", open.hearing}));
    // The server ranks at most 2,000 matches, taken after the access check: 2,100 sealed ones
    // read first do not hide the public one from the clerk.
    ASSERT_TRUE(sql->exec("INSERT INTO annotations (id, hearing, added_seq, time, description, "
                          "notes, notes_change, author, station) SELECT 'huis' || g, ?, 100 + g, "
                          "'10:00:00', 'Huis clos', '', '', 'juge', 'S' FROM "
                          "generate_series(1, 2100) g",
                          {sealed.hearing}));
    open.apply(Kind::Add, {}, u"Huis clos levé");
    EXPECT_EQ(clerk->search(query("huis"))->size(), 1U);
    EXPECT_EQ(judge->search(query("huis"))->size(), 50U);
}

} // namespace
} // namespace dalmure::test
