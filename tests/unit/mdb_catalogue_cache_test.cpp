// The catalogue reader's cache shared by the process: a reader created later answers from the
// tables an earlier one read, and still sees a file replaced on disk.
#include "platform/mdb/mdb_catalogue.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace dalmure {
namespace {

namespace fs = std::filesystem;
using platform::MdbCatalogueDatabase;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Str lookUp(MdbCatalogueDatabase& db, const std::string& file, const Str& id) {
    auto records = db.open(file)->selectWhereUpperEquals(u"langues", u"msgid", id);
    records->moveFirst();
    return records->eof() ? u"" : records->field(u"Anglais").value_or(u"(null)");
}

TEST(MdbCatalogueCache, LaterReadersShareTheTablesUntilTheFileIsReplaced) {
    std::string templ = (fs::temp_directory_path() / "dalmure-catcache-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    const fs::path dir = templ;
    const std::string file = (dir / "ORLngClient.MDB").string();
    const fs::path fixtures = DALMURE_TEST_FIXTURES;
    auto install = [&](const char* fixture) { // a new inode, as a copy over the file gives
        std::ofstream(dir / "incoming", std::ios::binary) << slurp(fixtures / fixture);
        fs::rename(dir / "incoming", file);
    };

    install("edge-cases.mdb");
    {
        MdbCatalogueDatabase first;
        EXPECT_EQ(lookUp(first, file, u"MSG371"), u"Delete-first");
        EXPECT_EQ(first.readCount(), 1);
    }
    MdbCatalogueDatabase second; // the first one is gone; its read is not
    EXPECT_EQ(lookUp(second, file, u"MSG371"), u"Delete-first");
    EXPECT_EQ(second.readCount(), 0);

    // A reader with its own cache reads the file itself.
    MdbCatalogueDatabase own(MdbCatalogueDatabase::Cache::Own);
    EXPECT_EQ(lookUp(own, file, u"MSG371"), u"Delete-first");
    EXPECT_EQ(own.readCount(), 1);

    // Replaced on disk: the next lookup of any shared reader reads it again, once.
    install("ORLngClient.MDB");
    MdbCatalogueDatabase third;
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
