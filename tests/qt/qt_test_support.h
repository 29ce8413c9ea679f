// The Qt tests' application folder, host window around the control, and the clerk's hands.
#pragma once

#include "platform/qt/dalmure_widget_p.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace dalmure::qt::testing {

using namespace Qt::StringLiterals;

using FolderFiles = QList<std::pair<QString, QByteArray>>;

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline bool makeAppFolder(const QTemporaryDir& dir, const QByteArray& ini = {},
                          const FolderFiles& files = {}) {
    const QString app = dir.path();
    bool ok = QFile::copy(QStringLiteral(DALMURE_TEST_FIXTURES "/ORLngClient.MDB"),
                          app + u"/ORLngClient.MDB"_s);
    const QDir templates(QStringLiteral(DALMURE_SOURCE_DIR "/share/templates"));
    for (const QString& t : templates.entryList({u"*.html"_s}, QDir::Files))
        ok = QFile::copy(templates.filePath(t), app + u'/' + t) && ok;
    if (!ini.isEmpty())
        ok = writeFile(app + u"/ORClient.INI"_s, ini) && ok;
    for (const auto& [name, bytes] : files)
        ok = writeFile(app + u'/' + name, bytes) && ok;
    return ok;
}

// As the desktop gives the window back after a dialog.
inline bool backToFront(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A line edit before the control (somewhere else to put the focus), the control, and with
// fieldAfter a second line edit after it, as a recording screen has.
struct HostWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLineEdit* elsewhere = nullptr;
    QLineEdit* after = nullptr;
    DalmureWidget* control = nullptr;

    explicit HostWindow(const QString& appFolder, QtPlatformOptions options = {},
                        bool fieldAfter = false) {
        auto* layout = new QVBoxLayout(window.get());
        elsewhere = new QLineEdit(window.get());
        elsewhere->setObjectName(u"before"_s);
        layout->addWidget(elsewhere);
        if (!options.now) // the clock every test runs at
            options.now = platform::LocalTime{2024, 3, 15, 10, 20, 30, 0};
        control = new DalmureWidget(appFolder, window.get(), std::move(options));
        layout->addWidget(control, 1);
        if (fieldAfter) {
            after = new QLineEdit(window.get());
            after->setObjectName(u"after"_s);
            layout->addWidget(after);
        }
        window->resize(700, fieldAfter ? 600 : 560);
        window->show();
        (void)backToFront(window.get());
    }
    QtPlatform& platform() { return platformOf(*control); }
};

inline QWidget* focused() {
    QCoreApplication::processEvents();
    return QApplication::focusWidget();
}

inline void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = focused();
    QVERIFY(target != nullptr);
    QTest::keyClick(target, key, mods);
    QCoreApplication::processEvents();
}

// \r is Enter, \b Backspace. A letter beyond ASCII (é) comes as the key of that letter with its
// text, as a keyboard with the letter on a key sends it; an emoji as one key, as an input method.
inline void typeChar(QWidget* target, const QString& c) {
    if (c == u"\r"_s || c == u"\b"_s)
        return QTest::keyClick(target, c == u"\r"_s ? Qt::Key_Return : Qt::Key_Backspace);
    if (c.size() == 1 && c[0].unicode() < 128)
        return QTest::keyClicks(target, c);
    const auto key = c.size() == 1 ? Qt::Key(c[0].toUpper().unicode()) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Press, target, key, c, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, target, key, c, Qt::NoModifier);
}

// Into the widget into, or into whatever has the focus at each key.
inline void typeKeys(const QString& text, QWidget* into = nullptr) {
    for (QChar c : text) {
        QWidget* target = into != nullptr ? into : focused();
        QVERIFY(target != nullptr);
        typeChar(target, QString(c));
    }
    QCoreApplication::processEvents();
}

// delta < 0 scrolls down.
inline void wheelNotch(QWidget* over, int delta) {
    const QPointF at(over->width() / 2.0, over->height() / 2.0);
    QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &wheel);
}

// Through the window, which makes the context menu event of it, as the desktop delivers it.
inline void rightClickThroughWindow(QWidget* target, QPoint at) {
    QWidget* top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, target->mapTo(top, at));
}

// What a menu shows: each item's object name, or its text when it has none, "-h" after a hidden
// one and "-d" after a disabled one (Qt reports a hidden item as disabled too); a separator
// without a name is "|".
inline QString itemsOf(const QMenu* menu) {
    QStringList items;
    for (const QAction* a : menu->actions()) {
        QString name = a->isSeparator() && a->objectName().isEmpty() ? u"|"_s
                       : !a->objectName().isEmpty()                  ? a->objectName()
                                                    : a->text().section(u'\t', 0, 0);
        items << name + (!a->isVisible() ? "-h" : a->isEnabled() ? "" : "-d");
    }
    return items.join(u' ');
}

inline QAction* menuItem(const QMenu* menu, const QString& name) {
    for (QAction* a : menu->actions())
        if (!name.isEmpty() && a->objectName() == name)
            return a;
    return nullptr;
}

