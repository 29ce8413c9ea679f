// The annotation grid's rules and store, free of any toolkit: what every platform's grid is. The
// in-memory platform uses it as it is; a toolkit's grid shows it and reports the user's input,
// told of each change through a GridObserver.
#pragma once

#include "platform/grid.h"
#include "platform/placement.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace dalmure::platform {

// What a view of the grid hears after each change. Every grid operation tells it once, however
// many rows it touched: removing a range of rows is one removal, a fill one change of every cell.
class GridObserver {
  public:
    virtual ~GridObserver() = default;
    // Rows [first, first + count) are about to come in / go; then they did.
    virtual void rowsAboutToBeInserted(std::int32_t first, std::int32_t count) = 0;
    virtual void rowsInserted() = 0;
    virtual void rowsAboutToBeRemoved(std::int32_t first, std::int32_t count) = 0;
    virtual void rowsRemoved() = 0;
    // Text, bold or colour of the cells of rows first..last changed.
    virtual void cellsChanged(std::int32_t first, std::int32_t last) = 0;
    virtual void rowHeightChanged(std::int32_t row) = 0;
    // The row was hidden or shown again.
    virtual void rowHiddenChanged(std::int32_t row) { (void)row; }
    // Column widths or alignments.
    virtual void columnsChanged() = 0;
    // The colour behind the cells, or the font.
    virtual void lookChanged() = 0;
    virtual void currentCellChanged() = 0;
    virtual void topRowChanged() = 0;
    // Left, top, width or height.
    virtual void placementChanged() = 0;
    virtual void visibilityChanged() = 0;
};

// Rows live in chunks of at most kMaxChunk rows; two Fenwick trees over the chunks hold their row
// counts and height sums, so that locating a row, its position, the last full page and an
// insertion or removal cost O(log n + chunk size). Cell colours carry the epoch of the last fill
// they saw, which makes a fill O(1).
class GridModel : public Placed<Grid> {
  public:
    GridModel();
    ~GridModel() override;
    GridModel(const GridModel&) = delete;
    GridModel& operator=(const GridModel&) = delete;

    void setObserver(GridObserver* observer) { observer_ = observer; }

    // A view that never scrolls past its last full page gives the height its rows are shown in
    // (twips); from then on the top row is limited to lastFullPageTop(). Without one, the top
    // row stays where it is put.
    void setPageHeight(std::int32_t twips);
    // The first row from which every row to the end fits in the page (the last row when even it
    // alone does not fit); 0 without a page height.
    std::int32_t lastFullPageTop() const;
    std::int32_t rowsAreaHeight() const override;

    std::int32_t rows() const override { return rows_; }
    std::int32_t cols() const override { return kCols; }
    std::int32_t row() const override { return row_; }
    void setRow(std::int32_t row) override;
    std::int32_t col() const override { return col_; }
    void setCol(std::int32_t col) override;
    Str text() const override;
    void textInto(Str& out) const override;
    void setText(const Str& text) override;
    Str textMatrix(std::int32_t row, std::int32_t col) const override;
    int compareText(std::int32_t row, std::int32_t col, StrView text) const override;
    void addItem(const Str& item, std::int32_t index) override;
    void removeItem(std::int32_t index) override;
    // A range outside the rows raises "Invalid Row value" and removes nothing.
    void removeItems(std::int32_t index, std::int32_t count) override;
    void clear() override;
    std::int32_t topRow() const override { return topRow_; }
    void setTopRow(std::int32_t row) override;
    std::int32_t colWidth(std::int32_t col) const override;
    void setColWidth(std::int32_t col, std::int32_t width) override;
    std::int32_t rowHeight(std::int32_t row) const override;
    void setRowHeight(std::int32_t row, std::int32_t height) override;
    bool rowHidden(std::int32_t row) const override;
    void setRowHidden(std::int32_t row, bool hidden) override;
    std::int32_t colAlignment(std::int32_t col) const override;
    void setColAlignment(std::int32_t col, std::int32_t alignment) override;
    std::int32_t rowPos(std::int32_t row) const override;
    std::int32_t colPos(std::int32_t col) const override;
    std::int32_t cellBackColor() const override { return cellBackColorAt(row_, col_); }
    void setCellBackColor(std::int32_t color) override;
    bool cellFontBold() const override { return cellFontBoldAt(row_, col_); }
    void setCellFontBold(bool bold) override;
    std::int32_t cellBackColorAt(std::int32_t row, std::int32_t col) const override;
    bool cellFontBoldAt(std::int32_t row, std::int32_t col) const override;
    void fillCellBackColor(std::int32_t color) override;
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override;
    std::int32_t backColorBkg() const override { return backColorBkg_; }
    void setBackColorBkg(std::int32_t color) override;
    std::int32_t backColorFixed() const override { return backColorFixed_; }
    // Kept as set; a view draws with at least 1 point.
    double fontSize() const override { return fontSize_; }
    void setFontSize(double points) override;
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;

