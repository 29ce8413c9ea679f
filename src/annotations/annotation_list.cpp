// The annotation list in the grid: its rows, their time order, and the bookkeeping that lets an
// insertion bisect while the list is in order.
#include "annotations/annotation_list.h"

namespace dalmure {

namespace {
constexpr char16_t kTab = u'\t';
} // namespace

// --- Reading ---------------------------------------------------------------------------------

std::int32_t AnnotationList::count() const {
    const platform::Grid& g = grid_;
    if (g.rows() < 2)
        return 0;
    if (g.rows() == 2 && g.textMatrix(0, 0).empty())
        return 0;
    return g.rows() / 2;
}

bool AnnotationList::showsPlaceholder() {
    platform::Grid& g = grid_;
    if (g.rows() != 2)
        return false;
    const std::int32_t row = g.row();
    g.setRow(0);
    const bool blank = g.text().empty();
    g.setRow(row);
    return blank;
}

Str AnnotationList::readCell(std::int32_t row, std::int32_t col, bool clean) {
    platform::Grid& g = grid_;
    const std::int32_t wasRow = g.row(), wasCol = g.col();
    g.setRow(row);
    g.setCol(col);
    Str text = g.text();
    if (clean) {
        text = cleanText(text);
        g.setText(text);
    }
    g.setRow(wasRow);
    g.setCol(wasCol);
    return text;
}

// --- Changing --------------------------------------------------------------------------------

std::int32_t AnnotationList::insertionRow(const Str& time) {
    return breaks_ == 0 ? rowByBisection(time) : rowByScan(time);
}

// The first main row whose time text is greater than the new one, or the number of rows.
std::int32_t AnnotationList::rowByScan(const Str& time) {
    platform::Grid& g = grid_;
    const std::int32_t rows = g.rows();
    if (rows > 0 && g.col() != 0)
        g.setCol(0);
    for (std::int32_t i = 0; i <= rows - 1; i += 2) {
        g.setRow(i);
        if (g.text() > time)
            return i;
    }
    return rows;
}

// The same row, valid while the main rows are in order: the first main row whose time text is
// greater than the new one (after every equal one).
std::int32_t AnnotationList::rowByBisection(const Str& time) const {
    const std::int32_t rows = grid_.rows();
    std::int32_t lo = 0, hi = (rows + 1) / 2; // main rows 2*lo .. 2*(hi-1)
    while (lo < hi) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        if (grid_.compareText(2 * mid, 0, time) > 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 2 * lo < rows ? 2 * lo : rows;
}

std::int32_t AnnotationList::insert(const Str& time, const Str& description) {
    platform::Grid& g = grid_;

    // Blank when cell (0, 0) is; a grid without rows is not.
    bool blank = false;
    if (g.rows() >= 1) {
        g.setRow(0);
        g.setCol(0);
        blank = g.text().empty();
    }

    // The main row.
    std::int32_t pos = 0;
    if (!blank) {
        pos = insertionRow(time);
        // The pair the new annotation comes between is no longer a pair.
        const std::int32_t k = pos / 2;
        if (k >= 1 && 2 * k < g.rows())
            breaks_ -= outOfOrder(k - 1) ? 1 : 0;
        Str item = time;
        item += kTab;
        item += description;
        g.addItem(item, pos);
    } else {
        breaks_ -= breaksAround(0);
        g.setRow(0);
        g.setCol(0);
        g.setText(time);
        g.setCol(1);
        g.setText(description);
    }
    g.setRow(pos);
    g.setCol(0);
    g.setCellFontBold(true);
    g.setCol(1);
    g.setCellFontBold(true);

    // The notes row.
    if (!blank) {
        g.addItem(Str(1, kTab), pos + 1);
    } else {
        g.setRow(1);
        g.setCol(0);
        g.setText(Str());
        g.setCol(1);
        g.setText(Str());
    }
    noteTimeOrderAround(pos / 2);
    return pos;
}

void AnnotationList::remove(std::int32_t k) {
    platform::Grid& g = grid_;
    const std::int32_t before = (k >= 0 && 2 * k + 1 < g.rows()) ? breaksAround(k) : 0;
    g.removeItem(2 * k + 1);
    g.removeItem(2 * k);
    breaks_ -= before;
    breaks_ += outOfOrder(k - 1) ? 1 : 0;
}

void AnnotationList::clear() {
    platform::Grid& g = grid_;
    // Row 0 removed until two rows are left, as one grid operation.
    if (g.rows() >= 3)
        g.removeItems(0, g.rows() - 2);
    g.clear();
    breaks_ = 0;
}

// --- Time order ------------------------------------------------------------------------------

bool AnnotationList::outOfOrder(std::int32_t a) const {
    const std::int32_t first = 2 * a, second = 2 * a + 2;
    if (a < 0 || second >= grid_.rows())
        return false;
    return grid_.compareText(first, 0, grid_.textMatrix(second, 0)) > 0;
}

std::int32_t AnnotationList::breaksAround(std::int32_t a) const {
    return (outOfOrder(a - 1) ? 1 : 0) + (outOfOrder(a) ? 1 : 0);
}

void AnnotationList::noteTimeOrderAround(std::int32_t k) {
    breaks_ += breaksAround(k);
}

void AnnotationList::recountTimeOrder() {
    std::int32_t breaks = 0;
    for (std::int32_t a = 0; 2 * a + 2 < grid_.rows(); ++a)
        if (outOfOrder(a))
            ++breaks;
    breaks_ = breaks;
}

} // namespace dalmure
