// Abbreviations expanded as the clerk types them, and the Ctrl+Z right after.
#include "temp_folder.h"
#include "writing/expansion.h"

#include <gtest/gtest.h>

namespace dalmure::writing::test {
using dalmure::test::s, dalmure::test::u;
namespace {

class Expanding : public ::testing::Test {
  protected:
    void SetUp() override {
        g.setHearingEntry(u("tem"), u("témoin"));
        g.setHearingEntry(u("me"), u("Me Tremblay"));
        g.setHearingEntry(u("oe"), u("œuvre"));
        g.setHearingEntry(u("p5"), u("pièce P-5"));
        g.setHearingEntry(u("j"), u("juge"));
        g.setHearingEntry(u("Juge"), u("Juge"));
    }
    // The text with the expansion made at caret, "|" where the caret goes unless at the end.
    std::string at(const std::string& text, std::size_t caret) {
        auto e = expandBeforeCaret(g, u(text), caret);
        if (!e)
            return text;
        const Str after = e->edit.applyTo(u(text));
        if (e->caret == after.size())
            return s(after);
        return s(after.substr(0, e->caret)) + "|" + s(after.substr(e->caret));
    }
    std::string typed(const std::string& before, const std::string& key) {
        return at(before + key, u(before + key).size());
    }
    Glossary g;
};

TEST_F(Expanding, KeepsTheCaseTheClerkTyped) {
    struct Case {
        const char* typed;
        const char* expected;
    } cases[] = {
        {"tem", "témoin"},     {"Tem", "Témoin"},     {"TEM", "TÉMOIN"}, {"tEm", "témoin"},
        {"me", "Me Tremblay"}, {"ME", "ME TREMBLAY"}, {"oe", "œuvre"},   {"Oe", "Œuvre"},
        {"OE", "ŒUVRE"},       {"P5", "Pièce P-5"},   {"j", "juge"},     {"J", "Juge"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(typed(std::string("Le ") + c.typed, " "), std::string("Le ") + c.expected + " ")
            << c.typed;
}

TEST_F(Expanding, EveryWordEndingKeyExpandsAndOtherKeysDoNot) {
    for (const char* key : {" ", ".", ",", ";", ":", "!", "?", ")", "\n", "\r", "\t", "/", "\u00a0",
                            "»", "…", "\u2029"})
        EXPECT_EQ(typed("(tem", key), std::string("(témoin") + key) << "key " << key;
    for (const char* key : {"x", "5", "-", "'", "\u2019", "`", "(", "é"})
        EXPECT_EQ(typed("tem", key), std::string("tem") + key) << "key " << key;
}

TEST_F(Expanding, OnlyAWholeWordIsAnAbbreviation) {
    struct Case {
        const char* before;
        const char* expected;
    } cases[] = {
        {"attem", "attem "},      // letters right before it
        {"3tem", "3tem "},        // a digit too
        {"étem", "étem "},        // an accented letter too
        {"tems", "tems "},        // longer than the abbreviation
        {"l'tem", "l'témoin "},   // after an elided article
        {"l`tem", "l`témoin "},   // the same, as the key filter writes it
        {"ex-tem", "ex-témoin "}, // after a hyphen
        {"tem", "témoin "},       // at the very start
        {"", " "},                // nothing typed
        {"tem ", "tem  "},        // a second space: the word ended already
        {"Juge", "Juge "},        // typed as the entry's own text: no edit
    };
    for (const Case& c : cases)
        EXPECT_EQ(typed(c.before, " "), c.expected) << c.before;
}

TEST_F(Expanding, AnEndingTypedInsideAWordLeavesItAlone) {
    EXPECT_EQ(at("Le tem oignage", 7), "Le tem oignage"); // a space typed in "temoignage"
    EXPECT_EQ(at("Le tem, puis", 7), "Le témoin,| puis"); // a word in the middle of the note
    EXPECT_EQ(at("Le tem, puis", 0), "Le tem, puis");
    EXPECT_EQ(at("Le tem, puis", 99), "Le tem, puis");
}

TEST_F(Expanding, OneUndoRightAfterPutsTheAbbreviationBack) {
    const Str text = u("Le Tem.");
    auto e = expandBeforeCaret(g, text, text.size());
    ASSERT_TRUE(e);
    const Str after = e->edit.applyTo(text);
    // Once the text or the caret moved, or the undo was forgotten, there is none to offer.
    struct Case {
        const char* what;
        Str text;
        std::size_t caret;
        bool forgotten;
    } cases[] = {
        {"a key typed", after + u"x", e->caret + 1, false},
        {"caret moved", after, e->caret - 1, false},
        {"same length, other text", u("Le TémoiN."), e->caret, false},
        {"forgotten", after, e->caret, true},
    };
    for (const Case& c : cases) {
        ExpansionUndo undo;
        undo.remember(*e, after.size());
        if (c.forgotten)
            undo.forget();
        EXPECT_FALSE(undo.undo(c.text, c.caret)) << c.what;
    }
    ExpansionUndo undo;
    undo.remember(*e, after.size());
    auto back = undo.undo(after, e->caret);
    ASSERT_TRUE(back);
    EXPECT_EQ(s(back->first.applyTo(after)), "Le Tem.");
    EXPECT_EQ(back->second, text.size());
    EXPECT_FALSE(undo.pending()); // a second Ctrl+Z is the editor's own
    EXPECT_FALSE(undo.undo(after, e->caret));
}

TEST(ExpansionCase, CasePatternOnTextsThatStartWithoutALetter) {
    EXPECT_EQ(s(applyCasePattern(u("Pv"), u("« procès-verbal »"))), "« Procès-verbal »");
    // A text that starts with a number is left as it is: no "5E".
    EXPECT_EQ(s(applyCasePattern(u("P5"), u("5e pièce"))), "5e pièce");
    EXPECT_EQ(s(applyCasePattern(u("PV"), u("à l'œil"))), "À L'ŒIL");
}

} // namespace
} // namespace dalmure::writing::test
