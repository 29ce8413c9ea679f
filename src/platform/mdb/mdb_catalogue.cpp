// STUB: to be written (libmdb reader).
#include "platform/mdb/mdb_catalogue.h"

#include "support/errors.h"

namespace dalmure::platform {
std::unique_ptr<CatalogueConnection> MdbCatalogueDatabase::open(const std::string&) {
    throw ControlError(-2147467259, u"Unrecognized database format.");
}
} // namespace dalmure::platform
