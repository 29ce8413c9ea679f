// The recording screen's application folder: the INI file, the message catalogue and the
// minutes templates that the control reads, the minutes page and the Log/ folder it writes.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

namespace orvane {

enum class Language { French, English };

// The folder used when none is given: $XDG_DATA_HOME/orvane-demo (~/.local/share/orvane-demo).
QString defaultAppFolder();

// The folder that holds the shipped catalogue and templates: next to the installed program
// (../share/dalmure), the configured data folder, or the source tree. Empty when none is found.
QString findDataFolder();

// Gives a folder what the control needs, leaving alone every file that is already there: the
// INI file (French, entry style 1), ORLngClient.MDB and the two templates. Returns the files
// it created; on failure returns false and says why in *error.
bool prepareAppFolder(const QString& folder, const QString& dataFolder, QStringList* created,
                      QString* error);

// The language the INI file names ([Config] Langue), as the control will read it.
Language iniLanguage(const QString& folder);
// Whether the INI file asks for the typographic apostrophe ([Notes] TypographicApostrophe=1):
// the character the control types for the apostrophe key, ’ then, else the grave accent.
QChar iniApostrophe(const QString& folder);
// Rewrites [Config] Langue of the INI file, keeping every other line and the file's encoding
// (Windows-1252, CR LF). Returns false when the file cannot be written.
bool setIniLanguage(const QString& folder, Language language);

// The INI file the demo writes on first run, as bytes (Windows-1252, CR LF).
QByteArray defaultIni();
// The glossary file the demo writes on first run beside it (UTF-8): the office's abbreviations.
QByteArray defaultGlossary();

} // namespace orvane
