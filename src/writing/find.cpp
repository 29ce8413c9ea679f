#include "writing/find.h"

#include "writing/letters.h"

namespace dalmure::writing {
namespace {

// Between fields, so that no query word (which never holds one) spans two of them.
constexpr char16_t kFieldBreak = u'\x01';

bool isQuerySpace(char16_t c) {
    return c <= u' ';
}

} // namespace

FindIndex::Row FindIndex::make(const FindFields& fields) {
    Row row;
    row.folded.reserve(fields.time.size() + fields.description.size() + fields.notes.size() + 2);
    foldInto(fields.time, row.folded);
    row.folded.push_back(kFieldBreak);
    foldInto(fields.description, row.folded);
    row.folded.push_back(kFieldBreak);
    foldInto(fields.notes, row.folded);
    return row;
}

bool FindIndex::test(const Str& folded) const {
    for (const Str& term : terms_)
        if (folded.find(term) == Str::npos)
            return false;
    return true;
}

void FindIndex::insert(std::size_t at, const FindFields& fields) {
    Row row = make(fields);
    row.match = filtering() && test(row.folded);
    matches_ += row.match ? 1 : 0;
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    if (pinned_ && *pinned_ >= at)
        ++*pinned_;
}

void FindIndex::update(std::size_t at, const FindFields& fields) {
    Row row = make(fields);
    row.match = filtering() && test(row.folded);
    matches_ = matches_ - (rows_[at].match ? 1 : 0) + (row.match ? 1 : 0);
    rows_[at] = std::move(row);
}

void FindIndex::remove(std::size_t at) {
    matches_ -= rows_[at].match ? 1 : 0;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
    if (pinned_ && *pinned_ == at)
        pinned_.reset();
    else if (pinned_ && *pinned_ > at)
        --*pinned_;
}

void FindIndex::clear() {
    rows_.clear();
    matches_ = 0;
    pinned_.reset();
}

void FindIndex::setQuery(StrView query) {
    Str folded = fold(query);
    if (folded == query_)
        return;
    std::vector<Str> terms;
    for (std::size_t i = 0; i < folded.size();) {
        while (i < folded.size() && isQuerySpace(folded[i]))
            ++i;
        std::size_t start = i;
        while (i < folded.size() && !isQuerySpace(folded[i]))
            ++i;
        if (i > start)
            terms.push_back(folded.substr(start, i - start));
    }
    // Each word of a query that extends the previous one holds a word of the previous one:
    // only what matched before can match now.
    const bool narrower = filtering() && folded.starts_with(query_);
    query_ = std::move(folded);
    terms_ = std::move(terms);
    matches_ = 0;
    if (!filtering()) {
        for (Row& row : rows_)
            row.match = false;
        return;
    }
    for (Row& row : rows_) {
        if (!narrower || row.match)
            row.match = test(row.folded);
        matches_ += row.match ? 1 : 0;
    }
}

std::optional<std::size_t> FindIndex::next(std::optional<std::size_t> after) const {
    const std::size_t n = rows_.size();
    if (n == 0 || matchCount() == 0)
        return std::nullopt;
    const std::size_t first = after ? (*after + 1) % n : 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = (first + k) % n;
        if (matches(at))
            return at;
    }
    return std::nullopt;
}

std::size_t FindIndex::rank(std::size_t at) const {
    std::size_t count = 0;
    for (std::size_t i = 0; i <= at && i < rows_.size(); ++i)
        count += matches(i) ? 1 : 0;
    return count;
}

} // namespace dalmure::writing
