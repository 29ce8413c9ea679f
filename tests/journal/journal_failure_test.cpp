// The journal where things go wrong: another instance, damage, no room, no rights, links.
#include "journal_test_support.h"
#include "kill_rig.h"
#include "random_steps.h"

#include <sqlite3.h>

#include <random>
#include <set>
#include <thread>

namespace dalmure::journal::test {
namespace {

// A journal of n annotations with long notes, left behind unclean (its WAL moved into the
// database when checkpointed, as a later checkpoint would); its id.
std::string leaveJournal(const TempAppFolder& app, int n, bool checkpointed = false) {
    Reports reports;
    auto journal = Journal::start(app.path(), kFolder, reports.options());
    for (int i = 0; i < n; ++i) {
        journal->added(i, u("09:00:00"), u("Annotation " + std::to_string(i)), u(""));
        journal->notesCommitted(i, Str(600, u'n'));
    }
    const std::string id = journal->id();
    journal.reset();
    EXPECT_TRUE(reports.seen.empty());
    sqlite3* db = nullptr;
    if (checkpointed) {
        sqlite3_open((app.journals() + "/" + id + ".db").c_str(), &db);
        EXPECT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, 0, 0), 0);
    }
    sqlite3_close(db);
    return id;
}

void age(const TempAppFolder& app, const std::string& id, int days) {
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * days);
    for (const auto& e : fs::directory_iterator(app.journals()))
        if (e.path().filename().string().starts_with(id))
            fs::last_write_time(e.path(), when);
}

std::size_t journalsIn(const TempAppFolder& app) {
    return std::ranges::count_if(app.files(), [](auto& n) { return n.ends_with(".db"); });
}

TEST(JournalInUse, ARunningInstancesJournalIsNeitherListedReadNorRemovedWhateverItsAge) {
    TempAppFolder app;
    Reports reports;
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready) | ::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // the other instance: says which journal is its own, and runs until told
        auto journal = Journal::start(app.path(), kFolder, {});
        journal->added(0, u("09:00:00"), u("theirs"), u(""));
        (void)!::write(ready[1], journal->id().data(), journal->id().size());
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(journal->added(1, u("10:00:00"), u("still theirs"), u("")) ? 0 : 1);
    }
    char buf[128] = {};
    ASSERT_GT(::read(ready[0], buf, sizeof buf - 1), 0);
    const std::string theirs = buf;

    // This instance's own journal, alive beside it, is just as private.
    auto mine = Journal::start(app.path(), kFolder, reports.options());
    leaveJournal(app, 1);
    age(app, theirs, 400);
    age(app, mine->id(), 400);
    keepSessionsWithin(app.path(), kFolder, {1, 30, 512}, reports.sink());
    EXPECT_EQ(journalsIn(app), 2u) << "only the one left behind goes";
    reports.seen.clear();
    Recovery recovery(app.path(), kFolder, reports.sink());
    EXPECT_TRUE(recovery.list().empty());
    EXPECT_FALSE(recovery.replay(theirs).has_value());
    EXPECT_FALSE(recovery.discard(theirs) || recovery.discard(mine->id()));
    EXPECT_TRUE(mine->added(0, u("09:00:00"), u("mine"), u("")));

    // The other instance goes on writing, then ends without closing: now it can be recovered.
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto found = recovery.list();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, theirs);
    EXPECT_EQ(found[0].annotations, 2);
    EXPECT_TRUE(reports.seen.empty());
}

