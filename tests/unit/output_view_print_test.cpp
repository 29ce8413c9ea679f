// The view and print commands on the headless platform: what reaches the shell, the browser
// component, the printer and the screen pointer, and what is logged when a step fails.
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace dalmure::test {
namespace {

using platform::ButtonId;

// The message box the clerk gets when the minutes could not be written.
const std::string kNotWritten =
    s(u"Orvane: Le proc\u00e8s-verbal n'a pas pu \u00eatre \u00e9crit en entier. La version "
      u"pr\u00e9c\u00e9dente est conserv\u00e9e.");

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
        h.add({{"10:00:00", "A"}, {"10:05:00", "B"}});
        rec.seen.clear();
    }
    void press(ButtonId id) { DalmureTestAccess::buttonClick(h.c(), id); }
    std::string pagePath() const { return h.app.file("pvData.html"); }
    std::string page() const { return h.app.readBytes("pvData.html"); }
    void makePageUnwritable() {
        std::filesystem::remove(pagePath());
        std::filesystem::create_directory(pagePath());
    }
    std::vector<std::string> printed(int size) const {
        return {"pointer busy", "printsize " + std::to_string(size), "navigate " + pagePath(),
                "pointer 0"};
    }

    ControlHarness h;
    RecordingHappenings rec;
};

// The print size is the INI value converted to 16 bits, and every print writes the page anew.
TEST_F(OutputViewPrintTest, PrintSizeIsTheIniValueConvertedTo16BitsAndThePageIsNew) {
    startWith();
    struct Case {
        std::optional<std::string> value;
        int size; // -1: overflow, nothing loaded
    } cases[] = {{std::nullopt, 5},  {"12abc", 12},      {"abc", 0},     {"2.5", 2},     {"3.5", 4},
                 {"-32768", -32768}, {"32767.4", 32767}, {"-32769", -1}, {"32767.5", -1}};
    std::size_t overflows = 0, added = 0;
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.value.value_or("(missing)"));
        if (tc.value)
            h.app.writeIni("[Config]\nPVPRINTSIZE=" + *tc.value + "\n");
        const std::string desc = "Ajout " + std::to_string(++added);
        h.add(u("11:00:00"), u(desc), u(""));
        rec.seen.clear();
        ASSERT_TRUE(h.platform->userButton(ButtonId::Print));
        if (tc.size != -1) {
            EXPECT_EQ(rec.seen, printed(tc.size));
            EXPECT_NE(page().find("<b>" + desc + "</b>"), std::string::npos);
            EXPECT_TRUE(page().ends_with(
                "<script type=\"text/javascript\">window.print();</script></body></html>\r\n"));
            continue;
        }
        const auto logged = h.app.logEntries("errDalmure_CWButton5_Click");
        ASSERT_EQ(logged.size(), ++overflows);
        EXPECT_EQ(logged.back().number, "6");
        EXPECT_EQ(rec.seen, (std::vector<std::string>{"pointer busy", "pointer 0", "pointer 0"}));
    }
    EXPECT_EQ(h.app.logCount(), overflows);

    // A page that cannot be written: logged (the log writer resets the pointer too), nothing
    // loaded or printed, the pointer back to the arrow before the clerk is told (the lookup of
    // the message shows the hourglass as every lookup does).
    makePageUnwritable();
    h.app.writeIni("");
    rec.seen.clear();
    press(ButtonId::Print);
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"pointer busy", "pointer 0", "pointer 0",
                                                  "pointer busy", "pointer 0", "msgbox"}));
    EXPECT_EQ(rec.messages, (std::vector<std::string>{kNotWritten}));
}

// A program that cannot be started is noted; what an unwritable page does to the view is in
// app_folder_files_test.cpp, a view without a selection in the view-print scenario.
TEST_F(OutputViewPrintTest, ViewNotesAMissingProgram) {
    startWith(h.app.file("browser")); // associated, but not there: the launch fails
    press(ButtonId::View);
    EXPECT_EQ(logged(h.app), "errDalmure_CWButton2_Click  Fichier pvData.html absent.\n");
}

} // namespace
} // namespace dalmure::test
