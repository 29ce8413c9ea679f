// The grid's mouse and keyboard handling and the control surface's mouse moves: selecting an
// annotation (the one place a selection is made), the move keys that select as a click does, the
// play request of a double click, the popup menu of a right click or of the menu key, and the
// withdrawal of a button's tooltip.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "support/log_labels.h"
#include "support/numeric.h"

#include <algorithm>

namespace dalmure {

namespace {

constexpr std::int16_t kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35, kKeyHome = 36;
constexpr std::int16_t kKeyUp = 38, kKeyDown = 40;

bool isMoveKey(std::int16_t code) {
    return code == kKeyUp || code == kKeyDown || code == kKeyHome || code == kKeyEnd ||
           code == kKeyPageUp || code == kKeyPageDown;
}

// Whole annotations that fit the grid's height, at least one: the step of Page Up and Page
// Down. Counted from the top row down, then, near the end of the list, from above it.
std::int32_t annotationsPerPage(const platform::Grid& g) {
    std::int64_t height = 0;
    std::int32_t shown = 0;
    const std::int32_t top = g.topRow() - g.topRow() % 2;
    const auto fits = [&](std::int32_t r) {
        height += std::int64_t{g.rowHeight(r)} + g.rowHeight(r + 1);
        if (height > g.height())
            return false;
        ++shown;
        return true;
    };
    std::int32_t r = top;
    while (r + 1 < g.rows() && fits(r))
        r += 2;
    if (r + 1 >= g.rows()) {
        for (r = top - 2; r >= 0 && fits(r); r -= 2) {
        }
    }
    return std::max(shown, std::int32_t{1});
}

} // namespace

void DalmurePrivate::onGridClick() {
    trap(label::gridClick, [&] {
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
            // of it is committed until a selection succeeds and opens it again. Nothing is
            // selected meanwhile, so that no command acts on an annotation the clerk did not
            // choose.
            editorState_.selectionFailed();
            iSelected = -1;
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
    trap(label::gridDoubleClick, [&] {
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
    // The key opens the editor and the platform types it there, the first key of a note being
    // no different from the next.
    (void)KeyAscii;
    // The notes are the selected annotation's: the control's own work (sizing the rows, the
    // minutes, the host's reads) leaves the current row wherever it last went.
    if (blValideGrid()) {
        platform::Grid& g = grid();
        const std::int32_t row = 2 * std::int32_t{iSelected};
        if (row >= 0 && row < g.rows() && g.row() / 2 != iSelected) {
            g.setRow(row);
            g.setCol(0);
        }
    }
    onGridClick();
}

std::int32_t DalmurePrivate::annotationAfterKey(std::int16_t KeyCode) {
    platform::Grid& g = grid();
    const std::int32_t count = g.rows() / 2;
    if (count == 0 || (count == 1 && g.textMatrix(0, 0).empty())) {
        return -1; // the empty list
    }
    const std::int32_t last = count - 1;
    // From the selected annotation; with none, from the annotation of the current row.
    std::int32_t from = blValideGrid() ? std::int32_t{iSelected} : g.row() / 2;
    from = std::clamp(from, std::int32_t{0}, last);
    switch (KeyCode) {
    case kKeyUp:
        return std::max(from - 1, std::int32_t{0});
    case kKeyDown:
        return std::min(from + 1, last);
    case kKeyHome:
        return 0;
    case kKeyEnd:
        return last;
    case kKeyPageUp:
        return std::max(from - annotationsPerPage(g), std::int32_t{0});
    case kKeyPageDown:
        return std::min(from + annotationsPerPage(g), last);
    default:
        return -1;
    }
}

void DalmurePrivate::onGridKeyDown(std::int16_t& KeyCode, int Shift) {
    (void)Shift;
    if (!isMoveKey(KeyCode)) {
        return;
    }
    // The grid's own moves would go row by row, half an annotation at a time.
    const std::int32_t target = annotationAfterKey(KeyCode);
    KeyCode = 0;
    if (target < 0) {
        return;
    }
    // As a click on the annotation's description: the cell leaves, then the click handling.
    platform::Grid& g = grid();
    const std::int32_t row = 2 * target;
    if (g.row() != row || g.col() != 0) {
        onGridLeaveCell();
        if (row < g.rows()) {
            g.setRow(row);
            g.setCol(0);
        }
    }
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
    // A read-only editor stays open and follows its row, where the clerk scrolled it.
    PlaceEditor(blScrolling);
}

void DalmurePrivate::onGridMouseMove() {
    trap(label::gridMouseMove, [&] { commands_.withdrawToolTip(); });
}

void DalmurePrivate::onGridMouseUp(int Button) {
    trap(label::gridMouseUp, [&] {
        if (Button != platform::kRightButton) {
            return;
        }
        const bool valid = blValideGrid();
        commands_.openPopupMenu(valid, grid().rows() >= 1);
    });
}

void DalmurePrivate::openCommandMenu() {
    trap(label::gridMouseUp, [&] { commands_.openPopupMenu(blValideGrid(), grid().rows() >= 1); });
}

void DalmurePrivate::prepareCommandMenu() {
    trap(label::gridMouseUp, [&] {
        // Another menu shows the commands under their name, looked up the first time.
        platform::PopupMenu& menu = p_.menu();
        if (menu.title().empty())
            menu.setTitle(settings_.text(u"MSG303", u"Annotations"));
        commands_.preparePopupMenu(blValideGrid(), grid().rows() >= 1);
    });
}

void DalmurePrivate::onSurfaceMouseMove() {
    trap(label::surfaceMouseMove, [&] { commands_.withdrawToolTip(); });
}

} // namespace dalmure
