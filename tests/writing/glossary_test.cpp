// The glossary file as a clerk's office writes it, read again when it changes, and the hearing's.
#include "temp_folder.h"
#include "writing/glossary.h"

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

using Kind = GlossaryProblem::Kind;
using Lines = std::vector<std::pair<int, Kind>>;

struct Reported {
    std::vector<GlossaryProblem> problems;
    GlossaryReport sink() {
        return [this](const GlossaryProblem& p) { problems.push_back(p); };
    }
    Lines lines() const {
        Lines out;
        for (const auto& p : problems)
            out.emplace_back(p.line, p.kind);
        return out;
    }
};

// What each abbreviation typed finds, "|" between them.
std::string textsOf(const Glossary& g, std::initializer_list<const char*> typed) {
    std::string out;
    for (const char* t : typed) {
        const GlossaryEntry* e = g.find(u(t));
        out += (out.empty() ? "" : "|") + (e ? s(e->text) : "<none>");
    }
    return out;
}

class GlossaryFile : public ::testing::Test {
  protected:
    void read(const std::string& contents) {
        write(contents);
        g.setFile(u(dir.file("g.txt")), rep.sink());
    }
    void write(const std::string& contents) { dir.writeBytes("g.txt", contents); }
    TempAppFolder dir;
    Reported rep;
    Glossary g;
};

TEST_F(GlossaryFile, ReadsEntriesAndReportsEachBadLineOnceWithItsNumber) {
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
    EXPECT_EQ(rep.lines(), (Lines{{6, Kind::NoTab},
                                  {7, Kind::BadAbbreviation},
                                  {8, Kind::ExtraTab},
                                  {9, Kind::BadAbbreviation},
                                  {10, Kind::EmptyText},
                                  {11, Kind::InvalidUtf8}}));
    EXPECT_EQ(s(rep.problems[0].content), "no tab here");
    EXPECT_EQ(rep.problems[0].path, u(dir.file("g.txt")));
    // BOM and CR gone, the later line wins, spaces around both fields dropped.
    EXPECT_EQ(textsOf(g, {"tem", "me", "obj", "ac", "last", "p5"}),
              "témoin|Me Tremblay, avocat de la défense|objection retenue|l'accusé|"
              "no newline at the end|<none>");
    EXPECT_EQ(g.fileEntryCount(), 5u);
}

