// Letters, words and folded text for the writing tools (glossary, expansion, spelling, find).
//
// Everything works on the control's UTF-16 text and on the Basic Multilingual Plane: the notes
// of a hearing are French and English, and a character outside it is never a letter here.
#pragma once

#include "support/text.h"

#include <cstddef>
#include <functional>

namespace dalmure::writing {

// A letter, a combining mark or a decimal digit: what a word is made of.
bool isWordChar(char16_t c);
bool isDigit(char16_t c);
// A character that changes under lower-casing (É), or under upper-casing (é).
bool isUpper(char16_t c);
bool isLower(char16_t c);

char16_t lowerChar(char16_t c);
Str lower(StrView text);

// The apostrophes a clerk's text may hold: ', the typographic ’, and the grave accent the key
// filter puts in place of an apostrophe.
bool isApostrophe(char16_t c);

// The text as find compares it: lower case, accents dropped (é -> e, also when written as e
// and a combining accent), œ -> oe, æ -> ae, ß -> ss, typographic apostrophes, quotes, dashes
// and spaces made plain. Appended to out.
void foldInto(StrView text, Str& out);
Str fold(StrView text);

// The words of a text, in order, as offsets and lengths into it: runs of word characters
// joined by a single apostrophe or hyphen between two of them ("l'accusé", "peut-être",
// "jusqu`à" are each one word).
struct WordSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};
void forEachWord(StrView text, const std::function<void(WordSpan)>& visit);

} // namespace dalmure::writing
