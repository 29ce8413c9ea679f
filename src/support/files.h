// File-system helpers over real files. Paths are Str (UTF-16) inside the control and UTF-8 on
// disk. Failures raise ControlErrors with the host language's file error numbers.
//
// What the control writes in the application folder (the minutes page, the log folders and
// the log file) goes through Folder: the folder is opened once and every name under it is
// reached from its descriptor, one level at a time, never through a symbolic link and only
// when it is a regular file (or a real folder). Nothing is opened in a way that can block: a
// FIFO or a device in a file's place is refused, not opened. New files are made 0600, new
// folders 0700; a file that is replaced keeps the mode it had.
#pragma once

#include "support/text.h"

#include <string>
#include <string_view>

namespace dalmure::files {

std::string toNative(const Str& path);

// The path of folder/name where name is matched without regard to case when no file of the
// exact name exists; folder/name itself when nothing matches.
Str findNoCase(const Str& folder, const Str& name);

bool exists(const Str& path);        // anything of that name
bool isRegularFile(const Str& path); // a normal file (not a folder), links followed

// The whole of a regular file (links in the path followed). A FIFO, a device or a folder in
// its place is refused without being waited for.
std::string readAll(const Str& path);

class Folder {
  public:
    // The folder at path. The path is the caller's: links on the way to it are followed.
    static Folder open(const Str& path);
    // A folder given as a path whose last level is opened like a sub-folder (never through a
    // link) and created 0700 when nothing of that name exists; the levels above it must exist.
    static Folder openLast(const Str& path);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    const std::string& path() const { return path_; } // native, for messages
    int descriptor() const { return fd_; }

    // The sub-folder name, opened without following a link; created 0700 when missing.
    Folder sub(std::string_view name) const;

    enum class Kind { Missing, Regular, Folder, Other }; // Other: a link, a FIFO, a device...
    Kind kind(std::string_view name) const;

    // Appends bytes to the regular file name (created 0600 when missing) with one write(2) on
    // an O_APPEND descriptor, so that lines appended by several processes never interleave.
    void append(std::string_view name, std::string_view bytes) const;

    // A new file being written beside name, to be put in its place whole by commit(). Until
    // then name keeps its previous contents; a Replacement dropped without commit() (an error
    // on the way, an exception) removes its copy and leaves name as it was. The copy is named
    // "." name "." pid "." random ".tmp" and created exclusively, 0600; commit() gives it the
    // mode (and, where the process may, the owner) of the file it replaces, syncs it, renames it
    // over name and syncs the folder. Copies left by a process that no longer runs are removed
    // after a commit. An existing name that is not a regular file is refused.
    class Replacement {
      public:
        Replacement(Replacement&& other) noexcept;
        Replacement& operator=(Replacement&&) = delete;
        Replacement(const Replacement&) = delete;
        Replacement& operator=(const Replacement&) = delete;
        ~Replacement();
        void write(std::string_view bytes);
        void commit();

      private:
        friend class Folder;
        Replacement(const Folder& folder, std::string_view name);
        const Folder* folder_;
        std::string target_, copy_, native_;
        int fd_ = -1;
        unsigned mode_ = 0600;
        bool keepOwner_ = false;
        unsigned uid_ = 0, gid_ = 0;
    };
    Replacement replacement(std::string_view name) const;

    // A file holding exactly bytes put in the place of name, as a Replacement does it.
    void replace(std::string_view name, std::string_view bytes) const;

    // The whole of the regular file name, never through a link and never waiting.
    std::string read(std::string_view name) const;

  private:
    Folder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    std::string child(std::string_view name) const;
    void removeStaleCopies(std::string_view name) const;

    int fd_ = -1;
    std::string path_;
};

} // namespace dalmure::files
