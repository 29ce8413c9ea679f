// The client INI reader against the private-profile reader's rules.
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
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return fromUtf8((dir_ / "ORClient.INI").string());
    }
    Str read(const Str& file, const Str& section, const Str& key, const Str& def = u"DEF") {
        return ReadIni(section, key, def, file);
    }

    fs::path dir_;
};

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
        {u"Config", u"", u"DEF", u""},          // an empty key name gives nothing
        {u"Config", u"Nope", u"x  ", u"x"},     // the default's trailing blanks dropped
        {u"PV", u"PADX", u"DEF", u"DEF"},       // the section is " PV "
        {u" PV ", u"PADX", u"DEF", u"DEF"},
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

TEST_F(SupportIni, LineEndsAndUtf16) {
    EXPECT_EQ(read(write("[Config]\nLangue=LF"), u"Config", u"Langue"), u"LF");
    EXPECT_EQ(read(write("[Config]\r\r\nLangue=CRCR \r\r\n"), u"Config", u"Langue"), u"CRCR");
    // CR alone ends no line: the file is one line, a header whose rest is ignored.
    EXPECT_EQ(read(write("[Config]\rLangue=CR\r"), u"Config", u"Langue"), u"DEF");
    EXPECT_EQ(read(write("[Config]\nLangue=a\rb\n"), u"Config", u"Langue"), u"a\rb");
    std::string bytes = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Config]\r\nLangue=Español Ł\r\n")) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    EXPECT_EQ(read(write(bytes), u"Config", u"Langue"), u"Español ?"); // through the ANSI buffer
}

TEST_F(SupportIni, CutsValuesAt2047CharactersEvenAMegabyteOne) {
    EXPECT_EQ(read(write("[PV]\nPADX=\"" + std::string(2046, 'y') + "\"\n"), u"PV", u"PADX"),
              Str(2046, u'y'));
    EXPECT_EQ(read(write("[PV]\n"), u"PV", u"PADX", Str(3000, u'd')), Str(2047, u'd'));
    const Str file = write("[PV]\nPADX=" + std::string(1 << 20, 'z') + "\nPADY1=3\n");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(read(file, u"PV", u"PADX"), Str(2047, u'z'));
    EXPECT_EQ(read(file, u"PV", u"PADY1"), u"3");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
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
