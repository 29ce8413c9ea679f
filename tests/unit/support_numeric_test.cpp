// Integer arithmetic, banker's rounding, Val's leading number and the file errors.
#include "support/errors.h"
#include "support/numeric.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace dalmure {
namespace {

std::int32_t errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const ControlError& e) {
        return e.number();
    }
    return 0;
}

TEST(SupportNumeric, RoundsHalvesToEven) {
    EXPECT_EQ(roundHalfEven(0.5), 0.0);
    EXPECT_EQ(roundHalfEven(1.5), 2.0);
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(-1.5), -2.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(roundHalfEven(2.5000001), 3.0);
    EXPECT_EQ(toInteger(9.6), 10);
    EXPECT_EQ(toInteger(10.5), 10);
    EXPECT_EQ(toInteger(11.5), 12);
    EXPECT_EQ(toInteger(-32768.5), -32768); // to the even neighbour, inside the range
    EXPECT_EQ(toLong(2147483646.5), 2147483646);
}

TEST(SupportNumeric, IntegerOverflowIsError6) {
    EXPECT_EQ(errorNumber([] { toInteger(32767.5); }), 6);
    EXPECT_EQ(errorNumber([] { toInteger(-32769.0); }), 6);
    EXPECT_EQ(errorNumber([] { toInteger(std::nan("")); }), 6);
    EXPECT_EQ(errorNumber([] { toInteger(32768LL); }), 6);
    EXPECT_EQ(errorNumber([] { addInteger(32767, 1); }), 6);
    EXPECT_EQ(errorNumber([] { subInteger(-32768, 1); }), 6);
    EXPECT_EQ(errorNumber([] { mulInteger(-32768, -1); }), 6);
    EXPECT_EQ(errorNumber([] { mulInteger(182, 181); }), 6);
    EXPECT_EQ(errorNumber([] { toLong(2147483647.5); }), 6);
    EXPECT_EQ(addInteger(32766, 1), 32767);
    EXPECT_EQ(mulInteger(-128, 256), -32768);
    try {
        addInteger(32767, 1);
    } catch (const ControlError& e) {
        EXPECT_EQ(e.description(), u"Overflow");
    }
}

TEST(SupportNumeric, LeadingNumberReadsLikeVal) {
    EXPECT_EQ(leadingNumber(u"12pt"), 12.0);
    EXPECT_EQ(leadingNumber(u" 9.6"), 9.6);
    EXPECT_EQ(leadingNumber(u"abc"), 0.0);
    EXPECT_EQ(leadingNumber(u""), 0.0);
    EXPECT_EQ(leadingNumber(u"\t 7"), 7.0);
    EXPECT_EQ(leadingNumber(u"-3.5e2x"), -350.0);
    EXPECT_EQ(leadingNumber(u"+.5"), 0.5);
    EXPECT_EQ(leadingNumber(u"5."), 5.0);
    EXPECT_EQ(leadingNumber(u"1.2.3"), 1.2);
    EXPECT_EQ(leadingNumber(u"1e"), 1.0); // no digits after the letter: no exponent
    EXPECT_EQ(leadingNumber(u"2E+1"), 20.0);
    EXPECT_EQ(leadingNumber(u"- 5"), 0.0);
    EXPECT_EQ(leadingNumber(u"."), 0.0);
    EXPECT_EQ(leadingNumber(u"0010"), 10.0);
    EXPECT_EQ(leadingNumber(u"9,6"), 9.0); // the decimal point is "." whatever the locale
    EXPECT_TRUE(std::isinf(leadingNumber(u"1e400")));
    EXPECT_EQ(leadingNumber(u"1e-400"), 0.0);
}

TEST(SupportNumeric, LeadingNumberIsLocaleFreeAndCorrectlyRounded) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    const char* samples[] = {"123456789012345678901234567890", "0.1", "2.2250738585072014e-308",
                             "9007199254740993", "3.14159265358979323846264338327950288"};
    for (const char* s : samples) {
        const Str text(s, s + std::char_traits<char>::length(s));
        EXPECT_EQ(leadingNumber(text), std::strtod(s, nullptr)) << s;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(SupportNumeric, LeadingNumberHandlesVeryLongTexts) {
    const std::size_t n = 1'000'000;
    EXPECT_TRUE(std::isinf(leadingNumber(Str(n, u'9'))));
    EXPECT_EQ(leadingNumber(u"0." + Str(n, u'0') + u"1"), 0.0);
    EXPECT_EQ(leadingNumber(Str(n, u'0') + u"42"), 42.0);
    EXPECT_EQ(leadingNumber(Str(n, u' ') + u"8"), 8.0);
    // 1000 threes after the point: the digits past the kept ones must still round right.
    const std::string thirds = "0." + std::string(1000, '3');
    EXPECT_EQ(leadingNumber(Str(thirds.begin(), thirds.end())),
              std::strtod(thirds.c_str(), nullptr));
    EXPECT_EQ(leadingNumber(u"1" + Str(400, u'0') + u"e-400"), 1.0);
}

TEST(SupportErrors, FileErrorsCarryTheHostNumbersAndTexts) {
    auto caught = [](int err) -> std::pair<std::int32_t, Str> {
        try {
            errors::fromErrno(err);
        } catch (const ControlError& e) {
            return {e.number(), e.description()};
        }
        return {0, {}};
    };
    EXPECT_EQ(caught(ENOENT), std::make_pair(53, Str(u"File not found")));
    EXPECT_EQ(caught(EACCES), std::make_pair(75, Str(u"Path/File access error")));
    EXPECT_EQ(caught(EPERM).first, 75);
    EXPECT_EQ(caught(EROFS).first, 75);
    EXPECT_EQ(caught(ENOSPC), std::make_pair(61, Str(u"Disk full")));
    EXPECT_EQ(caught(EIO), std::make_pair(57, Str(u"Device I/O error")));
    EXPECT_EQ(caught(ENAMETOOLONG), std::make_pair(52, Str(u"Bad file name or number")));
    EXPECT_EQ(caught(EINVAL).first, 75);

    const auto dir = std::filesystem::temp_directory_path();
    try {
        errors::fromErrno(ENOENT, (dir / "no-such-file").string());
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), 53);
    }
    try {
        errors::fromErrno(ENOENT, (dir / "no-such-folder-dalmure" / "x").string());
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), 76);
        EXPECT_EQ(e.description(), u"Path not found");
    }
}

} // namespace
} // namespace dalmure
