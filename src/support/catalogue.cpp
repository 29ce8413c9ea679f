// STUB: to be written (catalogue).
#include "support/catalogue.h"

namespace dalmure {
Catalogue::Catalogue(platform::CatalogueDatabase& db, platform::Screen& screen, Log& log,
                     Str appFolder)
    : db_(db), screen_(screen), log_(log), appFolder_(std::move(appFolder)) {}
Str Catalogue::ChargeLangue(const Str&, const Str& strDefault, const Str&) { return strDefault; }
} // namespace dalmure
