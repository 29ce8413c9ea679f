// The client INI reader. It gives, for existing files, what the Windows private-profile reader
// (GetPrivateProfileStringA with a 2048-character buffer) gives. The rules, in the order the
// reader applies them:
//
//  File
//  - The folder part of strFile is taken as given; the file name is matched without regard to
//    case in that folder (the control names the file both "ORClient.ini" and "ORClient.INI").
//  - A file that is missing or cannot be read (a folder, no permission) gives the default:
//    the Windows reader reports no error either.
//  - A file starting with the UTF-16 mark FF FE is read as UTF-16 little-endian, one starting
//    with FE FF as UTF-16 big-endian; the mark itself is no text, and an odd last byte is
//    dropped. Every other file is Windows-1252 bytes, whatever its first bytes are. A UTF-8
//    signature is not recognised: its three bytes are text of the first line (on Windows they
//    spoil a first "[section]" line).
//
//  Lines
//  - A line ends at CR or LF, so CR LF, LF and CR-only files read alike; a run of line ends
//    makes empty lines, which are skipped.
//  - Blanks are tab, LF, VT, FF, CR, space and Ctrl-Z (0x1A); they are trimmed at both ends of
//    every line.
//  - A line that starts with "[" and holds a "]" is a section header: the name runs from after
//    "[" to the last "]" of the line, with its blanks at both ends trimmed ("[ Config ]" is the
//    section "Config", "[]" the section ""); the rest of the line is ignored. A "[" line without
//    "]" is an ordinary line.
//  - Every other non-empty line is a key. With an "=", the key is the text before the first "="
//    with blanks before the "=" removed (it may be empty: "=value" is a key with an empty
//    name), the value the text after it with its leading blanks removed (trailing ones went
//    with the line). Without an "=", the whole line is a key that has no value.
//  - There is no comment syntax: ";x=1" is the key ";x", which no lookup of the control can
//    name. Text before the first section header belongs to no section and is never found.
//  - A NUL character ends a name or a value (the Windows structures are C strings); blanks are
//    trimmed before that cut, so "[ab \0]" is the section "ab ".
//
//  Lookup
//  - The section, key and default asked for are handed over in the ANSI code page (a character
//    1252 cannot hold becomes "?") and cut at a NUL; the section's and the key's blanks at both
//    ends are ignored.
//  - Names compare without regard to case.
//  - Only the FIRST section of the name is searched; a later section of the same name is never
//    read. Within it the FIRST key of the name wins, even when it has no "=" (that key gives the
//    default).
//  - An empty key name (or one of blanks only) names the section's first key with an empty
//    name, a "=value" line; a section without one gives the default.
//  - A key with "=" and nothing after it gives "", not the default.
//  - The default loses its trailing spaces, but never its first character: "x  " gives "x", a
//    default of spaces only gives one space.
//  - The value found, or else the default, is copied into the 2048-character buffer: at most
//    2047 characters. A text of two or more characters that starts and ends with the same quote
//    (' or ") is copied from after its opening quote, and the last character copied is then
//    removed when the whole text fitted (its closing quote). The cut comes first: a quoted text
//    of 2047 characters between its quotes loses its closing quote to the cut and then its last
//    character, giving 2046; one of 2048 or more keeps its first 2047. A lone quote or
//    mismatched quotes stay.
//  - The result passes through the ANSI code page on its way back.
//
//  Reading once per change
//  - Each file is parsed once and kept, keyed on its path and its identity: device, inode, size
//    and modification time in nanoseconds. A later call that finds the same identity is
//    answered from memory after one stat; any other identity (edited, replaced, truncated) is
//    read and parsed again, so an edit is seen by the next call.
//  - File systems stamp modification times with a granularity (a timer tick on Linux, whole
//    seconds or two on some), so a rewrite of the same size soon after a read may keep the
//    identity. A file is therefore trusted by identity only once the copy was read when the
//    file was already older than that granularity (2.1 s for a time stamp of whole seconds,
//    0.1 s otherwise); until then every call reads the bytes again and compares them with the
//    copy, parsing only when they differ.
#include "support/ini_reader.h"

