// The annotation grid's store and rules.
#include "platform/grid_model.h"

#include "platform/design.h"
#include "support/errors.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dalmure::platform {

namespace {

std::int32_t clampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

GridModel::GridModel()
    : Placed({design::kGridLeft, design::kGridTop, design::kGridWidth, design::kGridHeight}),
      backColor_(design::kGridBackColor), backColorBkg_(design::kGridBackColorBkg),
      backColorFixed_(design::kGridBackColorFixed), fontSize_(design::kFontSize) {
    colWidth_.fill(design::kGridDefaultColWidth);
    colAlign_.fill(kAlignGeneral);
    // The empty list: two rows of empty cells.
    addItem(Str(), 0);
    addItem(Str(), 1);
}

GridModel::~GridModel() = default;

// --- Rows and cells ---------------------------------------------------------------------------

GridModel::Row GridModel::makeRow(StrView c0, StrView c1) const {
    Row r;
    r.height = r.natural = design::kGridDefaultRowHeight;
    r.epoch.fill(fillEpoch_);
    setCellOf(r, 0, c0);
    setCellOf(r, 1, c1);
    return r;
}

StrView GridModel::cellOf(const Row& r, std::int32_t col) {
    if (!r.text) {
        return {};
    }
    return col == 0 ? StrView(r.text.get(), r.len0) : StrView(r.text.get() + r.len0, r.len1);
}

void GridModel::setCellOf(Row& r, std::int32_t col, StrView text) {
    const StrView other = cellOf(r, 1 - col);
    const std::size_t total = text.size() + other.size();
    std::unique_ptr<char16_t[]> buf;
    if (total > 0) {
        buf.reset(new char16_t[total]);
        const StrView first = col == 0 ? text : other;
        const StrView second = col == 0 ? other : text;
        std::copy(first.begin(), first.end(), buf.get());
        std::copy(second.begin(), second.end(), buf.get() + first.size());
        r.len0 = static_cast<std::uint32_t>(first.size());
        r.len1 = static_cast<std::uint32_t>(second.size());
    } else {
        r.len0 = r.len1 = 0;
    }
    r.text = std::move(buf);
}

std::int32_t GridModel::colorOf(const Row& r, std::int32_t col) const {
    if (r.epoch[col] != fillEpoch_) {
        return fillColor_;
    }
    if (r.flags & (kOwnColor0 << col)) {
        return r.color[col];
    }
    return backColor_;
}

void GridModel::checkRow(std::int32_t row) const {
    if (row < 0 || row >= rows_) {
        errors::invalidRow();
    }
}

void GridModel::checkCol(std::int32_t col) const {
    if (col < 0 || col >= kCols) {
        errors::invalidCol();
    }
}

bool GridModel::cellExists(std::int32_t row, std::int32_t col) const {
    return row >= 0 && row < rows_ && col >= 0 && col < kCols;
}

StrView GridModel::cellView(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return cellOf(rowAt(row), col);
}

// --- Chunk index ------------------------------------------------------------------------------

void GridModel::forgetPlaces() const {
    placeChunk_ = kNoChunk;
    walkMark_ = HeightMark{};
    topMark_ = HeightMark{};
}

void GridModel::rebuildIndex() {
    forgetPlaces();
    const std::size_t n = chunks_.size();
    countTree_.assign(n + 1, 0);
    heightTree_.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        countTree_[i + 1] += static_cast<std::int64_t>(chunks_[i]->rows.size());
        heightTree_[i + 1] += chunks_[i]->height;
        const std::size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
        if (parent <= n) {
            countTree_[parent] += countTree_[i + 1];
            heightTree_[parent] += heightTree_[i + 1];
        }
    }
}

void GridModel::indexAdd(std::size_t chunk, std::int64_t count, std::int64_t height) {
    if (count != 0) {
        forgetPlaces();
    }
    for (std::size_t i = chunk + 1; i < countTree_.size(); i += i & (~i + 1)) {
        countTree_[i] += count;
        heightTree_[i] += height;
    }
}

