// The catalogue reader on damaged copies of the fixture catalogues. The input chooses a fixture,
// an optional truncation and a list of byte patches; the damaged copy is written as the
// application folder's ORLngClient.MDB and looked up as the control does. Whatever the damage,
// the reader must answer (a text, or a logged error) without crashing, hanging or leaking.
#include "fuzz_support.h"
#include "platform/mdb/mdb_catalogue.h"
#include "settings/catalogue.h"
#include "support/errors.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>

using namespace dalmure;

namespace {

const std::array<std::string, 2>& fixtures() {
    static const std::array<std::string, 2> files{
        fuzz::readFile(std::string(DALMURE_TEST_FIXTURES) + "/ORLngClient.MDB"),
        fuzz::readFile(std::string(DALMURE_TEST_FIXTURES) + "/edge-cases.mdb")};
    if (files[0].empty() || files[1].empty())
        std::abort();
    return files;
}

struct NullScreen : platform::Screen {
    void setMousePointer(int) override {}
    int mousePointer() const override { return 0; }
};

struct FixedClock : platform::Clock {
    platform::LocalTime now() const override { return fuzz::fixedNow(); }
    double secondsSinceMidnight() const override { return 50709.37; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string bytes = fixtures()[in.ConsumeIntegralInRange<int>(0, 1)];
    const int pageSize = 4096;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 1: // cut at a page boundary
        bytes.resize(static_cast<std::size_t>(pageSize) *
                     in.ConsumeIntegralInRange<std::size_t>(0, bytes.size() / pageSize));
        break;
    case 2: // cut anywhere
        bytes.resize(in.ConsumeIntegralInRange<std::size_t>(0, bytes.size()));
        break;
    default:
        break;
    }
    // Patches: a page, an offset in it, a value; pages 0-3 (header, system catalogue) are hit
    // most often by the small page numbers the fuzzer prefers.
    while (in.remaining_bytes() >= 4 && !bytes.empty()) {
        const std::size_t pages = (bytes.size() + pageSize - 1) / pageSize;
        const std::size_t page = in.ConsumeIntegralInRange<std::size_t>(0, pages - 1);
        const std::size_t offset = in.ConsumeIntegralInRange<std::size_t>(0, pageSize - 1);
        const auto value = in.ConsumeIntegral<std::uint8_t>();
        const std::size_t at = page * pageSize + offset;
        if (at < bytes.size())
            bytes[at] = static_cast<char>(value);
    }

    static const std::string folder = fuzz::scratchFolder() + "/cat";
    static const bool made = std::filesystem::create_directories(folder);
    (void)made;
    std::error_code ec;
    std::filesystem::remove_all(folder + "/Log", ec); // keeps the scratch log small
    const std::string file = folder + "/ORLngClient.MDB";
    fuzz::writeFile(file, bytes);

    // A fresh reader each time: its cache must not hide the new damage.
    platform::MdbCatalogueDatabase db(platform::MdbCatalogueDatabase::Cache::Own);
    db.setReadTimeout(2000);
    try {
        auto connection = db.open(file);
        for (const char16_t* id : {u"MSG304", u"MSG999", u"MSG'1"}) {
            try {
                auto records = connection->selectWhereUpperEquals(u"langues", u"msgid", id);
                if (!records->eof()) {
                    records->moveFirst();
                    for (const char16_t* column : {u"msgid", u"Francais", u"Anglais", u"nope"}) {
                        try {
                            (void)records->field(column);
                        } catch (const ControlError&) {
                        }
                    }
                }
            } catch (const ControlError&) {
            }
        }
        connection->close();
    } catch (const ControlError&) {
    }

    // The same damaged file through the control's lookup, which logs what fails.
    NullScreen screen;
    FixedClock clock;
    Log log(fromUtf8(folder), clock, {});
    Catalogue catalogue(db, screen, log, fromUtf8(folder));
    (void)catalogue.ChargeLangue(u"MSG304", u"default", u"Francais");
    (void)catalogue.ChargeLangue(u"MSG305", u"default", u"Espagnol");
    return 0;
}
