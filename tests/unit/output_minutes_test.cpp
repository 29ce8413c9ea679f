// The minutes page (template, case fields, annotation table, settings, language, encoding), and
// the view and print commands: what reaches the shell, the browser, the printer.
#include "test_support.h"

#include <random>
#include <regex>

namespace dalmure::test {
namespace {

constexpr char kTableOpen[] = R"(<table border="0">)";
constexpr char kClose[] = "</table></body></html>\r\n";
constexpr char kClosePrint[] =
    R"(</table><script type="text/javascript">window.print();</script></body></html>)"
    "\r\n";

// An annotation's row, and with notes a second row for them.
std::string row(const std::string& time, const std::string& desc, const std::string& data = "",
                bool bold = true, const std::string& padX = "10", std::string padY = "") {
    const std::string b = bold ? "<b>" : "", eb = bold ? "</b>" : "";
    const std::string open = R"(<tr><td style="padding-right:)" + padX + "px;";
    if (padY.empty())
        padY = data.empty() ? "3" : "10";
    if (data.empty())
        return open + "padding-bottom:" + padY + R"(px;padding-left:10px;">)" + b + time + eb +
               R"(</td><td style="padding-right:)" + padX + "px;padding-bottom:" + padY +
               R"(px;">)" + b + desc + eb + "</td></tr>";
    return open + R"(padding-left:10px;">)" + b + time + eb + "</td><td>" + b + desc + eb +
           R"(</td></tr><tr><td>&nbsp;</td><td style="padding-bottom:)" + padY + R"(px;">)" + data +
           "</td></tr>";
}

class OutputMinutesTest : public ControlTest {
  protected:
    void SetUp() override { start(); }
    void generate(bool print = false) { DalmureTestAccess::GenerateHTML(h.c(), print); }
    // The page decoded to UTF-8 (Windows-1252 on disk).
    std::string page() const { return s(fromCp1252(h.app.readBytes("pvData.html"))); }
    void add(const std::string& time, const std::string& desc, const std::string& data = "") {
        h.add(u(time), u(desc), u(data));
    }
    void setLang(const std::string& column) { DalmureTestAccess::setLangColumn(h.c(), u(column)); }
};

TEST_F(OutputMinutesTest, TwoAnnotationsWithDefaultsGiveTheTableLineToTheByte) {
    add("10:15:02", "Ouverture");
    add("10:20:45", "T\xC3\xA9moin 1", "Note");
    // The example exactly as the control's documentation gives it.
    const std::string table =
        R"(<table border="0"><tr><td style="padding-right:10px;padding-bottom:3px;padding-left:10px;"><b>10:15:02</b></td><td style="padding-right:10px;padding-bottom:3px;"><b>Ouverture</b></td></tr><tr><td style="padding-right:10px;padding-left:10px;"><b>10:20:45</b></td><td><b>T)"
        "\xC3\xA9"
        R"(moin 1</b></td></tr><tr><td>&nbsp;</td><td style="padding-bottom:10px;">Note</td></tr>)";
    generate(false);
    EXPECT_EQ(h.app.readBytes("pvData.html"), toCp1252(u(table + kClose)));
    generate(true);
    EXPECT_EQ(page(), table + kClosePrint);
}

