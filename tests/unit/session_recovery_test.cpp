// A session that ends without closing (a crash, a kill) leaves its journal; the next control
// in the same application folder lists it and brings back what the host did not keep.
#include "test_support.h"
#include "tmpfs_mount.h"

#include "journal/journal.h"

namespace dalmure::test {
namespace {

// A clerk's session that dies: three annotations, notes committed on the first, notes typed and
// not committed on the second, then the process ends without closing the control.
std::string crashedSession(const std::string& appFolder) {
    auto [platform, control] = startDoomedSession(appFolder);
    Str time = u("10:05:00"), desc = u("T\u00e9moin"), data = u("d");
    control.AnnoAdd(time, desc, data);
    control.AnnoAdd(u("10:10:00"), u("Pi\u00e8ce P-5"));
    platform.userClick(1, 1);
    platform.userType(u("abc"));
    platform.userClick(3, 1); // commits "abc" into the first
    platform.userType(u("xyz"));
    return "OK";
}

struct Annotation {
    std::string time, desc, notes;
};

std::vector<Annotation> listOf(DalmurePrivate& c) {
    std::vector<Annotation> out;
    for (std::int32_t k = 0; k < c.AnnoCount(); ++k)
        out.push_back({s(c.AnnoTime(k)), s(c.AnnoDesc(k)), s(c.AnnoData(k))});
    return out;
}

struct RecoveryCase {
    const char* name;
    std::vector<Annotation> hostHas; // what the host added again before recovering
    std::vector<std::string> events; // what the recovery raises
};

class SessionRecovery : public ControlTest, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(SessionRecovery, BringsBackOnlyWhatTheHostIsMissing) {
    ASSERT_EQ(inChild([&] { return crashedSession(h.app.native()); }), "OK");
    DalmurePrivate& c = start();
    // A host that reopens its hearing gives the control its case number again.
    if (!GetParam().hostHas.empty())
        c.NoDossier = u("500-01-123456-241");
    for (const Annotation& a : GetParam().hostHas) {
        Str time = u(a.time), desc = u(a.desc), data = u(a.notes);
        c.AnnoAdd(time, desc, data);
    }
    const std::vector<journal::FoundJournal> found = c.RecoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(s(found[0].caseFields.noDossier), "500-01-123456-241");
    EXPECT_EQ(found[0].annotations, 3);
    EXPECT_TRUE(found[0].pendingText);

    h.events.names.clear();
    ASSERT_TRUE(c.RecoverSession(found[0].id));
    std::vector<std::string> raised;
    for (const std::string& e : h.events.names)
        if (e.starts_with("AnnoRecovered") || e.starts_with("AnnoModified("))
            raised.push_back(e);
    EXPECT_EQ(raised, GetParam().events);

