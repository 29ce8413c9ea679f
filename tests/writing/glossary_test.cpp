// The glossary as a clerk's office writes it and as the hearing adds to it, its abbreviations
// expanded as the clerk types them, and spelling that knows its words.
#include "temp_folder.h"
#include "writing/expansion.h"
#include "writing/glossary.h"
#include "writing/spelling.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace dalmure::writing::test {
using dalmure::test::s, dalmure::test::u, dalmure::test::TempAppFolder;
namespace {

using enum GlossaryProblem::Kind;
using Lines = std::vector<std::pair<int, GlossaryProblem::Kind>>;
using Words = std::vector<std::string>;

// The (line, kind) of each problem reported.
Lines linesOf(const std::vector<GlossaryProblem>& problems) {
    Lines out;
    for (const auto& p : problems)
        out.emplace_back(p.line, p.kind);
    return out;
}

// A glossary, its file in a scratch folder and the problems it reported.
class Glossaries : public ::testing::Test {
  protected:
    void entries(std::initializer_list<std::pair<const char*, const char*>> list) {
        for (const auto& [abbreviation, text] : list)
            g.setHearingEntry(u(abbreviation), u(text));
    }
    // What each abbreviation typed finds, "|" between them.
    std::string textsOf(std::initializer_list<const char*> typed) const {
        std::string out;
        for (const char* t : typed) {
            const GlossaryEntry* e = g.find(u(t));
            out += (out.empty() ? "" : "|") + (e ? s(e->text) : "<none>");
        }
        return out;
    }
    void read(const std::string& contents) {
        write(contents);
        g.setFile(u(dir.file("g.txt")), report);
    }
    void write(const std::string& contents) { dir.writeBytes("g.txt", contents); }
    TempAppFolder dir;
    std::vector<GlossaryProblem> problems;
    GlossaryReport report = [this](const GlossaryProblem& p) { problems.push_back(p); };
    Glossary g;
};

TEST_F(Glossaries, ReadsEntriesAndReportsEachBadLineOnceWithItsNumber) {
    read("\ufeff# Glossaire de la salle 4\n"
         "tem\ttémoin\r\n"
         "\n"
         "   # an indented comment\n"
         "me\tMe Tremblay, avocat de la défense\n"
         "no tab here\n"
         "\tleading tab means no abbreviation\n"
         "p5\tpièce P-5\textra column\n"
         "p-5\thyphen in abbreviation\n"
         "vide\t   \n"
         "bad\t\xC3(\n"
         "obj\tobjection  \n"
         "obj\tobjection retenue\n"
         "   ac \t l'accusé  \t\n"
         "last\tno newline at the end");
    const Lines bad{
        {6, NoTab},           {7, BadAbbreviation}, {8, ExtraTab},
        {9, BadAbbreviation}, {10, EmptyText},      {11, InvalidUtf8},
    };
    EXPECT_EQ(linesOf(problems), bad);
    EXPECT_EQ(s(problems[0].content), "no tab here");
    EXPECT_EQ(problems[0].path, u(dir.file("g.txt")));
    // BOM and CR gone, the later line wins, spaces around both fields dropped.
    EXPECT_EQ(textsOf({"tem", "me", "obj", "ac", "last", "p5"}),
              "témoin|Me Tremblay, avocat de la défense|objection retenue|l'accusé|"
              "no newline at the end|<none>");
    EXPECT_EQ(g.fileEntryCount(), 5u);
}

TEST_F(Glossaries, ReadAgainOnlyWhenItChanges) {
    read("tem\ttémoin\n");
    EXPECT_FALSE(g.refresh()); // unchanged
    // Same size, new contents: the change time (or the inode) tells.
    dir.writeBytes("g.txt.new", "tem\ttemps!\n");
    std::filesystem::rename(dir.file("g.txt.new"), dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(textsOf({"tem"}), "temps!");
    // Gone: entries dropped, reported once however often it is looked at.
    std::filesystem::remove(dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_FALSE(g.refresh());
    EXPECT_EQ(textsOf({"tem"}), "<none>");
    EXPECT_EQ(linesOf(problems), (Lines{{0, Missing}}));
    // Back, with a bad line: read and reported again.
    write("x\n");
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(linesOf(problems), (Lines{{0, Missing}, {1, NoTab}}));
}

TEST_F(Glossaries, WhatIsNoRegularFileIsRefusedOnceAndNotWaitedFor) {
    write("tem\ttémoin\n");
    std::filesystem::create_symlink(dir.file("g.txt"), dir.file("link.txt"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
    for (const char* name : {"link.txt", "fifo.txt"}) {
        SCOPED_TRACE(name);
        std::vector<GlossaryProblem> refused;
        Glossary other;
        other.setFile(u(dir.file(name)), [&](const GlossaryProblem& p) { refused.push_back(p); });
        EXPECT_FALSE(other.refresh());
        ASSERT_EQ(linesOf(refused), (Lines{{0, Unreadable}}));
        EXPECT_FALSE(refused[0].detail.empty());
        EXPECT_EQ(other.fileEntryCount(), 0u);
    }
}

// The read waits until the test lets it go: one made on the caller's thread would never return.
TEST_F(Glossaries, AChangedFileIsReadOffTheCallersThreadAndSwappedInWhole) {
    std::string contents = "tem\ttémoin\n";
    FileStamp stamp{true, 1, 1, contents.size(), 100, 100};
    std::promise<void> gate;
    bool gated = false;
    int reads = 0;
    FileAccess access{[&](const Str&) { return stamp; },
                      [&, opened = gate.get_future().share()](const Str& path) {
                          EXPECT_EQ(s(path), "virtual/g.txt");
                          ++reads;
                          if (gated && opened.wait_for(std::chrono::seconds(20)) !=
                                           std::future_status::ready)
                              throw std::runtime_error("the read was waited for");
                          return contents;
                      }};
    g.setFile(u("virtual/g.txt"), {}, access);
    gated = true;
    contents = "tem\ttemps\nobj\tobjection\n";
    stamp.modifiedNs = 200;
    EXPECT_FALSE(g.refreshInBackground()); // starts the read and comes back
    EXPECT_TRUE(g.loading());
    EXPECT_FALSE(g.refreshInBackground()); // still reading: one read at a time
    EXPECT_EQ(textsOf({"tem", "obj"}), "témoin|<none>");
    gate.set_value();
    while (!g.refreshInBackground())
        std::this_thread::yield();
    EXPECT_FALSE(g.loading());
    EXPECT_EQ(textsOf({"tem", "obj"}), "temps|objection");
    EXPECT_TRUE(g.knowsWord(u("OBJECTION")));
    EXPECT_FALSE(g.knowsWord(u("témoin")));
    EXPECT_FALSE(g.refreshInBackground()); // unchanged since
    stamp.statusChangedNs = 300;           // a chmod: looked at again
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(reads, 3);
}

TEST_F(Glossaries, AtMostTenBadLinesAreReportedPerReadThenTheirCount) {
    std::string file = "ok\tbien\n";
    for (int i = 0; i < 25; ++i)
        file += "sans tabulation " + std::to_string(i) + "\n";
    read(file);
    ASSERT_EQ(problems.size(), 11u);
    EXPECT_EQ(problems[9].line, 11);
    EXPECT_EQ(problems[10].kind, MoreBadLines);
    EXPECT_EQ(problems[10].count, 25u);
    EXPECT_EQ(textsOf({"ok"}), "bien");
    write(file + "encore une\n");
    g.refreshInBackground();
    g.finishLoading();
    ASSERT_EQ(problems.size(), 22u);
    EXPECT_EQ(problems[21].count, 26u);
}

TEST_F(Glossaries, HearingEntriesWinOverTheFileAndSurviveItsReloads) {
    read("me\tMe Gagnon\ntem\ttémoin\n");
    entries({{"me", "Me Tremblay"}, {"p5", "pièce P-5"}});
    // "Me": the case differs, still found.
    EXPECT_EQ(textsOf({"me", "Me", "tem"}), "Me Tremblay|Me Tremblay|témoin");
    write("me\tMe Gagnon\ntem\ttémoins\nxx\tsomething longer\n");
    ASSERT_TRUE(g.refresh());
    EXPECT_EQ(textsOf({"me", "tem", "p5"}), "Me Tremblay|témoins|pièce P-5");
    g.removeHearingEntry(u("me"));
    EXPECT_EQ(textsOf({"me"}), "Me Gagnon");
    EXPECT_FALSE(g.setHearingEntry(u("P-5"), u("pièce")));
    EXPECT_FALSE(g.setHearingEntry(u("p6"), u("")));
    EXPECT_EQ(g.hearingEntryCount(), 1u);
    g.clearHearingEntries();
    EXPECT_EQ(textsOf({"p5"}), "<none>");
}

TEST_F(Glossaries, LinesWrittenForAnEntryReadBackAsThatEntry) {
    read("# ajoutés par la greffe\n" + Glossary::fileLine(u("tremblayroy"), u("Tremblay-Roy")) +
         Glossary::fileLine(u("p5"), u("pièce P-5 # sous réserve")));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(textsOf({"tremblayroy", "p5"}), "Tremblay-Roy|pièce P-5 # sous réserve");
    for (const char* text : {"a\tb", "a\nb", " lead", "trail ", ""})
        EXPECT_EQ(Glossary::fileLine(u("x"), u(text)), "") << text;
    EXPECT_EQ(Glossary::fileLine(u("p-5"), u("pièce")), "");
}

// The exact case first, then the lower-case entry; words known as written, capitalised or all caps.
TEST_F(Glossaries, CaseOfAbbreviationsAndOfKnownWords) {
    entries({{"ps", "post-scriptum"}, {"PS", "Parti social"}, {"Qc", "Québec"}});
    entries({{"me", "Me Tremblay-Roy, pour l'intimée"}});
    g.addWord(u("voir-dire"));
    EXPECT_EQ(textsOf({"ps", "PS", "Ps", "qc", "QC", ""}),
              "post-scriptum|Parti social|post-scriptum|Québec|Québec|<none>");
    for (const char* word : {"Tremblay-Roy", "TREMBLAY-ROY", "l'intimée", "pour", "Pour",
                             "voir-dire", "Voir-dire", "VOIR-DIRE"})
        EXPECT_TRUE(g.knowsWord(u(word))) << word;
    for (const char* word : {"tremblay-roy", "vOIR-dire", "Tremblay", "me"})
        EXPECT_FALSE(g.knowsWord(u(word))) << word;

    const auto before = g.version();
    g.removeHearingEntry(u("me"));
    EXPECT_GT(g.version(), before);
    EXPECT_FALSE(g.knowsWord(u("Tremblay-Roy")));
}

class Expanding : public Glossaries {
  protected:
    void SetUp() override {
        entries({{"tem", "témoin"}, {"me", "Me Tremblay"}, {"oe", "œuvre"}, {"p5", "pièce P-5"}});
        entries({{"j", "juge"}, {"Juge", "Juge"}});
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
};

TEST_F(Expanding, KeepsTheCaseTheClerkTyped) {
    const std::pair<const char*, const char*> cases[] = {
        {"tem", "témoin"},     {"Tem", "Témoin"},     {"TEM", "TÉMOIN"}, {"tEm", "témoin"},
        {"me", "Me Tremblay"}, {"ME", "ME TREMBLAY"}, {"oe", "œuvre"},   {"Oe", "Œuvre"},
        {"OE", "ŒUVRE"},       {"P5", "Pièce P-5"},   {"j", "juge"},     {"J", "Juge"},
    };
    for (const auto& [abbreviation, expected] : cases)
        EXPECT_EQ(typed(std::string("Le ") + abbreviation, " "),
                  std::string("Le ") + expected + " ")
            << abbreviation;
    // A text that starts with no letter takes the case from its first letter, one that starts
    // with a number is left as it is (no "5E").
    EXPECT_EQ(s(applyCasePattern(u("Pv"), u("« procès-verbal »"))), "« Procès-verbal »");
    EXPECT_EQ(s(applyCasePattern(u("P5"), u("5e pièce"))), "5e pièce");
    EXPECT_EQ(s(applyCasePattern(u("PV"), u("à l'œil"))), "À L'ŒIL");
}

TEST_F(Expanding, EveryWordEndingKeyExpandsAndOtherKeysDoNot) {
    for (const char* key : {" ", ".", ",", ";", ":", "!", "?", ")", "\n", "\r", "\t", "/", "\u00a0",
                            "»", "…", "\u2029"})
        EXPECT_EQ(typed("(tem", key), std::string("(témoin") + key) << "key " << key;
    for (const char* key : {"x", "5", "-", "'", "\u2019", "`", "(", "é"})
        EXPECT_EQ(typed("tem", key), std::string("tem") + key) << "key " << key;
}

TEST_F(Expanding, OnlyAWholeWordIsAnAbbreviation) {
    const std::pair<const char*, const char*> cases[] = {
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
    for (const auto& [before, expected] : cases)
        EXPECT_EQ(typed(before, " "), expected) << before;
    // An ending typed inside a word leaves it alone; one after a word in the middle expands it.
    EXPECT_EQ(at("Le tem oignage", 7), "Le tem oignage");
    EXPECT_EQ(at("Le tem, puis", 7), "Le témoin,| puis");
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

// Small dictionaries, the French one in ISO-8859-1 as older ones are; then the system's.
Str withDictionaries(const TempAppFolder& dir) {
    std::string latin1;
    for (char16_t c : u("6\ntémoin\naudience\naccusé\nl'accusé\npièce\ndéfense\n"))
        latin1.push_back(static_cast<char>(c));
    dir.writeBytes("fr_FR.aff", "SET ISO8859-1\nTRY esiarntolcdugmphbyfvkwz\n");
    dir.writeBytes("fr_FR.dic", latin1);
    dir.writeBytes("en_US.aff", "SET UTF-8\nTRY esiarntolcdugmphbyfvkwz\n");
    dir.writeBytes("en_US.dic", "4\nwitness\nhearing\ndefence\naccused\n");
    return dir.path();
}

// As text, so that the UTF-16 offsets are checked through the words they cut out.
Words misspelled(Speller& sp, const std::string& note, const Words& languages) {
    const Str text = u(note);
    Words out;
    for (WordSpan w : sp.misspelled(text, languages))
        out.push_back(s(text.substr(w.start, w.length)));
    return out;
}

std::string firstSuggestion(Speller& sp, const char* word, const Words& languages) {
    const auto all = sp.suggest(u(word), languages);
    return all.empty() ? "<none>" : s(all[0]);
}

class Spelling : public Glossaries {
  protected:
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
    // Suggestions come back from the dictionary's encoding.
    EXPECT_EQ(firstSuggestion(sp, "temoin", {"fr"}), "témoin");
    EXPECT_EQ(firstSuggestion(sp, "witnes", {"fr", "en"}), "witness");
    EXPECT_LE(sp.suggest(u("a"), {"fr", "en"}, 1).size(), 1u);
}

TEST_F(Spelling, WhatIsNotCheckedOrCountsAsCorrect) {
    entries({{"me", "Me Tremblay-Roy"}, {"orv", "Orvane"}});
    sp.setGlossary(&g);
    const std::pair<const char*, bool> cases[] = {
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
    for (const auto& [word, correct] : cases)
        EXPECT_EQ(sp.correct(u(word), {"fr"}), correct) << word;

    EXPECT_FALSE(sp.correct(u("voir-dire"), {"fr"}));
    g.addWord(u("voir-dire"));
    EXPECT_TRUE(sp.correct(u("voir-dire"), {"fr"}));
    EXPECT_EQ(misspelled(sp, "Voir-dire sur la pièce", {"fr"}), (Words{"sur", "la"}));
}

TEST_F(Spelling, MissingDictionariesMeanNoCheckingAndAreReportedOnce) {
    TempAppFolder empty;
    Words reported;
    const SpellingReport report = [&](const SpellingProblem& p) { reported.push_back(p.language); };
    Speller none(empty.path(), report);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(misspelled(none, "zzzq qqqz", {"fr", "en"}).empty());
        EXPECT_TRUE(none.correct(u("zzzq"), {"fr"}));
        EXPECT_TRUE(none.suggest(u("zzzq"), {"fr"}).empty());
    }
    EXPECT_FALSE(none.checks({"fr", "en"}));
    EXPECT_EQ(reported, (Words{"fr", "en"}));

    // One language there, the other missing: the one there checks alone.
    std::filesystem::remove(dir.file("en_US.dic"));
    reported.clear();
    Speller one(dir.path(), report);
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
