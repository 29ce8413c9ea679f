// The control from the keyboard alone, with real key events on the offscreen platform: Tab and
// Shift+Tab through its parts and out to the host's fields.
#include "qt_test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

// A host window with a field before the control and one after it, as a recording screen has.
struct FieldsAroundTheControl {
    std::unique_ptr<QWidget> window;
    QLineEdit* before = nullptr;
    QLineEdit* after = nullptr;
    DalmureWidget* control = nullptr;

    explicit FieldsAroundTheControl(const QString& appFolder) {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        before = new QLineEdit(window.get());
        before->setObjectName(QStringLiteral("before"));
        layout->addWidget(before);
        QtPlatformOptions options;
        options.now = testNow();
        control = new DalmureWidget(appFolder, window.get(), options);
        layout->addWidget(control, 1);
        after = new QLineEdit(window.get());
        after->setObjectName(QStringLiteral("after"));
        layout->addWidget(after);
        window->resize(700, 600);
        window->show();
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
    }
    QtPlatform& p() { return platformOf(*control); }

    // What has the focus, by a name a test can read.
    QString focused() {
        QWidget* w = QApplication::focusWidget();
        if (w == nullptr)
            return QStringLiteral("(none)");
        if (w == p().gridView())
            return QStringLiteral("grid");
        if (w == p().editorWidget())
            return QStringLiteral("notes");
        return w->objectName();
    }
    // Presses key (Tab or Shift+Tab) count times on whatever has the focus; the names of what
    // had it after each press.
    QString walk(int count, bool back) {
        QStringList seen;
        for (int i = 0; i < count; ++i) {
            QWidget* w = QApplication::focusWidget();
            if (w == nullptr)
                break;
            if (back)
                QTest::keyClick(w, Qt::Key_Backtab, Qt::ShiftModifier);
            else
                QTest::keyClick(w, Qt::Key_Tab);
            seen << focused();
        }
        return seen.join(QLatin1Char(' '));
    }
};

} // namespace

class QtKeyboardTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<FieldsAroundTheControl> host_;
    DalmureWidget& w() { return *host_->control; }
    QtPlatform& p() { return host_->p(); }

  private slots:
    void init() {
        QVERIFY(dir_.isValid() && makeAppFolder(dir_));
        host_ = std::make_unique<FieldsAroundTheControl>(dir_.path());
    }
    void cleanup() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
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
        QTest::newRow("NoPlay and NoPV")
            << true << true << true << false
            << QStringLiteral("CWButton4 CWButton1 CWButton6(0) grid notes after");
        QTest::newRow("NoModif")
            << true << false << false << true
            << QStringLiteral("CWButton3 CWButton2 CWButton5 CWButton6(0) grid notes after");
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
        if (annotations) {
            w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Opening"));
            w().annoAdd(QStringLiteral("10:05:00"), QStringLiteral("Witness"));
        }
        w().setNoPlay(noPlay);
        w().setNoPV(noPV);
        w().setNoModif(noModif);
        host_->before->setFocus(Qt::MouseFocusReason);
        QCOMPARE(host_->focused(), QStringLiteral("before"));
        const int stops = static_cast<int>(order.count(QLatin1Char(' '))) + 1;
        QCOMPARE(host_->walk(stops, false), order);

        QStringList back = order.split(QLatin1Char(' '));
        back.removeLast();
        std::reverse(back.begin(), back.end());
        back << QStringLiteral("before");
        QCOMPARE(host_->walk(stops, true), back.join(QLatin1Char(' ')));
    }

    // From the keyboard alone: notes typed are kept when Tab leaves them, and Space on a command
    // reached by Shift+Tab runs it (rename, through its prompt).
    void tabLeavesTheNotesAndSpaceRunsACommand() {
        w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Opening"));
        host_->before->setFocus(Qt::MouseFocusReason);
        QCOMPARE(host_->walk(8, false).section(QLatin1Char(' '), -1), QStringLiteral("notes"));
        QTest::keyClicks(p().editorWidget(), QStringLiteral("sworn in"));
        QTest::keyClick(p().editorWidget(), Qt::Key_Tab);
        QCOMPARE(host_->focused(), QStringLiteral("after"));
        QCOMPARE(w().annoData(0), QStringLiteral("sworn in"));

        bool prompted = false;
        p().setModalDriver([&](QWidget* modal) {
            prompted = true;
            auto* field = modal->findChild<QLineEdit*>();
            QVERIFY(field != nullptr);
            field->selectAll();
            QTest::keyClicks(field, QStringLiteral("Opening statement"));
            QTest::keyClick(field, Qt::Key_Return);
        });
        QCOMPARE(host_->walk(7, true).section(QLatin1Char(' '), -1), QStringLiteral("CWButton4"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(prompted);
        QCOMPARE(w().annoDesc(0), QStringLiteral("Opening statement"));
        QCOMPARE(w().annoData(0), QStringLiteral("sworn in"));
    }
};

QTEST_MAIN(QtKeyboardTest)
#include "qt_keyboard_test.moc"
