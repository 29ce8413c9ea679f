// The settings of the control: client INI file, language column and localised texts.
#include "settings/settings.h"
#include "support/log_labels.h"

#include "support/errors.h"
#include "support/ini_reader.h"
#include "support/numeric.h"
#include "support/trap.h"

#include <utility>

namespace dalmure {

Settings::Settings(Str appFolder, platform::CatalogueDatabase& db, platform::Screen& screen,
                   Log& log)
    : appFolder_(std::move(appFolder)), log_(log), catalogue_(db, screen, log, appFolder_) {}

Str Settings::iniPath() const {
    return appFolder_ + u"/" + kIniFileName;
}

Str Settings::iniValue(const Str& section, const Str& key, const Str& fallback) const {
    bool refused = false;
    Str value = ReadIni(section, key, fallback, iniPath(), &refused);
    if (refused && !iniRefusalLogged_) {
        // A FIFO or a device where the INI file belongs: read as a missing file, said once.
        iniRefusalLogged_ = true;
        log_.writeTrapped(errors::kPathFileAccess,
                          iniPath() + u" is not a regular file: not read, defaults used",
                          label::startUp);
    }
    return value;
}

void Settings::chooseLanguage(const Str& language) {
    for (std::int16_t n = 1;; n = addInteger(n, 1)) {
        const Str entry = iniValue(u"LNG", u"LNG" + decimal(n), u"");
        if (entry.empty())
            break;
        if (entryField(log_, entry, 1) == language) {
            languageColumn_ = entryField(log_, entry, 2);
            break;
        }
    }
    if (languageColumn_.empty())
        languageColumn_ = kDefaultLanguageColumn;
}

Str Settings::text(const Str& id, const Str& fallback) {
    return catalogue_.ChargeLangue(id, fallback, languageColumn_);
}

Str entryField(Log& log, Str entry, std::int16_t index) {
    Str result;
    runTrapped(log, label::strFindData, [&] {
        if (entry.empty() || entry.back() != u'|')
            entry += u'|';
        const std::int16_t length = toInteger(static_cast<long long>(entry.size()));
        std::int16_t count = 0;
        Str field;
        for (std::int16_t i = 0; i < length; ++i) {
            const char16_t ch = entry[static_cast<std::size_t>(i)];
            if (ch == u'|') {
                count = addInteger(count, 1);
                if (count == index) {
                    result = field;
                    return;
                }
                field.clear();
            } else {
                field += ch;
            }
        }
    });
    return result;
}

} // namespace dalmure
