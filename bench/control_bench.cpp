// Benchmarks of the control on the headless platform: adding, selecting and typing on long
// lists, the grid resize, the minutes page and start-up. Each benchmark measures the two sides
// of one ratio in the same run and reports a_us, b_us (microseconds per operation) and ratio.
// Figures, not pass/fail: bench/report.py turns one run's output into bench/RESULTS.md's table.
#include "long_hearing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace dalmure;
using namespace dalmure::test;

namespace {

// Annotations below this index select without reaching the 16-bit limit of the click handling
// (main row 2 x index + 1 < 32767).
constexpr std::int32_t kBelowLimit = 16000;

using Clock = std::chrono::steady_clock;

// The two sides of a ratio are measured in alternation, round after round, and each side's
// figure is the median of its rounds: a burst of load from elsewhere hits both sides alike or
// is voted out, so the ratio holds on a busy machine. `batch` runs one side's work once and
// returns how many operations it timed; the figure is microseconds per operation.
struct Pair {
    double a = 0, b = 0;
};
template <class A, class B> Pair paired(int rounds, A&& sideA, B&& sideB) {
    std::vector<double> as, bs;
    auto once = [](auto& side) {
        double timed = 0;
        const int ops = side(timed);
        return timed / ops;
    };
    for (int r = 0; r < rounds; ++r) {
        as.push_back(once(sideA));
        bs.push_back(once(sideB));
    }
    auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {median(as), median(bs)};
}

// Times fn() and adds the microseconds to `timed`.
template <class Fn> void timeInto(double& timed, Fn&& fn) {
    const auto start = Clock::now();
    fn();
    timed += std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void report(benchmark::State& state, Pair p, const char* unitA = "a_us",
            const char* unitB = "b_us") {
    state.counters[unitA] = p.a;
    state.counters[unitB] = p.b;
    state.counters["ratio"] = p.b / p.a;
}

// What most sides measure: a control on the headless platform in an application folder of its
// own.
struct RigSide {
    TempAppFolder folder;
    Rig rig{folder};
};

// A list of n annotations that takes timed adds at random times and gives the two new rows
// back untimed, straight from the grid (the list stays in order, so nothing else changes).
// below: times among the first 16,000 annotations only.
struct AddSide : RigSide {
    std::mt19937_64 rng{42};
    std::uniform_int_distribution<std::int64_t> when;
    std::uint64_t k = 0;
    AddSide(std::int32_t n, bool below)
        : when(0, (below && n > kBelowLimit ? kDay / (n + 1) * kBelowLimit : kDay) - 1) {
        fillGrid(rig, n);
    }
    int operator()(double& timed) {
        platform::Grid& g = rig.platform->grid();
        constexpr int kBatch = 20;
        for (int i = 0; i < kBatch; ++i) {
            Str time = timeText(when(rng)), desc = description(k++), data;
            timeInto(timed, [&] { rig.control->AnnoAdd(time, desc, data); });
            const std::int32_t dataRow = g.row();
            g.removeItem(dataRow);
            g.removeItem(dataRow - 1);
        }
        return kBatch;
    }
};

// AnnoAdd at 1,000 (a) and 100,000 (b). Range 0: 0 = anywhere in the list (the literal
// figure), 1 = among the first 16,000 annotations (below the 16-bit limit).
void BM_AnnoAdd(benchmark::State& state) {
    const bool below = state.range(0) == 1;
    AddSide small(1000, below), large(100000, below);
    const std::size_t logBefore = large.folder.logCount();
    for (auto _ : state)
        report(state, paired(150, small, large));
    state.counters["b_logged_per_add"] =
        static_cast<double>(large.folder.logCount() - logBefore) / static_cast<double>(large.k);
}
BENCHMARK(BM_AnnoAdd)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// User clicks on random data cells (below the 16-bit limit) at 1,000 (a) and 100,000 (b).
struct ClickSide : RigSide {
    std::mt19937_64 rng{7};
    std::uniform_int_distribution<std::int32_t> which;
    explicit ClickSide(std::int32_t n) : which(0, std::min(n, kBelowLimit) - 1) {
        fillGrid(rig, n);
    }
    int operator()(double& timed) {
        for (int i = 0; i < 50; ++i) {
            const std::int32_t row = 2 * which(rng) + 1;
            timeInto(timed, [&] { benchmark::DoNotOptimize(rig.platform->userClick(row, 1)); });
        }
        return 50;
    }
};
void BM_Select(benchmark::State& state) {
    ClickSide small(1000), large(100000);
    for (auto _ : state)
        report(state, paired(200, small, large));
}
BENCHMARK(BM_Select)->Iterations(1)->Unit(benchmark::kMillisecond);

// Typing into the notes editor open on the current annotation: a character and a Backspace per
// operation.
struct TypingSide : RigSide {
    int operator()(double& timed) {
        // The other side's clicks took the focus: give it back, untimed.
        rig.platform->userClick(rig.platform->grid().row() | 1, 1);
        timeInto(timed, [&] {
            for (int i = 0; i < 50; ++i)
                benchmark::DoNotOptimize(rig.platform->userType(u"a\b"));
        });
        return 50;
    }
};
// Typing into the notes of an annotation in the middle of the list (below the 16-bit limit), at
// 1,000 (a) and 100,000 (b).
struct TypeSide : TypingSide {
    explicit TypeSide(std::int32_t n) {
        fillGrid(rig, n);
        rig.platform->userClick(2 * (std::min(n, kBelowLimit) / 2) + 1, 1);
    }
};
void BM_Type(benchmark::State& state) {
    TypeSide small(1000), large(100000);
    for (auto _ : state)
        report(state, paired(200, small, large));
}
BENCHMARK(BM_Type)->Iterations(1)->Unit(benchmark::kMillisecond);

// Typing with and without the session journal: a list of n annotations added through AnnoAdd
// (so that the journal holds them), the editor open on the middle one, a character and a
// Backspace per operation. Side a has no journal (closed before the list is made), side b keeps
// it, its sync thread running as in production.
struct JournalTypeSide : TypingSide {
    JournalTypeSide(std::int32_t n, bool journal) {
        if (!journal)
            DalmureTestAccess::closeJournal(*rig.control);
        for (std::int32_t k = 0; k < n; ++k) {
            Str time = timeText(k * (kDay / (n + 1))),
                desc = description(static_cast<std::uint64_t>(k)), data;
            rig.control->AnnoAdd(time, desc, data);
        }
        rig.platform->userClick(2 * (n / 2) + 1, 1);
    }
};
// Range 0: the number of annotations (10 or 10,000).
void BM_TypeJournal(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    JournalTypeSide without(n, false), with(n, true);
    for (auto _ : state)
        report(state, paired(400, without, with));
    state.counters["b_logged"] = static_cast<double>(with.folder.logCount());
}
BENCHMARK(BM_TypeJournal)->Arg(10)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// ResizeGrid over a grid of `rows` rows; every third data text has two lines.
struct ResizeSide : RigSide {
    explicit ResizeSide(std::int32_t rows) {
        fillGrid(rig, rows / 2);
        platform::Grid& g = rig.platform->grid();
        for (std::int32_t r = 1; r < g.rows(); r += 6)
            g.setRow(r), g.setCol(1), g.setText(u"first line\r\nsecond line");
    }
    int operator()(double& timed) {
        timeInto(timed, [&] { DalmureTestAccess::ResizeGrid(*rig.control); });
        return 1;
    }
};
// Range 0: the smaller grid's rows; the larger has ten times as many.
void BM_ResizeGrid(benchmark::State& state) {
    const auto rows = static_cast<std::int32_t>(state.range(0));
    ResizeSide small(rows), large(rows * 10);
    for (auto _ : state)
        report(state, paired(rows >= 10000 ? 15 : 40, small, large));
    state.counters["b_logged"] = static_cast<double>(large.folder.logCount());
}
BENCHMARK(BM_ResizeGrid)->Arg(10000)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond);

// GenerateHTML over n annotations with notes of 25 characters, the French template.
struct MinutesSide {
    TempAppFolder folder;
    std::unique_ptr<Rig> rig;
    explicit MinutesSide(std::int32_t n) {
        folder.copyTemplates();
        rig = std::make_unique<Rig>(folder);
        fillGrid(*rig, n, u"Note taken at the hearing");
        rig->control->NoDossier = u"500-01-012345-267";
        rig->control->UserName = u"Greffier";
    }
    int operator()(double& timed) {
        timeInto(timed, [&] { DalmureTestAccess::GenerateHTML(*rig->control, false); });
        return 1;
    }
    std::string page() const {
        std::ifstream in(fs::path(folder.native()) / "pvData.html", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};
// The same bytes written the way the page is put in place: one write(2) into a new file
// beside it, synced, renamed over the previous one, the folder synced.
struct WriteSide {
    std::string bytes, folder;
    int operator()(double& timed) {
        const std::string copy = folder + "/.copy.html.tmp", path = folder + "/copy.html";
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        timeInto(timed, [&] {
            const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
            benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
            ::fsync(fd);
            ::close(fd);
            ::rename(copy.c_str(), path.c_str());
            ::fsync(dir);
        });
        ::close(dir);
        return 1;
    }
};
// GenerateHTML of n annotations (b) against one write of its page (a).
void BM_GenerateHTMLvsWrite(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    MinutesSide minutes(n);
    double warm = 0;
    minutes(warm); // the page to copy
    WriteSide write{minutes.page(), minutes.folder.native()};
    for (auto _ : state)
        report(state, paired(n >= 100000 ? 15 : 60, write, minutes));
    state.counters["bytes"] = static_cast<double>(write.bytes.size());
}
BENCHMARK(BM_GenerateHTMLvsWrite)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// GenerateHTML at 10,000 (a) and 100,000 (b).
void BM_GenerateHTMLGrowth(benchmark::State& state) {
    MinutesSide small(10000), large(100000);
    for (auto _ : state)
        report(state, paired(15, small, large));
}
BENCHMARK(BM_GenerateHTMLGrowth)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start-up (creation and the first sizing) without (a) and with (b) the real catalogue.
// Range 0: 0 = a new platform each time (as when the host recreates the control: the catalogue
// readers of a process share the tables read, so only the process's very first start reads the
// file), 1 = one platform kept for every start. Either way the cache checks the file's identity,
// size and modification time at each lookup.
struct StartSide {
    TempAppFolder folder;
    bool samePlatform;
    std::unique_ptr<headless::HeadlessPlatform> shared;
    StartSide(bool catalogue, bool same) : samePlatform(same) {
        if (catalogue)
            folder.copyCatalogue();
        shared = std::make_unique<headless::HeadlessPlatform>(options());
    }
    static headless::HeadlessOptions options() {
        headless::HeadlessOptions o;
        o.now = fixedNow();
        return o;
    }
    int operator()(double& timed) {
        timeInto(timed, [&] {
            std::unique_ptr<headless::HeadlessPlatform> own;
            headless::HeadlessPlatform* p = shared.get();
            if (!samePlatform) {
                own = std::make_unique<headless::HeadlessPlatform>(options());
                p = own.get();
            }
            DalmurePrivate control(*p, folder.path());
            p->userResize(9600, 7200);
        });
        return 1;
    }
};
void BM_Startup(benchmark::State& state) {
    const bool same = state.range(0) == 1;
    StartSide none(false, same), catalogue(true, same);
    for (auto _ : state)
        report(state, paired(same ? 300 : 100, none, catalogue));
    state.counters["b_logged"] = static_cast<double>(catalogue.folder.logCount());
}
BENCHMARK(BM_Startup)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start-up with an INI file of 40,000 [LNG] entries whose match is LNG32767, the last entry the
// 16-bit entry number reaches: 32,767 reads of the file (b), against start-up with an
// INI file of one entry (a). The file is an hour old, as an installed one is; `fresh_ms` is one
// start right after the file was written, while every read still compares the file's bytes.
struct LngStartSide {
    TempAppFolder folder;
    explicit LngStartSide(int entries) {
        std::string ini = "[Config]\r\nLangue=English\r\n[LNG]\r\n";
        for (int n = 1; n <= entries; ++n)
            ini += "LNG" + std::to_string(n) + "=" +
                   (n == 32767 ? std::string("English|Anglais")
                               : "Lang" + std::to_string(n) + "|Col") +
                   "\r\n";
        write(ini);
        fs::last_write_time(iniPath(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    fs::path iniPath() const { return fs::path(folder.native()) / "ORClient.ini"; }
    void write(const std::string& ini) const {
        std::ofstream(iniPath(), std::ios::binary | std::ios::trunc) << ini;
    }
    int operator()(double& timed) {
        timeInto(timed, [&] { Rig rig(folder); });
        return 1;
    }
};
void BM_StartupLngEntries(benchmark::State& state) {
    LngStartSide few(1), many(40000);
    for (auto _ : state)
        report(state, paired(5, few, many));
    state.counters["logged"] = static_cast<double>(many.folder.logCount());
    // One start on a file just written (same bytes, a new time stamp).
    std::ifstream in(many.iniPath(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    many.write(bytes);
    double fresh = 0;
    many(fresh);
    state.counters["fresh_ms"] = fresh / 1000;
}
BENCHMARK(BM_StartupLngEntries)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
