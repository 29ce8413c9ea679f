// The client INI reader. It gives, for existing files, what the Windows private-profile reader
// (GetPrivateProfileStringA with a 2048-character buffer) gives. The rules, in the order the
// reader applies them:
//
//  File
//  - The folder part of strFile is taken as given; the file name is matched without regard to
//    case in that folder (the control names the file both "ORClient.ini" and "ORClient.INI").
//  - A file that is missing or cannot be read (a folder, no permission) gives the default,
//    copied as it is (only its trailing spaces dropped and the cut at 2047): its quotes stay,
//    as the Windows reader leaves them when it could not open the file. It reports no error.
//  - The file may be a link to a regular file (deployments share one file between folders).
//    Anything else in its place (a FIFO, a device) is refused without being opened in a way
//    that waits: the open never blocks, and the descriptor must be a regular file.
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
//  - The result passes through the ANSI code page on its way back, as Windows converts by
//    default: a character of a UTF-16 file that 1252 cannot hold takes its best-fit letter
//    ("Ā" reads "A"), "?" only where Windows has none.
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
#include <iterator>
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
    // refused is set when what was opened turned out not to be a regular file.
    std::shared_ptr<const Snapshot> get(const std::string& path, const struct stat& st,
                                        bool& refused) {
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
        // Never waits for a FIFO or a device swapped in since the stat: the open does not block
        // and the descriptor itself must be a regular file.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return nullptr;
        struct stat before {};
        struct stat after {};
        std::string bytes;
        const bool ok = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) &&
                        readAll(fd, before.st_size, bytes) && ::fstat(fd, &after) == 0;
        if (!S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode) && before.st_mode != 0)
            refused = true;
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

// Windows' best fit for code page 1252 where it differs from "?". Latin Extended-A by position
// (U+0100 to U+017F; "?" where Windows has no fit, the seven letters 1252 holds never
// looked at here; 0xD0 is "Ð"), then single characters in code point order.
constexpr char kLatinExtendedA[] = "AaAaAaCcCcCcCcDd"
                                   "\xD0"
                                   "dEeEeEeEeEeGgGg"
                                   "GgGgHhHhIiIiIiIi"
                                   "Ii??JjKk?LlLlLl?"
                                   "?LlNnNnNn???OoOo"
                                   "Oo??RrRrRrSsSsSs"
                                   "??TtTtTtUuUuUuUu"
                                   "UuUuWwYy?ZzZz???";
static_assert(sizeof kLatinExtendedA == 0x80 + 1);

struct Fit {
    char16_t from;
    unsigned char to;
};
constexpr Fit kBestFit[] = {
    {0x0180, 'b'},  {0x0189, 0xD0}, {0x0191, 0x83}, {0x0197, 'I'},  {0x019A, 'l'},  {0x019F, 'O'},
    {0x01A0, 'O'},  {0x01A1, 'o'},  {0x01AB, 't'},  {0x01AE, 'T'},  {0x01AF, 'U'},  {0x01B0, 'u'},
    {0x01B6, 'z'},  {0x01C0, '|'},  {0x01C3, '!'},  {0x01CD, 'A'},  {0x01CE, 'a'},  {0x01CF, 'I'},
    {0x01D0, 'i'},  {0x01D1, 'O'},  {0x01D2, 'o'},  {0x01D3, 'U'},  {0x01D4, 'u'},  {0x01D5, 'U'},
    {0x01D6, 'u'},  {0x01D7, 'U'},  {0x01D8, 'u'},  {0x01D9, 'U'},  {0x01DA, 'u'},  {0x01DB, 'U'},
    {0x01DC, 'u'},  {0x01DE, 'A'},  {0x01DF, 'a'},  {0x01E4, 'G'},  {0x01E5, 'g'},  {0x01E6, 'G'},
    {0x01E7, 'g'},  {0x01E8, 'K'},  {0x01E9, 'k'},  {0x01EA, 'O'},  {0x01EB, 'o'},  {0x01EC, 'O'},
    {0x01ED, 'o'},  {0x01F0, 'j'},  {0x0261, 'g'},  {0x02B9, '\''}, {0x02BA, '"'},  {0x02BC, '\''},
    {0x02C4, '^'},  {0x02C8, '\''}, {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, '`'},  {0x02CD, '_'},
    {0x02DA, 0xB0}, {0x0300, '`'},  {0x0301, 0xB4}, {0x0302, '^'},  {0x0303, '~'},  {0x0304, 0xAF},
    {0x0305, 0xAF}, {0x0308, 0xA8}, {0x030A, 0xB0}, {0x030E, '"'},  {0x0327, 0xB8}, {0x0331, '_'},
    {0x0332, '_'},  {0x037E, ';'},  {0x2000, ' '},  {0x2001, ' '},  {0x2002, ' '},  {0x2003, ' '},
    {0x2004, ' '},  {0x2005, ' '},  {0x2006, ' '},  {0x2010, '-'},  {0x2011, '-'},  {0x2017, '='},
    {0x2024, 0xB7}, {0x2032, '\''}, {0x2035, '`'},  {0x2044, '/'},  {0x2122, 0x99}, {0x2212, '-'},
    {0x2215, '/'},  {0x2216, '\\'}, {0x2217, '*'},  {0x2219, 0xB7}, {0x221E, '8'},  {0x2223, '|'},
    {0x2236, ':'},  {0x223C, '~'},  {0x2248, 0x98}, {0x2261, '='},  {0x2264, '='},  {0x2265, '='},
    {0x226A, 0xAB}, {0x226B, 0xBB}, {0x22C5, 0xB7}, {0x2329, '<'},  {0x232A, '>'},  {0x3000, ' '},
    {0x3008, '<'},  {0x3009, '>'},  {0x300A, 0xAB}, {0x300B, 0xBB}, {0x301A, '['},  {0x301B, ']'},
    {0x30FB, 0xB7},
};

