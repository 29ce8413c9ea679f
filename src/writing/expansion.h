// Abbreviations expanded as the clerk types: when a word ends (a space, punctuation, Enter),
// the word before the ending is looked up in the glossary and, when it is an abbreviation,
// replaced by its text in the case the clerk typed it:
//
//     tem -> témoin      Tem -> Témoin      TEM -> TÉMOIN
//
// A word typed inside another one (a letter or digit right before it or right after the
// ending) is left alone, so that editing an existing word never expands part of it.
#pragma once

#include "support/text.h"
#include "writing/glossary.h"

#include <cstddef>
#include <optional>

namespace dalmure::writing {

// Replace length code units at start with text.
struct TextEdit {
    std::size_t start = 0;
    std::size_t length = 0;
    Str text;

    // The text with the edit made.
    Str applyTo(StrView original) const;
};

struct Expansion {
    TextEdit edit;     // the abbreviation replaced by its text
    TextEdit undo;     // the edit that puts the abbreviation back
    std::size_t caret; // where the caret goes: after the ending, as before
    Str abbreviation;  // as typed
};

// A key that ends a word: whitespace, a line break, or punctuation that closes a word.
bool endsWord(char16_t c);

// Called once the ending key is in the text, the caret right after it. Nothing when the
// character before the caret does not end a word or the word before it is no abbreviation.
std::optional<Expansion> expandBeforeCaret(const Glossary& glossary, StrView text,
                                           std::size_t caret);

// The typed word's case put on the glossary's text: all lower (or mixed) keeps the text as
// written, a capital first puts one on the text, capitals throughout (two letters or more)
// upper-case all of it.
Str applyCasePattern(StrView typed, StrView text);

// What one Ctrl+Z right after an expansion takes back. The editor remembers each expansion
// here and asks undo() on Ctrl+Z: it gives the inverse edit only while the text is still the
// one the expansion left and the caret has not moved; anything else typed or done in between
// (the editor calls forget() on every other edit) makes Ctrl+Z the editor's ordinary undo.
class ExpansionUndo {
  public:
    void remember(const Expansion& expansion, std::size_t textLengthAfter);
    void forget() { last_.reset(); }
    bool pending() const { return last_.has_value(); }
    // The inverse edit and the caret after it; the slot is emptied either way.
    std::optional<std::pair<TextEdit, std::size_t>> undo(StrView text, std::size_t caret);

  private:
    struct Last {
        Expansion expansion;
        std::size_t lengthAfter;
    };
    std::optional<Last> last_;
};

} // namespace dalmure::writing
