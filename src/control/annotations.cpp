// The annotation list in the grid: annotation k in rows 2k (time, description; bold) and
// 2k + 1 (data text), kept in ordinal order of the time texts; the host's list members.
#include "control/dalmure_p.h"
#include "support/log_labels.h"

#include "control/trap.h"
#include "support/errors.h"
#include "support/numeric.h"

namespace dalmure {

namespace {

constexpr char16_t kTab = u'\t';

// Is the pair of neighbouring annotations (a, a + 1) out of time order?
bool outOfOrder(platform::Grid& g, std::int32_t a) {
    const std::int32_t first = 2 * a, second = 2 * a + 2;
    if (a < 0 || second >= g.rows())
        return false;
    return g.compareText(first, 0, g.textMatrix(second, 0)) > 0;
}

// Out-of-order pairs that annotation a belongs to: (a - 1, a) and (a, a + 1).
std::int32_t breaksAround(platform::Grid& g, std::int32_t a) {
    return (outOfOrder(g, a - 1) ? 1 : 0) + (outOfOrder(g, a) ? 1 : 0);
}

// Where the literal scan over the main rows stops: the first main row whose time text is
// greater than the new one, or the number of rows.
std::int32_t insertionByScan(platform::Grid& g, const Str& time) {
    const std::int32_t rows = g.rows();
    for (std::int32_t i = 0; i <= rows - 1; i += 2) {
        g.setRow(i);
        if (g.text() > time)
            return i;
    }
    return rows;
}

// The same row found by bisection, valid while the main rows are in order: the first main row
// whose time text is greater than the new one (after every equal one).
std::int32_t insertionByBisection(platform::Grid& g, const Str& time) {
    const std::int32_t rows = g.rows();
    std::int32_t lo = 0, hi = (rows + 1) / 2; // main rows 2*lo .. 2*(hi-1)
    while (lo < hi) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        if (g.compareText(2 * mid, 0, time) > 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 2 * lo < rows ? 2 * lo : rows;
}

// Counts every out-of-order pair afresh; only after a list operation was cut short by an error.
std::int32_t countBreaks(platform::Grid& g) {
    std::int32_t breaks = 0;
    for (std::int32_t a = 0; 2 * a + 2 < g.rows(); ++a)
        if (outOfOrder(g, a))
            ++breaks;
    return breaks;
}

} // namespace

void DalmurePrivate::noteTimeOrderAround(std::int32_t annotation) {
    timeOrderBreaks_ += breaksAround(grid(), annotation);
}

// --- Adding ------------------------------------------------------------------------------

void DalmurePrivate::AnnoAdd(Str& strAnnoTime, Str& strAnnoDesc, Str& strAnnoData) {
    bool finished = false;
    std::int32_t inserted = -1; // the annotation's index once its rows are in the grid
    trap(label::annoAdd, [&] {
        commitPendingEdit();
        platform::Grid& g = grid();

        // The list is empty when cell (0, 0) is; a grid without rows is not empty.
        bool empty = false;
        if (g.rows() >= 1) {
            g.setRow(0);
            g.setCol(0);
            empty = g.text().empty();
        }

        // The main row.
        std::int32_t pos = 0;
        if (!empty) {
            pos = timeOrderBreaks_ == 0 ? insertionByBisection(g, strAnnoTime)
                                        : insertionByScan(g, strAnnoTime);
            const std::int32_t k = pos / 2;
            if (k >= 1 && 2 * k < g.rows())
                timeOrderBreaks_ -= outOfOrder(g, k - 1) ? 1 : 0;
            Str item = strAnnoTime;
            item += kTab;
            item += strAnnoDesc;
            g.addItem(item, pos);
        } else {
            // The placeholder (or a first annotation without a time) is written over.
            timeOrderBreaks_ -= breaksAround(g, 0);
            g.setRow(0);
            g.setCol(0);
            g.setText(strAnnoTime);
            g.setCol(1);
            g.setText(strAnnoDesc);
        }

        // Bold main row.
        g.setRow(pos);
        g.setCol(0);
        g.setCellFontBold(true);
        g.setCol(1);
        g.setCellFontBold(true);

        // The data row.
        if (!empty) {
            g.addItem(Str(1, kTab), pos + 1);
        } else {
            g.setRow(1);
            g.setCol(0);
            g.setText(Str());
            g.setCol(1);
            g.setText(Str());
        }
        noteTimeOrderAround(pos / 2);
        inserted = pos / 2;
        // Journaled before the selection opens the editor on it, whose text refers to it.
        journalAdded(inserted, strAnnoTime, strAnnoDesc, Str());
        findInserted(inserted);

        // Scroll the new annotation to the top.
        std::int32_t top = pos;
        EnsureVisible(top);

        // Select it as a click on its data cell would.
        g.setRow(pos + 1);
        g.setCol(1);
        onGridClick();

        // The host's data text, into the data cell and the editor.
        if (!strAnnoData.empty()) {
            g.setText(strAnnoData);
            journalNotes(inserted, strAnnoData);
            findUpdated(inserted);
            notesEditor().setText(strAnnoData);
        }
        finished = true;
    });
    PlaceEditor();
    if (!finished)
        timeOrderBreaks_ = countBreaks(grid());
}

// --- Reading -----------------------------------------------------------------------------

std::int16_t DalmurePrivate::AnnoCount() {
    std::int16_t result = 0;
    trap(label::annoCount, [&] {
        platform::Grid& g = grid();
        if (g.rows() == 2) {
            const std::int32_t row = g.row();
            g.setRow(0);
            const bool blank = g.text().empty();
            g.setRow(row);
            if (blank)
                return;
        }
        result = toInteger(static_cast<double>(g.rows()) / 2.0);
    });
    return result;
}

namespace {
enum class Part { Time, Desc, Data };

// The three readers share their steps; only the cell and the cleaning differ.
void readAnnotation(platform::Grid& g, std::int32_t AnnoIndex, Part part, Str& result) {
    const std::int16_t index = toInteger(static_cast<long long>(AnnoIndex));
    const std::int16_t mainRow = mulInteger(2, index); // evaluated whatever the sign
    if (index < 0 || mainRow > g.rows() - 2)
        return;
    const std::int32_t row = g.row(), col = g.col();
    if (part == Part::Data) {
        g.setRow(addInteger(mainRow, 1));
        g.setCol(1);
    } else {
        g.setRow(mainRow);
        g.setCol(part == Part::Time ? 0 : 1);
    }
    result = g.text();
    if (part == Part::Data) {
        result = cleanText(result);
        g.setText(result);
    }
    g.setRow(row);
    g.setCol(col);
}
} // namespace

Str DalmurePrivate::AnnoTime(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoTime, [&] { readAnnotation(grid(), AnnoIndex, Part::Time, result); });
    return result;
}

Str DalmurePrivate::AnnoDesc(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoDesc, [&] { readAnnotation(grid(), AnnoIndex, Part::Desc, result); });
    return result;
}