TEST_F(OutputMinutesTest, SettingsChooseBoldPlainAndPaddingsOnEveryCall) {
    add("09:00:00", "Sans note");
    add("09:30:00", "Avec note", "texte");
    const auto expected = [](bool bold, const std::string& x, const std::string& y1,
                             const std::string& y2) {
        return kTableOpen + row("09:00:00", "Sans note", "", bold, x, y1) +
               row("09:30:00", "Avec note", "texte", bold, x, y2) + kClose;
    };
    // A blank before the 1 survives only when quoted; unquoted blanks are trimmed by the reader.
    const std::pair<const char*, bool> bold[] = {{"1", true},       {"0", false}, {"yes", false},
                                                 {"\" 1\"", false}, {"", false},  {" 1 ", true}};
    for (const auto& [annoGras, isBold] : bold) {
        h.app.writeIni(std::string("[PV]\nAnnoGras=") + annoGras + "\n", "ORClient.INI");
        generate();
        EXPECT_EQ(page(), expected(isBold, "10", "3", "10")) << "AnnoGras=" << annoGras;
    }
    // Paddings are written as read, markup included; the section and keys match in any case.
    h.app.writeIni("[pv]\npadx=<i>7</i>\nPADY1=2\nPady2=abc\n", "ORClient.INI");
    generate();
    EXPECT_EQ(page(), expected(true, "<i>7</i>", "2", "abc"));
    std::filesystem::remove(h.app.file("ORClient.INI"));
    generate();
    EXPECT_EQ(page(), expected(true, "10", "3", "10"));
}

// Carriage returns in notes become breaks, whether markup is escaped or not.
TEST_F(OutputMinutesTest, EscapeMarkupWritesTextsAndCaseFieldsAsTextOnlyWhenAsked) {
    add("<t>", "<b>gras</b> & \"cit\xC3\xA9\"", "a<\r\nb&>");
    add("10:00:01", "sans note");
    add("10:00:02", "cr", "a\rb\r");
    add("10:00:03", "lf", "a\nb");
    h.c().NoDossier = u("<script>x()</script>");
    h.c().UserName = u("A & B \"C\"");
    h.c().DateCreated = u("<i>");
    h.app.writeText("pvTemplateENG.html",
                    "<p title=\"CW.NODOSSIER\">CW.USERNAME CW.DATECREATED</p>\n");
    setLang("English");
    const auto pageWith = [](const std::string& head, const std::string& time,
                             const std::string& desc, const std::string& data) {
        // "<" sorts after the digits: the annotation at "<t>" comes last.
        return head + kTableOpen + row("10:00:01", "sans note") +
               row("10:00:02", "cr", "a<br>b<br>") + row("10:00:03", "lf", "a\nb") +
               row(time, desc, data) + kClose;
    };
    const std::string asIs = pageWith("<p title=\"<script>x()</script>\">A & B \"C\" <i></p>\r\n",
                                      "<t>", "<b>gras</b> & \"cit\xC3\xA9\"", "a<<br>\nb&>");
    const std::string escaped = pageWith(
        "<p title=\"&lt;script&gt;x()&lt;/script&gt;\">A &amp; B &quot;C&quot; &lt;i&gt;</p>\r\n",
        "&lt;t&gt;", "&lt;b&gt;gras&lt;/b&gt; &amp; &quot;cit\xC3\xA9&quot;",
        "a&lt;<br>\nb&amp;&gt;");
    const std::pair<const char*, bool> settings[] = {{"", false},
                                                     {"[PV]\nEscapeMarkup=0\n", false},
                                                     {"[PV]\nEscapeMarkup=yes\n", false},
                                                     {"[PV]\nEscapeMarkup=1\n", true},
                                                     {"[pv]\nescapemarkup=1\n", true}};
    for (const auto& [ini, escapes] : settings) {
        h.app.writeIni(ini, "ORClient.INI");
        generate();
        EXPECT_EQ(page(), escapes ? escaped : asIs) << ini;
    }
}

