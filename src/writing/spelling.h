// Spelling of the notes with Hunspell dictionaries.
//
// Dictionaries are found by language in one folder (/usr/share/hunspell on Debian): "fr" is
// fr_FR (else fr, else any fr_*), "en" is en_US (else en, else any en_*), and a full name such
// as "fr_CA" is taken as it is. A dictionary is loaded the first time a language asks for it;
// one that is missing is reported once and then means no checking in that language, never an
// error. Asked for two languages, a word is correct when either knows it.
//
// Words the glossary knows (its texts, the hearing's entries, words the clerk added) are
// correct in every language. Words with a digit in them and single letters are not checked.
#pragma once

#include "support/text.h"
#include "writing/letters.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dalmure::writing {

class Glossary;

struct SpellingProblem {
    enum class Kind {
        MissingDictionary, // no .aff/.dic pair for the language in the folder
    };
    Kind kind;
    std::string language; // as asked ("fr", "en_US")
    Str folder;
};
using SpellingReport = std::function<void(const SpellingProblem&)>;

class Speller {
  public:
    explicit Speller(Str folder = u"/usr/share/hunspell", SpellingReport report = {});
    ~Speller();
    Speller(const Speller&) = delete;
    Speller& operator=(const Speller&) = delete;

    void setGlossary(const Glossary* glossary) { glossary_ = glossary; }

    // Whether a dictionary for the language is there (loading it when it was not yet).
    bool available(const std::string& language);
    // Whether any of the languages has a dictionary: without one nothing is ever misspelled.
    bool checks(const std::vector<std::string>& languages);

    // The misspelled words of a note, as UTF-16 offsets and lengths into it, in order.
    std::vector<WordSpan> misspelled(StrView note, const std::vector<std::string>& languages);
    bool correct(StrView word, const std::vector<std::string>& languages);
    // Hunspell's suggestions, the first language's first; without duplicates, at most max.
    std::vector<Str> suggest(StrView word, const std::vector<std::string>& languages,
                             std::size_t max = 8);

  private:
    class Dictionary;
    Dictionary* dictionary(const std::string& language);
    bool checkWord(StrView word, const std::vector<Dictionary*>& dictionaries);
    std::vector<Dictionary*> dictionaries(const std::vector<std::string>& languages);

    Str folder_;
    SpellingReport report_;
    const Glossary* glossary_ = nullptr;
    std::map<std::string, std::unique_ptr<Dictionary>> loaded_; // null: missing
};

} // namespace dalmure::writing
