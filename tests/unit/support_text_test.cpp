// Text conversions and upper-casing.
#include "support/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <string>

namespace dalmure {
namespace {

TEST(SupportText, Utf8DecodesEveryPlaneAndReplacesWhatIsInvalid) {
    const struct {
        std::string utf8;
        Str text;
    } rows[] = {
        {"Fran\xC3\xA7"
         "ais \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD",
         u"Français € \U0001F600 中"},
        {"a\xFF"
         "b",
         u"a\uFFFDb"},
        {"a\xC3", u"a\uFFFD"},         // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"}, // overlong lead byte
        {"\xED\xA0\x80", u"\uFFFD"},   // encoded surrogate
        {std::string("a\0b", 3), Str(u"a\0b", 3)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(fromUtf8(row.utf8), row.text);
    }
    EXPECT_EQ(toUtf8(rows[0].text), rows[0].utf8);
    const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
    EXPECT_EQ(toUtf8(StrView(lone, 4)), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(SupportText, Cp1252RoundTripsAllBytesAndWritesQuestionMarksForTheRest) {
    EXPECT_EQ(fromCp1252("\x80\x8A\x9C\x9F\xE9\xFF"), Str(u"€ŠœŸéÿ"));
    // The five undefined bytes keep their value, as the Windows converter does.
    EXPECT_EQ(fromCp1252("\x81\x8D\x8F\x90\x9D"), Str(u"\u0081\u008D\u008F\u0090\u009D"));
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(toCp1252(fromCp1252(all)), all);
    EXPECT_EQ(toCp1252(u"Zażółć € \u2013\u201C"), "Za?\xF3?? \x80 \x96\x93");
    EXPECT_EQ(toCp1252(u"a\U0001F600b"), "a?b"); // one character, one "?"
}

TEST(SupportText, UcaseMapsEveryBmpLetterWhateverTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, locale) == nullptr)
            continue;
        SCOPED_TRACE(locale);
        EXPECT_EQ(ucase(u"msg304 façade ÿ αβγ жёлтый -1_'"),
                  Str(u"MSG304 FAÇADE Ÿ ΑΒΓ ЖЁЛТЫЙ -1_'"));
        EXPECT_EQ(ucaseChar(u'ß'), u'ß'); // no single upper-case letter
        EXPECT_EQ(ucaseChar(u'\u0131'), u'I');
        const char16_t astral[] = {0xD801, 0xDC28}; // DESERET SMALL LONG I: surrogates untouched
        EXPECT_EQ(ucase(StrView(astral, 2)), Str(astral, 2));
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(SupportText, DecimalWritesPlainDigits) {
    EXPECT_EQ(decimal(0), u"0");
    EXPECT_EQ(decimal(-2147217865), u"-2147217865");
    EXPECT_EQ(decimal(LLONG_MIN), u"-9223372036854775808");
}

} // namespace
} // namespace dalmure