TEST_F(OutputMinutesTest, TemplateLinesGetTheFirstPlaceholderOfEachKindFilled) {
    add("10:00:00", "A");
    h.c().NoDossier = u("RG 24/0815");
    h.c().UserName = u("M\xC3\xA9lanie <i>D.</i>");
    h.c().DateCreated = u("2024-05-06");
    // Lines end with CR LF, a lone CR, or nothing at the end; a lone LF stays inside its line.
    h.app.writeBytes("pvTemplateFRA.html",
                     toCp1252(u("<html><body>\r\n"
                                "No cw.nodossier / Cw.NoDossier\r\n"
                                "CW.USERNAME et CW.USERNAME\r"
                                "date:CW.DATECREATED|lf\nCW.NODOSSIER\r\n"
                                "\r\n"
                                "vide CW.NODOSSIERCW.USERNAMECW.DATECREATED fin")));
    setLang("Français");
    generate();
    const std::string head = "<html><body>\r\n"
                             "No RG 24/0815 / Cw.NoDossier\r\n"
                             "M\xC3\xA9lanie <i>D.</i> et CW.USERNAME\r\n"
                             "date:2024-05-06|lf\nRG 24/0815\r\n"
                             "\r\n"
                             "vide RG 24/0815M\xC3\xA9lanie <i>D.</i>2024-05-06 fin\r\n";
    EXPECT_EQ(page(), head + kTableOpen + row("10:00:00", "A") + kClose);
}

