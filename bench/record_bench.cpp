// The hearing record on a PostgreSQL server of this machine (started here, as the tests start
// theirs): the time from a notes commit on one station to the AnnoModified event on another,
// with N stations (separate connections) following the hearing; and opening a hearing of 5,000
// annotations into a control, alone in the record and among 1,000,000.
#include "harness.h"
#include "pg_cluster.h"
#include "record/station.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <poll.h>

namespace dalmure::test {
namespace {

PgCluster& server() {
    static PgCluster cluster;
    return cluster;
}

struct Desk {
    Desk(const std::string& name, bool follow) {
        harness.startSized();
        record::StationOptions options;
        options.station = fromUtf8(name);
        options.follow = follow;
        station = std::make_unique<record::Station>(
            harness.c(), record::openStore(server().connection(), {}, {}), std::move(options));
    }
    ControlHarness harness;
    std::unique_ptr<record::Station> station;
};

void commitNotes(Desk& d, std::int32_t index, const Str& text) {
    d.harness.grid().setCol(1);
    d.harness.grid().setRow(2 * index + 1);
    d.harness.c().onGridClick();
    d.harness.editor().setText(text);
    d.harness.c().commitPendingEdit();
}

// One station commits; the last of the others waits on its socket and polls: the time until its
// control raised AnnoModified. The others follow too, so that each commit notifies them all.
void BM_CommitToEventOnAnotherStation(benchmark::State& state) {
    const int stations = static_cast<int>(state.range(0));
    Desk writer("writer", false);
    writer.harness.c().AnnoAdd(u"10:00:00", u"Ouverture");
    const std::string hearing = writer.station->create();
    writer.station->poll();
    std::vector<std::unique_ptr<Desk>> others;
    for (int i = 1; i < stations; ++i) {
        others.push_back(std::make_unique<Desk>("station " + std::to_string(i), true));
        others.back()->station->open(hearing);
    }
    Desk& reader = *others.back();
    std::vector<double> ms;
    long n = 0;
    for (auto _ : state) {
        const std::size_t seen = reader.harness.events.names.size();
        const auto start = std::chrono::steady_clock::now();
        commitNotes(writer, 0, u"notes " + fromUtf8(std::to_string(++n)));
        writer.station->poll();
        while (reader.harness.events.names.size() == seen) {
            pollfd p{reader.station->descriptor(), POLLIN, 0};
            ::poll(&p, 1, 50);
            reader.station->poll();
        }
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        state.PauseTiming();
        for (auto& d : others) // the others drain their notifications
            d->station->poll();
        state.ResumeTiming();
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p95_ms"] = at(0.95);
    state.counters["p99_ms"] = at(0.99);
}
BENCHMARK(BM_CommitToEventOnAnotherStation)
    ->Arg(2)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// A hearing of 5,000 annotations, recorded by a station (made once).
const std::string& hearingOf5000() {
    static const std::string hearing = [] {
        Desk writer("writer", false);
        std::string id = writer.station->create();
        for (int i = 0; i < 5000; ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", 9 + i / 3600, i / 60 % 60, i % 60);
            writer.harness.c().AnnoAdd(fromUtf8(time), u"Annotation " + decimal(i));
        }
        while (writer.station->pending() > 0)
            writer.station->poll();
        return id;
    }();
    return hearing;
}

// That hearing loaded into a fresh control.
void openHearing(benchmark::State& state) {
    const std::string& hearing = hearingOf5000();
    for (auto _ : state) {
        state.PauseTiming();
        Desk reader("reader", true);
        state.ResumeTiming();
        if (!reader.station->open(hearing) || reader.harness.c().AnnoCount() != 5000)
            state.SkipWithError("the hearing did not load");
    }
}

void BM_OpenHearingOf5000(benchmark::State& state) {
    openHearing(state);
}
BENCHMARK(BM_OpenHearingOf5000)->Iterations(5)->Unit(benchmark::kMillisecond);

// The same with 199 other hearings of 5,000 annotations beside it (1,000,000 in the record),
// written straight into the server's tables: the open reads only these two.
void BM_OpenHearingOf5000AmongAMillion(benchmark::State& state) {
    static const bool filled = [] {
        hearingOf5000();
        const std::string sql =
            "INSERT INTO hearings (id, no_dossier, room, station) SELECT 'other' || h, "
            "'500-01-' || h, 'Salle ' || h, 'station' FROM generate_series(1, 199) h; "
            "INSERT INTO annotations (id, hearing, added_seq, time, description, notes, "
            "notes_change, author, station) SELECT md5(g::text), 'other' || (g % 199 + 1), g, "
            "'10:00:00', 'Annotation ' || g, repeat('n', 40), md5(g::text), 'clerk', 'station' "
            "FROM generate_series(1, 995000) g; ANALYZE";
        return std::system(("/usr/lib/postgresql/15/bin/psql -q -v ON_ERROR_STOP=1 \"" +
                            server().connection() + "\" -c \"" + sql + "\"")
                               .c_str()) == 0;
    }();
    if (!filled) {
        state.SkipWithError("the record could not be filled");
        return;
    }
    openHearing(state);
}
BENCHMARK(BM_OpenHearingOf5000AmongAMillion)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace dalmure::test

BENCHMARK_MAIN();
