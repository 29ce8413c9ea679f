// The glossary: abbreviations the notes editor expands as the clerk types, and words that
// count as correctly spelled.
//
// Its entries come from two places. A plain UTF-8 file named by the application's settings, one
// entry a line:
//
//     # comment
//     tem<TAB>témoin
//     me<TAB>Me Tremblay, avocat de la défense
//
// and the entries the host gives for the hearing (parties, counsel, exhibits), which win over
// the file's. The file is read again when it changes: its size, change time and inode are
// compared with what was read last, so that the caller decides when to look. A file of a
// million lines takes seconds to read: refreshInBackground() reads it on a thread of its own
// and a later call swaps the new entries in whole, so that the typing never waits for it.
// At most kReportedBadLines bad lines are reported per read, then one report with their count.
#pragma once

#include "support/text.h"

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace dalmure::writing {

// What identifies one version of a file without reading it.
struct FileStamp {
    bool present = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0;      // in nanoseconds
    std::int64_t statusChangedNs = 0; // also moves on chmod, chown, rename
    bool operator==(const FileStamp&) const = default;
};

// How the glossary reaches its file, so that the control can use its own file layer. stamp()
// looks without reading ({} when nothing is there); read() returns the whole file and throws
// (any std::exception) when it cannot.
struct FileAccess {
    std::function<FileStamp(const Str& path)> stamp;
    std::function<std::string(const Str& path)> read;
};

// The default access: a regular file only, never through a link at its last level, never a
// FIFO or a device waited for.
FileAccess regularFileAccess();

// Something wrong in the glossary file. line is 1-based, 0 when the file as a whole is meant.
struct GlossaryProblem {
    enum class Kind {
        NoTab,           // no tab between abbreviation and text
        ExtraTab,        // more than one tab on the line
        BadAbbreviation, // empty, or not made of letters and digits only
        EmptyText,       // nothing after the tab
        InvalidUtf8,     // the line is not UTF-8
        Unreadable,      // the file is there but could not be read (detail says why)
        Missing,         // no file of that name
        MoreBadLines,    // bad lines past those reported; count says how many in all
    };
    Kind kind;
    Str path;
    int line = 0;
    Str content; // the line as read (invalid bytes as U+FFFD), for the log
    std::string detail;
    std::size_t count = 0;
};
using GlossaryReport = std::function<void(const GlossaryProblem&)>;

struct GlossaryEntry {
    Str abbreviation;
    Str text;
};

class Glossary {
  public:
    Glossary();
    ~Glossary();
    Glossary(const Glossary&) = delete;
    Glossary& operator=(const Glossary&) = delete;

    // The file to read (empty: none) and how. Reads it at once; problems go to report, one
    // call a bad line, and a missing or unreadable file once until it changes.
    void setFile(Str path, GlossaryReport report = {}, FileAccess access = regularFileAccess());
    // Reads the file again when its stamp changed since the last read. True when it was read.
    bool refresh();
    // The same without reading on the caller's thread: swaps in a read that has finished (true
    // then, its problems reported here), and starts one on a thread of its own when the stamp
    // changed since the last read and none is under way. Until the new read is swapped in, the
    // entries read before stay in use.
    bool refreshInBackground();
    bool loading() const { return pending_.valid(); }
    // Waits for a read under way and swaps it in; true when there was one.
    bool finishLoading();

    static constexpr std::size_t kReportedBadLines = 10;

    // The hearing's entries, over the file's for the same abbreviation. False (and nothing
    // kept) for an abbreviation that is not letters and digits or an empty text.
    bool setHearingEntry(const Str& abbreviation, const Str& text);
    void removeHearingEntry(const Str& abbreviation);
    void clearHearingEntries();
    // A word the clerk added as correctly spelled (the editor's "add to glossary").
    void addWord(const Str& word);

    // The entry for what was typed: the same abbreviation first, else one that differs only in
    // case ("Tem" finds "tem"). Hearing entries are looked up before the file's.
    const GlossaryEntry* find(StrView typed) const;

    // A word that appears in an entry's text, or one added with addWord. A word written with
    // a capital or in capitals is known when its lower-case form is ("Témoin", "TÉMOIN").
    bool knowsWord(StrView word) const;

    std::size_t fileEntryCount() const { return file_->table.entries.size(); }
    std::size_t hearingEntryCount() const { return hearing_.entries.size(); }
    // Grows whenever the entries or the known words change.
    std::uint64_t version() const { return version_; }

    // Checks an abbreviation as the file's lines are checked: letters and digits only.
    static bool validAbbreviation(StrView abbreviation);
    // The file's line for an entry (UTF-8, ending in a newline), for an editor that appends
    // to the file; empty when the entry could not be read back (see setHearingEntry), or when
    // the text holds a tab or a line break.
    static std::string fileLine(StrView abbreviation, StrView text);

  private:
    struct Table {
        std::unordered_map<Str, GlossaryEntry> entries; // by abbreviation
        std::unordered_multimap<Str, Str> byLower;      // lower-case abbreviation -> key
        void put(const Str& abbreviation, const Str& text);
        void erase(const Str& abbreviation);
        void clear();
        const GlossaryEntry* find(StrView typed, const Str& lowered) const;
    };
    // The file's entries and the words of their texts (as written and in capitals).
    struct FilePart {
        Table table;
        std::unordered_set<Str> words, wordsUpper;
    };
    // One read of the file, made on any thread: what it found and what to report.
    struct Read {
        FileStamp stamp;
        std::unique_ptr<FilePart> part;
        bool fileProblem = false; // missing or unreadable
        std::vector<GlossaryProblem> problems;
    };
    static std::unique_ptr<Read> readFile(const Str& path, const FileAccess& access);
    void swapIn(std::unique_ptr<Read> read);
    void load();
    void rebuildHearingWords();

    Str path_;
    GlossaryReport report_;
    FileAccess access_;
    FileStamp stamp_;
    bool reportedFileProblem_ = false;
    std::unique_ptr<FilePart> file_;
    Table hearing_;
    std::unordered_set<Str> added_, addedUpper_;
    std::unordered_set<Str> hearingWords_, hearingWordsUpper_;
    std::uint64_t version_ = 0;
    std::future<std::unique_ptr<Read>> pending_; // a read under way
    std::future<void> retiring_;                 // entries swapped out, freed off the typing path
};

} // namespace dalmure::writing
