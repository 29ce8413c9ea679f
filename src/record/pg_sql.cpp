// The record's PostgreSQL connection through libpq. A connection that breaks is dropped; the next
// statement connects again (a standby promoted meanwhile is found through the connection string's
// host list and target_session_attrs=read-write) and listens again.
#include "record/sql.h"

#include <libpq-fe.h>

namespace dalmure::record {

namespace {

constexpr const char* kChannel = "dalmure_record";

// '?' placeholders become $1, $2...: the record's statements hold no '?' in literals.
std::string numbered(std::string_view statement) {
    std::string out;
    int n = 0;
    for (char c : statement) {
        if (c == '?')
            out += "$" + std::to_string(++n);
        else
            out += c;
    }
    return out;
}

class PostgresSql final : public Sql {
  public:
    explicit PostgresSql(std::string connection) : connection_(std::move(connection)) {}
    ~PostgresSql() override { drop(); }
    Dialect dialect() const override { return Dialect::PostgreSQL; }

    bool connect() override {
        if (conn_ && PQstatus(conn_) == CONNECTION_OK)
            return true;
        drop();
        conn_ = PQconnectdb(connection_.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) {
            error_ = PQerrorMessage(conn_);
            drop();
            return false;
        }
        PQsetNoticeProcessor(
            conn_, [](void*, const char*) {}, nullptr);
        if (!run(std::string("LISTEN ") + kChannel, {}, nullptr)) {
            drop();
            return false;
        }
        return true;
    }

    bool exec(std::string_view statement, const std::vector<std::string>& params,
              std::vector<Row>* rows) override {
        if (!connect())
            return false;
        return run(numbered(statement), params, rows);
    }
    const std::string& error() const override { return error_; }

    int descriptor() override { return conn_ ? PQsocket(conn_) : -1; }

    std::vector<std::string> notifications() override {
        std::vector<std::string> out;
        if (!conn_)
            return out;
        if (!PQconsumeInput(conn_)) {
            error_ = PQerrorMessage(conn_);
            drop();
            return out;
        }
        while (PGnotify* n = PQnotifies(conn_)) {
            out.emplace_back(n->extra);
            PQfreemem(n);
        }
        return out;
    }

  private:
    bool run(const std::string& statement, const std::vector<std::string>& params,
             std::vector<Row>* rows) {
        std::vector<const char*> values;
        for (const std::string& p : params)
            values.push_back(p.c_str());
        PGresult* r = PQexecParams(conn_, statement.c_str(), static_cast<int>(values.size()),
                                   nullptr, values.data(), nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(r);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok)
            error_ = PQresultErrorMessage(r);
        if (ok && rows) {
            const int n = PQntuples(r), m = PQnfields(r);
            for (int i = 0; i < n; ++i) {
                Row row;
                for (int c = 0; c < m; ++c)
                    row.emplace_back(PQgetvalue(r, i, c),
                                     static_cast<std::size_t>(PQgetlength(r, i, c)));
                rows->push_back(std::move(row));
            }
        }
        PQclear(r);
        if (!ok && PQstatus(conn_) != CONNECTION_OK)
            drop();
        return ok;
    }
    void drop() {
        if (conn_)
            PQfinish(conn_);
        conn_ = nullptr;
    }

    std::string connection_, error_;
    PGconn* conn_ = nullptr;
};

} // namespace

std::unique_ptr<Sql> openPostgres(const std::string& connection) {
    return std::make_unique<PostgresSql>(connection);
}

} // namespace dalmure::record
