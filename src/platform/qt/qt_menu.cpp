// The popup menu of the annotations.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"

namespace dalmure::qt {

QtMenu::QtMenu(Context& ctx, QWidget* surface, std::function<QPoint()> mousePos)
    : ctx_(ctx), menu_(new QMenu(surface)), mousePos_(std::move(mousePos)) {
    menu_->setObjectName(QStringLiteral("mnuPopupAnnotation"));
    for (std::size_t i = 0; i < platform::kAllMenuItems.size(); ++i) {
        const auto id = platform::kAllMenuItems[i];
        const auto name = platform::menuItemName(id);
        QAction* a =
            id == platform::MenuItemId::Separator1 || id == platform::MenuItemId::Separator2
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

QAction* QtMenu::action(platform::MenuItemId id) const {
    return actions_[static_cast<std::size_t>(id)];
}
void QtMenu::itemChanged(platform::MenuItemId id) {
    QAction* a = action(id);
    const Item& it = item(id);
    if (!a->isSeparator())
        a->setText(toQ(it.caption));
    a->setEnabled(it.enabled);
    a->setVisible(it.visible);
}

void QtMenu::addItemsTo(QMenu& other) const {
    // Under a titled section, so that the commands read apart from the other menu's own items
    // (deleting text is not deleting the annotation).
    QAction* section = other.addSection(toQ(title()));
    section->setObjectName(QStringLiteral("mnuPopupTitle"));
    for (QAction* a : actions_)
        other.addAction(a);
}

void QtMenu::chosenElsewhere(const QAction* chosen) {
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (chosen != nullptr && actions_[i] == chosen && ctx_.sink)
            ctx_.sink->menuClick(platform::kAllMenuItems[i]);
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
