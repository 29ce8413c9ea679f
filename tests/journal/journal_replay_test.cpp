// What a journal left by an instance that did not close gives back, and what a control recovers.
#include "journal_test_support.h"

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

namespace dalmure::journal::test {
namespace {

// What a recovery should find: the list, the editor's text, the summary's count of annotations
// with notes committed or typed and whether typed text differs from the committed, case fields.
struct Replayed {
    std::vector<Annotation> annotations;
    std::optional<LiveText> live;
    std::int32_t unsavedNotes;
    bool pendingText;
    CaseFields caseFields{};
    Str hearingId{};
};

struct ReplayCase {
    const char* name;
    Replayed expected;
    std::function<void(Journal&)> write;
};

Annotation anno(const char* time, const char* desc, const char* data = "", const char* notes = "") {
    return {u(time), u(desc), u(data), u(notes)};
}

// A, B, C at 0, 1, 2.
void threeOfThem(Journal& j) {
    j.added(0, u("10:00:00"), u("B"), u("b-data"));
    j.added(0, u("09:00:00"), u("A"), u(""));
    j.added(2, u("11:00:00"), u("C"), u("c-data"));
}

// What a UTF-8 round trip would not keep: a lone surrogate, a NUL, beyond the BMP, CR LF.
Str awkward() {
    Str t = u("Témoin n°2 : « je ne sais pas » 𝄞\r\n");
    t.push_back(char16_t(0xD800));
    t.push_back(u'\0');
    return t + u"fin";
}

// What the kill test's random sessions rarely or never make.
const std::vector<ReplayCase>& replayCases() {
    static const std::vector<ReplayCase> cases = {
        {"adds_in_one_batch_with_notes_then_a_delete",
         Replayed({anno("09:00:00", "A", "", "a-notes"), anno("11:00:00", "C", "", "c-notes")}, {},
                  2, false),
         [](Journal& j) {
             j.addedAll({{0, u("10:00:00"), u("B"), u("")},
                         {0, u("09:00:00"), u("A"), u("a-notes")},
                         {2, u("11:00:00"), u("C"), u("c-notes")}});
             j.deleted(1);
         }},
        {"records_held_go_in_at_release_or_at_the_end_with_the_editors_text",
         Replayed({anno("09:00:00", "A"), anno("10:00:00", "B", "b-data"),
                   anno("11:00:00", "C", "c-data", "c-notes")},
                  LiveText{1, u("typed")}, 2, true),
         [](Journal& j) {
             j.hold();
             j.added(0, u("10:00:00"), u("B"), u("b-data"));
             j.added(0, u("09:00:00"), u("A"), u(""));
             j.release();
             j.hold();
             j.added(2, u("11:00:00"), u("C"), u("c-data"));
             j.liveText(1, u("typed"));
             j.notesCommitted(2, u("c-notes"));
         }},
        {"the_last_rename_and_notes_win_and_unknown_indexes_change_nothing",
         Replayed({anno("09:00:00", "A"), anno("10:00:00", "B2", "b-data"),
                   anno("11:00:00", "C", "c-data", "second")},
                  {}, 1, false),
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
         }},
        {"case_fields_the_last_value_of_each",
         Replayed({}, {}, 0, false, {u("500-01-999999-241"), u("2024-03-01"), u("Greffière")},
                  u("audience 2024-03-01 salle 4")),
         [](Journal& j) {
             j.caseField(CaseField::NoDossier, u("500-01-000001-241"));
             j.caseField(CaseField::UserName, u("Greffière"));
             j.caseField(CaseField::DateCreated, u("2024-03-01"));
             j.caseField(CaseField::NoDossier, u("500-01-999999-241"));
             j.caseField(CaseField::HearingId, u("0123456789abcdef"));
             j.caseField(CaseField::HearingId, u("audience 2024-03-01 salle 4"));
         }},
        {"live_text_stays_through_notes_committed_elsewhere_and_follows_its_annotation",
         Replayed({anno("09:00:00", "A", "", "other"), anno("10:00:00", "B", "b-data"),
                   anno("10:30:00", "B'"), anno("11:00:00", "C", "c-data")},
                  LiveText{1, u("on B")}, 2, true),
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(1, u("T"));
             j.liveText(1, u("on B"));
             j.notesCommitted(0, u("other"));
             j.added(0, u("08:00:00"), u("Z"), u(""));  // B moves to 2
             j.added(3, u("10:30:00"), u("B'"), u("")); // after B: B stays at 2
             j.deleted(0);                              // B back to 1
         }},
        {"live_text_ends_with_its_annotations_deletion_a_clear_or_a_drop",
         Replayed({anno("12:00:00", "F")}, {}, 0, false),
         [](Journal& j) {
             threeOfThem(j);
             j.liveText(1, u("x"));
             j.deleted(1);
             j.liveText(0, u("y"));
             j.liveTextDropped();
             j.liveText(1, u("z"));
             j.cleared();
             j.added(0, u("12:00:00"), u("F"), u(""));
         }},
        {"text_comes_back_code_unit_for_code_unit",
         Replayed({Annotation{u(""), awkward(), awkward(), Str(20000, u'é')}},
                  LiveText{0, awkward()}, 1, true, {u(""), u(""), awkward()}),
         [](Journal& j) {
             j.added(0, u(""), awkward(), awkward());
             j.notesCommitted(0, Str(20000, u'é'));
             j.liveText(0, awkward());
             j.caseField(CaseField::UserName, awkward());
         }},
    };
    return cases;
}

