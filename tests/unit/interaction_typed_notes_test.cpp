// Notes typed into the editor are committed before the host changes the list under it, so that
// they land under the annotation they were typed for, and are never committed twice: a host
// calling back from the commit, then random sessions of every action of the user's and the host's.
#include "platform/ids.h"
#include "session_invariants.h"
#include "support/errors.h"
#include "test_support.h"

#include <map>
#include <random>
#include <set>
#include <utility>

namespace dalmure {
namespace {

using test::s;
using test::u;
using RandomSession = test::ControlTest;

TEST(TypedNotes, HostCallingBackFromAnnoModifiedLeavesAConsistentList) {
    test::ControlHarness h;
    DalmurePrivate& c = h.startSized();
    using Call = std::function<void()>;
    auto add = [&](const char* time) -> Call {
        return [&c, time] { c.AnnoAdd(u(time), u(time)); };
    };
    auto del = [&](std::int32_t index) -> Call {
        return [&c, index]() mutable { c.AnnoDelete(index); };
    };
    const Call clear = [&c] { c.ClearAll(); };
    const struct {
        std::int16_t typedInto;
        Call hostCall, listChange;
        std::vector<std::string> times;
        std::int16_t selected; // -9: not checked
    } cases[] = {
        {1, clear, add("09"), {"09"}, 0},
        {0, add("11:30"), add("10:30"), {"10", "10:30", "11", "11:30", "12"}, 1},
        {2, clear, del(2), {}, -9},
        // The host deletes the annotation itself: the outer delete removes the next one.
        {0, del(0), del(0), {"12"}, -9},
        {1, add("13"), clear, {}, -9},
    };
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        const auto& tc = cases[n];
        SCOPED_TRACE(n);
        h.events.onModified = nullptr;
        c.ClearAll();
        h.add({{"10", "a"}, {"11", "b"}, {"12", "c"}});
        ASSERT_TRUE(h.platform->userClick(2 * tc.typedInto + 1, 1));
        ASSERT_GT(h.platform->userType(u("notes")), 0);
        h.events.names.clear();
        h.events.onModified = [&, fired = false](std::int16_t) mutable {
            if (!std::exchange(fired, true))
                tc.hostCall();
        };
        tc.listChange();
        EXPECT_EQ(h.events.names,
                  std::vector<std::string>{"AnnoModified(" + std::to_string(tc.typedInto) + ")"});
        EXPECT_EQ(c.AnnoCount() == 0 ? std::vector<std::string>{} : h.times(), tc.times);
        EXPECT_TRUE(tc.selected == -9 || c.Selected() == tc.selected) << c.Selected();
        EXPECT_TRUE(!tc.times.empty() || !h.editor().visible());
        c.AnnoAdd(u("11:15"), u("later"));
        EXPECT_TRUE(std::ranges::is_sorted(h.times()));
        EXPECT_EQ(DalmureTestAccess::timeOrderBreaks(c), 0);
        EXPECT_EQ(h.app.logCount(), 0u);
    }
}

// Random sessions: the user types (Enter in both entry styles, Esc), clicks, double and right
// clicks (each menu command), presses the buttons, scrolls and resizes while the host adds (blank
// times, data), deletes, reads, clears and answers renames or cancels them, or stores another
// index into the selection. By unique description the model knows the notes committed under each
// annotation; the list's invariants hold after every step, the log's lines are well-formed and
// only a bad input of the host's or a selection it broke logs anything.
TEST_F(RandomSession, NotesStayUnderTheirAnnotationAndTheListHoldsTogether) {
    const unsigned seed = 20260304;
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto coin = [&] { return pick(2) == 1; };
    h.app.copyTemplates();
    DalmurePrivate& c = startSized();
    headless::HeadlessPlatform& p = *h.platform;
    std::map<std::string, std::string> committed; // description -> committed data text
    std::string target, lastCommitted; // the description the editor was opened on, its notes
    std::set<std::string> hostData;    // descriptions whose notes are still the host's data text
    int commitsThisStep = 0, serial = 0, hostChangeCommits = 0; // the last: on the host's changes
    auto unique = [&](const char* prefix) { return u(prefix + std::to_string(serial++)); };

    h.events.onModified = [&](std::int16_t index) {
        const std::string desc = s(c.AnnoDesc(index));
        const std::string text = s(h.grid().textMatrix(2 * index + 1, 1));
        ASSERT_FALSE(target.empty()) << "a commit with no annotation being edited";
        ASSERT_EQ(desc, target) << "notes committed under the wrong annotation";
        ASSERT_EQ(text, s(h.editor().text()));
        // The host's data text is in the editor as if typed: written once more, it is no repeat.
        ASSERT_TRUE(committed[desc] != text || hostData.erase(desc)) << "notes committed twice";
        hostData.erase(desc);
        committed[desc] = lastCommitted = text;
        ++commitsThisStep;
    };
    h.events.onAdded = [&](Str&, Str& desc) { committed[s(desc)] = ""; };
    h.events.onModifiedDesc = [&](std::int16_t&, Str& oldDesc, Str& newDesc, bool& cancel) {
        if (!(cancel = coin()))
            committed[s(newDesc)] = committed[s(oldDesc)];
    };
    h.events.onDeleteRequest = [&](std::int16_t& index) {
        if (pick(4) == 0)
            index = static_cast<std::int16_t>(pick(12) - 1);
    };
    test::SessionInvariants invariants;
    std::int32_t maxRows = 0;
    std::size_t logSeen = h.app.logEntries().size();
    const std::string alphabet = "abc xyz'&+\r\b";

    const int steps = test::randomSteps(4300);
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
        commitsThisStep = 0;
        const std::int16_t count = c.AnnoCount();
        // What a change of the list must commit first, unless the host broke the selection.
        const bool broken = c.Selected() < -1 || c.Selected() >= std::max<int>(count, 1);
        bool mayTrap = broken;
        const bool pending = h.editor().hasFocus() && c.Selected() >= 0 &&
                             h.editor().text() != DalmureTestAccess::strEditStart(c);
        const std::string pendingText = s(h.editor().text());
        const int action = pick(120);
        if (action < 35) {
            std::string typed;
            for (int n = pick(6) + 1; n > 0; --n)
                typed += alphabet[pick(static_cast<int>(alphabet.size()))];
            if (pick(20) == 0)
                typed += '\x1b';
            const auto enter = typed.find('\r');
            if (c.PVStyle == 2 && enter != std::string::npos) {
                // Enter ends the notes; the prompt is answered (uniquely) or cancelled.
                typed.resize(enter + 1);
                pick(3) > 0 ? p.queueAnswer(unique("p")) : p.queueCancel();
            }
            p.userType(u(typed));
        } else if (action < 55) {
            const std::int32_t row = pick(h.grid().rows() + 2);
            ASSERT_EQ(p.userClick(row, pick(2)), row < h.grid().rows());
        } else if (action < 63) {
            p.userBlur();
        } else if (action < 66) {
            p.userKeyPress('k');
        } else if (action < 69) {
            p.userScroll(coin() ? std::nullopt : std::optional(pick(32) - 1));
        } else if (action < 72) {
            c.PVStyle = c.PVStyle == 2 ? 1 : 2;
        } else if (action < 100) {
            // The host changes the list: pending notes are committed first, exactly once.
            bool changed = true;
            if (action < 86) {
                char time[16];
                std::snprintf(time, sizeof time, "10:%02d:%02d", pick(60), pick(60));
                const Str desc = unique("h"), data = coin() ? Str() : u"notes\r\nline";
                committed[s(desc)] = s(data);
                if (!data.empty())
                    hostData.insert(s(desc));
                h.add(pick(10) == 0 ? Str() : u(time), desc, data);
            } else if (action < 98) {
                std::int32_t index = pick(8) - 1; // the host's index only says -1: no delete
                c.AnnoDelete(index);
                changed = index != -1;
                mayTrap |= count < 2; // the emptied list has no row to scroll to
            } else {
                c.ClearAll();
            }
            if (!broken) {
                ASSERT_EQ(commitsThisStep, pending && changed ? 1 : 0);
            }
            ASSERT_TRUE(commitsThisStep == 0 || lastCommitted == pendingText) << lastCommitted;
            hostChangeCommits += commitsThisStep;
        } else if (action < 103) {
            (void)p.userDblClick(pick(32), pick(2));
        } else if (action < 106) {
            const auto item = platform::kAllMenuItems[static_cast<std::size_t>(pick(7))];
            (void)p.userRightClick(pick(32), pick(2), std::string(platform::menuItemName(item)));
        } else if (action < 108) {
            (void)c.AnnoData(pick(22) - 1);
        } else if (action < 111) {
            (void)p.userButton(platform::kAllButtons[static_cast<std::size_t>(pick(7))]);
        } else if (action < 113) {
            coin() ? p.queueAnswer(unique("r")) : p.queueCancel();
        } else if (action < 115) {
            bool on = coin();
            coin() ? c.NoModif(on) : c.NoPlay(on);
        } else if (action < 118) {
            p.userResize(pick(12000), pick(9000));
        } else {
            try {
                c.LetBackColor(coin() ? 1e12 : pick(0xFFFFFF)); // the documented raise
            } catch (const ControlError& e) {
                EXPECT_EQ(e.number(), errors::kOverflow);
            }
        }
        ASSERT_EQ(invariants.checkGrid(c, h.grid()), "");
        const auto entries = h.app.logEntries();
        for (; logSeen < entries.size(); ++logSeen) {
            const test::LogEntry& e = entries[logSeen];
            ASSERT_EQ(test::SessionInvariants::checkLogLine(e.raw), "");
            ASSERT_TRUE(action >= 100 || mayTrap) << "trapped: " << e.raw;
        }
        // Every annotation holds exactly the notes committed under it; the placeholder none.
        std::set<std::string> seen;
        for (std::int32_t r = 0; r < h.grid().rows(); r += 2) {
            const std::string desc = h.cell(r, 1);
            ASSERT_TRUE(desc.empty() ? h.grid().rows() == 2 && h.cell(1, 1).empty()
                                     : seen.insert(desc).second && committed.count(desc))
                << desc;
            ASSERT_EQ(h.cell(r + 1, 1), committed[desc]) << desc;
        }
        maxRows = std::max(maxRows, h.grid().rows());
        const std::int16_t selected = c.Selected();
        target = selected >= 0 && selected < c.AnnoCount() ? s(c.AnnoDesc(selected)) : "";
    }
    if (steps >= 4300) { // a shortened run proves the rules alone
        EXPECT_GT(hostChangeCommits, steps / 40);
        EXPECT_GE(maxRows, 12);
        EXPECT_GT(logSeen, 0u);
    }
}

} // namespace
} // namespace dalmure
