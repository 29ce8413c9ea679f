// Text conversions: UTF-8, Windows-1252 and the host language's upper-casing, all over the
// control's UTF-16 strings.
#include "support/text.h"

#include <array>
#include <clocale>
#include <cstdint>
#include <cwctype>
#include <locale.h>
#include <memory>

namespace dalmure {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(Str& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Bytes 0x80..0x9F of Windows-1252. The five bytes Windows leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, as MultiByteToWideChar does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == c)
            return static_cast<int>(0x80 + i);
    return -1;
}

// The upper-case table of the whole Basic Multilingual Plane, built once from the C library's
// Unicode tables of the C.UTF-8 locale: a locale object of our own, so that the process locale
// (LANG, setlocale) never changes the result.
class UpperTable {
  public:
    UpperTable() : table_(std::make_unique<char16_t[]>(0x10000)) {
        for (std::uint32_t c = 0; c < 0x10000; ++c)
            table_[c] = static_cast<char16_t>(c);
        locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        if (loc == locale_t{})
            loc = newlocale(LC_CTYPE_MASK, "C.utf8", locale_t{});
        if (loc != locale_t{}) {
            for (std::uint32_t c = 0; c < 0x10000; ++c) {
                if (c >= 0xD800 && c <= 0xDFFF)
                    continue;
                const wint_t u = towupper_l(static_cast<wint_t>(c), loc);
                if (u < 0x10000 && !(u >= 0xD800 && u <= 0xDFFF))
                    table_[c] = static_cast<char16_t>(u);
            }
            freelocale(loc);
        } else {
            // No Unicode locale at all: ASCII and Latin-1 by rule, enough for the control's texts.
            for (std::uint32_t c = 'a'; c <= 'z'; ++c)
                table_[c] = static_cast<char16_t>(c - 32);
            for (std::uint32_t c = 0xE0; c <= 0xFE; ++c)
                if (c != 0xF7)
                    table_[c] = static_cast<char16_t>(c - 32);
            table_[0xFF] = 0x0178;
            table_[0xB5] = 0x039C;
        }
    }
    char16_t operator[](char16_t c) const { return table_[c]; }

  private:
    std::unique_ptr<char16_t[]> table_;
};

const UpperTable& upperTable() {
    static const UpperTable table;
    return table;
}

} // namespace

Str fromUtf8(std::string_view utf8) {
    Str out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, cp = b & 0x07, min = 0x10000;
        } else {
            out.push_back(kReplacement); // stray continuation byte or invalid lead byte
            ++i;
            continue;
        }
        int k = 1;
        for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // A truncated or invalid sequence: one replacement for its maximal valid prefix.
            out.push_back(kReplacement);
            i += static_cast<std::size_t>(k);
            continue;
        }
        appendUtf16(out, cp);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string toUtf8(StrView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

Str fromCp1252(std::string_view bytes) {
    Str out;
    out.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
}

std::string toCp1252(StrView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const int b = cp1252Byte(c);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
        // A surrogate pair is one character that 1252 cannot hold: one "?".
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
    }
    return out;
}

char16_t ucaseChar(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    return upperTable()[c];
}

Str ucase(StrView text) {
    Str out(text);
    for (auto& c : out)
        c = ucaseChar(c);
    return out;
}

Str decimal(long long value) {
    // Built by hand: no locale, and the most negative value has no positive counterpart.
    char16_t buf[24];
    int pos = 24;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        buf[--pos] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        buf[--pos] = u'-';
    return Str(buf + pos, buf + 24);
}

bool equalNoCase(StrView a, StrView b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && ucaseChar(a[i]) != ucaseChar(b[i]))
            return false;
    return true;
}

Str cleanText(const Str& text) {
    Str out;
    out.reserve(text.size());
    for (char16_t ch : text) {
        switch (ch) {
        case u'\'':
            out += u'`';
            break;
        case u'\\':
        case u'+':
        case u'|':
        case u'&':
            break;
        default:
            out += ch;
            break;
        }
    }
    return out;
}

} // namespace dalmure
