// The inside of a DalmureWidget: its Qt platform, the control on it, and the control's events
// passed on as the widget's signals. Not installed: the demo, the tests and the benchmarks reach
// the control and the platform through controlOf() and platformOf().
#pragma once

#include "control/dalmure_p.h"
#include "platform/qt/qt_platform.h"
#include <dalmure/dalmure_widget.h>

#include <memory>

namespace dalmure::qt {
class QtTextsTranslation;
}

#include <memory>

namespace dalmure::qt {

class DalmureWidgetPrivate final {
  public:
    DalmureWidgetPrivate(DalmureWidget* widget, const QString& applicationFolder,
                         const QtPlatformOptions& options);
    ~DalmureWidgetPrivate();

    static DalmureWidgetPrivate* get(DalmureWidget& w) { return w.d.get(); }

    // Runs a host call; an error it lets through becomes errorRaised and the call answers
    // fallback.
    template <class F> auto guarded(F&& f, decltype(f()) fallback) -> decltype(f());
    // Runs a host call that answers nothing, the same way.
    template <class F> void guarded(F&& f);

    DalmureWidget* const q;
    const QString folder;
    std::unique_ptr<QtPlatform> platform;
    // The control's events, passed on as the widget's signals.
    class Events;
    std::unique_ptr<Events> events;
    std::unique_ptr<DalmurePrivate> control; // last: it goes before the platform it stands on
    // Qt's texts in the control's language while the control lives.
    std::unique_ptr<QtTextsTranslation> qtTexts;
};

// The control inside a widget.
inline DalmurePrivate& controlOf(DalmureWidget& w) {
    return *DalmureWidgetPrivate::get(w)->control;
}

// The widget's platform: its real widgets, its clock, the drivers of modal windows.
inline QtPlatform& platformOf(DalmureWidget& w) {
    return *DalmureWidgetPrivate::get(w)->platform;
}

} // namespace dalmure::qt