int bestFitByte(char16_t c) {
    if (c >= 0x0100 && c < 0x0180 && kLatinExtendedA[c - 0x0100] != '?')
        return static_cast<unsigned char>(kLatinExtendedA[c - 0x0100]);
    if (c >= 0xFF01 && c <= 0xFF5E) // fullwidth forms of ASCII
        return c - 0xFEE0;
    const auto it = std::lower_bound(std::begin(kBestFit), std::end(kBestFit), c,
                                     [](const Fit& f, char16_t v) { return f.from < v; });
    return it != std::end(kBestFit) && it->from == c ? it->to : -1;
}

// A text's characters that 1252 cannot hold replaced as Windows' default conversion replaces
// them: by their best fit, else "?" (one for a surrogate pair).
Str withBestFit(StrView text) {
    Str out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80 || toCp1252(StrView(&c, 1)) != "?") {
            out += c;
            continue;
        }
        const int fit = bestFitByte(c);
        out += fit < 0 ? u'?' : fromCp1252(std::string(1, static_cast<char>(fit)))[0];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
    }
    return out;
}

// The text as it comes back through the ANSI interface: best-fit letters, cut at a NUL.
Str backThroughAnsi(StrView text) {
    return throughAnsi(withBestFit(text));
}

// What the reader copies into the 2048-character buffer: the cut, then the quotes.
Str copyOut(StrView text) {
    const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                        text.back() == text.front();
    if (quoted)
        text.remove_prefix(1);
    StrView copied = text.substr(0, std::min(text.size(), kMaxChars));
    if (quoted && text.size() <= kBufferChars)
        copied.remove_suffix(1);
    return backThroughAnsi(copied);
}

Str withoutTrailingSpaces(Str text) {
    std::size_t keep = text.size();
    while (keep > 1 && text[keep - 1] == u' ')
        --keep;
    text.resize(keep);
    return text;
}

} // namespace

Str ReadIni(const Str& strSection, const Str& strKey, const Str& strDefault, const Str& strFile,
            bool* refused) {
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
    bool notRegular = st.st_mode != 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
    const auto file = fileCache().get(path, st, notRegular);
    if (refused != nullptr)
        *refused = notRegular;
    if (file) {
        const auto& sections = file->parsed.sections;
        const auto s = sections.find(ucase(trimmed(section)));
        if (s != sections.end()) {
            const auto k = s->second.find(ucase(trimmed(key)));
            if (k != s->second.end() && k->second.hasValue)
                return copyOut(k->second.value);
        }
    }
    const Str fallback = withoutTrailingSpaces(throughAnsi(strDefault));
    if (!file) // no file was opened: the default as it is, quotes and all
        return fallback.substr(0, std::min(fallback.size(), kMaxChars));
    return copyOut(fallback);
}

} // namespace dalmure
