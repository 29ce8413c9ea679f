// The journal under SIGKILL. A child process plays a clerk's session at full speed on a journal
// (keystrokes into the editor, commits, adds, deletes, renames, case fields, now and then a
// clear), counting in shared memory each change the journal acknowledged. The harness kills it
// at a random moment, replays what it left, and checks that the journal holds every acknowledged
// change: exactly the session after the last acknowledged change, or after the one that was
// under way when the kill came. Both sides draw the session from the same seed. A change the
// journal could not write at once waits in memory and is not acknowledged; the journal then holds
// the session after any number of changes from the acknowledged ones to the last one made.
//
// With --locked, each writer types at a clerk's pace while this process holds the database's
// lock for 2 s (BEGIN EXCLUSIVE on a connection of its own); once the lock is gone and the writer
// has been acknowledged past every change it made meanwhile, it is killed: nothing is lost.
//
//   dalmure_journal_kill_test [--locked] [KILLS] [SEED]   (KILLS scaled by DALMURE_TEST_STEPS)
//
// Prints its totals; exits 1 on any loss.
#include "journal/journal.h"
#include "random_steps.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

using namespace dalmure;
using namespace dalmure::journal;
namespace fs = std::filesystem;

constexpr std::string_view kFolder = "Recovery";

// --- The session: changes and the list they make ---------------------------------------------

struct Add {
    std::int32_t index;
    Str time, description, data;
};
struct Delete {
    std::int32_t index;
};
struct Rename {
    std::int32_t index;
    Str description;
};
struct Commit {
    std::int32_t index;
    Str notes;
};
struct Clear {};
struct Field {
    CaseField field;
    Str value;
};
struct Type {
    std::int32_t index;
    Str text;
}; // the editor's whole text after one key
struct Drop {};
using Change = std::variant<Add, Delete, Rename, Commit, Clear, Field, Type, Drop>;

// What the control would hold after a run of changes.
struct Session {
    Recovered state;

    void apply(const Change& change) {
        auto& list = state.annotations;
        auto& live = state.live;
        std::visit(
            [&](const auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, Add>) {
                    list.insert(list.begin() + c.index,
                                Annotation{c.time, c.description, c.data, {}});
                    if (live && live->annotation >= c.index)
                        ++live->annotation;
                } else if constexpr (std::is_same_v<T, Delete>) {
                    list.erase(list.begin() + c.index);
                    if (live && live->annotation == c.index)
                        live.reset();
                    else if (live && live->annotation > c.index)
                        --live->annotation;
                } else if constexpr (std::is_same_v<T, Rename>) {
                    list[static_cast<std::size_t>(c.index)].description = c.description;
                } else if constexpr (std::is_same_v<T, Commit>) {
                    list[static_cast<std::size_t>(c.index)].notes = c.notes;
                    if (live && live->annotation == c.index)
                        live.reset();
                } else if constexpr (std::is_same_v<T, Clear>) {
                    list.clear();
                    live.reset();
                } else if constexpr (std::is_same_v<T, Field>) {
                    (c.field == CaseField::NoDossier     ? state.caseFields.noDossier
                     : c.field == CaseField::DateCreated ? state.caseFields.dateCreated
                                                         : state.caseFields.userName) = c.value;
                } else if constexpr (std::is_same_v<T, Type>) {
                    live = LiveText{c.index, c.text};
                } else {
                    live.reset();
                }
            },
            change);
    }

    bool operator==(const Session& other) const {
        return state.annotations == other.state.annotations && state.live == other.state.live &&
               state.caseFields == other.state.caseFields;
    }
};

// Draws the next change of a clerk's session from rng, given the session so far.
class Clerk {
  public:
    explicit Clerk(std::uint64_t seed) : rng_(seed) {}

    Change next(const Session& s) {
        const auto& list = s.state.annotations;
        const auto n = static_cast<std::int32_t>(list.size());
        const int roll = pick(0, 999);
        if (n == 0 || roll < 80) {
            return Add{pick(0, n), text(8, "0123456789:"), text(20, kLetters), text(6, kLetters)};
        }
        if (roll < 700) { // a key in the editor: a character, or a Backspace
            std::int32_t index;
            Str typed;
            if (s.state.live) {
                index = s.state.live->annotation;
                typed = s.state.live->text;
            } else {
                index = pick(0, n - 1);
                typed = list[static_cast<std::size_t>(index)].notes;
            }
            if (!typed.empty() && pick(0, 5) == 0)
                typed.pop_back();
            else
                typed += text(1, kLetters);
            return Type{index, typed};
        }
        if (roll < 780) {
            if (s.state.live)
                return Commit{s.state.live->annotation, s.state.live->text};
            return Commit{pick(0, n - 1), text(30, kLetters)};
        }
        if (roll < 850)
            return Delete{pick(0, n - 1)};
        if (roll < 910)
            return Rename{pick(0, n - 1), text(15, kLetters)};
        if (roll < 960)
            return Field{static_cast<CaseField>(pick(1, 3)), text(12, kLetters)};
        if (roll < 995)
            return Drop{};
        return Clear{};
    }

