// The message catalogue on the two real Access fixtures, damaged copies of them and files that
// are no database at all, and the reader's cache shared by the process.
#include "platform/ids.h"
#include "platform/mdb/mdb_catalogue.h"
#include "settings/catalogue.h"
#include "support/errors.h"
#include "support/log.h"
#include "support_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure {
namespace {

namespace fs = std::filesystem;

using test::slurp;

const fs::path kFixtures = DALMURE_TEST_FIXTURES;

class SupportCatalogue : public test::SupportTest {
  protected:
    void SetUp() override {
        SupportTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        log_ = std::make_unique<Log>(fromUtf8(app_.string()), clock_, pointerBack());
        cat_ = std::make_unique<Catalogue>(db_, screen_, *log_, fromUtf8(app_.string()));
    }
    // Puts bytes in place as the catalogue under `name`, replacing any earlier one (a new
    // inode, as a copy over the file would give).
    void install(const std::string& bytes, const std::string& name = "ORLngClient.MDB") {
        for (const auto& e : fs::directory_iterator(app_))
            if (e.path().filename() != "Log")
                fs::remove_all(e.path());
        const fs::path tmp = app_ / ".incoming";
        std::ofstream(tmp, std::ios::binary) << bytes;
        fs::rename(tmp, app_ / name);
    }
    void installFixture(const char* fixture) { install(slurp(kFixtures / fixture)); }
    Str look(const Str& id, const Str& column, const Str& def = u"DEFAULT") {
        return cat_->ChargeLangue(id, def, column);
    }
    std::string logText() const { return slurp(app_ / "Log" / "2026-03" / "Dalmure.Log"); }
    long logLines() const {
        const std::string t = logText();
        return std::count(t.begin(), t.end(), '\n');
    }

    platform::MdbCatalogueDatabase db_;
    std::unique_ptr<Log> log_;
    std::unique_ptr<Catalogue> cat_;
};

TEST_F(SupportCatalogue, NoCatalogueGivesTheDefaultSilently) {
    EXPECT_EQ(look(u"MSG304", u"Anglais", u"Supprimer l'annotation"), u"Supprimer l'annotation");
    EXPECT_EQ(screen_.history,
              (std::vector<int>{platform::kPointerBusy, platform::kPointerDefault}));
    fs::create_directory(app_ / "ORLngClient.MDB"); // a folder is not a normal file
    EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
    EXPECT_FALSE(fs::exists(app_ / "Log"));
    EXPECT_EQ(db_.readCount(), 0);
}

struct Lookup {
    const char* fixture;
    Str id, column, expected;
};

// Every row found or missing without a log line, and one read of each file for all of them.
TEST_F(SupportCatalogue, LookupsOnTheShippedAndTheEdgeCaseFixtures) {
    const Lookup rows[] = {
        {"ORLngClient.MDB", u"MSG304", u"Francais", u"Supprimer l'annotation sélectionnée"},
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
    std::string installed;
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.id + u"/" + row.column));
        if (installed != row.fixture) {
            installed = row.fixture;
            install(slurp(kFixtures / installed), installed == "ORLngClient.MDB"
                                                      ? "orlngclient.mdb" // any case of its name
                                                      : "ORLngClient.MDB");
        }
        EXPECT_EQ(look(row.id, row.column), row.expected);
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
    }
    EXPECT_EQ(db_.readCount(), 2);
    const Str memo = look(u"MSG900", u"Espagnol"); // 5000 characters over several pages
    ASSERT_EQ(memo.size(), 5000u);
    for (int n = 1; n <= 100; ++n) {
        const Str number = decimal(1000 + n).substr(1);
        EXPECT_EQ(memo.substr(static_cast<std::size_t>(n - 1) * 50, 50),
                  u"[" + number + u"] Frase de un texto largo de prueba con ñandú.");
    }
    EXPECT_FALSE(fs::exists(app_ / "Log"));
}

