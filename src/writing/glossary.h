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
// the file's. The file is read again when it changes: refresh() compares its size, change time
// and inode with what was read last, so that the caller decides when to look (no thread).
#pragma once

#include "support/text.h"

#include <cstdint>
#include <functional>
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
    };
    Kind kind;
    Str path;
    int line = 0;
    Str content; // the line as read (invalid bytes as U+FFFD), for the log
    std::string detail;
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

    std::size_t fileEntryCount() const { return file_.entries.size(); }
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
    void load();
    void rebuildWords();

    Str path_;
    GlossaryReport report_;
    FileAccess access_;
    FileStamp stamp_;
    bool reportedFileProblem_ = false;
    Table file_, hearing_;
    std::unordered_set<Str> added_, addedUpper_;
    std::unordered_set<Str> words_, wordsUpper_; // of every entry's text, and in capitals
    std::uint64_t version_ = 0;
};

} // namespace dalmure::writing
