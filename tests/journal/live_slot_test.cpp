// The live slot: the editor's text as typed, read back as a recovery reads it, through every
// growth of the slot; and the choice a recovery makes between the slot and the database.
#include "journal/journal_db.h"
#include "journal/live_slot.h"
#include "journal_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Lengths that fit, that outgrow the slot by one, that land in either area after a growth, and
// that shrink back: a write must never overwrite the last complete one while it is made.
TEST(LiveSlot, EveryWriteReadsBackWholeThroughEachGrowth) {
    TempAppFolder app;
    auto folder = detail::openJournalFolder(app.path(), kFolder, true);
    ASSERT_TRUE(folder);
    if (detail::bootId().empty())
        GTEST_SKIP() << "no boot id on this system: the journal runs without a slot";
    LiveSlot slot, again;
    ASSERT_TRUE(slot.create(*folder, "s.live"));
    // Nothing is read from a slot that is missing, never written or no slot at all.
    EXPECT_FALSE(readSlot(*folder, "missing.live"));
    EXPECT_FALSE(readSlot(*folder, "s.live")) << "never written";
    std::ofstream(app.journals() + "/other.live") << std::string(8192, 'x');
    EXPECT_FALSE(readSlot(*folder, "other.live"));
    EXPECT_FALSE(again.create(*folder, "s.live")) << "an existing slot is never taken over";

    const std::size_t lengths[] = {3, 4096, 4097, 9000, 2, 50000, 1, 50000, 60000, 0, 5};
    std::int32_t index = 0;
    for (std::size_t length : lengths) {
        const Str text = textOf(length, static_cast<char16_t>(u'a' + index % 20));
        ASSERT_TRUE(slot.write(40 + index, index, &text, 1000 + index)) << length;
        for (int reader = 0; reader < 2; ++reader) {
            SlotState got;
            if (reader == 0) {
                ASSERT_TRUE(slot.snapshot(got)) << length;
            } else {
                auto read = readSlot(*folder, "s.live");
                ASSERT_TRUE(read) << length;
                got = *read;
            }
            EXPECT_TRUE(got.hasText);
            EXPECT_EQ(got.after, 40 + index);
            EXPECT_EQ(got.index, index);
            EXPECT_EQ(got.at, 1000 + index);
            EXPECT_TRUE(got.text == text) << "length " << length << ", reader " << reader;
        }
        ++index;
    }

    ASSERT_TRUE(slot.write(99, 0, nullptr, 2000));
    auto dropped = readSlot(*folder, "s.live");
    ASSERT_TRUE(dropped);
    EXPECT_FALSE(dropped->hasText);

    slot.retire();
    SlotState got;
    EXPECT_FALSE(slot.snapshot(got));
    EXPECT_FALSE(readSlot(*folder, "s.live")) << "a retired slot is never the newest";
}

// A writer that ends as a killed process does (no destructor, no last sync) after the editor's
// text was synced once and typed on.
std::string killedWriter(const TempAppFolder& app) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        JournalOptions options;
        options.syncDelay = std::chrono::seconds(600); // only the explicit sync below
        auto journal = Journal::start(app.path(), kFolder, options);
        journal->added(0, u("09:00:00"), u("A"), u(""));
        journal->liveText(0, u("synced"));
        journal->syncNow();
        journal->liveText(0, u("synced, then typed on"));
        const std::string& id = journal->id();
        [[maybe_unused]] auto n = ::write(pipeFds[1], id.data(), id.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char buf[128];
    const ssize_t n = pid > 0 ? ::read(pipeFds[0], buf, sizeof buf) : -1;
    ::close(pipeFds[0]);
    int status = 0;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

TEST(LiveSlot, RecoveryTakesTheSlotOnThisBootAndTheSyncedTextAfterARestart) {
    TempAppFolder app;
    if (detail::bootId().empty())
        GTEST_SKIP() << "no boot id on this system: the journal runs without a slot";
    const std::string id = killedWriter(app);
    ASSERT_FALSE(id.empty());
    Reports reports;
    {
        Recovery recovery(app.path(), kFolder, reports.sink());
        auto got = recovery.replay(id);
        ASSERT_TRUE(got);
        ASSERT_TRUE(got->live);
        EXPECT_EQ(toUtf8(got->live->text), "synced, then typed on");
    }
    // The slot as a power cut leaves it: written under another boot, its pages maybe never on
    // the disk. The recovery must fall back on what was synced.
    const std::string slotPath = app.journals() + "/" + detail::slotName(id);
    const int fd = ::open(slotPath.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string& boot = detail::bootId();
    ASSERT_EQ(::pwrite(fd, boot[0] == '0' ? "1" : "0", 1, 8), 1);
    ::close(fd);
    Recovery recovery(app.path(), kFolder, reports.sink());
    auto got = recovery.replay(id);
    ASSERT_TRUE(got);
    ASSERT_TRUE(got->live);
    EXPECT_EQ(toUtf8(got->live->text), "synced");
    EXPECT_EQ(got->annotations.size(), 1u);
    EXPECT_TRUE(reports.seen.empty());
}

} // namespace
} // namespace dalmure::journal::test
