// Qt's own texts around the control in the control's language while a control lives.
#include "qt_test_support.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace {

QStringList notesMenuTexts(QtPlatform& p) {
    QStringList texts;
    p.setModalDriver([&texts](QWidget* modal) {
        for (const QAction* a : modal->actions())
            if (!a->text().isEmpty())
                texts << a->text().section(u'\t', 0, 0);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    rightClickThroughWindow(p.editorWidget()->viewport(), QPoint(5, 5));
    p.setModalDriver({});
    return texts;
}

// The sorted texts of the rename prompt's buttons, then what it asks and the text it offers.
QStringList renamePrompt(DalmureWidget& w) {
    QtPlatform& p = platformOf(w);
    QStringList texts, asks;
    p.setModalDriver([&](QWidget* modal) {
        for (const QPushButton* b : modal->findChildren<QPushButton*>())
            texts << b->text();
        if (auto* prompt = qobject_cast<QInputDialog*>(modal))
            asks = QStringList{prompt->labelText(), prompt->textValue()};
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::mouseClick(p.buttonWidget(platform::ButtonId::Rename), Qt::LeftButton);
    p.setModalDriver({});
    texts.sort();
    return texts + asks;
}

QString yesNo() {
    QMessageBox box(QMessageBox::Question, u"?"_s, u"?"_s, QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text() + u' ' + box.button(QMessageBox::No)->text();
}

} // namespace

class QtLanguageTest : public QObject, HearingFixture {
    Q_OBJECT

  private slots:
    void cleanup() { close(); }

    // The rename prompt's buttons, question and text, then a host's Yes and No.
    void qtsTextsAreInTheSessionsLanguage_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("menu"); // among the notes' menu items
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("French")
            << QByteArray() << QStringList{"&Annuler", "Cop&ier", "Co&ller", "Annotations"}
            << QStringList{"Annuler", "OK",
                           u"Modifier la description de l'annotation s\u00e9lectionn\u00e9e"_s,
                           "Ouverture", "&Oui &Non"};
        QTest::newRow("English")
            << QByteArray("[Config]\r\nLangue=English\r\n[LNG]\r\nLNG1=Fran\347ais|Francais\r\n"
                          "LNG2=English|Anglais\r\n")
            << QStringList{"&Undo", "&Copy", "Annotations"}
            << QStringList{"Cancel", "OK", "Edit the description of the selected annotation",
                           "Ouverture", "&Yes &No"};
    }
    void qtsTextsAreInTheSessionsLanguage() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, menu);
        QFETCH(QStringList, asked);
        QVERIFY(openOn({u"Ouverture"_s}, ini));
        const QStringList shown = notesMenuTexts(p());
        for (const QString& item : menu)
            QVERIFY2(shown.contains(item), qPrintable(shown.join(u'|')));
        QCOMPARE(renamePrompt(w()) << yesNo(), asked);
    }

    // Two French controls share the translation until both are gone.
    void theTranslationStaysUntilTheLastControlGoesAndAHostsOwnIsLeftAlone() {
        QVERIFY(openOn({u"Ouverture"_s}));
        auto second = std::make_unique<HostWindow>(folder());
        closeWindow();
        QCOMPARE(yesNo(), u"&Oui &Non"_s);
        second.reset();
        QCOMPARE(yesNo(), u"&Yes &No"_s);
        QTranslator german;
        QVERIFY(german.load(u"qtbase_de"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QVERIFY(QCoreApplication::installTranslator(&german));
        const QString hostYesNo = yesNo();
        QVERIFY(hostYesNo != u"&Yes &No"_s);
        close();
        QVERIFY(openOn({u"Ouverture"_s}));
        QCOMPARE(yesNo(), hostYesNo);
        QVERIFY(!renamePrompt(w()).startsWith(u"Annuler"_s));
        closeWindow();
        QCOMPARE(yesNo(), hostYesNo);
        QCoreApplication::removeTranslator(&german);
        QCOMPARE(yesNo(), u"&Yes &No"_s);
    }
};

QTEST_MAIN(QtLanguageTest)
#include "qt_language_test.moc"
