// The view and print commands on the headless platform: what reaches the shell, the browser
// component, the printer and the screen pointer, and what is logged.
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace dalmure::test {
namespace {

using platform::ButtonId;

// Records the platform's happenings as short texts.
class Happenings : public headless::HappeningSink {
  public:
    std::vector<std::string> seen;
    void prompt(const Str&, const Str&, const Str&, const Str&) override {
        seen.push_back("prompt");
    }
    void messageBox(const Str&, const Str&) override { seen.push_back("msgbox"); }
    void menu(const std::vector<headless::MenuItemState>&,
              std::optional<platform::MenuItemId>) override {
        seen.push_back("menu");
    }
    void launch(const Str& program, const Str& params) override {
        seen.push_back("launch " + s(program) + " " + s(params));
    }
    void navigate(const Str& path) override { seen.push_back("navigate " + s(path)); }
    void printSize(std::int16_t size) override {
        seen.push_back("printsize " + std::to_string(size));
    }
    void pointer(int p) override {
        seen.push_back(p == platform::kPointerBusy ? "pointer busy"
                                                   : "pointer " + std::to_string(p));
    }
};

class OutputViewPrintTest : public ::testing::Test {
  protected:
    // The harness's platform is rebuilt when a test needs an associated program.
    void startWith(std::optional<std::string> htmlProgram = std::nullopt) {
        headless::HeadlessOptions options;
        options.now = fixedNow();
        if (htmlProgram)
            options.htmlProgram = u(*htmlProgram);
        h.platform = std::make_unique<headless::HeadlessPlatform>(options);
        h.start();
        h.platform->setHappeningSink(&rec);
    }
    // Two annotations, the second selected.
    void addTwo() {
        h.add({{"10:00:00", "A"}, {"10:05:00", "B"}});
        ASSERT_EQ(h.c().Selected(), 1);
        rec.seen.clear();
    }
    void press(ButtonId id) { DalmureTestAccess::buttonClick(h.c(), id); }
    std::string pagePath() const { return h.app.file("pvData.html"); }
    std::string quotedPage() const { return "\"" + pagePath() + "\""; }
    std::string page() const { return h.app.readBytes("pvData.html"); }
    // The happenings that start with prefix (the log writer also resets the pointer).
    std::vector<std::string> only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : rec.seen)
            if (e.starts_with(prefix))
                out.push_back(e);
        return out;
    }

    ControlHarness h;
    Happenings rec;
};

TEST_F(OutputViewPrintTest, NothingHappensWithoutASelectedAnnotation) {
    startWith("/bin/true");
    for (ButtonId id : {ButtonId::CWButton2, ButtonId::CWButton5}) {
        press(id); // empty list
        EXPECT_FALSE(h.app.exists("pvData.html"));
    }
    h.add({{"10:00:00", "A"}});
    DalmureTestAccess::setSelected(h.c(), -1);
    rec.seen.clear();
    for (ButtonId id : {ButtonId::CWButton2, ButtonId::CWButton5})
        press(id);
    EXPECT_FALSE(h.app.exists("pvData.html"));
    EXPECT_TRUE(rec.seen.empty());
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(OutputViewPrintTest, ViewOpensTheFreshPageInTheAssociatedProgram) {
    h.app.writeBytes("browser", "#!/bin/sh\n");
    startWith(h.app.file("browser"));
    addTwo();
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton2));
    EXPECT_EQ(rec.seen,
              std::vector<std::string>{"launch " + h.app.file("browser") + " " + quotedPage()});
    EXPECT_TRUE(page().ends_with("</table></body></html>\r\n"));
    EXPECT_EQ(h.app.logCount(), 0u);

    // The associated program missing: the launch fails and a note says so.
    std::filesystem::remove(h.app.file("browser"));
    press(ButtonId::CWButton2);
    const auto notes = h.app.logEntries("errDalmure_CWButton2_Click");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].number, "");
    EXPECT_EQ(notes[0].description, "Fichier pvData.html absent.");
}