// Esc when there is no item.
inline void chooseOrClose(QMenu* menu, QAction* item) {
    if (item != nullptr)
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    else
        QTest::keyClick(menu, Qt::Key_Escape);
}

// Over what the prompt offered; an empty answer: Esc.
inline void answerPrompt(QWidget* modal, const QString& answer) {
    auto* edit = modal->findChild<QLineEdit*>();
    if (answer.isEmpty() || edit == nullptr)
        return QTest::keyClick(modal, Qt::Key_Escape);
    edit->selectAll();
    QTest::keyClicks(edit, answer);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Every menu the control opens: its items into seen, then choose clicked or Esc; a prompt: Esc.
inline void answerMenus(QtPlatform& p, QString& seen, const QString& choose = {}) {
    p.setModalDriver([&seen, choose](QWidget* modal) {
        if (auto* menu = qobject_cast<QMenu*>(modal)) {
            seen = itemsOf(menu);
            chooseOrClose(menu, menuItem(menu, choose));
        } else {
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
}

class WidgetFixture {
  public:
    bool open(const QByteArray& ini = {}, const FolderFiles& files = {},
              QtPlatformOptions options = {}, bool fieldAfter = false) {
        if (!dir_.isValid() || !makeAppFolder(dir_, ini, files))
            return false;
        host_ = std::make_unique<HostWindow>(dir_.path(), std::move(options), fieldAfter);
        return true;
    }
    // The next case starts from an empty folder.
    void close() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }
    void closeWindow() { host_.reset(); }
    bool isOpen() const { return host_ != nullptr; }

    QString folder() const { return dir_.path(); }
    HostWindow& host() { return *host_; }
    QWidget* window() { return host_->window.get(); }
    DalmureWidget& w() { return *host_->control; }
    QtPlatform& p() { return host_->platform(); }
    QTableView* view() { return p().gridView(); }
    QWidget* viewport() { return view()->viewport(); }
    QPlainTextEdit* editor() { return p().editorWidget(); }
    QLineEdit* elsewhere() { return host_->elsewhere; }
    QLineEdit* findLine() { return p().findBarWidget()->findChild<QLineEdit*>("FindText"); }
    QLabel* findCount() { return p().findBarWidget()->findChild<QLabel*>("FindCount"); }

    void clickCell(int row, int col, Qt::MouseButton button = Qt::LeftButton) {
        const QRect r = p().cellRect(row, col);
        QVERIFY2(r.isValid(), "cell not laid out");
        QTest::mouseClick(viewport(), button, {}, r.center());
    }
    void openNotes(int row) {
        clickCell(row, 1);
        QCoreApplication::processEvents();
        QVERIFY(editor()->isVisible() && editor()->hasFocus());
    }
    // The keyboard in the grid, the notes closed.
    void focusGrid(int row) {
        clickCell(row, 0);
        press(Qt::Key_Escape);
        QCOMPARE(focused(), static_cast<QWidget*>(view()));
        QVERIFY(!editor()->isVisible());
    }
    void leave() { QTest::mouseClick(elsewhere(), Qt::LeftButton); }
    QString focusName() {
        QWidget* f = focused();
        return f == nullptr                 ? u"(none)"_s
               : f == view()                ? u"grid"_s
               : f == editor()              ? u"notes"_s
               : !f->objectName().isEmpty() ? f->objectName()
                                            : QString::fromLatin1(f->metaObject()->className());
    }
    // Give or take the rounding of twips.
    bool editorOver(int row, int col) {
        const QRect r = p().cellRect(row, col);
        const QRect cell(viewport()->mapTo(editor()->parentWidget(), r.topLeft()), r.size());
        return cell.adjusted(-2, -2, 2, 2).contains(editor()->geometry().center());
    }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> host_;
};

} // namespace dalmure::qt::testing

// Every Qt test names the control's, its Qt platform's and these helpers' names unqualified.
using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace dalmure::qt::testing {

// A test class that is its own fixture opens the window on a hearing: annotation k at 10:00 plus
// 5k minutes, its description, then after a tab its notes.
class HearingFixture : public WidgetFixture {
  public:
    bool openOn(const QStringList& annotations, const QByteArray& ini = {},
                const FolderFiles& files = {}, QtPlatformOptions options = {}) {
        if (!open(ini, files, std::move(options)))
            return false;
        for (int k = 0; k < annotations.size(); ++k)
            w().annoAdd(QTime(10, 5 * k).toString(u"HH:mm:ss"_s),
                        annotations[k].section(u'\t', 0, 0), annotations[k].section(u'\t', 1));
        QCoreApplication::processEvents();
        return true;
    }
    // From the grid, the notes closed: the keyboard in the find bar's line.
    void openFindBar(int row) {
        focusGrid(row);
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focused(), static_cast<QWidget*>(findLine()));
    }
};

} // namespace dalmure::qt::testing
