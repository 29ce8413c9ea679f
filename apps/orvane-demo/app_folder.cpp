#include "app_folder.h"

#include "support/ini_reader.h"
#include "support/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvane {

namespace {

const char* const kIni = "ORClient.INI";
const char* const kCatalogue = "ORLngClient.MDB";
const char* const kGlossary = "glossaire.txt";
const char* const kTemplates[] = {"pvTemplateFRA.html", "pvTemplateENG.html"};

QByteArray ansi(const QString& text) {
    const std::string bytes = dalmure::toCp1252(text.toStdU16String());
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString languageName(Language language) {
    return language == Language::French ? QStringLiteral("Français") : QStringLiteral("English");
}

bool holdsData(const QString& folder) {
    return !folder.isEmpty() && QFileInfo::exists(folder + QLatin1Char('/') + kCatalogue) &&
           QFileInfo::exists(folder + QLatin1Char('/') + kTemplates[0]);
}

} // namespace

QString defaultAppFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/orvane-demo"));
}

QString findDataFolder() {
    QStringList candidates;
    const QString exeDir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!exeDir.isEmpty())
        candidates << QDir::cleanPath(exeDir + QStringLiteral("/" ORVANE_RELATIVE_DATADIR));
    candidates << QStringLiteral(ORVANE_INSTALL_DATADIR);
    for (const QString& c : candidates)
        if (holdsData(c))
            return c;
    // A program run from its build folder: the shipped files of the source tree.
    const QString src = QStringLiteral(ORVANE_SOURCE_DIR);
    if (QFileInfo::exists(src + QStringLiteral("/share/catalogue/") + kCatalogue) &&
        QFileInfo::exists(src + QStringLiteral("/share/templates/") + kTemplates[0]))
        return src;
    return {};
}

QByteArray defaultIni() {
    const QString text = QStringLiteral(
        "; Orvane client settings, read by the annotation control (Windows-1252).\r\n"
        "[Config]\r\n"
        "Langue=Français\r\n"
        "PVStyle=1\r\n"
        "PVFontSize=9\r\n"
        "PVPRINTSIZE=5\r\n"
        "\r\n"
        "[LNG]\r\n"
        "LNG1=Français|Francais\r\n"
        "LNG2=English|Anglais\r\n"
        "\r\n"
        "[PV]\r\n"
        "PADX=10\r\n"
        "PADY1=3\r\n"
        "PADY2=10\r\n"
        "AnnoGras=1\r\n"
        "\r\n"
        "[Notes]\r\n"
        "Glossary=glossaire.txt\r\n"
        "SpellCheck=1\r\n"
        "TypographicApostrophe=1\r\n");
    return ansi(text);
}

QByteArray defaultGlossary() {
    return QStringLiteral("# Abréviations du greffe : abréviation, tabulation, texte (UTF-8).\n"
                          "tem\ttémoin\n"
                          "pla\tplaignante\n"
                          "acc\taccusé\n"
                          "pours\tla poursuite\n"
                          "def\tla défense\n"
                          "obj\tobjection\n"
                          "cint\tcontre-interrogatoire\n"
                          "interr\tinterrogatoire\n"
                          "susp\tsuspension de l’audience\n"
                          "pvb\tprocès-verbal\n")
        .toUtf8();
}

bool prepareAppFolder(const QString& folder, const QString& dataFolder, QStringList* created,
                      QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    const QDir dir(folder);
    const QString ini = dir.filePath(kIni);
    if (!QFileInfo::exists(ini)) {
        QFile f(ini);
        const QByteArray bytes = defaultIni();
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return fail(QStringLiteral("cannot write %1").arg(ini));
        if (created)
            *created << ini;
    }
    // The clerk's glossary, the clerk's own to edit: written once, readable by the clerk alone.
    const QString glossary = dir.filePath(QString::fromLatin1(kGlossary));
    if (!QFileInfo::exists(glossary)) {
        QFile f(glossary);
        const QByteArray bytes = defaultGlossary();
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return fail(QStringLiteral("cannot write %1").arg(glossary));
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (created)
            *created << glossary;
    }
    // The shipped files: installed side by side, or in the source tree under their own folders.
    const bool sourceTree = dataFolder == QStringLiteral(ORVANE_SOURCE_DIR);
    auto source = [&](const QString& name, bool isTemplate) {
        if (!sourceTree)
            return dataFolder + QLatin1Char('/') + name;
        return dataFolder +
               (isTemplate ? QStringLiteral("/share/templates/")
                           : QStringLiteral("/share/catalogue/")) +
               name;
    };
    QList<QPair<QString, bool>> files{{QString::fromLatin1(kCatalogue), false}};
    for (const char* t : kTemplates)
        files.append({QString::fromLatin1(t), true});
    for (const auto& [name, isTemplate] : files) {
        const QString target = dir.filePath(name);
        if (QFileInfo::exists(target))
            continue;
        if (dataFolder.isEmpty())
            return fail(QStringLiteral("%1 is missing and no installed copy was found").arg(name));
        if (!QFile::copy(source(name, isTemplate), target))
            return fail(
                QStringLiteral("cannot copy %1 into %2").arg(source(name, isTemplate), folder));
        // Installed copies are read-only; the application folder's own copies need not be.
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
        if (created)
            *created << target;
    }
    return true;
}

Language iniLanguage(const QString& folder) {
    const dalmure::Str file = (folder + QLatin1Char('/') + kIni).toStdU16String();
    const dalmure::Str value = dalmure::ReadIni(u"Config", u"Langue", u"Français", file);
    return value == u"English" ? Language::English : Language::French;
}

QChar iniApostrophe(const QString& folder) {
    const dalmure::Str file = (folder + QLatin1Char('/') + kIni).toStdU16String();
    const QString value =
        QString::fromStdU16String(dalmure::ReadIni(u"Notes", u"TypographicApostrophe", u"0", file));
    return value.trimmed() == QLatin1String("1") ? QChar(0x2019) : QLatin1Char('`');
}

bool setIniLanguage(const QString& folder, Language language) {
    const QString path = folder + QLatin1Char('/') + kIni;
    QFile f(path);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    f.close();
    if (bytes.isEmpty())
        bytes = defaultIni();
    const QByteArray wanted = "Langue=" + ansi(languageName(language));
    QList<QByteArray> lines = bytes.split('\n');
    bool inConfig = false, done = false;
    int configEnd = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.startsWith('[')) {
            if (inConfig && configEnd < 0)
                configEnd = i;
            inConfig = line.toLower() == "[config]";
            continue;
        }
        if (inConfig && !done) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && line.left(eq).trimmed().toLower() == "langue") {
                lines[i] = wanted + (lines[i].endsWith('\r') ? "\r" : "");
                done = true;
            }
        }
    }
    if (!done) {
        if (configEnd < 0 && inConfig)
            configEnd = static_cast<int>(lines.size());
        if (configEnd < 0) {
            lines.prepend("[Config]\r");
            configEnd = 1;
        }
        // After the section's last key, before its trailing blank lines.
        int at = configEnd;
        while (at > 1 && lines[at - 1].trimmed().isEmpty())
            --at;
        lines.insert(at, wanted + "\r");
    }
    QFile out(path);
    const QByteArray result = lines.join('\n');
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           out.write(result) == result.size();
}

} // namespace orvane
