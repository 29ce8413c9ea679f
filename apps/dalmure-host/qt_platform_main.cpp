// dalmure-host --platform qt: the control on the real Qt widgets. The user's actions are
// delivered as Qt mouse and key events to the widgets, the way a desktop session delivers them:
// pending events run before each input event, the host's window is active again once a prompt
// or a menu has closed, and keys go to the widget that has the keyboard focus. Prompts, message
// boxes and the popup menu are answered, once on screen, with key and mouse events from the
// answer queue.
#include "host_platform.h"

#include "platform/qt/qt_platform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>

namespace dalmure::host {

namespace {

using qt::QtPlatform;

Qt::Key keyOf(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'a' && u <= u'z')
        return static_cast<Qt::Key>(Qt::Key_A + (u - u'a'));
    if (u >= u'A' && u <= u'Z')
        return static_cast<Qt::Key>(Qt::Key_A + (u - u'A'));
    if (u >= u'0' && u <= u'9')
        return static_cast<Qt::Key>(Qt::Key_0 + (u - u'0'));
    switch (u) {
    case 13:
        return Qt::Key_Return;
    case 8:
        return Qt::Key_Backspace;
    case 27:
        return Qt::Key_Escape;
    case 9:
        return Qt::Key_Tab;
    case u' ':
        return Qt::Key_Space;
    case u'\'':
        return Qt::Key_Apostrophe;
    default:
        return u < 0x80 ? static_cast<Qt::Key>(u) : Qt::Key_unknown;
    }
}

// One key typed into a dialog's field: press with its text, then release.
void typeInto(QWidget* w, QChar c) {
    const Qt::Key key = keyOf(c);
    const Qt::KeyboardModifiers mods =
        c.isUpper() ? Qt::ShiftModifier : Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Press, w, key, QString(c), mods);
    QTest::sendKeyEvent(QTest::Release, w, key, QString(c), mods);
}

// One key as a keyboard sends it: press with its text, then release, pending events running
// before each (settle). The key goes to the widget with the keyboard focus (the active window
// when none has it); a press given a widget goes there.
void typeKey(QChar c, const std::function<void()>& settle, QWidget* pressOn = nullptr) {
    const Qt::Key key = keyOf(c);
    const Qt::KeyboardModifiers mods =
        c.isUpper() ? Qt::ShiftModifier : Qt::KeyboardModifiers(Qt::NoModifier);
    const QString text = c.unicode() == 27 ? QString(QChar(27)) : QString(c);
    const auto focused = [] {
        QWidget* w = QApplication::focusWidget();
        return w != nullptr ? w : QApplication::activeWindow();
    };
    settle();
    if (QWidget* w = pressOn != nullptr ? pressOn : focused()) {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(w, &press);
    }
    settle();
    if (QWidget* w = focused()) {
        QKeyEvent release(QEvent::KeyRelease, key, mods, text);
        QApplication::sendEvent(w, &release);
    }
}

