// Shared set-up of the Qt widget tests: an application folder with the catalogue and the
// templates, a window that holds the control between the host's fields, the fixture each case is
// built on, and the clerk's hands: keys into whatever has the focus, clicks through the window,
// and the answers given to the control's menus and prompts.
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
#include <QVBoxLayout>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace dalmure::qt::testing {

using namespace Qt::StringLiterals;

// Extra files of an application folder, by name.
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

// The window back to the front once a dialog or another window has had it, as the desktop
// gives it back.
inline bool backToFront(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A host window: a line edit before the control (somewhere else to put the focus), the
// control, and with fieldAfter a second line edit after it, as a recording screen has.
struct HostWindow {
    std::unique_ptr<QWidget> window;
    QLineEdit* elsewhere = nullptr;
    QLineEdit* after = nullptr;
    DalmureWidget* control = nullptr;

    explicit HostWindow(const QString& appFolder, QtPlatformOptions options = {},
                        bool fieldAfter = false) {
        window = std::make_unique<QWidget>();
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

// The widget with the keyboard, once the events before have been handled.
inline QWidget* focused() {
    QCoreApplication::processEvents();
    return QApplication::focusWidget();
}

// One key into the focused widget.
inline void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = focused();
    QVERIFY(target != nullptr);
    QTest::keyClick(target, key, mods);
    QCoreApplication::processEvents();
}

// Types text key by key into the widget into, or into whatever has the focus at each key. A
// letter beyond ASCII (é) comes as the key of that letter with its text, as a keyboard with the
// letter on a key sends it.
inline void typeKeys(const QString& text, QWidget* into = nullptr) {
    for (QChar c : text) {
        QWidget* target = into != nullptr ? into : focused();
        QVERIFY(target != nullptr);
        if (c.unicode() < 128) {
            QTest::keyClicks(target, QString(c));
            continue;
        }
        const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, target, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, target, key, QString(c), Qt::NoModifier);
    }
    QCoreApplication::processEvents();
}

// A right click as the desktop delivers it: through the window, which makes the context menu
// event of it.
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

// The item of a menu with that object name, or none.
inline QAction* menuItem(const QMenu* menu, const QString& name) {
    for (QAction* a : menu->actions())
        if (!name.isEmpty() && a->objectName() == name)
            return a;
    return nullptr;
}

// Clicks a menu's item with the mouse, or closes the menu with Esc when there is none.
inline void chooseOrClose(QMenu* menu, QAction* item, Qt::MouseButton button = Qt::LeftButton) {
    if (item != nullptr)
        QTest::mouseClick(menu, button, {}, menu->actionGeometry(item).center());
    else
        QTest::keyClick(menu, Qt::Key_Escape);
}

// Types answer into a prompt, over what it offered, and presses Enter; an empty answer: Esc.
inline void answerPrompt(QWidget* modal, const QString& answer) {
    auto* edit = modal->findChild<QLineEdit*>();
    if (answer.isEmpty() || edit == nullptr) {
        QTest::keyClick(modal, Qt::Key_Escape);
        return;
    }
    edit->selectAll();
    QTest::keyClicks(edit, answer);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Answers every popup menu the control opens: writes down its items (itemsOf) into seen and
// chooses the item named choose with the given button, or closes the menu. A prompt that a
// command opens is answered with promptAnswer (empty: cancelled).
inline void answerMenus(QtPlatform& p, QString& seen, const QString& choose = {},
                        Qt::MouseButton button = Qt::LeftButton, const QString& promptAnswer = {}) {
    p.setModalDriver([&seen, choose, button, promptAnswer](QWidget* modal) {
        if (auto* menu = qobject_cast<QMenu*>(modal)) {
            seen = itemsOf(menu);
            chooseOrClose(menu, menuItem(menu, choose), button);
        } else {
            answerPrompt(modal, promptAnswer);
        }
    });
}

// One case's host window on a fresh application folder, and the clerk's mouse on the grid.
class WidgetFixture {
  public:
    // From a test's init(); false when the folder could not be made.
    bool open(const QByteArray& ini = {}, const FolderFiles& files = {},
              QtPlatformOptions options = {}, bool fieldAfter = false) {
        if (!dir_.isValid() || !makeAppFolder(dir_, ini, files))
            return false;
        host_ = std::make_unique<HostWindow>(dir_.path(), std::move(options), fieldAfter);
        return true;
    }
    // From a test's cleanup(): the next case starts from an empty folder.
    void close() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }
    // The window and its control go, the folder stays.
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
    QWidget* elsewhere() { return host_->elsewhere; }
    QLineEdit* findLine() { return p().findBarWidget()->findChild<QLineEdit*>("FindText"); }
    QLabel* findCount() { return p().findBarWidget()->findChild<QLabel*>("FindCount"); }

    // A click on a grid cell, which must be laid out.
    void clickCell(int row, int col, Qt::MouseButton button = Qt::LeftButton) {
        const QRect r = p().cellRect(row, col);
        QVERIFY2(r.isValid(), "cell not laid out");
        QTest::mouseClick(viewport(), button, {}, r.center());
    }
    // A click that opens the notes of the annotation on that row.
    void openNotes(int row) {
        clickCell(row, 1);
        QCoreApplication::processEvents();
        QVERIFY(editor()->isVisible());
        QVERIFY(editor()->hasFocus());
    }
    // The keyboard in the grid: a click opens the notes, Esc closes them and leaves it there.
    void focusGrid(int row) {
        clickCell(row, 0);
        press(Qt::Key_Escape);
        QCOMPARE(focused(), static_cast<QWidget*>(view()));
        QVERIFY(!editor()->isVisible());
    }
    // The clerk puts the focus elsewhere in the window: the notes are committed.
    void leave() { QTest::mouseClick(elsewhere(), Qt::LeftButton); }
    // Whether the editor lies over the cell, give or take the rounding of twips; the cell is
    // mapped into the frame that holds the editor and the grid.
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
