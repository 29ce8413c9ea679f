// The client INI reader. It gives, for existing files, what the Windows private-profile reader
// (GetPrivateProfileStringA with a 2048-character buffer) gives. The rules, in the order the
// reader applies them:
//
//  File
//  - The folder part of strFile is taken as given; the file name is matched without regard to
//    case in that folder (the control names the file both "ORClient.ini" and "ORClient.INI").
//  - A file that is missing or cannot be read (a folder, no permission) gives the default:
//    the Windows reader reports no error either.
//  - The file is read once per call. A file starting with the UTF-16LE mark FF FE is read as
//    UTF-16; every other file is Windows-1252 bytes. A UTF-8 signature is not recognised: its
//    three bytes are text of the first line (on Windows they spoil a first "[section]" line).
//
//  Lines
//  - Only LF ends a line. CR counts as a blank, so CR LF files read as LF files, and a file with
//    CR-only line ends is one long line (on it only the first section header is seen).
//  - Blanks are space, tab, LF, VT, FF, CR and Ctrl-Z (0x1A); they are trimmed at both ends of
//    every line.
//  - A line that starts with "[" and holds a "]" is a section header: the name runs from after
//    "[" to the last "]" of the line, not trimmed ("[ Config ]" is the section " Config "); the
//    rest of the line is ignored. A "[" line without "]" is an ordinary line.
//  - Every other non-empty line is a key. With an "=", the key is the text before the first "="
//    with blanks before the "=" removed, the value the text after it with its leading blanks
//    removed (trailing ones went with the line). Without an "=", the whole line is a key that
//    has no value.
//  - There is no comment syntax: ";x=1" is the key ";x", which no lookup of the control can
//    name. Text before the first section header belongs to no section and is never found.
//  - A NUL character ends a name or a value (the Windows structures are C strings).
//
//  Lookup
//  - The section and key asked for are handed over in the ANSI code page (a character 1252 cannot
//    hold becomes "?"), cut at a NUL, and their blanks at both ends are ignored.
//  - Names compare without regard to case.
//  - Only the FIRST section of the name is searched; a later section of the same name is never
//    read. Within it the FIRST key of the name wins, even when it has no "=" (that key gives the
//    default).
//  - An empty key name gives an empty result.
//  - A key with "=" and nothing after it gives "", not the default.
//  - A value of two or more characters that starts and ends with the same quote (' or ") loses
//    that pair of quotes; a lone quote or mismatched quotes stay.
//  - The result is cut to 2047 characters and passes through the ANSI code page on its way back.
//  - The default loses its trailing spaces (documented Windows behaviour) and is cut likewise.
#include "support/ini_reader.h"

#include "support/files.h"

#include <string>

namespace dalmure {

namespace {

constexpr std::size_t kMaxChars = 2047; // the 2048-character buffer less its NUL

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' ||
           c == 0x1A;
}

// The text as the ANSI interface hands it over: 1252 round trip, cut at the first NUL.
Str throughAnsi(StrView text) {
    Str s = fromCp1252(toCp1252(text));
    const auto nul = s.find(u'\0');
    if (nul != Str::npos)
        s.resize(nul);
    return s;
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

Str decodeFile(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        Str text;
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    return fromCp1252(bytes);
}

Str finish(StrView value) {
    if (value.size() > kMaxChars)
        value = value.substr(0, kMaxChars);
    return throughAnsi(value);
}

Str defaultResult(const Str& strDefault) {
    StrView d = cutAtNul(StrView(strDefault));
    while (!d.empty() && d.back() == u' ')
        d.remove_suffix(1);
    return finish(d);
}

} // namespace

Str ReadIni(const Str& strSection, const Str& strKey, const Str& strDefault, const Str& strFile) {
    const Str section = throughAnsi(strSection);
    const Str key = throughAnsi(strKey);
    const StrView wantSection = trimmed(section);
    const StrView wantKey = trimmed(key);
    if (key.empty())
        return Str();

    // The file, its name matched without regard to case.
    const auto slash = strFile.rfind(u'/');
    const Str path = slash == Str::npos
                         ? files::findNoCase(Str(u"."), strFile)
                         : files::findNoCase(strFile.substr(0, slash), strFile.substr(slash + 1));
    if (!files::isRegularFile(path))
        return defaultResult(strDefault);
    std::string bytes;
    try {
        bytes = files::readAll(path);
    } catch (...) {
        return defaultResult(strDefault);
    }
    const Str text = decodeFile(bytes);
    const StrView all(text);

    bool inSection = false; // inside the first section of the wanted name
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find(u'\n', pos);
        if (end == StrView::npos)
            end = all.size();
        const StrView line = trimmed(all.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;

        if (line.front() == u'[') {
            const auto close = line.rfind(u']');
            if (close != StrView::npos) {
                if (inSection)
                    return defaultResult(strDefault); // end of the first match
                const StrView name = cutAtNul(line.substr(1, close - 1));
                inSection = !name.empty() && equalNoCase(name, wantSection);
                continue;
            }
        }
        if (!inSection)
            continue;

        const auto eq = line.find(u'=');
        StrView name = eq == StrView::npos ? line : line.substr(0, eq);
        while (!name.empty() && isBlank(name.back()))
            name.remove_suffix(1);
        if (!equalNoCase(cutAtNul(name), wantKey))
            continue;
        if (eq == StrView::npos)
            return defaultResult(strDefault); // a key without a value

        StrView value = line.substr(eq + 1);
        while (!value.empty() && isBlank(value.front()))
            value.remove_prefix(1);
        value = cutAtNul(value);
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return finish(value);
    }
    return defaultResult(strDefault);
}

} // namespace dalmure
