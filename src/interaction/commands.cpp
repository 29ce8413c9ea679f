// The command buttons and the popup menu: delete request, play, rename, the entry-style toggle
// and the tooltip announcements. The control deletes and plays nothing itself; it asks the host.
#include "control/dalmure.h"
#include "control/trap.h"
#include "support/numeric.h"

namespace dalmure {

using platform::ButtonId;
using platform::MenuItemId;

namespace {
constexpr std::size_t kMaxRenamedDescription = 100;
}

void Dalmure::CWButton1_Click() {
    const bool valid = blValideGrid();
    if (valid && iSelected > -1 && events_ != nullptr) {
        // The host may store another index into the selection itself.
        events_->AnnoDeleteRequest(iSelected);
    }
}

void Dalmure::CWButton3_Click() {
    MSFlexGrid1_DblClick();
}

void Dalmure::CWButton4_Click() {
    trap(u"errDalmure_CWButton4_Click", [&] {
        if (!blValideGrid()) {
            return;
        }
        bool Cancel = false;
        platform::Grid& g = grid();
        g.setCol(1);
        g.setRow(mulInteger(2, iSelected));
        const Str current = g.text();

        Str newDesc = strCleanText(p_.dialogs().inputBox(Str(), u"Orvane", current));
        if (newDesc.empty()) {
            return; // cancelled, emptied, or nothing but refused characters
        }
        if (newDesc.size() > kMaxRenamedDescription) {
            newDesc.resize(kMaxRenamedDescription);
        }

        g.setCol(1);
        g.setRow(mulInteger(2, iSelected));
        Str oldDesc = g.text();
        g.setText(newDesc);
        if (events_ != nullptr) {
            events_->AnnoModifiedDesc(iSelected, oldDesc, newDesc, Cancel);
        }
        if (Cancel) {
            // The host's own OldDesc, if it changed it, is what goes back.
            g.setText(oldDesc);
        }
    });
}

void Dalmure::CWButton6_Click(std::int16_t Index) {
    trap(u"errDalmure_CWButton6_Click", [&] {
        platform::CommandButton& styleOne = button(ButtonId::CWButton6_0);
        platform::CommandButton& styleTwo = button(ButtonId::CWButton6_1);
        if (LockPVStyle) {
            PVStyle = 1;
            styleTwo.setVisible(false);
            styleOne.setVisible(true);
        } else if (Index != 1) {
            styleTwo.setVisible(true);
            styleOne.setVisible(false);
            PVStyle = 2;
        } else {
            styleTwo.setVisible(false);
            styleOne.setVisible(true);
            PVStyle = 1;
        }
    });
}

void Dalmure::CWButton_MouseMove(ButtonId id) {
    auto announce = [&] {
        platform::CommandButton& b = button(id);
        if (b.toolTipText() != strLastToolTip) {
            strLastToolTip = b.toolTipText();
            if (events_ != nullptr) {
                events_->ToolTipChanged(strLastToolTip);
            }
        }
    };
    switch (id) {
    case ButtonId::CWButton5:
        trap(u"errDalmure_CWButton5_MouseMove", announce);
        break;
    case ButtonId::CWButton6_0:
    case ButtonId::CWButton6_1:
        trap(u"errDalmure_CWButton6_MouseMove", announce);
        break;
    default:
        announce();
        break;
    }
}

void Dalmure::menuItemClick(MenuItemId item) {
    switch (item) {
    case MenuItemId::Jouer:
        CWButton3_Click();
        break;
    case MenuItemId::Renommer:
        CWButton4_Click();
        break;
    case MenuItemId::Supprimer:
        CWButton1_Click();
        break;
    case MenuItemId::Imprimer:
        minutes_.print();
        break;
    case MenuItemId::Dalmure:
        minutes_.view();
        break;
    case MenuItemId::S1:
    case MenuItemId::S2:
        break;
    }
}

} // namespace dalmure
