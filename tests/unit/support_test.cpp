// The support layer's own parts: text conversions, upper-casing, 16-bit arithmetic, Val's leading
// number, file errors, and what the monthly log adds to the lines the host scenarios check.
#include "support/errors.h"
#include "support/log.h"
#include "support/numeric.h"
#include "support_rig.h"
#include "test_support.h"

#include <climits>
#include <clocale>
#include <cmath>
#include <regex>
#include <set>

namespace dalmure {
namespace {

namespace fs = std::filesystem;

using test::slurp;

class SupportLog : public test::SupportTest {
  protected:
    std::string logText() const { return slurp(app_ / "Log" / "2026-03" / "Dalmure.Log"); }
    Log log{fromUtf8(app_.string()), clock_, pointerBack()};
};

TEST_F(SupportLog, ALineBreakInsideAFieldIsABlankSoNoLineCanBeForged) {
    const Str forged = u"\"2026-03-04 14:05:09.37 : 0 : forged : errDalmure_AnnoAdd\"";
    const struct {
        Str description, label;
        std::string written;
    } cases[] = {
        {u"cr\rlf\ncrlf\r\nlfcr\n\r", u"l", "cr lf crlf  lfcr   : l"},
        {u"dossier\r\n" + forged, u"errDalmure_AnnoAdd",
         "dossier  \"2026-03-04 14:05:09.37 : 0 : forged : errDalmure_AnnoAdd\" : "
         "errDalmure_AnnoAdd"},
        {u"d", u"lab\nel\r", "d : lab el "},
    };
    std::string expected;
    for (const auto& c : cases) {
        log.WriteLog(0, c.description, c.label);
        expected += "\"2026-03-04 14:05:09.37 :  : " + c.written + "\"\r\n";
    }
    EXPECT_EQ(logText(), expected);
}

TEST_F(SupportLog, HundredthsComeFromTheSecondsClockRoundedAndNeverReach100) {
    const std::pair<double, Str> rows[] = {{50709.0, u"00"},    {50709.004, u"00"},
                                           {50709.006, u"01"},  {50709.994, u"99"},
                                           {50709.9951, u"99"}, {86399.9999, u"99"}};
    for (const auto& [seconds, hundredths] : rows) {
        SCOPED_TRACE(seconds);
        clock_.seconds = seconds;
        EXPECT_EQ(log.formatLine(1, u"d", u"l").substr(21, 2), hundredths);
    }
    clock_.t = {999, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(log.formatLine(1, u"d", u"l").substr(0, 21), u"\"0999-01-02 03:04:05.");
}

// The month comes from the clock at each line: a line of April lands in April's folder.
TEST_F(SupportLog, GetLogPathReportsAMissingParentAndEachMonthHasItsFolder) {
    clock_.t.month = 4;
    log.WriteLog(2, u"april", u"b");
    EXPECT_EQ(slurp(app_ / "Log" / "2026-04" / "Dalmure.Log"),
              "\"2026-04-04 14:05:09.37 : 2 : april : b\"\r\n");
    clock_.t.month = 3;
    const Str missing = fromUtf8((app_ / "missing" / "Logs").string());
    Str path = missing;
    EXPECT_EQ(log.GetLogPath(path), missing);
    EXPECT_EQ(path, missing);
    EXPECT_EQ(logText(),
              "\"2026-03-04 14:05:09.37 : 76 : Path not found : errDalmure_GetLogPath\"\r\n");
}

TEST_F(SupportLog, AnUnwritableLogLosesTheLineWithoutLoopingOrThrowing) {
    // An application "folder" that is a regular file: nothing can be made under it, even by root.
    std::ofstream(app_ / "plainfile") << "x";
    Log lost(fromUtf8((app_ / "plainfile").string()), clock_, pointerBack());
    lost.writeTrapped(5, u"lost", u"errDalmure_AnnoAdd");
    EXPECT_LT(clock_.calls, 20); // bounded: a few attempts, no recursion
    EXPECT_THROW(lost.WriteLog(5, u"lost", u"x"), ControlError);
    const Str under = fromUtf8((app_ / "plainfile" / "Logs").string());
    Str p = under;
    EXPECT_EQ(lost.GetLogPath(p), under);
}

TEST_F(SupportLog, TwoProcessesAppendingNeverLoseOrInterleaveLines) {
    constexpr int kLines = 10000;
    log.WriteLog(0, u"start", u"t"); // folders exist before the race
    ASSERT_TRUE(test::inChildren(2, [&](int c) {
        for (int i = 0; i < kLines; ++i)
            log.WriteLog(i, Str(1, u"AB"[c]) + u" " + Str(40, u"ab"[c]), u"errDalmure_Race");
        return true;
    }));
    std::istringstream all(logText());
    const std::regex shape("\"2026-03-04 14:05:09\\.37 : (\\d*) : (A a{40}|B b{40}) : "
                           "errDalmure_Race\"\r");
    std::set<std::string> seen;
    std::string line;
    std::getline(all, line); // the "start" line
    while (std::getline(all, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_TRUE(seen.insert(m[2].str().substr(0, 1) + m[1].str()).second) << line;
    }
    EXPECT_EQ(seen.size(), 2u * kLines);
}

TEST(SupportText, Utf8DecodesEveryPlaneAndReplacesWhatIsInvalid) {
    const std::pair<std::string, Str> rows[] = {
        {"Français € 😀 中", u"Français € \U0001F600 中"},
        {std::string("a\xFF") + "b", u"a\uFFFDb"},
        {"a\xC3", u"a\uFFFD"},         // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"}, // overlong lead byte
        {"\xED\xA0\x80", u"\uFFFD"},   // encoded surrogate
        {std::string("a\0b", 3), Str(u"a\0b", 3)},
    };
    for (const auto& [utf8, text] : rows)
        EXPECT_EQ(fromUtf8(utf8), text) << utf8;
    EXPECT_EQ(toUtf8(rows[0].second), rows[0].first);
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

std::pair<std::int32_t, Str> caught(const std::function<void()>& f) try {
    f();
    return {0, {}};
} catch (const ControlError& e) {
    return {e.number(), e.description()};
}

TEST(SupportNumeric, RoundsHalvesToEvenAndOverflowsOutsideTheRange) {
    // -32768.5 goes to the even neighbour, inside the range.
    EXPECT_EQ(std::tuple(roundHalfEven(2.5), roundHalfEven(-1.5), roundHalfEven(2.5000001),
                         toInteger(10.5), toInteger(11.5), toInteger(-32768.5),
                         toLong(2147483646.5), addInteger(32766, 1), mulInteger(-128, 256)),
              std::tuple(2.0, -2.0, 3.0, 10, 12, -32768, 2147483646, 32767, -32768));
    EXPECT_EQ(decimal(LLONG_MIN), u"-9223372036854775808"); // no positive counterpart
    const std::function<void()> overflows[] = {
        [] { toInteger(32767.5); },      [] { toInteger(-32769.0); },
        [] { toInteger(std::nan("")); }, [] { toInteger(32768LL); },
        [] { addInteger(32767, 1); },    [] { subInteger(-32768, 1); },
        [] { mulInteger(-32768, -1); },  [] { mulInteger(182, 181); },
        [] { toLong(2147483647.5); }};
    for (std::size_t i = 0; i < std::size(overflows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(caught(overflows[i]), std::make_pair(6, Str(u"Overflow")));
    }
}

TEST(SupportNumeric, LeadingNumberReadsLikeVal) {
    // "9,6" is 9: the decimal point is "." whatever the locale.
    const std::pair<Str, double> rows[] = {
        {u"12pt", 12.0}, {u"\t 9.6", 9.6}, {u"abc", 0.0}, {u"", 0.0},       {u"+.5", 0.5},
        {u"5.", 5.0},    {u"1.2.3", 1.2},  {u"1e", 1.0},  {u"2E+1", 20.0},  {u"- 5", 0.0},
        {u".", 0.0},     {u"0010", 10.0},  {u"9,6", 9.0}, {u"1e-400", 0.0}, {u"-3.5e2x", -350.0}};
    for (const auto& [text, value] : rows)
        EXPECT_EQ(leadingNumber(text), value) << toUtf8(text);
    EXPECT_EQ(leadingNumber(u"1" + Str(400, u'0') + u"e-400"), 1.0);
    EXPECT_EQ(leadingNumber(Str(1'000'000, u'0') + u"42"), 42.0);
    EXPECT_EQ(leadingNumber(Str(1'000'000, u' ') + u"8"), 8.0);
    EXPECT_EQ(leadingNumber(u"0." + Str(1'000'000, u'0') + u"1"), 0.0);
    EXPECT_TRUE(std::isinf(leadingNumber(u"1e400")));
    EXPECT_TRUE(std::isinf(leadingNumber(Str(1'000'000, u'9'))));
    // Correctly rounded, also past the digits a short buffer would keep.
    const std::string exact[] = {"123456789012345678901234567890", "2.2250738585072014e-308",
                                 "9007199254740993", "0." + std::string(1000, '3')};
    for (const std::string& s : exact)
        EXPECT_EQ(leadingNumber(Str(s.begin(), s.end())), std::strtod(s.c_str(), nullptr)) << s;
}

TEST(SupportErrors, FileErrorsCarryTheHostNumbersAndTexts) {
    const std::tuple<int, std::int32_t, Str> rows[] = {
        {ENOENT, 53, u"File not found"},        {EACCES, 75, u"Path/File access error"},
        {EROFS, 75, u"Path/File access error"}, {ENOSPC, 61, u"Disk full"},
        {EIO, 57, u"Device I/O error"},         {ENAMETOOLONG, 52, u"Bad file name or number"},
        {EINVAL, 75, u"Path/File access error"}};
    for (const auto& [err, number, description] : rows)
        EXPECT_EQ(caught([&] { errors::fromErrno(err); }), std::make_pair(number, description))
            << err;
    // A missing file whose folder is missing too is "Path not found".
    const auto dir = std::filesystem::temp_directory_path();
    EXPECT_EQ(caught([&] { errors::fromErrno(ENOENT, (dir / "no-such-file").string()); }).first,
              53);
    EXPECT_EQ(
        caught([&] { errors::fromErrno(ENOENT, (dir / "no-such-folder-dalmure" / "x").string()); }),
        std::make_pair(76, Str(u"Path not found")));
}

} // namespace
} // namespace dalmure