std::int64_t GridModel::heightPrefix(std::size_t chunks) const {
    std::int64_t s = 0;
    for (std::size_t i = chunks; i > 0; i -= i & (~i + 1)) {
        s += heightTree_[i];
    }
    return s;
}

GridModel::Place GridModel::locate(std::int32_t row) const {
    // The chunk located last, or the one after it.
    if (placeChunk_ < chunks_.size()) {
        const std::int64_t offset = row - placeFirst_;
        const auto size = static_cast<std::int64_t>(chunks_[placeChunk_]->rows.size());
        if (offset >= 0 && offset < size) {
            return Place{placeChunk_, static_cast<std::size_t>(offset)};
        }
        if (offset >= size && placeChunk_ + 1 < chunks_.size() &&
            offset - size < static_cast<std::int64_t>(chunks_[placeChunk_ + 1]->rows.size())) {
            ++placeChunk_;
            placeFirst_ += size;
            return Place{placeChunk_, static_cast<std::size_t>(offset - size)};
        }
    }
    // Descend the count tree: the last chunk boundary whose prefix count is <= row.
    std::size_t pos = 0;
    std::int64_t remaining = row;
    std::size_t step = 1;
    while (step * 2 < countTree_.size()) {
        step *= 2;
    }
    for (; step > 0; step /= 2) {
        const std::size_t next = pos + step;
        if (next < countTree_.size() && countTree_[next] <= remaining) {
            pos = next;
            remaining -= countTree_[next];
        }
    }
    if (pos < chunks_.size()) {
        placeChunk_ = pos;
        placeFirst_ = row - remaining;
    }
    return Place{pos, static_cast<std::size_t>(remaining)};
}

GridModel::Row& GridModel::rowAt(std::int32_t row) {
    const Place p = locate(row);
    return chunks_[p.chunk]->rows[p.offset];
}

const GridModel::Row& GridModel::rowAt(std::int32_t row) const {
    const Place p = locate(row);
    return chunks_[p.chunk]->rows[p.offset];
}

std::int64_t GridModel::heightBefore(std::int32_t row) const {
    if (row >= rows_) {
        return heightPrefix(chunks_.size());
    }
    if (row == walkMark_.row) {
        return walkMark_.before;
    }
    if (row == topMark_.row) {
        return topMark_.before;
    }
    if (walkMark_.row >= 0 && row == walkMark_.row + 1) {
        walkMark_.before += rowAt(walkMark_.row).height;
        walkMark_.row = row;
        return walkMark_.before;
    }
    const Place p = locate(row);
    std::int64_t h = heightPrefix(p.chunk);
    // Sum the shorter side of the chunk.
    const Chunk& chunk = *chunks_[p.chunk];
    if (p.offset <= chunk.rows.size() / 2) {
        for (std::size_t i = 0; i < p.offset; ++i) {
            h += chunk.rows[i].height;
        }
    } else {
        h += chunk.height;
        for (std::size_t i = p.offset; i < chunk.rows.size(); ++i) {
            h -= chunk.rows[i].height;
        }
    }
    walkMark_ = HeightMark{row, h};
    return h;
}

std::int64_t GridModel::topBefore() const {
    if (topMark_.row != topRow_) {
        // Found without disturbing the walk's own mark.
        const HeightMark walk = walkMark_;
        topMark_ = HeightMark{topRow_, heightBefore(topRow_)};
        walkMark_ = walk;
    }
    return topMark_.before;
}