void mouseMove(QWidget* w, QPoint at) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class QtHost final : public HostPlatform {
  public:
    explicit QtHost(const PlatformOptions& options) {
        window_ = std::make_unique<QWidget>();
        window_->setWindowTitle(QStringLiteral("dalmure-host"));
        elsewhere_ = new QLineEdit(window_.get());
        elsewhere_->setGeometry(0, 0, 200, 24);
        qt::QtPlatformOptions q;
        q.now = options.now;
        q.htmlProgram = options.htmlProgram;
        if (options.printPdf)
            q.printPdf = QString::fromStdString(*options.printPdf);
        p_ = std::make_unique<QtPlatform>(window_.get(), q);
        p_->surfaceWidget()->move(0, 28);
        p_->setModalDriver([this](QWidget* modal) { answer(modal); });
        window_->resize(p_->pxX(9600) + 8, p_->pxY(7200) + 36);
        window_->show();
        window_->activateWindow();
        (void)QTest::qWaitForWindowActive(window_.get(), 2000);
    }
    ~QtHost() override {
        // What the browser component still prints finishes before the host goes.
        QElapsedTimer t;
        t.start();
        while (p_->printing() && t.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        p_.reset();
    }

    platform::Platform& platform() override { return *p_; }
    void setHappeningSink(headless::HappeningSink* sink) override { p_->setHappeningSink(sink); }
    void setNow(const platform::LocalTime& now) override { p_->setNow(now); }
    bool buttonShown(platform::ButtonId id) const override { return p_->buttonShown(id); }

    void queueAnswer(const Str& text) override { answers_.push_back(text); }
    void queueCancel() override { answers_.push_back(std::nullopt); }

    // What a desktop session does between two input events: the pending events run, and once a
    // prompt or a menu has closed the host's window is the active one again.
    void settleInput() {
        QApplication::processEvents();
        if (QApplication::activeModalWidget() == nullptr &&
            QApplication::activePopupWidget() == nullptr &&
            QApplication::activeWindow() != window_.get()) {
            window_->activateWindow();
            (void)QTest::qWaitForWindowActive(window_.get(), 1000);
        }
    }

    bool userClick(std::int32_t row, std::int32_t col) override {
        settleInput();
        const QRect r = cell(row, col);
        if (r.isNull())
            return false;
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, r.center());
        p_->restoreScroll();
        return true;
    }
    bool userDblClick(std::int32_t row, std::int32_t col) override {
        if (!userClick(row, col))
            return false;
        // The first click may have scrolled the list: the second press finds the cell anew.
        const QPoint at = cell(row, col).center();
        QTest::mousePress(viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, at);
        p_->restoreScroll();
        return true;
    }
    bool userRightClick(std::int32_t row, std::int32_t col,
                        std::optional<std::string> choose) override {
        settleInput();
        const QRect r = cell(row, col);
        if (r.isNull())
            return false;
        choose_ = choose ? QString::fromStdString(*choose) : QString();
        QTest::mouseClick(viewport(), Qt::RightButton, {}, r.center());
        choose_.clear();
        p_->restoreScroll();
        return true;
    }
    void userKeyPress(std::int16_t ascii) override {
        settleInput();
        // The key is the grid's: the control entered from elsewhere in the window may have put
        // the focus into the notes meanwhile.
        QTableView* view = p_->gridView();
        view->setFocus(Qt::MouseFocusReason);
        typeKey(
            QChar(static_cast<char16_t>(static_cast<std::uint16_t>(ascii))),
            [this] { settleInput(); }, view);
    }
    int userType(const Str& text) override {
        settleInput();
        int delivered = 0;
        for (char16_t c : text) {
            settleInput();
            // Into the notes while they have the focus; into the grid while it has it.
            const bool notes = p_->editor().visible() && p_->editor().hasFocus();
            QWidget* w = QApplication::focusWidget();
            if (!notes && w != p_->gridView() && w != findLine())
                break;
            typeKey(QChar(c), [this] { settleInput(); });
            ++delivered;
        }
        return delivered;
    }
    void userBlur() override {
        settleInput();
        QTest::mouseClick(elsewhere_, Qt::LeftButton);
        elsewhere_->setFocus(Qt::MouseFocusReason);
    }
    void userFocus() override {
        settleInput();
        p_->containerFocus();
    }
    bool userButton(platform::ButtonId id) override {
        settleInput();
        if (!p_->buttonShown(id))
            return false;
        QTest::mouseClick(p_->buttonWidget(id), Qt::LeftButton);
        return true;
    }
    bool userHover(const std::string& over) override {
        settleInput();
        if (over == "grid") {
            mouseMove(viewport(), QPoint(3, 3));
            return true;
        }
        if (over == "surface") {
            mouseMove(p_->surfaceWidget(), QPoint(1, 1));
            return true;
        }
        platform::ButtonId id{};
        if (!platform::buttonFromName(over, id) || !p_->buttonShown(id))
            return false;
        mouseMove(p_->buttonWidget(id), QPoint(4, 4));
        return true;
    }
    bool userScroll(std::optional<std::int32_t> topRow) override {
        settleInput();
        auto& g = p_->grid();
        const std::int32_t row = topRow.value_or(g.topRow() + 1);
        if (row < 0 || row >= g.rows())
            return false;
        QScrollBar* bar = p_->gridView()->verticalScrollBar();
        // The bar ends at the last full page: a row further down is as far as it goes.
        if (bar->value() == std::min(row, bar->maximum()))
            bar->triggerAction(QAbstractSlider::SliderMove); // a scroll that cannot move
        else
            bar->setSliderPosition(row); // as a drag of the scroll bar's thumb
        return true;
    }
    void userResize(std::int32_t width, std::int32_t height) override {
        p_->containerResize(width, height);
    }
    void userAmbient(const Str& name) override { p_->containerAmbientChanged(name); }

    // The find bar's keys, pressed where the keyboard is.
    bool userFind() override {
        settleInput();
        QWidget* w = QApplication::focusWidget();
        if (w != p_->gridView() && w != p_->editorWidget() && w != findLine())
            return false;
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        settleInput();
        return true;
    }
    bool userFindKey(headless::FindKey key) override {
        settleInput();
        QWidget* w = QApplication::focusWidget();
        const bool inBar = w != nullptr && w == findLine();
        switch (key) {
        case headless::FindKey::Enter:
        case headless::FindKey::Escape:
            if (!inBar)
                return false;
            QTest::keyClick(w, key == headless::FindKey::Enter ? Qt::Key_Return : Qt::Key_Escape);
            break;
        case headless::FindKey::F3:
        case headless::FindKey::ShiftF3:
            if (!p_->findBar().visible() ||
                (!inBar && w != p_->gridView() && w != p_->editorWidget()))
                return false;
            QTest::keyClick(w, Qt::Key_F3,
                            key == headless::FindKey::ShiftF3 ? Qt::ShiftModifier
                                                              : Qt::KeyboardModifiers());
            break;
        case headless::FindKey::Close:
            if (!p_->findBar().visible())
                return false;
            QTest::mouseClick(
                p_->findBarWidget()->findChild<QToolButton*>(QStringLiteral("FindClose")),
                Qt::LeftButton);
            break;
        }
        settleInput();
        return true;
    }

    std::optional<std::int32_t> rowUnderEditor() override {
        QApplication::processEvents();
        QWidget* editor = p_->editorWidget();
        QTableView* view = p_->gridView();
        if (!editor->isVisible() || !view->isVisible())
            return std::nullopt;
        const QPoint at = viewport()->mapFromGlobal(editor->mapToGlobal(editor->rect().center()));
        if (!viewport()->rect().contains(at))
            return std::nullopt;
        const QModelIndex i = view->indexAt(at);
        if (!i.isValid())
            return std::nullopt;
        return i.row();
    }
    void settle() override {
        QElapsedTimer t;
        t.start();
        do
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        while (p_->printing() && t.elapsed() < 60000);
    }

  private:
    QWidget* viewport() const { return p_->gridView()->viewport(); }
    QWidget* findLine() const {
        return p_->findBarWidget()->findChild<QLineEdit*>(QStringLiteral("FindText"));
    }

    // The cell's rectangle in the grid's viewport; null when the row does not exist.
    QRect cell(std::int32_t row, std::int32_t col) {
        settleInput();
        if (row < 0 || row >= p_->grid().rows() || col < 0 || col > 1)
            return {};
        // The user brings the row into view before clicking it.
        QRect r = p_->revealCell(row, col);
        if (r.isNull())
            r = QRect(0, 0, 1, 1);
        return r;
    }

    void answer(QWidget* modal) {
        if (auto* menu = qobject_cast<QMenu*>(modal)) {
            for (QAction* a : menu->actions()) {
                if (!choose_.isEmpty() && a->objectName() == choose_ && a->isEnabled() &&
                    a->isVisible()) {
                    // The right button chooses, as the control asks of its menu.
                    QTest::mouseClick(menu, Qt::RightButton, {}, menu->actionGeometry(a).center());
                    return;
                }
            }
            menu->close();
            return;
        }
        if (auto* prompt = qobject_cast<QInputDialog*>(modal)) {
            std::optional<Str> next;
            if (!answers_.empty()) {
                next = answers_.front();
                answers_.pop_front();
            }
            if (!next) {
                QTest::keyClick(prompt, Qt::Key_Escape);
                return;
            }
            auto* edit = prompt->findChild<QLineEdit*>();
            edit->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            for (char16_t c : *next)
                typeInto(edit, QChar(c));
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        // Any other dialog (the print dialog without --print-pdf) is cancelled.
        QTest::keyClick(modal, Qt::Key_Escape);
    }

    std::unique_ptr<QWidget> window_;
    QLineEdit* elsewhere_ = nullptr;
    std::unique_ptr<QtPlatform> p_;
    std::deque<std::optional<Str>> answers_;
    QString choose_;
};

} // namespace

std::unique_ptr<HostPlatform> createQtHost(const PlatformOptions& options, std::string& error) {
    if (qApp == nullptr || QGuiApplication::primaryScreen() == nullptr) {
        error = "the qt platform has no application or no screen";
        return nullptr;
    }
    return std::make_unique<QtHost>(options);
}

int runQtHost(const PlatformOptions& options, const std::function<int(HostPlatform&)>& session,
              std::string& error) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    static int argc = 1;
    static char name[] = "dalmure-host";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (QGuiApplication::primaryScreen() == nullptr) {
        error = "the qt platform has no screen";
        return 2;
    }
    int code = 0;
    {
        QtHost host(options);
        code = session(host);
    }
    return code;
}

} // namespace dalmure::host
