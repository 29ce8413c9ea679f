// The pictures of the command buttons: the desktop theme's icons where it has them, else
// drawn here at any size and device pixel ratio.
#include "platform/qt/qt_internal.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

namespace dalmure::qt {

namespace {

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
        case ButtonId::Delete: { // delete: a bin
            p->setBrush(colour(QColor(220, 80, 70)));
            p->drawRect(QRectF(6, 8, 12, 13));
            p->drawLine(QPointF(4, 6), QPointF(20, 6));
            p->drawRect(QRectF(9.5, 3, 5, 3));
            p->drawLine(QPointF(10, 11), QPointF(10, 18));
            p->drawLine(QPointF(14, 11), QPointF(14, 18));
            break;
        }
        case ButtonId::View: { // view: a page under a lens
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
        case ButtonId::Play: { // play: a triangle
            p->setBrush(colour(QColor(60, 170, 80)));
            QPainterPath path;
            path.moveTo(7, 4);
            path.lineTo(20, 12);
            path.lineTo(7, 20);
            path.closeSubpath();
            p->drawPath(path);
            break;
        }
        case ButtonId::Rename: { // rename: a pencil
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
        case ButtonId::Print: { // print: a printer with its sheet
            p->setBrush(Qt::white);
            p->drawRect(QRectF(7, 3, 10, 7));
            p->setBrush(colour(QColor(110, 120, 140)));
            p->drawRoundedRect(QRectF(3, 9, 18, 8), 1.5, 1.5);
            p->setBrush(Qt::white);
            p->drawRect(QRectF(7, 14, 10, 7));
            break;
        }
        case ButtonId::EntryStyleTwo: { // Enter types a line break
            p->setPen(
                QPen(colour(QColor(40, 90, 170)), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p->drawPolyline(QPolygonF({QPointF(19, 5), QPointF(19, 14), QPointF(6, 14)}));
            p->drawPolyline(QPolygonF({QPointF(10, 10), QPointF(6, 14), QPointF(10, 18)}));
            break;
        }
        case ButtonId::EntryStyleOne: { // Enter adds an annotation
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
    case ButtonId::Delete:
        return "edit-delete";
    case ButtonId::View:
        return "document-print-preview";
    case ButtonId::Play:
        return "media-playback-start";
    case ButtonId::Rename:
        return "document-edit";
    case ButtonId::Print:
        return "document-print";
    case ButtonId::EntryStyleTwo:
        return "format-justify-left";
    case ButtonId::EntryStyleOne:
        return "list-add";
    }
    return "";
}

} // namespace

QIcon commandIcon(platform::ButtonId id) {
    return QIcon::fromTheme(QString::fromLatin1(themeIconName(id)), QIcon(new DrawnIcon(id)));
}

} // namespace dalmure::qt