Str DalmurePrivate::AnnoData(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoData, [&] { readAnnotation(grid(), AnnoIndex, Part::Data, result); });
    return result;
}

// --- Removing ----------------------------------------------------------------------------

void DalmurePrivate::AnnoDelete(std::int32_t& AnnoIndex) {
    bool finished = false;
    trap(label::annoDelete, [&] {
        const std::int16_t index = toInteger(static_cast<long long>(AnnoIndex));
        if (index == -1) {
            finished = true;
            return;
        }
        commitPendingEdit();
        platform::Grid& g = grid();
        if (g.rows() == 2) {
            g.clear();
            timeOrderBreaks_ = 0;
            blEditorClosedByList = true;
            blEditorOpen = false;
            notesEditor().setText(Str());
            notesEditor().setVisible(false);
            finished = true;
            journalCleared();
            findCleared();
            return;
        }
        const std::int16_t mainRow = mulInteger(2, iSelected);
        AnnoIndex = mainRow;
        ClearCellBackColor();
        const std::int32_t k = iSelected;
        const std::int32_t before = (k >= 0 && 2 * k + 1 < g.rows()) ? breaksAround(g, k) : 0;
        g.removeItem(addInteger(mainRow, 1));
        g.removeItem(mainRow);
        journalDeleted(k);
        findRemoved(k);
        timeOrderBreaks_ -= before;
        timeOrderBreaks_ += outOfOrder(g, k - 1) ? 1 : 0;
        finished = true;
        if (findActive())
            findSkipHidden();
        onGridClick();
    });
    PlaceEditor();
    if (!finished)
        timeOrderBreaks_ = countBreaks(grid());
}

void DalmurePrivate::ClearAll() {
    bool finished = false;
    trap(label::clearAll, [&] {
        commitPendingEdit();
        platform::Grid& g = grid();
        // Row 0 removed until two rows are left, as one grid operation.
        if (g.rows() >= 3)
            g.removeItems(0, g.rows() - 2);
        g.clear();
        journalCleared();
        findCleared();
        timeOrderBreaks_ = 0;
        blEditorClosedByList = true;
        closeEditor();
        finished = true;
    });
    if (!finished)
        timeOrderBreaks_ = countBreaks(grid());
}

// --- Helpers -----------------------------------------------------------------------------

bool DalmurePrivate::blValideGrid() {
    platform::Grid& g = grid();
    if (g.rows() < 2 || iSelected == -1)
        return false;
    if (g.rows() == 2) {
        g.setRow(0);
        if (g.text().empty())
            return false;
    }
    return true;
}

} // namespace dalmure
