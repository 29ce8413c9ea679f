// A PostgreSQL 15 cluster of the tests' own in a temporary folder, reached only through a Unix
// socket there, owned by postgres when the tests run as root.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <pwd.h>
#include <unistd.h>

namespace dalmure::test {

class PgCluster {
  public:
    // A new cluster; given a primary, a streaming-replication standby of it.
    explicit PgCluster(const PgCluster* primary = nullptr) {
        char pattern[] = "/tmp/dalmure-pg-XXXXXX";
        if (!::mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw || ::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0)
                throw std::runtime_error("no postgres user to own the test cluster");
            as_ = "runuser -u postgres -- ";
        }
        if (primary)
            run(bin("pg_basebackup") + " -D " + dir_ + "/data -h " + primary->dir_ +
                " -U dalmure -R -X stream -c fast --no-sync");
        else
            run(bin("initdb") + " -D " + dir_ + "/data -U dalmure --auth=trust -E UTF8 " +
                "--no-sync --no-instructions > " + dir_ + "/initdb.log 2>&1");
        start();
    }
    ~PgCluster() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    void start() {
        run(bin("pg_ctl") + " -D " + dir_ + "/data -l " + dir_ +
            "/server.log -w -s -o \"-c listen_addresses='' -c unix_socket_directories='" + dir_ +
            "' -c fsync=off -c synchronous_commit=off\" start");
        running_ = true;
    }
    void stop() {
        if (running_)
            std::system((as_ + bin("pg_ctl") + " -D " + dir_ + "/data -w -s -m fast stop").c_str());
        running_ = false;
    }
    // The standby becomes a primary.
    void promote() { run(bin("pg_ctl") + " -D " + dir_ + "/data -w -s promote"); }
    const std::string& socketFolder() const { return dir_; }
    std::string connection(const std::string& db = "postgres") const {
        return "host=" + dir_ + " user=dalmure dbname=" + db + " connect_timeout=2";
    }

  private:
    static std::string bin(const std::string& name) { return "/usr/lib/postgresql/15/bin/" + name; }
    void run(const std::string& command) {
        if (std::system((as_ + command).c_str()) != 0)
            throw std::runtime_error("failed: " + command);
    }
    std::string dir_, as_;
    bool running_ = false;
};

} // namespace dalmure::test