TEST_F(OutputViewPrintTest, WithoutAssociationTheFallbackBrowserGetsTheQuotedPage) {
    startWith();
    addTwo();
    press(ButtonId::CWButton2);
    EXPECT_EQ(only("launch"), std::vector<std::string>{"launch x-www-browser " + quotedPage()});
    const auto notes = h.app.logEntries("errDalmure_CWButton2_Click");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].number, "");
    EXPECT_EQ(notes[0].description, "Pas de Browser par d\xC3\xA9"
                                    "faut, on d\xC3\xA9marre iExplorer");

    // No page could be written: the note only, nothing started.
    rec.seen.clear();
    std::filesystem::remove(pagePath());
    std::filesystem::create_directory(pagePath());
    press(ButtonId::CWButton2);
    EXPECT_TRUE(only("launch").empty());
    EXPECT_EQ(h.app.logEntries("errDalmure_CWButton2_Click").size(), 2u);
    EXPECT_EQ(h.app.logEntries("errDalmure_GenerateHTML").size(), 1u);
}

TEST_F(OutputViewPrintTest, PrintLoadsTheSelfPrintingPageWithTheConvertedPrintSize) {
    startWith();
    addTwo();
    struct Case {
        std::optional<std::string> value;
        int size;
    };
    for (const Case& c : {Case{std::nullopt, 5}, Case{"12abc", 12}, Case{"abc", 0}, Case{"2.5", 2},
                          Case{"3.5", 4}, Case{"-32768", -32768}, Case{"32767.4", 32767}}) {
        if (c.value)
            h.app.writeIni("[Config]\nPVPRINTSIZE=" + *c.value + "\n", "ORClient.INI");
        rec.seen.clear();
        press(ButtonId::CWButton5);
        EXPECT_EQ(rec.seen,
                  (std::vector<std::string>{"pointer busy", "printsize " + std::to_string(c.size),
                                            "navigate " + pagePath(), "pointer 0"}))
            << c.value.value_or("(missing)");
        EXPECT_TRUE(page().ends_with(
            "<script type=\"text/javascript\">window.print();</script></body></html>\r\n"));
    }
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(OutputViewPrintTest, PrintSizeBeyondSixteenBitsIsLoggedAndNothingIsLoaded) {
    startWith();
    addTwo();
    for (const char* value : {"40000", "-32769", "32767.5"}) {
        h.app.writeIni(std::string("[CONFIG]\nPVPRINTSIZE=") + value + "\n", "ORClient.INI");
        rec.seen.clear();
        const std::size_t before = h.app.logEntries("errDalmure_CWButton5_Click").size();
        press(ButtonId::CWButton5);
        const auto logged = h.app.logEntries("errDalmure_CWButton5_Click");
        ASSERT_EQ(logged.size(), before + 1) << value;
        EXPECT_EQ(logged.back().number, "6");
        EXPECT_EQ(logged.back().description, "Overflow");
        ASSERT_FALSE(rec.seen.empty());
        EXPECT_EQ(rec.seen.front(), "pointer busy");
        EXPECT_EQ(rec.seen.back(), "pointer 0");
        for (const std::string& e : rec.seen) {
            EXPECT_FALSE(e.starts_with("navigate")) << value;
            EXPECT_FALSE(e.starts_with("printsize")) << value;
        }
    }
}

TEST_F(OutputViewPrintTest, PrintTwiceRegeneratesAndNavigatesAgain) {
    startWith();
    addTwo();
    press(ButtonId::CWButton5);
    const std::string first = page();
    h.add({{"10:10:00", "C"}});
    rec.seen.clear();
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton5));
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"pointer busy", "printsize 5",
                                                  "navigate " + pagePath(), "pointer 0"}));
    EXPECT_NE(page(), first);
    EXPECT_NE(page().find("<b>C</b>"), std::string::npos);
    // A page that cannot be written: the failure is logged (the log writer resets the pointer
    // too) and nothing is loaded.
    std::filesystem::remove(pagePath());
    std::filesystem::create_directory(pagePath());
    rec.seen.clear();
    press(ButtonId::CWButton5);
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"pointer busy", "pointer 0", "pointer 0"}));
    EXPECT_EQ(h.app.logEntries("errDalmure_GenerateHTML").size(), 1u);
}

} // namespace
} // namespace dalmure::test