TEST_F(OutputMinutesTest, LanguageColumnChoosesTheTemplateAndAMissingOneLeavesTheTableAlone) {
    add("10:00:00", "A");
    h.app.writeText("pvTemplateFRA.html", "FRA\n");
    h.app.writeText("pvTemplateENG.html", "ENG\n");
    const std::string table = kTableOpen + row("10:00:00", "A") + kClose;
    const std::pair<const char*, const char*> languages[] = {
        {"Français", "FRA"},  {"FRANÇAIS", "FRA"}, {"francais", "FRA"}, {"fra", "FRA"},
        {"Fra", "FRA"},       {"Anglais", "ENG"},  {"English", "ENG"},  {"", "ENG"},
        {"Française", "ENG"}, {" fra", "ENG"},     {"ENG", "ENG"}};
    for (const auto& [column, chosen] : languages) {
        setLang(column);
        generate();
        EXPECT_EQ(page(), chosen + ("\r\n" + table)) << column;
    }
    // The chosen template missing: the other one is not tried, the page is the table line alone.
    std::filesystem::remove(h.app.file("pvTemplateENG.html"));
    setLang("English");
    generate();
    EXPECT_EQ(page(), table);
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(OutputMinutesTest, DateCreatedIsFilledOnlyWhenEmptyAndTheCellIsLeftOnTheLastRow) {
    add("10:00:00", "A");
    add("11:00:00", "B", "x");
    const std::int16_t selected = h.c().Selected();
    h.app.writeText("pvTemplateENG.html", "CW.DATECREATED\n");
    setLang("English");
    generate();
    EXPECT_EQ(std::tuple(s(h.c().DateCreated), page().substr(0, 12), h.grid().row(), h.grid().col(),
                         h.c().Selected()),
              std::tuple("2026-03-04", "2026-03-04\r\n", 3, 1, selected));

    h.c().DateCreated = u("31/12/2025");
    h.platform->setNow(platform::LocalTime{2027, 1, 2, 3, 4, 5, 6});
    generate();
    EXPECT_EQ(s(h.c().DateCreated) + "|" + page().substr(0, 12), "31/12/2025|31/12/2025\r\n");
}

// Œ, € and ç are Windows-1252 bytes, the CJK character is "?"; ASCII runs around the converter's
// step lengths are each closed by the euro sign (0x80). The template's bytes are copied intact.
TEST_F(OutputMinutesTest, PageIsWindows1252AndTheTemplateIsCopiedIntact) {
    std::string runs;
    for (int n : {1, 15, 16, 17, 31, 32, 33, 255, 256, 257, 300})
        runs += std::string(static_cast<std::size_t>(n), static_cast<char>('a' + n % 26)) +
                "\xE2\x82\xAC";
    add("10:00:00", "\xC5\x92uvre \xE2\x82\xAC \xC3\xA7", "\xE4\xB8\xAD-\xC3\xBF");
    add("10:00:01", "d", runs);
    setLang("English");
    std::mt19937 rng(20240506);
    std::string noise = "Proc\xE8s \x80\x81\x9D\r\n";
    for (int i = 0; i < 20000; ++i)
        noise += static_cast<char>(rng() & 0xFF);
    ASSERT_EQ(s(ucase(fromCp1252(noise))).find("CW."), std::string::npos);
    h.app.writeBytes("pvTemplateENG.html", noise);
    generate();
    // Expected: every line end (CR LF or lone CR) becomes CR LF, and the last line gets one.
    std::string normalised = std::regex_replace(noise, std::regex("\r\n?"), "\r\n");
    if (!normalised.ends_with("\r\n"))
        normalised += "\r\n";
    const std::string table = kTableOpen +
                              row("10:00:00", "\xC5\x92uvre \xE2\x82\xAC \xC3\xA7", "?-\xC3\xBF") +
                              row("10:00:01", "d", runs) + kClose;
    EXPECT_EQ(h.app.readBytes("pvData.html"), normalised + toCp1252(u(table)));
    EXPECT_EQ(h.app.logCount(), 0u);
}

// The print size is the INI value converted to 16 bits, and every print writes the page anew.
TEST(OutputViewPrintTest, PrintSizeIsTheIniValueConvertedTo16BitsAndThePageIsNew) {
    Clerk clerk;
    ControlHarness& h = clerk.h;
    RecordingHappenings& rec = clerk.rec;
    // The INI value, if any, and the size (-1: an overflow, nothing loaded).
    const std::pair<std::optional<std::string>, int> cases[] = {
        {std::nullopt, 5},  {"12abc", 12},      {"abc", 0},     {"3.5", 4},
        {"-32768", -32768}, {"32767.4", 32767}, {"-32769", -1}, {"32767.5", -1}};
    const std::vector<std::string> overflowed = {"pointer busy", "pointer 0", "pointer 0"};
    int added = 0;
    for (const auto& [value, size] : cases) {
        SCOPED_TRACE(value.value_or("(missing)"));
        if (value)
            h.app.writeIni("[Config]\nPVPRINTSIZE=" + *value + "\n");
        const std::string desc = "Ajout " + std::to_string(++added);
        h.add(u("11:00:00"), u(desc), u(""));
        rec.seen.clear();
        ASSERT_TRUE(h.platform->userButton(platform::ButtonId::Print));
        const std::vector<std::string> printed = {
            "pointer busy", "printsize " + std::to_string(size),
            "navigate " + h.app.file("pvData.html"), "pointer 0"};
        EXPECT_EQ(rec.seen, size == -1 ? overflowed : printed);
        const std::string page = clerk.page();
        EXPECT_TRUE(size == -1 || (page.find("<b>" + desc + "</b>") != std::string::npos &&
                                   page.ends_with(kClosePrint)));
    }
    EXPECT_EQ(logged(h.app), "errDalmure_CWButton5_Click 6 Overflow\n"
                             "errDalmure_CWButton5_Click 6 Overflow\n");

    // An unwritable page: logged, nothing loaded, the arrow back before the message's lookup.
    std::filesystem::remove(h.app.file("pvData.html"));
    std::filesystem::create_directory(h.app.file("pvData.html"));
    h.app.writeIni("");
    rec.seen.clear();
    clerk.print();
    EXPECT_EQ(rec.seen, (std::vector<std::string>{"pointer busy", "pointer 0", "pointer 0",
                                                  "pointer busy", "pointer 0", "msgbox"}));
    EXPECT_EQ(rec.messages, (std::vector<std::string>{"Orvane: Le procès-verbal n'a pas pu être "
                                                      "écrit en entier. La version précédente "
                                                      "est conservée."}));
}

TEST(OutputViewPrintTest, ViewNotesAMissingProgram) {
    Clerk clerk(2, "", "/nonexistent/browser"); // associated, but not there: the launch fails
    clerk.view();
    EXPECT_EQ(logged(clerk.h.app), "errDalmure_CWButton2_Click  Fichier pvData.html absent.\n");
}

} // namespace
} // namespace dalmure::test
