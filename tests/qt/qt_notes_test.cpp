// The notes editor with real keys and right clicks through the window system: its writing tools,
// the find bar, the minutes printed into a PDF, Qt's own texts in the control's language.
#define QTEST_QPA_MOUSE_HANDLING
#include "qt_test_support.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTranslator>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

const QString kDeposee = u"d\u00e9pos\u00e9e par le t\u00e9moin"_s;

// Where the bar is opened from, the key pressed, then how often the host's shortcuts fired, the
// annotation selected and whether the bar is shown.
struct KeyCase {
    const char* name;
    bool barShown;
    bool inNotes;
    QKeyCombination key;
    int hostFired;
    int selected;
    bool barAfter;
};
const KeyCase kKeyCases[] = {
    {"F3 in the bar", true, false, Qt::Key_F3, 0, 1, true},
    {"Shift+F3 in the bar", true, false, Qt::ShiftModifier | Qt::Key_F3, 0, 2, true},
    {"Enter in the bar", true, false, Qt::Key_Return, 0, 1, true},
    {"Esc in the bar", true, false, Qt::Key_Escape, 0, 3, false},
    {"F3 in the notes", true, true, Qt::Key_F3, 0, 2, true},
    {"Ctrl+F in the notes", false, true, Qt::ControlModifier | Qt::Key_F, 0, 1, true},
    {"F2 in the bar", true, false, Qt::Key_F2, 1, 3, true},
    {"F2 in the notes", false, true, Qt::Key_F2, 1, 1, false},
    {"F3 in the notes, no bar", false, true, Qt::Key_F3, 1, 1, false},
};

