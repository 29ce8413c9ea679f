// The popup menu mnuPopupAnnotation.
#pragma once

#include "platform/ids.h"
#include "support/text.h"

namespace dalmure::platform {

class PopupMenu {
public:
    virtual ~PopupMenu() = default;

    virtual Str caption(MenuItemId item) const = 0;
    virtual void setCaption(MenuItemId item, const Str& caption) = 0;
    virtual bool enabled(MenuItemId item) const = 0;
    virtual void setEnabled(MenuItemId item, bool v) = 0;
    virtual bool visible(MenuItemId item) const = 0;
    virtual void setVisible(MenuItemId item, bool v) = 0;

    // Shows the menu as a popup at the mouse position; modal. With rightButtonChooses the right
    // mouse button can choose an item too. The chosen item's menuClick notification runs before
    // this returns.
    virtual void popup(bool rightButtonChooses) = 0;
};

} // namespace dalmure::platform
