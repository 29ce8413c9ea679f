// The local clock, real or fixed by the host.
#include "platform/qt/qt_internal.h"

#include <QDateTime>

namespace dalmure::qt {

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
