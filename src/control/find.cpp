// The find bar: Ctrl+F shows it, what the clerk types filters the annotations (time, description
// and notes, without regard to case or accents), Enter and F3 select the next match as a click
// would, Shift+F3 the one before, Esc hides the bar and shows every annotation again.
//
// The filter hides the two rows of each annotation that does not match. The folded texts are
// kept only while the bar is shown, and follow every change of the list meanwhile; with the bar
// never opened, nothing of this runs.
#include "control/dalmure_p.h"
#include "support/log_labels.h"

#include "control/trap.h"
#include "platform/design.h"
#include "writing/find.h"

namespace dalmure {

namespace {

constexpr std::int32_t kGridBelowFrame = 300; // as the resize leaves it

// "%1 sur %2" with the numbers put in.
Str countText(Str pattern, std::size_t found, std::size_t total) {
    auto put = [&](StrView mark, std::size_t n) {
        const auto at = pattern.find(mark);
        if (at != Str::npos)
            pattern.replace(at, mark.size(), fromUtf8(std::to_string(n)));
    };
    put(u"%1", found);
    put(u"%2", total);
    return pattern;
}

} // namespace

std::int32_t DalmurePrivate::findRoom() {
    platform::FindBar& bar = p_.findBar();
    return bar.visible() ? bar.height() : 0;
}

bool DalmurePrivate::findHoldsFocus() {
    return find_ != nullptr && p_.findBar().hasFocus();
}

void DalmurePrivate::layoutFind() {
    platform::Grid& g = grid();
    platform::FindBar& bar = p_.findBar();
    const std::int32_t room = findRoom();
    if (bar.visible())
        bar.setPlacement(g.left(), design::kGridTop, g.width());
    const std::int32_t top = design::kGridTop + room;
    if (g.top() != top)
        g.setTop(top);
    const std::int32_t height =
        std::max(0, p_.frame(platform::FrameId::Frame3).height() - kGridBelowFrame - room);
    if (g.height() != height)
        g.setHeight(height);
}

void DalmurePrivate::openFind() {
    trap(label::find, [&] {
        platform::FindBar& bar = p_.findBar();
        if (find_ == nullptr) {
            auto index = std::make_unique<writing::FindIndex>();
            platform::Grid& g = grid();
            const std::int32_t count = list_.count();
            for (std::int32_t k = 0; k < count; ++k) {
                const Str time = g.textMatrix(2 * k, 0), desc = g.textMatrix(2 * k, 1),
                          notes = g.textMatrix(2 * k + 1, 1);
                index->append({time, desc, notes});
            }
            if (editorState_.isOpen() && iSelected >= 0 && iSelected < count)
                index->setPinned(static_cast<std::size_t>(iSelected));
            find_ = std::move(index);
            bar.setCaptions(settings_.text(u"MSG461", u"Fermer la recherche (\u00c9chap)"),
                            settings_.text(u"MSG462", u"Rechercher"));
            bar.setText(Str());
            bar.setVisible(true);
            layoutFind();
            findShowCount();
        }
        bar.setFocus();
    });
    PlaceEditor();
}

void DalmurePrivate::filterFind() {
    if (find_ == nullptr)
        return;
    trap(label::find, [&] {
        find_->setQuery(p_.findBar().text());
        const auto count = static_cast<std::int32_t>(find_->size());
        for (std::int32_t k = 0; k < count; ++k)
            findApply(k);
        findShowCount();
        // The list is shown from its first match; the selected annotation stays in view when it
        // is still shown.
        platform::Grid& g = grid();
        std::int32_t top = 0;
        const std::int32_t row = editorRow();
        if (row >= 0 && !g.rowHidden(row)) {
            const std::int32_t pos = g.rowPos(row);
            if (pos >= 0 && pos + g.rowHeight(row) <= g.height())
                return;
            top = row - 1;
        }
        if (g.rows() > 0)
            EnsureVisible(top);
    });
    PlaceEditor();
}

void DalmurePrivate::nextFound(bool backwards) {
    if (find_ == nullptr)
        return;
    trap(label::find, [&] {
        const auto count = static_cast<std::int32_t>(find_->size());
        std::optional<std::size_t> after;
        if (iSelected >= 0 && iSelected < count && blValideGrid())
            after = static_cast<std::size_t>(iSelected);
        std::optional<std::size_t> found;
        if (!backwards) {
            found = find_->next(after);
        } else if (count > 0) {
            const std::int32_t from = after ? static_cast<std::int32_t>(*after) : count;
            for (std::int32_t step = 1; step <= count && !found; ++step) {
                const auto k = static_cast<std::size_t>(((from - step) % count + count) % count);
                if (find_->matches(k))
                    found = k;
            }
        }
        if (!found)
            return;
        const auto k = static_cast<std::int32_t>(*found);
        platform::Grid& g = grid();
        // The only match is the annotation whose notes are open: they stay as the clerk left
        // them (opening them again would read the cell, without what was typed since).
        if (k == iSelected && editorState_.isOpen() && editorRow() == 2 * k + 1) {
            std::int32_t top = 2 * k;
            const std::int32_t pos = g.rowPos(top);
            if (pos < 0 || pos + g.rowHeight(top) + g.rowHeight(top + 1) > g.height())
                EnsureVisible(top);
            return;
        }
        // As a click on the annotation's notes: the cell leaves, the new one becomes current,
        // then the click handling selects it and opens its notes. The notes open elsewhere are
        // left (and committed) even when the control's own work moved the current cell to the
        // match already.
        const std::int32_t notesRow = 2 * k + 1;
        const std::int32_t openRow = editorRow();
        if ((openRow >= 0 && openRow != notesRow) || g.row() != notesRow || g.col() != 1)
            onGridLeaveCell();
        g.setRow(notesRow);
        g.setCol(1);
        const std::int32_t pos = g.rowPos(2 * k);
        if (pos < 0 || pos + g.rowHeight(2 * k) + g.rowHeight(notesRow) > g.height()) {
            std::int32_t top = 2 * k;
            EnsureVisible(top);
        }
        findSelecting_ = true;
        onGridClick();
        findSelecting_ = false;
    });
    findSelecting_ = false;
    PlaceEditor();
}

void DalmurePrivate::closeFind() {
    if (find_ == nullptr)
        return;
    trap(label::find, [&] {
        find_.reset();
        platform::Grid& g = grid();
        for (std::int32_t r = 0; r < g.rows(); ++r)
            if (g.rowHidden(r))
                g.setRowHidden(r, false);
        platform::FindBar& bar = p_.findBar();
        const bool hadFocus = bar.hasFocus();
        bar.setVisible(false);
        layoutFind();
        const std::int32_t row = editorRow();
        if (row >= 0) {
            const std::int32_t pos = g.rowPos(row);
            if (pos < 0 || pos + g.rowHeight(row) > g.height()) {
                std::int32_t top = row - 1;
                EnsureVisible(top);
            }
        }
        PlaceEditor();
        // The clerk goes back to the notes the bar left open.
        if (hadFocus && editorState_.isOpen() && notesEditor().visible())
            notesEditor().setFocus();
    });
    PlaceEditor();
}

// --- The list changing under a filter ------------------------------------------------------

void DalmurePrivate::findApply(std::int32_t index) {
    platform::Grid& g = grid();
    const bool hide = !find_->visible(static_cast<std::size_t>(index));
    for (std::int32_t r = 2 * index; r <= 2 * index + 1 && r < g.rows(); ++r)
        if (g.rowHidden(r) != hide)
            g.setRowHidden(r, hide);
}

void DalmurePrivate::findShowCount() {
    p_.findBar().setCount(
        countText(settings_.text(u"MSG460", u"%1 sur %2"), find_->matchCount(), find_->size()));
}

void DalmurePrivate::findInserted(std::int32_t index) {
    if (find_ == nullptr)
        return;
    platform::Grid& g = grid();
    const Str time = g.textMatrix(2 * index, 0), desc = g.textMatrix(2 * index, 1),
              notes = g.textMatrix(2 * index + 1, 1);
    const auto at = static_cast<std::size_t>(index);
    if (at <= find_->size())
        find_->insert(at, {time, desc, notes});
    findApply(index);
    findShowCount();
}

void DalmurePrivate::findUpdated(std::int32_t index) {
    if (find_ == nullptr || index < 0 || static_cast<std::size_t>(index) >= find_->size())
        return;
    platform::Grid& g = grid();
    const Str time = g.textMatrix(2 * index, 0), desc = g.textMatrix(2 * index, 1),
              notes = g.textMatrix(2 * index + 1, 1);
    find_->update(static_cast<std::size_t>(index), {time, desc, notes});
    findApply(index);
    findShowCount();
}

void DalmurePrivate::findRemoved(std::int32_t index) {
    if (find_ == nullptr || index < 0 || static_cast<std::size_t>(index) >= find_->size())
        return;
    find_->remove(static_cast<std::size_t>(index));
    findShowCount();
}

void DalmurePrivate::findCleared() {
    if (find_ == nullptr)
        return;
    find_->clear();
    platform::Grid& g = grid();
    for (std::int32_t r = 0; r < g.rows(); ++r)
        if (g.rowHidden(r))
            g.setRowHidden(r, false);
    findShowCount();
}

void DalmurePrivate::findSkipHidden() {
    platform::Grid& g = grid();
    const std::int32_t rows = g.rows();
    if (rows < 2 || g.row() >= rows || !g.rowHidden(g.row()))
        return;
    const std::int32_t from = g.row() - g.row() % 2;
    for (std::int32_t r = from; r < rows; r += 2)
        if (!g.rowHidden(r)) {
            g.setRow(r);
            return;
        }
    for (std::int32_t r = from - 2; r >= 0; r -= 2)
        if (!g.rowHidden(r)) {
            g.setRow(r);
            return;
        }
}

void DalmurePrivate::findPinSelected() {
    if (find_ == nullptr || iSelected < 0 || static_cast<std::size_t>(iSelected) >= find_->size())
        return;
    const auto old = find_->pinned();
    find_->setPinned(static_cast<std::size_t>(iSelected));
    if (old && *old < find_->size())
        findApply(static_cast<std::int32_t>(*old));
    findApply(iSelected);
}

} // namespace dalmure
