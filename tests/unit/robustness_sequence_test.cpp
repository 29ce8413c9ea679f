// Long random sessions of host calls and user actions on the headless control, from a fixed seed,
// checked after every step with the sequence fuzzer's invariants (session_invariants.h); nothing
// but the documented raise reaches the host.
#include "platform/ids.h"
#include "session_invariants.h"
#include "support/errors.h"
#include "test_support.h"

#include <algorithm>
#include <random>

namespace dalmure {
namespace {

using test::u;
using RobustnessSequence = test::ControlTest;

TEST_F(RobustnessSequence, InvariantsHoldAfterEveryStep) {
    const unsigned seed = 1;
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto coin = [&] { return pick(0, 1) == 1; };
    auto someTime = [&]() -> std::string {
        if (pick(0, 9) == 0)
            return "";
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", pick(0, 2), pick(0, 5), pick(0, 59));
        return buf;
    };
    h.app.copyTemplates();
    DalmurePrivate& c = startSized();
    headless::HeadlessPlatform& p = *h.platform;
    h.events.onDeleteRequest = [&](std::int16_t& index) {
        if (pick(0, 3) == 0)
            index = static_cast<std::int16_t>(pick(-1, 10));
    };
    h.events.onModifiedDesc = [&](std::int16_t&, Str&, Str&, bool& cancel) { cancel = coin(); };
    auto step = [&] {
        const int op = pick(0, 17);
        if (op < 3) {
            Str t = u(someTime()), d = u("desc " + std::to_string(pick(0, 99)));
            Str data = coin() ? Str() : u("notes\r\nline");
            c.AnnoAdd(t, d, data);
        } else if (op == 3) {
            std::int32_t i = pick(-2, 20);
            c.AnnoDelete(i);
        } else if (op == 4) {
            (void)c.AnnoData(pick(-1, 20));
        } else if (op == 5 && pick(0, 4) == 0) {
            c.ClearAll();
        } else if (op == 6) {
            (void)p.userClick(pick(0, 30), pick(0, 1));
        } else if (op == 7) {
            (void)p.userDblClick(pick(0, 30), pick(0, 1));
        } else if (op == 8) {
            const auto item = platform::kAllMenuItems[static_cast<std::size_t>(pick(0, 6))];
            (void)p.userRightClick(pick(0, 30), pick(0, 1),
                                   std::string(platform::menuItemName(item)));
        } else if (op == 9 || op == 10) {
            (void)p.userType(coin() ? u("ab\b'+") : u("x\r\x1b"));
        } else if (op == 11) {
            (void)p.userButton(platform::kAllButtons[static_cast<std::size_t>(pick(0, 6))]);
        } else if (op == 12 && coin()) {
            p.queueAnswer(coin() ? u(someTime()) : u("renamed"));
        } else if (op == 12) {
            p.queueCancel();
        } else if (op == 13) {
            bool v = coin();
            coin() ? c.NoModif(v) : c.NoPlay(v);
        } else if (op == 14) {
            p.userResize(pick(0, 12000), pick(0, 9000));
        } else if (op == 15) {
            (void)p.userScroll(std::optional<std::int32_t>(pick(-1, 30)));
        } else if (op == 16) {
            p.userBlur();
        } else {
            try {
                c.LetBackColor(coin() ? 1e12 : pick(0, 0xFFFFFF)); // the documented raise
            } catch (const ControlError& e) {
                EXPECT_EQ(e.number(), errors::kOverflow);
            }
        }
    };
    test::SessionInvariants invariants;
    std::size_t logSeen = 0;
    std::int32_t maxRows = 0;
    const int steps = test::randomSteps(300);
    for (int n = 0; n <= steps; ++n) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(n));
        if (n > 0) {
            ASSERT_NO_THROW(step());
        }
        maxRows = std::max(maxRows, h.grid().rows());
        ASSERT_EQ(invariants.checkGrid(c, h.grid()), "");
        const auto entries = h.app.logEntries();
        for (; logSeen < entries.size(); ++logSeen)
            ASSERT_EQ(test::SessionInvariants::checkLogLine(entries[logSeen].raw), "");
    }
    if (steps >= 300) {         // a shortened run proves the invariants alone
        EXPECT_GE(maxRows, 12); // the session really built a list
        EXPECT_GT(logSeen, 0u); // and went through trapped errors
    }
}

} // namespace
} // namespace dalmure
