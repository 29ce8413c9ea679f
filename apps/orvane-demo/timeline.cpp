#include "timeline.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTime>

#include <algorithm>

namespace orvane {

Timeline::Timeline(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void Timeline::setRange(int first, int last) {
    first_ = first;
    last_ = std::max(last, first + 60);
    update();
}
void Timeline::setMarks(std::vector<int> seconds) {
    marks_ = std::move(seconds);
    std::sort(marks_.begin(), marks_.end());
    update();
}
void Timeline::addMark(int second) {
    marks_.insert(std::upper_bound(marks_.begin(), marks_.end(), second), second);
    update();
}
void Timeline::removeMark(int second) {
    const auto it = std::lower_bound(marks_.begin(), marks_.end(), second);
    if (it == marks_.end() || *it != second)
        return;
    marks_.erase(it);
    update();
}
void Timeline::setRecordingPosition(std::optional<int> second) {
    recording_ = second;
    update();
}
void Timeline::setPlayhead(std::optional<int> second) {
    playhead_ = second;
    update();
}

QRect Timeline::bar() const {
    return rect().adjusted(10, 16, -10, -14);
}

int Timeline::xOf(int second) const {
    const QRect b = bar();
    const double f = double(std::clamp(second, first_, last_) - first_) / double(last_ - first_);
    return b.left() + int(f * b.width() + 0.5);
}

void Timeline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect b = bar();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0xEC, 0xF1));
    p.drawRoundedRect(b, 4, 4);
    // Recorded part.
    if (recording_) {
        QRect done = b;
        done.setRight(xOf(*recording_));
        p.setBrush(QColor(0xC9, 0xD6, 0xE6));
        p.drawRoundedRect(done, 4, 4);
    }
    // Hour and quarter-hour labels.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    p.setFont(small);
    p.setPen(QColor(0x5A, 0x66, 0x75));
    const int span = last_ - first_;
    const int every = span > 3 * 3600 ? 3600 : span > 3600 ? 1800 : span > 1200 ? 600 : 300;
    for (int s = (first_ + every - 1) / every * every; s <= last_; s += every) {
        const int x = xOf(s);
        p.drawLine(x, b.bottom() + 1, x, b.bottom() + 4);
        const int left = std::clamp(x - 30, 0, std::max(0, width() - 60));
        p.drawText(QRect(left, b.bottom() + 2, 60, 14), Qt::AlignCenter,
                   QTime(0, 0).addSecs(s).toString(QStringLiteral("HH:mm")));
    }
    // One tick per annotation: straight lines on whole pixels, each pixel column drawn once
    // however many annotations fall on it (the marks are in time order).
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0x2F, 0x5D, 0x8A), 1));
    int drawn = -1;
    for (int s : marks_) {
        const int x = xOf(s);
        if (x == drawn)
            continue;
        p.drawLine(x, b.top() + 3, x, b.bottom() - 3);
        drawn = x;
    }
    p.setRenderHint(QPainter::Antialiasing);
    if (recording_) {
        const int x = xOf(*recording_);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC6, 0x28, 0x28));
        p.drawEllipse(QPointF(x, b.center().y() + 0.5), 5, 5);
    }
    if (playhead_) {
        const int x = xOf(*playhead_);
        p.setPen(QPen(QColor(0x1B, 0x8A, 0x3C), 2));
        p.drawLine(x, b.top() - 4, x, b.bottom() + 2);
        QPainterPath tri;
        tri.moveTo(x - 6, 2);
        tri.lineTo(x + 6, 2);
        tri.lineTo(x, 11);
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1B, 0x8A, 0x3C));
        p.drawPath(tri);
    }
}

void Timeline::mousePressEvent(QMouseEvent* e) {
    const QRect b = bar();
    if (b.width() <= 0)
        return;
    const double f = std::clamp(double(e->position().x() - b.left()) / b.width(), 0.0, 1.0);
    emit seek(first_ + int(f * (last_ - first_) + 0.5));
}

} // namespace orvane
