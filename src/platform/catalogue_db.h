// The message catalogue database: a Jet (Access) file with a table of messages, one column
// per language.
#pragma once

#include "support/text.h"

#include <memory>
#include <optional>

namespace dalmure::platform {

// The rows a query returned.
class CatalogueRecordset {
public:
    virtual ~CatalogueRecordset() = default;
    virtual bool eof() const = 0;
    virtual void moveFirst() = 0;
    // The value of the named field of the current row; nullopt for a database NULL. Raises a
    // ControlError when the recordset has no such field.
    virtual std::optional<Str> field(const Str& name) const = 0;
};

class CatalogueConnection {
public:
    virtual ~CatalogueConnection() = default;
    // Rows of `table` whose upper-cased `idColumn` equals upperId (already upper-cased), in the
    // table's storage order. Raises a ControlError when the table or id column does not exist.
    virtual std::unique_ptr<CatalogueRecordset> selectWhereUpperEquals(const Str& table,
                                                                       const Str& idColumn,
                                                                       const Str& upperId) = 0;
    virtual void close() = 0;
};

class CatalogueDatabase {
public:
    virtual ~CatalogueDatabase() = default;
    // Opens the database file. Raises a ControlError when it cannot be opened or is not a
    // database. Damaged files must never crash, hang or leak.
    virtual std::unique_ptr<CatalogueConnection> open(const std::string& path) = 0;
};

} // namespace dalmure::platform
