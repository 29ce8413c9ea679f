// What a journal gives back: every kind of record written by an instance that did not close
// cleanly comes back from its replay, in list order, with the live text on the annotation it was
// typed in however the list changed afterwards; the summary agrees with the replay; a clean
// close leaves nothing behind.
#include "journal_test_support.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace dalmure::journal::test {
namespace {

struct ReplayCase {
    const char* name;
    std::function<void(Journal&)> write;
    std::vector<Annotation> annotations;
    std::optional<LiveText> live;
    CaseFields caseFields{};
    Str hearingId{};
};

Annotation anno(const char* time, const char* desc, const char* data = "", const char* notes = "") {
    return {u(time), u(desc), u(data), u(notes)};
}

// Three annotations: A, B, C at 0, 1, 2.
void threeOfThem(Journal& j) {
    j.added(0, u("10:00:00"), u("B"), u("b-data"));
    j.added(0, u("09:00:00"), u("A"), u(""));
    j.added(2, u("11:00:00"), u("C"), u("c-data"));
}

// Text the control may hold that a UTF-8 round trip would not keep: a lone surrogate, a NUL,
// characters beyond the Basic Multilingual Plane, CR LF.
Str awkward() {
    Str t = u("Témoin n°2 : « je ne sais pas » 𝄞\r\n");
    t.push_back(char16_t(0xD800));
    t.push_back(u'\0');
    t += u"fin";
    return t;
}

const std::vector<ReplayCase>& replayCases() {
    static const std::vector<ReplayCase> cases = {
        {"adds land where the list put them",
         threeOfThem,
         {anno("09:00:00", "A"), anno("10:00:00", "B", "b-data"), anno("11:00:00", "C", "c-data")},
         std::nullopt},
        {"deletes of the first, the last and the middle",
         [](Journal& j) {
             threeOfThem(j);
             j.added(3, u("12:00:00"), u("D"), u(""));
             j.deleted(0);
             j.deleted(2);
             j.deleted(1); // C, the middle of B C
         },
         {anno("10:00:00", "B", "b-data")},
         std::nullopt},
        {"adds in one batch, with notes, then a delete",
         [](Journal& j) {
             j.addedAll({{0, u("10:00:00"), u("B"), u("")},
                         {0, u("09:00:00"), u("A"), u("a-notes")},
                         {2, u("11:00:00"), u("C"), u("c-notes")}});
             j.deleted(1);
         },
         {anno("09:00:00", "A", "", "a-notes"), anno("11:00:00", "C", "", "c-notes")},
         std::nullopt},
        {"records held go in at release, or at the end when not released, with the editor's text",
         [](Journal& j) {
             j.hold();
             j.added(0, u("10:00:00"), u("B"), u("b-data"));
             j.added(0, u("09:00:00"), u("A"), u(""));
             j.release();
             j.hold();
             j.added(2, u("11:00:00"), u("C"), u("c-data"));
             j.liveText(1, u("typed"));
             j.notesCommitted(2, u("c-notes"));
         },
         {anno("09:00:00", "A"), anno("10:00:00", "B", "b-data"),
          anno("11:00:00", "C", "c-data", "c-notes")},
         LiveText{1, u("typed")}},
        {"renames and committed notes, the last of each winning; unknown indexes change nothing",
         [](Journal& j) {
             threeOfThem(j);
             j.renamed(1, u("B1"));
             j.renamed(1, u("B2"));
             j.notesCommitted(2, u("first"));
             j.notesCommitted(2, u("second"));
             j.deleted(7);
             j.renamed(-1, u("?"));
             j.notesCommitted(3, u("?"));
             j.added(9, u("12:00:00"), u("?"), u(""));
         },
         {anno("09:00:00", "A"), anno("10:00:00", "B2", "b-data"),
          anno("11:00:00", "C", "c-data", "second")},
         std::nullopt},
        {"a clear empties the list; later adds start a new one",
         [](Journal& j) {
             threeOfThem(j);
             j.notesCommitted(0, u("lost"));
             j.cleared();
             j.added(0, u("13:00:00"), u("E"), u(""));
         },
         {anno("13:00:00", "E")},
         std::nullopt},
        {"case fields, the last value of each",
         [](Journal& j) {
             j.caseField(CaseField::NoDossier, u("500-01-000001-241"));
             j.caseField(CaseField::UserName, u("Greffière"));
             j.caseField(CaseField::DateCreated, u("2024-03-01"));
             j.caseField(CaseField::NoDossier, u("500-01-999999-241"));
             j.caseField(CaseField::HearingId, u("0123456789abcdef"));
             j.caseField(CaseField::HearingId, u("audience 2024-03-01 salle 4"));
         },
         {},
         std::nullopt,
         {u("500-01-999999-241"), u("2024-03-01"), u("Greffière")},
         u("audience 2024-03-01 salle 4")},
        {"live text replaces the previous one; notes committed elsewhere leave it",
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(1, u("T"));
             j.liveText(1, u("Te"));
             j.liveText(1, u("Tem"));
             j.notesCommitted(0, u("other"));
         },
         {anno("09:00:00", "A", "", "other"), anno("10:00:00", "B", "b-data"),
          anno("11:00:00", "C", "c-data")},
         LiveText{1, u("Tem")}},
        {"live text follows its annotation when one is added or deleted before it",
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(1, u("on B"));
             j.added(0, u("08:00:00"), u("Z"), u(""));  // B moves to 2
             j.added(3, u("10:30:00"), u("B'"), u("")); // after B: B stays at 2
             j.deleted(0);                              // B back to 1
             j.renamed(1, u("B renamed"));
         },
         {anno("09:00:00", "A"), anno("10:00:00", "B renamed", "b-data"), anno("10:30:00", "B'"),
          anno("11:00:00", "C", "c-data")},
         LiveText{1, u("on B")}},
        {"live text typed after list changes refers to the list as it was then",
         [](Journal& j) {
             threeOfThem(j);
             j.deleted(0);
             j.liveText(1, u("on C"));
         },
         {anno("10:00:00", "B", "b-data"), anno("11:00:00", "C", "c-data")},
         LiveText{1, u("on C")}},
        {"typing again after a commit is live text again",
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(2, u("typed"));
             j.notesCommitted(2, u("typed"));
             j.liveText(2, u("typed more"));
         },
         {anno("09:00:00", "A"), anno("10:00:00", "B", "b-data"),
          anno("11:00:00", "C", "c-data", "typed")},
         LiveText{2, u("typed more")}},
        {"live text ends with its annotation's deletion, a clear, or a drop",
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(1, u("x"));
             j.deleted(1);
             j.liveText(0, u("y"));
             j.liveTextDropped();
             j.liveText(1, u("z"));
             j.cleared();
             j.added(0, u("12:00:00"), u("F"), u(""));
         },
         {anno("12:00:00", "F")},
         std::nullopt},
        {"text comes back code unit for code unit",
         [](Journal& j) {
             j.added(0, u(""), awkward(), awkward());
             j.notesCommitted(0, Str(20000, u'é'));
             j.liveText(0, awkward());
             j.caseField(CaseField::UserName, awkward());
         },
         {Annotation{u(""), awkward(), awkward(), Str(20000, u'é')}},
         LiveText{0, awkward()},
         {u(""), u(""), awkward()}},
    };
    return cases;
}

