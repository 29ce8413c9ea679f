#include "interaction/notes_writing.h"
#include "support/log_labels.h"

#include "settings/settings.h"
#include "support/files.h"
#include "support/numeric.h"
#include "writing/letters.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dalmure {

namespace {

constexpr const char16_t* kLogLabel = label::notes;

Str problemText(const writing::GlossaryProblem& p) {
    using K = writing::GlossaryProblem::Kind;
    Str why;
    switch (p.kind) {
    case K::NoTab:
        why = u"no tab between the abbreviation and its text";
        break;
    case K::ExtraTab:
        why = u"more than one tab";
        break;
    case K::BadAbbreviation:
        why = u"the abbreviation is not letters and digits";
        break;
    case K::EmptyText:
        why = u"no text after the tab";
        break;
    case K::InvalidUtf8:
        why = u"not UTF-8";
        break;
    case K::Unreadable:
        return u"Glossary " + p.path + u" unreadable: " + fromUtf8(p.detail);
    case K::Missing:
        return u"Glossary " + p.path + u" missing";
    case K::MoreBadLines:
        return u"Glossary " + p.path + u": " + decimal(static_cast<long long>(p.count)) +
               u" lines skipped in all, the first " +
               decimal(static_cast<long long>(writing::Glossary::kReportedBadLines)) +
               u" said above";
    }
    return u"Glossary " + p.path + u" line " + decimal(p.line) + u" skipped (" + why + u"): " +
           p.content;
}

// A file name of the application folder itself: no folder part, nothing hidden.
bool plainFileName(const Str& name) {
    return !name.empty() && name.find(u'/') == Str::npos && name.find(u'\\') == Str::npos &&
           name.front() != u'.';
}

Str trimmed(const Str& s) {
    const auto first = s.find_first_not_of(u" \t");
    if (first == Str::npos)
        return {};
    return s.substr(first, s.find_last_not_of(u" \t") - first + 1);
}

} // namespace

NotesWriting::NotesWriting(Log& log) : log_(log) {}

NotesWriting::~NotesWriting() = default;

void NotesWriting::report(const Str& description) {
    log_.writeTrapped(0, description, kLogLabel);
}

void NotesWriting::configure(const Settings& settings) {
    appFolder_ = settings.appFolder();
    typographicApostrophe_ =
        trimmed(settings.iniValue(kSection, u"TypographicApostrophe", u"0")) == u"1";
    const Str spell = trimmed(settings.iniValue(kSection, u"SpellCheck", u"0"));
    spellCheck_ = spell == u"1" ? 1 : spell == u"2" ? 2 : 0;
    if (spellCheck_ != 0) {
        Str folder = trimmed(settings.iniValue(kSection, u"DictionaryFolder", Str()));
        if (folder.empty())
            folder = kDefaultDictionaryFolder;
        // A folder that is not there is said once, not once for each language.
        std::error_code ec;
        const bool folderThere = std::filesystem::is_directory(files::toNative(folder), ec);
        if (!folderThere)
            report(u"Dictionary folder " + folder + u" not found: spelling not checked");
        speller_ = std::make_unique<writing::Speller>(
            folder, [this, folderThere](const writing::SpellingProblem& p) {
                if (folderThere)
                    report(u"No " + fromUtf8(p.language) + u" dictionary in " + p.folder +
                           u": spelling not checked in that language");
            });
        speller_->setGlossary(&glossary_);
    }

    glossaryName_ = trimmed(settings.iniValue(kSection, u"Glossary", Str()));
    if (glossaryName_.empty())
        return;
    if (!plainFileName(glossaryName_)) {
        report(u"Glossary " + glossaryName_ + u" ignored: not a file of the application folder");
        glossaryName_.clear();
        return;
    }
    glossary_.setFile(appFolder_ + u"/" + glossaryName_,
                      [this](const writing::GlossaryProblem& p) { report(problemText(p)); });
}

void NotesWriting::refreshGlossary() {
    // Called as words end: a changed file is read on a thread of its own and its entries are
    // swapped in at a later word end, so that the typing never waits for the read.
    if (!glossaryName_.empty())
        glossary_.refreshInBackground();
}

bool NotesWriting::expands() const {
    return !glossaryName_.empty() || glossary_.hearingEntryCount() > 0;
}

std::optional<writing::Expansion> NotesWriting::expansionFor(StrView text, std::size_t caret,
                                                             char16_t ch) const {
    if (!expands() || !writing::endsWord(ch) || caret > text.size())
        return std::nullopt;
    // The word ends where the caret is: the ending character is looked at as if typed.
    Str typed;
    typed.reserve(text.size() + 1);
    typed.append(text.substr(0, caret));
    typed += ch;
    typed.append(text.substr(caret));
    return writing::expandBeforeCaret(glossary_, typed, caret + 1);
}

Str NotesWriting::expandAll(StrView text) const {
    if (!expands())
        return Str(text);
    // Typed again one character at a time, so that each word is looked at as it ends and not
    // as a word followed by more text; the last one ends with an imagined space.
    Str out;
    out.reserve(text.size() + 1);
    const auto take = [&](char16_t ch) {
        out += ch;
        if (!writing::endsWord(ch))
            return;
        if (const auto e = writing::expandBeforeCaret(glossary_, out, out.size()))
            out = e->edit.applyTo(out);
    };
    for (const char16_t ch : text)
        take(ch);
    take(u' ');
    out.pop_back();
    return out;
}

bool NotesWriting::addWord(const Str& word) {
    glossary_.addWord(word);
    if (glossaryName_.empty())
        return true;
    const std::string line = writing::Glossary::fileLine(word, word);
    if (line.empty())
        return false;
    try {
        const files::Folder folder = files::Folder::open(appFolder_);
        const std::string name = toUtf8(glossaryName_);
        std::string bytes = line;
        if (folder.kind(name) == files::Folder::Kind::Regular) {
            const std::string was = folder.read(name);
            if (!was.empty() && was.back() != '\n')
                bytes.insert(bytes.begin(), '\n');
        }
        folder.append(name, bytes);
        glossary_.refreshInBackground(); // the word is known already (addWord above)
        return true;
    } catch (const std::exception& e) {
        report(u"Glossary " + glossaryName_ + u": " + word + u" not added: " + fromUtf8(e.what()));
        return false;
    }
}

std::string NotesWriting::languageOfColumn(const Str& column) {
    const Str c = writing::lower(column);
    if (c.starts_with(u"fran"))
        return "fr";
    if (c.starts_with(u"angl") || c.starts_with(u"engl"))
        return "en";
    if (c.starts_with(u"espa"))
        return "es";
    return toUtf8(c);
}

void NotesWriting::setLanguageColumn(const Str& column) {
    languages_.clear();
    if (spellCheck_ == 1)
        languages_ = {languageOfColumn(column)};
    else if (spellCheck_ == 2)
        languages_ = {"fr", "en"};
}

std::vector<writing::WordSpan> NotesWriting::misspelled(StrView text) {
    if (!speller_ || languages_.empty())
        return {};
    return speller_->misspelled(text, languages_);
}

std::vector<Str> NotesWriting::suggestions(StrView word) {
    if (!speller_ || languages_.empty())
        return {};
    return speller_->suggest(word, languages_);
}

} // namespace dalmure
