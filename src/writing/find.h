// Find over the annotations: which of them hold every word of what the clerk typed, in their
// time, description or notes, without regard to case or accents ("temoin" finds "Témoin",
// "oeuvre" finds "Œuvre").
//
// The index keeps a folded copy of each annotation, in the control's order, so that a
// keystroke folds only the query: a query that extends the previous one ("tem" -> "temo")
// looks only at the annotations that matched before, and an annotation added, changed or
// removed while a filter is on is matched alone.
#pragma once

#include "support/text.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace dalmure::writing {

struct FindFields {
    StrView time;
    StrView description;
    StrView notes;
};

class FindIndex {
  public:
    // The annotations, in order. Positions are the control's row numbers.
    void insert(std::size_t at, const FindFields& fields);
    void append(const FindFields& fields) { insert(size(), fields); }
    void update(std::size_t at, const FindFields& fields);
    void remove(std::size_t at);
    void clear();
    std::size_t size() const { return rows_.size(); }

    // The query; blank means no filter (everything matches). Words in any order, each one a
    // part of the time, the description or the notes.
    void setQuery(StrView query);
    bool filtering() const { return !terms_.empty(); }
    bool matches(std::size_t at) const { return !filtering() || rows_[at].match; }
    std::size_t matchCount() const { return filtering() ? matches_ : rows_.size(); }

    // The row that stays visible whatever the filter (the one being edited); moves with
    // insertions and removals, dropped when it is removed.
    void setPinned(std::optional<std::size_t> at) { pinned_ = at; }
    std::optional<std::size_t> pinned() const { return pinned_; }
    bool visible(std::size_t at) const { return matches(at) || pinned_ == at; }

    // The first match after row after (from the top when nothing), wrapping around to the
    // first; nothing when no row matches.
    std::optional<std::size_t> next(std::optional<std::size_t> after) const;
    // How many matches come before row at, plus one when it matches itself: the n of "n of N".
    std::size_t rank(std::size_t at) const;

  private:
    struct Row {
        Str folded; // time, description and notes, folded, separated by a control character
        bool match = true;
    };
    static Row make(const FindFields& fields);
    bool test(const Str& folded) const;

    std::vector<Row> rows_;
    Str query_;              // folded, as last set
    std::vector<Str> terms_; // its words
    std::size_t matches_ = 0;
    std::optional<std::size_t> pinned_;
};

} // namespace dalmure::writing
