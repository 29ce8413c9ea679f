#include "writing/glossary.h"

#include "support/files.h"
#include "writing/letters.h"

#include <sys/stat.h>

#include <exception>
#include <string_view>

namespace dalmure::writing {
namespace {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
// past U+10FFFF.
bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::pair<std::string, std::string> splitPath(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return {".", native};
    return {slash == 0 ? std::string("/") : native.substr(0, slash), native.substr(slash + 1)};
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

FileAccess regularFileAccess() {
    FileAccess access;
    access.stamp = [](const Str& path) {
        struct stat st {};
        FileStamp stamp;
        if (::lstat(files::toNative(path).c_str(), &st) != 0)
            return stamp;
        stamp.present = true;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = static_cast<std::uint64_t>(st.st_size);
        stamp.modifiedNs = nanoseconds(st.st_mtim);
        stamp.statusChangedNs = nanoseconds(st.st_ctim);
        return stamp;
    };
    access.read = [](const Str& path) {
        const auto [folder, name] = splitPath(files::toNative(path));
        return files::Folder::open(fromUtf8(folder)).read(name);
    };
    return access;
}

// --- Table ---

void Glossary::Table::put(const Str& abbreviation, const Str& text) {
    auto [it, added] = entries.try_emplace(abbreviation, GlossaryEntry{abbreviation, text});
    if (!added)
        it->second.text = text;
    else
        byLower.emplace(lower(abbreviation), abbreviation);
}

void Glossary::Table::erase(const Str& abbreviation) {
    if (entries.erase(abbreviation) == 0)
        return;
    auto [first, last] = byLower.equal_range(lower(abbreviation));
    for (auto it = first; it != last; ++it) {
        if (it->second == abbreviation) {
            byLower.erase(it);
            break;
        }
    }
}

void Glossary::Table::clear() {
    entries.clear();
    byLower.clear();
}

const GlossaryEntry* Glossary::Table::find(StrView typed, const Str& lowered) const {
    if (auto it = entries.find(Str(typed)); it != entries.end())
        return &it->second;
    // Differing only in case: when several entries do ("ps", "PS"), the lower-case one.
    const GlossaryEntry* found = nullptr;
    auto [first, last] = byLower.equal_range(lowered);
    for (auto it = first; it != last; ++it) {
        const GlossaryEntry& entry = entries.at(it->second);
        if (!found || entry.abbreviation == lowered)
            found = &entry;
    }
    return found;
}

// --- Glossary ---

Glossary::Glossary() = default;
Glossary::~Glossary() = default;

bool Glossary::validAbbreviation(StrView abbreviation) {
    if (abbreviation.empty())
        return false;
    for (char16_t c : abbreviation)
        if (!isWordChar(c))
            return false;
    return true;
}

std::string Glossary::fileLine(StrView abbreviation, StrView text) {
    if (!validAbbreviation(abbreviation) || text.empty() || text.front() == u' ' ||
        text.back() == u' ' || text.find_first_of(u"\t\r\n") != StrView::npos)
        return {};
    return toUtf8(abbreviation) + "\t" + toUtf8(text) + "\n";
}

void Glossary::setFile(Str path, GlossaryReport report, FileAccess access) {
    path_ = std::move(path);
    report_ = std::move(report);
    access_ = std::move(access);
    stamp_ = {};
    reportedFileProblem_ = false;
    load();
}

bool Glossary::refresh() {
    if (path_.empty())
        return false;
    const FileStamp now = access_.stamp(path_);
    if (now == stamp_)
        return false;
    load();
    return true;
}

void Glossary::load() {
    const bool hadEntries = !file_.entries.empty();
    file_.clear();
    if (path_.empty()) {
        stamp_ = {};
        if (hadEntries)
            rebuildWords();
        return;
    }
    auto problem = [&](GlossaryProblem::Kind kind, int line, Str content, std::string detail) {
        if (report_)
            report_(GlossaryProblem{kind, path_, line, std::move(content), std::move(detail)});
    };

    // The stamp is taken before reading: a change while reading is seen at the next refresh.
    stamp_ = access_.stamp(path_);
    std::string bytes;
    if (!stamp_.present) {
        if (!reportedFileProblem_)
            problem(GlossaryProblem::Kind::Missing, 0, {}, {});
        reportedFileProblem_ = true;
        rebuildWords();
        return;
    }
    try {
        bytes = access_.read(path_);
    } catch (const std::exception& e) {
        if (!reportedFileProblem_)
            problem(GlossaryProblem::Kind::Unreadable, 0, {}, e.what());
        reportedFileProblem_ = true;
        rebuildWords();
        return;
    }
    reportedFileProblem_ = false;

    std::string_view rest(bytes);
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    int number = 0;
    while (!rest.empty()) {
        ++number;
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        const std::string_view content = trimSpaces(line);
        if (content.empty() || content.front() == '#')
            continue;
        using Kind = GlossaryProblem::Kind;
        if (!validUtf8(content)) {
            problem(Kind::InvalidUtf8, number, fromUtf8(content), {});
            continue;
        }
        const std::size_t tab = content.find('\t');
        if (tab == std::string_view::npos) {
            problem(Kind::NoTab, number, fromUtf8(content), {});
            continue;
        }
        // Tabs and spaces after the text are slips of the keyboard; a tab inside it is a
        // second column the glossary does not have.
        std::string_view rawText = content.substr(tab + 1);
        while (!rawText.empty() && (rawText.back() == ' ' || rawText.back() == '\t'))
            rawText.remove_suffix(1);
        if (rawText.find('\t') != std::string_view::npos) {
            problem(Kind::ExtraTab, number, fromUtf8(content), {});
            continue;
        }
        const Str abbreviation = fromUtf8(trimSpaces(content.substr(0, tab)));
        const Str text = fromUtf8(trimSpaces(rawText));
        if (!validAbbreviation(abbreviation)) {
            problem(Kind::BadAbbreviation, number, fromUtf8(content), {});
            continue;
        }
        if (text.empty()) {
            problem(Kind::EmptyText, number, fromUtf8(content), {});
            continue;
        }
        file_.put(abbreviation, text); // a later line for the same abbreviation wins
    }
    rebuildWords();
}

bool Glossary::setHearingEntry(const Str& abbreviation, const Str& text) {
    if (!validAbbreviation(abbreviation) || text.empty())
        return false;
    hearing_.put(abbreviation, text);
    rebuildWords();
    return true;
}

void Glossary::removeHearingEntry(const Str& abbreviation) {
    hearing_.erase(abbreviation);
    rebuildWords();
}

void Glossary::clearHearingEntries() {
    hearing_.clear();
    rebuildWords();
}

void Glossary::addWord(const Str& word) {
    if (added_.insert(word).second) {
        addedUpper_.insert(ucase(word));
        ++version_;
    }
}

const GlossaryEntry* Glossary::find(StrView typed) const {
    if (typed.empty())
        return nullptr;
    const Str lowered = lower(typed);
    if (const GlossaryEntry* entry = hearing_.find(typed, lowered))
        return entry;
    return file_.find(typed, lowered);
}

void Glossary::rebuildWords() {
    words_.clear();
    wordsUpper_.clear();
    for (const Table* table : {&file_, &hearing_}) {
        for (const auto& [key, entry] : table->entries) {
            const Str& text = entry.text;
            forEachWord(text, [&](WordSpan w) {
                Str word = text.substr(w.start, w.length);
                wordsUpper_.insert(ucase(word));
                words_.insert(std::move(word));
            });
        }
    }
    ++version_;
}

bool Glossary::knowsWord(StrView word) const {
    if (word.empty())
        return false;
    Str w(word);
    if (words_.count(w) != 0 || added_.count(w) != 0)
        return true;
    // Capitals throughout over any known word ("TREMBLAY-ROY"); a capital at the start over a
    // word known in lower case ("Témoin").
    bool restLower = true, allUpper = true;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (isLower(w[i]))
            allUpper = false;
        if (i > 0 && isUpper(w[i]))
            restLower = false;
    }
    if (allUpper)
        return wordsUpper_.count(w) != 0 || addedUpper_.count(w) != 0;
    if (restLower) {
        const Str lowered = lower(w);
        return words_.count(lowered) != 0 || added_.count(lowered) != 0;
    }
    return false;
}

} // namespace dalmure::writing
