// A tmpfs mounted on a folder for the length of a test, and a mount namespace of a process's own
// to mount it in. Mounting needs privileges a test may not have: the test is skipped then.
#pragma once

#include <filesystem>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace dalmure::test {

// Gives the calling process (a child of the test, see inChild) mounts the machine does not see.
// Returns "" when done, else why the case cannot run here.
inline std::string ownMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0)
        return "SKIP unshare refused";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "SKIP mount refused";
    return "";
}

class TmpfsMount {
  public:
    TmpfsMount(const std::string& where, const std::string& options, bool readOnly)
        : where_(where) {
        std::filesystem::create_directories(where);
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                           options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    // Makes the mounted file system read-only (or writable again).
    bool remount(bool readOnly, const std::string& options) {
        return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                       options.c_str()) == 0;
    }

  private:
    std::string where_;
    bool mounted_ = false;
};

} // namespace dalmure::test