    // The cell (row, col) exists.
    bool cellExists(std::int32_t row, std::int32_t col) const;
    // Text of a cell without a copy (valid until the cell changes).
    StrView cellView(std::int32_t row, std::int32_t col) const;

    static constexpr std::int32_t kCols = 2;
    // The alignment of a column nobody set: text left and centred vertically, numbers right.
    static constexpr std::int32_t kAlignGeneral = 9;

  private:
    void placementChanged() override;
    struct Row {
        // Both cells' texts in one allocation: column 0's then column 1's.
        std::unique_ptr<char16_t[]> text;
        std::uint32_t len0 = 0, len1 = 0;
        std::int32_t height = 0;  // as shown: 0 while hidden
        std::int32_t natural = 0; // as set
        std::array<std::int32_t, kCols> color{};
        std::array<std::uint32_t, kCols> epoch{};
        std::uint8_t flags = 0; // kBold0, kBold1, kOwnColor0, kOwnColor1, kHidden
    };
    static constexpr std::uint8_t kBold0 = 1, kOwnColor0 = 4, kHidden = 16;
    struct Chunk {
        std::vector<Row> rows;
        std::int64_t height = 0; // sum of the rows' heights
    };
    struct Place {
        std::size_t chunk;
        std::size_t offset;
    };
    static constexpr std::size_t kMaxChunk = 128;
    static constexpr std::size_t kMinChunk = 24;

    static std::unique_ptr<Chunk> newChunk();
    // Room for one more row at p, whose chunk is full; returns where the row now goes.
    Place makeRoom(Place p);
    Row makeRow(StrView c0, StrView c1) const;
    static StrView cellOf(const Row& r, std::int32_t col);
    static void setCellOf(Row& r, std::int32_t col, StrView text);
    std::int32_t colorOf(const Row& r, std::int32_t col) const;
    void removeRow(std::int32_t index);
    // Gives the row at p the height it is shown with; true when it shrank.
    bool showHeight(std::int32_t row, Place p, std::int32_t shown);
    void settleAfterShrink(std::int32_t row);

    void checkRow(std::int32_t row) const;
    void checkCol(std::int32_t col) const;
    Place locate(std::int32_t row) const;
    Row& rowAt(std::int32_t row);
    const Row& rowAt(std::int32_t row) const;
    // Sum of the heights of rows 0 .. row - 1 (row may equal rows()).
    std::int64_t heightBefore(std::int32_t row) const;
    // heightBefore(topRow()), kept apart from the walk's mark.
    std::int64_t topBefore() const;
    // The top row brought back within the last full page, after a change that may have lowered it.
    void settleTopRow();

    // Fenwick trees over the chunks.
    void rebuildIndex();
    void indexAdd(std::size_t chunk, std::int64_t count, std::int64_t height);
    std::int64_t heightPrefix(std::size_t chunks) const;
    void afterShrink(std::size_t chunk);

    // Forgets the cached places below; on any change of the chunks or of their row counts.
    void forgetPlaces() const;

    GridObserver* observer_ = nullptr;
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<std::int64_t> countTree_;  // 1-based Fenwick
    std::vector<std::int64_t> heightTree_; // 1-based Fenwick
    std::int32_t rows_ = 0;

    // Walks over rows in order (the minutes, the resize) ask for row after row: the chunk last
    // located (with the number of its first row) answers them without descending the index,
    // and a known heightBefore(row) gives heightBefore(row + 1) by one addition. The top row's
    // own figure is kept apart, since rowPos asks for both each time. Both marks follow height
    // changes of the rows above them.
    struct HeightMark {
        std::int32_t row = -1;
        std::int64_t before = 0;
    };
    static constexpr std::size_t kNoChunk = static_cast<std::size_t>(-1);
    mutable std::size_t placeChunk_ = kNoChunk;
    mutable std::int64_t placeFirst_ = 0;
    mutable HeightMark walkMark_, topMark_;

    std::int32_t row_ = 0, col_ = 0, topRow_ = 0;
    std::int32_t pageHeight_ = -1; // none
    std::array<std::int32_t, kCols> colWidth_{};
    std::array<std::int32_t, kCols> colAlign_{};
    std::uint32_t fillEpoch_ = 0;
    std::int32_t fillColor_ = 0;
    std::int32_t backColor_, backColorBkg_, backColorFixed_;
    double fontSize_;
    bool visible_ = true;
};

} // namespace dalmure::platform
