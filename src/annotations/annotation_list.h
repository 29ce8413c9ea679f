// The annotation list as the grid holds it: annotation k in rows 2k (time, description; bold)
// and 2k + 1 (notes, in column 1), kept in ordinal order of the time texts, equal times in the
// order they came. The list without annotations is one placeholder pair of blank rows.
//
// The list works on the grid only: it traps nothing (a grid error reaches the caller, who then
// asks for recountTimeOrder), knows no 16-bit index rules, and tells no one of its changes.
#pragma once

#include "platform/grid.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure {

class AnnotationList {
  public:
    explicit AnnotationList(platform::Grid& grid) : grid_(grid) {}
    AnnotationList(const AnnotationList&) = delete;
    AnnotationList& operator=(const AnnotationList&) = delete;

    // --- Reading ------------------------------------------------------------------------------
    // The annotations the grid holds (the placeholder holds none); the current cell stays.
    std::int32_t count() const;
    // True when the grid is the two rows of the placeholder as the host's count reads it: row 0
    // blank in the current column. The current cell is put back.
    bool showsPlaceholder();
    // The texts of annotation k, for 0 <= k < count(); the current cell is put back. The notes
    // are cleaned for the minutes (cleanText) and stored back cleaned.
    Str time(std::int32_t k) { return readCell(2 * k, 0, false); }
    Str description(std::int32_t k) { return readCell(2 * k, 1, false); }
    Str notes(std::int32_t k) { return readCell(2 * k + 1, 1, true); }

    // --- Changing -----------------------------------------------------------------------------
    // The main row a new annotation with this time goes to: after every time lower or equal.
    // While the list is in time order it is found by bisection; otherwise by a scan down column
    // 0 that stops at the first greater time, which moves the current cell.
    std::int32_t insertionRow(const Str& time);
    // Adds an annotation with blank notes and returns its main row; the current cell is left
    // in column 1 of one of its rows. While cell (0, 0) is blank (the placeholder, or a first
    // annotation without a time) the annotation is written over rows 0 and 1 instead.
    std::int32_t insert(const Str& time, const Str& description);
    // Removes the two rows of annotation k; a k outside the list raises "Invalid Row value",
    // with nothing removed when the notes row is missing.
    void remove(std::int32_t k);
    // Back to the placeholder: rows removed from row 0 on until two are left, every cell blank.
    void clear();

    // --- Time order ---------------------------------------------------------------------------
    // Neighbouring annotation pairs whose times are out of order (a blank time written over the
    // placeholder brings them); 0 lets insertionRow bisect.
    std::int32_t timeOrderBreaks() const { return breaks_; }
    // Counts the breaks annotation k makes with its neighbours, after it came in or changed.
    void noteTimeOrderAround(std::int32_t k);
    // Counts every break afresh: after a change of the list that an error cut short.
    void recountTimeOrder();

  private:
    // Is the pair of neighbouring annotations (a, a + 1) out of time order?
    bool outOfOrder(std::int32_t a) const;
    // The pairs annotation a belongs to that are out of order: (a - 1, a) and (a, a + 1).
    std::int32_t breaksAround(std::int32_t a) const;
    std::int32_t rowByScan(const Str& time);
    std::int32_t rowByBisection(const Str& time) const;
    // Reads a cell by making it the current one (a view follows), then puts the current cell
    // back; clean stores the text back cleaned.
    Str readCell(std::int32_t row, std::int32_t col, bool clean);

    platform::Grid& grid_;
    std::int32_t breaks_ = 0;
};

} // namespace dalmure
