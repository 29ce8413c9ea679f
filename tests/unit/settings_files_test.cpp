// The message catalogue (Access fixtures, damaged copies, no database, the shared cache) and the
// client INI file (the private-profile reader's rules, read again on each change).
#include "platform/mdb/mdb_catalogue.h"
#include "settings/catalogue.h"
#include "support/errors.h"
#include "support/ini_reader.h"
#include "support_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>

namespace dalmure {
namespace {

namespace fs = std::filesystem;

using test::slurp;

const fs::path kFixtures = DALMURE_TEST_FIXTURES;

class SupportCatalogue : public test::SupportTest {
  protected:
    // The catalogue (under `name`) as a copy over the file gives it: a new inode.
    void install(const std::string& bytes, const std::string& name = "ORLngClient.MDB") {
        for (const auto& e : fs::directory_iterator(app_))
            if (e.path().filename() != "Log")
                fs::remove_all(e.path());
        const fs::path tmp = app_ / ".incoming";
        std::ofstream(tmp, std::ios::binary) << bytes;
        fs::rename(tmp, app_ / name);
    }
    Str look(const Str& id, const Str& column, const Str& def = u"DEFAULT") {
        return cat_.ChargeLangue(id, def, column);
    }
    std::string logText() const { return slurp(app_ / "Log" / "2026-03" / "Dalmure.Log"); }
    long logLines() const { return std::ranges::count(logText(), '\n'); }

