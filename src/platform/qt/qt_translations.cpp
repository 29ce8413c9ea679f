// Qt's own texts around the control (the notes' text menu, the buttons of prompts and message
// boxes, the print dialog) in the control's language, from Qt's translations (qtbase_<lang>).
//
// Translators belong to the whole application, so the control is a polite guest: it installs
// one only when nothing translates Qt's texts yet, every control of the application shares it,
// and it goes when the last of them does. A host that installed its own translation of Qt's texts
// before is left alone; one that installs it later wins, as Qt asks the newest translator first.
#include "platform/qt/qt_internal.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace dalmure::qt {

namespace {

struct SharedTranslation {
    std::unique_ptr<QTranslator> translator;
    int holders = 0;
};

SharedTranslation& shared() {
    static SharedTranslation s;
    return s;
}

// Whether something already translates Qt's texts: its Yes button would not read "&Yes".
bool qtTextsTranslated() {
    return QCoreApplication::translate("QPlatformTheme", "&Yes") != QLatin1String("&Yes");
}

} // namespace

QString qtLanguageOfColumn(StrView column) {
    const QString c = toQ(column).toLower();
    if (c.startsWith(QLatin1String("fran")))
        return QStringLiteral("fr");
    return {}; // English, or a language left to Qt's own texts
}

QtTextsTranslation::QtTextsTranslation(StrView languageColumn) {
    SharedTranslation& s = shared();
    if (s.translator) {
        ++s.holders;
        held_ = true;
        return;
    }
    const QString language = qtLanguageOfColumn(languageColumn);
    if (language.isEmpty() || QCoreApplication::instance() == nullptr || qtTextsTranslated())
        return;
    auto t = std::make_unique<QTranslator>();
    if (!t->load(QStringLiteral("qtbase_") + language,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(t.get()))
        return; // not installed: Qt's texts stay in English
    s.translator = std::move(t);
    s.holders = 1;
    held_ = true;
}

QtTextsTranslation::~QtTextsTranslation() {
    if (!held_)
        return;
    SharedTranslation& s = shared();
    if (--s.holders > 0)
        return;
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::removeTranslator(s.translator.get());
    s.translator.reset();
}

} // namespace dalmure::qt
