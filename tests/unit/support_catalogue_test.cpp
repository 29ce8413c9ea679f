// The message catalogue on the two real Access fixtures, damaged copies of them and files that
// are no database at all.
#include "platform/ids.h"
#include "platform/mdb/mdb_catalogue.h"
#include "support/catalogue.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <chrono>
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

class FixedClock : public platform::Clock {
  public:
    platform::LocalTime now() const override { return {2026, 3, 4, 14, 5, 9, 37}; }
    double secondsSinceMidnight() const override { return 50709.37; }
};

class RecordingScreen : public platform::Screen {
  public:
    int pointer = 99;
    std::vector<int> history;
    void setMousePointer(int p) override {
        pointer = p;
        history.push_back(p);
    }
    int mousePointer() const override { return pointer; }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const fs::path kFixtures = DALMURE_TEST_FIXTURES;

class SupportCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "dalmure-cat-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        app_ = templ;
        log_ = std::make_unique<Log>(fromUtf8(app_.string()), clock_, screen_);
        cat_ = std::make_unique<Catalogue>(db_, screen_, *log_, fromUtf8(app_.string()));
    }
    void TearDown() override { fs::remove_all(app_); }

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
    void installFixture(const char* fixture, const std::string& name = "ORLngClient.MDB") {
        install(slurp(kFixtures / fixture), name);
    }
    Str look(const Str& id, const Str& column, const Str& def = u"DEFAULT") {
        return cat_->ChargeLangue(id, def, column);
    }
    std::string logText() const { return slurp(app_ / "Log" / "2026-03" / "Dalmure.Log"); }
    int logLines() const {
        const std::string t = logText();
        int n = 0;
        for (std::size_t p = t.find("\r\n"); p != std::string::npos; p = t.find("\r\n", p + 2))
            ++n;
        return n;
    }

    fs::path app_;
    FixedClock clock_;
    RecordingScreen screen_;
    platform::MdbCatalogueDatabase db_;
    std::unique_ptr<Log> log_;
    std::unique_ptr<Catalogue> cat_;
};

TEST_F(SupportCatalogue, NoCatalogueGivesTheDefaultSilently) {
    EXPECT_EQ(look(u"MSG304", u"Anglais", u"Supprimer l'annotation sélectionnée"),
              u"Supprimer l'annotation sélectionnée");
    EXPECT_EQ(screen_.history,
              (std::vector<int>{platform::kPointerBusy, platform::kPointerDefault}));
    fs::create_directory(app_ / "ORLngClient.MDB"); // a folder is not a normal file
    EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
    EXPECT_FALSE(fs::exists(app_ / "Log"));
    EXPECT_EQ(db_.readCount(), 0);
}