TEST_F(GlossaryFile, ReadAgainOnlyWhenItChanges) {
    read("tem\ttémoin\n");
    EXPECT_FALSE(g.refresh()); // unchanged
    // Same size, new contents: the change time (or the inode) tells.
    dir.writeBytes("g.txt.new", "tem\ttemps!\n");
    std::filesystem::rename(dir.file("g.txt.new"), dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(textsOf(g, {"tem"}), "temps!");
    // Gone: entries dropped, reported once however often it is looked at.
    std::filesystem::remove(dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_FALSE(g.refresh());
    EXPECT_EQ(textsOf(g, {"tem"}), "<none>");
    EXPECT_EQ(rep.lines(), (Lines{{0, Kind::Missing}}));
    // Back, with a bad line: read and reported again.
    write("x\n");
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(rep.lines(), (Lines{{0, Kind::Missing}, {1, Kind::NoTab}}));
}

TEST_F(GlossaryFile, WhatIsNoRegularFileIsRefusedOnceAndNotWaitedFor) {
    write("tem\ttémoin\n");
    std::filesystem::create_symlink(dir.file("g.txt"), dir.file("link.txt"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
    for (const char* name : {"link.txt", "fifo.txt"}) {
        SCOPED_TRACE(name);
        Reported refused;
        Glossary other;
        other.setFile(u(dir.file(name)), refused.sink());
        EXPECT_FALSE(other.refresh());
        ASSERT_EQ(refused.lines(), (Lines{{0, Kind::Unreadable}}));
        EXPECT_FALSE(refused.problems[0].detail.empty());
        EXPECT_EQ(other.fileEntryCount(), 0u);
    }
}

// The read waits until the test lets it go: one made on the caller's thread would never return.
TEST(GlossaryAccess, AChangedFileIsReadOffTheCallersThreadAndSwappedInWhole) {
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
    Glossary g;
    g.setFile(u("virtual/g.txt"), {}, access);
    gated = true;
    contents = "tem\ttemps\nobj\tobjection\n";
    stamp.modifiedNs = 200;
    EXPECT_FALSE(g.refreshInBackground()); // starts the read and comes back
    EXPECT_TRUE(g.loading());
    EXPECT_FALSE(g.refreshInBackground()); // still reading: one read at a time
    EXPECT_EQ(textsOf(g, {"tem", "obj"}), "témoin|<none>");
    gate.set_value();
    while (!g.refreshInBackground())
        std::this_thread::yield();
    EXPECT_FALSE(g.loading());
    EXPECT_EQ(textsOf(g, {"tem", "obj"}), "temps|objection");
    EXPECT_TRUE(g.knowsWord(u("OBJECTION")));
    EXPECT_FALSE(g.knowsWord(u("témoin")));
    EXPECT_FALSE(g.refreshInBackground()); // unchanged since
    stamp.statusChangedNs = 300;           // a chmod: looked at again
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(reads, 3);
}

TEST_F(GlossaryFile, AtMostTenBadLinesAreReportedPerReadThenTheirCount) {
    std::string file = "ok\tbien\n";
    for (int i = 0; i < 25; ++i)
        file += "sans tabulation " + std::to_string(i) + "\n";
    read(file);
    ASSERT_EQ(rep.problems.size(), 11u);
    EXPECT_EQ(rep.problems[9].line, 11);
    EXPECT_EQ(rep.problems[10].kind, Kind::MoreBadLines);
    EXPECT_EQ(rep.problems[10].count, 25u);
    EXPECT_EQ(textsOf(g, {"ok"}), "bien");
    write(file + "encore une\n");
    g.refreshInBackground();
    g.finishLoading();
    ASSERT_EQ(rep.problems.size(), 22u);
    EXPECT_EQ(rep.problems[21].count, 26u);
}

TEST_F(GlossaryFile, HearingEntriesWinOverTheFileAndSurviveItsReloads) {
    read("me\tMe Gagnon\ntem\ttémoin\n");
    g.setHearingEntry(u("me"), u("Me Tremblay"));
    g.setHearingEntry(u("p5"), u("pièce P-5"));
    // "Me": the case differs, still found.
    EXPECT_EQ(textsOf(g, {"me", "Me", "tem"}), "Me Tremblay|Me Tremblay|témoin");
    write("me\tMe Gagnon\ntem\ttémoins\nxx\tsomething longer\n");
    ASSERT_TRUE(g.refresh());
    EXPECT_EQ(textsOf(g, {"me", "tem", "p5"}), "Me Tremblay|témoins|pièce P-5");
    g.removeHearingEntry(u("me"));
    EXPECT_EQ(textsOf(g, {"me"}), "Me Gagnon");
    EXPECT_FALSE(g.setHearingEntry(u("P-5"), u("pièce")));
    EXPECT_FALSE(g.setHearingEntry(u("p6"), u("")));
    EXPECT_EQ(g.hearingEntryCount(), 1u);
    g.clearHearingEntries();
    EXPECT_EQ(textsOf(g, {"p5"}), "<none>");
}

TEST_F(GlossaryFile, LinesWrittenForAnEntryReadBackAsThatEntry) {
    read("# ajoutés par la greffe\n" + Glossary::fileLine(u("tremblayroy"), u("Tremblay-Roy")) +
         Glossary::fileLine(u("p5"), u("pièce P-5 # sous réserve")));
    EXPECT_TRUE(rep.problems.empty());
    EXPECT_EQ(textsOf(g, {"tremblayroy", "p5"}), "Tremblay-Roy|pièce P-5 # sous réserve");
    for (const char* text : {"a\tb", "a\nb", " lead", "trail ", ""})
        EXPECT_EQ(Glossary::fileLine(u("x"), u(text)), "") << text;
    EXPECT_EQ(Glossary::fileLine(u("p-5"), u("pièce")), "");
}

// The exact case first, then the lower-case entry; words known as written, capitalised or all caps.
TEST(GlossaryLookup, CaseOfAbbreviationsAndOfKnownWords) {
    Glossary g;
    g.setHearingEntry(u("ps"), u("post-scriptum"));
    g.setHearingEntry(u("PS"), u("Parti social"));
    g.setHearingEntry(u("Qc"), u("Québec"));
    g.setHearingEntry(u("me"), u("Me Tremblay-Roy, pour l'intimée"));
    g.addWord(u("voir-dire"));
    EXPECT_EQ(textsOf(g, {"ps", "PS", "Ps", "qc", "QC", ""}),
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

} // namespace
} // namespace dalmure::writing::test
