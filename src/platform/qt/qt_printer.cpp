// The printer setting: the paper a print size stands for.
#include "platform/qt/qt_internal.h"

#include <QPageSize>

namespace dalmure::qt {

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

} // namespace dalmure::qt
