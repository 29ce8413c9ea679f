// Start-up and settings: the client INI file of the application folder, the catalogue column of
// the user's language and the localised texts, and the start-up that applies them to the form.
#pragma once

#include "platform/catalogue_db.h"
#include "platform/screen.h"
#include "settings/catalogue.h"
#include "support/log.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure {

class Settings {
  public:
    // The client INI file, as the program opens it in the application folder (the reader
    // matches the name without regard to case).
    static constexpr const char16_t* kIniFileName = u"ORClient.INI";
    // The column used when the INI file names no language the catalogue knows.
    static constexpr const char16_t* kDefaultLanguageColumn = u"Francais";

    Settings(Str appFolder, platform::CatalogueDatabase& db, platform::Screen& screen, Log& log);

    // The application folder: absolute, without a trailing "/".
    const Str& appFolder() const { return appFolder_; }
    // The full path of the client INI file.
    Str iniPath() const;
    // The value of key in [section] of the client INI file, or fallback. The file may be a link
    // to a regular file; a FIFO or a device in its place is not waited for, reads as a missing
    // file and is logged once.
    Str iniValue(const Str& section, const Str& key, const Str& fallback) const;

    // Chooses the catalogue column of language: the second field of the first [LNG] entry
    // (LNG1, LNG2, ...) whose first field names it, the default column when none does.
    void chooseLanguage(const Str& language);
    // The catalogue column of the user's language ("" until start-up chooses it).
    const Str& languageColumn() const { return languageColumn_; }
    void setLanguageColumn(Str column) { languageColumn_ = std::move(column); }

    // The catalogue's text for message id in the user's language, or fallback.
    Str text(const Str& id, const Str& fallback);

  private:
    Str appFolder_;
    Log& log_;
    Catalogue catalogue_;
    Str languageColumn_;
    mutable bool iniRefusalLogged_ = false;
};

// Field index (from 1) of a "|"-separated entry; "" when it has fewer fields. The walk counts in
// 16-bit integers; an overflow is logged under "errDalmure_strFindData" and gives "".
Str entryField(Log& log, Str entry, std::int16_t index);

} // namespace dalmure