// Damages, the way kind says, the journal whose database is at db (its WAL checkpointed and gone).
void damage(std::string_view kind, const std::string& db) {
    std::mt19937 rng(7);
    auto noise = [&](std::size_t n) {
        std::string bytes(n, '\0');
        std::ranges::generate(bytes, [&] { return static_cast<char>(rng()); });
        return bytes;
    };
    std::string bytes = readFile(db);
    if (kind.starts_with("truncated")) {
        fs::resize_file(db, kind == "truncated_to_half" ? bytes.size() / 2 : 40);
    } else if (kind == "random_bytes") {
        writeFile(db, noise(bytes.size()));
    } else if (kind == "pages_overwritten_inside") {
        for (std::size_t i = 8192; i < bytes.size(); i += 4096)
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(i), 64, '\xA5');
        writeFile(db, bytes);
    } else if (kind == "another_programs_database") {
        fs::remove(db);
        sqlite3* other = nullptr;
        sqlite3_open(db.c_str(), &other);
        sqlite3_exec(other,
                     "CREATE TABLE records(seq INTEGER PRIMARY KEY, kind, idx, a, b, c, at);"
                     "INSERT INTO records VALUES(1, 'x', 'y', 1, 2, 3, 4);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(other);
    } else if (kind == "wal_of_random_bytes") {
        // SQLite takes a WAL without a valid header for an empty one.
        writeFile(db + "-wal", noise(64 * 1024));
    } else if (kind == "wal_cut_inside_its_header") {
        writeFile(db + "-wal", std::string(20, '\x37'));
    } else if (kind == "wal_that_is_a_link") {
        fs::remove(db + "-wal");
        fs::create_symlink("/dev/zero", db + "-wal");
    } else if (kind == "database_that_is_a_link") { // to a real journal outside the folder
        fs::rename(db, fs::path(db).parent_path().parent_path() / "elsewhere.db");
        fs::create_symlink("../elsewhere.db", db);
    } else { // SQLite would read a FIFO until something is written into it
        const std::string file = db + (kind == "wal_that_is_a_fifo" ? "-wal" : "-shm");
        fs::remove(file);
        ::mkfifo(file.c_str(), 0600);
    }
}

class DamagedJournal : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedJournal, IsReportedOnceListedAsDamagedAndLeftAsItIs) {
    TempAppFolder app;
    Reports reports;
    const std::string damaged = leaveJournal(app, 200, true);
    const std::string healthy = leaveJournal(app, 3);
    const std::string path = app.journals() + "/" + damaged + ".db";
    damage(GetParam(), path);
    const std::string before = readFile(path);

    // Once for as long as the memory of what was reported is kept, however many recoveries look.
    std::set<std::string> reported;
    Recovery recovery(app.path(), kFolder, reports.sink(), &reported);
    for (int round = 0; round < 2; ++round) {
        const auto found = Recovery(app.path(), kFolder, reports.sink(), &reported).list();
        ASSERT_EQ(found.size(), 2u);
        for (const auto& f : found)
            EXPECT_EQ(f.damaged && !f.problem.empty(), f.id == damaged) << f.id;
    }
    EXPECT_FALSE(recovery.replay(damaged).has_value());
    ASSERT_EQ(reports.seen.size(), 1u);
    EXPECT_NE(reports.seen[0].text.find(damaged), std::string::npos) << reports.seen[0].text;
    EXPECT_EQ(readFile(path), before) << "the damaged journal must be left as it is";
    EXPECT_EQ(recovery.replay(healthy).value().annotations.size(), 3u);
    EXPECT_TRUE(recovery.discard(damaged)) << "discarding is the host's decision, damaged or not";
    EXPECT_EQ(recovery.list().size(), 1u);
    EXPECT_EQ(fs::exists(app.file("elsewhere.db")),
              std::string_view(GetParam()) == "database_that_is_a_link")
        << "a link is removed, never what it points at";
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedJournal,
                         ::testing::Values("truncated_to_half", "truncated_inside_the_header",
                                           "random_bytes", "another_programs_database",
                                           "pages_overwritten_inside", "wal_of_random_bytes",
                                           "wal_cut_inside_its_header", "wal_that_is_a_fifo",
                                           "shared_memory_file_that_is_a_fifo",
                                           "wal_that_is_a_link", "database_that_is_a_link"),
                         [](const auto& info) { return std::string(info.param); });

TEST(JournalUnwritable, ASessionLeftInAReadOnlyFolderIsListedAndReadAndLeftAsItIs) {
    for (const bool withLock : {true, false}) {
        SCOPED_TRACE(withLock ? "its lock file is there" : "its lock file is gone");
        TempAppFolder app;
        std::optional<TmpfsMount> fsys; // root passes permission bits: a read-only file system
        if (::geteuid() == 0) {
            fsys.emplace(app.journals(), "size=4m,mode=0700", false);
            if (!fsys->mounted())
                GTEST_SKIP() << "cannot mount a tmpfs here";
        }
        Reports reports;
        const std::string id = leaveJournal(app, 3);
        if (!withLock)
            fs::remove(app.journals() + "/" + id + ".lock");
        if (fsys)
            ASSERT_TRUE(fsys->remount(true, "size=4m"));
        else
            ::chmod(app.journals().c_str(), 0500);
        const std::vector<std::string> before = app.files();

        Recovery recovery(app.path(), kFolder, reports.sink());
        const auto found = recovery.list();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_FALSE(found[0].damaged) << toUtf8(found[0].problem);
        EXPECT_EQ(found[0].annotations, 3);
        EXPECT_EQ(recovery.replay(id).value().annotations.at(2).notes, Str(600, u'n'));
        EXPECT_FALSE(recovery.discard(id)) << "nothing can be removed there";
        EXPECT_TRUE(reports.seen.empty());
        EXPECT_EQ(app.files(), before);
        if (!fsys)
            ::chmod(app.journals().c_str(), 0700);
    }
}

