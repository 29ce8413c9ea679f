// The journal's costs, as the control's key and list handlers would pay them: one keystroke
// journaled (the editor's whole text, a note of 500 characters, replacing the previous one) and
// one list change (an add in the middle, then its delete), at 10 and 10,000 annotations. The sync
// thread runs meanwhile, as in production.
//
//   dalmure_journal_bench [benchmark flags]
//   dalmure_journal_bench --typing-run SECONDS
//
// The typing run plays a scripted session on a journal for the given time (typing at 10 and
// 20 keys a second, pauses, a list change every two seconds) and prints, for each second, how
// many changes it made, with the wall-clock time it started at: run it under
// `strace -f -ttt -e trace=fsync,fdatasync` to see when the journal reaches the disk
// (bench/journal_sync_cadence.sh does both and prints the syncs of each second beside them).
#include "journal/journal.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace dalmure;
using namespace dalmure::journal;
namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-journal-bench-XXXXXX";
        if (!::mkdtemp(path_.data()))
            std::abort();
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Str path() const { return fromUtf8(path_); }

  private:
    std::string path_;
};

// Resident memory of the process, in KiB.
long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A journal holding n annotations, each with short notes.
struct Filled {
    TempFolder folder;
    std::unique_ptr<Journal> journal;
    long residentBefore = residentKiB();
    explicit Filled(int n) {
        JournalOptions options;
        options.report = [](std::int32_t, const Str& text) {
            std::fprintf(stderr, "journal: %s\n", toUtf8(text).c_str());
        };
        journal = Journal::start(folder.path(), "Recovery", options);
        for (int i = 0; i < n; ++i) {
            journal->added(i, u"10:00:00", u"Intervention " + decimal(i), u"");
            journal->notesCommitted(i, u"Notes de la greffe " + decimal(i));
        }
        // As hours of work leave it: the sync thread has moved the WAL into the database.
        journal->syncNow();
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
};

void BM_Keystroke(benchmark::State& state) {
    Filled f(static_cast<int>(state.range(0)));
    const std::int32_t index = static_cast<std::int32_t>(state.range(0) / 2);
    Str text(500, u'a');
    bool longer = false;
    for (auto _ : state) {
        // A character, then a Backspace: the text is 501 then 500 characters long.
        if ((longer = !longer))
            text.push_back(u'b');
        else
            text.pop_back();
        if (!f.journal->liveText(index, text))
            state.SkipWithError("journal stopped");
    }
    state.SetItemsProcessed(state.iterations());
    // What the journal (its connection, its cache, its thread) adds to the process.
    state.counters["resident_KiB"] = static_cast<double>(residentKiB() - f.residentBefore);
}
BENCHMARK(BM_Keystroke)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ListChange(benchmark::State& state) {
    Filled f(static_cast<int>(state.range(0)));
    const std::int32_t middle = static_cast<std::int32_t>(state.range(0) / 2);
    const Str time = u"10:30:00", desc = u"Objection", data;
    bool added = false;
    for (auto _ : state) {
        const bool ok = (added = !added) ? f.journal->added(middle, time, desc, data)
                                         : f.journal->deleted(middle);
        if (!ok)
            state.SkipWithError("journal stopped");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ListChange)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);

// What a start-up after a crash pays: listing the journal left behind (which reads it whole for
// its summary) and replaying it.
void BM_ListAndReplay(benchmark::State& state) {
    Filled f(static_cast<int>(state.range(0)));
    f.journal->liveText(0, Str(500, u'a'));
    f.journal.reset(); // left behind, as by a crash
    for (auto _ : state) {
        Recovery recovery(f.folder.path(), "Recovery", {});
        const auto found = recovery.list();
        if (found.size() != 1 || !recovery.replay(found[0].id))
            state.SkipWithError("journal not found");
    }
}
BENCHMARK(BM_ListAndReplay)->Arg(10)->Arg(10000)->Unit(benchmark::kMillisecond);

// Starting a journal (folder, lock, schema, the syncs of its creation) and closing it cleanly.
void BM_StartAndClose(benchmark::State& state) {
    TempFolder folder;
    for (auto _ : state) {
        auto journal = Journal::start(folder.path(), "Recovery", {});
        journal->close();
    }
}
BENCHMARK(BM_StartAndClose)->Unit(benchmark::kMillisecond);

// --- The scripted typing run -------------------------------------------------------------------

// Keys a second in each second of the run (cycled when it is longer): typing, a pause, fast
// typing, a lone key, a pause.
constexpr int kKeysPerSecond[] = {10, 10, 10, 10, 0, 20, 20, 20, 1, 0};

int typingRun(double seconds) {
    TempFolder folder;
    JournalOptions options;
    options.report = [](std::int32_t, const Str& text) {
        std::fprintf(stderr, "journal: %s\n", toUtf8(text).c_str());
    };
    auto journal = Journal::start(folder.path(), "Recovery", options);
    for (int i = 0; i < 10; ++i)
        journal->added(i, u"10:00:00", u"Intervention " + decimal(i), u"");
    journal->syncNow();
    // Let the creation's syncs pass before the clock starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    using Clock = std::chrono::steady_clock;
    const auto wallStart = std::chrono::system_clock::now();
    const auto start = Clock::now();
    const int total = static_cast<int>(seconds);
    std::vector<int> changes(static_cast<std::size_t>(total), 0);
    Str text;
    int list = 10;
    for (int second = 0; second < total; ++second) {
        const int keys = kKeysPerSecond[second % std::size(kKeysPerSecond)];
        const auto secondStart = start + std::chrono::seconds(second);
        for (int k = 0; k < keys; ++k) {
            std::this_thread::sleep_until(secondStart + std::chrono::milliseconds(1000) * k / keys);
            if (k % 7 == 6 && !text.empty())
                text.pop_back();
            else
                text.push_back(static_cast<char16_t>(u'a' + k % 26));
            journal->liveText(4, text);
            ++changes[static_cast<std::size_t>(second)];
        }
        if (keys > 0 && second % 2 == 0) {
            std::this_thread::sleep_until(secondStart + std::chrono::milliseconds(950));
            journal->added(list / 2, u"10:30:00", u"Objection", u"");
            ++list;
            ++changes[static_cast<std::size_t>(second)];
        }
    }
    std::this_thread::sleep_until(start + std::chrono::seconds(total));
    const double t0 = std::chrono::duration<double>(wallStart.time_since_epoch()).count();
    std::printf("start %.6f\n", t0);
    for (int s = 0; s < total; ++s)
        std::printf("second %d changes %d\n", s, changes[static_cast<std::size_t>(s)]);
    std::fflush(stdout);
    journal->close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--typing-run") == 0)
            return typingRun(std::atof(argv[i + 1]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