#include "support/files.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure {

namespace {

constexpr std::size_t kBufferChars = 2048; // the work buffer the control hands over
constexpr std::size_t kMaxChars = kBufferChars - 1;

bool isBlank(char16_t c) {
    return (c >= u'\t' && c <= u'\r') || c == u' ' || c == 0x1A;
}

StrView trimmed(StrView s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

StrView cutAtNul(StrView s) {
    const auto nul = s.find(u'\0');
    return nul == StrView::npos ? s : s.substr(0, nul);
}

// The text as the ANSI interface hands it over: 1252 round trip, cut at the first NUL.
Str throughAnsi(StrView text) {
    Str s = fromCp1252(toCp1252(text));
    s.resize(cutAtNul(s).size());
    return s;
}

// --- The parsed file --------------------------------------------------------------------------

struct Key {
    Str value;
    bool hasValue = false;
};

// Names are stored upper-cased (the comparison without regard to case); only the first section
// and the first key of each name are kept, the only ones a lookup can reach.
struct Parsed {
    std::unordered_map<Str, std::unordered_map<Str, Key>> sections;
};

Str decodeFile(const std::string& bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool little = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    const bool big = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
    if (!little && !big)
        return fromCp1252(bytes);
    Str text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(little ? byte(i) | (byte(i + 1) << 8)
                                                    : (byte(i) << 8) | byte(i + 1)));
    return text;
}

Parsed parse(const std::string& bytes) {
    const Str text = decodeFile(bytes);
    const StrView all(text);
    Parsed parsed;
    std::unordered_map<Str, Key>* section = nullptr; // none before the first header
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = pos;
        while (end < all.size() && all[end] != u'\n' && all[end] != u'\r')
            ++end;
        const StrView line = trimmed(all.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;

        if (line.front() == u'[') {
            const auto close = line.rfind(u']');
            if (close != StrView::npos) {
                const Str name = ucase(cutAtNul(trimmed(line.substr(1, close - 1))));
                const auto [it, first] = parsed.sections.try_emplace(name);
                section = first ? &it->second : nullptr; // a repeated section is never read
                continue;
            }
        }
        if (section == nullptr)
            continue;

        const auto eq = line.find(u'=');
        StrView name = eq == StrView::npos ? line : line.substr(0, eq);
        while (!name.empty() && isBlank(name.back()))
            name.remove_suffix(1);
        Key key;
        if (eq != StrView::npos) {
            StrView value = line.substr(eq + 1);
            while (!value.empty() && isBlank(value.front()))
                value.remove_prefix(1);
            key.value = Str(cutAtNul(value));
            key.hasValue = true;
        }
        section->try_emplace(ucase(cutAtNul(name)), std::move(key));
    }
    return parsed;
}

// --- The file, read once per change -----------------------------------------------------------

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};

    explicit Identity(const struct stat& st)
        : device(st.st_dev), inode(st.st_ino), size(st.st_size), mtime(st.st_mtim) {}
    bool operator==(const Identity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

struct Snapshot {
    std::string bytes;
    Parsed parsed;
};

struct Entry {
    std::string path;
    Identity identity;
    bool settled; // read when the file was older than its time stamps' granularity
    std::shared_ptr<const Snapshot> snapshot;
};

// Whether bytes read at `readAt` can stand for the file until its identity changes: a later
// write of the same size must then bear a later time stamp.
bool settledAt(const timespec& mtime, const timespec& readAt) {
    const long long settleNs = mtime.tv_nsec == 0 ? 2'100'000'000LL : 100'000'000LL;
    const long long ageNs =
        (static_cast<long long>(readAt.tv_sec) - mtime.tv_sec) * 1'000'000'000LL +
        (readAt.tv_nsec - mtime.tv_nsec);
    return ageNs >= settleNs;
}

class FileCache {
  public:
    static constexpr std::size_t kMaxPaths = 8;

    // The parsed file at path, or null when it is not a regular file or cannot be read; st is
    // what stat gave for the path.
    std::shared_ptr<const Snapshot> get(const std::string& path, const struct stat& st) {
        if (!S_ISREG(st.st_mode))
            return nullptr;
        std::shared_ptr<const Snapshot> known;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (Entry* e = find(path)) {
                if (e->settled && e->identity == Identity(st))
                    return e->snapshot;
                known = e->snapshot;
            }
        }

        timespec readAt{};
        ::clock_gettime(CLOCK_REALTIME, &readAt);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat before {};
        struct stat after {};
        std::string bytes;
        const bool ok = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) &&
                        readAll(fd, before.st_size, bytes) && ::fstat(fd, &after) == 0;
        ::close(fd);
        if (!ok)
            return nullptr;

        std::shared_ptr<const Snapshot> snapshot = known;
        if (!known || known->bytes != bytes) {
            Parsed parsed = parse(bytes);
            snapshot =
                std::make_shared<const Snapshot>(Snapshot{std::move(bytes), std::move(parsed)});
        }
        const Identity identity(before);
        if (identity == Identity(after)) { // not changed while it was read
            std::lock_guard<std::mutex> lock(mutex_);
            Entry fresh{path, identity, settledAt(before.st_mtim, readAt), snapshot};
            if (Entry* e = find(path)) {
                *e = std::move(fresh);
            } else {
                if (entries_.size() == kMaxPaths)
                    entries_.erase(entries_.begin());
                entries_.push_back(std::move(fresh));
            }
        }
        return snapshot;
    }

  private:
    Entry* find(const std::string& path) {
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const Entry& e) { return e.path == path; });
        return it == entries_.end() ? nullptr : &*it;
    }

    static bool readAll(int fd, off_t size, std::string& bytes) {
        bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        std::size_t done = 0;
        for (;;) {
            if (done == bytes.size())
                bytes.resize(bytes.size() + 4096); // grown since fstat: read to the end
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        return true;
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

FileCache& fileCache() {
    static FileCache* cache = new FileCache; // never destroyed: readers may run at exit
    return *cache;
}

// --- The result -------------------------------------------------------------------------------

// What the reader copies into the 2048-character buffer: the cut, then the quotes.
Str copyOut(StrView text) {
    const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                        text.back() == text.front();
    if (quoted)
        text.remove_prefix(1);
    StrView copied = text.substr(0, std::min(text.size(), kMaxChars));
    if (quoted && text.size() <= kBufferChars)
        copied.remove_suffix(1);
    return throughAnsi(copied);
}

Str withoutTrailingSpaces(Str text) {
    std::size_t keep = text.size();
    while (keep > 1 && text[keep - 1] == u' ')
        --keep;
    text.resize(keep);
    return text;
}

} // namespace

Str ReadIni(const Str& strSection, const Str& strKey, const Str& strDefault, const Str& strFile) {
    const Str section = throughAnsi(strSection);
    const Str key = throughAnsi(strKey);

    // The file: the name as given, else matched without regard to case.
    std::string path = files::toNative(strFile);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const auto slash = strFile.rfind(u'/');
        path = files::toNative(slash == Str::npos ? files::findNoCase(Str(u"."), strFile)
                                                  : files::findNoCase(strFile.substr(0, slash),
                                                                      strFile.substr(slash + 1)));
        if (::stat(path.c_str(), &st) != 0)
            st.st_mode = 0; // missing: the default
    }
    if (const auto file = fileCache().get(path, st)) {
        const auto& sections = file->parsed.sections;
        const auto s = sections.find(ucase(trimmed(section)));
        if (s != sections.end()) {
            const auto k = s->second.find(ucase(trimmed(key)));
            if (k != s->second.end() && k->second.hasValue)
                return copyOut(k->second.value);
        }
    }
    return copyOut(withoutTrailingSpaces(throughAnsi(strDefault)));
}

} // namespace dalmure
