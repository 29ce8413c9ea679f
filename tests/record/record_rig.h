// What the hearing record's tests share: the PostgreSQL server of the run, and stations to drive.
#pragma once

#include "harness.h"
#include "pg_cluster.h"
#include "record/sql.h"
#include "record/station.h"

#include <gtest/gtest.h>

#include <thread>

namespace dalmure::test {

// The server, started by the first test that needs it and stopped at the end of the run.
PgCluster* server();

enum class Backend { Postgres, Sqlite };

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Postgres ? "Postgres" : "Sqlite";
}

// A connection to a database of its own (PostgreSQL: created on the server of the run).
inline std::string freshDatabase(Backend backend, const TempAppFolder& folder) {
    if (backend == Backend::Sqlite)
        return "sqlite:" + folder.file("Hearings.db");
    static int count = 0;
    const std::string name = "test_" + std::to_string(++count);
    auto admin = record::openPostgres(server()->connection());
    if (!admin->exec("CREATE DATABASE " + name))
        ADD_FAILURE() << admin->error();
    return server()->connection(name);
}

// One station: a headless control in its own application folder, attached to the record.
struct Desk {
    Desk(const std::string& connection, const char* name, const Str& appFolder = {}) : name(name) {
        harness.startSized();
        attach(connection, appFolder);
    }
    // A station of its own on the control, as a program started again has.
    void attach(const std::string& connection, const Str& appFolder = {}) {
        station.reset();
        record::StationOptions options;
        options.author = u(std::string("clerk ") + name);
        options.station = u(name);
        options.room = u"Salle 4.10";
        options.conflict = [this](const record::Conflict& c) { conflicts.push_back(c); };
        options.report = [](const std::string&) {};
        station = std::make_unique<record::Station>(
            harness.c(), record::openStore(connection, appFolder, {}), std::move(options));
    }
    DalmurePrivate& c() { return harness.c(); }
    bool flush();
    // time|description|notes of each annotation, in list order.
    std::vector<std::string> list() {
        std::vector<std::string> out;
        for (std::int32_t k = 0; k < c().AnnoCount(); ++k)
            out.push_back(s(c().AnnoTime(k)) + "|" + s(c().AnnoDesc(k)) + "|" + s(c().AnnoData(k)));
        return out;
    }
    void commitNotes(std::int32_t index, const std::string& text) {
        harness.platform->userClick(2 * index + 1, 1);
        harness.editor().setText(u(text));
        c().commitPendingEdit();
    }
    void remove(std::int32_t index) {
        harness.platform->userClick(2 * index + 1, 1);
        c().AnnoDelete(index);
    }

    const char* name;
    ControlHarness harness;
    std::unique_ptr<record::Station> station;
    std::vector<record::Conflict> conflicts;
};

// Polls the stations until done holds; false after a few seconds.
template <class Done> bool until(std::initializer_list<Desk*> desks, Done done) {
    for (int i = 0; i < 300; ++i) {
        for (Desk* d : desks)
            d->station->poll();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

inline bool Desk::flush() {
    return until({this}, [&] { return station->pending() == 0; });
}

// A's hearing with an opening at time, opened on B; its id.
inline std::string createAndOpen(Desk& a, Desk& b, const Str& time = u"10:00:00") {
    a.c().AnnoAdd(time, u"Ouverture");
    const std::string hearing = a.station->create();
    EXPECT_TRUE(a.flush());
    EXPECT_TRUE(b.station->open(hearing));
    return hearing;
}

} // namespace dalmure::test
