// The client INI reader against the private-profile reader's rules, and its reading once per
// change of the file.
#include "support/ini_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace dalmure {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class SupportIni : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "dalmure-ini-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes the bytes as the file `name` and returns the path the control would form.
    Str write(const std::string& bytes, const std::string& name = "ORClient.ini") {
        std::ofstream(dir_ / name, std::ios::binary | std::ios::trunc) << bytes;
        return fromUtf8((dir_ / "ORClient.INI").string());
    }
    Str read(const Str& file, const Str& section, const Str& key, const Str& def = u"DEF") {
        return ReadIni(section, key, def, file);
    }

    fs::path dir_;
};

// The text in UTF-16 with its byte-order mark, little- or big-endian.
std::string utf16(const Str& text, bool big = false) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        bytes += big ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
}

TEST_F(SupportIni, ReadsAsWindowsReads) {
    const Str file = write("Langue=Orphan\r\n" // before any section: never read
                           "[Config]\r\n"
                           "Langue\r\n" // the first key wins: no value, the default
                           "Langue=English\r\n"
                           ";Commented=1\r\n"
                           "#PVStyle=3\r\n"
                           "PVFontSize=9\r\n"
                           "PVFontSize=11\r\n"
                           "  PADX \t=   12  \r\n"
                           "Empty=\r\n"
                           "A=\"quoted\"\r\nB='single'\r\nC=\"mixed'\r\nD=\"\r\nE=\"\"\r\n"
                           "F=\"a\"b\"\r\nG=  \" inner \"  \r\nH=x\"y\"\r\n"
                           "Cl\xE9=\x80 \x96 Fran\xE7"
                           "ais\r\n"
                           "Za?=question\r\n"
                           "Nul=Eng\0lish\r\nPV\0Style=2\r\n"
                           "[CONFIG]\r\nSecond=1\r\n"
                           "[ PV ]\r\nPADX=7\r\n"
                           "[LNG] trailing text\r\nLNG1=x\r\n[broken\r\nLNG2=y\r\n"s,
                           "orclient.ini");
    const struct {
        Str section, key, def, expected;
    } rows[] = {
        {u"Config", u"Langue", u"Français", u"Français"},
        {u"CONFIG", u"pvfontsize", u"", u"9"}, // names without case, the first duplicate
        {u"Config", u";Commented", u"", u"1"}, // ";" starts no comment
        {u"Config", u"PVStyle", u"DEF", u"DEF"},
        {u" Config ", u"  PADX  ", u"", u"12"}, // names and values trimmed
        {u"Config", u"Empty", u"1", u""},
        {u"Config", u"A", u"", u"quoted"},
        {u"Config", u"B", u"", u"single"},
        {u"Config", u"C", u"", u"\"mixed'"},
        {u"Config", u"D", u"", u"\""},
        {u"Config", u"E", u"x", u""},
        {u"Config", u"F", u"", u"a\"b"},
        {u"Config", u"G", u"", u" inner "},
        {u"Config", u"H", u"", u"x\"y\""},
        {u"Config", u"CLÉ", u"", u"€ – Français"}, // Windows-1252, accented names without case
        {u"Config", u"Zaż", u"", u"question"},     // "ż" reaches the reader as "?"
        {u"Config", u"Nul", u"", u"Eng"},          // NUL ends values and names
        {u"Config", u"PV", u"", u"2"},
        {u"Config", u"Second", u"DEF", u"DEF"}, // a repeated section is not read
        {u"Config", u"", u"DEF", u"DEF"},       // no key with an empty name here
        {u"Config", u"Nope", u"x  ", u"x"},     // the default's trailing blanks dropped
        {u"PV", u"PADX", u"DEF", u"7"},         // "[ PV ]" is the section "PV"
        {u" PV ", u"PADX", u"DEF", u"7"},
        {u"LNG", u"LNG1", u"", u"x"},
        {u"LNG", u"LNG2", u"", u"y"}, // "[broken" is a key line, not a header
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.section + u"/" + row.key));
        EXPECT_EQ(read(file, row.section, row.key, row.def), row.expected);
    }
    // The file's name without case; a missing file or folder gives the default.
    EXPECT_EQ(read(fromUtf8((dir_ / "ORClient.ini").string()), u"config", u"pvfontsize"), u"9");
    EXPECT_EQ(read(fromUtf8((dir_ / "nofolder" / "ORClient.ini").string()), u"Config", u"Langue"),
              u"DEF");
}

