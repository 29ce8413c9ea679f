// The grid's mouse and keyboard handling and the control surface's mouse moves: selecting an
// annotation (the one place a selection is made), the play request of a double click, the popup
// menu of a right click, and the withdrawal of a button's tooltip.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "support/numeric.h"

namespace dalmure {

void DalmurePrivate::onGridClick() {
    trap(u"errDalmure_MSFlexGrid1_Click", [&] {
        platform::Grid& g = grid();
        const bool wasVisible = g.visible();
        if (g.rows() == 0) {
            return;
        }
        if (g.rows() == 2) {
            g.setRow(0);
            if (g.text().empty()) {
                return; // the empty list: nothing to select
            }
        }
        bool refresh = false;
        AllowRefreshPV(refresh);
        ClearCellBackColor();

        // The annotation index is 16-bit: rows past the last one a 16-bit index can reach, once
        // halved and doubled again, overflow.
        const std::int32_t current = g.row();
        if (current >= 32767) {
            // The editor holds notes of the annotation selected before: it closes, and nothing
            // of it is committed until a selection succeeds and opens it again.
            blSelectionFailed = true;
            closeEditor();
            errors::overflow();
        }
        std::int16_t mainRow = static_cast<std::int16_t>(current);
        if (mainRow % 2 != 0) {
            mainRow = subInteger(mainRow, 1);
            g.setRow(mainRow);
        }
        iSelected = static_cast<std::int16_t>(mainRow / 2);

        const std::int32_t highlight = g.backColorFixed();
        g.setCol(0);
        g.setCellBackColor(highlight);
        g.setCol(1);
        g.setCellBackColor(highlight);
        g.setRow(addInteger(mulInteger(iSelected, 2), 1));
        g.setCol(0);
        g.setCellBackColor(highlight);
        g.setCol(1);
        g.setCellBackColor(highlight);

        openEditor();

        if (wasVisible) {
            bool show = true;
            AllowRefreshPV(show);
        }
    });
}

void DalmurePrivate::onGridDoubleClick() {
    trap(u"errDalmure_MSFlexGrid1_DblClick", [&] {
        if (!blValideGrid()) {
            return;
        }
        platform::Grid& g = grid();
        if (g.row() % 2 != 0) {
            g.setRow(g.row() - 1);
        }
        const Str description = g.text();
        ClearCellBackColor();
        if (!description.empty() && events_ != nullptr) {
            events_->DblClick();
        }
    });
}

void DalmurePrivate::onGridKeyPress(std::int16_t& KeyAscii) {
    (void)KeyAscii; // the key only opens the editor; it is not typed into it
    onGridClick();
}

void DalmurePrivate::onGridLeaveCell() {
    closeEditor();
}

void DalmurePrivate::onGridScroll() {
    if (!blScrolling) {
        std::int16_t escape = 27;
        onEditorKeyPress(escape);
    }
    PlaceEditor(); // a read-only editor stays open and follows its row
}

void DalmurePrivate::onGridMouseMove() {
    trap(u"errDalmure_MSFlexGrid1_MouseMove", [&] { commands_.withdrawToolTip(); });
}

void DalmurePrivate::onGridMouseUp(int Button) {
    trap(u"errDalmure_MSFlexGrid1_MouseUp", [&] {
        if (Button != platform::kRightButton) {
            return;
        }
        const bool valid = blValideGrid();
        commands_.openPopupMenu(valid, grid().rows() >= 1);
    });
}

void DalmurePrivate::onSurfaceMouseMove() {
    trap(u"errUserControl_MouseMove", [&] { commands_.withdrawToolTip(); });
}

} // namespace dalmure
