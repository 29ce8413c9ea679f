// The glossary file as a clerk's office writes it (comments, blank lines, CRLF, mistakes), its
// reading again when it changes, and the hearing's entries over it.
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

struct Reported {
    std::vector<GlossaryProblem> problems;
    GlossaryReport sink() {
        return [this](const GlossaryProblem& p) { problems.push_back(p); };
    }
    std::vector<std::pair<int, Kind>> lines() const {
        std::vector<std::pair<int, Kind>> out;
        for (const auto& p : problems)
            out.emplace_back(p.line, p.kind);
        return out;
    }
};

std::string textOf(const Glossary& g, const std::string& typed) {
    const GlossaryEntry* e = g.find(u(typed));
    return e ? s(e->text) : "<none>";
}

TEST(GlossaryFile, ReadsEntriesAndReportsEachBadLineOnceWithItsNumber) {
    TempAppFolder dir;
    dir.writeBytes("glossaire.txt", "\ufeff# Glossaire de la salle 4\n"
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
    Reported rep;
    Glossary g;
    g.setFile(u(dir.file("glossaire.txt")), rep.sink());

    EXPECT_EQ(rep.lines(), (std::vector<std::pair<int, Kind>>{{6, Kind::NoTab},
                                                              {7, Kind::BadAbbreviation},
                                                              {8, Kind::ExtraTab},
                                                              {9, Kind::BadAbbreviation},
                                                              {10, Kind::EmptyText},
                                                              {11, Kind::InvalidUtf8}}));
    EXPECT_EQ(s(rep.problems[0].content), "no tab here");
    EXPECT_EQ(rep.problems[0].path, u(dir.file("glossaire.txt")));

    EXPECT_EQ(textOf(g, "tem"), "témoin"); // BOM and CR gone
    EXPECT_EQ(textOf(g, "me"), "Me Tremblay, avocat de la défense");
    EXPECT_EQ(textOf(g, "obj"), "objection retenue"); // the later line wins
    EXPECT_EQ(textOf(g, "ac"), "l'accusé");           // spaces around both fields dropped
    EXPECT_EQ(textOf(g, "last"), "no newline at the end");
    EXPECT_EQ(textOf(g, "p5"), "<none>");
    EXPECT_EQ(g.fileEntryCount(), 5u);
}

TEST(GlossaryFile, ReadAgainOnlyWhenItChanges) {
    TempAppFolder dir;
    dir.writeBytes("g.txt", "tem\ttémoin\n");
    Reported rep;
    Glossary g;
    g.setFile(u(dir.file("g.txt")), rep.sink());
    EXPECT_FALSE(g.refresh()); // unchanged

    // Same size, new contents: the change time (or the inode) tells.
    dir.writeBytes("g.txt.new", "tem\ttemps!\n");
    std::filesystem::rename(dir.file("g.txt.new"), dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(textOf(g, "tem"), "temps!");

    // Gone: entries dropped, reported once however often it is looked at.
    std::filesystem::remove(dir.file("g.txt"));
    EXPECT_TRUE(g.refresh());
    EXPECT_FALSE(g.refresh());
    EXPECT_EQ(textOf(g, "tem"), "<none>");
    EXPECT_EQ(rep.lines(), (std::vector<std::pair<int, Kind>>{{0, Kind::Missing}}));

    // Back, with a bad line: read and reported again.
    dir.writeBytes("g.txt", "x\n");
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(rep.lines(),
              (std::vector<std::pair<int, Kind>>{{0, Kind::Missing}, {1, Kind::NoTab}}));
}

TEST(GlossaryFile, WhatIsNoRegularFileIsRefusedOnceAndNotWaitedFor) {
    TempAppFolder dir;
    dir.writeBytes("real.txt", "tem\ttémoin\n");
    std::filesystem::create_symlink(dir.file("real.txt"), dir.file("link.txt"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
    for (const char* name : {"link.txt", "fifo.txt"}) {
        SCOPED_TRACE(name);
        Reported rep;
        Glossary g;
        g.setFile(u(dir.file(name)), rep.sink());
        EXPECT_FALSE(g.refresh());
        ASSERT_EQ(rep.lines(), (std::vector<std::pair<int, Kind>>{{0, Kind::Unreadable}}));
        EXPECT_FALSE(rep.problems[0].detail.empty());
        EXPECT_EQ(g.fileEntryCount(), 0u);
    }
}

TEST(GlossaryFile, GoesThroughTheCallersFileAccess) {
    std::string contents = "tem\ttémoin\n";
    FileStamp stamp{true, 1, 1, contents.size(), 100, 100};
    int reads = 0;
    FileAccess access{[&](const Str&) { return stamp; },
                      [&](const Str& path) {
                          EXPECT_EQ(s(path), "virtual/g.txt");
                          ++reads;
                          return contents;
                      }};
    Glossary g;
    g.setFile(u("virtual/g.txt"), {}, access);
    g.refresh();
    EXPECT_EQ(reads, 1);
    contents = "tem\ttemps\n";
    stamp.modifiedNs = 200;
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(textOf(g, "tem"), "temps");
    stamp.statusChangedNs = 300; // a chmod: looked at again
    EXPECT_TRUE(g.refresh());
    EXPECT_EQ(reads, 3);
}

// A changed file is read on a thread of its own while the entries read before keep answering;
// the new ones come in whole at a later call. The read here waits until the test lets it go:
// a refresh that read on the caller's thread would never come back to let it go.
TEST(GlossaryFile, AChangedFileIsReadOffTheCallersThreadAndSwappedInWhole) {
    std::string contents = "tem\ttémoin\n";
    FileStamp stamp{true, 1, 1, contents.size(), 100, 100};
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    bool gated = false;
    FileAccess access{[&](const Str&) { return stamp; },
                      [&, opened](const Str&) {
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
    EXPECT_EQ(textOf(g, "tem"), "témoin");
    EXPECT_EQ(textOf(g, "obj"), "<none>");
    gate.set_value();
    while (!g.refreshInBackground())
        std::this_thread::yield();
    EXPECT_FALSE(g.loading());
    EXPECT_EQ(textOf(g, "tem"), "temps");
    EXPECT_EQ(textOf(g, "obj"), "objection");
    EXPECT_TRUE(g.knowsWord(u("OBJECTION")));
    EXPECT_FALSE(g.knowsWord(u("témoin")));
    EXPECT_FALSE(g.refreshInBackground()); // unchanged since
}

// A file of many bad lines: the first ten are reported, then one report with the count.
TEST(GlossaryFile, AtMostTenBadLinesAreReportedPerReadThenTheirCount) {
    TempAppFolder dir;
    std::string file = "ok\tbien\n";
    for (int i = 0; i < 25; ++i)
        file += "sans tabulation " + std::to_string(i) + "\n";
    dir.writeBytes("g.txt", file);
    Reported rep;
    Glossary g;
    g.setFile(u(dir.file("g.txt")), rep.sink());
    ASSERT_EQ(rep.problems.size(), 11u);
    EXPECT_EQ(rep.problems[9].line, 11);
    EXPECT_EQ(rep.problems[10].kind, Kind::MoreBadLines);
    EXPECT_EQ(rep.problems[10].count, 25u);
    EXPECT_EQ(textOf(g, "ok"), "bien");
    // Each read reports again, with the same cap.
    dir.writeBytes("g.txt", file + "encore une\n");
    g.refreshInBackground();
    g.finishLoading();
    ASSERT_EQ(rep.problems.size(), 22u);
    EXPECT_EQ(rep.problems[21].count, 26u);
}

TEST(GlossaryHearing, HearingEntriesWinOverTheFileAndSurviveItsReloads) {
    TempAppFolder dir;
    dir.writeBytes("g.txt", "me\tMe Gagnon\ntem\ttémoin\n");
    Glossary g;
    g.setFile(u(dir.file("g.txt")));
    g.setHearingEntry(u("me"), u("Me Tremblay"));
    g.setHearingEntry(u("p5"), u("pièce P-5"));
    EXPECT_EQ(textOf(g, "me"), "Me Tremblay");
    EXPECT_EQ(textOf(g, "Me"), "Me Tremblay"); // case differs: still found
    EXPECT_EQ(textOf(g, "tem"), "témoin");

    dir.writeBytes("g.txt", "me\tMe Gagnon\ntem\ttémoins\nxx\tsomething longer\n");
    ASSERT_TRUE(g.refresh());
    EXPECT_EQ(textOf(g, "me"), "Me Tremblay");
    EXPECT_EQ(textOf(g, "tem"), "témoins");
    EXPECT_EQ(textOf(g, "p5"), "pièce P-5");

    g.removeHearingEntry(u("me"));
    EXPECT_EQ(textOf(g, "me"), "Me Gagnon");
    EXPECT_FALSE(g.setHearingEntry(u("P-5"), u("pièce")));
    EXPECT_FALSE(g.setHearingEntry(u("p6"), u("")));
    EXPECT_EQ(g.hearingEntryCount(), 1u);
    g.clearHearingEntries();
    EXPECT_EQ(textOf(g, "p5"), "<none>");
}

TEST(GlossaryFile, LinesWrittenForAnEntryReadBackAsThatEntry) {
    TempAppFolder dir;
    const std::pair<const char*, const char*> good[] = {{"tremblayroy", "Tremblay-Roy"},
                                                        {"p5", "pièce P-5 # sous réserve"}};
    std::string file = "# ajoutés par la greffe\n";
    for (const auto& [abbreviation, text] : good)
        file += Glossary::fileLine(u(abbreviation), u(text));
    dir.writeBytes("g.txt", file);
    Reported rep;
    Glossary g;
    g.setFile(u(dir.file("g.txt")), rep.sink());
    EXPECT_TRUE(rep.problems.empty());
    for (const auto& [abbreviation, text] : good)
        EXPECT_EQ(textOf(g, abbreviation), text);
    for (const char* text : {"a\tb", "a\nb", " lead", "trail ", ""})
        EXPECT_EQ(Glossary::fileLine(u("x"), u(text)), "") << text;
    EXPECT_EQ(Glossary::fileLine(u("p-5"), u("pièce")), "");
}

// Lookups take the exact case first, then the lower-case entry; the words of every text and the
// added words are known in the forms a capital at the start or capitals throughout give them.
TEST(GlossaryLookup, CaseOfAbbreviationsAndOfKnownWords) {
    Glossary g;
    g.setHearingEntry(u("ps"), u("post-scriptum"));
    g.setHearingEntry(u("PS"), u("Parti social"));
    g.setHearingEntry(u("Qc"), u("Québec"));
    g.setHearingEntry(u("me"), u("Me Tremblay-Roy, pour l'intimée"));
    g.addWord(u("voir-dire"));
    EXPECT_EQ(textOf(g, "ps"), "post-scriptum");
    EXPECT_EQ(textOf(g, "PS"), "Parti social");
    EXPECT_EQ(textOf(g, "Ps"), "post-scriptum");
    EXPECT_EQ(textOf(g, "qc"), "Québec");
    EXPECT_EQ(textOf(g, "QC"), "Québec");
    EXPECT_EQ(textOf(g, ""), "<none>");
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