// The points where a simpler reader goes wrong: section names, line ends, empty key names,
// defaults of blanks, the order of the cut and the quotes, UTF-16 files.
TEST_F(SupportIni, WindowsRulesTable) {
    const std::string y2046(2046, 'y'), y2047(2047, 'y'), y2048(2048, 'y');
    const struct {
        const char* rule;
        std::string file;
        Str section, key, def, expected;
    } rows[] = {
        {"blanks inside the brackets", "[ Config ]\nA=1\n", u"Config", u"A", u"DEF", u"1"},
        {"tabs inside the brackets", "[\tConfig \t]\nA=1\n", u" CONFIG", u"A", u"DEF", u"1"},
        {"blanks inside the brackets are no name", "[  ]\nA=2\n", u"", u"A", u"DEF", u"2"},
        {"a NUL ends the name after the trim", "[ab \0]\nA=3\n"s, u"ab", u"A", u"DEF", u"DEF"},
        {"text after the last bracket", "[Con]fig] x\nA=4\n", u"Con]fig", u"A", u"DEF", u"4"},

        {"CR alone ends a line", "[Config]\rA=1\rB=2\r", u"Config", u"B", u"DEF", u"2"},
        {"CR inside a value ends it", "[Config]\nA=x\ry\n", u"Config", u"A", u"DEF", u"x"},
        {"what follows the CR is a key", "[Config]\nA=x\ry\n", u"Config", u"y", u"DEF", u"DEF"},
        {"runs of line ends", "\r\r\n\n[Config]\r\n\r\rA=5\n\r", u"Config", u"A", u"DEF", u"5"},

        {"an empty key name", "[Config]\nA=1\n=empty\n= second\n", u"Config", u"", u"D", u"empty"},
        {"a key name of blanks", "[Config]\n  =  spaced \n", u"Config", u"  ", u"D", u"spaced"},
        {"no key with an empty name", "[Config]\nA=1\n", u"Config", u"", u"DEF", u"DEF"},
        {"an empty name in another section", "[X]\n=x\n[Config]\nA=1\n", u"Config", u"", u"D",
         u"D"},
        {"before the first section", "=x\n[Config]\n", u"Config", u"", u"D", u"D"},

        {"a default of spaces only", "[Config]\n", u"Config", u"A", u"   ", u" "},
        {"a default of one space", "", u"Config", u"A", u" ", u" "},
        {"a default with inner blanks", "", u"Config", u"A", u"  a b  ", u"  a b"},
        {"only spaces are dropped", "", u"Config", u"A", u"a\t ", u"a\t"},
        {"a quoted default", "", u"Config", u"A", u"\"q \"", u"q "},

        {"2046 between quotes", "[PV]\nA=\"" + y2046 + "\"\n", u"PV", u"A", u"", Str(2046, u'y')},
        {"2047 between quotes", "[PV]\nA=\"" + y2047 + "\"\n", u"PV", u"A", u"", Str(2046, u'y')},
        {"2048 between quotes", "[PV]\nA='" + y2048 + "'\n", u"PV", u"A", u"", Str(2047, u'y')},
        {"2047 unquoted", "[PV]\nA=" + y2047 + "\n", u"PV", u"A", u"", Str(2047, u'y')},
        {"a quoted default of 2047", "", u"PV", u"A", u"'" + Str(2047, u'd') + u"'",
         Str(2046, u'd')},

        {"UTF-16 LE, CR LF", utf16(u"[Config]\r\nA=Español Ł\r\n"), u"Config", u"A", u"",
         u"Español ?"},
        {"UTF-16 LE, CR only", utf16(u"[ Config ]\rA=1\rB=2\r"), u"Config", u"B", u"", u"2"},
        {"UTF-16 BE", utf16(u"[Config]\r\nA=Ç€\r\n", true), u"Config", u"A", u"", u"Ç€"},
        {"UTF-16, an odd last byte", utf16(u"[Config]\nA=ab") + "\x01", u"Config", u"A", u"",
         u"ab"},
        {"UTF-16, the mark only", "\xFF\xFE", u"Config", u"A", u"DEF", u"DEF"},
        {"UTF-16 without its mark", utf16(u"[Config]\nA=1\n").substr(2), u"Config", u"A", u"DEF",
         u"DEF"},
        {"UTF-8 signature spoils the first header", "\xEF\xBB\xBF[Config]\nA=1\n", u"Config", u"A",
         u"DEF", u"DEF"},
        {"UTF-8 signature on a line of its own", "\xEF\xBB\xBF\n[Config]\nA=1\n", u"Config", u"A",
         u"DEF", u"1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        EXPECT_EQ(read(write(row.file), row.section, row.key, row.def), row.expected);
    }
}

TEST_F(SupportIni, CutsValuesAt2047CharactersEvenAMegabyteOne) {
    EXPECT_EQ(read(write("[PV]\n"), u"PV", u"PADX", Str(3000, u'd')), Str(2047, u'd'));
    const Str file = write("[PV]\nPADX=" + std::string(1 << 20, 'z') + "\nPADY1=3\n");
    EXPECT_EQ(read(file, u"PV", u"PADX"), Str(2047, u'z'));
    EXPECT_EQ(read(file, u"PV", u"PADY1"), u"3");
}

TEST_F(SupportIni, ChangedFileIsReadAgain) {
    using namespace std::chrono_literals;
    const fs::path ini = dir_ / "ORClient.ini";
    const auto age = [&](fs::file_time_type when) { fs::last_write_time(ini, when); };
    const auto old = fs::file_time_type::clock::now() - 1h;

    // Rewritten at once with the same size and, as a coarse clock would give it, the same time
    // stamp: the young file is compared by content.
    Str file = write("[PV]\nAnnoGras=1\n");
    EXPECT_EQ(read(file, u"PV", u"AnnoGras"), u"1");
    const auto stamp = fs::last_write_time(ini);
    write("[PV]\nAnnoGras=0\n");
    age(stamp);
    EXPECT_EQ(read(file, u"PV", u"AnnoGras"), u"0");
    // Another size.
    write("[PV]\nAnnoGras=10\n");
    EXPECT_EQ(read(file, u"PV", u"AnnoGras"), u"10");

    // An old file, known by its identity: the same size with another time stamp...
    write("[PV]\nPADX=1\n");
    age(old);
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"1");
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"1");
    write("[PV]\nPADX=2\n");
    age(old + 1s);
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"2");
    // ...and a file of the same size and time stamp put in its place (another inode).
    std::ofstream(dir_ / "new.ini", std::ios::binary) << "[PV]\nPADX=3\n";
    fs::last_write_time(dir_ / "new.ini", old + 1s);
    fs::rename(dir_ / "new.ini", ini);
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"3");

    // Removed, then back; a folder in its place.
    fs::remove(ini);
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"DEF");
    write("[PV]\nPADX=4\n");
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"4");
    fs::remove(ini);
    fs::create_directory(ini);
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"DEF");

    // More files than are kept at once, read in turn, each give their own values.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 12; ++i) {
            const std::string name = "f" + std::to_string(i) + ".ini";
            if (round == 0)
                std::ofstream(dir_ / name) << "[A]\nB=" << i << "\n";
            EXPECT_EQ(ReadIni(u"A", u"B", u"", fromUtf8((dir_ / name).string())), decimal(i));
        }
}

TEST_F(SupportIni, SurvivesRandomBytesAndFolders) {
    std::mt19937 rng(20260304);
    for (int round = 0; round < 6; ++round) {
        std::string bytes(round == 0 ? (1 << 20) : 4096 + round * 517, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        EXPECT_LE(
            read(write(round % 2 ? "[Config]\n" + bytes : bytes), u"Config", u"Langue").size(),
            2047u);
    }
    fs::remove(dir_ / "ORClient.ini");
    fs::create_directory(dir_ / "ORClient.ini");
    EXPECT_EQ(read(fromUtf8((dir_ / "ORClient.ini").string()), u"Config", u"Langue"), u"DEF");
}

} // namespace
} // namespace dalmure