void GridModel::afterShrink(std::size_t chunk) {
    auto& rows = chunks_[chunk]->rows;
    if (rows.empty()) {
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
        rebuildIndex();
        return;
    }
    if (rows.size() >= kMinChunk) {
        return;
    }
    // Merge a small chunk into a neighbour when both fit in one.
    std::size_t into = chunk;
    std::size_t from = chunk;
    if (chunk + 1 < chunks_.size() && rows.size() + chunks_[chunk + 1]->rows.size() <= kMaxChunk) {
        from = chunk + 1;
    } else if (chunk > 0 && rows.size() + chunks_[chunk - 1]->rows.size() <= kMaxChunk) {
        into = chunk - 1;
    } else {
        return;
    }
    auto& dst = chunks_[into]->rows;
    auto& src = chunks_[from]->rows;
    dst.insert(dst.end(), std::make_move_iterator(src.begin()), std::make_move_iterator(src.end()));
    chunks_[into]->height += chunks_[from]->height;
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(from));
    rebuildIndex();
}

std::unique_ptr<GridModel::Chunk> GridModel::newChunk() {
    auto chunk = std::make_unique<Chunk>();
    chunk->rows.reserve(kMaxChunk);
    return chunk;
}

GridModel::Place GridModel::makeRoom(Place p) {
    // A full chunk first hands a row to a neighbour with room (which keeps chunks dense whatever
    // the order of insertion); appending at the very end or prepending at the very start opens
    // a new chunk; otherwise the chunk splits near the insertion point.
    auto moveRow = [&](std::size_t from, std::size_t fromOffset, std::size_t to,
                       std::size_t toOffset) {
        auto& src = chunks_[from]->rows;
        auto& dst = chunks_[to]->rows;
        const std::int64_t h = src[fromOffset].height;
        dst.insert(dst.begin() + static_cast<std::ptrdiff_t>(toOffset), std::move(src[fromOffset]));
        src.erase(src.begin() + static_cast<std::ptrdiff_t>(fromOffset));
        chunks_[from]->height -= h;
        chunks_[to]->height += h;
        indexAdd(from, -1, -h);
        indexAdd(to, 1, h);
    };
    const std::size_t size = chunks_[p.chunk]->rows.size();
    const bool hasNext = p.chunk + 1 < chunks_.size();
    if (hasNext && chunks_[p.chunk + 1]->rows.size() < kMaxChunk) {
        if (p.offset == size) {
            return Place{p.chunk + 1, 0};
        }
        moveRow(p.chunk, size - 1, p.chunk + 1, 0);
        return p;
    }
    if (p.chunk > 0 && chunks_[p.chunk - 1]->rows.size() < kMaxChunk) {
        const std::size_t prevSize = chunks_[p.chunk - 1]->rows.size();
        if (p.offset == 0) {
            return Place{p.chunk - 1, prevSize};
        }
        moveRow(p.chunk, 0, p.chunk - 1, prevSize);
        return Place{p.chunk, p.offset - 1};
    }
    if (!hasNext && p.offset == size) {
        chunks_.push_back(newChunk());
        rebuildIndex();
        return Place{p.chunk + 1, 0};
    }
    if (p.chunk == 0 && p.offset == 0) {
        chunks_.insert(chunks_.begin(), newChunk());
        rebuildIndex();
        return p;
    }
    const std::size_t at = std::clamp(p.offset, kMaxChunk / 4, kMaxChunk - kMaxChunk / 4);
    auto& full = chunks_[p.chunk]->rows;
    auto tail = newChunk();
    const auto mid = full.begin() + static_cast<std::ptrdiff_t>(at);
    tail->rows.insert(tail->rows.end(), std::make_move_iterator(mid),
                      std::make_move_iterator(full.end()));
    full.erase(mid, full.end());
    for (const Row& moved : tail->rows) {
        tail->height += moved.height;
    }
    chunks_[p.chunk]->height -= tail->height;
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(p.chunk) + 1, std::move(tail));
    rebuildIndex();
    return p.offset > at ? Place{p.chunk + 1, p.offset - at} : p;
}

// --- The top row and the last full page -------------------------------------------------------

