// The little the record asks of a database connection, so that one store (store.cpp) runs on
// SQLite and on PostgreSQL. Statements are written with '?' for their parameters; values go in
// and come out as text (integers in decimal), NULL as "".
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dalmure::record {

using Row = std::vector<std::string>;

class Sql {
  public:
    enum class Dialect { SQLite, PostgreSQL };
    virtual ~Sql() = default;
    virtual Dialect dialect() const = 0;
    // Connects when not connected; false when the database cannot be reached.
    virtual bool connect() = 0;
    // Runs one statement; false on failure (error() says why; a lost connection is closed and
    // connect() tries again).
    virtual bool exec(std::string_view statement, const std::vector<std::string>& params = {},
                      std::vector<Row>* rows = nullptr) = 0;
    virtual const std::string& error() const = 0;
    // PostgreSQL's notifications: the socket to watch, and the payloads received.
    virtual int descriptor() { return -1; }
    virtual std::vector<std::string> notifications() { return {}; }
};

struct Change;
// A change from the 16 columns id, hearing, kind, annotation, time, description, notes,
// no_dossier, date_created, user_name, room, base, author, station, at, seq.
Change changeFromRow(const Row& row);

// A file opened 0600 inside the folder at path, never through a link.
std::unique_ptr<Sql> openSqlite(const std::string& folder, const std::string& name);
std::unique_ptr<Sql> openPostgres(const std::string& connection);

} // namespace dalmure::record
