// The notes editor's writing tools as the control runs them: abbreviations expanded as words
// end and put back by Ctrl+Z, misspelled words marked, the spelling help of the editor's menu,
// and the hearing's glossary entries the host gives.
#include "control/dalmure_p.h"
#include "control/trap.h"
#include "interaction/notes_writing.h"
#include "support/log_labels.h"

namespace dalmure {

void DalmurePrivate::expandBeforeTyping(char16_t ch) {
    platform::TextBox& box = notesEditor();
    if (box.selLength() != 0 || !writing::endsWord(ch)) {
        return; // typed over a selection, the word is replaced rather than ended
    }
    writing_->refreshGlossary();
    const Str text = box.text();
    const auto caret = static_cast<std::size_t>(box.selStart());
    auto made = writing_->expansionFor(text, caret, ch);
    if (!made) {
        return;
    }
    const auto at = static_cast<std::int32_t>(made->edit.start);
    box.replaceRange(at, at + static_cast<std::int32_t>(made->edit.length), made->edit.text);
    if (ch == u'\r') {
        made->caret += 1; // Enter types CR LF
    }
    writing_->justMade = std::move(made);
}

bool DalmurePrivate::undoExpansion() {
    if (!writing_->undo().pending()) {
        return false;
    }
    platform::TextBox& box = notesEditor();
    const Str text = box.text();
    const auto back = writing_->undo().undo(text, static_cast<std::size_t>(box.selStart()));
    if (!back || box.selLength() != 0) {
        return false;
    }
    const writing::TextEdit& edit = back->first;
    const auto at = static_cast<std::int32_t>(edit.start);
    box.takeBack(at, at + static_cast<std::int32_t>(edit.length), edit.text);
    box.setSelStart(static_cast<std::int32_t>(back->second));
    return true;
}

void DalmurePrivate::markMisspelled() {
    if (!writing_->checksSpelling()) {
        return;
    }
    platform::TextBox& box = notesEditor();
    const Str text = box.text();
    const auto caret = static_cast<std::size_t>(box.selStart());
    std::vector<platform::TextBox::Range> ranges;
    for (const writing::WordSpan& w : writing_->misspelled(text)) {
        // The word being typed is not finished: it is looked at once it ends.
        if (box.hasFocus() && w.start + w.length == caret) {
            continue;
        }
        ranges.push_back({static_cast<std::int32_t>(w.start), static_cast<std::int32_t>(w.length)});
    }
    box.setMarkedRanges(std::move(ranges));
}

bool DalmurePrivate::editorSpellingHelp(std::int32_t pos, SpellingHelp& help) {
    bool found = false;
    trap(label::editorSpellingHelp, [&] {
        if (commands_.notesReadOnly()) {
            return;
        }
        const Str text = notesEditor().text();
        for (const writing::WordSpan& w : writing_->misspelled(text)) {
            const auto start = static_cast<std::int32_t>(w.start);
            const auto length = static_cast<std::int32_t>(w.length);
            if (pos < start || pos > start + length) {
                continue;
            }
            help.start = start;
            help.length = length;
            help.word = text.substr(w.start, w.length);
            help.suggestions = writing_->suggestions(help.word);
            help.addCaption = NotesWriting::languageOfColumn(settings_.languageColumn()) == "en"
                                  ? u"Add to glossary"
                                  : u"Ajouter au glossaire";
            found = true;
            return;
        }
    });
    return found;
}

void DalmurePrivate::editorAddWord(const Str& word) {
    trap(label::editorAddWord, [&] {
        writing_->addWord(word);
        markMisspelled();
    });
}

Str DalmurePrivate::expandWords(const Str& typed) {
    Str out = typed;
    trap(label::expandWords, [&] {
        writing_->refreshGlossary();
        out = writing_->expandAll(typed);
    });
    return out;
}

bool DalmurePrivate::GlossaryAdd(const Str& abbreviation, const Str& text) {
    const bool kept = writing_->glossary().setHearingEntry(abbreviation, text);
    if (kept && notesEditor().visible()) {
        markMisspelled();
    }
    return kept;
}

void DalmurePrivate::GlossaryRemove(const Str& abbreviation) {
    writing_->glossary().removeHearingEntry(abbreviation);
    if (notesEditor().visible()) {
        markMisspelled();
    }
}

void DalmurePrivate::GlossaryClear() {
    writing_->glossary().clearHearingEntries();
    if (notesEditor().visible()) {
        markMisspelled();
    }
}

} // namespace dalmure
