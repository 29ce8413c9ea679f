// The widget under real Qt events, case by case; where each key lands over a long random run is
// the clerk test's to find.
#include "qt_test_support.h"

#include "journal/journal.h"

#include <QImage>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTime>

namespace {

// Menu items as itemsOf names them, written without the prefix of the control's own: a word with
// a capital (Jouer-d) stands for mnuPopupJouer-d.
QString popup(QString items) {
    return items.replace(QRegularExpression(u"(^| )([A-Z])"_s), u"\\1mnuPopup\\2"_s);
}

} // namespace

class QtWidgetTest : public QObject, WidgetFixture {
    Q_OBJECT

    // Five minutes apart from 10:00, the last one's notes open.
    void add(int n) {
        for (int i = 0; i < n; ++i)
            w().annoAdd(QTime(10, 0).addSecs(300 * i).toString(u"HH:mm:ss"_s), u"A%1"_s.arg(i));
    }
    void setModes(const QString& modes) {
        for (const char* mode : {"noPlay", "noPV", "noModif"})
            w().setProperty(mode, modes.contains(QLatin1String(mode)));
    }
    // What has the focus after each of count presses of Tab (or Shift+Tab).
    QString walk(int count, bool back) {
        QStringList seen;
        for (int i = 0; i < count; ++i) {
            press(back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
            seen << focusName();
        }
        return seen.join(u' ');
    }

  private slots:
    // With the host's field after the control, where Tab goes on to.
    void init() { QVERIFY(open({}, {}, {}, true)); }
    void cleanup() { close(); }

    // A click on the time cell opens the editor over the notes; keys go through the filter (' is
    // typed `, + and & refused, Enter in entry style 1 breaks the line), the row grows under the
    // editor, and only a command button, which leaves the keyboard in the notes, commits them.
    void clickTypeAndCommitWithACommandButton() {
        add(3);
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        clickCell(2, 0);
        QCOMPARE(QList({w().selected(), p().grid().row(), p().grid().col()}), QList({1, 3, 1}));
        QVERIFY(editor()->hasFocus());
        QVERIFY2(editorOver(3, 1), "editor not over its cell");
        const int oneLine = p().grid().rowHeight(3);
        typeKeys(u"It'sa+b&c\rsecond line"_s, editor());
        QCOMPARE(p().editor().text(), Str(u"It`sabc\r\nsecond line"));
        QCOMPARE_GT(p().grid().rowHeight(3), oneLine);
        QVERIFY(editorOver(3, 1));
        QCOMPARE(modified.count(), 0);
        QTest::mouseClick(p().buttonWidget(platform::ButtonId::EntryStyleTwo), Qt::LeftButton);
        QCOMPARE(modified, QList<QVariantList>{{QVariant::fromValue(qint16(1))}});
        QCOMPARE(w().annoData(1), u"It`sabc\r\nsecond line"_s);
        QVERIFY(editor()->hasFocus());
    }

    // What the recovery brings back is proven on the control itself.
    void aCrashedSessionIsRecoveredAndTypingGoesOn() {
        {
            auto crashed = journal::Journal::start(w().applicationFolder().toStdU16String(),
                                                   "Recovery", journal::JournalOptions{});
            QVERIFY(crashed->working());
            crashed->added(0, u"10:05:00", u"Witness", u"");
            crashed->liveText(0, u"typed before the crash");
        } // destroyed without closing, as a crash leaves it
        QCOMPARE(w().hearingId().size(), 32);
        w().setProperty("hearingId", u"H-500-01"_s);
        QCOMPARE(w().hearingId(), u"H-500-01"_s);
        const QList<DalmureWidget::RecoverableSession> found = w().recoverableSessions();
        QCOMPARE(found.size(), 1);
        QVERIFY(w().recoverSession(found[0].id));
        clickCell(1, 1);
        QTest::keyClicks(editor(), u", and after"_s);
        leave();
        QCOMPARE(w().annoData(0), u"typed before the crash, and after"_s);
    }

    // The notes' text menu holds the control's commands in a titled section; "Supprimer" there
    // deletes the annotation, not the text. Opening a menu leaves the selection and the notes.
    // (Which item each mode disables or hides is the scenarios'; here, that Qt shows it so.)
    void theMenusOpenWithTheirItemsStates_data() {
        QTest::addColumn<QString>("modes");
        QTest::addColumn<QString>("open"); // a right click on the notes, or keys
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("seen"); // * for any items
        const QString all = popup(u"Jouer Renommer Supprimer s1 Imprimer s2 Dalmure"_s);
        for (const char* keys : {"Menu notes", "Shift+F10 notes", "Menu grid", "Shift+F10 grid"})
            QTest::newRow(keys) << QString() << QString::fromLatin1(keys) << QString() << all;
        QTest::newRow("F10 alone") << QString() << u"F10 grid"_s << QString() << QString();
        QTest::newRow("read-only notes; NoPV hides view and its separator")
            << u"noPV noModif"_s << u"click notes"_s << QString()
            << popup(u"edit-copy-d | select-all Title Jouer Renommer-d Supprimer-d s1 Imprimer "
                     "s2-h Dalmure-h"_s);
        QTest::newRow("delete chosen in the text menu of editable notes")
            << QString() << u"click notes"_s << u"mnuPopupSupprimer"_s
            << popup(u"edit-undo* edit-paste* select-all Title Jouer Renommer Supprimer s1 "
                     "Imprimer s2 Dalmure"_s);
    }
    void theMenusOpenWithTheirItemsStates() {
        QFETCH(QString, modes);
        QFETCH(QString, open);
        QFETCH(QString, choose);
        QFETCH(QString, seen);
        QString shown;
        answerMenus(p(), shown, choose);
        int asked = -1;
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [&](qint16& index) { asked = index; });
        add(3);
        clickCell(3, 1);
        QTest::keyClicks(editor(), u"abc"_s);
        setModes(modes);
        clickCell(3, 1); // opened again, read-only under NoModif
        QWidget* target = open.endsWith(u"grid"_s) ? static_cast<QWidget*>(view()) : editor();
        if (open == u"click notes"_s) {
            rightClickThroughWindow(editor()->viewport(), QPoint(5, 5));
        } else {
            target->setFocus();
            const QKeyCombination key = QKeySequence::fromString(open.section(u' ', 0, 0))[0];
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
        }
        QVERIFY2(QRegularExpression::fromWildcard(seen, Qt::CaseSensitive).match(shown).hasMatch(),
                 qPrintable(shown));
        QCOMPARE(asked, choose.isEmpty() ? -1 : 1);
        QCOMPARE(w().selected(), 1);
        QCOMPARE(editor()->toPlainText(), u"abc"_s);
    }

