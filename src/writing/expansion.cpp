#include "writing/expansion.h"

#include "writing/letters.h"

namespace dalmure::writing {

Str TextEdit::applyTo(StrView original) const {
    Str out;
    out.reserve(original.size() - length + text.size());
    out.append(original.substr(0, start));
    out.append(text);
    out.append(original.substr(start + length));
    return out;
}

bool endsWord(char16_t c) {
    switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\r':
    case u'\u00A0': // no-break space
    case u'\u202F': // narrow no-break space, before French ; : ! ?
    case u'\u2028':
    case u'\u2029': // line and paragraph separators (how some editors hold Enter)
    case u'.':
    case u',':
    case u';':
    case u':':
    case u'!':
    case u'?':
    case u')':
    case u']':
    case u'}':
    case u'"':
    case u'\u00BB': // »
    case u'\u201D': // ”
    case u'\u2026': // …
    case u'/':
        return true;
    default:
        return false;
    }
}

Str applyCasePattern(StrView typed, StrView text) {
    std::size_t letters = 0, upper = 0;
    bool firstUpper = false, restLower = true;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const char16_t c = typed[i];
        const bool up = isUpper(c), low = isLower(c);
        if (!up && !low)
            continue;
        if (letters == 0)
            firstUpper = up;
        else if (up)
            restLower = false;
        ++letters;
        upper += up ? 1 : 0;
    }
    if (letters >= 2 && upper == letters)
        return ucase(text);
    if (firstUpper && restLower) {
        // The first word's first character, when it is a letter ("« procès-verbal »" gets
        // its capital; "5e pièce" stays as it is).
        Str out(text);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (isWordChar(out[i])) {
                out[i] = ucaseChar(out[i]);
                break;
            }
        }
        return out;
    }
    return Str(text);
}

std::optional<Expansion> expandBeforeCaret(const Glossary& glossary, StrView text,
                                           std::size_t caret) {
    if (caret == 0 || caret > text.size() || !endsWord(text[caret - 1]))
        return std::nullopt;
    if (caret < text.size() && isWordChar(text[caret]))
        return std::nullopt; // the ending was typed inside a word
    const std::size_t end = caret - 1;
    std::size_t start = end;
    while (start > 0 && isWordChar(text[start - 1]))
        --start;
    if (start == end)
        return std::nullopt;
    const StrView typed = text.substr(start, end - start);
    const GlossaryEntry* entry = glossary.find(typed);
    if (!entry)
        return std::nullopt;

    Str replacement = applyCasePattern(typed, entry->text);
    if (replacement == typed)
        return std::nullopt; // a word entered as its own abbreviation: nothing to do or undo
    Expansion out;
    out.abbreviation = Str(typed);
    out.edit = {start, typed.size(), std::move(replacement)};
    out.undo = {start, out.edit.text.size(), out.abbreviation};
    out.caret = caret - typed.size() + out.edit.text.size();
    return out;
}

void ExpansionUndo::remember(const Expansion& expansion, std::size_t textLengthAfter) {
    last_ = Last{expansion, textLengthAfter};
}

std::optional<std::pair<TextEdit, std::size_t>> ExpansionUndo::undo(StrView text,
                                                                    std::size_t caret) {
    std::optional<Last> last = std::move(last_);
    last_.reset();
    if (!last)
        return std::nullopt;
    const TextEdit& edit = last->expansion.edit;
    if (text.size() != last->lengthAfter || caret != last->expansion.caret ||
        text.substr(edit.start, edit.text.size()) != edit.text)
        return std::nullopt;
    const std::size_t back = caret - edit.text.size() + last->expansion.abbreviation.size();
    return std::make_pair(last->expansion.undo, back);
}

} // namespace dalmure::writing