class JournalReplay : public ::testing::TestWithParam<ReplayCase> {};

TEST_P(JournalReplay, ReplayAndSummaryGiveBackWhatWasWritten) {
    const Replayed& c = GetParam().expected;
    TempAppFolder app;
    Reports reports;
    std::int64_t clock = 1'700'000'000'000;
    JournalOptions options = reports.options();
    options.now = [&] { return ++clock; };
    auto journal = Journal::start(app.path(), kFolder, options);
    const std::string id = journal->id();
    GetParam().write(*journal);
    EXPECT_TRUE(journal->working());
    journal.reset(); // not closed: kept for a recovery

    Recovery recovery(app.path(), kFolder, reports.sink());
    const auto found = recovery.list();
    ASSERT_EQ(found.size(), 1u);
    const FoundJournal& f = found[0];
    EXPECT_EQ(std::tie(f.id, f.damaged, f.caseFields, f.hearingId, f.lastChange, f.annotations,
                       f.unsavedNotes, f.pendingText),
              std::make_tuple(id, false, c.caseFields, c.hearingId, clock,
                              std::int32_t(c.annotations.size()), c.unsavedNotes, c.pendingText));
    const Recovered r = recovery.replay(id).value();
    EXPECT_EQ(std::tie(r.annotations, r.live, r.caseFields, r.hearingId, r.lastChange),
              std::tie(c.annotations, c.live, c.caseFields, c.hearingId, clock));
    EXPECT_TRUE(reports.seen.empty());

    Recovery again(app.path(), kFolder, reports.sink());
    EXPECT_EQ(again.replay(id).value().annotations, c.annotations);
    EXPECT_TRUE(again.discard(id));
    EXPECT_TRUE(again.list().empty());
    EXPECT_TRUE(app.files().empty());
}

