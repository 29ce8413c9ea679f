// The catalogue database read from a real Access (Jet) file through mdbtools' libmdb.
#pragma once

#include "platform/catalogue_db.h"

namespace dalmure::platform {

class MdbCatalogueDatabase : public CatalogueDatabase {
public:
    std::unique_ptr<CatalogueConnection> open(const std::string& path) override;
};

} // namespace dalmure::platform
