// Keeping the journals left behind within bounds: a host that crashes in a loop must not fill
// the clerk's disk. Only journals nobody holds are removed (the lock is taken first), the least
// recently changed first.
#include "journal/journal.h"

#include "journal/journal_db.h"
#include "support/errors.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure::journal {

using namespace detail;

namespace {

struct Left {
    std::string id;
    std::int64_t bytes = 0;
    std::int64_t changed = 0; // seconds since the epoch: the newest of its files
};

} // namespace

void keepSessionsWithin(const Str& appFolder, std::string_view folderName,
                        const SessionLimits& limits, const Report& report) {
    std::optional<files::Folder> folder;
    try {
        folder = openJournalFolder(appFolder, folderName, false);
    } catch (const ControlError&) {
        return; // said by the journal that starts next, or by the recovery
    }
    if (!folder)
        return;
    std::set<std::string> ids, unmade;
    for (const auto& name : namesIn(*folder))
        for (const std::string_view tail : {".db", ".db.new", ".lock"}) {
            if (name.size() <= tail.size() ||
                name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
                continue;
            const std::string id = name.substr(0, name.size() - tail.size());
            if (plausibleId(id))
                (tail == ".db" ? ids : unmade).insert(id);
        }
    // What a start killed before its journal had its name left, once nobody holds its lock.
    for (const auto& id : unmade)
        if (!ids.count(id))
            if (Lock lock = Lock::tryTake(*folder, id, false, nullptr))
                for (const auto& name : allNames(id))
                    ::unlinkat(folder->descriptor(), name.c_str(), 0);
    std::vector<Left> left;
    std::int64_t total = 0;
    for (const auto& id : ids) {
        Left one{id, 0, 0};
        for (const auto& name : allNames(id)) {
            struct stat st {};
            if (::fstatat(folder->descriptor(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            one.bytes += static_cast<std::int64_t>(st.st_blocks) * 512;
            one.changed = std::max<std::int64_t>(one.changed, st.st_mtim.tv_sec);
        }
        total += one.bytes;
        left.push_back(std::move(one));
    }
    std::sort(left.begin(), left.end(), [](const Left& a, const Left& b) {
        return a.changed != b.changed ? a.changed < b.changed : a.id < b.id;
    });

    // Room is kept for the journal of the control that starts.
    const auto count = static_cast<std::int64_t>(left.size());
    std::int64_t over = count - (std::max(limits.maxSessions, 1) - 1);
    const std::int64_t oldest = systemNow() / 1000 - std::int64_t{limits.maxAgeDays} * 86400;
    const std::int64_t maxBytes = std::int64_t{limits.maxTotalMB} << 20;
    for (const Left& one : left) {
        std::string why;
        if (one.changed < oldest)
            why = "unchanged for more than " + std::to_string(limits.maxAgeDays) + " days";
        else if (over > 0)
            why = "more than " + std::to_string(limits.maxSessions) + " sessions left";
        else if (total > maxBytes)
            why = "sessions left take more than " + std::to_string(limits.maxTotalMB) + " MB";
        else
            continue;
        Lock lock = Lock::tryTake(*folder, one.id, true, nullptr);
        if (!lock)
            continue; // in use: never removed
        for (const auto& name : allNames(one.id))
            ::unlinkat(folder->descriptor(), name.c_str(), 0);
        ::fsync(folder->descriptor());
        --over;
        total -= one.bytes;
        if (report)
            report(0,
                   describe("Journal", folder->path() + "/" + dbName(one.id), "removed, " + why));
    }
}

} // namespace dalmure::journal