class JournalReplay : public ::testing::TestWithParam<ReplayCase> {};

TEST_P(JournalReplay, ReplayAndSummaryGiveBackWhatWasWritten) {
    const ReplayCase& c = GetParam();
    TempAppFolder app;
    Reports reports;
    std::int64_t clock = 1'700'000'000'000;
    std::string id;
    {
        JournalOptions options;
        options.report = reports.sink();
        options.now = [&] { return ++clock; };
        auto journal = Journal::start(app.path(), kFolder, options);
        ASSERT_TRUE(journal->working());
        id = journal->id();
        c.write(*journal);
        EXPECT_TRUE(journal->working());
    } // not closed: kept for a recovery

    Recovery recovery(app.path(), kFolder, reports.sink());
    const auto found = recovery.list();
    ASSERT_EQ(found.size(), 1u);
    const FoundJournal& f = found[0];
    EXPECT_EQ(f.id, id);
    EXPECT_FALSE(f.damaged);
    EXPECT_EQ(f.caseFields, c.caseFields);
    EXPECT_EQ(f.hearingId, c.hearingId);
    EXPECT_EQ(f.annotations, static_cast<std::int32_t>(c.annotations.size()));
    EXPECT_EQ(f.lastChange, clock);

    const auto replayed = recovery.replay(id);
    ASSERT_TRUE(replayed.has_value());
    EXPECT_EQ(replayed->annotations, c.annotations);
    EXPECT_EQ(replayed->live, c.live);
    EXPECT_EQ(replayed->caseFields, c.caseFields);
    EXPECT_EQ(replayed->hearingId, c.hearingId);
    EXPECT_EQ(replayed->lastChange, clock);

    // The summary's counts are the replay's: notes committed or being typed, and whether text
    // typed differs from what was committed.
    std::int32_t withNotes = 0;
    for (std::size_t i = 0; i < c.annotations.size(); ++i) {
        const bool typed = c.live && c.live->annotation == static_cast<std::int32_t>(i);
        withNotes += !(typed ? c.live->text : c.annotations[i].notes).empty();
    }
    EXPECT_EQ(f.unsavedNotes, withNotes);
    EXPECT_EQ(f.pendingText,
              c.live && c.live->text !=
                            c.annotations[static_cast<std::size_t>(c.live->annotation)].notes);
    EXPECT_TRUE(reports.seen.empty()) << reports.seen.front().text;

    // Replaying leaves the journal as it was: a second recovery reads the same.
    Recovery again(app.path(), kFolder, reports.sink());
    EXPECT_EQ(again.replay(id)->annotations, c.annotations);
    EXPECT_TRUE(again.discard(id));
    EXPECT_TRUE(again.list().empty());
    EXPECT_TRUE(app.files().empty());
}

