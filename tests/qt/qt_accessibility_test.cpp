// What a screen reader finds in the control, with real input events and over the AT-SPI bus.
#include "qt_test_support.h"

#include <QAccessible>
#include <QProcess>

namespace {

// One accessibility event as a reader would have taken it: what it is about and its name then.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    QString name;
    QAccessible::Role role;
};
std::vector<Heard> heard;
// No news may name a grid cell by Qt's own table numbering, which the items do not follow.
QString cellNews;

void listen(QAccessibleEvent* e) {
    QAccessibleInterface* iface = e->accessibleInterface();
    heard.push_back({e->type(), e->object(),
                     iface && iface->isValid() ? iface->text(QAccessible::Name) : QString(),
                     iface ? iface->role() : QAccessible::NoRole});
    if (qobject_cast<QTableView*>(e->object()) && e->child() >= 0)
        cellNews = u"news %1 about grid cell %2"_s.arg(e->type()).arg(e->child());
}

QStringList namesHeard(QAccessible::Event type, QObject* object = nullptr) {
    QStringList out;
    for (const Heard& h : heard)
        if (h.type == type && (object ? h.object == object : h.role == QAccessible::ListItem))
            out << h.name;
    return out;
}

} // namespace

class QtAccessibilityTest : public QObject, HearingFixture {
    Q_OBJECT

    QAccessibleInterface* list() { return QAccessible::queryAccessibleInterface(view()); }
    // Lets the control's operation end and the news of it go out.
    static void settle() { QTest::qWait(1); }
    void focusList() {
        view()->setFocus();
        settle();
    }
    QStringList names() {
        QStringList out;
        for (int i = 0; i < list()->childCount(); ++i)
            out << list()->child(i)->text(QAccessible::Name);
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
        QVERIFY(openOn({u"Opening"_s, u"Witness\tSworn in\r\nby the clerk"_s, u"Exhibit P-1"_s}));
        settle();
        heard.clear();
        cellNews.clear();
    }
    void cleanup() {
        close();
        QVERIFY2(cellNews.isEmpty(), qPrintable(cellNews));
    }

