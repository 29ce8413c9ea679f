// Start-up: defaults without INI file or catalogue, the language search over [LNG], the entry
// style, the font size and its widths, the failures that stop start-up and the built-in settings
// the control then falls back on, and the list splitter.
#include "platform/design.h"
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;
using platform::ButtonId;

class Startup : public ControlTest {
  protected:
    DalmurePrivate& c() { return h.c(); }
    bool shown(ButtonId id) { return h.platform->buttonShown(id); }
    std::string toolTip(ButtonId id) { return s(h.button(id).toolTipText()); }
    double fontSize() { return h.platform->surface().fontSize(); }

    // After a start-up stopped by an error: the form laid out with the built-in language and
    // font size, the view button shown, and a clicked annotation's notes open for typing.
    void expectAControlToTakeNotesIn() {
        EXPECT_EQ(fontSize(), 8);
        EXPECT_EQ(c().privateState().strLangColumn, u"Francais");
        EXPECT_EQ(c().privateState().iSelected, -1);
        EXPECT_TRUE(h.platform->frame(platform::FrameId::Frame3).visible());
        EXPECT_GT(h.grid().colWidth(1), design::kGridDefaultColWidth);
        EXPECT_TRUE(shown(ButtonId::View));
        h.add(u"10:00:00", u"Ouverture", u"");
        h.add(u"10:05:00", u"T\u00e9moin", u"");
        ASSERT_TRUE(h.platform->userClick(2, 1));
        EXPECT_TRUE(h.editor().visible());
        EXPECT_EQ(h.platform->userType(u"note"), 4);
        EXPECT_EQ(h.editor().text(), u"note");
    }
};

// The language searched over [LNG], the entry style and the font size, read from the INI file
// with nothing logged; the host scenarios startup-* hold the usual files.
TEST_F(Startup, IniSettings) {
    const std::string lng = "[Config]\nLangue=English\n[LNG]\n";
    struct Case {
        std::string ini, column;
        bool styleOne = true;
        double size = 8;
    } cases[] = {
        // The language comparison is exact: case matters.
        {"[Config]\nLangue=english\n[LNG]\nLNG1=Français|Francais\nLNG2=English|Anglais\n",
         "Francais"},
        {lng + "LNG1=English|Anglais|Extra\n", "Anglais"},
        {lng + "LNG1=English\n", "Francais"},
        {lng + "LNG1=English|Espagnol\nLNG2=English|Anglais\n", "Espagnol"}, // the first match
        {"[LNG]\nLNG1=Français|Espagnol\n", "Espagnol"}, // the default name "Français"
        // Any style but 1 shows the second style's button.
        {"[Config]\nPVStyle=\n", "Francais", false},
        {"[Config]\nPVStyle=1 \n", "Francais"},
        // The font size rounds half to even.
        {"[Config]\nPVFontSize=11.5\n", "Francais", true, 12},
        {"[Config]\nPVFontSize=12pt\n", "Francais", true, 12},
        {"[Config]\nPVFontSize= 9\n", "Francais", true, 9},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.ini);
        ControlHarness one;
        one.app.writeIni(tc.ini, &tc - cases < 5 ? "ORClient.ini" : "ORCLIENT.INI");
        one.start();
        EXPECT_EQ(s(one.c().privateState().strLangColumn), tc.column);
        EXPECT_EQ(one.app.logCount(), 0u);
        EXPECT_EQ(one.platform->buttonShown(ButtonId::EntryStyleTwo), tc.styleOne);
        EXPECT_EQ(one.platform->buttonShown(ButtonId::EntryStyleOne), !tc.styleOne);
        EXPECT_EQ(one.c().PVStyle, 0);
        EXPECT_EQ(one.platform->surface().fontSize(), tc.size);
        EXPECT_EQ(one.grid().fontSize(), tc.size);
        EXPECT_EQ(one.editor().fontSize(), tc.size);
        // Ten characters of 10 x size twips, plus 100, widen the time column.
        const auto col0 = static_cast<std::int32_t>(100 * tc.size + 100);
        EXPECT_EQ(one.grid().colWidth(0), col0);
        EXPECT_EQ(one.grid().colWidth(1), design::kGridWidth - col0 - 600);
        EXPECT_EQ(one.editor().width(), design::kGridWidth - col0 - 660);
    }
}

