// Text conversions and upper-casing.
#include "support/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <string>

namespace dalmure {
namespace {

TEST(SupportText, Utf8RoundTripsEveryPlane) {
    const std::string utf8 = "Fran\xC3\xA7"
                             "ais \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD";
    const Str text = fromUtf8(utf8);
    EXPECT_EQ(text, Str(u"Français € \U0001F600 中"));
    EXPECT_EQ(text.size(), 15u); // the emoji is a surrogate pair
    EXPECT_EQ(toUtf8(text), utf8);
}

TEST(SupportText, InvalidUtf8AndLoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(fromUtf8("a\xFF"
                       "b"),
              Str(u"a\uFFFDb"));
    EXPECT_EQ(fromUtf8("a\xC3"), Str(u"a\uFFFD"));         // truncated sequence
    EXPECT_EQ(fromUtf8("\xC0\xAF"), Str(u"\uFFFD\uFFFD")); // overlong lead byte
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), Str(u"\uFFFD"));   // encoded surrogate
    EXPECT_EQ(fromUtf8(std::string("a\0b", 3)), Str(u"a\0b", 3));
    const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
    EXPECT_EQ(toUtf8(StrView(lone, 4)), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(SupportText, Cp1252MapsTheHighBytesAndRoundTripsAllBytes) {
    EXPECT_EQ(fromCp1252("\x80\x8A\x9C\x9F\xE9\xFF"), Str(u"€ŠœŸéÿ"));
    // The five undefined bytes keep their value, as the Windows converter does.
    EXPECT_EQ(fromCp1252("\x81\x8D\x8F\x90\x9D"), Str(u"\u0081\u008D\u008F\u0090\u009D"));
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const Str decoded = fromCp1252(all);
    ASSERT_EQ(decoded.size(), 256u);
    EXPECT_EQ(toCp1252(decoded), all);
}

TEST(SupportText, Cp1252WritesQuestionMarksForWhatItCannotHold) {
    EXPECT_EQ(toCp1252(u"Zażółć €"), "Za?\xF3?? \x80");
    EXPECT_EQ(toCp1252(u"a\U0001F600b"), "a?b"); // one character, one "?"
    EXPECT_EQ(toCp1252(u"\u2013\u201C\u201D"), "\x96\x93\x94");
}

TEST(SupportText, UcaseMapsEveryBmpLetterWhateverTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, locale) == nullptr)
            continue;
        SCOPED_TRACE(locale);
        EXPECT_EQ(ucase(u"msg304 façade été ÿ"), Str(u"MSG304 FAÇADE ÉTÉ Ÿ"));
        EXPECT_EQ(ucase(u"αβγ жёлтый"), Str(u"ΑΒΓ ЖЁЛТЫЙ"));
        EXPECT_EQ(ucaseChar(u'ß'), u'ß'); // no single upper-case letter
        EXPECT_EQ(ucaseChar(u'\u0131'), u'I');
        EXPECT_EQ(ucase(u"ÀÉ-123_'"), Str(u"ÀÉ-123_'"));
        const char16_t astral[] = {0xD801, 0xDC28}; // DESERET SMALL LONG I: surrogates untouched
        EXPECT_EQ(ucase(StrView(astral, 2)), Str(astral, 2));
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(SupportText, DecimalWritesPlainDigits) {
    EXPECT_EQ(decimal(0), u"0");
    EXPECT_EQ(decimal(-12), u"-12");
    EXPECT_EQ(decimal(30009), u"30009");
    EXPECT_EQ(decimal(-2147217865), u"-2147217865");
    EXPECT_EQ(decimal(LLONG_MIN), u"-9223372036854775808");
    EXPECT_EQ(decimal(LLONG_MAX), u"9223372036854775807");
}

} // namespace
} // namespace dalmure
