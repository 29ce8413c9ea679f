// Stations on one hearing, on the PostgreSQL server the tests start and on a shared SQLite file.
#include "record_rig.h"

namespace dalmure::test {

// Stopped with the program (a static's destructor); a forked child never runs it.
PgCluster* server() {
    static PgCluster cluster;
    return &cluster;
}

namespace {

using record::Link;

class HearingRecord : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        connection = freshDatabase(GetParam(), shared);
        a = std::make_unique<Desk>(connection, "A");
        b = std::make_unique<Desk>(connection, "B");
    }
    // A's hearing with two annotations, opened on B.
    void openOnBoth() {
        a->c().NoDossier = u"500-01-123456-241";
        hearing = createAndOpen(*a, *b);
        a->c().AnnoAdd(u"10:05:00", u"Témoin");
        ASSERT_TRUE(same());
    }
    bool same() {
        return until({a.get(), b.get()}, [&] { return a->list() == b->list(); });
    }

    TempAppFolder shared;
    std::string connection, hearing;
    std::unique_ptr<Desk> a, b;
};

TEST_P(HearingRecord, OpenedHearingHoldsTheListAndCaseFields) {
    openOnBoth();
    EXPECT_EQ(b->list(), (std::vector<std::string>{"10:00:00|Ouverture|", "10:05:00|Témoin|"}));
    EXPECT_EQ(s(b->c().NoDossier), "500-01-123456-241");
    EXPECT_EQ(b->station->annotationId(1), a->station->annotationId(1));
    auto hearings = a->station->store().hearings();
    ASSERT_TRUE(hearings);
    std::string listed;
    for (const record::Hearing& h : *hearings)
        listed += h.id == hearing ? s(h.room) + " " + s(h.station) : "";
    EXPECT_EQ(listed, "Salle 4.10 A");
    EXPECT_EQ(hearing.size(), 32U);

    // Opened in one batch: identities kept, the last added selected, nothing sent back.
    a->harness.add(u"10:10:00", u"Plaidoirie", u"notes 10:10:00");
    a->harness.add(u"09:55:00", u"Plaidoirie", u"notes 09:55:00");
    a->flush();
    Desk c(connection, "C");
    ASSERT_TRUE(c.station->open(hearing));
    EXPECT_EQ(c.list(), a->list());
    for (std::int32_t k = 0; k < 4; ++k)
        EXPECT_EQ(c.station->annotationId(k), a->station->annotationId(k)) << k;
    EXPECT_EQ(c.c().Selected(), 0);
    EXPECT_EQ(s(c.harness.editor().text()), "notes 09:55:00");
    EXPECT_EQ(c.station->pending(), 0U);
}