void GridModel::setPageHeight(std::int32_t twips) {
    const std::int32_t page = std::max(0, twips);
    if (page == pageHeight_)
        return;
    // A taller page can hold more of the last rows: its first row may come up.
    const bool shorter = pageHeight_ >= 0 && page < pageHeight_;
    pageHeight_ = page;
    if (!shorter)
        settleTopRow();
}

std::int32_t GridModel::lastFullPageTop() const {
    if (pageHeight_ < 0 || rows_ == 0)
        return 0;
    // The first row t with heightBefore(t) >= total - page: descend the trees to the last chunk
    // that ends below that height, then walk its rows.
    const std::int64_t need = heightPrefix(chunks_.size()) - pageHeight_;
    if (need <= 0)
        return 0;
    std::size_t pos = 0;
    std::int64_t height = 0, count = 0;
    std::size_t step = 1;
    while (step * 2 < heightTree_.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        const std::size_t next = pos + step;
        if (next < heightTree_.size() && height + heightTree_[next] < need) {
            pos = next;
            height += heightTree_[next];
            count += countTree_[next];
        }
    }
    // Chunk pos holds the first row whose top lies at or below `need` (or its end does).
    for (const Row& r : chunks_[pos]->rows) {
        height += r.height;
        ++count;
        if (height >= need)
            break;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, rows_ - 1));
}

std::int32_t GridModel::rowsAreaHeight() const {
    return pageHeight_ < 0 ? height() : std::min(pageHeight_, height());
}

void GridModel::settleTopRow() {
    if (pageHeight_ < 0 || topRow_ == 0)
        return;
    // The rows from the top row on overflow the page: no page can start further down.
    if (heightPrefix(chunks_.size()) - topBefore() > pageHeight_)
        return;
    const std::int32_t limit = lastFullPageTop();
    if (topRow_ > limit) {
        topRow_ = limit;
        if (observer_)
            observer_->topRowChanged();
    }
}

void GridModel::setTopRow(std::int32_t row) {
    checkRow(row);
    topRow_ = pageHeight_ < 0 ? row : std::min(row, lastFullPageTop());
    if (observer_)
        observer_->topRowChanged();
}

// --- platform::Grid ---------------------------------------------------------------------------

void GridModel::setRow(std::int32_t row) {
    checkRow(row);
    row_ = row;
    if (observer_)
        observer_->currentCellChanged();
}

void GridModel::setCol(std::int32_t col) {
    checkCol(col);
    col_ = col;
    if (observer_)
        observer_->currentCellChanged();
}

Str GridModel::text() const {
    return Str(cellView(row_, col_));
}

void GridModel::textInto(Str& out) const {
    out.assign(cellView(row_, col_));
}

void GridModel::setText(const Str& text) {
    checkRow(row_);
    setCellOf(rowAt(row_), col_, text);
    if (observer_)
        observer_->cellsChanged(row_, row_);
}

Str GridModel::textMatrix(std::int32_t row, std::int32_t col) const {
    return Str(cellView(row, col));
}

int GridModel::compareText(std::int32_t row, std::int32_t col, StrView text) const {
    const int c = cellView(row, col).compare(text);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void GridModel::addItem(const Str& item, std::int32_t index) {
    if (index < 0 || index > rows_) {
        errors::invalidRow();
    }
    const StrView all(item);
    const std::size_t tab = all.find(u'\t');
    StrView c0 = all.substr(0, tab);
    StrView c1;
    if (tab != StrView::npos) {
        c1 = all.substr(tab + 1);
        c1 = c1.substr(0, c1.find(u'\t')); // cells beyond the last column are dropped
    }
    Row r = makeRow(c0, c1);
    const std::int64_t h = r.height;

    if (observer_)
        observer_->rowsAboutToBeInserted(index, 1);
    if (chunks_.empty()) {
        chunks_.push_back(newChunk());
        rebuildIndex();
    }
    Place p =
        index == rows_ ? Place{chunks_.size() - 1, chunks_.back()->rows.size()} : locate(index);
    if (chunks_[p.chunk]->rows.size() >= kMaxChunk) {
        p = makeRoom(p);
    }
    Chunk& chunk = *chunks_[p.chunk];
    chunk.rows.insert(chunk.rows.begin() + static_cast<std::ptrdiff_t>(p.offset), std::move(r));
    chunk.height += h;
    ++rows_;
    indexAdd(p.chunk, 1, h);
    // The current row and the top row keep their numbers.
    if (observer_)
        observer_->rowsInserted();
}

void GridModel::removeRow(std::int32_t index) {
    const Place p = locate(index);
    auto& rows = chunks_[p.chunk]->rows;
    const std::int64_t h = rows[p.offset].height;
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(p.offset));
    chunks_[p.chunk]->height -= h;
    --rows_;
    indexAdd(p.chunk, -1, -h);
    afterShrink(p.chunk);
}

