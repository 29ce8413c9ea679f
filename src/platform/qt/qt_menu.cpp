// The popup menu of the annotations.
#include "platform/qt/qt_internal.h"

#include "control/design.h"

namespace dalmure::qt {

QtMenu::QtMenu(Context& ctx, QWidget* surface, std::function<QPoint()> mousePos)
    : ctx_(ctx), menu_(new QMenu(surface)), mousePos_(std::move(mousePos)) {
    menu_->setObjectName(QStringLiteral("mnuPopupAnnotation"));
    for (std::size_t i = 0; i < platform::kAllMenuItems.size(); ++i) {
        const auto id = platform::kAllMenuItems[i];
        const auto name = platform::menuItemName(id);
        QAction* a = id == platform::MenuItemId::Separator1 || id == platform::MenuItemId::Separator2
                         ? menu_->addSeparator()
                         : menu_->addAction(QString());
        a->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        actions_[i] = a;
        setCaption(id, design::menuCaption(id));
    }
}

QtMenu::~QtMenu() {
    delete menu_.data();
}

QAction* QtMenu::action(platform::MenuItemId item) const {
    return actions_[static_cast<std::size_t>(item)];
}
Str QtMenu::caption(platform::MenuItemId item) const {
    return captions_[static_cast<std::size_t>(item)];
}
void QtMenu::setCaption(platform::MenuItemId item, const Str& caption) {
    captions_[static_cast<std::size_t>(item)] = caption;
    if (!action(item)->isSeparator())
        action(item)->setText(toQ(caption));
}
bool QtMenu::enabled(platform::MenuItemId item) const {
    return enabled_[static_cast<std::size_t>(item)];
}
void QtMenu::setEnabled(platform::MenuItemId item, bool v) {
    enabled_[static_cast<std::size_t>(item)] = v;
    action(item)->setEnabled(v);
}
bool QtMenu::visible(platform::MenuItemId item) const {
    return visible_[static_cast<std::size_t>(item)];
}
void QtMenu::setVisible(platform::MenuItemId item, bool v) {
    visible_[static_cast<std::size_t>(item)] = v;
    action(item)->setVisible(v);
}

void QtMenu::popup(bool /*rightButtonChooses: a QMenu takes either button*/) {
    ctx_.driveModal(menu_);
    QAction* chosen = menu_->exec(mousePos_ ? mousePos_() : QCursor::pos());
    std::optional<platform::MenuItemId> item;
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (chosen != nullptr && actions_[i] == chosen)
            item = platform::kAllMenuItems[i];
    if (ctx_.happenings) {
        std::vector<headless::MenuItemState> states;
        for (auto id : platform::kAllMenuItems)
            states.push_back({id, caption(id), enabled(id), visible(id)});
        ctx_.happenings->menu(states, item);
    }
    if (item && ctx_.sink)
        ctx_.sink->menuClick(*item);
}

} // namespace dalmure::qt