    // Items and indexes agree both ways.
    void theGridReadsAsAListOfAnnotations() {
        QAccessibleInterface* l = list();
        QCOMPARE(l->role(), QAccessible::List);
        QCOMPARE(l->text(QAccessible::Name), u"Annotations"_s);
        QVERIFY(l->state().focusable);
        QCOMPARE(names(),
                 (QStringList{u"10:00:00, Opening"_s, u"10:05:00, Witness, Sworn in by the clerk"_s,
                              u"10:10:00, Exhibit P-1"_s}));
        QCOMPARE(l->child(1)->text(QAccessible::Description), u"Sworn in by the clerk"_s);
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* item = l->child(i);
            const QPoint centre = item->rect().center();
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->parent(), l);
            QCOMPARE(l->indexOfChild(item), i);
            QCOMPARE(l->child(i), item); // the same item each time a reader asks
            QVERIFY(item->state().selectable && !item->rect().isEmpty());
            QCOMPARE(item->state().selected, i == 2); // the last one added
            QCOMPARE(l->childAt(centre.x(), centre.y()), item);
        }
        QCOMPARE(l->childCount(), 3); // Qt's own view of the grid's cells stays out
        QVERIFY(l->child(3) == nullptr && l->child(-1) == nullptr);

        // The selected annotation is the focused item while the grid has the focus.
        view()->setFocus();
        clickCell(0, 1);
        settle();
        QCOMPARE(w().selected(), 0);
        QVERIFY(l->child(0)->state().selected && !l->child(2)->state().selected);
        QCOMPARE(namesHeard(QAccessible::Selection), QStringList{u"10:00:00, Opening"_s});
        heard.clear();
        focusList();
        QCOMPARE(l->focusChild(), l->child(0));
        QVERIFY(l->child(0)->state().focused);
        QCOMPARE(namesHeard(QAccessible::Focus), QStringList{u"10:00:00, Opening"_s});
        elsewhere()->setFocus();
        settle();
        QVERIFY(l->focusChild() == nullptr && !l->child(0)->state().focused);

        w().clearAll();
        focusList();
        QVERIFY(l->childCount() == 0 && l->child(0) == nullptr && l->focusChild() == nullptr);
    }

    // A hearing loaded at once is not announced; items held keep reading their annotations.
    void changesAreAnnounced() {
        QAccessibleInterface* l = list();
        (void)names(); // the reader has seen every item
        w().annoAdd(u"10:07:00"_s, u"Recess"_s);
        settle();
        QCOMPARE(namesHeard(QAccessible::ObjectCreated), QStringList{u"10:07:00, Recess"_s});
        QCOMPARE(names().mid(2), (QStringList{u"10:07:00, Recess"_s, u"10:10:00, Exhibit P-1"_s}));
        heard.clear();
        w().annoDelete(w().selected());
        settle();
        QCOMPARE(namesHeard(QAccessible::ObjectDestroyed), QStringList{u"10:07:00, Recess"_s});
        QCOMPARE(namesHeard(QAccessible::ObjectCreated), QStringList{});
        QCOMPARE(names().size(), 3);

        heard.clear();
        QAccessibleInterface* exhibit = l->child(2);
        for (int i = 0; i < 100; ++i)
            w().annoAdd(u"11:%1:00"_s.arg(i / 2, 2, 10, QChar(u'0')), u"Later %1"_s.arg(i));
        settle();
        QCOMPARE(namesHeard(QAccessible::ObjectCreated), QStringList{});
        QCOMPARE(l->childCount(), 103);
        QCOMPARE(exhibit->text(QAccessible::Name), u"10:10:00, Exhibit P-1"_s);
        QCOMPARE(names().last(), u"11:49:00, Later 99"_s);
    }

    // Menu items without the mnemonics' ampersands; a new name heard after notes and a rename.
    void theNotesCommandsAndMenuAreNamedAndAnItemsNewNameIsHeard() {
        QAccessibleInterface* notes = QAccessible::queryAccessibleInterface(p().editorWidget());
        QCOMPARE(notes->text(QAccessible::Name), u"Notes"_s);
        QVERIFY(notes->state().multiLine && notes->state().editable);
        for (QToolButton* b : w().findChildren<QToolButton*>())
            QVERIFY2(!QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name).isEmpty(),
                     qPrintable(b->objectName()));
        QStringList items;
        p().setModalDriver([&](QWidget* modal) {
            QAccessibleInterface* m = QAccessible::queryAccessibleInterface(modal);
            for (int i = 0; i < m->childCount(); ++i)
                if (m->child(i)->role() == QAccessible::MenuItem && !m->child(i)->state().invisible)
                    items << m->child(i)->text(QAccessible::Name);
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        clickCell(0, 1, Qt::RightButton);
        QCOMPARE(items,
                 (QStringList{u"Jouer \u00e0 l'annotation"_s, u"Renommer"_s, u"Supprimer"_s,
                              u"Imprimer la liste"_s, u"Consulter le proc\u00e8s-verbal"_s}));

        (void)names();
        clickCell(5, 1);
        typeKeys(u"Objection"_s);
        leave();
        p().setModalDriver([](QWidget* modal) { answerPrompt(modal, u"Closing"_s); });
        QTest::mouseClick(p().buttonWidget(platform::ButtonId::Rename), Qt::LeftButton);
        settle();
        QCOMPARE(namesHeard(QAccessible::NameChanged),
                 (QStringList{"10:10:00, Exhibit P-1, Objection", "10:10:00, Closing, Objection"}));
    }

    // The paths where Qt's own table gives way under a reader.
    void aReaderHoldingWhatWentAwayReadsNothing() {
        QAccessibleInterface* l = list();
        (void)names();
        view()->setFocus();
        view()->selectionModel()->clearCurrentIndex();
        settle();
        QCOMPARE(l->focusChild(), l->child(2));
        // A double click clears the highlight: no annotation is shown selected, none focused.
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, p().cellRect(0, 1).center());
        settle();
        focusList();
        QVERIFY(l->focusChild() == nullptr || l->focusChild()->state().selected);

        // A prompt over the grid, cancelled: the reader asks again as the focus comes back.
        p().setModalDriver([&](QWidget* modal) {
            if (auto* menu = qobject_cast<QMenu*>(modal)) {
                chooseOrClose(menu, menuItem(menu, u"mnuPopupRenommer"_s));
                return;
            }
            (void)QAccessible::queryAccessibleInterface(modal)->focusChild();
            (void)l->focusChild();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        clickCell(2, 1, Qt::RightButton);
        settle();
        QVERIFY(l->focusChild() == nullptr || !l->focusChild()->text(QAccessible::Name).isEmpty());
        QCOMPARE(names().size(), 3);

        // A removed item reads nothing at once and is released on the next turn of the loop.
        QAccessibleInterface *opening = l->child(0), *witness = l->child(1), *exhibit = l->child(2);
        const QAccessible::Id witnessId = QAccessible::uniqueId(witness);
        clickCell(2, 1);
        QCOMPARE(w().selected(), 1);
        w().annoDelete(1);
        QVERIFY(!witness->isValid() && witness->state().invalid && witness->rect().isEmpty() &&
                witness->text(QAccessible::Name).isEmpty() && witness->parent() == nullptr);
        QCOMPARE(l->indexOfChild(witness), -1);
        QCOMPARE(exhibit->text(QAccessible::Name), u"10:10:00, Exhibit P-1"_s);
        QVERIFY(l->indexOfChild(exhibit) == 1 && l->child(1) == exhibit);
        settle();
        QCOMPARE(QAccessible::accessibleInterface(witnessId), nullptr);
        w().clearAll();
        QVERIFY(!opening->isValid() && !exhibit->isValid());
        settle();

        w().annoAdd(u"11:00:00"_s, u"Adjourned"_s);
        settle();
        const QAccessible::Id lastId = QAccessible::uniqueId(list()->child(0));
        QCOMPARE(names(), QStringList{u"11:00:00, Adjourned"_s});
        closeWindow();
        settle();
        if (QAccessibleInterface* still = QAccessible::accessibleInterface(lastId))
            QVERIFY(!still->isValid() && still->text(QAccessible::Name).isEmpty() &&
                    still->parent() == nullptr && still->window() == nullptr);
    }

    // The count is announced once per change as the clerk types; the line is named by its hint.
    void theFindCountIsReadAndAnnounced() {
        openFindBar(1);
        for (QChar c : u"xiz"_s) {
            typeKeys(QString(c));
            settle();
        }
        QCOMPARE(namesHeard(QAccessible::NameChanged, findCount()),
                 (QStringList{u"3 sur 3"_s, u"1 sur 3"_s, u"0 sur 3"_s}));
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(findCount());
        QCOMPARE(label->text(QAccessible::Name), u"0 sur 3"_s);
        QCOMPARE(label->text(QAccessible::Description), u"0 sur 3"_s);
        QVERIFY(!findLine()->placeholderText().isEmpty());
        QCOMPARE(QAccessible::queryAccessibleInterface(findLine())->text(QAccessible::Name),
                 findLine()->placeholderText());
    }

    // Run by a11y.walk, which sets the number of annotations.
    void aLongHearingIsReadWholeOverTheBus() {
        const int count = qEnvironmentVariableIntValue("DALMURE_A11Y_WALK");
        if (count == 0)
            QSKIP("DALMURE_A11Y_WALK is not set");
        w().clearAll();
        for (int i = 0; i < count; ++i)
            w().annoAdd(QTime(9, 0).addSecs(3 * i).toString(u"HH:mm:ss"_s),
                        u"Annotation %1"_s.arg(i));
        QProcess walk;
        walk.setProcessChannelMode(QProcess::ForwardedChannels);
        QEventLoop loop; // the bus's requests answered as they come, with no polling between
        connect(&walk, &QProcess::finished, &loop, &QEventLoop::quit);
        walk.start(u"/usr/bin/python3"_s,
                   {u"" DALMURE_SOURCE_DIR "/tests/a11y/walk_grid.py"_s,
                    QString::number(QCoreApplication::applicationPid()), QString::number(count)});
        QVERIFY(walk.waitForStarted());
        loop.exec();
        QCOMPARE(walk.exitCode(), 0);
    }
};

QTEST_MAIN(QtAccessibilityTest)
#include "qt_accessibility_test.moc"
