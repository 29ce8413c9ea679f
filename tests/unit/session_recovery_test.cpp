// A session that ends without closing (a crash, a kill) leaves its journal; the next control
// in the same application folder lists it and brings back what the host did not keep.
#include "test_support.h"

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

using Annotation = std::array<std::string, 3>; // time, description, notes

std::vector<Annotation> listOf(DalmurePrivate& c) {
    std::vector<Annotation> out;
    for (std::int32_t k = 0; k < c.AnnoCount(); ++k)
        out.push_back({s(c.AnnoTime(k)), s(c.AnnoDesc(k)), s(c.AnnoData(k))});
    return out;
}

TEST(SessionRecovery, BringsBackOnlyWhatTheHostIsMissing) {
    const Annotation first{"10:00:00", "Ouverture", "abc"}, third{"10:10:00", "Pi\u00e8ce P-5", ""};
    const std::vector<Annotation> recovered{first, {"10:05:00", "T\u00e9moin", "dxyz"}, third};
    const struct {
        std::vector<Annotation> hostHas; // what the host added again before recovering
        std::vector<std::string> raised;
    } cases[] = {
        {{},
         {"AnnoRecovered(0)", "AnnoModified(0)", "AnnoRecovered(1)", "AnnoModified(1)",
          "AnnoRecovered(2)"}},
        {{first, third}, {"AnnoRecovered(1)", "AnnoModified(1)"}},
        {{first, {"10:05:00", "T\u00e9moin", "d"}, third}, {"AnnoModified(1)"}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.hostHas.size());
        ControlHarness h;
        ASSERT_EQ(inChild([&] { return crashedSession(h.app.native()); }), "OK");
        DalmurePrivate& c = h.start();
        // A host that reopens its hearing gives the control its case number again.
        if (!tc.hostHas.empty())
            c.NoDossier = u("500-01-123456-241");
        for (const Annotation& a : tc.hostHas)
            h.add(u(a[0]), u(a[1]), u(a[2]));
        const std::vector<journal::FoundJournal> found = c.RecoverableSessions();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(std::tuple(s(found[0].caseFields.noDossier), found[0].annotations,
                             found[0].pendingText),
                  std::tuple("500-01-123456-241", 3, true));

        h.events.names.clear();
        ASSERT_TRUE(c.RecoverSession(found[0].id));
        std::vector<std::string> raised = h.events.names;
        std::erase_if(raised, [](const std::string& e) {
            return !e.starts_with("AnnoRecovered") && !e.starts_with("AnnoModified(");
        });
        EXPECT_EQ(raised, tc.raised);
        EXPECT_EQ(listOf(c), recovered);
        EXPECT_EQ(s(c.NoDossier), "500-01-123456-241");
        // Recovered once: the journal is gone, and the recovered notes are this session's now.
        EXPECT_TRUE(c.RecoverableSessions().empty());
    }
}

TEST_F(ControlTest, AControlStartingKeepsTheSessionsLeftBehindWithinTheIniLimit) {
    h.app.writeIni("[Journal]\nMaxSessions=2\n");
    for (int crash = 0; crash < 3; ++crash)
        ASSERT_EQ(inChild([&] { return crashedSession(h.app.native()); }), "OK");
    // Each start leaves room for its own: one left behind besides it, the others removed, logged.
    EXPECT_EQ(start().RecoverableSessions().size(), 1u);
    const auto lines = h.app.logEntries("errDalmure_Journal");
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines)
        EXPECT_NE(line.description.find("removed, more than 2 sessions"), std::string::npos)
            << line.description;
}

} // namespace
} // namespace dalmure::test
