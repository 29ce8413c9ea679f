// Layout: the frames, grid and editor fitted to the control's size, each row sized to its
// text, the worked-on row kept in view, and the highlight removed. Sizes are in twips.
#include "control/dalmure_p.h"
#include "support/log_labels.h"

#include "control/trap.h"
#include "support/errors.h"
#include "support/numeric.h"

#include <algorithm>
#include <cstdint>

namespace dalmure {

namespace {

constexpr std::int32_t kMinHeight = 2000;
constexpr std::int32_t kMinWidth = 2900;
constexpr std::int32_t kHeightOutsideFrame3 = 950;
constexpr std::int32_t kNarrower = 60; // Frame3 / browser / editor narrower than their host
constexpr std::int32_t kGridBelowFrame = 300;
constexpr std::int32_t kGridNarrower = 200;
constexpr std::int32_t kColumn1Margin = 1295;
constexpr std::int32_t kCapMargin = 290;
constexpr std::int32_t kRowAboveEditor = 45;
constexpr std::int32_t kEditorBelowRowTop = 30;
constexpr std::int32_t kEditorRightOfColumn = 45;

// 32-bit arithmetic: a result outside the signed 32-bit range is an overflow.
std::int32_t checkedLong(long long value) {
    if (value < INT32_MIN || value > INT32_MAX)
        errors::overflow();
    return static_cast<std::int32_t>(value);
}

// Floating division as the host language does it: 0 / 0 overflows, x / 0 divides by zero.
double divide(double numerator, double denominator) {
    if (denominator == 0) {
        if (numerator == 0)
            errors::overflow();
        throw ControlError(11, u"Division by zero");
    }
    return numerator / denominator;
}

} // namespace

void DalmurePrivate::fitToSize() {
    trap(label::resize, [&] {
        platform::ControlSurface& surface = p_.surface();
        if (surface.height() < kMinHeight)
            surface.setHeight(kMinHeight);
        if (surface.width() < kMinWidth)
            surface.setWidth(kMinWidth);

        platform::Frame& frame3 = p_.frame(platform::FrameId::Frame3);
        frame3.setHeight(
            checkedLong(static_cast<long long>(surface.height()) - kHeightOutsideFrame3));
        frame3.setWidth(checkedLong(static_cast<long long>(surface.width()) - kNarrower));

        platform::Frame& frame1 = p_.frame(platform::FrameId::Frame1);
        frame1.setWidth(frame3.width());
        p_.browser().setWidth(checkedLong(static_cast<long long>(frame1.width()) - kNarrower));

        ResizeGrid();
    });
    PlaceEditor();
}

void DalmurePrivate::ResizeGrid() {
    bool finished = false;
    trap(label::resizeGrid, [&] {
        bool hide = false;
        AllowRefreshPV(hide);
        // As a scroll, but the notes being typed stay open: a resize is not the clerk's scroll.
        if (!editorState_.isOpen())
            onGridScroll();

        platform::Grid& g = grid();
        platform::Frame& frame3 = p_.frame(platform::FrameId::Frame3);
        g.setHeight(
            checkedLong(static_cast<long long>(frame3.height()) - kGridBelowFrame - findRoom()));
        g.setWidth(checkedLong(static_cast<long long>(frame3.width()) - kGridNarrower));
        g.setColWidth(1, checkedLong(static_cast<long long>(g.width()) - kColumn1Margin));
        notesEditor().setWidth(checkedLong(static_cast<long long>(g.colWidth(1)) - kNarrower));
        if (findActive())
            layoutFind();

        // The last row is taken once, as a 16-bit Integer, when the loop starts; host calls and
        // user input that run at the yield may remove rows, which the sizing then reports as
        // invalid rows. The counter's step past 32767 overflows, also after the loop's last row.
        const std::int16_t last = toInteger(static_cast<long long>(g.rows()) - 1);
        for (std::int16_t i = 0; i <= last; i = addInteger(i, 1)) {
            p_.surface().yieldToPendingEvents();
            std::int16_t row = i;
            bool scroll = false, editing = false;
            SetRowHeight(row, scroll, editing);
        }
        // The row of the notes being typed is sized by the editor's text, not yet committed.
        const std::int32_t notesRow = editorRow();
        if (notesRow >= 0) {
            std::int16_t row = toInteger(static_cast<long long>(notesRow));
            bool scroll = false, editing = true;
            SetRowHeight(row, scroll, editing);
        }

        bool show = true;
        AllowRefreshPV(show);
        finished = true;
    });
    if (!finished)
        grid().setVisible(true); // a failed resize never leaves the grid hidden
}

void DalmurePrivate::SetRowHeight(std::int16_t& row, bool& scroll, bool& editing) {
    trap(label::setRowHeight, [&] {
        platform::Grid& g = grid();
        platform::TextBox& editor = notesEditor();
        platform::ControlSurface& surface = p_.surface();

        const Str text = editing ? editor.text() : g.textMatrix(row, 1);
        const auto returns = std::count(text.begin(), text.end(), u'\r');
        const std::int16_t n = toInteger(static_cast<long long>(returns));

        const std::int32_t w = toLong(surface.textWidth(text));
        const std::int32_t a = toLong(surface.textHeight(u"A"));

        std::int16_t lines = toInteger(divide(w, editor.width()));
        lines = addInteger(addInteger(lines, 1), n);
        const std::int32_t h = checkedLong(static_cast<long long>(lines) * a);

        std::int32_t e = h;
        if (!(g.height() > checkedLong(static_cast<long long>(h) + kCapMargin)))
            e = toLong(static_cast<double>(g.height()) - kGridBelowFrame);
        if (editor.height() != e)
            editor.setHeight(e);

        const std::int32_t r = toLong(static_cast<double>(editor.height()) + kRowAboveEditor);
        if (g.rowHeight(row) != r)
            g.setRowHeight(row, r);

        if (scroll) {
            std::int32_t above = subInteger(row, 1);
            EnsureVisible(above);
        }

        const std::int32_t t =
            toLong(static_cast<double>(g.top()) + g.rowPos(row) + kEditorBelowRowTop);
        if (editor.top() != t)
            editor.setTop(t);
    });
}

void DalmurePrivate::EnsureVisible(std::int32_t& row) {
    trap(label::ensureVisible, [&] {
        blScrolling = true;
        grid().setTopRow(row);
        blScrolling = false; // only after a scroll that succeeded
    });
}

std::int32_t DalmurePrivate::editorRow() {
    if (!editorState_.isOpen() || iSelected < 0)
        return -1;
    const std::int32_t row = 2 * std::int32_t{iSelected} + 1;
    return row < grid().rows() ? row : -1;
}

void DalmurePrivate::PlaceEditor(bool keepInView) {
    if (!editorState_.isOpen())
        return;
    platform::Grid& g = grid();
    platform::TextBox& editor = notesEditor();
    try {
        const std::int32_t row = editorRow();
        std::int32_t pos = row < 0 ? -1 : g.rowPos(row);
        // Whatever took the row out of view (a smaller control, the find bar's room, the list
        // changing above it), the list scrolls it back, wholly shown when it fits; only the
        // clerk's own scrolling leaves it away.
        const std::int32_t shown = g.rowsAreaHeight();
        const auto outOfView = [&] {
            return pos < 0 || pos >= shown ||
                   (pos + g.rowHeight(row) > shown && g.rowHeight(row) <= shown);
        };
        if (row >= 0 && keepInView && !placing_ && !g.rowHidden(row) && outOfView()) {
            placing_ = true;
            std::int32_t above = row - 1;
            EnsureVisible(above);
            placing_ = false;
            pos = g.rowPos(row);
        }
        // A row the find bar's filter hid is out of view as well.
        if (pos < 0 || pos >= shown || g.rowHidden(row)) {
            editor.hideKeepingFocus();
            return;
        }
        // Left where it is while it lies within its row (the click handling and the sizing of
        // the row place it a little differently); otherwise placed as the sizing places it.
        const std::int32_t top = g.top() + pos;
        const std::int32_t height = g.rowHeight(row);
        if (editor.top() < top || editor.top() + editor.height() > top + height) {
            editor.setTop(top + kEditorBelowRowTop);
            editor.setHeight(std::max(0, height - kRowAboveEditor));
        }
        const std::int32_t left = g.left() + g.colPos(1) + kEditorRightOfColumn;
        if (editor.left() != left)
            editor.setLeft(left);
        if (!editor.visible())
            editor.setVisible(true);
    } catch (const ControlError&) {
        // A placement that cannot be worked out leaves the editor as it is.
    }
}

void DalmurePrivate::ClearCellBackColor() {
    trap(label::clearCellBackColor, [&] {
        platform::Grid& g = grid();
        if (g.rows() == 0)
            return;
        const std::int32_t row = g.row();
        // Every cell in the grid's colour, as a walk over the cells would leave them; the walk
        // ends in column 1 and the remembered row is made current again.
        g.fillCellBackColor(g.backColor());
        g.setCol(1);
        g.setRow(row);
    });
}

} // namespace dalmure
