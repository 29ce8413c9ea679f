// The set of platform components one control instance uses. A platform (headless, Qt) creates
// them; the control reaches the outside world only through them.
#pragma once

#include "platform/browser.h"
#include "platform/button.h"
#include "platform/catalogue_db.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/find_bar.h"
#include "platform/grid.h"
#include "platform/ids.h"
#include "platform/menu.h"
#include "platform/notifications.h"
#include "platform/printer.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "platform/surface.h"
#include "platform/text_box.h"

namespace dalmure::platform {

class Platform {
public:
    virtual ~Platform() = default;

    // Where the components send their notifications (the control, once it exists).
    virtual void setNotifications(Notifications* sink) = 0;

    virtual ControlSurface& surface() = 0;
    virtual Frame& frame(FrameId id) = 0;
    virtual Grid& grid() = 0;
    virtual TextBox& editor() = 0;
    virtual CommandButton& button(ButtonId id) = 0;
    virtual PopupMenu& menu() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual BrowserComponent& browser() = 0;
    virtual Shell& shell() = 0;
    virtual Printer& printer() = 0;
    virtual Screen& screen() = 0;
    virtual Clock& clock() = 0;
    virtual CatalogueDatabase& catalogue() = 0;
    virtual FindBar& findBar() = 0;
};

} // namespace dalmure::platform