INSTANTIATE_TEST_SUITE_P(RecordKinds, JournalReplay, ::testing::ValuesIn(replayCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Looking creates nothing; a name that is not a journal's id is never used as a path.
TEST(JournalLifetime, ACleanCloseRemovesTheJournalAnUncleanEndKeepsItAndNoIdIsAPath) {
    TempAppFolder app;
    Reports reports;
    auto looksAtNothing = [&] {
        Recovery recovery(app.path(), kFolder, reports.sink());
        for (const char* id :
             {"20240101-000000-0000000000000000", "../victim", "", ".", "..", "a/b"})
            EXPECT_FALSE(recovery.replay(id).has_value() || recovery.discard(id)) << id;
    };
    EXPECT_TRUE(Recovery(app.path(), kFolder, reports.sink()).list().empty());
    looksAtNothing();
    EXPECT_FALSE(fs::exists(app.journals())) << "looking must not create the folder";
    writeFile(app.native() + "/victim.db", "keep me");

    auto closed = Journal::start(app.path(), kFolder, reports.options());
    auto kept = Journal::start(app.path(), kFolder, reports.options());
    ASSERT_NE(closed->id(), kept->id());
    closed->added(0, u("09:00:00"), u("A"), u(""));
    kept->added(0, u("09:00:00"), u("K"), u(""));
    closed->close();
    EXPECT_FALSE(closed->working() || closed->added(0, u("09:00:00"), u("late"), u("")));
    kept.reset();
    closed.reset();
    Recovery recovery(app.path(), kFolder, reports.sink());
    const auto found = recovery.list();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(recovery.replay(found[0].id)->annotations,
              std::vector<Annotation>{anno("09:00:00", "K")});
    for (const auto& name : app.files())
        EXPECT_EQ(name.rfind(found[0].id, 0), 0u) << name << " left by the closed journal";
    looksAtNothing();
    EXPECT_EQ(readFile(app.native() + "/victim.db"), "keep me");
    EXPECT_TRUE(reports.seen.empty());
}

TEST(JournalLifetime, ChangesReachTheDiskOnceEachBurstAndNotWhileIdle) {
    TempAppFolder app;
    std::atomic<int> syncs = 0;
    JournalOptions options;
    options.syncDelay = std::chrono::milliseconds(50);
    options.synced = [&] { ++syncs; };
    auto journal = Journal::start(app.path(), kFolder, options);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(syncs, 0) << "nothing changed, nothing to sync";
    for (int burst = 1; burst <= 3; ++burst) {
        journal->added(0, u("09:00:00"), u("A"), u(""));
        journal->liveText(0, u("x"));
        for (int i = 0; i < 2000 && syncs < burst; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GE(syncs, burst) << "burst " << burst << " never reached the disk";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(syncs, 6) << "syncs while nothing changed";
}

// A control's list as "time|description|notes;" lines.
std::string listOf(DalmurePrivate& c) {
    std::string out;
    for (std::int32_t k = 0; k < c.AnnoCount(); ++k)
        out += s(c.AnnoTime(k)) + "|" + s(c.AnnoDesc(k)) + "|" + s(c.AnnoData(k)) + ";";
    return out;
}

void addAll(DalmurePrivate& c, const std::string& list) {
    std::istringstream in(list);
    for (std::string t, d, n; std::getline(in, t, '|') && std::getline(in, d, '|');) {
        std::getline(in, n, ';');
        Str time = u(t), desc = u(d), notes = u(n);
        c.AnnoAdd(time, desc, notes);
    }
}

// A control of case dossier (and hearing, when set) killed once the host has added list.
void killedSession(const std::string& appFolder, const char* dossier, const char* hearing,
                   const std::string& list) {
    ASSERT_EQ(dalmure::test::inChild([&] {
                  headless::HeadlessOptions options;
                  options.now = dalmure::test::fixedNow();
                  auto* platform = new headless::HeadlessPlatform(options); // as in a crash
                  auto* control = new DalmurePrivate(*platform, fromUtf8(appFolder));
                  control->NoDossier = u(dossier);
                  if (*hearing)
                      control->HearingId(u(hearing));
                  addAll(*control, list);
                  return std::string("OK");
              }),
              "OK");
}

// A killed session's case number, hearing ("": its control's own) and list, recovered (on request
// or not) by a control holding another: whether it is, and the control's list afterwards.
struct HearingCase {
    const char* name;
    const char *dossierA, *hearingA, *killed;
    const char *dossierB, *hearingB, *heldByB;
    bool intoOtherHearing, recovered;
    const char* after;
};

class HearingRecovery : public ::testing::TestWithParam<HearingCase> {};

// Notes come back into their own annotations, even among those stamped the same second with the
// same description, and never into another hearing's unless asked.
TEST_P(HearingRecovery, BringsBackItsOwnHearingsNotesOnly) {
    const HearingCase& c = GetParam();
    dalmure::test::ControlHarness h;
    killedSession(h.app.native(), c.dossierA, c.hearingA, c.killed);
    DalmurePrivate& b = h.start();
    b.NoDossier = u(c.dossierB);
    if (*c.hearingB)
        b.HearingId(u(c.hearingB));
    addAll(b, c.heldByB);

    const auto found = b.RecoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(*c.hearingA ? s(found[0].hearingId) : std::to_string(found[0].hearingId.size()),
              *c.hearingA ? c.hearingA : "32");
    EXPECT_EQ(found[0].otherHearing, c.intoOtherHearing || !c.recovered);
    EXPECT_EQ(b.RecoverSession(found[0].id, c.intoOtherHearing), c.recovered);
    EXPECT_EQ(listOf(b), c.after);
    EXPECT_EQ(h.app.logEntries("errDalmure_RecoverSession").size(), c.recovered ? 0u : 1u);
    EXPECT_EQ(b.RecoverableSessions().size(), c.recovered ? 0u : 1u);
    const bool sameHearing = c.recovered && !c.intoOtherHearing;
    EXPECT_EQ(s(b.NoDossier), *c.dossierB || !sameHearing ? c.dossierB : c.dossierA);
}

const char* const kA = "10:00:00|Ouverture|notes of A;10:05:00|Témoin|witness A;";
const char* const kB = "10:00:00|Ouverture|notes of B;";
const char* const kBA = "10:00:00|Ouverture|notes of B;10:00:00|Ouverture|notes of A;"
                        "10:05:00|Témoin|witness A;";
const char* const kSame = "10:00:00|Ouverture|first;10:00:00|Ouverture|second;"
                          "10:00:00|Témoin|third;10:00:01|Ouverture|fourth;";
const char* const kSameHeld = "10:00:01|Ouverture|;10:00:00|Témoin|;10:00:00|Ouverture|;";
const char* const kSameReordered = "10:00:00|Témoin|third;10:00:00|Ouverture|first;"
                                   "10:00:00|Ouverture|second;10:00:01|Ouverture|fourth;";
const HearingCase kHearingCases[] = {
    {"another_case_number", "CASE-A", "", kA, "CASE-B", "", kB, false, false, kB},
    {"another_case_number_on_request", "CASE-A", "", kA, "CASE-B", "", kB, true, true, kBA},
    {"another_case_number_and_no_annotation", "CASE-A", "", kA, "CASE-B", "", "", false, false, ""},
    {"another_hearing_id", "CASE-A", "H-A", kA, "CASE-A", "H-B", kB, false, false, kB},
    {"same_hearing_id_corrected_case_number", "CASE-A", "H-A", kA, "CASE-A2", "H-A",
     "10:00:00|Ouverture|older notes;", false, true, kA},
    {"a_control_that_holds_no_hearing_yet", "CASE-A", "H-A", kA, "", "", "", false, true, kA},
    {"the_same_second_and_description", "", "", kSame, "", "", "", false, true, kSame},
    {"the_same_second_held_in_another_order", "", "", kSame, "", "", kSameHeld, false, true,
     kSameReordered},
};
INSTANTIATE_TEST_SUITE_P(Hearings, HearingRecovery, ::testing::ValuesIn(kHearingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedRecovery, AnOverwrittenWalIsListedDamagedAndOnlyADiscardRemovesIt) {
    dalmure::test::ControlHarness h;
    killedSession(h.app.native(), "CASE-A", "", kA);
    std::string wal;
    for (const auto& e : fs::directory_iterator(h.app.native() + "/" + std::string(kFolder)))
        if (e.path().string().ends_with(".db-wal"))
            wal = e.path().string();
    ASSERT_FALSE(wal.empty());
    writeFile(wal, std::string(fs::file_size(wal), '\x5A'));
    const std::string before = readFile(wal);

    DalmurePrivate& c = h.start();
    for (int call = 0; call < 3; ++call) {
        const auto found = c.RecoverableSessions();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_TRUE(found[0].damaged && toUtf8(found[0].problem).find("WAL") != std::string::npos);
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
