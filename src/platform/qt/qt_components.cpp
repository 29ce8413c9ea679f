// The surface, frames, command buttons and their icons, popup menu, dialogs, printer setting,
// mouse pointer and clock of the Qt platform.
#include "platform/qt/qt_internal.h"

#include "control/design.h"

#include <QApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QInputDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace dalmure::qt {

QString toQ(StrView s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
Str fromQ(const QString& s) {
    return Str(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

QColor toQColor(std::int32_t color) {
    const auto u = static_cast<std::uint32_t>(color);
    if (u & 0x80000000u) {
        // A system colour: its number names a role of the desktop's palette.
        const QPalette p = QApplication::palette();
        switch (u & 0xFFu) {
        case 5:
            return p.color(QPalette::Base); // window background
        case 8:
            return p.color(QPalette::Text); // window text
        case 13:
            return p.color(QPalette::Highlight); // highlight
        case 14:
            return p.color(QPalette::HighlightedText);
        case 15:
            return p.color(QPalette::Button); // button face
        case 18:
            return p.color(QPalette::ButtonText);
        case 23:
            return p.color(QPalette::ToolTipText);
        case 24:
            return p.color(QPalette::ToolTipBase); // tooltip background
        default:
            return p.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                  static_cast<int>((u >> 16) & 0xFF));
}

int shiftMask(Qt::KeyboardModifiers m) {
    return ((m & Qt::ShiftModifier) ? 1 : 0) | ((m & Qt::ControlModifier) ? 2 : 0) |
           ((m & Qt::AltModifier) ? 4 : 0);
}

std::int16_t virtualKeyCode(int k) {
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return static_cast<std::int16_t>(65 + (k - Qt::Key_A));
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return static_cast<std::int16_t>(48 + (k - Qt::Key_0));
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return static_cast<std::int16_t>(112 + (k - Qt::Key_F1));
    switch (k) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_Semicolon:
        return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 187;
    case Qt::Key_Comma:
        return 188;
    case Qt::Key_Minus:
        return 189;
    case Qt::Key_Period:
        return 190;
    case Qt::Key_Slash:
        return 191;
    case Qt::Key_QuoteLeft:
        return 192;
    case Qt::Key_BracketLeft:
        return 219;
    case Qt::Key_Backslash:
        return 220;
    case Qt::Key_BracketRight:
        return 221;
    case Qt::Key_Apostrophe:
        return 222;
    default:
        return k > 0 && k < 0x80 ? static_cast<std::int16_t>(k) : 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Context

double Context::dpiX() const {
    const int d = surface ? surface->logicalDpiX() : 96;
    return d > 0 ? d : 96;
}
double Context::dpiY() const {
    const int d = surface ? surface->logicalDpiY() : 96;
    return d > 0 ? d : 96;
}
int Context::pxX(double twips) const {
    return static_cast<int>(std::lround(twips * dpiX() / 1440.0));
}
int Context::pxY(double twips) const {
    return static_cast<int>(std::lround(twips * dpiY() / 1440.0));
}

void Context::driveModal(QWidget* w) {
    if (!modalDriver)
        return;
    QPointer<QWidget> guard(w);
    auto driver = modalDriver;
    QTimer::singleShot(0, w, [guard, driver] {
        if (guard && guard->isVisible())
            driver(guard);
    });
}

// ---------------------------------------------------------------------------------------------
// Surface

SurfaceWidget::SurfaceWidget(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SurfaceWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background);
}

void SurfaceWidget::mouseMoveEvent(QMouseEvent* e) {
    int button = 0;
    if (e->buttons() & Qt::LeftButton)
        button |= platform::kLeftButton;
    if (e->buttons() & Qt::RightButton)
        button |= platform::kRightButton;
    if (ctx_.sink)
        ctx_.sink->surfaceMouseMove(button, shiftMask(e->modifiers()),
                                    ctx_.twipsX(e->position().x()), ctx_.twipsY(e->position().y()));
}

void SurfaceWidget::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
    if (ctx_.focusTaken)
        ctx_.focusTaken(this);
}

bool SurfaceWidget::event(QEvent* e) {
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::ScreenChangeInternal && onScreenChange)
        onScreenChange();
    return handled;
}

void SurfaceWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (!resizing && onContainerResize)
        onContainerResize(size());
}

QtSurface::QtSurface(Context& ctx, SurfaceWidget* w)
    : ctx_(ctx), w_(w), width_(design::kControlWidth), height_(design::kControlHeight),
      backColor_(design::kSurfaceBackColor), font_(QApplication::font()) {
    font_.setPointSizeF(design::kFontSize);
    w_->background = toQColor(backColor_);
    w_->setFont(font_);
    apply();
}

void QtSurface::apply() {
    w_->resizing = true;
    w_->resize(std::max(0, ctx_.pxX(width_)), std::max(0, ctx_.pxY(height_)));
    w_->resizing = false;
}

void QtSurface::setWidth(std::int32_t v) {
    width_ = v;
    apply();
}
void QtSurface::setHeight(std::int32_t v) {
    height_ = v;
    apply();
}

void QtSurface::containerResize(std::int32_t w, std::int32_t h) {
    width_ = w;
    height_ = h;
    apply();
    if (ctx_.sink)
        ctx_.sink->surfaceResize();
}

void QtSurface::containerResized(QSize px) {
    if (px.width() != ctx_.pxX(width_))
        width_ = static_cast<std::int32_t>(std::lround(ctx_.twipsX(px.width())));
    if (px.height() != ctx_.pxY(height_))
        height_ = static_cast<std::int32_t>(std::lround(ctx_.twipsY(px.height())));
    if (resizeQueued_)
        return;
    resizeQueued_ = true;
    QTimer::singleShot(0, w_, [this] {
        resizeQueued_ = false;
        if (ctx_.sink)
            ctx_.sink->surfaceResize();
    });
}

void QtSurface::setBackColor(std::int32_t color) {
    backColor_ = color;
    w_->background = toQColor(color);
    w_->update();
}

void QtSurface::setFontSize(double points) {
    font_.setPointSizeF(points > 0 ? points : 1);
    w_->setFont(font_);
}

namespace {
// Lines of a text: CR LF, CR or LF end a line.
template <class F> void forEachLine(StrView text, F&& f) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            f(text.substr(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    f(text.substr(start));
}
} // namespace

double QtSurface::textWidth(StrView text) const {
    const QFontMetricsF fm(font_, w_);
    double widest = 0;
    forEachLine(text,
                [&](StrView line) { widest = std::max(widest, fm.horizontalAdvance(toQ(line))); });
    return ctx_.twipsX(widest);
}

double QtSurface::textHeight(StrView text) const {
    const QFontMetricsF fm(font_, w_);
    int lines = 0;
    forEachLine(text, [&](StrView) { ++lines; });
    return ctx_.twipsY(fm.lineSpacing() * lines);
}

void QtSurface::propertyChanged(const Str& name) {
    w_->setProperty("dalmureChangedProperty", toQ(name));
    w_->update();
}

void QtSurface::yieldToPendingEvents() {
    QApplication::processEvents(QEventLoop::AllEvents);
}

// ---------------------------------------------------------------------------------------------
// Frames

QtFrame::QtFrame(Context& ctx, QFrame* w, std::int32_t left, std::int32_t top, std::int32_t width,
                 std::int32_t height)
    : ctx_(ctx), w_(w), left_(left), top_(top), width_(width), height_(height) {
    apply();
}

void QtFrame::apply() {
    w_->setGeometry(ctx_.pxX(left_), ctx_.pxY(top_), std::max(0, ctx_.pxX(width_)),
                    std::max(0, ctx_.pxY(height_)));
}
void QtFrame::setWidth(std::int32_t v) {
    width_ = v;
    apply();
}
void QtFrame::setHeight(std::int32_t v) {
    height_ = v;
    apply();
}
void QtFrame::setVisible(bool v) {
    visible_ = v;
    w_->setVisible(v);
    if (onVisibility)
        onVisibility();
}

// ---------------------------------------------------------------------------------------------
// Command buttons

namespace {

// The commands' pictures, drawn at any size and device pixel ratio.
class DrawnIcon final : public QIconEngine {
  public:
    explicit DrawnIcon(platform::ButtonId id) : id_(id) {}
    QIconEngine* clone() const override { return new DrawnIcon(id_); }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pm(size * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }
    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        using platform::ButtonId;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->translate(rect.topLeft());
        const qreal s = std::min(rect.width(), rect.height()) / 24.0;
        p->scale(s, s);
        const bool off = mode == QIcon::Disabled;
        auto colour = [off](QColor c) { return off ? QColor(150, 150, 150) : c; };
        const QColor ink = colour(QColor(40, 40, 40));
        p->setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        switch (id_) {
        case ButtonId::CWButton1: { // delete: a bin
            p->setBrush(colour(QColor(220, 80, 70)));
            p->drawRect(QRectF(6, 8, 12, 13));
            p->drawLine(QPointF(4, 6), QPointF(20, 6));
            p->drawRect(QRectF(9.5, 3, 5, 3));
            p->drawLine(QPointF(10, 11), QPointF(10, 18));
            p->drawLine(QPointF(14, 11), QPointF(14, 18));
            break;
        }
        case ButtonId::CWButton2: { // view: a page under a lens
            p->setBrush(Qt::white);
            p->drawRect(QRectF(4, 3, 12, 16));
            p->drawLine(QPointF(6.5, 7), QPointF(13.5, 7));
            p->drawLine(QPointF(6.5, 10), QPointF(13.5, 10));
            p->setBrush(colour(QColor(120, 180, 240)));
            p->drawEllipse(QPointF(15, 15), 4, 4);
            p->setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
            p->drawLine(QPointF(18, 18), QPointF(21.5, 21.5));
            break;
        }
        case ButtonId::CWButton3: { // play: a triangle
            p->setBrush(colour(QColor(60, 170, 80)));
            QPainterPath path;
            path.moveTo(7, 4);
            path.lineTo(20, 12);
            path.lineTo(7, 20);
            path.closeSubpath();
            p->drawPath(path);
            break;
        }
        case ButtonId::CWButton4: { // rename: a pencil
            p->translate(12, 12);
            p->rotate(45);
            p->setBrush(colour(QColor(240, 190, 60)));
            p->drawRect(QRectF(-2.5, -9, 5, 13));
            QPainterPath tip;
            tip.moveTo(-2.5, 4);
            tip.lineTo(2.5, 4);
            tip.lineTo(0, 9);
            tip.closeSubpath();
            p->setBrush(colour(QColor(230, 200, 160)));
            p->drawPath(tip);
            break;
        }
        case ButtonId::CWButton5: { // print: a printer with its sheet
            p->setBrush(Qt::white);
            p->drawRect(QRectF(7, 3, 10, 7));
            p->setBrush(colour(QColor(110, 120, 140)));
            p->drawRoundedRect(QRectF(3, 9, 18, 8), 1.5, 1.5);
            p->setBrush(Qt::white);
            p->drawRect(QRectF(7, 14, 10, 7));
            break;
        }
        case ButtonId::CWButton6_0: { // Enter types a line break
            p->setPen(
                QPen(colour(QColor(40, 90, 170)), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p->drawPolyline(QPolygonF({QPointF(19, 5), QPointF(19, 14), QPointF(6, 14)}));
            p->drawPolyline(QPolygonF({QPointF(10, 10), QPointF(6, 14), QPointF(10, 18)}));
            break;
        }
        case ButtonId::CWButton6_1: { // Enter adds an annotation
            p->setBrush(colour(QColor(60, 150, 220)));
            p->drawEllipse(QPointF(12, 12), 9, 9);
            p->setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
            p->drawLine(QPointF(12, 7), QPointF(12, 17));
            p->drawLine(QPointF(7, 12), QPointF(17, 12));
            break;
        }
        }
        p->restore();
    }

  private:
    platform::ButtonId id_;
};

const char* themeIconName(platform::ButtonId id) {
    using platform::ButtonId;
    switch (id) {
    case ButtonId::CWButton1:
        return "edit-delete";
    case ButtonId::CWButton2:
        return "document-print-preview";
    case ButtonId::CWButton3:
        return "media-playback-start";
    case ButtonId::CWButton4:
        return "document-edit";
    case ButtonId::CWButton5:
        return "document-print";
    case ButtonId::CWButton6_0:
        return "format-justify-left";
    case ButtonId::CWButton6_1:
        return "list-add";
    }
    return "";
}

} // namespace

QIcon commandIcon(platform::ButtonId id) {
    return QIcon::fromTheme(QString::fromLatin1(themeIconName(id)), QIcon(new DrawnIcon(id)));
}

ButtonWidget::ButtonWidget(Context& ctx, platform::ButtonId id, QWidget* parent)
    : QToolButton(parent), ctx_(ctx), id_(id) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoRaise(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(commandIcon(id));
    setObjectName(QString::fromLatin1(platform::buttonName(id).data(),
                                      static_cast<qsizetype>(platform::buttonName(id).size())));
    QObject::connect(this, &QToolButton::clicked, this, [this] {
        if (ctx_.sink)
            ctx_.sink->buttonClick(id_);
    });
}

void ButtonWidget::mouseMoveEvent(QMouseEvent* e) {
    QToolButton::mouseMoveEvent(e);
    e->accept(); // the surface under the button does not see the move
    if (ctx_.sink)
        ctx_.sink->buttonMouseMove(id_);
}

QtButton::QtButton(Context& ctx, platform::ButtonId id, QWidget* surface, QtFrame* frame)
    : ctx_(ctx), w_(new ButtonWidget(ctx, id, surface)), frame_(frame),
      left_(design::buttonLeft(id)), top_(design::kButtonTop), size_(design::kButtonSize),
      color_(design::kButtonColor) {
    setToolTipText(design::buttonToolTip(id));
    setButtonColor(color_);
    apply();
}

void QtButton::apply() {
    const int side = std::max(0, ctx_.pxX(size_));
    w_->setGeometry(ctx_.pxX(left_), ctx_.pxY(top_), side, std::max(0, ctx_.pxY(size_)));
    const int icon = std::max(8, side * 2 / 3);
    w_->setIconSize(QSize(icon, icon));
    w_->setVisible(shown());
}

void QtButton::setLeft(std::int32_t v) {
    left_ = v;
    apply();
}
void QtButton::setVisible(bool v) {
    visible_ = v;
    apply();
}
void QtButton::setToolTipText(const Str& text) {
    toolTip_ = text;
    const QString q = toQ(text);
    w_->setToolTip(q);
    w_->setAccessibleName(q);
    w_->setStatusTip(q);
}
void QtButton::setButtonColor(std::int32_t color) {
    color_ = color;
    QPalette p = w_->palette();
    p.setColor(QPalette::Button, toQColor(color));
    p.setColor(QPalette::Window, toQColor(color));
    w_->setPalette(p);
    w_->setAutoFillBackground(true);
}

// ---------------------------------------------------------------------------------------------
// Popup menu

QtMenu::QtMenu(Context& ctx, QWidget* surface, std::function<QPoint()> mousePos)
    : ctx_(ctx), menu_(new QMenu(surface)), mousePos_(std::move(mousePos)) {
    menu_->setObjectName(QStringLiteral("mnuPopupAnnotation"));
    for (std::size_t i = 0; i < platform::kAllMenuItems.size(); ++i) {
        const auto id = platform::kAllMenuItems[i];
        const auto name = platform::menuItemName(id);
        QAction* a = id == platform::MenuItemId::S1 || id == platform::MenuItemId::S2
                         ? menu_->addSeparator()
                         : menu_->addAction(QString());
        a->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        actions_[i] = a;
        setCaption(id, design::menuCaption(id));
    }
}

QtMenu::~QtMenu() {
    delete menu_.data();
}

QAction* QtMenu::action(platform::MenuItemId item) const {
    return actions_[static_cast<std::size_t>(item)];
}
Str QtMenu::caption(platform::MenuItemId item) const {
    return captions_[static_cast<std::size_t>(item)];
}
void QtMenu::setCaption(platform::MenuItemId item, const Str& caption) {
    captions_[static_cast<std::size_t>(item)] = caption;
    if (!action(item)->isSeparator())
        action(item)->setText(toQ(caption));
}
bool QtMenu::enabled(platform::MenuItemId item) const {
    return enabled_[static_cast<std::size_t>(item)];
}
void QtMenu::setEnabled(platform::MenuItemId item, bool v) {
    enabled_[static_cast<std::size_t>(item)] = v;
    action(item)->setEnabled(v);
}
bool QtMenu::visible(platform::MenuItemId item) const {
    return visible_[static_cast<std::size_t>(item)];
}
void QtMenu::setVisible(platform::MenuItemId item, bool v) {
    visible_[static_cast<std::size_t>(item)] = v;
    action(item)->setVisible(v);
}

void QtMenu::popup(bool /*rightButtonChooses: a QMenu takes either button*/) {
    ctx_.driveModal(menu_);
    QAction* chosen = menu_->exec(mousePos_ ? mousePos_() : QCursor::pos());
    std::optional<platform::MenuItemId> item;
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (chosen != nullptr && actions_[i] == chosen)
            item = platform::kAllMenuItems[i];
    if (ctx_.happenings) {
        std::vector<headless::MenuItemState> states;
        for (auto id : platform::kAllMenuItems)
            states.push_back({id, caption(id), enabled(id), visible(id)});
        ctx_.happenings->menu(states, item);
    }
    if (item && ctx_.sink)
        ctx_.sink->menuClick(*item);
}

// ---------------------------------------------------------------------------------------------
// Dialogs

Str QtDialogs::inputBox(const Str& message, const Str& title, const Str& defaultText) {
    QInputDialog dlg(ctx_.surface ? ctx_.surface->window() : nullptr);
    dlg.setObjectName(QStringLiteral("dalmurePrompt"));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(toQ(title));
    dlg.setLabelText(toQ(message));
    dlg.setTextValue(toQ(defaultText));
    ctx_.driveModal(&dlg);
    const Str answer = dlg.exec() == QDialog::Accepted ? fromQ(dlg.textValue()) : Str();
    if (ctx_.happenings)
        ctx_.happenings->prompt(title, message, defaultText, answer);
    return answer;
}

void QtDialogs::messageBox(const Str& message, const Str& title) {
    QMessageBox box(QMessageBox::Information, toQ(title), toQ(message), QMessageBox::Ok,
                    ctx_.surface ? ctx_.surface->window() : nullptr);
    box.setObjectName(QStringLiteral("dalmureMessage"));
    ctx_.driveModal(&box);
    box.exec();
    if (ctx_.happenings)
        ctx_.happenings->messageBox(title, message);
}

// ---------------------------------------------------------------------------------------------
// Printer setting, pointer, clock

QPageSize paperOfPrintSize(std::int16_t size) {
    switch (size) {
    case 1:
        return QPageSize(QPageSize::Letter);
    case 3:
        return QPageSize(QPageSize::Tabloid);
    case 4:
        return QPageSize(QPageSize::Ledger);
    case 5:
        return QPageSize(QPageSize::Legal);
    case 6:
        return QPageSize(QPageSize::Statement);
    case 7:
        return QPageSize(QPageSize::Executive);
    case 8:
        return QPageSize(QPageSize::A3);
    case 9:
    case 10:
        return QPageSize(QPageSize::A4);
    case 11:
        return QPageSize(QPageSize::A5);
    case 12:
        return QPageSize(QPageSize::B4);
    case 13:
        return QPageSize(QPageSize::B5);
    case 14:
        return QPageSize(QPageSize::Folio);
    default:
        return QPageSize(QPageSize::Letter);
    }
}

void QtPrinter::setPrintSize(std::int16_t size) {
    size_ = size;
    if (ctx_.happenings)
        ctx_.happenings->printSize(size);
}

QtScreen::~QtScreen() {
    if (overridden_)
        QApplication::restoreOverrideCursor();
}

void QtScreen::setMousePointer(int pointer) {
    pointer_ = pointer;
    if (pointer == platform::kPointerBusy && !overridden_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        overridden_ = true;
    } else if (pointer != platform::kPointerBusy && overridden_) {
        QApplication::restoreOverrideCursor();
        overridden_ = false;
    }
    if (ctx_.happenings)
        ctx_.happenings->pointer(pointer);
}

platform::LocalTime QtClock::now() const {
    if (now_)
        return *now_;
    const QDateTime t = QDateTime::currentDateTime();
    platform::LocalTime l;
    l.year = t.date().year();
    l.month = t.date().month();
    l.day = t.date().day();
    l.hour = t.time().hour();
    l.minute = t.time().minute();
    l.second = t.time().second();
    l.hundredths = t.time().msec() / 10;
    return l;
}

double QtClock::secondsSinceMidnight() const {
    const platform::LocalTime l = now();
    return l.hour * 3600.0 + l.minute * 60.0 + l.second + l.hundredths / 100.0;
}

} // namespace dalmure::qt
