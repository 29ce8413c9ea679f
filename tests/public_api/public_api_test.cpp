// The public Dalmure class as a host sees it, built against include/dalmure/ and the library only.
#include <dalmure/dalmure.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh folder with the shipped catalogue and templates.
struct AppFolder {
    AppFolder() {
        for (const char* name :
             {"share/catalogue/ORLngClient.MDB", "share/templates/pvTemplateFRA.html",
              "share/templates/pvTemplateENG.html"}) {
            const fs::path from = fs::path(DALMURE_SOURCE_DIR) / name;
            fs::copy_file(from, dir / from.filename());
        }
    }
    ~AppFolder() { fs::remove_all(dir); }
    std::string pattern = (fs::temp_directory_path() / "dalmure-api-XXXXXX").string();
    fs::path dir = mkdtemp(pattern.data());
    dalmure::Str path = dalmure::fromUtf8(dir.string());
};

TEST(PublicApi, TheHostsVariablesAreTheControlsArguments) {
    AppFolder folder;
    dalmure::Dalmure control(folder.path);
    dalmure::Str time = u"10:15:00", desc = u"Ouverture", data = u"Notes du greffier";
    control.AnnoAdd(time, desc, data);
    control.AnnoAdd(u"10:20:00", u"Témoin");
    EXPECT_EQ(control.AnnoCount(), 2);
    EXPECT_EQ(control.AnnoDesc(1), u"Témoin");
    EXPECT_EQ(control.AnnoData(0), u"Notes du greffier");

    const std::int16_t selected = control.Selected();
    std::int32_t index = 0;
    control.AnnoDelete(index);
    EXPECT_EQ(control.AnnoCount(), 1);
    EXPECT_EQ(index, 2 * selected) << "AnnoDelete overwrites the caller's variable";

    EXPECT_TRUE(control.GlossaryAdd(u"tem", u"témoin"));
    EXPECT_FALSE(control.GlossaryAdd(u"t m", u"témoin")) << "an abbreviation is one word";
    control.GlossaryClear();

    bool hide = true;
    control.NoModif(hide);
    EXPECT_TRUE(control.NoModif());
}

// The raised error arriving as a ControlError is the consumer's check.
TEST(PublicApi, AHostsSinkLinksAgainstTheLibrarys) {
    AppFolder folder;
    dalmure::Dalmure control(folder.path);
    struct Sink : dalmure::DalmureEvents {
    } events;
    control.setEventSink(&events);
    control.AnnoAdd(u"10:15:00", u"Ouverture");
    EXPECT_EQ(control.AnnoTime(0), u"10:15:00");
    control.setEventSink(nullptr);

    dalmure::Str logRoot = folder.path + u"/Logs";
    EXPECT_EQ(control.GetLogPath(logRoot).substr(0, logRoot.size()), logRoot);
    EXPECT_EQ(logRoot.back(), u'/') << "GetLogPath completes the caller's path";
    EXPECT_EQ(control.RecoverableSessions().size(), 0u);
}

} // namespace