TEST_F(Startup, FontSizeBeyondSixteenBitsIsLoggedAndTheBuiltInSizeTakesNotes) {
    h.app.copyCatalogue();
    h.app.writeIni("[Config]\nLangue=English\nPVStyle=2\nPVFontSize=40000\n"
                   "[LNG]\nLNG1=English|Anglais\n");
    start();
    EXPECT_EQ(logged(h.app), "errDalmure_UserControl_Initialize 6 Overflow\n");
    // The INI file's entry style stays; the font size is the built-in one.
    EXPECT_FALSE(h.button(ButtonId::EntryStyleTwo).visible());
    EXPECT_TRUE(h.button(ButtonId::EntryStyleOne).visible());
    expectAControlToTakeNotesIn();
}

TEST_F(Startup, OverlongLanguageEntryIsCutByTheReader) {
    // The reader cuts values at 2047 characters, so the splitter never sees 40,000.
    h.app.writeIni("[Config]\nLangue=English\n[LNG]\nLNG1=English|" + std::string(40000, 'x') +
                   "\n");
    start();
    EXPECT_EQ(c().privateState().strLangColumn, Str(2047 - 8, u'x'));
    EXPECT_EQ(logged(h.app), "");
    // Lookups in a column that does not exist give the built-in texts.
    EXPECT_EQ(toolTip(ButtonId::Delete), "Supprimer l'annotation sélectionnée");
}

TEST_F(Startup, FortyThousandLanguageEntriesAreSearchedUpToTheCounterLimit) {
    // The entry number is a 16-bit Integer: LNG32767 is the last entry start-up can read.
    const auto ini = [](int match) {
        std::string text = "[Config]\nLangue=English\n[LNG]\n";
        for (int n = 1; n <= 40000; ++n)
            text += "LNG" + std::to_string(n) + "=" +
                    (n == match ? "English|Anglais" : "Lang" + std::to_string(n) + "|Col") + "\n";
        return text;
    };
    {
        ControlHarness one;
        one.app.writeIni(ini(32767));
        one.start();
        EXPECT_EQ(s(one.c().privateState().strLangColumn), "Anglais");
        EXPECT_EQ(one.app.logCount(), 0u);
    }
    // A match beyond it is never reached: the next number overflows and ends the search; the
    // control is laid out with the built-in language.
    h.app.writeIni(ini(40000));
    start();
    expectAControlToTakeNotesIn();
    EXPECT_EQ(logged(h.app), "errDalmure_UserControl_Initialize 6 Overflow\n");
}

// Fields of the list splitter; the data and its added "|" are 16-bit counted.
TEST_F(Startup, ListSplitterFields) {
    start();
    struct Case {
        Str data;
        std::int16_t index;
        Str field;
    } cases[] = {
        {u"a|b|c", 2, u"b"},
        {u"a||c", 2, u""},
        {u"a|b", 3, u""},
        {u"|b", 1, u""},
        {u"a|b", 0, u""},
        {u"a|b", -1, u""},
        {u"a|b", 2, u"b"},
        {u"a|b|", 2, u"b"},
        {u"a|b|", 3, u""},
        {u"", 1, u""},
        {u"abc", 1, u"abc"},
        {u"a|" + Str(32764, u'b'), 2, Str(32764, u'b')}, // 32766 and the "|" still fit
    };
    for (const auto& tc : cases)
        EXPECT_EQ(Access::strFindData(c(), tc.data, tc.index), tc.field) << s(tc.data);
    EXPECT_EQ(h.app.logCount(), 0u);
    EXPECT_EQ(Access::strFindData(c(), u"a|" + Str(32765, u'b'), 1), u"");
    EXPECT_EQ(logged(h.app), "errDalmure_strFindData 6 Overflow\n");
}

} // namespace
} // namespace dalmure::test
