// Fifty stations on one hearing, each a process of its own with its own connection to a
// PostgreSQL server of this machine (started here): every station adds an annotation every 2 s
// and commits notes on it, for DALMURE_BENCH_SECONDS (300 by default), then follows the others
// 10 s more. Each station writes when it committed a note and when it saw every other station's;
// the latency is the time from a commit on one station to the AnnoModified of that note on
// another, over every pair, and every pair should be seen (sights = expected_sights).
#include "harness.h"
#include "pg_cluster.h"
#include "record/station.h"
#include "temp_folder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure::test {
namespace {

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC: the same for every process

std::int64_t micros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// CPU seconds of the stations (this process's children waited for) and of the server (its
// postmaster with the backends it reaped), comparable across runs on a loaded machine where the
// latencies are not.
double stationsCpu() {
    rusage r{};
    ::getrusage(RUSAGE_CHILDREN, &r);
    const auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(r.ru_utime) + s(r.ru_stime);
}

double serverCpu(const PgCluster& server) {
    std::ifstream pidFile(server.socketFolder() + "/data/postmaster.pid");
    std::string pid;
    std::getline(pidFile, pid);
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    std::getline(stat, line);
    // The fields after the command's closing parenthesis; utime is the 14th field of the line.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    if (f.size() < 15)
        return 0;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (std::stod(f[11]) + std::stod(f[12]) + std::stod(f[13]) + std::stod(f[14])) / ticks;
}

std::unique_ptr<record::Station> stationOn(ControlHarness& h, const std::string& server,
                                           const std::string& name) {
    record::StationOptions options;
    options.station = fromUtf8(name);
    options.author = fromUtf8(name);
    return std::make_unique<record::Station>(h.c(), record::openStore(server, {}, {}),
                                             std::move(options));
}

// How long each station goes on following the others once it stops committing: every note
// committed should then have been seen by every other station.
constexpr std::chrono::seconds kDrain{10};

// One station's run; "C note t" for each commit, "S note t" for each note of another seen.
[[noreturn]] void runStation(const std::string& server, const std::string& hearing, int index,
                             int seconds, const std::string& logPath) {
    ControlHarness h;
    h.startSized();
    auto station = stationOn(h, server, "station " + std::to_string(index));
    if (!station->open(hearing))
        ::_exit(2);
    std::ofstream log(logPath);
    const std::string mark = "n" + std::to_string(index) + "-";
    std::set<std::string> seen;
    std::size_t events = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    auto next = Clock::now() + std::chrono::milliseconds(40 * index);
    // After the last commit, the station goes on following the others for kDrain.
    for (int k = 0; Clock::now() < end + kDrain;) {
        if (Clock::now() >= next && Clock::now() < end) {
            const std::string note = mark + std::to_string(++k);
            h.c().AnnoAdd(u"10:00:00", fromUtf8("Station " + std::to_string(index)));
            const std::int32_t at = h.c().Selected();
            h.grid().setCol(1);
            h.grid().setRow(2 * at + 1);
            h.c().onGridClick();
            h.editor().setText(fromUtf8(note));
            const std::int64_t t = micros();
            h.c().commitPendingEdit();
            station->poll();
            log << "C " << note << ' ' << t << '\n';
            next += std::chrono::seconds(2);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            (Clock::now() < end ? next : end + kDrain) - Clock::now());
        pollfd p{station->descriptor(), POLLIN, 0};
        ::poll(&p, p.fd >= 0 ? 1 : 0,
               static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 100)));
        station->poll();
        const std::int64_t t = micros();
        for (; events < h.events.names.size(); ++events) {
            const std::string& e = h.events.names[events];
            if (e.rfind("AnnoModified(", 0) != 0)
                continue;
            const std::string note = s(h.c().AnnoData(std::stoi(e.substr(13))));
            if (note.rfind(mark, 0) != 0 && seen.insert(note).second)
                log << "S " << note << ' ' << t << '\n';
        }
    }
    // "F note 0" for each note of the list at the end.
    for (std::int32_t k = 0; k < h.c().AnnoCount(); ++k)
        if (!h.c().AnnoData(k).empty())
            log << "F " << s(h.c().AnnoData(k)) << " 0\n";
    log.flush();
    ::_exit(0);
}

void BM_FiftyStationsAddingAndCommitting(benchmark::State& state) {
    const int stations = static_cast<int>(state.range(0));
    const char* env = std::getenv("DALMURE_BENCH_SECONDS");
    const int seconds = env ? std::max(10, std::atoi(env)) : 300;
    static PgCluster server;
    TempAppFolder logs;
    for (auto _ : state) {
        std::string hearing;
        {
            ControlHarness h;
            h.startSized();
            auto first = stationOn(h, server.connection(), "opening");
            h.c().AnnoAdd(u"09:30:00", u"Ouverture");
            hearing = first->create();
            for (int i = 0; i < 50 && first->pending() > 0; ++i)
                first->poll();
        }
        const double stationsBefore = stationsCpu(), serverBefore = serverCpu(server);
        std::vector<pid_t> children;
        for (int i = 0; i < stations; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0)
                runStation(server.connection(), hearing, i, seconds,
                           logs.native() + "/station-" + std::to_string(i));
            children.push_back(pid);
        }
        int failed = 0;
        for (const pid_t pid : children) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        // The backends of the stations' connections end (and are reaped) just after them.
        ::usleep(500'000);
        state.counters["stations_cpu_s"] = stationsCpu() - stationsBefore;
        state.counters["server_cpu_s"] = serverCpu(server) - serverBefore;
        // Every commit against every other station's sight of it.
        std::map<std::string, std::int64_t> committed;
        std::vector<std::pair<std::string, std::int64_t>> sights;
        std::vector<std::set<std::string>> holding;
        for (int i = 0; i < stations; ++i) {
            std::ifstream in(logs.native() + "/station-" + std::to_string(i));
            std::string kind, note;
            std::int64_t t = 0;
            std::set<std::string> held;
            while (in >> kind >> note >> t) {
                if (kind == "C")
                    committed[note] = t;
                else if (kind == "S")
                    sights.emplace_back(note, t);
                else
                    held.insert(note);
            }
            holding.push_back(std::move(held));
        }
        // The notes a station's list lacks at the end: lost, unlike a sighting the bench missed.
        std::size_t lost = 0;
        for (const std::set<std::string>& held : holding)
            for (const auto& [note, t] : committed)
                lost += !held.contains(note);
        std::vector<double> ms;
        for (const auto& [note, t] : sights)
            if (const auto c = committed.find(note); c != committed.end())
                ms.push_back(static_cast<double>(t - c->second) / 1000.0);
        const std::size_t expected = committed.size() * static_cast<std::size_t>(stations - 1);
        std::sort(ms.begin(), ms.end());
        const auto at = [&](double q) {
            return ms.empty() ? 0.0 : ms[static_cast<std::size_t>(q * double(ms.size() - 1))];
        };
        state.counters["commits"] = static_cast<double>(committed.size());
        state.counters["sights"] = static_cast<double>(ms.size());
        state.counters["expected_sights"] = static_cast<double>(expected);
        state.counters["failed_stations"] = failed;
        state.counters["notes_lost"] = static_cast<double>(lost);
        state.counters["p50_ms"] = at(0.50);
        state.counters["p95_ms"] = at(0.95);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = ms.empty() ? 0.0 : ms.back();
    }
}
BENCHMARK(BM_FiftyStationsAddingAndCommitting)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
} // namespace dalmure::test

BENCHMARK_MAIN();
