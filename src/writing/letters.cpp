#include "writing/letters.h"

#include <algorithm>
#include <iterator>

namespace dalmure::writing {
namespace {

struct FoldRow {
    char16_t from;
    unsigned char length;
    char16_t to[3];
};
struct LowerRow {
    char16_t from, to;
};
struct WordRange {
    char16_t first, last;
};

#include "writing/letters_tables.inc"

const FoldRow* foldRow(char16_t c) {
    auto it = std::lower_bound(std::begin(kFold), std::end(kFold), c,
                               [](const FoldRow& row, char16_t key) { return row.from < key; });
    return it != std::end(kFold) && it->from == c ? &*it : nullptr;
}

} // namespace

bool isWordChar(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    auto it = std::upper_bound(std::begin(kWordChars), std::end(kWordChars), c,
                               [](char16_t key, const WordRange& r) { return key < r.first; });
    return it != std::begin(kWordChars) && c <= std::prev(it)->last;
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

char16_t lowerChar(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    auto it = std::lower_bound(std::begin(kLower), std::end(kLower), c,
                               [](const LowerRow& row, char16_t key) { return row.from < key; });
    return it != std::end(kLower) && it->from == c ? it->to : c;
}

bool isUpper(char16_t c) {
    return lowerChar(c) != c;
}
bool isLower(char16_t c) {
    return ucaseChar(c) != c;
}

Str lower(StrView text) {
    Str out(text);
    for (auto& c : out)
        c = lowerChar(c);
    return out;
}

bool isApostrophe(char16_t c) {
    return c == u'\'' || c == u'\u2019' || c == u'`';
}

void foldInto(StrView text, Str& out) {
    for (char16_t c : text) {
        if (c < 0x80 && c != u'`') {
            out.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
        } else if (const FoldRow* row = foldRow(c)) {
            out.append(row->to, row->length);
        } else {
            out.push_back(lowerChar(c));
        }
    }
}

Str fold(StrView text) {
    Str out;
    out.reserve(text.size());
    foldInto(text, out);
    return out;
}

void forEachWord(StrView text, const std::function<void(WordSpan)>& visit) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (!isWordChar(text[i])) {
            ++i;
            continue;
        }
        std::size_t start = i;
        for (;;) {
            while (i < n && isWordChar(text[i]))
                ++i;
            // One apostrophe or hyphen between two word characters keeps the word going.
            if (i + 1 < n && (isApostrophe(text[i]) || text[i] == u'-') && isWordChar(text[i + 1]))
                ++i;
            else
                break;
        }
        visit({start, i - start});
    }
}

} // namespace dalmure::writing
