// A clerk's session drawn from a seed, killed at random: the journal holds every acknowledged
// change. --locked: another connection holds the lock for 2 s first, which loses nothing.
//   dalmure_journal_kill_test [--locked] [KILLS] [SEED]   (KILLS scaled by DALMURE_TEST_STEPS)
#include "journal/journal.h"
#include "kill_rig.h"
#include "random_steps.h"
#include "temp_folder.h"

#include <sqlite3.h>

#include <random>
#include <thread>

namespace {

using namespace dalmure;
using namespace dalmure::journal;
using namespace std::chrono;

constexpr std::string_view kFolder = "Recovery";

enum class Op { Add, Delete, Rename, Commit, Clear, Field, Type, Drop };

// Add: a, b, c are the time, description and data; Type: a is the editor's text after one key.
struct Change {
    Op op;
    std::int32_t index = 0;
    Str a = {}, b = {}, c = {};
    CaseField field = CaseField::NoDossier;
};

// Makes the change in the session s and, given a journal, in it; whether the journal took it.
bool apply(Recovered& s, const Change& c, Journal* j = nullptr) {
    auto& live = s.live;
    const auto at = s.annotations.begin() + c.index;
    switch (c.op) {
    case Op::Add:
        s.annotations.insert(at, Annotation{c.a, c.b, c.c, {}});
        if (live && live->annotation >= c.index)
            ++live->annotation;
        return !j || j->added(c.index, c.a, c.b, c.c);
    case Op::Delete:
        s.annotations.erase(at);
        if (live && live->annotation == c.index)
            live.reset();
        else if (live && live->annotation > c.index)
            --live->annotation;
        return !j || j->deleted(c.index);
    case Op::Rename:
        at->description = c.a;
        return !j || j->renamed(c.index, c.a);
    case Op::Commit:
        at->notes = c.a;
        if (live && live->annotation == c.index)
            live.reset();
        return !j || j->notesCommitted(c.index, c.a);
    case Op::Clear:
        s.annotations.clear();
        live.reset();
        return !j || j->cleared();
    case Op::Field:
        (c.field == CaseField::NoDossier     ? s.caseFields.noDossier
         : c.field == CaseField::DateCreated ? s.caseFields.dateCreated
                                             : s.caseFields.userName) = c.a;
        return !j || j->caseField(c.field, c.a);
    case Op::Type:
        live = LiveText{c.index, c.a};
        return !j || j->liveText(c.index, c.a);
    case Op::Drop:
        break;
    }
    live.reset();
    return !j || j->liveTextDropped();
}

bool same(const Recovered& x, const Recovered& y) {
    return x.annotations == y.annotations && x.live == y.live && x.caseFields == y.caseFields;
}

// Draws the next change of a clerk's session from rng, given the session so far.
class Clerk {
  public:
    explicit Clerk(std::uint64_t seed) : rng_(seed) {}