// Every call false and silent.
TEST(JournalUnwritable, AJournalThatCannotStartIsReportedOnceNamingTheFolderAndStaysOff) {
    for (const char* where : {"application folder read-only", "journals' folder read-only",
                              "disk full from the start"}) {
        SCOPED_TRACE(where);
        const bool full = where[0] == 'd', inAppFolder = where[0] == 'a';
        TempAppFolder app;
        const std::string mountPoint = inAppFolder ? app.native() + "/ro" : app.journals();
        std::optional<TmpfsMount> fsys;
        if (full || ::geteuid() == 0) {
            fsys.emplace(mountPoint, full ? "size=64k,mode=0700" : "size=1m,mode=0700", !full);
            if (!fsys->mounted())
                GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
        } else {
            fs::create_directories(mountPoint);
            ::chmod(mountPoint.c_str(), 0500);
        }
        if (full)
            writeFile(mountPoint + "/filler", std::string(1 << 20, 'f'));
        Reports reports;
        auto j = Journal::start(inAppFolder ? fromUtf8(mountPoint) : app.path(), kFolder,
                                reports.options());
        ASSERT_EQ(reports.seen.size(), 1u);
        const std::int32_t number = reports.seen[0].number;
        EXPECT_TRUE(full ? number == 61 : number == 70 || number == 75) << number;
        EXPECT_TRUE(full || reports.seen[0].text.find(mountPoint) != std::string::npos)
            << reports.seen[0].text;
        const int accepted = j->working() + j->added(0, u("09:00:00"), u("A"), u("")) +
                             j->deleted(0) + j->renamed(0, u("B")) + j->notesCommitted(0, u("n")) +
                             j->cleared() + j->caseField(CaseField::UserName, u("x")) +
                             j->liveText(0, u("x")) + j->liveTextDropped();
        EXPECT_EQ(accepted, 0);
        j->syncNow();
        j->close();
        j.reset();
        EXPECT_EQ(reports.seen.size(), 1u);
        EXPECT_TRUE(!full || app.files() == std::vector<std::string>{"filler"}) << "half made";
    }
}

TEST(JournalUnwritable, AFullDiskKeepsTheChangesWaitingAndWritesThemWhenThereIsRoom) {
    TempAppFolder app;
    TmpfsMount small(app.journals(), "size=512k,mode=0700", false);
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    Reports reports;
    JournalOptions options = reports.options();
    options.syncDelay = std::chrono::milliseconds(1);
    auto journal = Journal::start(app.path(), kFolder, options);
    ASSERT_TRUE(journal->working());

    // Full (said at once, or by the next call on a busy machine), then 50 more wait in memory.
    const Str notes(1500, u'x');
    int made = 0;
    while (made < 2000 && reports.seen.empty())
        journal->added(made++, u("09:00:00"), notes, u(""));
    ASSERT_LT(made, 2000) << "the disk never filled";
    for (const int last = made + 50; made < last; ++made)
        EXPECT_FALSE(journal->added(made, u("09:00:00"), notes, u("")));
    EXPECT_TRUE(journal->working() && journal->behind());
    ASSERT_EQ(reports.seen.size(), 1u);
    EXPECT_EQ(reports.seen[0].number, 61) << reports.seen[0].text;

    ASSERT_TRUE(small.remount(false, "size=16m"));
    for (int i = 0; i < 500 && journal->behind(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(journal->behind());
    EXPECT_TRUE(journal->caseField(CaseField::UserName, u("clerk")));
    ASSERT_EQ(reports.seen.size(), 2u);
    EXPECT_EQ(reports.seen[1].number, 0) << reports.seen[1].text;
    const std::string id = journal->id();
    journal.reset();
    const auto replayed = Recovery(app.path(), kFolder, reports.sink()).replay(id);
    EXPECT_EQ(replayed.value().annotations.size(), static_cast<std::size_t>(made));
    EXPECT_EQ(reports.seen.size(), 2u);
}

// The bytes the journals' folder takes on the disk.
std::int64_t diskUse(const std::string& folder) {
    std::int64_t bytes = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) == 0)
            bytes += static_cast<std::int64_t>(st.st_blocks) * 512;
    }
    return bytes;
}