    const std::vector<Annotation> expected{{"10:00:00", "Ouverture", "abc"},
                                           {"10:05:00", "T\u00e9moin", "dxyz"},
                                           {"10:10:00", "Pi\u00e8ce P-5", ""}};
    const std::vector<Annotation> now = listOf(c);
    ASSERT_EQ(now.size(), expected.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
        EXPECT_EQ(now[i].time, expected[i].time) << i;
        EXPECT_EQ(now[i].desc, expected[i].desc) << i;
        EXPECT_EQ(now[i].notes, expected[i].notes) << i;
    }
    EXPECT_EQ(s(c.NoDossier), "500-01-123456-241");
    // Recovered once: the journal is gone, and the recovered notes are this session's now.
    EXPECT_TRUE(c.RecoverableSessions().empty());
}

INSTANTIATE_TEST_SUITE_P(HostReAdded, SessionRecovery,
                         ::testing::Values(RecoveryCase{"nothing",
                                                        {},
                                                        {"AnnoRecovered(0)", "AnnoModified(0)",
                                                         "AnnoRecovered(1)", "AnnoModified(1)",
                                                         "AnnoRecovered(2)"}},
                                           RecoveryCase{"some",
                                                        {{"10:00:00", "Ouverture", "abc"},
                                                         {"10:10:00", "Pi\u00e8ce P-5", ""}},
                                                        {"AnnoRecovered(1)", "AnnoModified(1)"}},
                                           RecoveryCase{"everything",
                                                        {{"10:00:00", "Ouverture", "abc"},
                                                         {"10:05:00", "T\u00e9moin", "d"},
                                                         {"10:10:00", "Pi\u00e8ce P-5", ""}},
                                                        {"AnnoModified(1)"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Another instance's journal and this control's own are never listed nor removed: the journal's
// own rule (JournalInUse in tests/journal), which the control passes through.

TEST_F(ControlTest, AControlThatEndsNormallyLeavesNoJournal) {
    {
        DalmurePrivate& c = start();
        c.AnnoAdd(u("09:00:00"), u("Ouverture"));
        h.platform->userClick(1, 1);
        h.platform->userType(u("notes"));
        h.control.reset();
    }
    ControlHarness next;
    auto control = std::make_unique<DalmurePrivate>(*next.platform, h.app.path());
    EXPECT_TRUE(control->RecoverableSessions().empty());
}

// --- A journal that cannot be written ---------------------------------------------------------

// The clerk's work while the journal fails: adds, typed and committed notes, a delete. The list
// must hold exactly this afterwards.
std::string workOn(DalmurePrivate& c, headless::HeadlessPlatform& p, int from, int count) {
    for (int i = from; i < from + count; ++i)
        c.AnnoAdd(u("10:" + std::to_string(10 + i / 60) + ":" + std::to_string(10 + i % 50)),
                  u("Annotation " + std::to_string(i)));
    p.userClick(1, 1);
    p.userType(u(std::string(3000, 'n')));
    p.userClick(3, 1);
    std::int32_t last = c.AnnoCount() - 1;
    c.AnnoDelete(last);
    if (s(c.AnnoData(0)).find(std::string(3000, 'n')) == std::string::npos)
        return "the notes typed did not reach their annotation; ";
    return "";
}

std::string journalEntries(const TempAppFolder& app) {
    return std::to_string(app.logEntries("errDalmure_Journal").size());
}

// The folder is read-only from the start: the control works as before, with one log line.
std::string readOnlyJournalCase(const std::string& appFolder) {
    if (std::string why = ownMountNamespace(); !why.empty())
        return why;
    TmpfsMount journals(appFolder + "/Recovery", "size=256k,mode=0700", true);
    if (!journals.mounted())
        return "SKIP mount refused";
    headless::HeadlessOptions options;
    options.now = fixedNow();
    headless::HeadlessPlatform platform(options);
    DalmurePrivate control(platform, fromUtf8(appFolder));
    platform.userResize(9600, 7200);
    std::string problems = workOn(control, platform, 0, 20);
    if (control.AnnoCount() != 19)
        problems += "count " + std::to_string(control.AnnoCount()) + "; ";
    if (!control.RecoverableSessions().empty())
        problems += "a session listed; ";
    return problems.empty() ? "OK" : problems;
}

// The disk fills up during the hearing: the control goes on, one log line; a crash after that
// still offers what reached the journal before the disk was full.
std::string fullJournalCase(const std::string& appFolder) {
    if (std::string why = ownMountNamespace(); !why.empty())
        return why;
    TmpfsMount journals(appFolder + "/Recovery", "size=256k,mode=0700", false);
    if (!journals.mounted())
        return "SKIP mount refused";
    const std::string crashed = inChild([&] {
        headless::HeadlessOptions options;
        options.now = fixedNow();
        auto* platform = new headless::HeadlessPlatform(options); // never destroyed: the crash
        auto* control = new DalmurePrivate(*platform, fromUtf8(appFolder));
        platform->userResize(9600, 7200);
        std::string problems = workOn(*control, *platform, 0, 5);
        {
            std::ofstream filler(appFolder + "/Recovery/filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()))
                ;
        }
        problems += workOn(*control, *platform, 5, 300);
        if (control->AnnoCount() != 303)
            problems += "count " + std::to_string(control->AnnoCount()) + "; ";
        return problems.empty() ? "OK" : problems;
    });
    if (crashed != "OK")
        return "during the full disk: " + crashed;
    std::error_code ec;
    fs::remove(appFolder + "/Recovery/filler", ec);
    headless::HeadlessOptions options;
    options.now = fixedNow();
    headless::HeadlessPlatform platform(options);
    DalmurePrivate next(platform, fromUtf8(appFolder));
    const auto found = next.RecoverableSessions();
    if (found.size() != 1)
        return "sessions listed: " + std::to_string(found.size());
    if (found[0].damaged || found[0].annotations < 4)
        return "the session holds " + std::to_string(found[0].annotations) + " annotations" +
               (found[0].damaged ? " (damaged)" : "");
    return "OK";
}

TEST_F(ControlTest, AJournalThatCannotBeWrittenNeverStopsTheControl) {
    struct Case {
        const char* name;
        std::string (*run)(const std::string&);
    };
    for (const Case& c :
         {Case{"read-only folder", readOnlyJournalCase}, Case{"full disk", fullJournalCase}}) {
        SCOPED_TRACE(c.name);
        TempAppFolder app;
        const std::string result = inChild([&] { return c.run(app.native()); }, 120);
        if (result.starts_with("SKIP"))
            GTEST_SKIP() << result;
        EXPECT_EQ(result, "OK");
        EXPECT_EQ(journalEntries(app), "1") << "one log line for the journal";
    }
}

TEST_F(ControlTest, AControlStartingKeepsTheSessionsLeftBehindWithinTheIniLimit) {
    h.app.writeIni("[Journal]\nMaxSessions=2\n");
    for (int crash = 0; crash < 3; ++crash)
        ASSERT_EQ(inChild([&] { return crashedSession(h.app.native()); }), "OK");
    // Each start leaves room for its own: one left behind besides it, the others removed, each
    // with its line.
    DalmurePrivate& c = start();
    EXPECT_EQ(c.RecoverableSessions().size(), 1u);
    const auto lines = h.app.logEntries("errDalmure_Journal");
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines)
        EXPECT_NE(line.description.find("removed, more than 2 sessions"), std::string::npos)
            << line.description;
}

} // namespace
} // namespace dalmure::test
