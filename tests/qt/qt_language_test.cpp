// Qt's own texts around the control in the control's language: the notes' text menu and the
// buttons of prompts and message boxes in a French session while a control lives, Qt's English
// in an English one, and a host's own translation of Qt's texts left alone.
#include "qt_test_support.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QTranslator>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;
using platform::ButtonId;

namespace {

const QByteArray kEnglishIni = "[Config]\r\nLangue=English\r\n[LNG]\r\n"
                               "LNG1=Fran\xe7"
                               "ais|Francais\r\nLNG2=English|Anglais\r\n";

// The texts of the items and section titles a right click on the notes shows, shortcuts left
// out.
QStringList notesMenuTexts(QtPlatform& p) {
    QStringList texts;
    p.setModalDriver([&texts](QWidget* modal) {
        auto* menu = qobject_cast<QMenu*>(modal);
        QVERIFY(menu != nullptr);
        for (const QAction* a : menu->actions())
            if (!a->text().isEmpty())
                texts << a->text().section(u'\t', 0, 0);
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    rightClickThroughWindow(p.editorWidget()->viewport(), QPoint(5, 5));
    p.setModalDriver({});
    return texts;
}

// The texts of the buttons of the rename prompt, which is cancelled; with asks, what the
// prompt asks and the text it offers.
QStringList promptButtons(DalmureWidget& w, QStringList* asks = nullptr) {
    QtPlatform& p = platformOf(w);
    QStringList texts;
    p.setModalDriver([&texts, asks](QWidget* modal) {
        for (const QPushButton* b : modal->findChildren<QPushButton*>())
            texts << b->text();
        if (auto* prompt = qobject_cast<QInputDialog*>(modal); prompt && asks)
            *asks = QStringList{prompt->labelText(), prompt->textValue()};
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::mouseClick(p.buttonWidget(ButtonId::Rename), Qt::LeftButton);
    p.setModalDriver({});
    texts.sort();
    return texts;
}

// The Yes and No buttons of a host's question while the control lives.
QString yesNo() {
    QMessageBox box(QMessageBox::Question, u"?"_s, u"?"_s, QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text() + u' ' + box.button(QMessageBox::No)->text();
}

} // namespace

class QtLanguageTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    bool open(const QByteArray& ini = {}) {
        if (!f_.open(ini))
            return false;
        f_.w().annoAdd(u"10:00:00"_s, u"Ouverture"_s);
        return true;
    }

  private slots:
    void cleanup() { f_.close(); }

    // The notes' menu, the prompt's buttons and the message boxes' Yes and No in the session's
    // language while a control lives: French, or Qt's own English in an English session.
    void qtsTextsAreInTheSessionsLanguage_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("menu"); // among the notes' menu items
        QTest::addColumn<QStringList>("prompt");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("asks"); // what the rename prompt asks
        QTest::newRow("French")
            << QByteArray() << QStringList{"&Annuler", "Cop&ier", "Co&ller", "Annotations"}
            << QStringList{"Annuler", "OK"} << u"&Oui &Non"_s
            << u"Modifier la description de l'annotation s\u00e9lectionn\u00e9e"_s;
        QTest::newRow("English") << kEnglishIni << QStringList{"&Undo", "&Copy", "Annotations"}
                                 << QStringList{"Cancel", "OK"} << u"&Yes &No"_s
                                 << QStringLiteral("Edit the description of the selected "
                                                   "annotation");
    }
    void qtsTextsAreInTheSessionsLanguage() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, menu);
        QFETCH(QStringList, prompt);
        QFETCH(QString, question);
        QFETCH(QString, asks);
        QVERIFY(open(ini));
        const QStringList shown = notesMenuTexts(f_.p());
        for (const QString& item : menu)
            QVERIFY2(shown.contains(item), qPrintable(shown.join(u'|')));
        // The rename prompt says what it asks, over the description it changes.
        QStringList asked;
        QCOMPARE(promptButtons(f_.w(), &asked), prompt);
        QCOMPARE(asked, (QStringList{asks, u"Ouverture"_s}));
        QCOMPARE(yesNo(), question);
    }

    // Two French controls share the translation: it stays until both are gone.
    void theTranslationStaysUntilTheLastControlGoes() {
        QVERIFY(open());
        auto second = std::make_unique<HostWindow>(f_.folder());
        f_.closeWindow();
        QCOMPARE(yesNo(), u"&Oui &Non"_s);
        second.reset();
        QCOMPARE(yesNo(), u"&Yes &No"_s);
    }

    // A host that translates Qt's texts itself keeps its translation, during and after the
    // control's life.
    void aHostsOwnTranslationIsLeftAlone() {
        QTranslator german;
        QVERIFY(german.load(u"qtbase_de"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QVERIFY(QCoreApplication::installTranslator(&german));
        const QString hostYesNo = yesNo();
        QVERIFY(hostYesNo != u"&Yes &No"_s);
        QVERIFY(open());
        QCOMPARE(yesNo(), hostYesNo);
        QVERIFY(promptButtons(f_.w()) != QStringList({"Annuler", "OK"}));
        f_.closeWindow();
        QCOMPARE(yesNo(), hostYesNo);
        QCoreApplication::removeTranslator(&german);
        QCOMPARE(yesNo(), u"&Yes &No"_s);
    }
};

QTEST_MAIN(QtLanguageTest)
#include "qt_language_test.moc"
