#include "writing/glossary.h"

#include "support/files.h"
#include "writing/letters.h"

#include <sys/stat.h>

#include <chrono>
#include <exception>
#include <string_view>
#include <system_error>

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

Glossary::Glossary() : file_(std::make_unique<FilePart>()) {}

Glossary::~Glossary() {
    // A read under way finishes with this object's copy of the access; nothing of it is kept.
    if (pending_.valid())
        pending_.wait();
    if (retiring_.valid())
        retiring_.wait();
}

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
    if (pending_.valid())
        pending_.wait(); // a read of the previous file is dropped
    pending_ = {};
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
    if (finishLoading())
        return true;
    const FileStamp now = access_.stamp(path_);
    if (now == stamp_)
        return false;
    load();
    return true;
}

bool Glossary::refreshInBackground() {
    if (path_.empty())
        return false;
    if (pending_.valid()) {
        if (pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false; // still reading: the entries read before stay in use
        swapIn(pending_.get());
        return true;
    }
    if (access_.stamp(path_) == stamp_)
        return false;
    // The read works on copies: the path and the access may change here meanwhile. When no
    // thread can be had, the next call tries again.
    try {
        pending_ = std::async(std::launch::async,
                              [path = path_, access = access_] { return readFile(path, access); });
    } catch (const std::system_error&) {
    }
    return false;
}

bool Glossary::finishLoading() {
    if (!pending_.valid())
        return false;
    swapIn(pending_.get());
    return true;
}

void Glossary::load() {
    if (path_.empty()) {
        stamp_ = {};
        if (!file_->table.entries.empty()) {
            file_ = std::make_unique<FilePart>();
            ++version_;
        }
        return;
    }
    swapIn(readFile(path_, access_));
}

std::unique_ptr<Glossary::Read> Glossary::readFile(const Str& path, const FileAccess& access) {
    auto read = std::make_unique<Read>();
    read->part = std::make_unique<FilePart>();
    std::size_t badLines = 0;
    auto problem = [&](GlossaryProblem::Kind kind, int line, std::string_view content,
                       std::string detail) {
        using Kind = GlossaryProblem::Kind;
        const bool badLine = kind != Kind::Missing && kind != Kind::Unreadable;
        if (badLine && ++badLines > kReportedBadLines)
            return; // counted, reported once at the end
        read->problems.push_back(
            GlossaryProblem{kind, path, line, fromUtf8(content), std::move(detail)});
    };

    // The stamp is taken before reading: a change while reading is seen at the next refresh.
    read->stamp = access.stamp(path);
    if (!read->stamp.present) {
        read->fileProblem = true;
        problem(GlossaryProblem::Kind::Missing, 0, {}, {});
        return read;
    }
    std::string bytes;
    try {
        bytes = access.read(path);
    } catch (const std::exception& e) {
        read->fileProblem = true;
        problem(GlossaryProblem::Kind::Unreadable, 0, {}, e.what());
        return read;
    }

    Table& table = read->part->table;
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
            problem(Kind::InvalidUtf8, number, content, {});
            continue;
        }
        const std::size_t tab = content.find('\t');
        if (tab == std::string_view::npos) {
            problem(Kind::NoTab, number, content, {});
            continue;
        }
        // Tabs and spaces after the text are slips of the keyboard; a tab inside it is a
        // second column the glossary does not have.
        std::string_view rawText = content.substr(tab + 1);
        while (!rawText.empty() && (rawText.back() == ' ' || rawText.back() == '\t'))
            rawText.remove_suffix(1);
        if (rawText.find('\t') != std::string_view::npos) {
            problem(Kind::ExtraTab, number, content, {});
            continue;
        }
        const Str abbreviation = fromUtf8(trimSpaces(content.substr(0, tab)));
        const Str text = fromUtf8(trimSpaces(rawText));
        if (!validAbbreviation(abbreviation)) {
            problem(Kind::BadAbbreviation, number, content, {});
            continue;
        }
        if (text.empty()) {
            problem(Kind::EmptyText, number, content, {});
            continue;
        }
        table.put(abbreviation, text); // a later line for the same abbreviation wins
    }
    if (badLines > kReportedBadLines) {
        read->problems.push_back(
            GlossaryProblem{GlossaryProblem::Kind::MoreBadLines, path, 0, {}, {}, badLines});
    }
    for (const auto& [key, entry] : table.entries) {
        const Str& text = entry.text;
        forEachWord(text, [&](WordSpan w) {
            Str word = text.substr(w.start, w.length);
            read->part->wordsUpper.insert(ucase(word));
            read->part->words.insert(std::move(word));
        });
    }
    return read;
}

void Glossary::swapIn(std::unique_ptr<Read> read) {
    stamp_ = read->stamp;
    // A missing or unreadable file is said once until it is read again.
    const bool quiet = read->fileProblem && reportedFileProblem_;
    reportedFileProblem_ = read->fileProblem;
    if (report_ && !quiet)
        for (const GlossaryProblem& p : read->problems)
            report_(p);
    std::swap(file_, read->part);
    ++version_;
    // The entries swapped out may be a million: freed on a thread of their own, not here; a
    // freeing still under way is waited for by the next one, never by the caller.
    try {
        retiring_ = std::async(std::launch::async,
                               [old = std::move(read), before = std::move(retiring_)]() mutable {
                                   if (before.valid())
                                       before.wait();
                                   old.reset();
                               });
    } catch (const std::system_error&) {
        // No thread to be had: freed here, once.
    }
}

bool Glossary::setHearingEntry(const Str& abbreviation, const Str& text) {
    if (!validAbbreviation(abbreviation) || text.empty())
        return false;
    hearing_.put(abbreviation, text);
    rebuildHearingWords();
    return true;
}

void Glossary::removeHearingEntry(const Str& abbreviation) {
    hearing_.erase(abbreviation);
    rebuildHearingWords();
}

void Glossary::clearHearingEntries() {
    hearing_.clear();
    rebuildHearingWords();
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
    return file_->table.find(typed, lowered);
}

void Glossary::rebuildHearingWords() {
    hearingWords_.clear();
    hearingWordsUpper_.clear();
    for (const auto& [key, entry] : hearing_.entries) {
        const Str& text = entry.text;
        forEachWord(text, [&](WordSpan w) {
            Str word = text.substr(w.start, w.length);
            hearingWordsUpper_.insert(ucase(word));
            hearingWords_.insert(std::move(word));
        });
    }
    ++version_;
}

bool Glossary::knowsWord(StrView word) const {
    if (word.empty())
        return false;
    Str w(word);
    const auto known = [&](const Str& x) {
        return file_->words.count(x) != 0 || hearingWords_.count(x) != 0 || added_.count(x) != 0;
    };
    if (known(w))
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
        return file_->wordsUpper.count(w) != 0 || hearingWordsUpper_.count(w) != 0 ||
               addedUpper_.count(w) != 0;
    if (restLower)
        return known(lower(w));
    return false;
}

} // namespace dalmure::writing