TEST(JournalDiskUse, AHearingOfTenThousandAnnotationsTakesAboutTwiceItsText) {
    TempAppFolder app;
    Reports reports;
    auto journal = Journal::start(app.path(), kFolder, reports.options());
    std::int64_t textBytes = 0, largestWal = 0;
    const std::string wal = app.journals() + "/" + journal->id() + ".db-wal";
    for (int i = 0; i < 10000; ++i) {
        const Str time =
            u("10:" + std::to_string(10 + i / 600) + ":" + std::to_string(10 + i % 50));
        const Str description = u("Annotation " + std::to_string(i));
        const Str notes(65, static_cast<char16_t>(u'a' + i % 26));
        journal->added(i, time, description, u(""));
        journal->notesCommitted(i, notes);
        textBytes += static_cast<std::int64_t>(time.size() + description.size() + notes.size()) * 2;
        if (i % 500 == 0)
            largestWal = std::max<std::int64_t>(largestWal, fs::file_size(wal));
    }
    journal->syncNow();
    const std::int64_t used = diskUse(app.journals());
    std::printf("10,000 annotations: %lld bytes of text, journal %lld bytes, largest WAL %lld\n",
                static_cast<long long>(textBytes), static_cast<long long>(used),
                static_cast<long long>(largestWal));
    // The WAL grows while checkpoints catch up; it reached 135 MB without them.
    EXPECT_LT(largestWal, 32 << 20);
    EXPECT_LT(used, 2 * textBytes + (12 << 20));
    // A busy spell on a loaded machine may be reported, then its end: nothing left failing.
    EXPECT_TRUE(reports.seen.empty() || reports.seen.back().number == 0);
}

TEST(JournalDiskUse, SessionsLeftBehindAreKeptWithinTheLimitsTheOldestGoingFirst) {
    struct Case {
        std::string name;
        SessionLimits limits;
        std::size_t kept; // of 6, leaving room for one more
    };
    for (const Case& c : {Case{"count", {4, 30, 512}, 3}, Case{"age", {20, 30, 512}, 4},
                          Case{"size", {20, 30, 1}, 2}, Case{"within", {20, 30, 512}, 6}}) {
        SCOPED_TRACE(c.name);
        TempAppFolder app;
        Reports reports;
        std::vector<std::string> ids;
        for (int i = 0; i < 6; ++i) {
            ids.push_back(leaveJournal(app, 3));
            if (c.name == "size") // 400 kB each: two fit in 1 MB
                writeFile(app.journals() + "/" + ids[i] + ".db-wal", std::string(400 << 10, 'w'));
            // The first two the oldest, past 30 days in the age case.
            age(app, ids[i], c.name == "age" && i < 2 ? 40 - i : 6 - i);
        }
        reports.seen.clear();
        keepSessionsWithin(app.path(), kFolder, c.limits, reports.sink());
        EXPECT_EQ(journalsIn(app), c.kept);
        ASSERT_EQ(reports.seen.size(), 6 - c.kept);
        for (std::size_t i = 0; i < 6; ++i) { // the oldest went, one line each
            const bool kept = i >= 6 - c.kept;
            EXPECT_EQ(fs::exists(app.journals() + "/" + ids[i] + ".db"), kept);
            EXPECT_TRUE(kept || (reports.seen[i].number == 0 &&
                                 reports.seen[i].text.find(ids[i]) != std::string::npos));
        }
    }
}