INSTANTIATE_TEST_SUITE_P(RecordKinds, JournalReplay, ::testing::ValuesIn(replayCases()),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(JournalLifetime, ACleanCloseRemovesTheJournalAndAnUncleanEndKeepsIt) {
    TempAppFolder app;
    Reports reports;
    JournalOptions options;
    options.report = reports.sink();

    auto closed = Journal::start(app.path(), kFolder, options);
    auto kept = Journal::start(app.path(), kFolder, options);
    ASSERT_NE(closed->id(), kept->id());
    closed->added(0, u("09:00:00"), u("A"), u(""));
    kept->added(0, u("09:00:00"), u("K"), u(""));
    closed->close();
    EXPECT_FALSE(closed->working());
    EXPECT_FALSE(closed->added(0, u("09:00:00"), u("after close"), u("")));
    kept.reset();
    closed.reset();

    Recovery recovery(app.path(), kFolder, reports.sink());
    const auto found = recovery.list();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(recovery.replay(found[0].id)->annotations,
              std::vector<Annotation>{anno("09:00:00", "K")});
    for (const auto& name : app.files())
        EXPECT_EQ(name.rfind(found[0].id, 0), 0u) << name << " left by the closed journal";
    EXPECT_TRUE(reports.seen.empty());
}

TEST(JournalLifetime, ChangesReachTheDiskOnceEachBurstAndNotWhileIdle) {
    TempAppFolder app;
    std::mutex m;
    std::condition_variable cv;
    int syncs = 0;
    JournalOptions options;
    options.syncDelay = std::chrono::milliseconds(50);
    options.synced = [&] {
        std::lock_guard<std::mutex> g(m);
        ++syncs;
        cv.notify_all();
    };
    auto journal = Journal::start(app.path(), kFolder, options);
    auto waitForSyncs = [&](int n) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::seconds(20), [&] { return syncs >= n; });
    };
    auto count = [&] {
        std::lock_guard<std::mutex> g(m);
        return syncs;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(count(), 0) << "nothing changed, nothing to sync";
    for (int burst = 1; burst <= 3; ++burst) {
        journal->added(0, u("09:00:00"), u("A"), u(""));
        journal->liveText(0, u("x"));
        ASSERT_TRUE(waitForSyncs(burst)) << "burst " << burst << " never reached the disk";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(count(), 6) << "syncs while nothing changed";
}

// Looking creates nothing; a name that is not a journal's id is never used as a path.
TEST(JournalLifetime, NoFolderOrNoSuchIdMeansNothingToRecoverAndNothingTouched) {
    TempAppFolder app;
    Reports reports;
    const char* ids[] = {"20240101-000000-0000000000000000", "../victim", "", ".", "..", "a/b"};
    for (const bool withFolder : {false, true}) {
        if (withFolder) {
            Journal::start(app.path(), kFolder, reports.options()).reset();
            writeFile(app.native() + "/victim.db", "keep me");
        }
        Recovery recovery(app.path(), kFolder, reports.sink());
        EXPECT_EQ(recovery.list().size(), withFolder ? 1u : 0u);
        for (const char* id : ids) {
            EXPECT_FALSE(recovery.replay(id).has_value()) << id;
            EXPECT_FALSE(recovery.discard(id)) << id;
        }
        EXPECT_EQ(fs::exists(app.journals()), withFolder) << "looking must not create the folder";
    }
    EXPECT_EQ(readFile(app.native() + "/victim.db"), "keep me");
    EXPECT_TRUE(reports.seen.empty());
}

// --- Into a control ----------------------------------------------------------------------

// An annotation as the host sees it in a control's list.
struct Listed {
    std::string time, desc, notes;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> listOf(DalmurePrivate& c) {
    std::vector<Listed> out;
    for (std::int32_t k = 0; k < c.AnnoCount(); ++k)
        out.push_back({s(c.AnnoTime(k)), s(c.AnnoDesc(k)), s(c.AnnoData(k))});
    return out;
}

void addAll(DalmurePrivate& c, const std::vector<Listed>& list) {
    for (const Listed& a : list) {
        Str time = u(a.time), desc = u(a.desc), notes = u(a.notes);
        c.AnnoAdd(time, desc, notes);
    }
}

// A control of case dossier (and hearing, when set) that is killed once the host has added list
// with its notes.
void killedSession(const std::string& appFolder, const char* dossier, const char* hearing,
                   const std::vector<Listed>& list) {
    const std::string done = dalmure::test::inChild([&] {
        headless::HeadlessOptions options;
        options.now = dalmure::test::fixedNow();
        auto* platform = new headless::HeadlessPlatform(options); // never destroyed: killed
        auto* control = new DalmurePrivate(*platform, fromUtf8(appFolder));
        control->NoDossier = u(dossier);
        if (*hearing)
            control->HearingId(u(hearing));
        addAll(*control, list);
        return std::string("OK");
    });
    ASSERT_EQ(done, "OK");
}

const std::vector<Listed> kHearingA{{"10:00:00", "Ouverture", "notes of hearing A"},
                                    {"10:05:00", "T\u00e9moin", "witness A"}};
const Listed kOpeningB{"10:00:00", "Ouverture", "notes of hearing B"};

struct HearingCase {
    const char* name;
    const char* hearingA; // the identity the host of hearing A set ("": the control's own)
    const char* dossierB;
    const char* hearingB;
    std::vector<Listed> heldByB; // what B's host added before recovering
    bool intoOtherHearing;
    bool recovered;
    std::vector<Listed> after; // B's list afterwards
};

class HearingRecovery : public ::testing::TestWithParam<HearingCase> {};

// Hearing A is killed; a control of hearing B in the same folder is asked to recover it.
TEST_P(HearingRecovery, AnotherHearingsSessionNeverReplacesThisOnesNotes) {
    const HearingCase& c = GetParam();
    dalmure::test::ControlHarness h;
    killedSession(h.app.native(), "CASE-A", c.hearingA, kHearingA);
    DalmurePrivate& b = h.start();
    b.NoDossier = u(c.dossierB);
    if (*c.hearingB)
        b.HearingId(u(c.hearingB));
    addAll(b, c.heldByB);

    const auto found = b.RecoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    // The journal knows its hearing: the host's identity, or the one its control made.
    EXPECT_EQ(*c.hearingA ? s(found[0].hearingId) : std::to_string(found[0].hearingId.size()),
              *c.hearingA ? c.hearingA : "32");
    EXPECT_EQ(found[0].otherHearing, c.intoOtherHearing || !c.recovered);
    EXPECT_EQ(b.RecoverSession(found[0].id, c.intoOtherHearing), c.recovered);
    EXPECT_EQ(listOf(b), c.after);
    EXPECT_EQ(h.app.logEntries("errDalmure_RecoverSession").size(), c.recovered ? 0u : 1u);
    EXPECT_EQ(b.RecoverableSessions().size(), c.recovered ? 0u : 1u);
    const bool sameHearing = c.recovered && !c.intoOtherHearing;
    EXPECT_EQ(s(b.NoDossier), *c.dossierB || !sameHearing ? c.dossierB : "CASE-A");
}

const std::vector<Listed> kB{kOpeningB}, kBThenA{kOpeningB, kHearingA[0], kHearingA[1]},
    kOlder{{"10:00:00", "Ouverture", "older notes"}};
INSTANTIATE_TEST_SUITE_P(
    Hearings, HearingRecovery,
    ::testing::Values(
        HearingCase{"another_case_number", "", "CASE-B", "", kB, false, false, kB},
        HearingCase{"another_case_number_brought_in_on_request", "", "CASE-B", "", kB, true, true,
                    kBThenA},
        HearingCase{
            "another_case_number_and_no_annotation_yet", "", "CASE-B", "", {}, false, false, {}},
        HearingCase{"another_hearing_id_under_the_same_case_number", "H-A", "CASE-A", "H-B", kB,
                    false, false, kB},
        HearingCase{"the_same_hearing_id_under_a_corrected_case_number", "H-A", "CASE-A2", "H-A",
                    kOlder, false, true, kHearingA},
        HearingCase{
            "a_control_that_holds_no_hearing_yet", "H-A", "", "", {}, false, true, kHearingA}),
    [](const auto& info) { return std::string(info.param.name); });

// Annotations stamped the same second, with the same description too, each with its own notes:
// every note comes back into its own annotation, not into the first of its time, whether the
// host holds none of them or has added them again in another order.
TEST(SameSecondRecovery, EachNoteLandsInItsOwnAnnotation) {
    const std::vector<Listed> killed{{"10:00:00", "Ouverture", "first"},
                                     {"10:00:00", "Ouverture", "second"},
                                     {"10:00:00", "T\u00e9moin", "third"},
                                     {"10:00:01", "Ouverture", "fourth"}};
    const std::vector<Listed> heldAgain{{"10:00:01", "Ouverture", ""},
                                        {"10:00:00", "T\u00e9moin", ""},
                                        {"10:00:00", "Ouverture", ""}};
    const std::pair<std::vector<Listed>, std::vector<Listed>> cases[] = {
        {{}, killed}, {heldAgain, {killed[2], killed[0], killed[1], killed[3]}}};
    for (const auto& [held, after] : cases) {
        SCOPED_TRACE(held.size());
        dalmure::test::ControlHarness h;
        killedSession(h.app.native(), "", "", killed);
        DalmurePrivate& c = h.start();
        addAll(c, held);
        const auto found = c.RecoverableSessions();
        ASSERT_EQ(found.size(), 1u);
        ASSERT_TRUE(c.RecoverSession(found[0].id));
        EXPECT_EQ(listOf(c), after);
    }
}

// A session whose WAL was overwritten is damaged, not empty: listed so, logged once, never
// removed by a recovery, only when the host discards it.
TEST(DamagedRecovery, AnOverwrittenWalIsListedDamagedAndOnlyADiscardRemovesIt) {
    dalmure::test::ControlHarness h;
    killedSession(h.app.native(), "CASE-A", "", kHearingA);
    const std::string journals = h.app.native() + "/" + std::string(kFolder);
    std::string wal;
    for (const auto& e : fs::directory_iterator(journals))
        if (e.path().string().ends_with(".db-wal"))
            wal = e.path().string();
    ASSERT_FALSE(wal.empty());
    writeFile(wal, std::string(fs::file_size(wal), '\x5A'));
    const std::string before = readFile(wal);

    DalmurePrivate& c = h.start();
    for (int call = 0; call < 3; ++call) {
        const auto found = c.RecoverableSessions();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_TRUE(found[0].damaged);
        EXPECT_NE(toUtf8(found[0].problem).find("WAL"), std::string::npos);
        EXPECT_FALSE(c.RecoverSession(found[0].id, true));
    }
    EXPECT_EQ(c.AnnoCount(), 0);
    EXPECT_EQ(readFile(wal), before);
    EXPECT_EQ(h.app.logEntries("errDalmure_Journal").size(), 1u) << "once per control";
    ASSERT_TRUE(c.DiscardSession(c.RecoverableSessions()[0].id));
    EXPECT_TRUE(c.RecoverableSessions().empty());
}

} // namespace
} // namespace dalmure::journal::test
