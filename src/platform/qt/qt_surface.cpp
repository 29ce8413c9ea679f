// The control's surface: the widget every other component lies on, its size in twips, its
// background, its font and the text metrics the control lays out with.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace dalmure::qt {

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
    const int button = buttonMask(e->buttons());
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

} // namespace dalmure::qt
