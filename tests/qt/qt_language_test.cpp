// Qt's own texts around the control in the control's language: the notes' text menu and the
// buttons of prompts and message boxes in a French session, Qt's English in an English one, and
// a host's own translation of Qt's texts left alone.
#include "qt_test_support.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
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

// The texts of the items a right click on the notes shows, shortcuts left out.
QStringList notesMenuTexts(QtPlatform& p) {
    QStringList texts;
    p.setModalDriver([&texts](QWidget* modal) {
        auto* menu = qobject_cast<QMenu*>(modal);
        QVERIFY(menu != nullptr);
        for (const QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text().section(QLatin1Char('\t'), 0, 0);
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    QWidget* notes = p.editorWidget()->viewport();
    QWidget* top = notes->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, notes->mapTo(top, QPoint(5, 5)));
    p.setModalDriver({});
    return texts;
}

// The texts of the buttons of the rename prompt, which is cancelled.
QStringList promptButtons(DalmureWidget& w) {
    QtPlatform& p = platformOf(w);
    QStringList texts;
    p.setModalDriver([&texts](QWidget* modal) {
        for (const QPushButton* b : modal->findChildren<QPushButton*>())
            texts << b->text();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::mouseClick(p.buttonWidget(ButtonId::Rename), Qt::LeftButton);
    p.setModalDriver({});
    texts.sort();
    return texts;
}

// The Yes and No buttons of a host's question while the control lives.
QString yesNo() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("?"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text() + QLatin1Char(' ') +
           box.button(QMessageBox::No)->text();
}

} // namespace

class QtLanguageTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> open(const QByteArray& ini = {}) {
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        if (!makeAppFolder(dir_, ini))
            return nullptr;
        auto host = std::make_unique<HostWindow>(dir_.path());
        host->control->annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Ouverture"));
        return host;
    }

  private slots:
    // A French session: the notes' menu, the prompt's buttons and the message boxes' Yes and No
    // are French while a control lives, English again once the last control is gone.
    void aFrenchSessionShowsQtTextsInFrench() {
        auto host = open();
        QVERIFY(host);
        const QStringList menu = notesMenuTexts(host->platform());
        QVERIFY2(menu.contains(QStringLiteral("&Annuler")) &&
                     menu.contains(QStringLiteral("Cop&ier")) &&
                     menu.contains(QStringLiteral("Co&ller")),
                 qPrintable(menu.join(QLatin1Char('|'))));
        QCOMPARE(promptButtons(*host->control), QStringList({"Annuler", "OK"}));
        QCOMPARE(yesNo(), QStringLiteral("&Oui &Non"));

        // A second control shares the translation: it stays until both are gone.
        auto second = std::make_unique<HostWindow>(dir_.path());
        host.reset();
        QCOMPARE(yesNo(), QStringLiteral("&Oui &Non"));
        second.reset();
        QCOMPARE(yesNo(), QStringLiteral("&Yes &No"));
    }

    // An English session keeps Qt's own texts.
    void anEnglishSessionKeepsQtsTexts() {
        auto host = open(kEnglishIni);
        QVERIFY(host);
        const QStringList menu = notesMenuTexts(host->platform());
        QVERIFY2(menu.contains(QStringLiteral("&Undo")) && menu.contains(QStringLiteral("&Copy")),
                 qPrintable(menu.join(QLatin1Char('|'))));
        QCOMPARE(promptButtons(*host->control), QStringList({"Cancel", "OK"}));
        QCOMPARE(yesNo(), QStringLiteral("&Yes &No"));
    }

    // A host that translates Qt's texts itself keeps its translation, during and after the
    // control's life.
    void aHostsOwnTranslationIsLeftAlone() {
        QTranslator german;
        QVERIFY(german.load(QStringLiteral("qtbase_de"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QVERIFY(QCoreApplication::installTranslator(&german));
        const QString hostYesNo = yesNo();
        QVERIFY(hostYesNo != QStringLiteral("&Yes &No"));
        {
            auto host = open();
            QVERIFY(host);
            QCOMPARE(yesNo(), hostYesNo);
            QVERIFY(promptButtons(*host->control) != QStringList({"Annuler", "OK"}));
        }
        QCOMPARE(yesNo(), hostYesNo);
        QCoreApplication::removeTranslator(&german);
        QCOMPARE(yesNo(), QStringLiteral("&Yes &No"));
    }
};

QTEST_MAIN(QtLanguageTest)
#include "qt_language_test.moc"