    // As a click does: the editor opens over the notes, and notes typed are committed on the way.
    void moveKeysOnTheGridSelectAsAClickDoes_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("Page Down") << Qt::Key_PageDown << 0 << 2;
        QTest::newRow("Page Up") << Qt::Key_PageUp << 2 << 0;
        QTest::newRow("Down") << Qt::Key_Down << 0 << 1;
        QTest::newRow("Up") << Qt::Key_Up << 2 << 1;
        QTest::newRow("Home") << Qt::Key_Home << 1 << 0;
        QTest::newRow("End") << Qt::Key_End << 1 << 2;
    }
    void moveKeysOnTheGridSelectAsAClickDoes() {
        QFETCH(Qt::Key, key);
        QFETCH(int, from);
        QFETCH(int, to);
        add(3);
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        clickCell(2 * from + 1, 1);
        QTest::keyClicks(editor(), u"x"_s);
        view()->setFocus();
        QTest::keyClick(view(), key);
        QCOMPARE(QList({w().selected(), p().grid().row(), int(modified.count())}),
                 QList({to, 2 * to + 1, 1}));
        QCOMPARE(w().annoData(from) + u'|' + editor()->toPlainText(), u"x|"_s);
        QVERIFY(editorOver(2 * to + 1, 1) && editor()->hasFocus());
    }

    // Shift+Tab goes back the same way.
    void tabWalksThroughTheControlInVisualOrder_data() {
        QTest::addColumn<bool>("annotations");
        QTest::addColumn<QString>("modes");
        QTest::addColumn<QString>("order");
        const QString all =
            u"CWButton3 CWButton4 CWButton2 CWButton5 CWButton1 CWButton6(0) grid"_s;
        QTest::newRow("every command") << true << QString() << all + u" notes after"_s;
        QTest::newRow("NoPlay and NoPV")
            << true << u"noPlay noPV"_s << u"CWButton4 CWButton1 CWButton6(0) grid notes after"_s;
        QTest::newRow("NoModif")
            << true << u"noModif"_s
            << u"CWButton3 CWButton2 CWButton5 CWButton6(0) grid notes after"_s;
        QTest::newRow("empty list: no notes") << false << QString() << all + u" after"_s;
    }
    void tabWalksThroughTheControlInVisualOrder() {
        QFETCH(bool, annotations);
        QFETCH(QString, modes);
        QFETCH(QString, order);
        add(annotations ? 2 : 0);
        setModes(modes);
        elsewhere()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(focusName(), u"before"_s);
        const int stops = static_cast<int>(order.count(u' ')) + 1;
        QCOMPARE(walk(stops, false), order);
        QStringList back = order.split(u' ');
        std::reverse(back.begin(), back.end());
        QCOMPARE(walk(stops, true), (back.mid(1) << u"before"_s).join(u' '));
        // The host's focus on an empty list goes to the list (among annotations: the clerk test).
        w().setFocus();
        if (!annotations)
            QCOMPARE(focusName(), u"grid"_s);
    }

    // The button reached by Shift+Tab shows that it has the keyboard.
    void aKeyOnACommandReachedByShiftTabRunsIt_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("Space") << Qt::Key_Space;
        QTest::newRow("Enter") << Qt::Key_Return;
    }
    void aKeyOnACommandReachedByShiftTabRunsIt() {
        QFETCH(Qt::Key, key);
        add(1);
        QToolButton* rename = p().buttonWidget(platform::ButtonId::Rename);
        const QImage unfocused = rename->grab().toImage();
        QTest::keyClicks(editor(), u"sworn in"_s);
        host().after->setFocus(Qt::MouseFocusReason);
        int prompted = 0;
        p().setModalDriver([&](QWidget* modal) {
            prompted += modal->findChild<QLineEdit*>() != nullptr ? 1 : 0;
            answerPrompt(modal, u"Opening statement"_s);
        });
        QCOMPARE(walk(7, true).section(u' ', -1), u"CWButton4"_s);
        QVERIFY2(rename->grab().toImage() != unfocused, "no focus shown on the button");
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(prompted, 1);
        QCOMPARE(w().annoDesc(0) + u'|' + w().annoData(0), u"Opening statement|sworn in"_s);
    }

    // Kept as artifacts/dalmure-widget.png in the test's build folder.
    void rendersFiveAnnotationsWithTheSelectionHighlighted() {
        for (const char* desc : {"Ouverture de l'audience", "Appel du rôle", "Témoin 1",
                                 "Contre-interrogatoire", "Ajournement"})
            w().annoAdd(u"10:0%1:00"_s.arg(2 * w().annoCount()), QString::fromUtf8(desc));
        clickCell(0, 1);
        typeKeys(u"Parties presentes.\rMe Gagnon pour la defense."_s, editor());
        QCOMPARE(w().selected(), 0);
        QCOMPARE(p().grid().topRow(), 0);
        QTest::qWait(50);

        const QPixmap shot = w().grab();
        const qreal ratio = shot.devicePixelRatio();
        const QImage image = shot.toImage().convertToFormat(QImage::Format_RGB32);
        // Drawn at the device pixel ratio (HiDPI): the picture has that many pixels per point.
        QCOMPARE(image.width(), qRound(w().width() * ratio));
        QVERIFY(QDir().mkpath(QStringLiteral(DALMURE_ARTIFACT_DIR)));
        const QString at = ratio > 1 ? u"@%1x"_s.arg(ratio) : QString();
        QVERIFY(image.save(QStringLiteral(DALMURE_ARTIFACT_DIR "/dalmure-widget%1.png").arg(at)));
        // Not blank: many colours (text, icons, frames); the highlight colour of the selected
        // annotation (the grid's BackColorFixed, 0x00BBGGRR) covers a good part of its rows.
        const std::int32_t fixed = p().grid().backColorFixed();
        const QRgb highlight = qRgb(fixed & 0xFF, (fixed >> 8) & 0xFF, (fixed >> 16) & 0xFF);
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
        const qsizetype size = image.sizeInBytes() / 4; // RGB32: no padding, opaque
        QCOMPARE_GT(QSet<QRgb>(pixels, pixels + size).size(), 20);
        const QRect cell = p().cellRect(0, 1);
        QCOMPARE_GT(std::count(pixels, pixels + size, highlight),
                    cell.width() * cell.height() * ratio * ratio / 2);
        const QPoint inRow = viewport()->mapTo(&w(), cell.topLeft() + QPoint(cell.width() - 4, 3));
        QCOMPARE(image.pixel(inRow * ratio), highlight);
    }

    // Opened again with the caret at the end: the last line inside too.
    void aReopenedNoteShowsEveryLineFromTheFirst_data() {
        QTest::addColumn<int>("lines");
        for (int lines : {2, 3, 5})
            QTest::addRow("%d lines", lines) << lines;
    }
    void aReopenedNoteShowsEveryLineFromTheFirst() {
        QFETCH(int, lines);
        add(3);
        QStringList text;
        for (int i = 1; i <= lines; ++i)
            text << u"line %1"_s.arg(i);
        typeKeys(text.join(u'\r'), editor());
        leave();
        QCOMPARE(w().annoData(2).count(u"\r\n"_s), lines - 1);
        openNotes(4);
        QCOMPARE(editor()->blockCount(), lines);
        QCOMPARE(editor()->verticalScrollBar()->value(), 0);
        QVERIFY(editor()->cursorRect(QTextCursor(editor()->document())).top() >= 0);
        QTextCursor end(editor()->document());
        end.movePosition(QTextCursor::End);
        QCOMPARE_LE(editor()->cursorRect(end).bottom(), editor()->viewport()->height() + 1);
    }

    void editsOfTheWidgetKeepTheHostsLineBreaks() {
        add(2);
        w().annoAdd(u"10:10:00"_s, u"Third"_s, u"a\nb\nc"_s);
        QCOMPARE(p().editor().selStart(), 5); // the caret after the host's text
        QTest::keyClick(editor(), Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(editor(), Qt::Key_Delete);
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClicks(editor(), u"Z"_s);
        QTest::keyClick(editor(), Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(editor(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClick(editor(), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p().editor().text(), Str(u"a\nb\nZZ"));
        QCOMPARE(p().editor().selStart(), 6);
        leave();
        QCOMPARE(w().annoData(2), u"a\nb\nZZ"_s);
    }

    // The window shrinking under them scrolls them back; keys typed after the clerk scrolled
    // them away bring them back first. No key is lost on the way.
    void theEditedNotesStayInView_data() {
        QTest::addColumn<bool>("clerkScrolls");
        QTest::newRow("the window shrinks") << false;
        QTest::newRow("the clerk scrolls away") << true;
    }
    void theEditedNotesStayInView() {
        QFETCH(bool, clerkScrolls);
        add(20);
        focusGrid(1);
        press(Qt::Key_End);
        QCOMPARE(w().selected(), 19);
        typeKeys(u"D4"_s);
        const auto shownAndTyping = [&](const char* when) {
            const QRect typed(editor()->mapTo(window(), QPoint()), editor()->size());
            const QRect shown(viewport()->mapTo(window(), QPoint()), viewport()->size());
            QVERIFY2(editor()->isVisible() && editorOver(39, 1) && shown.contains(typed), when);
            QCOMPARE(focused(), static_cast<QWidget*>(editor()));
        };
        const auto resize = [&](int height, const char* when) {
            window()->resize(700, height);
            QCoreApplication::processEvents();
            shownAndTyping(when);
        };
        if (clerkScrolls) {
            for (int i = 0; i < 20; ++i)
                wheelNotch(viewport(), 120);
            QVERIFY(!viewport()->rect().intersects(p().cellRect(39, 1)));
        } else {
            resize(300, "shrunk");
        }
        typeKeys(u"E5"_s);
        shownAndTyping("typed");
        resize(560, "grown again");
        resize(600, "grown again");
        typeKeys(u"F6"_s);
        leave();
        QCOMPARE(w().annoData(19), u"D4E5F6"_s);
    }

    // The top of the list is always a main row; notches up come back to where notches down began.
    void aWheelNotchScrollsByWholeAnnotations() {
        add(42);
        const auto notch = [&](int delta) {
            wheelNotch(viewport(), delta);
            return p().grid().topRow();
        };
        p().grid().setTopRow(0);
        QCOMPARE(QList({notch(-120), notch(-240)}), QList({2, 6}));
        p().grid().setTopRow(7); // a notes row at the top, as a drag of the scroll bar leaves it
        QCOMPARE(QList({notch(-120), notch(120), notch(360), notch(120)}), QList({8, 6, 0, 0}));
    }

    // \b: Backspace.
    void backspaceRemovesAWholeCharacter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::newRow("emoji") << u"ab\U0001F600\b"_s << u"ab"_s;
        QTest::newRow("two emoji") << u"a\U0001F600\U0001F44D\b\b"_s << u"a"_s;
        QTest::newRow("line break") << u"a\rb\b\b"_s << u"a"_s;
        QTest::newRow("accent") << u"t\u00e9\b"_s << u"t"_s;
    }
    void backspaceRemovesAWholeCharacter() {
        QFETCH(QString, typed);
        QFETCH(QString, left);
        add(2);
        openNotes(1);
        for (const char32_t c : typed.toUcs4())
            typeChar(editor(), QString::fromUcs4(&c, 1));
        QCOMPARE(editor()->toPlainText(), left);
        leave();
        QCOMPARE(w().annoData(0), left);
    }
};

QTEST_MAIN(QtWidgetTest)
#include "qt_widget_test.moc"
