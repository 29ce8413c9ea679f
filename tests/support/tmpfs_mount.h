// A tmpfs mounted on a folder for the length of a test, in a mount namespace of the process's own.
#pragma once

#include <filesystem>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace dalmure::test {

// For a child of the test (inChild): "" when done, else why the case must be skipped.
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
    bool remount(bool readOnly, const std::string& options) {
        return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                       options.c_str()) == 0;
    }

  private:
    std::string where_;
    bool mounted_ = false;
};

} // namespace dalmure::test
