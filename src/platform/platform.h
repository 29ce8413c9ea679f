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

#include <array>
#include <cstddef>

namespace dalmure::platform {

// The components of one platform, every one set, which the platform keeps for as long as it
// lives.
struct Components {
    ControlSurface* surface = nullptr;
    Frame* frame1 = nullptr;
    Frame* frame3 = nullptr;
    Grid* grid = nullptr;
    TextBox* editor = nullptr;
    std::array<CommandButton*, kAllButtons.size()> buttons{};
    PopupMenu* menu = nullptr;
    Dialogs* dialogs = nullptr;
    BrowserComponent* browser = nullptr;
    Shell* shell = nullptr;
    Printer* printer = nullptr;
    Screen* screen = nullptr;
    Clock* clock = nullptr;
    CatalogueDatabase* catalogue = nullptr;
    FindBar* findBar = nullptr;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Where the components send their notifications (the control, once it exists).
    virtual void setNotifications(Notifications* sink) = 0;

    ControlSurface& surface() { return *parts_.surface; }
    Frame& frame(FrameId id) { return *(id == FrameId::Frame1 ? parts_.frame1 : parts_.frame3); }
    Grid& grid() { return *parts_.grid; }
    TextBox& editor() { return *parts_.editor; }
    CommandButton& button(ButtonId id) { return *parts_.buttons[static_cast<std::size_t>(id)]; }
    PopupMenu& menu() { return *parts_.menu; }
    Dialogs& dialogs() { return *parts_.dialogs; }
    BrowserComponent& browser() { return *parts_.browser; }
    Shell& shell() { return *parts_.shell; }
    Printer& printer() { return *parts_.printer; }
    Screen& screen() { return *parts_.screen; }
    Clock& clock() { return *parts_.clock; }
    CatalogueDatabase& catalogue() { return *parts_.catalogue; }
    FindBar& findBar() { return *parts_.findBar; }

    const Components& components() const { return parts_; }

  protected:
    // A platform hands its components over once it has made them, before any is used.
    void setComponents(const Components& parts) { parts_ = parts; }

  private:
    Components parts_;
};

} // namespace dalmure::platform