void GridModel::removeItem(std::int32_t index) {
    checkRow(index);
    removeItems(index, 1);
}

void GridModel::removeItems(std::int32_t index, std::int32_t count) {
    if (count <= 0)
        return;
    checkRow(index);
    if (count > rows_ - index)
        errors::invalidRow();
    if (observer_)
        observer_->rowsAboutToBeRemoved(index, count);
    // From the last one up: each removal leaves the rows before it where they are.
    for (std::int32_t r = index + count - 1; r >= index; --r)
        removeRow(r);
    const std::int32_t last = std::max(rows_ - 1, 0);
    const bool rowMoved = row_ > last, topMoved = topRow_ > last;
    row_ = std::min(row_, last);
    topRow_ = std::min(topRow_, last);
    if (observer_) {
        observer_->rowsRemoved();
        if (rowMoved)
            observer_->currentCellChanged();
        if (topMoved)
            observer_->topRowChanged();
    }
    settleTopRow();
}

void GridModel::clear() {
    for (auto& chunk : chunks_) {
        for (Row& r : chunk->rows) {
            r.text.reset();
            r.len0 = r.len1 = 0;
            r.flags &= kHidden; // rows keep their height and whether they are shown
            r.epoch.fill(fillEpoch_);
        }
    }
    if (observer_ && rows_ > 0)
        observer_->cellsChanged(0, rows_ - 1);
}

std::int32_t GridModel::colWidth(std::int32_t col) const {
    checkCol(col);
    return colWidth_[col];
}

void GridModel::setColWidth(std::int32_t col, std::int32_t width) {
    checkCol(col);
    if (width < -1) {
        errors::invalidPropertyValue();
    }
    colWidth_[col] = width == -1 ? design::kGridDefaultColWidth : width;
    if (observer_)
        observer_->columnsChanged();
}

std::int32_t GridModel::rowHeight(std::int32_t row) const {
    checkRow(row);
    return rowAt(row).natural;
}

void GridModel::setRowHeight(std::int32_t row, std::int32_t height) {
    checkRow(row);
    if (height < -1) {
        errors::invalidPropertyValue();
    }
    const std::int32_t h = height == -1 ? design::kGridDefaultRowHeight : height;
    const Place p = locate(row);
    Row& r = chunks_[p.chunk]->rows[p.offset];
    if (r.natural == h)
        return;
    r.natural = h;
    const bool moved = showHeight(row, p, (r.flags & kHidden) != 0 ? 0 : h);
    if (observer_)
        observer_->rowHeightChanged(row);
    if (moved)
        settleAfterShrink(row);
}

bool GridModel::rowHidden(std::int32_t row) const {
    checkRow(row);
    return (rowAt(row).flags & kHidden) != 0;
}

