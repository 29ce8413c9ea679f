// The widget under a user's mouse and keyboard: real Qt events on the offscreen platform. Tab
// and Shift+Tab go through its parts and out to the host's fields; where the keys go once a
// command button clicked with the mouse has run, or after a resize, is the clerk test's to find.
// The notes editor: a reopened note shows all the lines its row was sized for, the widget's own
// edits keep the host's line breaks, the notes being typed stay in view, a wheel notch scrolls by
// whole annotations, Backspace removes whole characters, and a right click opens the notes' text
// menu with the control's commands in it.
#include "qt_test_support.h"

#include "journal/journal.h"

#include <QImage>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QToolButton>
#include <QWheelEvent>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;
using platform::ButtonId;

namespace {

// Where the editor shows the first and the last line of its text, in its viewport.
QRect lineRect(QPlainTextEdit* e, QTextCursor::MoveOperation where) {
    QTextCursor c(e->document());
    c.movePosition(where);
    return e->cursorRect(c);
}

// A notch of the mouse wheel over the middle of a widget; delta < 0 scrolls down.
void wheelNotch(QWidget* over, int delta) {
    const QPoint at = over->rect().center();
    QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &wheel);
}

} // namespace

class QtWidgetTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }
    QWidget* viewport() { return f_.viewport(); }
    void addTwo() {
        w().annoAdd(u"10:00:00"_s, u"Opening"_s);
        w().annoAdd(u"10:05:00"_s, u"Witness"_s);
    }
    void addThree() {
        addTwo();
        w().annoAdd(u"10:10:00"_s, u"Recess"_s);
    }
    // What has the focus, by a name a test can read.
    QString focusName() {
        QWidget* w = QApplication::focusWidget();
        return w == nullptr              ? u"(none)"_s
               : w == p().gridView()     ? u"grid"_s
               : w == p().editorWidget() ? u"notes"_s
                                         : w->objectName();
    }
    // Presses Tab (or Shift+Tab) count times on whatever has the focus; the names of what had
    // it after each press.
    QString walk(int count, bool back) {
        QStringList seen;
        for (int i = 0; i < count && QApplication::focusWidget() != nullptr; ++i) {
            QTest::keyClick(QApplication::focusWidget(), back ? Qt::Key_Backtab : Qt::Key_Tab,
                            back ? Qt::ShiftModifier : Qt::NoModifier);
            seen << focusName();
        }
        return seen.join(u' ');
    }

  private slots:
    // With the host's field after the control, where Tab goes on to.
    void init() { QVERIFY(f_.open({}, {}, {}, true)); }
    void cleanup() { f_.close(); }

    // A click on the time cell of an annotation's main row opens the editor over its notes; keys
    // go through the filter (the apostrophe becomes a grave accent, + and & are refused, Enter in
    // entry style 1 breaks the line), the row grows with its lines under the editor, and nothing
    // reaches the host until the focus leaves.
    void clickTypeAndLeave() {
        addThree();
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        f_.clickCell(2, 0);
        QCOMPARE(w().selected(), 1);
        QCOMPARE(p().grid().row(), 3);
        QCOMPARE(p().grid().col(), 1);
        QVERIFY(p().editorWidget()->hasFocus());
        QVERIFY2(f_.editorOver(3, 1), "editor not over its cell");
        const int oneLine = p().grid().rowHeight(3);
        QPlainTextEdit* ed = p().editorWidget();
        QTest::keyClicks(ed, u"It's"_s);
        QTest::keyClicks(ed, u"a+b&c"_s);
        QTest::keyClick(ed, Qt::Key_Return);
        QTest::keyClicks(ed, u"second line"_s);
        QCOMPARE(ed->toPlainText(), u"It`sabc\nsecond line"_s);
        QCOMPARE(p().editor().text(), Str(u"It`sabc\r\nsecond line"));
        QVERIFY(p().grid().rowHeight(3) > oneLine);
        QVERIFY(f_.editorOver(3, 1));
        QCOMPARE(modified.count(), 0);
        f_.leave();
        QCOMPARE(modified.count(), 1);
        QCOMPARE(modified.at(0).at(0).value<qint16>(), qint16(1));
        QCOMPARE(w().annoData(1), u"It`sabc\r\nsecond line"_s);
    }

    // The clerk goes on typing into notes recovered from a crashed session (what the recovery
    // brings back is proven on the control itself).
    void aCrashedSessionIsRecoveredAndTypingGoesOn() {
        {
            auto crashed = journal::Journal::start(w().applicationFolder().toStdU16String(),
                                                   "Recovery", journal::JournalOptions{});
            QVERIFY(crashed->working());
            crashed->added(0, u"10:05:00", u"Witness", u"");
            crashed->liveText(0, u"typed before the crash");
        } // destroyed without closing, as a crash leaves it
        // The hearing's identity: the control's own until the host names the hearing.
        QCOMPARE(w().hearingId().size(), 32);
        w().setProperty("hearingId", u"H-500-01"_s);
        QCOMPARE(w().hearingId(), u"H-500-01"_s);
        const QList<DalmureWidget::RecoverableSession> found = w().recoverableSessions();
        QCOMPARE(found.size(), 1);
        QVERIFY(w().recoverSession(found[0].id));
        f_.clickCell(1, 1);
        QTest::keyClicks(p().editorWidget(), u", and after"_s);
        f_.leave();
        QCOMPARE(w().annoData(0), u"typed before the crash, and after"_s);
    }

    // The control's menu, however the clerk opens it, with its items in the states the list and
    // the modes give them; opening it leaves the selection and the notes as they were. F10
    // alone is no menu key.
    void theMenuOpensWithItsStates_data() {
        QTest::addColumn<bool>("annotations");
        QTest::addColumn<bool>("modes"); // NoPV and NoModif
        QTest::addColumn<bool>("onGrid");
        QTest::addColumn<Qt::Key>("key"); // Qt::Key_unknown: a right click on a cell
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("seen");
        const QString items = QStringLiteral("mnuPopupJouer mnuPopupRenommer mnuPopupSupprimer s1 "
                                             "mnuPopupImprimer s2 mnuPopupDalmure");
        QTest::newRow("empty list: play and print disabled")
            << false << false << true << Qt::Key_unknown << false
            << QStringLiteral("mnuPopupJouer-d mnuPopupRenommer mnuPopupSupprimer s1 "
                              "mnuPopupImprimer-d s2 mnuPopupDalmure");
        QTest::newRow("NoPV hides view and its separator, NoModif disables rename and delete")
            << true << true << true << Qt::Key_unknown << false
            << QStringLiteral("mnuPopupJouer mnuPopupRenommer-d mnuPopupSupprimer-d s1 "
                              "mnuPopupImprimer s2-h mnuPopupDalmure-h");
        QTest::newRow("menu key in the notes")
            << true << false << false << Qt::Key_Menu << false << items;
        QTest::newRow("Shift+F10 in the notes")
            << true << false << false << Qt::Key_F10 << true << items;
        QTest::newRow("menu key on the grid")
            << true << false << true << Qt::Key_Menu << false << items;
        QTest::newRow("Shift+F10 on the grid")
            << true << false << true << Qt::Key_F10 << true << items;
        QTest::newRow("F10 alone") << true << false << true << Qt::Key_F10 << false << QString();
    }
    void theMenuOpensWithItsStates() {
        QFETCH(bool, annotations);
        QFETCH(bool, modes);
        QFETCH(bool, onGrid);
        QFETCH(Qt::Key, key);
        QFETCH(bool, shift);
        QFETCH(QString, seen);
        QString shown;
        answerMenus(p(), shown);
        if (annotations) {
            addThree();
            f_.clickCell(2, 1);
        }
        w().setNoPV(modes);
        w().setNoModif(modes);
        if (key == Qt::Key_unknown) {
            f_.clickCell(annotations ? 2 : 0, annotations ? 1 : 0, Qt::RightButton);
        } else {
            QWidget* target = onGrid ? static_cast<QWidget*>(p().gridView()) : p().editorWidget();
            target->setFocus();
            QTest::keyClick(target, key, shift ? Qt::ShiftModifier : Qt::NoModifier);
        }
        QCOMPARE(shown, seen);
        if (annotations) {
            QCOMPARE(w().selected(), 1);
            QCOMPARE(p().editorWidget()->toPlainText(), QString());
        }
    }

    // Up, Down, Home, End, Page Up and Page Down on the grid go by whole annotations and select
    // as a click does: the editor opens over the notes, and notes typed are committed on the way.
    void moveKeysOnTheGridSelectAsAClickDoes_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<int>("selected"); // -1: any further down
        QTest::newRow("Down") << 0 << Qt::Key_Down << 1;
        QTest::newRow("End") << 1 << Qt::Key_End << 2;
        QTest::newRow("Down on the last") << 2 << Qt::Key_Down << 2;
        QTest::newRow("Up") << 2 << Qt::Key_Up << 1;
        QTest::newRow("Up on the first") << 0 << Qt::Key_Up << 0;
        QTest::newRow("Home") << 1 << Qt::Key_Home << 0;
        QTest::newRow("Page Down") << 0 << Qt::Key_PageDown << -1;
        QTest::newRow("Page Up") << 2 << Qt::Key_PageUp << 0;
    }
    void moveKeysOnTheGridSelectAsAClickDoes() {
        QFETCH(int, from);
        QFETCH(Qt::Key, key);
        QFETCH(int, selected);
        addThree();
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        f_.clickCell(2 * from + 1, 1);
        QTest::keyClicks(p().editorWidget(), u"x"_s);
        QTableView* grid = p().gridView();
        grid->setFocus();
        QTest::keyClick(grid, key);
        if (selected < 0)
            QVERIFY(w().selected() > from);
        else
            QCOMPARE(w().selected(), selected);
        QCOMPARE(w().annoData(from), u"x"_s);
        QCOMPARE(modified.count(), 1);
        if (w().selected() != from) {
            QCOMPARE(p().grid().row(), 2 * w().selected() + 1);
            QVERIFY(f_.editorOver(2 * w().selected() + 1, 1));
            QVERIFY(p().editorWidget()->hasFocus());
            QCOMPARE(p().editorWidget()->toPlainText(), QString());
        }
    }

    // A delete the host answers at once, inside its slot: the annotation now shown where the
    // deleted one was is selected, also when the deleted one was the last of the list, and the
    // keys go on from there.
    void aDeleteAnsweredInTheSlotSelectsTheAnnotationShownInstead_data() {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("selected");
        QTest::newRow("the last") << 2 << 1;
        QTest::newRow("the middle one") << 1 << 1;
        QTest::newRow("the first") << 0 << 0;
    }
    void aDeleteAnsweredInTheSlotSelectsTheAnnotationShownInstead() {
        QFETCH(int, deleted);
        QFETCH(int, selected);
        addThree();
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [this](qint16& i) { w().annoDelete(i); });
        f_.clickCell(2 * deleted + 1, 1);
        QTest::mouseClick(p().buttonWidget(ButtonId::Delete), Qt::LeftButton);
        QCOMPARE(w().annoCount(), 2);
        QCOMPARE(w().selected(), selected);
        QVERIFY(f_.editorOver(2 * selected + 1, 1));
        p().gridView()->setFocus();
        QTest::keyClick(p().gridView(), selected == 0 ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(w().selected(), 1 - selected);
    }

    // Tab goes from the field before the control through its visible commands from left to
    // right, the list and the notes, then on to the field after it; Shift+Tab goes back the same
    // way. Commands the modes hide are passed over, and so are the notes while no annotation is
    // selected.
    void tabWalksThroughTheControlInVisualOrder_data() {
        QTest::addColumn<bool>("annotations");
        QTest::addColumn<bool>("noPlay");
        QTest::addColumn<bool>("noPV");
        QTest::addColumn<bool>("noModif");
        QTest::addColumn<QString>("order");
        QTest::newRow("every command")
            << true << false << false << false
            << QStringLiteral("CWButton3 CWButton4 CWButton2 CWButton5 CWButton1 CWButton6(0) "
                              "grid notes after");
        QTest::newRow("NoPlay and NoPV") << true << true << true << false
                                         << u"CWButton4 CWButton1 CWButton6(0) grid notes after"_s;
        QTest::newRow("NoModif")
            << true << false << false << true
            << u"CWButton3 CWButton2 CWButton5 CWButton6(0) grid notes after"_s;
        QTest::newRow("empty list: no notes")
            << false << false << false << false
            << QStringLiteral("CWButton3 CWButton4 CWButton2 CWButton5 CWButton1 CWButton6(0) "
                              "grid after");
    }
    void tabWalksThroughTheControlInVisualOrder() {
        QFETCH(bool, annotations);
        QFETCH(bool, noPlay);
        QFETCH(bool, noPV);
        QFETCH(bool, noModif);
        QFETCH(QString, order);
        if (annotations)
            addTwo();
        w().setNoPlay(noPlay);
        w().setNoPV(noPV);
        w().setNoModif(noModif);
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(focusName(), u"before"_s);
        const int stops = static_cast<int>(order.count(u' ')) + 1;
        QCOMPARE(walk(stops, false), order);

        QStringList back = order.split(u' ');
        back.removeLast();
        std::reverse(back.begin(), back.end());
        back << u"before"_s;
        QCOMPARE(walk(stops, true), back.join(u' '));
    }

    // From the keyboard alone: notes typed are kept when Tab leaves them, and Space or Enter on
    // a command reached by Shift+Tab runs it (rename, through its prompt). The button shows
    // that it has the keyboard.
    void tabLeavesTheNotesAndAKeyRunsACommand_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("Space") << Qt::Key_Space;
        QTest::newRow("Enter") << Qt::Key_Return;
    }
    void tabLeavesTheNotesAndAKeyRunsACommand() {
        QFETCH(Qt::Key, key);
        w().annoAdd(u"10:00:00"_s, u"Opening"_s);
        QToolButton* rename = p().buttonWidget(ButtonId::Rename);
        const QImage unfocused = rename->grab().toImage();
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(walk(8, false).section(u' ', -1), u"notes"_s);
        QTest::keyClicks(p().editorWidget(), u"sworn in"_s);
        QTest::keyClick(p().editorWidget(), Qt::Key_Tab);
        QCOMPARE(focusName(), u"after"_s);
        QCOMPARE(w().annoData(0), u"sworn in"_s);

        int prompted = 0;
        p().setModalDriver([&](QWidget* modal) {
            prompted += modal->findChild<QLineEdit*>() != nullptr ? 1 : 0;
            answerPrompt(modal, u"Opening statement"_s);
        });
        QCOMPARE(walk(7, true).section(u' ', -1), u"CWButton4"_s);
        QVERIFY2(rename->grab().toImage() != unfocused, "no focus shown on the button");
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(prompted, 1);
        QCOMPARE(w().annoDesc(0), u"Opening statement"_s);
        QCOMPARE(w().annoData(0), u"sworn in"_s);
    }

    // The host giving the widget the focus while the list is empty: the list takes the keyboard
    // (where it lands among annotations, after resizes too, is the clerk test's to find).
    void theHostsFocusOnAnEmptyListGoesToTheList() {
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        w().setFocus();
        QCOMPARE(focusName(), u"grid"_s);
    }

    // A picture of the widget with five annotations, one of them selected with notes, kept as a
    // test artifact (artifacts/dalmure-widget.png in the test's build folder).
    void rendersFiveAnnotationsWithTheSelectionHighlighted() {
        DalmureWidget& w = f_.w();
        const char* descs[] = {"Ouverture de l'audience", "Appel du rôle", "Témoin 1",
                               "Contre-interrogatoire", "Ajournement"};
        for (int i = 0; i < 5; ++i)
            w.annoAdd(u"10:0%1:00"_s.arg(i * 2), QString::fromUtf8(descs[i]));
        QtPlatform& p = f_.p();
        QTest::mouseClick(p.gridView()->viewport(), Qt::LeftButton, {}, p.cellRect(0, 1).center());
        QTest::keyClicks(p.editorWidget(), u"Parties presentes."_s);
        QTest::keyClick(p.editorWidget(), Qt::Key_Return);
        QTest::keyClicks(p.editorWidget(), u"Me Gagnon pour la defense."_s);
        QCOMPARE(w.selected(), 0);
        QCOMPARE(p.grid().topRow(), 0);
        QTest::qWait(50);

        const QPixmap shot = w.grab();
        const qreal ratio = shot.devicePixelRatio();
        const QImage image = shot.toImage().convertToFormat(QImage::Format_RGB32);
        // Drawn at the device pixel ratio (HiDPI): the picture has that many pixels per point.
        QCOMPARE(image.width(), qRound(w.width() * ratio));
        QVERIFY(QDir().mkpath(QStringLiteral(DALMURE_ARTIFACT_DIR)));
        const QString file =
            ratio > 1 ? QStringLiteral(DALMURE_ARTIFACT_DIR "/dalmure-widget@%1x.png").arg(ratio)
                      : QStringLiteral(DALMURE_ARTIFACT_DIR "/dalmure-widget.png");
        QVERIFY(image.save(file));

        // Not blank: many colours (text, icons, frames); the highlight colour of the selected
        // annotation (the grid's BackColorFixed, 0x00BBGGRR) covers a good part of its rows.
        const std::int32_t fixed = p.grid().backColorFixed();
        const QRgb highlight = qRgb(fixed & 0xFF, (fixed >> 8) & 0xFF, (fixed >> 16) & 0xFF);
        QSet<QRgb> colours;
        int highlighted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y)); // opaque: RGB32 has no alpha
                highlighted += image.pixel(x, y) == highlight ? 1 : 0;
            }
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
        const QRect cell = p.cellRect(0, 1);
        QVERIFY2(highlighted > cell.width() * cell.height() * ratio * ratio / 2,
                 qPrintable(QString::number(highlighted)));
        // The first row's area in the picture is in the highlight colour.
        const QPoint inRow =
            p.gridView()->viewport()->mapTo(&w, cell.topLeft() + QPoint(cell.width() - 4, 3));
        QCOMPARE(image.pixel(inRow * ratio), highlight);
    }

    // The notes editor.

    void aReopenedNoteShowsEveryLineFromTheFirst_data() {
        QTest::addColumn<int>("lines");
        for (int lines : {2, 3, 5})
            QTest::addRow("%d lines", lines) << lines;
    }
    void aReopenedNoteShowsEveryLineFromTheFirst() {
        addTwo();
        QFETCH(int, lines);
        QPlainTextEdit* ed = p().editorWidget();
        w().annoAdd(u"10:12:00"_s, u"Note"_s);
        for (int i = 0; i < lines; ++i) {
            if (i > 0)
                QTest::keyClick(ed, Qt::Key_Return);
            QTest::keyClicks(ed, u"line %1"_s.arg(i + 1));
        }
        f_.leave();
        QCOMPARE(w().annoData(2).count(u"\r\n"_s), lines - 1);
        // Opened again, caret at the end: the first line stays at the top, the last one inside
        // the editor.
        f_.clickCell(4, 1);
        QCoreApplication::processEvents();
        QVERIFY(ed->isVisible());
        QCOMPARE(ed->blockCount(), lines);
        QCOMPARE(ed->verticalScrollBar()->value(), 0);
        QVERIFY(lineRect(ed, QTextCursor::Start).top() >= 0);
        const QRect last = lineRect(ed, QTextCursor::End);
        QVERIFY2(last.bottom() <= ed->viewport()->height() + 1,
                 qPrintable(u"last line ends at %1, editor %2 high"_s.arg(last.bottom())
                                .arg(ed->viewport()->height())));
    }

    void editsOfTheWidgetKeepTheHostsLineBreaks() {
        addTwo();
        QPlainTextEdit* ed = p().editorWidget();
        w().annoAdd(u"10:10:00"_s, u"Third"_s, u"a\nb\nc"_s);
        QCOMPARE(p().editor().selStart(), 5); // the caret after the host's text
        QTest::keyClick(ed, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_Delete);
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClicks(ed, u"Z"_s);
        QTest::keyClick(ed, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_X, Qt::ControlModifier); // cut
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier); // paste
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p().editor().text(), Str(u"a\nb\nZZ"));
        QCOMPARE(p().editor().selStart(), 6);
        f_.leave();
        QCOMPARE(w().annoData(2), u"a\nb\nZZ"_s);
    }

    // The notes being typed stay in view: the window shrinking under the last annotation's
    // notes scrolls the list to keep them shown, and keys typed after the clerk scrolled them
    // away bring them back first. No key is lost on the way.
    void theEditedNotesStayInView_data() {
        QTest::addColumn<bool>("clerkScrolls");
        QTest::newRow("the window shrinks") << false;
        QTest::newRow("the clerk scrolls away") << true;
    }
    void theEditedNotesStayInView() {
        addTwo();
        QFETCH(bool, clerkScrolls);
        for (int i = 2; i < 20; ++i)
            w().annoAdd(u"10:%1:00"_s.arg(10 + i), u"A%1"_s.arg(i));
        const int last = 2 * 19 + 1;
        f_.focusGrid(1);
        press(Qt::Key_End);
        QCOMPARE(w().selected(), 19);
        typeKeys(u"D4"_s);
        const auto shownAndTyping = [&](const char* when) {
            QVERIFY2(p().editorWidget()->isVisible(), when);
            QVERIFY2(f_.editorOver(last, 1), when);
            QWidget* editor = p().editorWidget();
            const QRect typed(editor->mapTo(f_.window(), QPoint()), editor->size());
            const QRect shown(f_.viewport()->mapTo(f_.window(), QPoint()), f_.viewport()->size());
            QVERIFY2(shown.contains(typed), when);
            QCOMPARE(focused(), static_cast<QWidget*>(p().editorWidget()));
        };
        if (clerkScrolls) {
            for (int i = 0; i < 20; ++i)
                wheelNotch(f_.viewport(), 120);
            QVERIFY(!f_.viewport()->rect().intersects(p().cellRect(last, 1)));
            typeKeys(u"E5"_s);
            shownAndTyping("after the clerk scrolled away");
        } else {
            f_.window()->resize(700, 300);
            QCoreApplication::processEvents();
            shownAndTyping("shrunk");
            typeKeys(u"E5"_s);
            for (const int h : {560, 600}) {
                f_.window()->resize(700, h);
                QCoreApplication::processEvents();
                shownAndTyping("grown again");
            }
        }
        typeKeys(u"F6"_s);
        f_.leave();
        QCOMPARE(w().annoData(19), u"D4E5F6"_s);
    }

    // A notch scrolls by whole annotations: the top of the list is always a main row, and
    // the notches up come back to where the notches down started.
    void aWheelNotchScrollsByWholeAnnotations() {
        addTwo();
        for (int i = 0; i < 40; ++i)
            w().annoAdd(u"11:%1:00"_s.arg(i, 2, 10, QChar(u'0')), u"A%1"_s.arg(i));
        auto notch = [&](int delta) {
            wheelNotch(f_.viewport(), delta);
            return p().grid().topRow();
        };
        p().grid().setTopRow(0);
        QCOMPARE(notch(-120), 2);
        QCOMPARE(notch(-240), 6);
        p().grid().setTopRow(7); // a notes row at the top, as a drag of the scroll bar leaves it
        QCOMPARE(notch(-120), 8);
        QCOMPARE(notch(120), 6);
        QCOMPARE(notch(360), 0);
        QCOMPARE(notch(120), 0);
    }

    // Backspace removes the character before the caret whole: an emoji (two UTF-16 units),
    // a line break (CR LF), an accented letter.
    void backspaceRemovesAWholeCharacter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("backspaces");
        QTest::addColumn<QString>("left");
        QTest::newRow("emoji") << u"ab\U0001F600"_s << 1 << u"ab"_s;
        QTest::newRow("two emoji") << u"a\U0001F600\U0001F44D"_s << 2 << u"a"_s;
        QTest::newRow("line break") << u"a\nb"_s << 2 << u"a"_s;
        QTest::newRow("accent") << u"t\u00e9"_s << 1 << u"t"_s;
    }
    void backspaceRemovesAWholeCharacter() {
        addTwo();
        QFETCH(QString, typed);
        QFETCH(int, backspaces);
        QFETCH(QString, left);
        f_.openNotes(1);
        QPlainTextEdit* ed = p().editorWidget();
        // Each character as a keyboard (or an input method) sends it: its key with its text.
        for (int i = 0; i < typed.size(); ++i) {
            const int n = typed.at(i).isHighSurrogate() ? 2 : 1;
            const QString c = typed.mid(i, n);
            i += n - 1;
            if (c == u"\n"_s) {
                QTest::keyClick(ed, Qt::Key_Return);
                continue;
            }
            QTest::sendKeyEvent(QTest::Press, ed, Qt::Key_unknown, c, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, ed, Qt::Key_unknown, c, Qt::NoModifier);
        }
        for (int i = 0; i < backspaces; ++i)
            QTest::keyClick(ed, Qt::Key_Backspace);
        QCOMPARE(ed->toPlainText(), left);
        f_.leave();
        QCOMPARE(w().annoData(0), left);
    }

    // A right click on the notes opens Qt's text menu (undo, copy, paste ...) with the control's
    // commands under it, in the states the control's own menu gives them; a command chosen there
    // runs on the selected annotation.
    void rightClickOnTheNotesAddsTheCommandsToTheTextMenu_data() {
        QTest::addColumn<bool>("noModif");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("starts");
        QTest::addColumn<QString>("holds");
        QTest::addColumn<QString>("ends");
        QTest::addColumn<int>("asked"); // the annotation delete asks about; -1: none
        // The commands under their own titled section: "Supprimer" there deletes the
        // annotation, not the text.
        const QString readOnly = QStringLiteral("mnuPopupTitle mnuPopupJouer mnuPopupRenommer-d "
                                                "mnuPopupSupprimer-d s1 mnuPopupImprimer s2 "
                                                "mnuPopupDalmure");
        QTest::newRow("read-only notes")
            << true << QString() << u"edit-copy-d | select-all "_s + readOnly << QString()
            << readOnly << -1;
        QTest::newRow("delete chosen from editable notes")
            << false << u"mnuPopupSupprimer"_s << u"edit-undo"_s << u" edit-paste"_s
            << QStringLiteral("select-all mnuPopupTitle mnuPopupJouer mnuPopupRenommer "
                              "mnuPopupSupprimer s1 mnuPopupImprimer s2 mnuPopupDalmure")
            << 1;
    }
    void rightClickOnTheNotesAddsTheCommandsToTheTextMenu() {
        addTwo();
        QFETCH(bool, noModif);
        QFETCH(QString, choose);
        QFETCH(QString, starts);
        QFETCH(QString, holds);
        QFETCH(QString, ends);
        QFETCH(int, asked);
        QPlainTextEdit* notes = p().editorWidget();
        QVERIFY(notes->isVisible());
        QTest::keyClicks(notes, u"abc"_s);
        int askedFor = -1;
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [&](qint16& index) { askedFor = index; });
        QString seen;
        answerMenus(p(), seen, choose);
        w().setNoModif(noModif);
        f_.clickCell(3, 1); // opened again, read-only under NoModif
        rightClickThroughWindow(notes->viewport(), QPoint(5, 5));
        QVERIFY2(seen.startsWith(starts) && seen.contains(holds) && seen.endsWith(ends),
                 qPrintable(seen));
        QCOMPARE(askedFor, asked);
        QCOMPARE(notes->toPlainText(), u"abc"_s);
    }
};

QTEST_MAIN(QtWidgetTest)
#include "qt_widget_test.moc"
