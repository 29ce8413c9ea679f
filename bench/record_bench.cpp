// The hearing record on a PostgreSQL server of this machine (started here, as the tests start
// theirs): the time from a notes commit on one station to the AnnoModified event on another,
// with N stations (separate connections) following the hearing; and opening a hearing of 5,000
// annotations into a control, alone in the record and among 1,000,000. Search across hearings:
// 1,000,000 annotations on the server, 200,000 in SQLite.
#include "harness.h"
#include "pg_cluster.h"
#include "record/sql.h"
#include "record/station.h"
#include "temp_folder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>

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

// --- Search ---------------------------------------------------------------------------------

// The words of the generated annotations: three of 20 syllables (8,000 words, one with an
// accent), chosen by a hash of the annotation's number; the same SQL on both databases.
std::string word(const std::string& x) {
    const std::string syllables = "'tamelirosuvanekopidugabefilomuresitevozé'";
    std::string out;
    for (const char* div : {"1", "20", "400"}) {
        out += out.empty() ? "" : " || ";
        out += "substr(" + syllables + ", CAST(2 * ((" + x + ") / " + div +
               " % 20) + 1 AS integer), 2)";
    }
    return out;
}
std::string hashOf(int k) {
    return "((g * 2654435761 + " + std::to_string(k * 40503) + ") % 4294967296 / 7)";
}
const char* const kCommon[] = {"Ouverture",      "Témoin",     "Pièce",    "Objection",
                               "Suspension",     "Reprise",    "Décision", "Plaidoirie",
                               "Interrogatoire", "Ajournement"};

// hearings of 100 annotations each: a common word and a generated one in the description, four
// generated words in the notes of one annotation in three.
std::vector<std::string> fill(long annotations, bool pg) {
    const std::string hearings = std::to_string(annotations / 100);
    std::string common = "CASE g / 7 % 10";
    for (int i = 0; i < 10; ++i)
        common += " WHEN " + std::to_string(i) + " THEN '" + kCommon[i] + "'";
    common += " END";
    // The numbers 1 to n: a function of the server, a recursive query in SQLite.
    auto from = [&](const std::string& n) {
        return pg ? " FROM generate_series(1, " + n + ") g" : std::string(" FROM series");
    };
    auto with = [&](const std::string& n) {
        return pg ? std::string()
                  : "WITH RECURSIVE series(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM series "
                    "WHERE g < " +
                        n + ") ";
    };
    return {
        with(hearings) +
            "INSERT INTO hearings (id, no_dossier, room, station, created_at) SELECT 'h' || g, "
            "'500-01-' || g || '-241', 'Salle ' || (g % 40), 'station', 1700000000000 + "
            "CAST(g AS bigint) * 3600000" +
            from(hearings),
        with(std::to_string(annotations)) +
            "INSERT INTO annotations (id, hearing, added_seq, time, description, notes, "
            "notes_change, author, station) SELECT 'a' || g, 'h' || (g % " +
            hearings + " + 1), g, '10:00:00', " + common + " || ' ' || " + word(hashOf(1)) +
            ", CASE WHEN g % 3 = 0 THEN " + word(hashOf(2)) + " || ' ' || " + word(hashOf(3)) +
            " || ' ' || " + word(hashOf(4)) + " || ' ' || " + word(hashOf(5)) +
            " ELSE '' END, '', 'clerk ' || (g % 30), 'station'" + from(std::to_string(annotations)),
        "ANALYZE",
    };
}

// The kinds of search measured: a generated word (some 300 annotations), the first four letters
// of one (some 20 words), a common word and a generated one, a common word within one case, a
// common word alone (a tenth of the record).
enum Query { Word, Prefix, CommonAndWord, CommonInCase, CommonAlone };