TEST_F(SupportCatalogue, ApostropheIdsAreQueryTextAsJetReadsIt) {
    installFixture("edge-cases.mdb");
    // The id goes into the query unescaped: "MSG'1" breaks the string literal...
    EXPECT_EQ(look(u"MSG'1", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(logText(), "\"2026-03-04 14:05:09.37 : -2147217900 : Syntax error in string in query "
                         "expression 'UCASE(msgid) = 'MSG'1''. : errDalmure_ChargeLangue\"\r\n");
    // ... while a doubled quote is Jet's escape for one and finds the row.
    EXPECT_EQ(look(u"msg''1", u"Anglais"), u"quoted");
    EXPECT_EQ(look(u"MSG'1' OR '1", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(logLines(), 2);
}

TEST_F(SupportCatalogue, MissingColumnLogsOnlyWhenARowIsFound) {
    installFixture("ORLngClient.MDB");
    screen_.pointer = 42;
    EXPECT_EQ(look(u"MSG304", u"Deutsch"), u"DEFAULT");
    EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
    EXPECT_EQ(look(u"MSG374", u"Deutsch"), u"DEFAULT");
    EXPECT_EQ(logText(), "\"2026-03-04 14:05:09.37 : 3265 : Item cannot be found in the collection "
                         "corresponding to the requested name or ordinal. : "
                         "errDalmure_ChargeLangue\"\r\n");
}

TEST_F(SupportCatalogue, MissingTablesAndFilesThatAreNoDatabaseLogOneLineEach) {
    std::string renamed = slurp(kFixtures / "ORLngClient.MDB");
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
        EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
        EXPECT_EQ(logText(),
                  "\"2026-03-04 14:05:09.37" + message + " : errDalmure_ChargeLangue\"\r\n");
    }
}

TEST_F(SupportCatalogue, ACatalogueRewrittenInPlaceIsSeenByTheNextLookup) {
    installFixture("edge-cases.mdb");
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

// Damaged copies, truncated or with random bytes flipped: every lookup ends with a text, the
// default pointer and at most one log line; nothing crashes, hangs or writes to stderr.
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

// The reader's cache is shared by the process: a reader created later answers from the tables an
// earlier one read, and still sees a file replaced on disk.
Str lookUp(platform::MdbCatalogueDatabase& db, const std::string& file, const Str& id) {
    auto records = db.open(file)->selectWhereUpperEquals(u"langues", u"msgid", id);
    records->moveFirst();
    return records->eof() ? u"" : records->field(u"Anglais").value_or(u"(null)");
}

TEST(MdbCatalogueCache, LaterReadersShareTheTablesUntilTheFileIsReplaced) {
    std::string templ = (fs::temp_directory_path() / "dalmure-catcache-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    const fs::path dir = templ;
    const std::string file = (dir / "ORLngClient.MDB").string();
    auto install = [&](const char* fixture) { // a new inode, as a copy over the file gives
        std::ofstream(dir / "incoming", std::ios::binary) << slurp(kFixtures / fixture);
        fs::rename(dir / "incoming", file);
    };

    install("edge-cases.mdb");
    {
        platform::MdbCatalogueDatabase first;
        EXPECT_EQ(lookUp(first, file, u"MSG371"), u"Delete-first");
        EXPECT_EQ(first.readCount(), 1);
    }
    platform::MdbCatalogueDatabase second; // the first one is gone; its read is not
    EXPECT_EQ(lookUp(second, file, u"MSG371"), u"Delete-first");
    EXPECT_EQ(second.readCount(), 0);

    // A reader with its own cache reads the file itself.
    platform::MdbCatalogueDatabase own(platform::MdbCatalogueDatabase::Cache::Own);
    EXPECT_EQ(lookUp(own, file, u"MSG371"), u"Delete-first");
    EXPECT_EQ(own.readCount(), 1);

    // Replaced on disk: the next lookup of any shared reader reads it again, once.
    install("ORLngClient.MDB");
    platform::MdbCatalogueDatabase third;
    EXPECT_EQ(lookUp(second, file, u"MSG373"), u"View the minutes");
    EXPECT_EQ(lookUp(third, file, u"MSG373"), u"View the minutes");
    EXPECT_EQ(second.readCount() + third.readCount(), 1);

    // A file that is no database is remembered as such for every reader too.
    std::ofstream(dir / "incoming", std::ios::binary) << std::string(8192, '\0');
    fs::rename(dir / "incoming", file);
    EXPECT_THROW(third.open(file), ControlError);
    EXPECT_THROW(second.open(file), ControlError);
    EXPECT_EQ(second.readCount() + third.readCount(), 2);
    fs::remove_all(dir);
}

} // namespace
} // namespace dalmure