TEST_F(SupportCatalogue, ReadsTheShippedCatalogueUnderAnyCaseOfItsName) {
    installFixture("ORLngClient.MDB", "orlngclient.mdb");
    EXPECT_EQ(look(u"MSG304", u"Anglais"), u"Delete the selected annotation");
    EXPECT_EQ(look(u"MSG304", u"Francais"), u"Supprimer l'annotation sélectionnée");
    EXPECT_EQ(look(u"MSG447", u"Espagnol"), u"Configuración de la introducción de anotaciones");
    EXPECT_EQ(look(u"MSG376", u"Anglais"),
              u"The annotation description must not exceed 50 characters.  It has therefore been "
              u"truncated.");
    EXPECT_EQ(
        look(u"MSG376", u"Espagnol"), // the memo held on a long-value page
        u"La descripción de la anotación no debe superar los 50 caracteres.  Por lo tanto, se "
        u"ha truncado.");
    EXPECT_EQ(look(u"MSG375", u"Francais"),
              u"Entrez une description pour l'annotation à ajouter :");
    EXPECT_EQ(look(u"msg373", u"anglais"), u"View the minutes"); // id and column in lower case
    EXPECT_EQ(look(u"MSG374", u"Anglais"), u"DEFAULT");          // absent: no log line
    EXPECT_EQ(look(u"MSG0304", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(look(u"", u"Anglais"), u"DEFAULT");
    EXPECT_FALSE(fs::exists(app_ / "Log"));
    EXPECT_EQ(db_.readCount(), 1); // one read of the file for all those lookups
    EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
}

TEST_F(SupportCatalogue, EdgeRowsFollowTheLookupRule) {
    installFixture("edge-cases.mdb");
    EXPECT_EQ(look(u"MSG306", u"Anglais"), u"ErrLang"); // NULL
    EXPECT_EQ(look(u"MSG306", u"Francais"), u"Jouer à l'annotation sélectionnée");
    EXPECT_EQ(look(u"MSG308", u"Anglais"), u"");                 // empty string stays empty
    EXPECT_EQ(look(u"MSG370", u"Anglais"), u"Rename");           // stored as msg370
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"Delete-first");     // first of two rows
    EXPECT_EQ(look(u"MSG372", u"Anglais"), u"Print the list  "); // trailing blanks kept
    EXPECT_EQ(look(u"MSG900", u"Anglais"), u"Zażółć gęślą jaźń – €");
    const Str memo = look(u"MSG900", u"Espagnol");
    ASSERT_EQ(memo.size(), 5000u);
    for (int n = 1; n <= 100; ++n) {
        Str number = decimal(n);
        while (number.size() < 3)
            number.insert(number.begin(), u'0');
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

TEST_F(SupportCatalogue, MissingTableIsLoggedWithJetsMessage) {
    std::string bytes = slurp(kFixtures / "ORLngClient.MDB");
    const std::string from("l\0a\0n\0g\0u\0e\0s\0", 14), to("l\0a\0n\0g\0u\0e\0x\0", 14);
    const auto at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 14, to);
    install(bytes);
    EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
    EXPECT_EQ(logText(),
              "\"2026-03-04 14:05:09.37 : -2147217865 : The Microsoft Jet database engine "
              "cannot find the input table or query 'langues'.  Make sure it exists and "
              "that its name is spelled correctly. : errDalmure_ChargeLangue\"\r\n");
}

TEST_F(SupportCatalogue, FilesThatAreNoDatabaseLogOneLineEach) {
    std::mt19937 rng(7);
    std::string random(126976, '\0');
    for (auto& b : random)
        b = static_cast<char>(rng());
    std::string header = slurp(kFixtures / "ORLngClient.MDB").substr(0, 4096);
    const std::vector<std::string> cases = {"", "not a database\r\n", random, header,
                                            std::string(8192, '\0')};
    int expected = 0;
    for (const auto& bytes : cases) {
        install(bytes);
        EXPECT_EQ(look(u"MSG304", u"Anglais"), u"DEFAULT");
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
        EXPECT_EQ(logLines(), ++expected);
    }
    const std::string path = (app_ / "ORLngClient.MDB").string();
    EXPECT_NE(logText().find(" : -2147467259 : Unrecognized database format '" + path +
                             "'. : errDalmure_ChargeLangue\"\r\n"),
              std::string::npos);
}

TEST_F(SupportCatalogue, ReplacedCatalogueIsSeenByTheNextLookup) {
    installFixture("ORLngClient.MDB");
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"Delete");
    installFixture("edge-cases.mdb");
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"Delete-first");
    EXPECT_EQ(db_.readCount(), 2);

    // Rewritten in place with the same size: the new modification time alone must tell.
    const fs::path file = app_ / "ORLngClient.MDB";
    std::string bytes = slurp(kFixtures / "edge-cases.mdb");
    const auto at = bytes.find("Delete-first"); // stored in the one-byte compressed form
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'd';
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << bytes;
    timespec times[2] = {{0, UTIME_OMIT}, {1, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(look(u"MSG371", u"Anglais"), u"delete-first");
    EXPECT_EQ(db_.readCount(), 3);
}

TEST_F(SupportCatalogue, FourteenStartupLookupsReadTheFileOnce) {
    installFixture("ORLngClient.MDB");
    const Str ids[] = {u"MSG304", u"MSG305", u"MSG306", u"MSG307", u"MSG308", u"MSG369", u"MSG370",
                       u"MSG371", u"MSG372", u"MSG373", u"MSG447", u"MSG447", u"MSG375", u"MSG376"};
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& id : ids)
        EXPECT_NE(look(id, u"Anglais"), u"DEFAULT") << toUtf8(id);
    const auto first = std::chrono::steady_clock::now() - t0;
    const auto t1 = std::chrono::steady_clock::now();
    for (const auto& id : ids)
        look(id, u"Anglais");
    const auto cached = std::chrono::steady_clock::now() - t1;
    EXPECT_EQ(db_.readCount(), 1);
    EXPECT_LT(first, std::chrono::seconds(2));
    EXPECT_LT(cached, std::chrono::milliseconds(200));
}

// Damaged copies: every lookup ends with a text, the default pointer and at most one log line;
// nothing crashes, hangs or writes to stderr.
class SupportCatalogueDamage : public SupportCatalogue {
  protected:
    void check(const std::string& bytes, const std::string& what) {
        install(bytes);
        const int before = fs::exists(app_ / "Log") ? logLines() : 0;
        const Str v = look(u"MSG376", u"Espagnol");
        (void)v;
        EXPECT_EQ(screen_.pointer, platform::kPointerDefault) << what;
        const int after = fs::exists(app_ / "Log") ? logLines() : 0;
        EXPECT_LE(after - before, 1) << what;
    }
};

TEST_F(SupportCatalogueDamage, TruncatedCopies) {
    db_.setReadTimeout(3000);
    ::testing::internal::CaptureStderr();
    for (const char* fixture : {"ORLngClient.MDB", "edge-cases.mdb"}) {
        const std::string full = slurp(kFixtures / fixture);
        std::vector<std::size_t> cuts = {0, 1, 20, 100, 2047, 2048, 4095, 4097, 8192, 12288, 12289};
        for (std::size_t c = 16384; c < full.size(); c += 4096)
            cuts.push_back(c);
        cuts.push_back(full.size() - 1);
        for (std::size_t cut : cuts)
            check(full.substr(0, cut), std::string(fixture) + " cut " + std::to_string(cut));
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(SupportCatalogueDamage, RandomByteFlips) {
    db_.setReadTimeout(3000);
    std::mt19937 rng(20260304);
    ::testing::internal::CaptureStderr();
    for (const char* fixture : {"ORLngClient.MDB", "edge-cases.mdb"}) {
        const std::string full = slurp(kFixtures / fixture);
        for (int round = 0; round < 60; ++round) {
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

} // namespace
} // namespace dalmure
