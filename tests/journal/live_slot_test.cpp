// The live slot: the editor's text as typed, and a recovery's choice between it and the database.
#include "journal/journal_db.h"
#include "journal/live_slot.h"
#include "journal_test_support.h"

namespace dalmure::journal::test {
namespace {

using detail::LiveSlot;
using detail::readSlot;
using detail::SlotState;

Str textOf(std::size_t length, char16_t first) {
    Str s(length, first);
    for (std::size_t i = 0; i < length; i += 7)
        s[i] = static_cast<char16_t>(first + 1 + i % 5);
    return s;
}

// A write must never overwrite the last complete one while it is made.
TEST(LiveSlot, EveryWriteReadsBackWholeThroughEachGrowth) {
    TempAppFolder app;
    auto folder = detail::openJournalFolder(app.path(), kFolder, true);
    ASSERT_TRUE(folder);
    if (detail::bootId().empty())
        GTEST_SKIP() << "no boot id on this system: the journal runs without a slot";
    LiveSlot slot, again;
    ASSERT_TRUE(slot.create(*folder, "s.live"));
    EXPECT_FALSE(readSlot(*folder, "missing.live"));
    EXPECT_FALSE(readSlot(*folder, "s.live")) << "never written";
    std::ofstream(app.journals() + "/other.live") << std::string(8192, 'x');
    EXPECT_FALSE(readSlot(*folder, "other.live"));
    EXPECT_FALSE(again.create(*folder, "s.live")) << "an existing slot is never taken over";

    // Lengths that fit, outgrow the slot by one, land in either area after a growth, shrink back.
    const std::size_t lengths[] = {3, 4096, 4097, 9000, 2, 50000, 1, 50000, 60000, 0, 5};
    for (std::int32_t i = 0; i < std::int32_t(std::size(lengths)); ++i) {
        const Str text = textOf(lengths[i], static_cast<char16_t>(u'a' + i));
        ASSERT_TRUE(slot.write(40 + i, i, &text, 1000 + i)) << lengths[i];
        SlotState mapped; // as the writer reads it back, then as a recovery reads the file
        ASSERT_TRUE(slot.snapshot(mapped));
        for (const auto& got : {std::optional(mapped), readSlot(*folder, "s.live")}) {
            ASSERT_TRUE(got) << lengths[i];
            EXPECT_TRUE(got->hasText && got->after == 40 + i && got->index == i &&
                        got->at == 1000 + i && got->text == text)
                << "length " << lengths[i];
        }
    }

    ASSERT_TRUE(slot.write(99, 0, nullptr, 2000));
    EXPECT_FALSE(readSlot(*folder, "s.live").value().hasText) << "dropped";

    slot.retire();
    SlotState got;
    EXPECT_FALSE(slot.snapshot(got));
    EXPECT_FALSE(readSlot(*folder, "s.live")) << "a retired slot is never the newest";
}

// A writer that ends as a killed one (no destructor, no last sync) after its editor's text was
// synced once and typed on; its journal's id.
std::string killedWriter(const TempAppFolder& app) {
    return dalmure::test::inChild([&] {
        JournalOptions options;
        options.syncDelay = std::chrono::seconds(600); // only the explicit sync below
        Journal* journal = Journal::start(app.path(), kFolder, options).release();
        journal->added(0, u("09:00:00"), u("A"), u(""));
        journal->liveText(0, u("synced"));
        journal->syncNow();
        journal->liveText(0, u("synced, then typed on"));
        return journal->id();
    });
}

TEST(LiveSlot, RecoveryTakesTheSlotOnThisBootAndTheSyncedTextAfterARestart) {
    TempAppFolder app;
    if (detail::bootId().empty())
        GTEST_SKIP() << "no boot id on this system: the journal runs without a slot";
    const std::string id = killedWriter(app);
    Reports reports;
    auto got = Recovery(app.path(), kFolder, reports.sink()).replay(id);
    ASSERT_TRUE(got && got->live);
    EXPECT_EQ(toUtf8(got->live->text), "synced, then typed on");
    // Written under another boot, as a power cut leaves it: the recovery takes what was synced.
    std::fstream slot(app.journals() + "/" + detail::slotName(id),
                      std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(slot.seekp(8) << (detail::bootId()[0] == '0' ? '1' : '0')); // the boot's id
    slot.close();
    got = Recovery(app.path(), kFolder, reports.sink()).replay(id);
    ASSERT_TRUE(got && got->live);
    EXPECT_EQ(toUtf8(got->live->text), "synced");
    EXPECT_EQ(got->annotations.size(), 1u);
    EXPECT_TRUE(reports.seen.empty());
}

} // namespace
} // namespace dalmure::journal::test