void GridModel::setRowHidden(std::int32_t row, bool hidden) {
    checkRow(row);
    const Place p = locate(row);
    Row& r = chunks_[p.chunk]->rows[p.offset];
    if (((r.flags & kHidden) != 0) == hidden)
        return;
    r.flags = static_cast<std::uint8_t>(hidden ? r.flags | kHidden : r.flags & ~kHidden);
    const bool moved = showHeight(row, p, hidden ? 0 : r.natural);
    if (observer_)
        observer_->rowHiddenChanged(row);
    if (moved)
        settleAfterShrink(row);
}

bool GridModel::showHeight(std::int32_t row, Place p, std::int32_t shown) {
    Row& r = chunks_[p.chunk]->rows[p.offset];
    const std::int64_t change = static_cast<std::int64_t>(shown) - r.height;
    if (change == 0)
        return false;
    indexAdd(p.chunk, 0, change);
    chunks_[p.chunk]->height += change;
    r.height = shown;
    for (HeightMark* mark : {&walkMark_, &topMark_}) {
        if (row < mark->row) {
            mark->before += change;
        }
    }
    return change < 0;
}

void GridModel::settleAfterShrink(std::int32_t row) {
    // A shorter row lets more of the last rows fit: the last full page may start higher. Only
    // rows from the one above the top row on decide whether the top row still fits in it.
    if (row + 1 >= topRow_)
        settleTopRow();
}

std::int32_t GridModel::colAlignment(std::int32_t col) const {
    checkCol(col);
    return colAlign_[col];
}

void GridModel::setColAlignment(std::int32_t col, std::int32_t alignment) {
    checkCol(col);
    if (alignment < 0 || alignment > 9) {
        errors::invalidPropertyValue();
    }
    colAlign_[col] = alignment;
    if (observer_)
        observer_->columnsChanged();
}

std::int32_t GridModel::rowPos(std::int32_t row) const {
    checkRow(row);
    const std::int64_t top = topBefore();
    return clampToInt32(heightBefore(row) - top);
}

std::int32_t GridModel::colPos(std::int32_t col) const {
    checkCol(col);
    std::int64_t x = 0;
    for (std::int32_t c = 0; c < col; ++c) {
        x += colWidth_[c];
    }
    return clampToInt32(x);
}

void GridModel::setCellBackColor(std::int32_t color) {
    checkRow(row_);
    Row& r = rowAt(row_);
    r.color[col_] = color;
    r.epoch[col_] = fillEpoch_;
    r.flags |= static_cast<std::uint8_t>(kOwnColor0 << col_);
    if (observer_)
        observer_->cellsChanged(row_, row_);
}

void GridModel::setCellFontBold(bool bold) {
    checkRow(row_);
    Row& r = rowAt(row_);
    const auto bit = static_cast<std::uint8_t>(kBold0 << col_);
    r.flags = bold ? (r.flags | bit) : (r.flags & ~bit);
    if (observer_)
        observer_->cellsChanged(row_, row_);
}

std::int32_t GridModel::cellBackColorAt(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return colorOf(rowAt(row), col);
}

bool GridModel::cellFontBoldAt(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return (rowAt(row).flags & (kBold0 << col)) != 0;
}

void GridModel::fillCellBackColor(std::int32_t color) {
    ++fillEpoch_;
    fillColor_ = color;
    if (observer_ && rows_ > 0)
        observer_->cellsChanged(0, rows_ - 1);
}

void GridModel::setBackColor(std::int32_t color) {
    backColor_ = color;
    // The cells nobody coloured show it.
    if (observer_ && rows_ > 0)
        observer_->cellsChanged(0, rows_ - 1);
}

void GridModel::setBackColorBkg(std::int32_t color) {
    backColorBkg_ = color;
    if (observer_)
        observer_->lookChanged();
}

void GridModel::setFontSize(double points) {
    fontSize_ = points;
    if (observer_)
        observer_->lookChanged();
}

void GridModel::placementChanged() {
    if (observer_)
        observer_->placementChanged();
}

void GridModel::setVisible(bool v) {
    visible_ = v;
    if (observer_)
        observer_->visibilityChanged();
}

} // namespace dalmure::platform
