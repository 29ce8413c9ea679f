// The widget under a user's mouse and keyboard: real Qt events on the offscreen platform.
#include "qt_test_support.h"

#include <QAbstractItemView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QToolButton>

#include <functional>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;
using platform::ButtonId;

class QtWidgetTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> host_;

    DalmureWidget& w() { return *host_->control; }
    QtPlatform& p() { return host_->platform(); }
    QWidget* viewport() { return p().gridView()->viewport(); }

    void mouseOnCell(int row, int col, Qt::MouseButton button = Qt::LeftButton) {
        const QRect r = p().cellRect(row, col);
        QVERIFY2(r.isValid(), "cell not laid out");
        QTest::mouseClick(viewport(), button, {}, r.center());
    }
    void addThree() {
        w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Opening"));
        w().annoAdd(QStringLiteral("10:05:00"), QStringLiteral("Witness"));
        w().annoAdd(QStringLiteral("10:10:00"), QStringLiteral("Recess"));
    }
    // The editor's rectangle and a cell's rectangle, both in the frame that holds them.
    QRect editorRect() { return p().editorWidget()->geometry(); }
    QRect cellInFrame(int row, int col) {
        const QRect r = p().cellRect(row, col);
        return QRect(viewport()->mapTo(p().editorWidget()->parentWidget(), r.topLeft()), r.size());
    }

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QVERIFY(makeAppFolder(dir_));
        host_ = std::make_unique<HostWindow>(dir_.path());
    }
    void cleanup() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    void clickSelectsAndOpensEditorOverTheDataCell() {
        addThree();
        // The click lands on the main row of the third annotation, in the time column.
        mouseOnCell(4, 0);
        QCOMPARE(w().selected(), 2);
        auto& grid = p().grid();
        QCOMPARE(grid.row(), 5);
        QCOMPARE(grid.col(), 1);
        for (int r : {4, 5})
            for (int c : {0, 1})
                QCOMPARE(grid.cellBackColorAt(r, c), grid.backColorFixed());
        QCOMPARE(grid.cellBackColorAt(2, 1), grid.backColor());
        QVERIFY(p().editorWidget()->isVisible());
        QVERIFY(p().editor().hasFocus());
        QVERIFY(p().editorWidget()->hasFocus());
        // The editor lies over the data cell: inside it, give or take the rounding of twips.
        const QRect cell = cellInFrame(5, 1).adjusted(-2, -2, 2, 2);
        QVERIFY2(cell.contains(editorRect().center()), "editor not over its cell");
        QVERIFY(editorRect().left() >= cell.left() && editorRect().top() >= cell.top());
        // A click on the data row of the first annotation moves the editor there.
        mouseOnCell(1, 1);
        QCOMPARE(w().selected(), 0);
        QVERIFY(cellInFrame(1, 1).adjusted(-2, -2, 2, 2).contains(editorRect().center()));
    }

    void clickOnTheEmptyListDoesNothing() {
        mouseOnCell(0, 1);
        QCOMPARE(w().selected(), -1);
        QVERIFY(!p().editorWidget()->isVisible());
        QCOMPARE(p().grid().cellBackColorAt(0, 0), p().grid().backColor());
    }

    void typingAndFocusLossCommit() {
        addThree();
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        mouseOnCell(2, 1);
        const int oneLine = p().grid().rowHeight(3);
        QPlainTextEdit* ed = p().editorWidget();
        QTest::keyClicks(ed, QStringLiteral("It's"));
        QTest::keyClicks(ed, QStringLiteral("a+b&c"));
        QTest::keyClick(ed, Qt::Key_Return);
        QTest::keyClicks(ed, QStringLiteral("second line"));
        // The filter: the apostrophe becomes a grave accent, + and & are refused; Enter in
        // entry style 1 types a line break.
        QCOMPARE(ed->toPlainText(), QStringLiteral("It`sabc\nsecond line"));
        QCOMPARE(p().editor().text(), Str(u"It`sabc\r\nsecond line"));
        // The row grows with its lines, and the editor still lies over its cell.
        QVERIFY(p().grid().rowHeight(3) > oneLine);
        QVERIFY(cellInFrame(3, 1).adjusted(-2, -2, 2, 2).contains(editorRect().center()));
        QCOMPARE(modified.count(), 0); // nothing reaches the grid while the editor has the focus
        // The user puts the focus elsewhere in the window: the commit runs.
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(modified.at(0).at(0).value<qint16>(), qint16(1));
        QCOMPARE(w().annoData(1), QStringLiteral("It`sabc\r\nsecond line"));
        QVERIFY(!p().editor().hasFocus());
        // Clicking another annotation after typing commits before selecting it.
        mouseOnCell(0, 1);
        QTest::keyClicks(p().editorWidget(), QStringLiteral("x"));
        mouseOnCell(4, 1);
        QCOMPARE(modified.count(), 2);
        QCOMPARE(w().annoData(0), QStringLiteral("x"));
        QCOMPARE(w().selected(), 2);
    }

    void escapeHidesTheEditorAndTheCommitWaitsForTheFocusLoss() {
        addThree();
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        mouseOnCell(0, 1);
        QTest::keyClicks(p().editorWidget(), QStringLiteral("kept"));
        QTest::keyClick(p().editorWidget(), Qt::Key_Escape);
        QVERIFY(!p().editorWidget()->isVisible());
        QVERIFY(p().editor().hasFocus()); // hidden, yet still focused as the control sees it
        QCOMPARE(p().grid().cellBackColorAt(0, 0), p().grid().backColor());
        QCOMPARE(modified.count(), 0);
        mouseOnCell(2, 0);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(w().annoData(0), QStringLiteral("kept"));
    }

    void style2EnterOpensARealPromptAndAddsTheAnnotation() {
        addThree();
        w().setPvStyle(2);
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        QStringList added;
        connect(&w(), &DalmureWidget::annoAdded, this,
                [&](QString& time, QString& desc) { added << time << desc; });
        QString shownTitle, shownDefault;
        p().setModalDriver([&](QWidget* modal) {
            auto* dlg = qobject_cast<QInputDialog*>(modal);
            QVERIFY(dlg != nullptr);
            shownTitle = dlg->windowTitle();
            shownDefault = dlg->textValue();
            auto* edit = dlg->findChild<QLineEdit*>();
            QVERIFY(edit != nullptr);
            QTest::keyClicks(edit, QStringLiteral("  Objection  "));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        mouseOnCell(0, 1);
        QTest::keyClicks(p().editorWidget(), QStringLiteral("notes"));
        QTest::keyClick(p().editorWidget(), Qt::Key_Return);
        QVERIFY(!shownTitle.isNull());
        QCOMPARE(modified.count(), 1);
        QCOMPARE(w().annoData(0), QStringLiteral("notes"));
        QCOMPARE(added, (QStringList{QStringLiteral("10:20:30"), QStringLiteral("Objection")}));
        QCOMPARE(w().annoCount(), 4);
        QCOMPARE(w().annoTime(3), QStringLiteral("10:20:30"));
        QCOMPARE(w().annoDesc(3), QStringLiteral("Objection"));
        QCOMPARE(w().selected(), 3);
        QVERIFY(p().editorWidget()->isVisible());
        QVERIFY(p().editorWidget()->toPlainText().isEmpty());

        // A cancelled prompt adds nothing and re-opens the editor on the same annotation.
        p().setModalDriver([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QTest::keyClick(p().editorWidget(), Qt::Key_Return);
        QCOMPARE(w().annoCount(), 4);
        QCOMPARE(w().selected(), 3);
        QVERIFY(p().editorWidget()->isVisible());
    }

    void rightClickOpensTheMenuWithItsStates() {
        struct Seen {
            bool enabled, visible;
        };
        std::map<QString, Seen> seen;
        bool opened = false;
        QString choose;
        p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            opened = true;
            seen.clear();
            QAction* pick = nullptr;
            for (QAction* a : menu->actions()) {
                seen[a->objectName()] = {a->isEnabled(), a->isVisible()};
                if (a->objectName() == choose)
                    pick = a;
            }
            if (pick) // the right button chooses
                QTest::mouseClick(menu, Qt::RightButton, {}, menu->actionGeometry(pick).center());
            else
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        // The empty list: play and print disabled, the others enabled.
        mouseOnCell(0, 0, Qt::RightButton);
        QVERIFY(opened);
        QVERIFY(!seen.at(QStringLiteral("mnuPopupJouer")).enabled);
        QVERIFY(!seen.at(QStringLiteral("mnuPopupImprimer")).enabled);
        QVERIFY(seen.at(QStringLiteral("mnuPopupRenommer")).enabled);
        QVERIFY(seen.at(QStringLiteral("mnuPopupSupprimer")).enabled);
        QVERIFY(seen.at(QStringLiteral("mnuPopupDalmure")).enabled);
        QVERIFY(seen.at(QStringLiteral("s2")).visible);

        // NoPV hides the view item and its separator; NoModif disables rename and delete.
        addThree();
        mouseOnCell(2, 1);
        w().setNoPV(true);
        w().setNoModif(true);
        mouseOnCell(2, 1, Qt::RightButton);
        QVERIFY(seen.at(QStringLiteral("mnuPopupJouer")).enabled);
        QVERIFY(seen.at(QStringLiteral("mnuPopupImprimer")).enabled);
        QVERIFY(!seen.at(QStringLiteral("mnuPopupDalmure")).visible);
        QVERIFY(!seen.at(QStringLiteral("s2")).visible);
        QVERIFY(!seen.at(QStringLiteral("mnuPopupRenommer")).enabled);
        QVERIFY(!seen.at(QStringLiteral("mnuPopupSupprimer")).enabled);
        w().setNoPV(false);
        w().setNoModif(false);

        // Choosing delete asks the host, whose slot changes the by-reference index.
        int asked = -1;
        connect(&w(), &DalmureWidget::annoDeleteRequest, this, [&](qint16& index) {
            asked = index;
            index = 0;
        });
        choose = QStringLiteral("mnuPopupSupprimer");
        mouseOnCell(2, 1, Qt::RightButton);
        QCOMPARE(asked, 1);
        QCOMPARE(w().selected(), 0);
    }

    void renameThroughTheButtonWithTheHostCancelling() {
        addThree();
        mouseOnCell(2, 1);
        p().setModalDriver([](QWidget* modal) {
            auto* edit = modal->findChild<QLineEdit*>();
            QVERIFY(edit != nullptr);
            edit->selectAll();
            QTest::keyClicks(edit, QStringLiteral("New name"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QString oldSeen, newSeen;
        auto c = connect(&w(), &DalmureWidget::annoModifiedDesc, this,
                         [&](qint16&, QString& oldDesc, QString& newDesc, bool& cancel) {
                             oldSeen = oldDesc;
                             newSeen = newDesc;
                             oldDesc = QStringLiteral("Host's own");
                             cancel = true;
                         });
        QTest::mouseClick(p().buttonWidget(ButtonId::CWButton4), Qt::LeftButton);
        QCOMPARE(oldSeen, QStringLiteral("Witness"));
        QCOMPARE(newSeen, QStringLiteral("New name"));
        QCOMPARE(w().annoDesc(1), QStringLiteral("Host's own"));
        disconnect(c);
    }

    void keyboardReachesEveryCommand() {
        addThree();
        // Accessible names are the tooltips; the buttons take the focus from the keyboard.
        for (ButtonId id : platform::kAllButtons) {
            QToolButton* b = p().buttonWidget(id);
            QCOMPARE(b->accessibleName(), b->toolTip());
            QVERIFY(!b->toolTip().isEmpty());
            QVERIFY(b->focusPolicy() & Qt::TabFocus);
        }
        // Arrows move the current cell, a character key opens the editor on that annotation.
        p().gridView()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(p().gridView(), Qt::Key_Home);
        QTest::keyClick(p().gridView(), Qt::Key_Down);
        QTest::keyClick(p().gridView(), Qt::Key_Down);
        QCOMPARE(p().grid().row(), 2);
        QTest::keyClick(p().gridView(), Qt::Key_Space);
        QCOMPARE(w().selected(), 1);
        QVERIFY(p().editorWidget()->hasFocus());
        // The menu key opens the popup menu; play is chosen from the keyboard.
        QSignalSpy played(&w(), &DalmureWidget::dblClick);
        p().setModalDriver([](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Down);
            QTest::keyClick(modal, Qt::Key_Return);
        });
        p().gridView()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(p().gridView(), Qt::Key_Menu);
        QCOMPARE(played.count(), 1);
        // Space on a focused button runs its command.
        QSignalSpy deleteAsked(&w(), &DalmureWidget::annoDeleteRequest);
        p().buttonWidget(ButtonId::CWButton1)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(p().buttonWidget(ButtonId::CWButton1), Qt::Key_Space);
        QCOMPARE(deleteAsked.count(), 1);
    }

    void doubleClickPlaysAndHoverAnnouncesTooltips() {
        addThree();
        QSignalSpy played(&w(), &DalmureWidget::dblClick);
        // A real double click: press, release, press, double click, release. (The first click
        // brings the annotation to the top: the second press finds it there.)
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, p().cellRect(2, 1).center());
        const QRect r = p().cellRect(2, 1);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(played.count(), 1);
        QCOMPARE(w().selected(), 1);

        QStringList tips;
        connect(&w(), &DalmureWidget::toolTipChanged, this,
                [&](QString& text) { tips.append(text); });
        auto move = [](QWidget* target) {
            QMouseEvent e(QEvent::MouseMove, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(target, &e);
        };
        move(p().buttonWidget(ButtonId::CWButton1));
        move(p().buttonWidget(ButtonId::CWButton1));
        move(viewport());
        move(viewport());
        QCOMPARE(tips.size(), 2);
        QCOMPARE(tips.at(0), p().buttonWidget(ButtonId::CWButton1)->toolTip());
        QCOMPARE(tips.at(1), QString());
    }
};

QTEST_MAIN(QtWidgetTest)
#include "qt_widget_test.moc"