TEST_P(HearingRecord, ChangesShowOnTheOtherStation) {
    openOnBoth();
    struct Step {
        std::function<void(Desk&)> change;
        std::vector<std::string> after;
    };
    // Notes a notification cannot carry: too long, or holding its separators.
    const std::string longNotes(9'000, 'n'), marked{'a', '\x1e', 'b', '\x1f', 'c'};
    const std::string o = "10:00:00|Ouverture|", p = "10:02:00|Pièce P-1|", t = "10:05:00|Témoin|";
    const std::string said = p + "déposée par la défense", roy = "10:05:00|Témoin M. Roy|";
    const std::vector<Step> steps{
        {[](Desk& d) { d.c().AnnoAdd(u"10:02:00", u"Pièce P-1"); }, {o, p, t}},
        {[&](Desk& d) { d.commitNotes(1, longNotes); }, {o, p + longNotes, t}},
        {[&](Desk& d) { d.commitNotes(1, marked); }, {o, p + marked, t}},
        {[](Desk& d) { d.commitNotes(1, "déposée par la défense"); }, {o, said, t}},
        {[](Desk& d) { d.c().renameAnnotation(2, u"Témoin M. Roy"); }, {o, said, roy}},
        {[](Desk& d) { d.remove(0); }, {said, roy}},
        {[](Desk& d) { d.c().ClearAll(); }, {}},
        {[](Desk& d) { d.harness.add(u"11:00:00", u"Reprise", u"notes"); },
         {"11:00:00|Reprise|notes"}},
    };
    for (Desk* from : {a.get(), b.get()}) {
        if (from == b.get()) {
            a->c().ClearAll();
            a->harness.add({{"10:00:00", "Ouverture"}, {"10:05:00", "Témoin"}});
            ASSERT_TRUE(same());
        }
        for (const Step& step : steps) {
            SCOPED_TRACE(std::to_string(&step - steps.data()) +
                         (from == a.get() ? " on A" : " on B"));
            step.change(*from);
            EXPECT_EQ(from->list(), step.after);
            EXPECT_TRUE(same());
        }
    }
    // What comes from elsewhere leaves the clerk's selection where it was.
    a->c().AnnoAdd(u"10:10:00", u"Témoin");
    ASSERT_TRUE(same());
    b->commitNotes(1, "sur l'annotation de B");
    a->c().AnnoAdd(u"10:30:00", u"Ajout de A");
    a->c().AnnoAdd(u"08:00:00", u"Avant tout");
    ASSERT_TRUE(same());
    EXPECT_EQ(s(b->c().AnnoDesc(b->c().Selected())), "Reprise");
    // B's control raised its own event for the notes it was given.
    EXPECT_NE(std::ranges::count(b->harness.events.names, std::string("AnnoModified(1)")), 0);
    Desk c(connection, "C");
    ASSERT_TRUE(c.station->open(hearing));
    EXPECT_EQ(c.list(), a->list());
}

TEST_P(HearingRecord, TwoCommitsOfOneNoteKeepBothTexts) {
    openOnBoth();
    a->commitNotes(0, "texte de A");
    a->station->poll(); // A's commit reaches the record first
    b->commitNotes(0, "texte de B");
    ASSERT_TRUE(same());
    EXPECT_EQ(s(a->c().AnnoData(0)), "texte de B");
    for (Desk* d : {a.get(), b.get()}) {
        ASSERT_EQ(d->conflicts.size(), 1U);
        const record::Conflict& c = d->conflicts[0];
        EXPECT_EQ(s(c.kept + u"/" + c.replaced + u"/" + c.replacedStation),
                  "texte de B/texte de A/A");
    }
    auto history = a->station->store().history(a->station->annotationId(0));
    ASSERT_TRUE(history && history->size() == 1);
    EXPECT_TRUE((*history)[0].conflict && s((*history)[0].notes) == "texte de A");
    // A later commit on a station that knew the text replaces it without a conflict.
    a->commitNotes(0, "texte de A, revu");
    ASSERT_TRUE(same());
    history = a->station->store().history(a->station->annotationId(0));
    ASSERT_TRUE(history && history->size() == 2);
    EXPECT_FALSE((*history)[1].conflict);
    EXPECT_EQ(a->conflicts.size(), 1U);
}

TEST_P(HearingRecord, AChangeSentAgainAfterItsAnswerWasLostCountsOnce) {
    openOnBoth();
    auto changes = a->station->store().changesAfter(hearing, 0);
    ASSERT_TRUE(changes && !changes->empty());
    const record::Change again = changes->back();
    EXPECT_EQ(a->station->store().apply(again), again.seq);
    EXPECT_EQ(a->station->store().changesAfter(hearing, 0)->size(), changes->size());
}

INSTANTIATE_TEST_SUITE_P(Backends, HearingRecord,
                         ::testing::Values(Backend::Postgres, Backend::Sqlite), backendName);

// Both stations have sent everything and show one list of n annotations.
bool caughtUp(Desk& a, Desk& b, std::size_t n) {
    return until({&a, &b}, [&] {
        return a.station->pending() + b.station->pending() == 0 && a.list() == b.list() &&
               a.list().size() == n;
    });
}

// Both queue while the server is stopped; B, started again meanwhile, opens from its copy.
TEST(HearingRecordOffline, NothingLostNorDoubled) {
    const std::string connection = server()->connection();
    Desk a(connection, "A"), b(connection, "B");
    const std::string hearing = createAndOpen(a, b, u"09:00:00");

    server()->stop();
    a.harness.add(u"09:10:00", u"Plaidoirie", u"la Couronne");
    a.commitNotes(0, "début");
    b.c().AnnoAdd(u"09:20:00", u"Suspension");
    for (Desk* d : {&a, &b})
        d->station->poll();
    EXPECT_EQ(a.station->link(), Link::Offline);
    EXPECT_EQ(a.station->pending(), 3U);
    b.attach(connection);
    ASSERT_TRUE(b.station->open(hearing));
    EXPECT_EQ(b.station->link(), Link::Offline);
    EXPECT_EQ(b.list(), (std::vector<std::string>{"09:00:00|Ouverture|", "09:20:00|Suspension|"}));
    b.c().AnnoAdd(u"09:30:00", u"Reprise");
    server()->start();

    ASSERT_TRUE(caughtUp(a, b, 4));
    EXPECT_EQ(a.list(), (std::vector<std::string>{"09:00:00|Ouverture|début",
                                                  "09:10:00|Plaidoirie|la Couronne",
                                                  "09:20:00|Suspension|", "09:30:00|Reprise|"}));
    EXPECT_EQ(a.station->link(), Link::Connected);
    // Each change once in the record: the hearing, 4 adds, 2 notes.
    EXPECT_EQ(a.station->store().changesAfter(hearing, 0)->size(), 7U);
}

// The primary stops, its streaming standby is promoted; the stations find it by themselves.
TEST(HearingRecordFailover, PromotedStandbyLosesNothingNorDoubles) {
    PgCluster primary;
    PgCluster standby(&primary);
    const std::string connection = "host=" + primary.socketFolder() + "," + standby.socketFolder() +
                                   " user=dalmure dbname=postgres connect_timeout=2 "
                                   "target_session_attrs=read-write";
    Desk a(connection, "A"), b(connection, "B");
    const std::string hearing = createAndOpen(a, b, u"14:00:00");

    primary.stop();
    a.harness.add(u"14:10:00", u"Témoin", u"contre-interrogatoire");
    b.c().AnnoAdd(u"14:20:00", u"Pièce D-3");
    standby.promote();
    ASSERT_TRUE(caughtUp(a, b, 3));
    EXPECT_EQ(a.list()[1], "14:10:00|Témoin|contre-interrogatoire");
    EXPECT_EQ(a.station->store().changesAfter(hearing, 0)->size(), 5U);
}

} // namespace
} // namespace dalmure::test