    platform::MdbCatalogueDatabase db_;
    Log log_{fromUtf8(app_.string()), clock_, pointerBack()};
    Catalogue cat_{db_, screen_, log_, fromUtf8(app_.string())};
};

// Every row (fixture, id, column, value) found or missing without a log line; one read a file.
TEST_F(SupportCatalogue, LookupsOnTheShippedAndTheEdgeCaseFixtures) {
    const std::tuple<std::string, Str, Str, Str> rows[] = {
        {"ORLngClient.MDB", u"MSG447", u"Espagnol",
         u"Configuración de la introducción de anotaciones"},
        {"ORLngClient.MDB", u"MSG376", u"Espagnol", // the memo held on a long-value page
         u"La descripción de la anotación no debe superar los 50 caracteres.  Por lo tanto, se "
         u"ha truncado."},
        {"ORLngClient.MDB", u"msg373", u"anglais", u"View the minutes"}, // lower-case id, column
        {"ORLngClient.MDB", u"MSG374", u"Anglais", u"DEFAULT"},          // absent
        {"ORLngClient.MDB", u"MSG0304", u"Anglais", u"DEFAULT"},
        {"ORLngClient.MDB", u"", u"Anglais", u"DEFAULT"},
        {"edge-cases.mdb", u"MSG306", u"Anglais", u"ErrLang"}, // NULL
        {"edge-cases.mdb", u"MSG306", u"Francais", u"Jouer à l'annotation sélectionnée"},
        {"edge-cases.mdb", u"MSG308", u"Anglais", u""},                 // "" stays empty
        {"edge-cases.mdb", u"MSG370", u"Anglais", u"Rename"},           // stored as msg370
        {"edge-cases.mdb", u"MSG371", u"Anglais", u"Delete-first"},     // first of two rows
        {"edge-cases.mdb", u"MSG372", u"Anglais", u"Print the list  "}, // trailing blanks kept
        {"edge-cases.mdb", u"MSG900", u"Anglais", u"Zażółć gęślą jaźń – €"},
    };
    fs::create_directory(app_ / "ORLngClient.MDB"); // a folder is no catalogue: not even read
    EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
    std::string installed;
    for (const auto& [fixture, id, column, expected] : rows) {
        SCOPED_TRACE(toUtf8(id + u"/" + column));
        if (installed != fixture) {
            installed = fixture;
            install(slurp(kFixtures / installed), installed == "ORLngClient.MDB"
                                                      ? "orlngclient.mdb" // any case of its name
                                                      : "ORLngClient.MDB");
        }
        EXPECT_EQ(look(id, column), expected);
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
    }
    EXPECT_EQ(db_.readCount(), 2);
    Str memo; // 5000 characters over several pages
    for (int n = 1001; n <= 1100; ++n)
        memo += u"[" + decimal(n).substr(1) + u"] Frase de un texto largo de prueba con ñandú.";
    EXPECT_EQ(look(u"MSG900", u"Espagnol"), memo);
    EXPECT_FALSE(fs::exists(app_ / "Log"));
}

TEST_F(SupportCatalogue, ApostropheIdsAreQueryTextAsJetReadsIt) {
    install(slurp(kFixtures / "edge-cases.mdb"));
    // The id goes into the query unescaped: "MSG'1" breaks the string literal...
    EXPECT_EQ(look(u"MSG'1", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(logText(), "\"2026-03-04 14:05:09.37 : -2147217900 : Syntax error in string in query "
                         "expression 'UCASE(msgid) = 'MSG'1''. : errDalmure_ChargeLangue\"\r\n");
    // ... while a doubled quote is Jet's escape for one and finds the row.
    EXPECT_EQ(look(u"msg''1", u"Anglais"), u"quoted");
    EXPECT_EQ(look(u"MSG'1' OR '1", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(logLines(), 2);
}

TEST_F(SupportCatalogue, MissingColumnsTablesAndFilesThatAreNoDatabaseLogOneLineEach) {
    const std::string shipped = slurp(kFixtures / "ORLngClient.MDB");
    std::string renamed = shipped;
    const auto at = renamed.find(std::string("l\0a\0n\0g\0u\0e\0s\0", 14));
    ASSERT_NE(at, std::string::npos);
    renamed[at + 12] = 'x'; // the table "languex"
    std::mt19937 rng(7);
    std::string random(126976, '\0');
    for (auto& b : random)
        b = static_cast<char>(rng());
    const std::string unrecognized = " : -2147467259 : Unrecognized database format '" +
                                     (app_ / "ORLngClient.MDB").string() + "'.";
    const std::pair<std::string, std::string> rows[] = {
        {shipped, " : 3265 : Item cannot be found in the collection corresponding to the requested "
                  "name or ordinal."},
        {renamed, " : -2147217865 : The Microsoft Jet database engine cannot find the input table "
                  "or query 'langues'.  Make sure it exists and that its name is spelled "
                  "correctly."},
        {"", unrecognized},
        {"not a database\r\n", unrecognized},
        {random, unrecognized},
        {renamed.substr(0, 4096), unrecognized},
        {std::string(8192, '\0'), unrecognized}};
    for (const auto& [bytes, message] : rows) {
        SCOPED_TRACE(message);
        install(bytes);
        fs::remove_all(app_ / "Log");
        screen_.pointer = 42;
        const bool missingColumn = bytes == shipped;
        EXPECT_EQ(look(u"MSG304", missingColumn ? u"Deutsch" : u"Anglais"), u"DEFAULT");
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
        if (missingColumn) { // no row found: the missing column goes unnoticed
            EXPECT_EQ(look(u"MSG374", u"Deutsch"), u"DEFAULT");
        }
        EXPECT_EQ(logText(),
                  "\"2026-03-04 14:05:09.37" + message + " : errDalmure_ChargeLangue\"\r\n");
    }
}

TEST_F(SupportCatalogue, ACatalogueRewrittenInPlaceIsSeenByTheNextLookup) {
    install(slurp(kFixtures / "edge-cases.mdb"));
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"Delete-first");
    // The same size: the new modification time alone must tell.
    const fs::path file = app_ / "ORLngClient.MDB";
    std::string bytes = slurp(kFixtures / "edge-cases.mdb");
    const auto at = bytes.find("Delete-first"); // stored in the one-byte compressed form
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'd';
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << bytes;
    timespec times[2] = {{0, UTIME_OMIT}, {1, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"delete-first");
    EXPECT_EQ(db_.readCount(), 2);
}

// Damaged copies: each lookup ends with the default pointer and at most one log line, silently.
TEST_F(SupportCatalogue, DamagedCopies) {
    db_.setReadTimeout(3000);
    auto check = [&](const std::string& bytes, const std::string& what) {
        install(bytes);
        fs::remove_all(app_ / "Log");
        (void)look(u"MSG376", u"Espagnol");
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault) << what;
        EXPECT_LE(fs::exists(app_ / "Log") ? logLines() : 0, 1) << what;
    };
    std::mt19937 rng(20260304);
    ::testing::internal::CaptureStderr();
    for (const char* fixture : {"ORLngClient.MDB", "edge-cases.mdb"}) {
        const std::string full = slurp(kFixtures / fixture);
        std::vector<std::size_t> cuts = {20, 2047, 4097, 12289, full.size() - 1};
        for (std::size_t c = 8192; c < full.size(); c += 4096)
            cuts.push_back(c);
        for (std::size_t cut : cuts)
            check(full.substr(0, cut), std::string(fixture) + " cut " + std::to_string(cut));
        for (int round = 0; round < test::randomSteps(30); ++round) {
            std::string bytes = full;
            const int flips = 1 + static_cast<int>(rng() % 40);
            for (int f = 0; f < flips; ++f) {
                // Half the flips land in the pages libmdb starts from (header, catalogue).
                const std::size_t at = (f % 2 ? rng() % 16384 : rng() % bytes.size());
                bytes[at] = static_cast<char>(bytes[at] ^ (1 + rng() % 255));
            }
            check(bytes, std::string(fixture) + " round " + std::to_string(round));
        }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(SupportCatalogue, LaterReadersShareTheTablesUntilTheFileIsReplaced) {
    const std::string file = (app_ / "ORLngClient.MDB").string();
    // What a reader finds, and how often it has read the file so far.
    const auto lookUp = [&](platform::MdbCatalogueDatabase& db, const Str& id) {
        auto records = db.open(file)->selectWhereUpperEquals(u"langues", u"msgid", id);
        records->moveFirst();
        const Str found = records->eof() ? u"" : records->field(u"Anglais").value_or(u"(null)");
        return toUtf8(found) + ", read " + std::to_string(db.readCount());
    };
    install(slurp(kFixtures / "edge-cases.mdb"));
    {
        platform::MdbCatalogueDatabase first;
        EXPECT_EQ(lookUp(first, u"MSG371"), "Delete-first, read 1");
    }
    platform::MdbCatalogueDatabase second; // the first one is gone; its read is not
    EXPECT_EQ(lookUp(second, u"MSG371"), "Delete-first, read 0");
    platform::MdbCatalogueDatabase own(platform::MdbCatalogueDatabase::Cache::Own);
    EXPECT_EQ(lookUp(own, u"MSG371"), "Delete-first, read 1");

    // Replaced on disk: the next lookup of any shared reader reads it again, once.
    install(slurp(kFixtures / "ORLngClient.MDB"));
    platform::MdbCatalogueDatabase third;
    EXPECT_EQ(lookUp(second, u"MSG373"), "View the minutes, read 1");
    EXPECT_EQ(lookUp(third, u"MSG373"), "View the minutes, read 0");
    // A file that is no database is remembered as such for every reader too.
    install(std::string(8192, '\0'));
    EXPECT_THROW(third.open(file), ControlError);
    EXPECT_THROW(second.open(file), ControlError);
    EXPECT_EQ(second.readCount() + third.readCount(), 2);
}

using namespace std::string_literals;

class SupportIni : public test::SupportTest {
  protected:
    // Writes the bytes as the file `name` and returns the path the control would form.
    Str write(const std::string& bytes, const std::string& name = "ORClient.ini") {
        std::ofstream(app_ / name, std::ios::binary | std::ios::trunc) << bytes;
        return fromUtf8((app_ / "ORClient.INI").string());
    }
    Str read(const Str& file, const Str& section, const Str& key, const Str& def = u"DEF") {
        return ReadIni(section, key, def, file);
    }

    // A file's bytes, what is read, and what is asked where that is not Config/A, default "DEF".
    struct Rule {
        const char* rule;
        std::string file;
        Str expected;
        Str section = u"Config", key = u"A", def = u"DEF";
    };
    void expectRules(std::initializer_list<Rule> rules) {
        for (const Rule& r : rules) {
            SCOPED_TRACE(r.rule);
            EXPECT_EQ(read(write(r.file), r.section, r.key, r.def), r.expected);
        }
    }
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

// One file read for rows of section, key, default and the value read.
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
                           "A=\"quoted\"\r\nB='single'\r\nC=\"mixed'\r\nD=\"\r\nE=\"\"\r\n"
                           "F=\"a\"b\"\r\nH=x\"y\"\r\n"
                           "Cl\xE9=\x80 \x96 Fran\xE7"
                           "ais\r\n"
                           "Za?=question\r\n"
                           "Nul=Eng\0lish\r\nPV\0Style=2\r\n"
                           "[CONFIG]\r\nSecond=1\r\n"
                           "[ PV ]\r\nPADX=7\r\n"
                           "[LNG] trailing text\r\nLNG1=x\r\n[broken\r\nLNG2=y\r\n"s,
                           "orclient.ini");
    const std::tuple<Str, Str, Str, Str> rows[] = {
        {u"Config", u"Langue", u"Français", u"Français"},
        {u"CONFIG", u"pvfontsize", u"", u"9"}, // names without case, the first duplicate
        {u"Config", u";Commented", u"", u"1"}, // ";" starts no comment
        {u"Config", u"PVStyle", u"DEF", u"DEF"},
        {u" Config ", u"  PADX  ", u"", u"12"}, // names and values trimmed
        {u"Config", u"A", u"", u"quoted"},
        {u"Config", u"B", u"", u"single"},
        {u"Config", u"C", u"", u"\"mixed'"},
        {u"Config", u"D", u"", u"\""},
        {u"Config", u"E", u"x", u""},
        {u"Config", u"F", u"", u"a\"b"},
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
    for (const auto& [section, key, def, expected] : rows)
        EXPECT_EQ(read(file, section, key, def), expected) << toUtf8(section + u"/" + key);
}

// The points where a simpler reader goes wrong, a family at a time.
TEST_F(SupportIni, EdgesWhereASimplerReaderGoesWrong) {
    const std::string y2046(2046, 'y'), y2047(2047, 'y'), y2048(2048, 'y'), mega(1 << 20, 'z');
    expectRules({
        {"blanks inside the brackets", "[ Config ]\nA=1\n", u"1"},
        {"tabs inside the brackets", "[\tConfig \t]\nA=1\n", u"1", u" CONFIG"},
        {"blanks inside the brackets are no name", "[  ]\nA=2\n", u"2", u""},
        {"a NUL ends the name after the trim", "[ab \0]\nA=3\n"s, u"DEF", u"ab"},
        {"text after the last bracket", "[Con]fig] x\nA=4\n", u"4", u"Con]fig"},
        {"CR alone ends a line", "[Config]\rA=1\rB=2\r", u"2", u"Config", u"B"},
        {"CR inside a value ends it", "[Config]\nA=x\ry\n", u"x"},
        {"what follows the CR is a key", "[Config]\nA=x\ry\n", u"DEF", u"Config", u"y"},
        {"runs of line ends", "\r\r\n\n[Config]\r\n\r\rA=5\n\r", u"5"},
        // Key names that are empty or blank count only in their section.
        {"an empty key name", "[Config]\nA=1\n=empty\n= second\n", u"empty", u"Config", u"", u"D"},
        {"a key name of blanks", "[Config]\n  =  spaced \n", u"spaced", u"Config", u"  ", u"D"},
        {"no key with an empty name", "[Config]\nA=1\n", u"DEF", u"Config", u""},
        {"an empty name in another section", "[X]\n=x\n[Config]\nA=1\n", u"D", u"Config", u"",
         u"D"},
        {"before the first section", "=x\n[Config]\n", u"D", u"Config", u"", u"D"},
        {"a default of spaces only", "[Config]\n", u" ", u"Config", u"A", u"   "},
        {"a default of one space", "", u" ", u"Config", u"A", u" "},
        {"a default with inner blanks", "", u"  a b", u"Config", u"A", u"  a b  "},
        {"only spaces are dropped", "", u"a\t", u"Config", u"A", u"a\t "},
        {"a quoted default", "", u"q ", u"Config", u"A", u"\"q \""},
        // Values of 2047 characters and more: the cut comes before the quotes are taken off.
        {"2046 between quotes", "[PV]\nA=\"" + y2046 + "\"\n", Str(2046, u'y'), u"PV"},
        {"2047 between quotes", "[PV]\nA=\"" + y2047 + "\"\n", Str(2046, u'y'), u"PV"},
        {"2048 between quotes", "[PV]\nA='" + y2048 + "'\n", Str(2047, u'y'), u"PV"},
        {"2047 unquoted", "[PV]\nA=" + y2047 + "\n", Str(2047, u'y'), u"PV"},
        {"a quoted default of 2047", "", Str(2046, u'd'), u"PV", u"A",
         u"'" + Str(2047, u'd') + u"'"},
        {"a default of 3000", "[PV]\n", Str(2047, u'd'), u"PV", u"A", Str(3000, u'd')},
        {"a megabyte value", "[PV]\nA=" + mega + "\nB=3\n", Str(2047, u'z'), u"PV"},
        {"the key after it", "[PV]\nA=" + mega + "\nB=3\n", u"3", u"PV", u"B"},
        // UTF-16 needs its byte-order mark; a UTF-8 signature is read as text.
        {"UTF-16 LE, CR LF", utf16(u"[Config]\r\nA=Español Ł\r\n"), u"Español L"},
        {"UTF-16 LE, CR only", utf16(u"[ Config ]\rA=1\rB=2\r"), u"2", u"Config", u"B"},
        {"UTF-16 BE", utf16(u"[Config]\r\nA=Ç€\r\n", true), u"Ç€"},
        {"UTF-16, an odd last byte", utf16(u"[Config]\nA=ab") + "\x01", u"ab"},
        {"UTF-16, the mark only", "\xFF\xFE", u"DEF"},
        {"UTF-16 without its mark", utf16(u"[Config]\nA=1\n").substr(2), u"DEF"},
        {"UTF-8 signature spoils the first header", "\xEF\xBB\xBF[Config]\nA=1\n", u"DEF"},
        {"UTF-8 signature on a line of its own", "\xEF\xBB\xBF\n[Config]\nA=1\n", u"1"},
        // What 1252 cannot hold of a UTF-16 file comes back as Windows' best-fit letters.
        {"Latin Extended-A", utf16(u"[Config]\nA=été Ā ā Đ đ ı Ő ŧ Ž œ\n"),
         u"été A a Ð d i O t Ž œ"},
        {"Latin Extended-B", utf16(u"[Config]\nA=ƀǍǎǗǰ\n"), u"bAaUj"},
        {"no fit at all", utf16(u"[Config]\nA=Ĳŋ ж 中 😀\n"), u"?? ? ? ?"},
        {"fullwidth and symbols", utf16(u"[Config]\nA=ＡＺ０ ∞ – ™\n"), u"AZ0 8 – ™"},
    });
}

// Windows strips a default's quotes only once the file was opened: not for a missing file.
TEST_F(SupportIni, QuotedDefaultsKeepTheirQuotesWhenTheFileCannotBeOpened) {
    for (const fs::path& path : {app_ / "ORClient.INI", app_}) {
        const Str file = fromUtf8(path.string());
        EXPECT_EQ(std::tuple(read(file, u"Config", u"A", u"'quoted'"),
                             read(file, u"Config", u"A", u"\"dq\"  "),
                             read(file, u"Config", u"A", u"'" + Str(2100, u'd') + u"'")),
                  std::tuple(u"'quoted'", u"\"dq\"", u"'" + Str(2046, u'd')))
            << path;
    }
    EXPECT_EQ(read(write("[Config]\n"), u"Config", u"A", u"'quoted'"), u"quoted");
}

TEST_F(SupportIni, ChangedFileIsReadAgain) {
    using namespace std::chrono_literals;
    const fs::path ini = app_ / "ORClient.ini";
    const Str file = fromUtf8(ini.string());
    const auto a = [&] { return read(file, u"PV", u"A"); };
    // Writes A in place, or in a new file (another inode) renamed over it; reads A back.
    const auto put = [&](const std::string& value, std::optional<fs::file_time_type> stamp = {},
                         const std::string& name = "ORClient.ini") {
        write("[PV]\nA=" + value + "\n", name);
        if (stamp)
            fs::last_write_time(app_ / name, *stamp);
        fs::rename(app_ / name, ini);
        return a();
    };
    // Rewritten at once with the same size and, as a coarse clock would give it, the same time
    // stamp: the young file is compared by content.
    EXPECT_EQ(put("1"), u"1");
    EXPECT_EQ(put("0", fs::last_write_time(ini)), u"0");
    EXPECT_EQ(put("10"), u"10"); // another size
    // An old file is known by its time stamp and its inode.
    const auto old = fs::file_time_type::clock::now() - 1h;
    EXPECT_EQ(put("11", old), u"11");
    EXPECT_EQ(a(), u"11");
    EXPECT_EQ(put("12", old + 1s), u"12");
    EXPECT_EQ(put("13", old + 1s, "new.ini"), u"13");

    fs::remove(ini);
    EXPECT_EQ(a(), u"DEF");
    write("[PV]\nA=4\n");
    EXPECT_EQ(a(), u"4");
    fs::remove(ini);
    fs::create_directory(ini);
    EXPECT_EQ(a(), u"DEF");

    // More files than are kept at once, read in turn, each give their own values.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 12; ++i) {
            const std::string name = "f" + std::to_string(i) + ".ini";
            if (round == 0)
                write("[A]\nB=" + std::to_string(i) + "\n", name);
            EXPECT_EQ(ReadIni(u"A", u"B", u"", fromUtf8((app_ / name).string())), decimal(i));
        }
}

TEST_F(SupportIni, SurvivesRandomBytes) {
    std::mt19937 rng(20260304);
    for (int round = 0; round < 6; ++round) {
        std::string bytes(round == 0 ? (1 << 20) : 4096 + round * 517, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        EXPECT_LE(
            read(write(round % 2 ? "[Config]\n" + bytes : bytes), u"Config", u"Langue").size(),
            2047u);
    }
}

} // namespace
} // namespace dalmure