TEST(JournalDiskUse, TwoHundredCrashesInARowLeaveTheFolderWithinTheLimits) {
    TempAppFolder app;
    const SessionLimits limits; // the defaults
    auto& started = dalmure::test::sharedWithChildren<std::atomic<int>>();
    std::int64_t largest = 0;
    const int crashes = dalmure::test::randomSteps(200);
    for (int crash = 0; crash < crashes; ++crash) {
        started = 0;
        dalmure::test::killWhenWaited(
            [&] { // a control starting, then typing until it is killed
                keepSessionsWithin(app.path(), kFolder, limits, {});
                auto journal = Journal::start(app.path(), kFolder, {});
                for (int i = 0;; ++i) {
                    journal->added(i, u("09:00:00"), u("Annotation"), u(""));
                    journal->notesCommitted(i, Str(200, u'n'));
                    started = i >= 50;
                }
            },
            [&] {
                for (int wait = 0; wait < 5000 && !started; ++wait)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
        largest = std::max(largest, diskUse(app.journals()));
    }
    std::printf("after %d crashes: %zu journals, at most %lld bytes on the way\n", crashes,
                journalsIn(app), static_cast<long long>(largest));
    EXPECT_LE(journalsIn(app), static_cast<std::size_t>(limits.maxSessions));
    EXPECT_LE(largest, std::int64_t{limits.maxTotalMB} << 20);
}

TEST(JournalFiles, TheFolderIsTheUsersAloneAndEveryFileIn0600WhateverTheUmask) {
    for (const bool folderExisted : {false, true}) {
        SCOPED_TRACE(folderExisted ? "folder made 0755 beforehand" : "folder made by the journal");
        TempAppFolder app;
        if (folderExisted) {
            fs::create_directory(app.journals());
            ::chmod(app.journals().c_str(), 0755);
        }
        const mode_t old = ::umask(0);
        Reports reports;
        auto journal = Journal::start(app.path(), kFolder, reports.options());
        journal->added(0, u("09:00:00"), u("A"), u(""));
        journal->liveText(0, u("secret"));
        journal->syncNow();
        ::umask(old);
        ASSERT_TRUE(journal->working());
        struct stat st {};
        ASSERT_EQ(::stat(app.journals().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        const auto names = app.files();
        EXPECT_GE(names.size(), 3u); // the database, its WAL and lock at least
        for (const auto& name : names) {
            ASSERT_EQ(::lstat((app.journals() + "/" + name).c_str(), &st), 0);
            EXPECT_EQ(S_ISREG(st.st_mode) ? st.st_mode & 07777 : 0, 0600u) << name;
        }
    }
}

TEST(JournalFiles, ALinkedApplicationFolderKeepsItsJournalALinkedJournalsFolderIsRefused) {
    for (const std::string tail : {"", "/app"}) {
        SCOPED_TRACE(tail.empty() ? "the folder is a link" : "a parent of the folder is a link");
        TempAppFolder real, links;
        if (!tail.empty())
            fs::create_directory(real.native() + tail);
        fs::create_directory_symlink(real.native(), links.native() + "/linked");
        const Str appFolder = fromUtf8(links.native() + "/linked" + tail);
        Reports reports;
        auto journal = Journal::start(appFolder, kFolder, reports.options());
        EXPECT_TRUE(journal->added(0, u("09:00:00"), u("A"), u("")));
        EXPECT_TRUE(journal->notesCommitted(0, u("kept")));
        const std::string id = journal->id();
        journal.reset(); // ended without closing
        const auto replayed = Recovery(appFolder, kFolder, reports.sink()).replay(id);
        EXPECT_EQ(replayed.value().annotations.at(0).notes, u("kept"));
        EXPECT_TRUE(reports.seen.empty());
        EXPECT_TRUE(fs::is_directory(real.native() + tail + "/" + std::string(kFolder)));
    }
    // The journals' folder itself a link: refused, and the journal it points at left alone.
    TempAppFolder app, elsewhere;
    Reports reports;
    leaveJournal(elsewhere, 1);
    fs::create_directory_symlink(elsewhere.journals(), app.journals());
    const auto before = elsewhere.files();
    auto journal = Journal::start(app.path(), kFolder, reports.options());
    EXPECT_EQ(reports.seen.size(), 1u);
    EXPECT_FALSE(journal->added(0, u("09:00:00"), u("A"), u("")));
    journal->close();
    EXPECT_TRUE(Recovery(app.path(), kFolder, reports.sink()).list().empty());
    EXPECT_EQ(reports.seen.size(), 2u) << "the recovery says so too";
    EXPECT_EQ(elsewhere.files(), before);
}

} // namespace
} // namespace dalmure::journal::test
