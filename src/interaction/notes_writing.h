// The writing tools of the notes editor as the control uses them: the glossary and its
// expansions, spelling, and the apostrophe the key filter types. All of it is off until the
// client INI file asks for it in its [Notes] section:
//
//     [Notes]
//     Glossary=glossaire.txt        ; a file of the application folder, one abbreviation a line
//     SpellCheck=1                  ; 0 off, 1 the user's language, 2 French and English
//     TypographicApostrophe=1       ; ' types U+2019 instead of a grave accent
//     DictionaryFolder=/usr/share/hunspell
#pragma once

#include "support/log.h"
#include "support/text.h"
#include "writing/expansion.h"
#include "writing/glossary.h"
#include "writing/spelling.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dalmure {

class Settings;

class NotesWriting {
  public:
    static constexpr const char16_t* kSection = u"Notes";
    static constexpr const char16_t* kDefaultDictionaryFolder = u"/usr/share/hunspell";

    explicit NotesWriting(Log& log);
    ~NotesWriting();
    NotesWriting(const NotesWriting&) = delete;
    NotesWriting& operator=(const NotesWriting&) = delete;

    // Reads the [Notes] keys and, when one is named, the glossary file.
    void configure(const Settings& settings);

    bool typographicApostrophe() const { return typographicApostrophe_; }
    // What the apostrophe key types.
    char16_t apostrophe() const { return typographicApostrophe_ ? u'\u2019' : u'`'; }

    // --- Glossary ------------------------------------------------------------------------
    writing::Glossary& glossary() { return glossary_; }
    // Looks at the glossary file and reads it again when it changed.
    void refreshGlossary();
    // True when expanding can do anything: a file or hearing entries.
    bool expands() const;
    // The expansion a word-ending character ch would make, typed at caret of text with nothing
    // selected: the word before the caret looked up, the character after it checked.
    std::optional<writing::Expansion> expansionFor(StrView text, std::size_t caret,
                                                   char16_t ch) const;
    // Expands every word of a description answered in a prompt ("tem cité" -> "témoin cité").
    Str expandAll(StrView text) const;
    // Adds a word as correctly spelled, and to the glossary file when there is one and the word
    // can be written there. Returns false when the word could not be kept in the file.
    bool addWord(const Str& word);
    writing::ExpansionUndo& undo() { return undo_; }
    // The expansion made for the key being typed: remembered for Ctrl+Z once the key is in.
    std::optional<writing::Expansion> justMade;

    // --- Spelling --------------------------------------------------------------------------
    // The language of the user's catalogue column ("fr" for Francais, "en" for Anglais ...).
    static std::string languageOfColumn(const Str& column);
    void setLanguageColumn(const Str& column);
    bool checksSpelling() const { return !languages_.empty(); }
    std::vector<writing::WordSpan> misspelled(StrView text);
    std::vector<Str> suggestions(StrView word);
    const std::vector<std::string>& languages() const { return languages_; }

  private:
    void report(const Str& description);

    Log& log_;
    Str appFolder_;
    Str glossaryName_;
    int spellCheck_ = 0;
    bool typographicApostrophe_ = false;
    writing::Glossary glossary_;
    writing::ExpansionUndo undo_;
    std::unique_ptr<writing::Speller> speller_;
    std::vector<std::string> languages_;
};

} // namespace dalmure
