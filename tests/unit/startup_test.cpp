// Start-up: the language searched over [LNG], the entry style, the font size and its widths, the
// overflows that stop it with the built-in settings; the list splitter.
#include "platform/design.h"
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;
using platform::ButtonId;

using Startup = ControlTest;

// 40000 languages in [LNG], English the one at `match`.
std::string languages(int match) {
    std::string text = "[Config]\nLangue=English\n[LNG]\n";
    for (int n = 1; n <= 40000; ++n)
        text += "LNG" + std::to_string(n) + "=" +
                (n == match ? "English|Anglais" : "Lang" + std::to_string(n) + "|Col") + "\n";
    return text;
}

// The host scenarios startup-* hold the usual files; these are the edges.
TEST_F(Startup, IniSettings) {
    const std::string lng = "[Config]\nLangue=English\n[LNG]\n";
    // The INI, the column chosen, whether the first style's button shows, the font size.
    const std::tuple<std::string, std::string, bool, double> cases[] = {
        // The language comparison is exact: case matters; the first match wins.
        {"[Config]\nLangue=english\n[LNG]\nLNG1=Français|Francais\nLNG2=English|Anglais\n",
         "Francais", true, 8},
        {lng + "LNG1=English|Anglais|Extra\n", "Anglais", true, 8},
        {lng + "LNG1=English\n", "Francais", true, 8},
        {lng + "LNG1=English|Espagnol\nLNG2=English|Anglais\n", "Espagnol", true, 8},
        {"[LNG]\nLNG1=Français|Espagnol\n", "Espagnol", true, 8}, // the default name "Français"
        // Any style but 1 shows the second style's button.
        {"[Config]\nPVStyle=\n", "Francais", false, 8},
        {"[Config]\nPVStyle=1 \n", "Francais", true, 8},
        // The font size rounds half to even.
        {"[Config]\nPVFontSize=11.5\n", "Francais", true, 12},
        {"[Config]\nPVFontSize=12pt\n", "Francais", true, 12},
        {"[Config]\nPVFontSize= 9\n", "Francais", true, 9},
        {languages(32767), "Anglais", true, 8}, // the last entry a 16-bit counter reaches
    };
    for (const auto& [ini, column, styleOne, size] : cases) {
        SCOPED_TRACE(ini.substr(0, 60));
        ControlHarness one;
        one.app.writeIni(ini, ini.starts_with("[Config]") ? "ORCLIENT.INI" : "ORClient.ini");
        one.start();
        // Ten characters of 10 x size twips, plus 100, widen the time column.
        const auto col0 = static_cast<std::int32_t>(100 * size + 100);
        const std::int32_t rest = design::kGridWidth - col0;
        EXPECT_EQ(std::tuple(s(one.c().privateState().strLangColumn), one.app.logCount(),
                             one.platform->buttonShown(ButtonId::EntryStyleTwo),
                             one.platform->buttonShown(ButtonId::EntryStyleOne), one.c().PVStyle,
                             one.platform->surface().fontSize(), one.grid().fontSize(),
                             one.editor().fontSize(), one.grid().colWidth(0),
                             one.grid().colWidth(1), one.editor().width()),
                  std::tuple(column, 0u, styleOne, !styleOne, 0, size, size, size, col0, rest - 600,
                             rest - 660));
    }
}

TEST_F(Startup, AnOverflowIsLoggedAndTheBuiltInSettingsTakeNotes) {
    for (const std::string& ini : {std::string("[Config]\nLangue=English\nPVStyle=2\nPVFontSize="
                                               "40000\n[LNG]\nLNG1=English|Anglais\n"),
                                   languages(40000)}) {
        SCOPED_TRACE(ini.substr(0, 60));
        ControlHarness one;
        one.app.copyCatalogue();
        one.app.writeIni(ini);
        one.start();
        EXPECT_EQ(logged(one.app), "errDalmure_UserControl_Initialize 6 Overflow\n");
        // The built-in settings, and notes can be typed.
        EXPECT_EQ(
            std::tuple(one.button(ButtonId::EntryStyleOne).visible(),
                       one.platform->surface().fontSize(), s(one.c().privateState().strLangColumn),
                       one.c().privateState().iSelected,
                       one.platform->frame(platform::FrameId::Frame3).visible(),
                       one.grid().colWidth(1) > design::kGridDefaultColWidth,
                       one.platform->buttonShown(ButtonId::View)),
            std::tuple(ini.find("PVStyle=2") != ini.npos, 8, "Francais", -1, true, true, true));
        one.add({{"10:00:00", "Ouverture"}, {"10:05:00", "T\u00e9moin"}});
        ASSERT_TRUE(one.platform->userClick(2, 1));
        EXPECT_TRUE(one.editor().visible());
        EXPECT_EQ(one.platform->userType(u"note"), 4);
        EXPECT_EQ(one.editor().text(), u"note");
    }
}

// Fields of the list splitter; the data and its added "|" are 16-bit counted.
TEST_F(Startup, ListSplitterFields) {
    start();
    const std::tuple<Str, std::int16_t, Str> cases[] = {
        {u"a|b|c", 2, u"b"}, {u"a||c", 2, u""}, {u"a|b", 3, u""},    {u"|b", 1, u""},
        {u"a|b", 0, u""},    {u"a|b", -1, u""}, {u"a|b", 2, u"b"},   {u"a|b|", 2, u"b"},
        {u"a|b|", 3, u""},   {u"", 1, u""},     {u"abc", 1, u"abc"},
    };
    for (const auto& [data, index, field] : cases)
        EXPECT_EQ(Access::strFindData(h.c(), data, index), field) << s(data);
    // 32766 characters and the added "|" still fit; 32767 and the "|" do not.
    EXPECT_EQ(Access::strFindData(h.c(), u"a|" + Str(32764, u'b'), 2), Str(32764, u'b'));
    EXPECT_EQ(h.app.logCount(), 0u);
    EXPECT_EQ(Access::strFindData(h.c(), u"a|" + Str(32765, u'b'), 1), u"");
    EXPECT_EQ(logged(h.app), "errDalmure_strFindData 6 Overflow\n");
}

} // namespace
} // namespace dalmure::test
