// The popup menu mnuPopupAnnotation.
#pragma once

#include "platform/ids.h"
#include "support/text.h"

#include <array>
#include <cstddef>

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
    // The name of the control's commands where another menu shows them under its own items
    // (the notes' text menu); the popup menu itself shows no title.
    virtual const Str& title() const = 0;
    virtual void setTitle(const Str& title) = 0;

    // Shows the menu as a popup at the mouse position; modal. With rightButtonChooses the right
    // mouse button can choose an item too. The chosen item's menuClick notification runs before
    // this returns.
    virtual void popup(bool rightButtonChooses) = 0;
};

// A popup menu whose items are kept here as set (a hidden item reads back enabled or not as it
// was set), with itemChanged() told after each change.
class MenuItems : public PopupMenu {
  public:
    Str caption(MenuItemId id) const override { return item(id).caption; }
    void setCaption(MenuItemId id, const Str& caption) override {
        set(id, &Item::caption, caption);
    }
    bool enabled(MenuItemId id) const override { return item(id).enabled; }
    void setEnabled(MenuItemId id, bool v) override { set(id, &Item::enabled, v); }
    bool visible(MenuItemId id) const override { return item(id).visible; }
    void setVisible(MenuItemId id, bool v) override { set(id, &Item::visible, v); }
    const Str& title() const override { return title_; }
    void setTitle(const Str& title) override { title_ = title; }

  protected:
    struct Item {
        Str caption;
        bool enabled = true;
        bool visible = true;
    };
    const Item& item(MenuItemId id) const { return items_[static_cast<std::size_t>(id)]; }
    virtual void itemChanged(MenuItemId id) = 0;

  private:
    template <class T> void set(MenuItemId id, T Item::*field, const T& v) {
        items_[static_cast<std::size_t>(id)].*field = v;
        itemChanged(id);
    }
    std::array<Item, kAllMenuItems.size()> items_;
    Str title_;
};

} // namespace dalmure::platform
