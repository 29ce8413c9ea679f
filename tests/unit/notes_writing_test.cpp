// What the control adds to the writing tools: the caret, the prompts, the file's place, languages.
#include "test_support.h"

#include <filesystem>

namespace dalmure::test {
namespace {

const std::string kGlossary = "# the usual words of a hearing\ntem\ttémoin\npv\tprocès-verbal\n";

// The INI's [Config] and [Notes] (each left out when empty) and the glossary, then one
// annotation's editor open.
void openNotes(ControlHarness& h, const std::string& notes, const std::string& config = "") {
    std::string ini = config.empty() ? "" : "[Config]\n" + config;
    if (!notes.empty())
        ini += "[Notes]\n" + notes;
    if (!ini.empty())
        h.app.writeIni(ini);
    h.app.writeBytes("glossaire.txt", kGlossary);
    h.startSized();
    h.add({{"10:00:00", "Ouverture"}});
    EXPECT_TRUE(h.platform->userClick(1, 1));
}

class NotesWriting : public ControlTest {
  protected:
    std::string text() { return s(h.editor().text()); }
    std::vector<std::string> marked() {
        std::vector<std::string> out;
        const Str t = h.editor().text();
        for (const auto& r : h.editor().markedRanges())
            out.push_back(
                s(t.substr(static_cast<std::size_t>(r.start), static_cast<std::size_t>(r.length))));
        return out;
    }
};

TEST_F(NotesWriting, AWordEndedInsideAnotherWordIsLeftAlone) {
    openNotes(h, "Glossary=glossaire.txt\n");
    h.platform->userType(u("temx"));
    h.editor().setSelStart(3);
    h.platform->userType(u(" "));
    EXPECT_EQ(text(), "tem x");
    // The same word at the end of the text expands.
    h.editor().setSelStart(5);
    h.platform->userType(u(" tem "));
    EXPECT_EQ(text(), "tem x témoin ");
}

TEST_F(NotesWriting, DescriptionPromptsExpandTheirWords) {
    openNotes(h, "Glossary=glossaire.txt\n");
    DalmurePrivate& c = h.c();
    // Entry style 2: Enter ends the notes (their last word expanded) and asks for the next one.
    c.PVStyle = 2;
    h.platform->queueAnswer(u("Tem de la défense"));
    h.platform->userType(u("vu le pv\r"));
    ASSERT_EQ(c.AnnoCount(), 2);
    EXPECT_EQ(s(c.AnnoData(0)), "vu le procès-verbal");
    EXPECT_EQ(s(c.AnnoDesc(1)), "Témoin de la défense");
    h.platform->userBlur();
    ASSERT_TRUE(h.platform->userClick(0, 0));
    h.platform->queueAnswer(u("PV et tem"));
    ASSERT_TRUE(h.platform->userButton(platform::ButtonId::Rename));
    EXPECT_EQ(s(c.AnnoDesc(0)), "PROCÈS-VERBAL et témoin");
}

TEST_F(NotesWriting, AGlossaryOutsideTheApplicationFolderIsNotRead) {
    TempAppFolder elsewhere;
    elsewhere.writeBytes("g.txt", kGlossary);
    const std::string outside = "../" + fs::path(elsewhere.native()).filename().string() + "/g.txt";
    for (const std::string& name : {outside, std::string("lien.txt")}) {
        SCOPED_TRACE(name);
        ControlHarness other;
        fs::create_symlink(elsewhere.file("g.txt"), other.app.file("lien.txt"));
        openNotes(other, "Glossary=" + name + "\n");
        other.platform->userType(u("tem "));
        EXPECT_EQ(s(other.editor().text()), "tem ");
        EXPECT_EQ(other.app.logEntries("Dalmure_Notes").size(), 1u);
    }
}

struct SpellingCase {
    const char* name;
    const char* notes;  // [Notes] keys
    const char* config; // [Config] keys
    const char* typed;
    std::vector<std::string> marked;
};

constexpr const char* kEnglish = "Langue=English\n[LNG]\nLNG1=English|Anglais\n";
constexpr const char* kOn = "SpellCheck=1\n";
constexpr const char* kBoth = "SpellCheck=1\nGlossary=glossaire.txt\n";

const SpellingCase kSpelling[] = {
    {"french_unknown", kOn, "", "Le témoin parlle du witness. ", {"parlle", "witness"}},
    {"english", kOn, kEnglish, "The witness speaks; le témoin. ", {"le", "témoin"}},
    {"both", "SpellCheck=2\n", "", "Le témoin, the witness, xqzvt. ", {"xqzvt"}},
    {"glossary_words", kBoth, "", "Le procès-verbal de Xylophonaire. ", {"Xylophonaire"}},
    {"off", "SpellCheck=0\n", "", "parlle xqzvt ", {}},
    {"word_being_typed", kOn, "", "Le témoin parll", {}},
    {"no_notes_keys", "", "", "tem audiense ", {}},
};

class Spelling : public NotesWriting, public ::testing::WithParamInterface<SpellingCase> {};

TEST_P(Spelling, MarksTheWordsNoDictionaryOfTheLanguagesKnows) {
    const SpellingCase& tc = GetParam();
    openNotes(h, tc.notes, tc.config);
    h.platform->userType(u(tc.typed));
    EXPECT_EQ(text(), tc.typed);
    EXPECT_EQ(marked(), tc.marked);
    EXPECT_EQ(h.app.logCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Languages, Spelling, ::testing::ValuesIn(kSpelling),
                         [](const auto& info) { return std::string(info.param.name); });

// The host names a party while the clerk types: the word is known at once.
TEST_F(NotesWriting, TheHostsWordsAreSpelledRightAtOnce) {
    openNotes(h, kBoth);
    h.platform->userType(u("Me Xylophonaire et Zorglubienne. "));
    EXPECT_EQ(marked(), (std::vector<std::string>{"Xylophonaire", "Zorglubienne"}));
    EXPECT_TRUE(h.c().GlossaryAdd(u("xy"), u("Me Xylophonaire")));
    EXPECT_EQ(marked(), (std::vector<std::string>{"Zorglubienne"}));
}

} // namespace
} // namespace dalmure::test
