// The message catalogue lookup: the text of a message id in the language column, from the
// Access file ORLngClient.MDB in the application folder, or the built-in French text.
#pragma once

#include "platform/catalogue_db.h"
#include "platform/screen.h"
#include "support/log.h"
#include "support/text.h"

namespace dalmure {

class Catalogue {
  public:
    Catalogue(platform::CatalogueDatabase& db, platform::Screen& screen, Log& log, Str appFolder);

    // The catalogue's text for strMsgId in column langColumn; strDefault when the catalogue has no
    // answer; "ErrLang" when the row holds NULL in that column. Failures are logged under
    // "errDalmure_ChargeLangue" and give the result as it stood. The pointer is busy during the
    // lookup and the default pointer after it.
    Str ChargeLangue(const Str& strMsgId, const Str& strDefault, const Str& langColumn);

  private:
    platform::CatalogueDatabase& db_;
    platform::Screen& screen_;
    Log& log_;
    Str appFolder_;
    bool refusalLogged_ = false; // a FIFO or a device in the catalogue's place, said once
};

} // namespace dalmure
