// Spelling against small dictionaries (one in ISO-8859-1, as older ones are), then the system's.
#include "temp_folder.h"
#include "writing/glossary.h"
#include "writing/spelling.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace dalmure::writing::test {
using dalmure::test::s, dalmure::test::u, dalmure::test::TempAppFolder;
namespace {

std::string latin1(const std::string& utf8) {
    std::string out;
    for (char16_t c : u(utf8))
        out.push_back(static_cast<char>(c));
    return out;
}

Str withDictionaries(const TempAppFolder& dir) {
    dir.writeBytes("fr_FR.aff", "SET ISO8859-1\nTRY esiarntolcdugmphbyfvkwz\n");
    dir.writeBytes("fr_FR.dic", latin1("6\ntémoin\naudience\naccusé\nl'accusé\n"
                                       "pièce\ndéfense\n"));
    dir.writeBytes("en_US.aff", "SET UTF-8\nTRY esiarntolcdugmphbyfvkwz\n");
    dir.writeBytes("en_US.dic", "4\nwitness\nhearing\ndefence\naccused\n");
    return dir.path();
}

// As text, so that the UTF-16 offsets are checked through the words they cut out.
std::vector<std::string> misspelled(Speller& sp, const std::string& note,
                                    const std::vector<std::string>& languages) {
    const Str text = u(note);
    std::vector<std::string> out;
    for (WordSpan w : sp.misspelled(text, languages))
        out.push_back(s(text.substr(w.start, w.length)));
    return out;
}

using Words = std::vector<std::string>;

std::string firstSuggestion(Speller& sp, const char* word, const std::vector<std::string>& langs) {
    const auto all = sp.suggest(u(word), langs);
    return all.empty() ? "<none>" : s(all[0]);
}

class Spelling : public ::testing::Test {
  protected:
    TempAppFolder dir;
    Speller sp{withDictionaries(dir)};
};

TEST_F(Spelling, UnknownWordsOfANoteInEachLanguageAndInBothAtTheirUtf16Offsets) {
    const std::string note = "Le témoin de la défense, witness for the defence.";
    EXPECT_EQ(misspelled(sp, note, {"fr"}),
              (Words{"Le", "de", "la", "witness", "for", "the", "defence"}));
    EXPECT_EQ(misspelled(sp, note, {"en"}),
              (Words{"Le", "témoin", "de", "la", "défense", "for", "the"}));
    EXPECT_EQ(misspelled(sp, note, {"fr", "en"}), (Words{"Le", "de", "la", "for", "the"}));
    // "œ" and "é" are one unit each, "𝄞" is two.
    EXPECT_EQ(misspelled(sp, "𝄞 témoin œuvr audience", {"fr"}), (Words{"œuvr"}));
}

TEST_F(Spelling, WhatIsNotCheckedOrCountsAsCorrect) {
    Glossary g;
    g.setHearingEntry(u("me"), u("Me Tremblay-Roy"));
    g.setHearingEntry(u("orv"), u("Orvane"));
    sp.setGlossary(&g);
    struct Case {
        const char* word;
        bool correct;
    } cases[] = {
        {"témoin", true},        {"Témoin", true},
        {"TÉMOIN", true},        {"TéMOIN", false},
        {"temoin", false},       {"Tremblay-Roy", true},
        {"TREMBLAY-ROY", true},  {"Orvane", true},
        {"l'Orvane", true},      {"d\u2019Orvane", true},
        {"l'accusé", true},      {"l`accusé", true},
        {"l\u2019accusé", true}, {"P-5", true},
        {"10h30", true},         {"x", true},
        {"œuvre", false}, // no such letter in ISO-8859-1: not in the dictionary
    };
    for (const Case& c : cases)
        EXPECT_EQ(sp.correct(u(c.word), {"fr"}), c.correct) << c.word;

    EXPECT_FALSE(sp.correct(u("voir-dire"), {"fr"}));
    g.addWord(u("voir-dire"));
    EXPECT_TRUE(sp.correct(u("voir-dire"), {"fr"}));
    EXPECT_EQ(misspelled(sp, "Voir-dire sur la pièce", {"fr"}), (Words{"sur", "la"}));
}

TEST_F(Spelling, SuggestionsComeBackFromTheDictionarysEncoding) {
    EXPECT_EQ(firstSuggestion(sp, "temoin", {"fr"}), "témoin");
    EXPECT_EQ(firstSuggestion(sp, "witnes", {"fr", "en"}), "witness");
    EXPECT_LE(sp.suggest(u("a"), {"fr", "en"}, 1).size(), 1u);
}

TEST(SpellingFolder, MissingDictionariesMeanNoCheckingAndAreReportedOnce) {
    TempAppFolder empty;
    Words reported;
    const SpellingReport report = [&](const SpellingProblem& p) { reported.push_back(p.language); };
    Speller sp(empty.path(), report);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(misspelled(sp, "zzzq qqqz", {"fr", "en"}).empty());
        EXPECT_TRUE(sp.correct(u("zzzq"), {"fr"}));
        EXPECT_TRUE(sp.suggest(u("zzzq"), {"fr"}).empty());
    }
    EXPECT_FALSE(sp.checks({"fr", "en"}));
    EXPECT_EQ(reported, (Words{"fr", "en"}));

    // One language there, the other missing: the one there checks alone.
    TempAppFolder half;
    const Str halfPath = withDictionaries(half);
    std::filesystem::remove(half.file("en_US.dic"));
    reported.clear();
    Speller one(halfPath, report);
    EXPECT_EQ(misspelled(one, "witness témoin", {"fr", "en"}), (Words{"witness"}));
    EXPECT_EQ(reported, (Words{"en"}));
    EXPECT_FALSE(one.available("en"));
}

TEST(SpellingFolder, LanguageNamesFindTheirDictionaries) {
    TempAppFolder dir;
    dir.writeBytes("fr_CA.aff", "SET UTF-8\n");
    dir.writeBytes("fr_CA.dic", "1\ncourriel\n");
    dir.writeBytes("en.aff", "SET UTF-8\n");
    dir.writeBytes("en.dic", "1\nwitness\n");
    Speller sp(dir.path());
    EXPECT_TRUE(sp.correct(u("courriel"), {"fr"}));    // any fr_* when no fr_FR
    EXPECT_TRUE(sp.correct(u("courriel"), {"fr_CA"})); // a full name as it is
    EXPECT_TRUE(sp.correct(u("witness"), {"en"}));     // en when no en_US
    EXPECT_FALSE(sp.available("fr_FR"));
}

TEST(SpellingSystem, FrenchAndEnglishDictionariesOfTheSystem) {
    Speller sp;
    if (!sp.available("fr") || !sp.available("en"))
        GTEST_SKIP() << "hunspell-fr or hunspell-en-us not installed";
    EXPECT_EQ(misspelled(sp, "Le témoin jusqu`à l\u2019audience, temoin.", {"fr"}),
              (Words{"temoin"}));
    EXPECT_EQ(misspelled(sp, "The witness's well-known objection, witnes.", {"en"}),
              (Words{"witnes"}));
    EXPECT_EQ(misspelled(sp, "Objection retenue, the witness withdrew.", {"fr", "en"}), Words{});
    EXPECT_EQ(firstSuggestion(sp, "temoin", {"fr"}), "témoin");
}

} // namespace
} // namespace dalmure::writing::test
