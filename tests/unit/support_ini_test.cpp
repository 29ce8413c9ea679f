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

TEST_F(SupportIni, FindsSectionsKeysAndTheFileWithoutRegardToCase) {
    const Str file = write("[Config]\r\nLangue=English\r\nPVStyle=2\r\n[lng]\r\nlng1=Fran\xE7"
                           "ais|Francais\r\n",
                           "orclient.ini");
    EXPECT_EQ(read(file, u"Config", u"Langue"), u"English");
    EXPECT_EQ(read(file, u"CONFIG", u"LANGUE"), u"English");
    EXPECT_EQ(read(fromUtf8((dir_ / "ORClient.ini").string()), u"config", u"pvstyle"), u"2");
    EXPECT_EQ(read(file, u"LNG", u"LNG1"), u"Fran\u00E7ais|Francais");
    EXPECT_EQ(read(file, u"Config", u"Missing"), u"DEF");
    EXPECT_EQ(read(file, u"PV", u"PADX", u"10"), u"10");
    EXPECT_EQ(read(fromUtf8((dir_ / "Other.ini").string()), u"Config", u"Langue", u"Français"),
              u"Français");
    EXPECT_EQ(read(fromUtf8((dir_ / "nofolder" / "ORClient.ini").string()), u"Config", u"Langue"),
              u"DEF");
}

TEST_F(SupportIni, TrimsBlanksAndOnePairOfMatchingQuotes) {
    const Str file = write("[PV]\n"
                           "  PADX \t=   12  \n"
                           "A=\"quoted\"\n"
                           "B='single'\n"
                           "C=\"mixed'\n"
                           "D=\"\n"
                           "E=\"\"\n"
                           "F=\"a\"b\"\n"
                           "G=  \" inner blanks \"  \n"
                           "H=x\"y\"\n");
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"12");
    EXPECT_EQ(read(file, u" PV ", u"  PADX  "), u"12"); // the names asked for are trimmed too
    EXPECT_EQ(read(file, u"PV", u"A"), u"quoted");
    EXPECT_EQ(read(file, u"PV", u"B"), u"single");
    EXPECT_EQ(read(file, u"PV", u"C"), u"\"mixed'");
    EXPECT_EQ(read(file, u"PV", u"D"), u"\"");
    EXPECT_EQ(read(file, u"PV", u"E"), u"");
    EXPECT_EQ(read(file, u"PV", u"F"), u"a\"b");
    EXPECT_EQ(read(file, u"PV", u"G"), u" inner blanks ");
    EXPECT_EQ(read(file, u"PV", u"H"), u"x\"y\"");
}

TEST_F(SupportIni, EmptyValueIsEmptyAndKeysWithoutEqualsGiveTheDefault) {
    const Str file = write("[Config]\nPVStyle=\nAnnoGras =   \nLangue\nLangue=English\n");
    EXPECT_EQ(read(file, u"Config", u"PVStyle", u"1"), u"");
    EXPECT_EQ(read(file, u"Config", u"AnnoGras", u"1"), u"");
    // The first key of the name wins, even without "=": it has no value, so the default.
    EXPECT_EQ(read(file, u"Config", u"Langue", u"Français"), u"Français");
    EXPECT_EQ(read(file, u"Config", u""), u"");              // an empty key name gives nothing
    EXPECT_EQ(read(file, u"Config", u"Nope", u"x  "), u"x"); // default's trailing blanks dropped
}

TEST_F(SupportIni, CommentsOrphanKeysAndDuplicatesReadAsWindowsReadsThem) {
    const Str file = write("Langue=Orphan\n"
                           "[Config]\n"
                           ";Langue=Commented\n"
                           "#PVStyle=3\n"
                           "PVFontSize=9\n"
                           "PVFontSize=11\n"
                           "[Other]\n"
                           "K=1\n"
                           "[CONFIG]\n"
                           "Langue=Second section\n"
                           "[ PV ]\n"
                           "PADX=7\n"
                           "[LNG] trailing text\n"
                           "LNG1=x\n"
                           "[broken\n"
                           "LNG2=y\n");
    EXPECT_EQ(read(file, u"Config", u"Langue"),
              u"DEF"); // before any section; later [CONFIG] unread
    EXPECT_EQ(read(file, u"Config", u";Langue"), u"Commented");
    EXPECT_EQ(read(file, u"Config", u"PVStyle"), u"DEF");
    EXPECT_EQ(read(file, u"Config", u"PVFontSize"), u"9");
    EXPECT_EQ(read(file, u"Other", u"K"), u"1");
    EXPECT_EQ(read(file, u"PV", u"PADX"), u"DEF"); // the section is " PV "
    EXPECT_EQ(read(file, u" PV ", u"PADX"), u"DEF");
    EXPECT_EQ(read(file, u"LNG", u"LNG1"), u"x");
    EXPECT_EQ(read(file, u"LNG", u"LNG2"), u"y"); // "[broken" is a key line, not a header
}

