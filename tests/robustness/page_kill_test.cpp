// The minutes page under SIGKILL: a child views the minutes of one of two cases after the other
// and is killed at random moments; the page left is, byte for byte, the last one finished or the
// one under way.
#include "harness.h"
#include "kill_rig.h"
#include "random_steps.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace dalmure::test {
namespace {

namespace fs = std::filesystem;

// The case of the last view finished, of the one under way, and how many finished.
struct Progress {
    std::atomic<int> completed{1};
    std::atomic<int> underWay{1};
    std::atomic<long> views;
};

std::ptrdiff_t pendingCopies(const std::string& folder) {
    return std::ranges::count_if(fs::directory_iterator(folder), [](const auto& e) {
        return e.path().filename().string().starts_with(".pvData.html.");
    });
}

TEST(PageKill, EveryPageLeftByAKilledViewIsThePreviousOrTheNewOneWhole) {
    headless::HeadlessOptions options;
    options.now = fixedNow();
    options.htmlProgram = u("/bin/true");
    ControlHarness h;
    h.platform = std::make_unique<headless::HeadlessPlatform>(options);
    ASSERT_EQ(h.app.copyTemplates(), 2);
    DalmurePrivate& c = h.start();
    for (int i = 0; i < 3000; ++i) {
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", 9 + i / 3600, i / 60 % 60, i % 60);
        h.add(u(time), u("Intervention " + std::to_string(i)),
              u("Notes de la greffe pour l'intervention " + std::to_string(i)));
    }
    const Str cases[2] = {u("500-01-000001-241"), u("500-01-000002-241")};
    auto view = [&](int which) {
        c.NoDossier = cases[which];
        DalmureTestAccess::buttonClick(c, platform::ButtonId::View);
    };

    std::string pages[2];
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 6; ++round) {
        view(round % 2);
        pages[round % 2] = h.app.readBytes("pvData.html");
    }
    const std::chrono::duration<double, std::milli> viewMs =
        (std::chrono::steady_clock::now() - start) / 6;
    ASSERT_NE(pages[0], pages[1]);
    ASSERT_GT(pages[0].size(), 300000u);

    Progress& progress = sharedWithChildren<Progress>();
    const int kills = randomSteps(200);
    std::mt19937 rng(20260304);
    std::uniform_real_distribution<double> moment(0.0, 2.5 * viewMs.count());
    int duringAView = 0, previous = 0, fresh = 0, copiesLeft = 0;
    std::string wrong;
    for (int kill = 0; kill < kills && wrong.empty(); ++kill) {
        killWhenWaited(
            [&] {
                for (;;) {
                    const int next = 1 - progress.completed.load();
                    progress.underWay = next;
                    view(next);
                    progress.completed = next;
                    ++progress.views;
                }
            },
            [&] {
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(moment(rng)));
            });
        const int done = progress.completed, under = progress.underWay;
        const std::string page = h.app.readBytes("pvData.html");
        duringAView += under != done;
        if (page == pages[done]) {
            ++previous;
        } else if (under != done && page == pages[under]) {
            ++fresh;
            progress.completed = under; // renamed into place just before the kill
        } else {
            wrong = "kill " + std::to_string(kill) + ": a page of " + std::to_string(page.size()) +
                    " bytes that is neither";
        }
        copiesLeft += pendingCopies(h.app.native()) > 0;
    }
    view(1 - progress.completed); // clears what the killed writers left

    std::printf("[ kills    ] %d kills, one view %.1f ms, %ld views finished, %d kills during a "
                "view; page left: %d previous, %d new; %d kills left a half-written copy\n",
                kills, viewMs.count(), progress.views.load(), duringAView, previous, fresh,
                copiesLeft);
    EXPECT_EQ(wrong, "");
    EXPECT_GT(duringAView, kills / 2);
    EXPECT_EQ(pendingCopies(h.app.native()), 0);
    EXPECT_TRUE(h.app.logEntries().empty());
}

} // namespace
} // namespace dalmure::test