    Change next(const Recovered& s) {
        const auto n = static_cast<std::int32_t>(s.annotations.size());
        const int roll = pick(0, 999);
        if (n == 0 || roll < 80)
            return {Op::Add, pick(0, n), text(8, "0123456789:"), text(20, kLetters),
                    text(6, kLetters)};
        if (roll < 700) { // a key in the editor: a character, or a Backspace
            const std::int32_t index = s.live ? s.live->annotation : pick(0, n - 1);
            Str typed = s.live ? s.live->text : s.annotations[std::size_t(index)].notes;
            if (!typed.empty() && pick(0, 5) == 0)
                typed.pop_back();
            else
                typed += text(1, kLetters);
            return {Op::Type, index, typed};
        }
        if (roll < 780)
            return s.live ? Change{Op::Commit, s.live->annotation, s.live->text}
                          : Change{Op::Commit, pick(0, n - 1), text(30, kLetters)};
        if (roll < 850)
            return {Op::Delete, pick(0, n - 1)};
        if (roll < 910)
            return {Op::Rename, pick(0, n - 1), text(15, kLetters)};
        if (roll < 960)
            return {Op::Field, 0, text(12, kLetters), {}, {}, static_cast<CaseField>(pick(1, 3))};
        return {roll < 995 ? Op::Drop : Op::Clear};
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
            out += letters[std::size_t(pick(0, std::int32_t(letters.size()) - 1))];
        return out;
    }
    std::mt19937_64 rng_;
};

// What the writer tells the harness through the memory they share.
struct Shared {
    std::atomic<std::uint32_t> acknowledged; // every change up to this one is in the journal
    std::atomic<std::uint32_t> made;         // changes made, acknowledged or waiting
    std::atomic<int> started;
    std::atomic<int> failingReports, writtenAgainReports, otherReports;
    char id[64];
};

[[noreturn]] void runWriter(const std::string& appFolder, std::uint64_t seed, bool paced,
                            Shared* shared) {
    // Half the writers sync and checkpoint all the time: kills land inside syncs and checkpoints.
    JournalOptions options;
    if (seed % 2) {
        options.syncDelay = milliseconds(1);
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
    Recovered session;
    for (std::uint32_t done = 1;; ++done) {
        const Change change = clerk.next(session);
        const bool written = apply(session, change, journal.get());
        if (!written && !journal->working())
            ::_exit(2);
        shared->made.store(done, std::memory_order_release);
        if (written)
            shared->acknowledged.store(done, std::memory_order_release);
        if (paced) // a fast clerk: a key every 2 ms
            std::this_thread::sleep_for(milliseconds(2));
    }
}

// Waits until done holds, at most limit; whether it holds.
template <class Done> bool waitFor(Done done, microseconds limit, microseconds step) {
    const auto end = steady_clock::now() + limit;
    while (!done() && steady_clock::now() < end)
        std::this_thread::sleep_for(step);
    return done();
}

// Counts a failure of the round and says what it was.
template <class... Args> void fail(int& count, int round, const char* format, Args... args) {
    ++count;
    std::fprintf(stderr, "round %d: ", round);
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
}

} // namespace

int main(int argc, char** argv) {
    const bool locked = argc > 1 && std::string_view(argv[1]) == "--locked";
    argc -= locked;
    argv += locked;
    const int kills = dalmure::test::randomSteps(argc > 1 ? std::atoi(argv[1]) : 200);
    const std::uint64_t baseSeed = argc > 2 ? std::strtoull(argv[2], nullptr, 10)
                                            : std::uint64_t(std::random_device{}()) << 16;
    const dalmure::test::TempAppFolder app;
    const std::string& appFolder = app.native();
    auto* shared = &dalmure::test::sharedWithChildren<Shared>();
    std::mt19937_64 timing(baseSeed ^ 0x5DEECE66DULL);
    auto randomMicros = [&](int most) {
        std::this_thread::sleep_for(microseconds(std::uniform_int_distribution(0, most)(timing)));
    };
    long totalAcknowledged = 0;
    int losses = 0, problems = 0, writerFailures = 0;
    int creationMicros = 5000; // how long making a journal took, last time it was seen

    for (int round = 0; round < kills; ++round) {
        const std::uint64_t seed = baseSeed + std::uint64_t(round);
        new (shared) Shared{};
        const auto started = [&] { return shared->started.load() != 0; };
        std::uint32_t madeWhileLocked = 0;
        const auto toKill = [&] {
            const auto forked = steady_clock::now();
            if (locked) {
                waitFor(started, seconds(10), milliseconds(1));
                std::this_thread::sleep_for(milliseconds(100));
                const std::string db =
                    appFolder + "/" + std::string(kFolder) + "/" + shared->id + ".db";
                sqlite3* lock = nullptr;
                sqlite3_open_v2(db.c_str(), &lock, SQLITE_OPEN_READWRITE, nullptr);
                if (sqlite3_exec(lock, "PRAGMA busy_timeout=5000; BEGIN EXCLUSIVE", nullptr,
                                 nullptr, nullptr) != SQLITE_OK)
                    fail(problems, round, "the lock of %s could not be taken", shared->id);
                std::this_thread::sleep_for(seconds(2));
                madeWhileLocked = shared->made.load();
                sqlite3_close_v2(lock); // closing rolls the transaction back
                waitFor([&] { return shared->acknowledged.load() >= madeWhileLocked; }, seconds(10),
                        milliseconds(1));
                randomMicros(20000);
            } else if (std::uniform_int_distribution(0, 7)(timing) == 0) {
                randomMicros(std::max(1000, creationMicros)); // while the journal is being made
            } else { // anywhere in the first few thousand changes
                if (waitFor(started, seconds(10), microseconds(50)))
                    creationMicros =
                        int(duration_cast<microseconds>(steady_clock::now() - forked).count());
                randomMicros(40000);
            }
        };
        const int status = dalmure::test::killWhenWaited(
            [&] { runWriter(appFolder, seed, locked, shared); }, toKill);
        if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
            fail(writerFailures, round, "the writer ended by itself (status %d)", status);
        const std::uint32_t acked = shared->acknowledged.load(std::memory_order_acquire);
        const std::uint32_t made = shared->made.load(std::memory_order_acquire);
        totalAcknowledged += acked;
        if (locked) {
            // A moment's contention after the lock (a checkpoint on a busy machine) may be said
            // too, and the kill may come before it is over.
            const int first = shared->failingReports, other = shared->otherReports;
            const int again = shared->writtenAgainReports;
            if (acked < madeWhileLocked || first != 1 || other > 1 ||
                !(again == first + other || (other == 1 && again == 1)))
                fail(problems, round,
                     "the lock was not lived through (%u of %u made under it acknowledged; %d "
                     "failing, %d other, %d written again)",
                     acked, madeWhileLocked, first, other, again);
        }

        int reported = 0;
        Recovery recovery(fromUtf8(appFolder), kFolder, [&](std::int32_t, const Str& text) {
            ++reported;
            std::fprintf(stderr, "round %d: %s\n", round, toUtf8(text).c_str());
        });
        const auto found = recovery.list();
        if (found.empty()) {
            // Killed before its journal had its name: nothing can have been acknowledged.
            if (acked != 0 || started())
                fail(losses, round, "no journal after %u changes", acked);
            continue;
        }
        if (found.size() != 1 || found[0].damaged || reported) {
            fail(losses, round, "%zu journals found, damaged %d", found.size(),
                 int(found[0].damaged));
            for (const auto& f : found)
                recovery.discard(f.id);
            continue;
        }
        const auto got = recovery.replay(found[0].id);
        Clerk clerk(seed);
        Recovered expected;
        bool held = false;
        for (std::uint32_t i = 0; got && i <= made + 1 && !held; ++i) {
            held = i >= acked && same(*got, expected);
            apply(expected, clerk.next(expected));
        }
        if (!held)
            fail(losses, round, "the journal lacks acknowledged changes (seed %llu)",
                 static_cast<unsigned long long>(seed));
        if (!recovery.discard(found[0].id))
            ++problems;
    }
    std::printf("journal kill test: %d kills, %ld acknowledged changes, %d losses, %d other "
                "problems, %d writer failures (seeds from %llu)\n",
                kills, totalAcknowledged, losses, problems, writerFailures,
                static_cast<unsigned long long>(baseSeed));
    return losses || problems || writerFailures ? 1 : 0;
}