  private:
    static constexpr const char* kLetters = "abcdefghij klmnopqrstuvwxyzéèàçÉ«»'";

    std::int32_t pick(std::int32_t lo, std::int32_t hi) {
        return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng_);
    }
    Str text(int maxLength, std::string_view alphabet) {
        const Str letters = fromUtf8(alphabet);
        Str out;
        for (int i = pick(1, maxLength); i > 0; --i)
            out += letters[static_cast<std::size_t>(
                pick(0, static_cast<std::int32_t>(letters.size()) - 1))];
        return out;
    }
    std::mt19937_64 rng_;
};

bool write(Journal& j, const Change& change) {
    return std::visit(
        [&](const auto& c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, Add>)
                return j.added(c.index, c.time, c.description, c.data);
            else if constexpr (std::is_same_v<T, Delete>)
                return j.deleted(c.index);
            else if constexpr (std::is_same_v<T, Rename>)
                return j.renamed(c.index, c.description);
            else if constexpr (std::is_same_v<T, Commit>)
                return j.notesCommitted(c.index, c.notes);
            else if constexpr (std::is_same_v<T, Clear>)
                return j.cleared();
            else if constexpr (std::is_same_v<T, Field>)
                return j.caseField(c.field, c.value);
            else if constexpr (std::is_same_v<T, Type>)
                return j.liveText(c.index, c.text);
            else
                return j.liveTextDropped();
        },
        change);
}

// --- The writer ------------------------------------------------------------------------------

struct Shared {
    std::atomic<std::uint32_t> acknowledged; // every change up to this one is in the journal
    std::atomic<std::uint32_t> made;         // changes made, acknowledged or waiting
    std::atomic<int> started;
    std::atomic<int> failingReports, writtenAgainReports, otherReports;
    char id[64];
};

