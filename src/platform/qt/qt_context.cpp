// What every Qt component shares: text, colour and key conversions, and the Context
// (notification sinks, twips and pixels, modal windows shown to a driver).
#include "platform/qt/qt_internal.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QTimer>

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

int buttonMask(Qt::MouseButtons b) {
    return ((b & Qt::LeftButton) ? platform::kLeftButton : 0) |
           ((b & Qt::RightButton) ? platform::kRightButton : 0);
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

} // namespace dalmure::qt