record::SearchQuery randomQuery(Query kind, std::mt19937& rng, long annotations) {
    static const std::string syllables[] = {"ta", "me", "li", "ro", "su", "va", "ne",
                                            "ko", "pi", "du", "ga", "be", "fi", "lo",
                                            "mu", "re", "si", "te", "vo", "ze"};
    auto generated = [&] {
        std::string w;
        for (int i = 0; i < 3; ++i)
            w += syllables[rng() % 20];
        return w;
    };
    const std::string common = kCommon[rng() % 10];
    record::SearchQuery q;
    switch (kind) {
    case Word:
        q.words = fromUtf8(generated());
        break;
    case Prefix:
        q.words = fromUtf8(generated().substr(0, 4));
        break;
    case CommonAndWord:
        q.words = fromUtf8(common + " " + generated());
        break;
    case CommonInCase:
        q.words = fromUtf8(common);
        q.noDossier =
            fromUtf8("500-01-" + std::to_string(rng() % (annotations / 100) + 1) + "-241");
        break;
    case CommonAlone:
        q.words = fromUtf8(common);
        break;
    }
    q.limit = 50;
    return q;
}

void searchTimes(benchmark::State& state, record::Store& store, long annotations) {
    std::mt19937 rng(static_cast<unsigned>(state.range(0)) + 7);
    std::vector<double> ms;
    double found = 0;
    for (auto _ : state) {
        const record::SearchQuery q =
            randomQuery(static_cast<Query>(state.range(0)), rng, annotations);
        const auto start = std::chrono::steady_clock::now();
        auto hits = store.search(q);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (!hits)
            state.SkipWithError("the search failed");
        else
            found += static_cast<double>(hits->size());
    }
    state.counters["hits"] = found / static_cast<double>(ms.size());
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p95_ms"] = at(0.95);
}

// 1,000,000 annotations on the server, searched by a station's role (bound by the row-level
// security like any station).
void BM_SearchPostgresAmongAMillion(benchmark::State& state) {
    constexpr long kAnnotations = 1'000'000;
    static std::unique_ptr<record::Store> store = [] {
        const std::string admin = server().connection("search");
        auto sql = record::openPostgres(server().connection());
        sql->exec("CREATE DATABASE search");
        record::openStore(admin, {}, {})->reachable();
        auto fill_sql = record::openPostgres(admin);
        for (const std::string& statement : fill(kAnnotations, true))
            if (!fill_sql->exec(statement))
                std::fprintf(stderr, "%s\n", fill_sql->error().c_str());
        sql->exec("CREATE ROLE bench_clerk LOGIN IN ROLE dalmure_station");
        std::string clerk = admin;
        clerk.replace(clerk.find("user=dalmure"), 12, "user=bench_clerk");
        return record::openStore(clerk, {}, {});
    }();
    searchTimes(state, *store, kAnnotations);
}
BENCHMARK(BM_SearchPostgresAmongAMillion)
    ->DenseRange(Word, CommonInCase)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchPostgresAmongAMillion)
    ->Arg(CommonAlone)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

// 200,000 annotations in an SQLite file.
void BM_SearchSqliteAmong200000(benchmark::State& state) {
    constexpr long kAnnotations = 200'000;
    static TempAppFolder folder;
    static std::unique_ptr<record::Store> store = [] {
        auto store = record::openStore("sqlite:" + folder.file("Search.db"), {}, {});
        store->reachable();
        auto sql = record::openSqlite(folder.native(), "Search.db");
        sql->exec("BEGIN");
        for (const std::string& statement : fill(kAnnotations, false))
            if (!sql->exec(statement))
                std::fprintf(stderr, "%s\n", sql->error().c_str());
        sql->exec("COMMIT");
        return store;
    }();
    searchTimes(state, *store, kAnnotations);
}
BENCHMARK(BM_SearchSqliteAmong200000)
    ->DenseRange(Word, CommonInCase)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchSqliteAmong200000)
    ->Arg(CommonAlone)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace dalmure::test

BENCHMARK_MAIN();
