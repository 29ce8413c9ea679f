// Notes typed into the editor are committed before the host changes the list under it, so that
// they land under the annotation they were typed for, and are never committed twice: a host
// calling back from the commit, then random sessions of typing and host adds, deletes and clears.
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <utility>

namespace dalmure {
namespace {

using test::s;
using test::u;

TEST(TypedNotes, HostCallingBackFromAnnoModifiedLeavesAConsistentList) {
    test::ControlHarness h;
    DalmurePrivate& c = h.startSized();
    test::RecordingEvents& probe = h.events;
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
        probe.onModified = nullptr;
        c.ClearAll();
        h.add({{"10", "a"}, {"11", "b"}, {"12", "c"}});
        ASSERT_TRUE(h.platform->userClick(2 * tc.typedInto + 1, 1));
        ASSERT_GT(h.platform->userType(u("notes")), 0);
        probe.names.clear();
        probe.onModified = [&, fired = false](std::int16_t) mutable {
            if (!std::exchange(fired, true))
                tc.hostCall();
        };
        tc.listChange();
        EXPECT_EQ(probe.names,
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

// The user types, clicks and adds in entry style 2 while the host adds, deletes and clears; the
// model knows, by unique description, the notes committed under each annotation.
TEST(TypedNotesRandomized, CommittedNotesAlwaysSitUnderTheirAnnotation) {
    test::ControlHarness h;
    DalmurePrivate& c = h.startSized();
    auto trapped = [&] {
        return std::ranges::count_if(h.app.logEntries(), [](const auto& e) {
            return !e.label.starts_with("errDalmure_ChargeLangue");
        });
    };
    const auto trappedAtStart = trapped();
    std::mt19937 rng(20260304);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::map<std::string, std::string> committed; // description -> committed data text
    std::string target;                           // description the editor was opened on
    std::string lastCommitted;
    int commitsThisStep = 0, serial = 0;
    int hostChangeCommits = 0; // commits made because the host changed the list

    test::RecordingEvents& model = h.events;
    model.onModified = [&](std::int16_t index) {
        const std::string desc = s(c.AnnoDesc(index));
        const std::string text = s(h.grid().textMatrix(2 * index + 1, 1));
        ASSERT_FALSE(target.empty()) << "a commit with no annotation being edited";
        ASSERT_EQ(desc, target) << "notes committed under the wrong annotation";
        ASSERT_EQ(text, s(h.editor().text()));
        ASSERT_NE(committed[desc], text) << "the same notes committed twice";
        committed[desc] = lastCommitted = text;
        ++commitsThisStep;
    };
    model.onAdded = [&](Str&, Str& desc) { committed[s(desc)] = ""; };
    auto retarget = [&] {
        if (c.AnnoCount() > 0)
            target = s(c.AnnoDesc(c.Selected()));
    };
    const std::string alphabet = "abc xyz'&\r\b";

    const int steps = test::randomSteps(4000);
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        commitsThisStep = 0;
        const std::int16_t count = c.AnnoCount();
        // What a change of the list must commit first.
        const bool pending = h.editor().hasFocus() && c.Selected() >= 0 &&
                             h.editor().text() != DalmureTestAccess::strEditStart(c);
        const std::string pendingText = s(h.editor().text());
        const int action = pick(100);
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
                if (pick(3) > 0)
                    h.platform->queueAnswer(u("p" + std::to_string(serial++)));
                else
                    h.platform->queueCancel();
                if (h.platform->userType(u(typed)) == static_cast<int>(typed.size()))
                    retarget();
            } else {
                h.platform->userType(u(typed));
            }
        } else if (action < 55) {
            ASSERT_TRUE(h.platform->userClick(pick(h.grid().rows()), pick(2)));
            retarget();
        } else if (action < 63) {
            h.platform->userBlur();
        } else if (action < 66) {
            h.platform->userKeyPress('k');
            retarget();
        } else if (action < 69) {
            h.platform->userScroll(std::nullopt);
        } else if (action < 72) {
            c.PVStyle = c.PVStyle == 2 ? 1 : 2;
        } else {
            // The host changes the list: pending notes are committed first, exactly once.
            bool changed = true;
            if (action < 86) {
                const std::string desc = "h" + std::to_string(serial++);
                char time[16];
                std::snprintf(time, sizeof time, "10:%02d:%02d", pick(60), pick(60));
                committed[desc] = "";
                c.AnnoAdd(u(time), u(desc));
                retarget();
            } else if (action < 98) {
                changed = count >= 2;
                if (changed) {
                    std::int32_t index = pick(count);
                    c.AnnoDelete(index);
                    retarget();
                }
            } else {
                c.ClearAll();
                committed.clear();
                target.clear();
            }
            ASSERT_EQ(commitsThisStep, pending && changed ? 1 : 0);
            if (commitsThisStep == 1) {
                ASSERT_EQ(lastCommitted, pendingText);
            }
            hostChangeCommits += commitsThisStep;
        }
        // Every annotation holds exactly the notes committed under it.
        std::set<std::string> seen;
        for (std::int16_t i = 0; i < c.AnnoCount(); ++i) {
            const std::string desc = h.cell(2 * i, 1);
            ASSERT_TRUE(seen.insert(desc).second && committed.count(desc)) << desc;
            ASSERT_EQ(h.cell(2 * i + 1, 1), committed[desc]) << desc;
        }
        ASSERT_TRUE(c.AnnoCount() > 0 || h.cell(1, 1).empty());
    }
    EXPECT_EQ(trapped(), trappedAtStart);
    EXPECT_GT(hostChangeCommits, steps / 40); // the run did exercise the rule
}

} // namespace
} // namespace dalmure
