// The commands: one table from buttons and menu items to commands, and the commands themselves.
#include "commands/commands.h"
#include "support/log_labels.h"

#include "support/numeric.h"
#include "support/trap.h"

#include <optional>

namespace dalmure {

using platform::ButtonId;
using platform::MenuItemId;
using Command = Commands::Command;

namespace {

constexpr std::size_t kMaxRenamedDescription = 100;
// The modes move the buttons by one button step.
constexpr std::int32_t kButtonStep = 840;

// The button and the menu item (if any) that run each command.
struct Binding {
    Command command;
    ButtonId button;
    std::optional<MenuItemId> item;
};
constexpr Binding kBindings[] = {
    {Command::RequestDelete, ButtonId::Delete, MenuItemId::Delete},
    {Command::View, ButtonId::View, MenuItemId::ViewMinutes},
    {Command::Play, ButtonId::Play, MenuItemId::Play},
    {Command::Rename, ButtonId::Rename, MenuItemId::Rename},
    {Command::Print, ButtonId::Print, MenuItemId::Print},
    {Command::EntryStyleTwo, ButtonId::EntryStyleTwo, std::nullopt},
    {Command::EntryStyleOne, ButtonId::EntryStyleOne, std::nullopt},
};

} // namespace

Commands::Commands(platform::Platform& form, Log& log, Minutes& minutes, Host& host,
                   std::int16_t& entryStyle, const bool& lockEntryStyle)
    : form_(form), log_(log), minutes_(minutes), host_(host), entryStyle_(entryStyle),
      lockEntryStyle_(lockEntryStyle) {}

void Commands::buttonClicked(ButtonId button) {
    for (const Binding& b : kBindings)
        if (b.button == button)
            run(b.command);
}

void Commands::menuItemChosen(MenuItemId item) {
    for (const Binding& b : kBindings)
        if (b.item == item)
            run(b.command);
}

void Commands::run(Command command) {
    switch (command) {
    case Command::RequestDelete:
        requestDelete();
        break;
    case Command::View:
        minutes_.view();
        break;
    case Command::Play:
        host_.play();
        break;
    case Command::Rename:
        rename();
        break;
    case Command::Print:
        minutes_.print();
        break;
    case Command::EntryStyleTwo:
    case Command::EntryStyleOne:
        chooseEntryStyle(command);
        break;
    }
}

void Commands::requestDelete() {
    const bool valid = host_.hasSelection();
    std::int16_t& selection = host_.selection();
    if (valid && selection > -1 && host_.events() != nullptr) {
        // The host may store another index into the selection itself.
        host_.events()->AnnoDeleteRequest(selection);
    }
}

void Commands::rename() {
    runTrapped(log_, label::renameClick, [&] {
        if (!host_.hasSelection()) {
            return;
        }
        std::int16_t& selection = host_.selection();
        bool Cancel = false;
        platform::Grid& g = form_.grid();
        g.setCol(1);
        g.setRow(mulInteger(2, selection));
        const Str current = g.text();

        Str newDesc = cleanText(
            host_.expandWords(form_.dialogs().inputBox(host_.renamePrompt(), u"Orvane", current)));
        if (newDesc.empty()) {
            return; // cancelled, emptied, or nothing but refused characters
        }
        if (newDesc.size() > kMaxRenamedDescription) {
            newDesc.resize(kMaxRenamedDescription);
        }

        g.setCol(1);
        g.setRow(mulInteger(2, selection));
        Str oldDesc = g.text();
        g.setText(newDesc);
        const Str shown = newDesc;
        if (host_.events() != nullptr) {
            host_.events()->AnnoModifiedDesc(selection, oldDesc, newDesc, Cancel);
        }
        if (Cancel) {
            // The host's own OldDesc, if it changed it, is what goes back.
            g.setText(oldDesc);
        }
        host_.renamed(selection, Cancel ? oldDesc : shown);
    });
}

void Commands::chooseEntryStyle(Command command) {
    runTrapped(log_, label::entryStyleClick, [&] {
        platform::CommandButton& styleOne = form_.button(ButtonId::EntryStyleTwo);
        platform::CommandButton& styleTwo = form_.button(ButtonId::EntryStyleOne);
        if (lockEntryStyle_) {
            entryStyle_ = 1;
            styleTwo.setVisible(false);
            styleOne.setVisible(true);
        } else if (command == Command::EntryStyleTwo) {
            styleTwo.setVisible(true);
            styleOne.setVisible(false);
            entryStyle_ = 2;
        } else {
            styleTwo.setVisible(false);
            styleOne.setVisible(true);
            entryStyle_ = 1;
        }
    });
}

void Commands::buttonHovered(ButtonId button) {
    auto announce = [&] {
        platform::CommandButton& b = form_.button(button);
        if (b.toolTipText() != lastToolTip_) {
            lastToolTip_ = b.toolTipText();
            if (host_.events() != nullptr) {
                host_.events()->ToolTipChanged(lastToolTip_);
            }
        }
    };
    switch (button) {
    case ButtonId::Print:
        runTrapped(log_, label::printHover, announce);
        break;
    case ButtonId::EntryStyleTwo:
    case ButtonId::EntryStyleOne:
        runTrapped(log_, label::entryStyleHover, announce);
        break;
    default:
        announce();
        break;
    }
}

void Commands::withdrawToolTip() {
    if (lastToolTip_.empty()) {
        return;
    }
    lastToolTip_.clear();
    if (host_.events() != nullptr) {
        host_.events()->ToolTipChanged(lastToolTip_);
    }
}

void Commands::openPopupMenu(bool hasSelection, bool listHasRows) {
    preparePopupMenu(hasSelection, listHasRows);
    // Modal; the chosen item's command runs before this returns. Either button chooses.
    form_.menu().popup(true);
}

void Commands::preparePopupMenu(bool hasSelection, bool listHasRows) {
    platform::PopupMenu& m = form_.menu();
    m.setEnabled(MenuItemId::Play, hasSelection);
    m.setEnabled(MenuItemId::Rename, hasSelection);
    m.setEnabled(MenuItemId::Delete, hasSelection);
    m.setEnabled(MenuItemId::Print, hasSelection);
    m.setEnabled(MenuItemId::ViewMinutes, listHasRows);
    m.setVisible(MenuItemId::Play, !noPlay_);
    const bool showView = !noView_;
    m.setVisible(MenuItemId::ViewMinutes, showView);
    m.setVisible(MenuItemId::Separator2, showView);
    const bool modifiable = !noModify_;
    m.setEnabled(MenuItemId::Rename, modifiable);
    m.setEnabled(MenuItemId::Delete, modifiable);
}

// --- Modes -------------------------------------------------------------------------------

void Commands::setNoPlay(bool value) {
    runTrapped(log_, label::noPlay, [&] {
        noPlay_ = value;
        const std::int32_t move = value ? -kButtonStep : kButtonStep;
        form_.button(ButtonId::Play).setVisible(!value);
        for (ButtonId id : {ButtonId::Delete, ButtonId::View, ButtonId::Rename, ButtonId::Print,
                            ButtonId::EntryStyleTwo, ButtonId::EntryStyleOne}) {
            platform::CommandButton& b = form_.button(id);
            b.setLeft(b.left() + move);
        }
    });
}

void Commands::setNoView(bool value) {
    noView_ = value;
    platform::CommandButton& del = form_.button(ButtonId::Delete);
    if (value) {
        del.setLeft(form_.button(ButtonId::View).left());
        form_.button(ButtonId::View).setVisible(false);
    } else {
        del.setLeft(form_.button(ButtonId::Print).left() + kButtonStep);
        form_.button(ButtonId::View).setVisible(true);
    }
    form_.button(ButtonId::Print).setVisible(!value);
    form_.button(ButtonId::EntryStyleTwo).setLeft(del.left() + kButtonStep);
    form_.button(ButtonId::EntryStyleOne).setLeft(del.left() + kButtonStep);
}

void Commands::setNoModify(bool value) {
    noModify_ = value;
    form_.button(ButtonId::Delete).setVisible(!value);
    form_.button(ButtonId::Rename).setVisible(!value);
}

} // namespace dalmure
