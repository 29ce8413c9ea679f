// Journals left behind: found, summarized, replayed and discarded, each only while its lock is
// ours, so that the journal of an instance still running is never read or removed.
#include "journal/journal.h"

#include "journal/journal_db.h"
#include "support/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace dalmure::journal {

using namespace detail;

namespace {

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

} // namespace

struct Recovery::Impl {
    Report report;
    std::optional<files::Folder> folder;
    std::set<std::string> ownReported;
    std::set<std::string>* reported = &ownReported; // damaged journals already reported

    void tell(std::int32_t number, const Str& text) {
        if (report)
            report(number, text);
    }

    std::string native(const std::string& name) const {
        return folder ? folder->path() + "/" + name : name;
    }

    std::vector<std::string> names() const { return namesIn(*folder); }

    void removeFiles(const std::string& id) {
        for (const auto& name : allNames(id))
            ::unlinkat(folder->descriptor(), name.c_str(), 0);
        ::fsync(folder->descriptor());
    }

    // Journal id's lock (created when create is set), or false when another instance holds it.
    // In a folder that cannot be written the lock file is taken read-only; a journal without
    // one there is read without it, as nobody can write a journal in that folder.
    bool hold(const std::string& id, bool create, Lock& lock) const {
        int err = 0;
        lock = Lock::tryTake(*folder, id, create, &err);
        if (lock)
            return true;
        if (err != EROFS && err != EACCES && err != EPERM)
            return false;
        lock = Lock::tryTakeToRead(*folder, id, &err);
        return lock || err == ENOENT;
    }

    // The contents of journal id, read under its lock (held by the caller).
    std::optional<Recovered> read(const std::string& id, std::string& problem) {
        if (folder->kind(dbName(id)) != files::Folder::Kind::Regular) {
            problem = "not a regular file";
            return std::nullopt;
        }
        if (!looksLikeJournal(*folder, dbName(id), problem) ||
            !looksLikeWal(*folder, dbName(id) + "-wal", problem))
            return std::nullopt;
        const auto shm = folder->kind(dbName(id) + "-shm");
        if (shm != files::Folder::Kind::Missing && shm != files::Folder::Kind::Regular) {
            problem = dbName(id) + "-shm is not a regular file";
            return std::nullopt;
        }
        const std::string path = pathIn(*folder, dbName(id));
        if (path.empty()) {
            problem = "the folder moved while it was opened";
            return std::nullopt;
        }
        return readJournal(path, problem, readSlot(*folder, slotName(id)));
    }

    void reportDamaged(const std::string& id, const std::string& problem) {
        if (reported->insert(id).second)
            tell(errors::kDeviceIo, describe("Damaged journal", native(dbName(id)), problem));
    }
};

Recovery::Recovery(const Str& appFolder, std::string_view folderName, Report report,
                   std::set<std::string>* reported)
    : impl_(std::make_unique<Impl>()) {
    impl_->report = std::move(report);
    if (reported)
        impl_->reported = reported;
    try {
        impl_->folder = openJournalFolder(appFolder, folderName, false);
    } catch (const ControlError& e) {
        impl_->tell(e.number(), e.description()); // no folder at all is not a problem
    }
}

Recovery::~Recovery() = default;

std::vector<FoundJournal> Recovery::list() {
    std::vector<FoundJournal> found;
    if (!impl_->folder)
        return found;
    std::set<std::string> ids, lockOnly;
    for (const auto& name : impl_->names()) {
        if (endsWith(name, ".db"))
            ids.insert(name.substr(0, name.size() - 3));
        else if (endsWith(name, ".db.new"))
            lockOnly.insert(name.substr(0, name.size() - 7));
        else if (endsWith(name, ".lock"))
            lockOnly.insert(name.substr(0, name.size() - 5));
    }
    // What a journal killed while it was being made leaves (its lock, a database without its
    // schema under the temporary name) goes, once nobody holds the lock.
    for (const auto& id : lockOnly) {
        if (ids.count(id) || !plausibleId(id))
            continue;
        if (Lock lock = Lock::tryTake(*impl_->folder, id, false, nullptr))
            impl_->removeFiles(id);
    }
    for (const auto& id : ids) {
        if (!plausibleId(id))
            continue;
        Lock lock;
        if (!impl_->hold(id, true, lock))
            continue; // in use, or a lock that cannot be taken: not ours to touch
        FoundJournal entry;
        entry.id = id;
        std::string problem;
        if (auto contents = impl_->read(id, problem)) {
            entry.caseFields = contents->caseFields;
            entry.hearingId = contents->hearingId;
            entry.lastChange = contents->lastChange;
            entry.annotations = static_cast<std::int32_t>(contents->annotations.size());
            for (std::size_t i = 0; i < contents->annotations.size(); ++i) {
                const bool typed =
                    contents->live && contents->live->annotation == static_cast<std::int32_t>(i);
                if (typed ? !contents->live->text.empty() : !contents->annotations[i].notes.empty())
                    ++entry.unsavedNotes;
            }
            entry.pendingText =
                contents->live &&
                contents->live->text !=
                    contents->annotations[static_cast<std::size_t>(contents->live->annotation)]
                        .notes;
        } else {
            entry.damaged = true;
            entry.problem = fromUtf8(problem);
            impl_->reportDamaged(id, problem);
        }
        found.push_back(std::move(entry));
    }
    return found;
}

std::optional<Recovered> Recovery::replay(const std::string& id) {
    if (!impl_->folder || !plausibleId(id))
        return std::nullopt;
    const bool exists = impl_->folder->kind(dbName(id)) != files::Folder::Kind::Missing;
    Lock lock;
    if (!exists || !impl_->hold(id, true, lock))
        return std::nullopt;
    std::string problem;
    auto contents = impl_->read(id, problem);
    if (!contents)
        impl_->reportDamaged(id, problem);
    return contents;
}

bool Recovery::discard(const std::string& id) {
    if (!impl_->folder || !plausibleId(id))
        return false;
    const bool exists = impl_->folder->kind(dbName(id)) != files::Folder::Kind::Missing;
    Lock lock = Lock::tryTake(*impl_->folder, id, exists, nullptr);
    if (!lock)
        return false;
    impl_->removeFiles(id);
    return impl_->folder->kind(dbName(id)) == files::Folder::Kind::Missing;
}

} // namespace dalmure::journal
