// The annotation grid: a two-column grid without fixed rows, reached only through these
// operations. Rows and columns count from 0; sizes and positions are in twips.
#pragma once

#include "platform/placement.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

// Placed inside Frame3.
class Grid : public PlacedComponent, public Appearance {
  public:
    virtual std::int32_t rows() const = 0;
    virtual std::int32_t cols() const = 0;

    // The current cell. Putting a row or column that does not exist raises "Invalid Row value"
    // (30009) / "Invalid Col value" (30010). Moving it from code raises no cell-leave notification.
    virtual std::int32_t row() const = 0;
    virtual void setRow(std::int32_t row) = 0;
    virtual std::int32_t col() const = 0;
    virtual void setCol(std::int32_t col) = 0;

    // Text of the current cell.
    virtual Str text() const = 0;
    // The same text put into `out`, whose storage is reused: a walk over many cells then need
    // not allocate one string per cell.
    virtual void textInto(Str& out) const { out = text(); }
    virtual void setText(const Str& text) = 0;
    // Text of any cell, the current cell unchanged.
    virtual Str textMatrix(std::int32_t row, std::int32_t col) const = 0;
    // Compares the text of a cell with a text without copying it (<0, 0, >0; ordinal).
    virtual int compareText(std::int32_t row, std::int32_t col, StrView text) const = 0;

    // Inserts a row at index (index == rows() appends); item is split at TAB into the cells
    // from column 0 on. The new row has the default height, plain cells in the grid's colour.
    virtual void addItem(const Str& item, std::int32_t index) = 0;
    // Removes one row; an index outside 0..rows()-1 raises "Invalid Row value" and changes nothing.
    virtual void removeItem(std::int32_t index) = 0;
    // Removes count rows from index on, with the effect of as many removeItem(index) calls; a
    // range that is not inside the rows raises "Invalid Row value" and removes nothing.
    virtual void removeItems(std::int32_t index, std::int32_t count) = 0;
    // Empties the text of every cell (rows and columns stay).
    virtual void clear() = 0;

    virtual std::int32_t topRow() const = 0;
    virtual void setTopRow(std::int32_t row) = 0;

    virtual std::int32_t colWidth(std::int32_t col) const = 0;
    virtual void setColWidth(std::int32_t col, std::int32_t width) = 0;
    virtual std::int32_t rowHeight(std::int32_t row) const = 0;
    virtual void setRowHeight(std::int32_t row, std::int32_t height) = 0;
    // A hidden row keeps its height, which RowHeight reads back, but takes no room: RowPos and
    // the scrolling count it as 0 high. Rows come in shown; they stay hidden through height
    // changes until shown again.
    virtual bool rowHidden(std::int32_t row) const = 0;
    virtual void setRowHidden(std::int32_t row, bool hidden) = 0;
    // 4 = centred horizontally and vertically, 0 = left and top.
    virtual std::int32_t colAlignment(std::int32_t col) const = 0;
    virtual void setColAlignment(std::int32_t col, std::int32_t alignment) = 0;

    // Distance of a row's top edge from the top of the first row shown (negative above it), and
    // of a column's left edge from the grid's left edge.
    virtual std::int32_t rowPos(std::int32_t row) const = 0;
    virtual std::int32_t colPos(std::int32_t col) const = 0;
    // Height of the area the rows are drawn in: the grid's height less its frame, where it has one.
    virtual std::int32_t rowsAreaHeight() const { return height(); }

    // Background colour and bold font of the current cell.
    virtual std::int32_t cellBackColor() const = 0;
    virtual void setCellBackColor(std::int32_t color) = 0;
    virtual bool cellFontBold() const = 0;
    virtual void setCellFontBold(bool bold) = 0;
    // Per-cell reads without moving the current cell (for views and the minutes).
    virtual std::int32_t cellBackColorAt(std::int32_t row, std::int32_t col) const = 0;
    virtual bool cellFontBoldAt(std::int32_t row, std::int32_t col) const = 0;
    // Gives every cell the background colour, as a walk over every cell setting CellBackColor
    // would, in one operation (the current cell does not move).
    virtual void fillCellBackColor(std::int32_t color) = 0;

    // backColor() is the cells' colour; backColorBkg() that of the grid's area outside its cells.
    virtual std::int32_t backColorBkg() const = 0;
    virtual void setBackColorBkg(std::int32_t color) = 0;
    virtual std::int32_t backColorFixed() const = 0;
};

} // namespace dalmure::platform
