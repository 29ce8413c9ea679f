// What a screen reader finds in the control, through Qt's accessibility interfaces with real
// input events: the grid as a list of annotations, the menu's names, the news of changes, the
// find bar's count, the notes editor and the commands, and the paths where a reader holds on to
// something that went away. The bus walk (tests/a11y) reads a long hearing over AT-SPI.
#include "qt_test_support.h"

#include <QAccessible>
#include <QToolButton>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

// One accessibility event as a reader would have taken it: what it is about and its name then.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    int child;
    QString name;
    QAccessible::Role role;
};
std::vector<Heard> heard;

void listen(QAccessibleEvent* e) {
    QAccessibleInterface* iface = e->accessibleInterface();
    heard.push_back({e->type(), e->object(), e->child(),
                     iface && iface->isValid() ? iface->text(QAccessible::Name) : QString(),
                     iface ? iface->role() : QAccessible::NoRole});
}

// The names of the events of one type about the grid's items, in order.
QStringList itemsHeard(QAccessible::Event type) {
    QStringList out;
    for (const Heard& h : heard)
        if (h.type == type && h.role == QAccessible::ListItem)
            out << h.name;
    return out;
}

} // namespace

class QtAccessibilityTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }
    QAccessibleInterface* list() { return QAccessible::queryAccessibleInterface(f_.view()); }
    // Lets the control's operation end and the news of it go out.
    static void settle() { QTest::qWait(1); }
    QStringList names() {
        QStringList out;
        QAccessibleInterface* l = list();
        for (int i = 0; i < l->childCount(); ++i)
            out << l->child(i)->text(QAccessible::Name);
        return out;
    }

  private slots:
    void initTestCase() {
        QAccessible::installUpdateHandler(listen);
        // The bridge comes up once the application has found the accessibility bus.
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
    }
    void cleanupTestCase() { QAccessible::installUpdateHandler(nullptr); }
    void init() {
        QVERIFY(f_.open());
        w().annoAdd(u"10:00:00"_s, u"Opening"_s);
        w().annoAdd(u"10:05:00"_s, u"Witness"_s, u"Sworn in\r\nby the clerk"_s);
        w().annoAdd(u"10:09:00"_s, u"Exhibit P-1"_s);
        settle();
        heard.clear();
    }
    void cleanup() {
        // Whatever the test did, no news named a grid cell by Qt's own table numbering (which
        // the list's items do not follow).
        QString cellNews;
        for (const Heard& h : heard)
            if (f_.isOpen() && h.object == p().gridView() && h.child >= 0)
                cellNews = u"news %1 about grid cell %2"_s.arg(h.type).arg(h.child);
        f_.close();
        QVERIFY2(cellNews.isEmpty(), qPrintable(cellNews));
    }

    // The grid reads as one item per annotation, "time, description, notes" on one line, in
    // the list's order; items and indexes agree both ways; nothing past either end.
    void theGridReadsAsAListOfAnnotations() {
        QAccessibleInterface* l = list();
        QVERIFY(l != nullptr);
        QCOMPARE(l->role(), QAccessible::List);
        QCOMPARE(l->text(QAccessible::Name), u"Annotations"_s);
        QVERIFY(l->state().focusable);
        QCOMPARE(names(),
                 (QStringList{u"10:00:00, Opening"_s, u"10:05:00, Witness, Sworn in by the clerk"_s,
                              u"10:09:00, Exhibit P-1"_s}));
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* item = l->child(i);
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->parent(), l);
            QCOMPARE(l->indexOfChild(item), i);
            QCOMPARE(l->child(i), item); // the same item each time a reader asks
            QVERIFY(item->state().selectable);
            QCOMPARE(item->state().selected, i == 2); // the last one added
            const QRect r = item->rect();
            QVERIFY(!r.isEmpty());
            QCOMPARE(l->childAt(r.center().x(), r.center().y()), item);
        }
        QCOMPARE(l->child(1)->text(QAccessible::Description), u"Sworn in by the clerk"_s);
        QCOMPARE(l->child(3), nullptr);
        QCOMPARE(l->child(-1), nullptr);
        // Qt's own view of the grid's cells stays out of the list.
        QCOMPARE(l->childCount(), 3);

        // The empty list has no item, and no focused one.
        w().clearAll();
        settle();
        QCOMPARE(l->childCount(), 0);
        QCOMPARE(l->child(0), nullptr);
        p().gridView()->setFocus();
        settle();
        QCOMPARE(l->focusChild(), nullptr);
    }

    // The selected annotation is the focused item while the grid has the focus; a click
    // moves it and the reader hears the new one.
    void theSelectedAnnotationIsTheFocusedItem() {
        QAccessibleInterface* l = list();
        (void)names(); // the reader has looked at the list
        p().gridView()->setFocus();
        f_.clickCell(0, 1);
        settle();
        QCOMPARE(w().selected(), 0);
        QVERIFY(l->child(0)->state().selected);
        QVERIFY(!l->child(2)->state().selected);
        QCOMPARE(itemsHeard(QAccessible::Selection), QStringList{u"10:00:00, Opening"_s});

        heard.clear();
        p().gridView()->setFocus();
        settle();
        QCOMPARE(l->focusChild(), l->child(0));
        QVERIFY(l->child(0)->state().focused);
        QCOMPARE(itemsHeard(QAccessible::Focus), QStringList{u"10:00:00, Opening"_s});
        // Elsewhere in the window: the list has no focused item.
        f_.elsewhere()->setFocus();
        settle();
        QCOMPARE(l->focusChild(), nullptr);
        QVERIFY(!l->child(0)->state().focused);
    }

    // Added and deleted annotations are announced, a hearing loaded at once is not, and items
    // held keep reading their own annotations.
    void changesAreAnnounced() {
        QAccessibleInterface* l = list();
        (void)names(); // the reader has seen every item

        w().annoAdd(u"10:07:00"_s, u"Recess"_s);
        settle();
        QCOMPARE(itemsHeard(QAccessible::ObjectCreated), QStringList{u"10:07:00, Recess"_s});
        QCOMPARE(l->childCount(), 4);
        QCOMPARE(l->child(2)->text(QAccessible::Name), u"10:07:00, Recess"_s);
        QCOMPARE(l->child(3)->text(QAccessible::Name), u"10:09:00, Exhibit P-1"_s);

        // The host deletes the selected one (the new one).
        heard.clear();
        QAccessibleInterface* recess = l->child(2);
        w().annoDelete(w().selected());
        settle();
        QCOMPARE(itemsHeard(QAccessible::ObjectDestroyed), QStringList{u"10:07:00, Recess"_s});
        QCOMPARE(itemsHeard(QAccessible::ObjectCreated), QStringList{});
        Q_UNUSED(recess); // released meanwhile
        QCOMPARE(names().size(), 3);

        // A whole hearing loaded at once is not announced item by item; the list holds it all,
        // and the items read before still read their own annotations.
        heard.clear();
        QAccessibleInterface* exhibit = l->child(2);
        for (int i = 0; i < 100; ++i)
            w().annoAdd(u"11:%1:00"_s.arg(i / 2, 2, 10, QChar(u'0')), u"Later %1"_s.arg(i));
        settle();
        QCOMPARE(itemsHeard(QAccessible::ObjectCreated), QStringList{});
        QCOMPARE(l->childCount(), 103);
        QCOMPARE(exhibit->text(QAccessible::Name), u"10:09:00, Exhibit P-1"_s);
        QCOMPARE(l->child(102)->text(QAccessible::Name), u"11:49:00, Later 99"_s);
        QCOMPARE(names().size(), 103);
    }

    // The notes editor, every command and the menu's items (their captions without the
    // mnemonics' ampersands) are named; an item's new name is heard once its notes are committed
    // and once it is renamed.
    void theNotesCommandsAndMenuAreNamedAndAnItemsNewNameIsHeard() {
        QAccessibleInterface* notes = QAccessible::queryAccessibleInterface(p().editorWidget());
        QCOMPARE(notes->text(QAccessible::Name), u"Notes"_s);
        QVERIFY(notes->state().multiLine && notes->state().editable);
        for (QToolButton* b : w().findChildren<QToolButton*>())
            QVERIFY2(!QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name).isEmpty(),
                     qPrintable(b->objectName()));
        QStringList items;
        p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            QAccessibleInterface* m = QAccessible::queryAccessibleInterface(menu);
            for (int i = 0; i < m->childCount(); ++i) {
                QAccessibleInterface* c = m->child(i);
                if (c->role() == QAccessible::MenuItem && !c->state().invisible)
                    items << c->text(QAccessible::Name);
            }
            QTest::keyClick(menu, Qt::Key_Escape);
        });
        f_.clickCell(0, 1, Qt::RightButton);
        QVERIFY(items.size() >= 4);
        for (const QString& s : items)
            QVERIFY2(!s.trimmed().isEmpty() && !s.contains(u'&'), qPrintable(s));

        (void)names();
        f_.clickCell(5, 1);
        typeKeys(u"Objection"_s);
        f_.leave();
        p().setModalDriver([](QWidget* modal) { answerPrompt(modal, u"Closing"_s); });
        QTest::mouseClick(p().buttonWidget(platform::ButtonId::Rename), Qt::LeftButton);
        settle();
        QCOMPARE(itemsHeard(QAccessible::NameChanged),
                 (QStringList{"10:09:00, Exhibit P-1, Objection", "10:09:00, Closing, Objection"}));
    }

    // The paths where Qt's own table gives way under a reader: asked for its focused item
    // while nothing is current, a dialog closing over the grid, rows removed while a reader
    // holds an item, and the whole control going.
    void aReaderHoldingWhatWentAwayReadsNothing() {
        heard.clear();
        QAccessibleInterface* l = list();
        (void)names();
        QTableView* view = p().gridView();

        // Nothing current in the view, the grid focused.
        view->setFocus();
        view->selectionModel()->clearCurrentIndex();
        settle();
        QCOMPARE(l->focusChild(), l->child(2));
        // A double click clears the highlight: no annotation is shown selected, none focused.
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, p().cellRect(0, 1).center());
        settle();
        view->setFocus();
        settle();
        if (l->focusChild() != nullptr)
            QVERIFY(l->focusChild()->state().selected);

        // A prompt over the grid, cancelled: the reader asks again as the focus comes back.
        p().setModalDriver([&](QWidget* modal) {
            if (auto* menu = qobject_cast<QMenu*>(modal)) {
                chooseOrClose(menu, menuItem(menu, u"mnuPopupRenommer"_s));
            } else {
                (void)QAccessible::queryAccessibleInterface(modal)->focusChild();
                (void)l->focusChild();
                QTest::keyClick(modal, Qt::Key_Escape);
            }
        });
        f_.clickCell(2, 1, Qt::RightButton);
        settle();
        QAccessibleInterface* f = l->focusChild();
        if (f != nullptr)
            QVERIFY(!f->text(QAccessible::Name).isEmpty());
        QCOMPARE(names().size(), 3);

        // Rows removed under a held item: it reads nothing at once, the ones after it move with
        // their annotations, and it is released on the next turn of the event loop.
        QAccessibleInterface* opening = l->child(0);
        QAccessibleInterface* witness = l->child(1);
        QAccessibleInterface* exhibit = l->child(2);
        const QAccessible::Id witnessId = QAccessible::uniqueId(witness);
        f_.clickCell(2, 1);
        QCOMPARE(w().selected(), 1);
        w().annoDelete(1);
        QVERIFY(!witness->isValid());
        QVERIFY(witness->text(QAccessible::Name).isEmpty());
        QVERIFY(witness->state().invalid);
        QCOMPARE(witness->parent(), nullptr);
        QVERIFY(witness->rect().isEmpty());
        QCOMPARE(l->indexOfChild(witness), -1);
        QCOMPARE(exhibit->text(QAccessible::Name), u"10:09:00, Exhibit P-1"_s);
        QCOMPARE(l->indexOfChild(exhibit), 1);
        QCOMPARE(l->child(1), exhibit);
        settle();
        QCOMPARE(QAccessible::accessibleInterface(witnessId), nullptr);

        // Everything cleared: every held item reads nothing.
        w().clearAll();
        QVERIFY(!opening->isValid());
        QVERIFY(!exhibit->isValid());
        settle();

        // The control goes while a reader holds an item of its grid.
        w().annoAdd(u"11:00:00"_s, u"Adjourned"_s);
        settle();
        QAccessibleInterface* last = list()->child(0);
        const QAccessible::Id lastId = QAccessible::uniqueId(last);
        QCOMPARE(last->text(QAccessible::Name), u"11:00:00, Adjourned"_s);
        f_.closeWindow();
        settle();
        if (QAccessibleInterface* still = QAccessible::accessibleInterface(lastId)) {
            QVERIFY(!still->isValid());
            QVERIFY(still->text(QAccessible::Name).isEmpty());
            QCOMPARE(still->parent(), nullptr);
            QCOMPARE(still->window(), nullptr);
        }
    }

    // The find bar's count: the label's name and description, announced once per change as
    // the clerk types; the line is named as its hint reads.
    void theFindCountIsReadAndAnnounced() {
        f_.clickCell(1, 1);
        press(Qt::Key_Escape); // the keyboard in the list
        press(Qt::Key_F, Qt::ControlModifier);
        QLineEdit* line = f_.findLine();
        QLabel* count = f_.findCount();
        QCOMPARE(focused(), static_cast<QWidget*>(line));
        // "x" finds Exhibit P-1 alone, so does "xi"; "xiz" nothing.
        for (QChar c : u"xiz"_s) {
            typeKeys(QString(c));
            settle();
        }
        QStringList news;
        for (const Heard& h : heard)
            if (h.object == count && h.type == QAccessible::NameChanged)
                news << h.name;
        QCOMPARE(news, (QStringList{u"3 sur 3"_s, u"1 sur 3"_s, u"0 sur 3"_s}));
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(count);
        QCOMPARE(label->text(QAccessible::Name), u"0 sur 3"_s);
        QCOMPARE(label->text(QAccessible::Description), u"0 sur 3"_s);
        QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(line);
        QVERIFY(!line->placeholderText().isEmpty());
        QCOMPARE(edit->text(QAccessible::Name), line->placeholderText());
    }
};

QTEST_MAIN(QtAccessibilityTest)
#include "qt_accessibility_test.moc"