[[noreturn]] void runWriter(const std::string& appFolder, std::uint64_t seed, bool paced,
                            Shared* shared) {
    // Half the writers sync and checkpoint all the time, so that kills also land in the middle
    // of a sync, of a checkpoint, and of the first change after one.
    JournalOptions options;
    if (seed % 2) {
        options.syncDelay = std::chrono::milliseconds(1);
        options.checkpointPages = 20;
    }
    options.report = [shared](std::int32_t number, const Str&) {
        (number == 0                          ? shared->writtenAgainReports
         : shared->failingReports.load() == 0 ? shared->failingReports
                                              : shared->otherReports)
            .fetch_add(1);
    };
    auto journal = Journal::start(fromUtf8(appFolder), kFolder, options);
    if (!journal->working())
        ::_exit(3);
    std::snprintf(shared->id, sizeof shared->id, "%s", journal->id().c_str());
    shared->started.store(1);
    Clerk clerk(seed);
    Session session;
    for (std::uint32_t done = 1;; ++done) {
        const Change change = clerk.next(session);
        const bool written = write(*journal, change);
        if (!written && !journal->working())
            ::_exit(2);
        session.apply(change);
        shared->made.store(done, std::memory_order_release);
        if (written)
            shared->acknowledged.store(done, std::memory_order_release);
        if (paced) // a fast clerk: a key every 2 ms
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Holds the write lock of journal id's database from another connection while it lives.
class HeldLock {
  public:
    explicit HeldLock(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
            held_ = sqlite3_exec(db_, "PRAGMA busy_timeout=5000; BEGIN EXCLUSIVE", nullptr, nullptr,
                                 nullptr) == SQLITE_OK;
    }
    ~HeldLock() {
        if (held_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db_);
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool held() const { return held_; }

  private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

} // namespace

int main(int argc, char** argv) {
    const bool locked = argc > 1 && std::strcmp(argv[1], "--locked") == 0;
    if (locked) {
        --argc;
        ++argv;
    }
    const int kills = dalmure::test::randomSteps(argc > 1 ? std::atoi(argv[1]) : 200);
    const std::uint64_t baseSeed = argc > 2
                                       ? std::strtoull(argv[2], nullptr, 10)
                                       : static_cast<std::uint64_t>(std::random_device{}()) << 16;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-journal-kill-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string appFolder = pattern;

    auto* shared = static_cast<Shared*>(
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (shared == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    std::mt19937_64 timing(baseSeed ^ 0x5DEECE66DULL);
    long totalAcknowledged = 0;
    int losses = 0, problems = 0, writerFailures = 0;
    int creationMicros = 5000; // how long making a journal took, last time it was seen

    for (int round = 0; round < kills; ++round) {
        const std::uint64_t seed = baseSeed + static_cast<std::uint64_t>(round);
        shared->acknowledged.store(0);
        shared->made.store(0);
        shared->started.store(0);
        shared->failingReports.store(0);
        shared->writtenAgainReports.store(0);
        shared->otherReports.store(0);
        const pid_t child = ::fork();
        if (child < 0) {
            std::perror("fork");
            return 1;
        }
        if (child == 0)
            runWriter(appFolder, seed, locked, shared);
        // One kill in eight while the journal is being made; the others anywhere in the first
        // few thousand changes.
        const auto forked = std::chrono::steady_clock::now();
        std::uint32_t madeWhileLocked = 0;
        if (locked) {
            while (!shared->started.load() &&
                   std::chrono::steady_clock::now() - forked < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            {
                HeldLock lock(appFolder + "/" + std::string(kFolder) + "/" + shared->id + ".db");
                if (!lock.held()) {
                    std::fprintf(stderr, "round %d: the lock could not be taken\n", round);
                    ++problems;
                }
                std::this_thread::sleep_for(std::chrono::seconds(2));
                madeWhileLocked = shared->made.load();
            }
            const auto released = std::chrono::steady_clock::now();
            while (shared->acknowledged.load() < madeWhileLocked &&
                   std::chrono::steady_clock::now() - released < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(timing)));
        } else if (std::uniform_int_distribution<int>(0, 7)(timing) == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<int>(0, std::max(1000, creationMicros))(timing)));
        } else {
            while (!shared->started.load() &&
                   std::chrono::steady_clock::now() - forked < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            if (shared->started.load())
                creationMicros =
                    static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - forked)
                                         .count());
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(timing)));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) {
            std::fprintf(stderr, "round %d: the writer ended by itself (status %d)\n", round,
                         status);
            ++writerFailures;
        }
        const std::uint32_t acked = shared->acknowledged.load(std::memory_order_acquire);
        const std::uint32_t made = shared->made.load(std::memory_order_acquire);
        totalAcknowledged += acked;
        if (locked) {
            // Everything made under the lock was written once it was gone; the journal said
            // that it could not write, and then that it could again: once each, a moment's
            // contention after the lock (a checkpoint on a busy machine) not being worth a
            // line. The kill may come before a second episode is over.
            const int failing = shared->failingReports.load() + shared->otherReports.load();
            const int again = shared->writtenAgainReports.load();
            if (acked < madeWhileLocked || shared->failingReports.load() != 1 || failing > 2 ||
                !(again == failing || (failing == 2 && again == 1))) {
                std::fprintf(stderr,
                             "round %d: the lock was not lived through (%u of %u made under it "
                             "acknowledged; %d failing, %d other, %d written again)\n",
                             round, acked, madeWhileLocked, shared->failingReports.load(),
                             shared->otherReports.load(), shared->writtenAgainReports.load());
                ++problems;
            }
        }

        int reported = 0;
        Recovery recovery(fromUtf8(appFolder), kFolder, [&](std::int32_t, const Str& text) {
            ++reported;
            std::fprintf(stderr, "round %d: %s\n", round, toUtf8(text).c_str());
        });
        const auto found = recovery.list();
        if (found.empty()) {
            // Killed before its journal had its name: nothing can have been acknowledged.
            if (acked != 0 || shared->started.load() != 0) {
                std::fprintf(stderr, "round %d: no journal after %u changes\n", round, acked);
                ++losses;
            }
            continue;
        }
        if (found.size() != 1 || found[0].damaged || reported) {
            std::fprintf(stderr, "round %d: %zu journals found, damaged %d\n", round, found.size(),
                         found.size() ? int(found[0].damaged) : 0);
            ++problems;
            ++losses;
            for (const auto& f : found)
                recovery.discard(f.id);
            continue;
        }
        const auto contents = recovery.replay(found[0].id);
        Session got;
        if (contents)
            got.state = *contents;
        // The session after the acknowledged changes, or after some of those made since (waiting
        // or under way when the kill came).
        int after = -1;
        if (contents) {
            Clerk clerk(seed);
            Session s;
            for (std::uint32_t i = 0; i <= made + 1 && after < 0; ++i) {
                if (i >= acked && got == s)
                    after = static_cast<int>(i);
                s.apply(clerk.next(s));
            }
        }
        if (after < static_cast<int>(acked)) {
            std::fprintf(
                stderr,
                "round %d (seed %llu): the journal does not hold the %u acknowledged changes\n",
                round, static_cast<unsigned long long>(seed), acked);
            ++losses;
        }
        if (!recovery.discard(found[0].id))
            ++problems;
    }
    std::error_code ec;
    fs::remove_all(appFolder, ec);
    std::printf("journal kill test: %d kills, %ld acknowledged changes, %d losses, %d other "
                "problems, %d writer failures (seeds from %llu)\n",
                kills, totalAcknowledged, losses, problems, writerFailures,
                static_cast<unsigned long long>(baseSeed));
    return losses || problems || writerFailures ? 1 : 0;
}