TEST_F(SupportIni, LineEnds) {
    EXPECT_EQ(read(write("[Config]\r\nLangue=CRLF\r\n"), u"Config", u"Langue"), u"CRLF");
    EXPECT_EQ(read(write("[Config]\nLangue=LF"), u"Config", u"Langue"), u"LF");
    EXPECT_EQ(read(write("[Config]\r\r\nLangue=CRCR \r\r\n"), u"Config", u"Langue"), u"CRCR");
    // CR alone ends no line: the file is one line, a header whose rest is ignored.
    EXPECT_EQ(read(write("[Config]\rLangue=CR\r"), u"Config", u"Langue"), u"DEF");
    EXPECT_EQ(read(write("[Config]\nLangue=a\rb\n"), u"Config", u"Langue"), u"a\rb");
}

TEST_F(SupportIni, DecodesWindows1252AndHandsNamesOverInAnsi) {
    const Str file = write("[Config]\nLangue=Fran\xE7"
                           "ais\nEuro=\x80 \x96\nCl\xE9=ok\n");
    EXPECT_EQ(read(file, u"Config", u"Langue"), u"Français");
    EXPECT_EQ(read(file, u"Config", u"Euro"), u"€ –");
    EXPECT_EQ(read(file, u"Config", u"CLÉ"), u"ok"); // accented names compare without case
    const Str q = write("[Config]\nZa?=question\n");
    EXPECT_EQ(read(q, u"Config", u"Zaż"), u"question"); // "ż" reaches the reader as "?"
}

TEST_F(SupportIni, ReadsUtf16FilesWithTheirMark) {
    const std::u16string text = u"[Config]\r\nLangue=Español Ł\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    EXPECT_EQ(read(write(bytes), u"Config", u"Langue"), u"Español ?"); // through the ANSI buffer
}

TEST_F(SupportIni, CutsValuesAt2047CharactersEvenAMegabyteOne) {
    const std::string v3000(3000, 'x');
    EXPECT_EQ(read(write("[PV]\nPADX=" + v3000 + "\n"), u"PV", u"PADX"), Str(2047, u'x'));
    const std::string quoted = "\"" + std::string(2046, 'y') + "\"";
    EXPECT_EQ(read(write("[PV]\nPADX=" + quoted + "\n"), u"PV", u"PADX"), Str(2046, u'y'));
    EXPECT_EQ(read(write("[PV]\nPADX=x\n"), u"PV", u"PADX", Str(3000, u'd')), u"x");
    EXPECT_EQ(read(write("[PV]\n"), u"PV", u"PADX", Str(3000, u'd')), Str(2047, u'd'));

    const std::string big = "[PV]\nPADX=" + std::string(1 << 20, 'z') + "\nPADY1=3\n";
    const Str file = write(big);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(read(file, u"PV", u"PADX"), Str(2047, u'z'));
    EXPECT_EQ(read(file, u"PV", u"PADY1"), u"3");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST_F(SupportIni, NulCharactersEndNamesAndValues) {
    const Str file = write(std::string("[Config]\nLangue=Eng\0lish\nPV\0Style=2\n", 36));
    EXPECT_EQ(read(file, u"Config", u"Langue"), u"Eng");
    EXPECT_EQ(read(file, u"Config", u"PV"), u"2");
}

TEST_F(SupportIni, SurvivesRandomBytesAndFolders) {
    std::mt19937 rng(20260304);
    for (int round = 0; round < 20; ++round) {
        std::string bytes(round == 0 ? (1 << 20) : 4096 + round * 517, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        if (round % 2)
            bytes = "[Config]\n" + bytes;
        const Str file = write(bytes);
        const Str v = read(file, u"Config", u"Langue");
        EXPECT_LE(v.size(), 2047u);
    }
    fs::remove(dir_ / "ORClient.ini");
    fs::create_directory(dir_ / "ORClient.ini");
    EXPECT_EQ(read(fromUtf8((dir_ / "ORClient.ini").string()), u"Config", u"Langue"), u"DEF");
}

} // namespace
} // namespace dalmure