QStringList underlined(QPlainTextEdit* ed) {
    QStringList out;
    for (const QTextEdit::ExtraSelection& s : ed->extraSelections())
        if (s.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            out << s.cursor.selectedText();
    return out;
}

QString yesNo() {
    QMessageBox box(QMessageBox::Question, u"?"_s, u"?"_s, QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text() + u' ' + box.button(QMessageBox::No)->text();
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// A note that tries every way a page has to read the file at FILE or reach the server at NET.
const char* const kHostileNote =
    "<div id=\"o\">NOTE-SCRIPT:</div>"
    "<script>function put(t){document.getElementById('o').textContent+=' '+t;}"
    "fetch('FILE').then(r=>r.text()).then(put).catch(()=>put('fetch-refused'));"
    "try{var x=new XMLHttpRequest();x.open('GET','FILE',false);x.send();"
    "put(x.responseText);}catch(e){put('xhr-refused');}"
    "fetch('NET/fetch').then(r=>r.text()).then(put).catch(()=>put('net-refused'));"
    "var w=window.open('FILE');put(w?'window':'no-window');"
    "setTimeout(function(){location.href='FILE';},0);</script>"
    "<iframe src=\"FILE\"></iframe><iframe src=\"NET/frame\"></iframe>"
    "<img src=\"FILE\" onerror=\"put('img-error-ran')\"><img src=\"NET/img\">"
    "<link rel=\"stylesheet\" href=\"NET/css\"><object data=\"FILE\"></object>"
    "<meta http-equiv=\"refresh\" content=\"0;url=FILE\">";

} // namespace

class QtNotesTest : public QObject, HearingFixture {
    Q_OBJECT

    QWidget* bar() { return p().findBarWidget(); }

    // The times of the annotations whose two rows are shown; a half-hidden one fails the test.
    QStringList shown() {
        QStringList out;
        for (int k = 0; k < w().annoCount(); ++k) {
            const bool hidden = view()->isRowHidden(2 * k);
            if (hidden != view()->isRowHidden(2 * k + 1))
                return {u"annotation %1 half hidden"_s.arg(k)};
            if (!hidden)
                out << w().annoTime(k);
        }
        return out;
    }

    // Opens the editor's menu over the character at pos; pick returns the item to click (none:
    // the menu is closed). The window gets its activation back, and the editor the focus.
    void rightClickMenu(int pos, const std::function<QAction*(QMenu*)>& pick) {
        bool shown = false;
        p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            shown = true;
            chooseOrClose(menu, pick(menu));
        });
        QTextCursor c(editor()->document());
        c.setPosition(pos);
        QTest::mouseClick(editor()->viewport(), Qt::RightButton, {},
                          editor()->cursorRect(c).center() + QPoint(2, 0));
        QCoreApplication::processEvents();
        QVERIFY(shown);
        QVERIFY(backToFront(window()));
        QCOMPARE(QApplication::focusWidget(), editor());
    }

    // The sorted texts of the rename prompt's buttons, then what it asks and the text it offers.
    QStringList renamePrompt() {
        QStringList texts, asks;
        p().setModalDriver([&](QWidget* modal) {
            for (const QPushButton* b : modal->findChildren<QPushButton*>())
                texts << b->text();
            if (auto* prompt = qobject_cast<QInputDialog*>(modal))
                asks = QStringList{prompt->labelText(), prompt->textValue()};
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QTest::mouseClick(p().buttonWidget(platform::ButtonId::Rename), Qt::LeftButton);
        p().setModalDriver({});
        texts.sort();
        return texts + asks;
    }

    // One annotation, its notes open; the glossary's words and the spelling check on.
    bool start(const QByteArray& ini = {}) {
        if (!openOn({u"Ouverture"_s}, "[Notes]\r\nGlossary=glossaire.txt\r\nSpellCheck=1\r\n" + ini,
                    {{u"glossaire.txt"_s, "# mots de l'audience\ntem\tt\xC3\xA9moin\n"
                                          "pv\tproc\xC3\xA8s-verbal\n"}}))
            return false;
        openNotes(1);
        return !QTest::currentTestFailed();
    }

  private slots:
    void cleanup() { close(); }

    // The grid gives the bar its room at the top and keeps its bottom edge.
    void theBarOpensWithTheKeyboardInItAndEscGivesItBack() {
        QVERIFY(openOn({u"Ouverture"_s, u"T\u00e9moin Roy"_s, u"Pi\u00e8ce P-3\t"_s + kDeposee,
                        u"Suspension"_s}));
        QVERIFY(!bar()->isVisible());
        const QRect before = view()->geometry();
        openFindBar(3);
        QVERIFY(bar()->isVisible());
        QCOMPARE(findCount()->text(), u"4 sur 4"_s);
        const QRect after = view()->geometry();
        QVERIFY(after.top() >= bar()->geometry().bottom());
        QVERIFY(after.top() > before.top());
        QVERIFY(qAbs(after.bottom() - before.bottom()) <= 1);
        // Ctrl+F again selects what the bar holds, for a new search.
        typeKeys(u"roy"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(findLine()->selectedText(), u"roy"_s);
        QTest::mouseClick(bar()->findChild<QToolButton*>(u"FindClose"_s), Qt::LeftButton);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
        // The matches laid out from the grid's top; Esc gives the keyboard back to the notes.
        clickCell(7, 1);
        typeKeys(u"fin"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        typeKeys(u"roy"_s);
        QCOMPARE(shown(), (QStringList{u"10:05:00"_s, u"10:15:00"_s}));
        QCoreApplication::processEvents();
        QVERIFY(p().cellRect(0, 0).isEmpty());
        QCOMPARE(p().cellRect(2, 0).top(), 0);
        const int gap = p().cellRect(6, 0).top() - p().cellRect(3, 0).bottom();
        QVERIFY2(gap >= 1 && gap <= 2, qPrintable(QString::number(gap))); // a grid line at most
        QCOMPARE(w().annoData(3), u"fin"_s);
        QCOMPARE(findCount()->text(), u"1 sur 4"_s);
        press(Qt::Key_Escape);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
        QCOMPARE(view()->geometry(), before);
        QCOMPARE(focused(), static_cast<QWidget*>(p().editorWidget()));
        QVERIFY(editorOver(7, 1));
        typeKeys(u"!"_s);
        leave();
        QCOMPARE(w().annoData(3), u"fin!"_s);
    }

    // The demo adds annotations on F2..F9; every key but those of finding still reaches it.
    void theKeysOfFindingComeBeforeTheHostsShortcuts_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kKeyCases)); ++i)
            QTest::newRow(kKeyCases[i].name) << i;
    }
    void theKeysOfFindingComeBeforeTheHostsShortcuts() {
        QFETCH(int, row);
        const KeyCase& c = kKeyCases[row];
        QVERIFY(openOn({u"Ouverture"_s, u"T\u00e9moin Roy"_s, u"Pi\u00e8ce P-3\t"_s + kDeposee,
                        u"Suspension"_s}));
        if (c.barShown) {
            openFindBar(6);
            typeKeys(u"temoin"_s);
            if (c.inNotes)
                press(Qt::Key_Return);
        } else {
            openNotes(3);
        }
        int fired = 0;
        for (QKeyCombination k : {QKeyCombination(Qt::Key_F2), QKeyCombination(Qt::Key_F3),
                                  Qt::ShiftModifier | Qt::Key_F3, Qt::ControlModifier | Qt::Key_F,
                                  QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Escape)})
            connect(new QShortcut(QKeySequence(k), window()), &QShortcut::activated, this,
                    [&fired] { ++fired; });
        press(c.key.key(), c.key.keyboardModifiers());
        QCOMPARE(std::tuple(fired, w().selected(), bar()->isVisible()),
                 std::tuple(c.hostFired, c.selected, c.barAfter));
        for (int k = 0; k < 4; ++k)
            QCOMPARE(w().annoData(k), k == 2 ? kDeposee : QString());
    }

    // Every further Ctrl+Z is the editor's own undo, never expanding again.
    void ctrlZRightAfterAnExpansionPutsTheAbbreviationBackOnce() {
        QVERIFY(start());
        typeKeys(u"le tem "_s, editor());
        QCOMPARE(editor()->toPlainText(), u"le t\u00e9moin "_s);
        QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor()->toPlainText(), u"le tem "_s);
        QCOMPARE(editor()->textCursor().position(), 7);
        QString before = editor()->toPlainText();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
            const QString now = editor()->toPlainText();
            QVERIFY2(now.size() < before.size() || now.isEmpty(), qPrintable(now));
            QVERIFY2(u"le tem "_s.startsWith(now), qPrintable(now));
            before = now;
        }
        typeKeys(u"x"_s, editor());
        leave();
        QCOMPARE(w().annoData(0), before + u"x"_s);
    }

    // Above the widget's own entries; over a word spelled right, neither.
    void theMenuOffersSuggestionsAndAddsToTheGlossary() {
        QVERIFY(start());
        typeKeys(u"Le t\u00e9moin parlle fort. Me Zorglubienne plaide. "_s, editor());
        QCOMPARE(underlined(editor()), (QStringList{u"parlle"_s, u"Zorglubienne"_s}));
        QStringList offered;
        rightClickMenu(12, [&](QMenu* menu) -> QAction* {
            QAction* parle = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->objectName() != u"spellingSuggestion"_s)
                    break; // the suggestions come first
                offered << a->text();
                parle = a->text() == u"parle"_s ? a : parle;
            }
            return parle;
        });
        QVERIFY2(offered.contains(u"parle"_s), qPrintable(offered.join(u',')));
        QCOMPARE(underlined(editor()), QStringList{u"Zorglubienne"_s});
        QString items, caption;
        rightClickMenu(28, [&](QMenu* menu) -> QAction* {
            items = itemsOf(menu);
            QAction* add = menuItem(menu, u"spellingAdd"_s);
            caption = add != nullptr ? add->text() : QString();
            return add;
        });
        QCOMPARE(caption, u"Ajouter au glossaire"_s);
        QVERIFY2(items.contains(QRegularExpression(u"spellingAdd .*edit-copy"_s)),
                 qPrintable(items));
        QCOMPARE(underlined(editor()), QStringList());
        QFile g(folder() + u"/glossaire.txt"_s);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QVERIFY(g.readAll().endsWith("Zorglubienne\tZorglubienne\n"));
        rightClickMenu(1, [&](QMenu* menu) -> QAction* {
            items = itemsOf(menu);
            return nullptr;
        });
        QVERIFY2(!items.contains(u"spelling"_s), qPrintable(items));
        leave();
        QCOMPARE(w().annoData(0), u"Le t\u00e9moin parle fort. Me Zorglubienne plaide. "_s);
    }

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
        QVERIFY(start(ini));
        QStringList shown;
        rightClickMenu(0, [&shown](QMenu* m) -> QAction* {
            for (const QAction* a : m->actions())
                shown << a->text().section(u'\t', 0, 0);
            return nullptr;
        });
        for (const QString& item : menu)
            QVERIFY2(shown.contains(item), qPrintable(shown.join(u'|')));
        QCOMPARE(renamePrompt() << yesNo(), asked);
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
        QVERIFY(!renamePrompt().startsWith(u"Annuler"_s));
        closeWindow();
        QCOMPARE(yesNo(), hostYesNo);
        QCoreApplication::removeTranslator(&german);
        QCOMPARE(yesNo(), u"&Yes &No"_s);
    }

    // On the paper PVPRINTSIZE chooses (5: legal); words longer than a line wrap inside the
    // page, with the shipped templates and with the table alone.
    void printsTheMinutesWholeAndAHostileNoteReachesNothing() {
        const QString word = u"W"_s + u"0123456789"_s.repeated(40).left(396) + u"END"_s;
        const QString url = u"https://registre.example.org/dossiers/"_s +
                            u"abcdefghijklmnopqrstuvwxyz"_s.repeated(7).left(158) + u"/fin"_s;
        QTemporaryDir elsewhere;
        const QString secretPath = elsewhere.filePath(u"secret.txt"_s);
        const QByteArray secret =
            "DALMURE-SECRET-" + QByteArray::number(QRandomGenerator::global()->generate());
        QVERIFY(writeFile(secretPath, secret));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QSignalSpy connections(&server, &QTcpServer::newConnection);
        // Who opens or reads the secret file, in any process.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, secretPath.toLocal8Bit().constData(),
                                    IN_OPEN | IN_ACCESS) >= 0);
        const QString note =
            QString::fromLatin1(kHostileNote)
                .replace(u"FILE"_s, QUrl::fromLocalFile(secretPath).toString())
                .replace(u"NET"_s, u"http://127.0.0.1:%1"_s.arg(server.serverPort()));

        for (const bool templates : {true, false}) {
            const QString pdf = folder() + u"/minutes.pdf"_s;
            QVERIFY(openOn({u"Ouverture de l'audience\t"_s + note,
                            u"Pi\u00e8ce P-1\tVoir "_s + word + u" et "_s + url, word},
                           "[CONFIG]\r\nPVPRINTSIZE=5\r\n", {},
                           {.now = {}, .htmlProgram = {}, .printPdf = pdf}));
            for (const char* t : {"pvTemplateFRA.html", "pvTemplateENG.html"})
                QVERIFY(templates || QFile::remove(folder() + u'/' + QString::fromLatin1(t)));
            w().setNoDossier(u"500-17-012345-241"_s);
            QSignalSpy finished(&w(), &DalmureWidget::printFinished);
            clickCell(0, 1);
            QTest::mouseClick(p().buttonWidget(platform::ButtonId::Print), Qt::LeftButton);
            QVERIFY(finished.wait(90000) || finished.count() > 0);
            QCOMPARE(finished.at(0), (QVariantList{pdf, true}));
            // Late attempts of the note's (timers, a refresh) have had their chance.
            QTest::qWait(1500);

            // In drawing order: a wrapped description is not interleaved with its time.
            QString text = run(u"pdftotext"_s, {u"-raw"_s, pdf, u"-"_s});
            text.remove(QRegularExpression(u"\\s"_s));
            QVERIFY2(text.count(word) == 2 && text.contains(url), qPrintable(text));
            QVERIFY2(text.contains(u"Ouverturedel"_s), qPrintable(text));
            QVERIFY2(!text.contains(QString::fromLatin1(secret)), qPrintable(text));
            QVERIFY2(!templates || text.contains(u"500-17-012345-241"_s), qPrintable(text));
            const QString info = run(u"pdfinfo"_s, {pdf});
            QVERIFY2(!templates || info.contains(u"612 x 1008"_s), qPrintable(info));
            close();
        }
        QCOMPARE(connections.count(), 0);
        char events[4096];
        const ssize_t n = ::read(watch, events, sizeof events);
        ::close(watch);
        QVERIFY2(n <= 0, "the secret file was opened");
    }
};

QTEST_MAIN(QtNotesTest)
#include "qt_notes_test.moc"
