// File-system helpers over POSIX calls. Every failure becomes the host language's file error
// (errors::fromErrno); descriptors never outlive the call that opened them, except a Folder's,
// which lives as long as the Folder.
#include "support/files.h"

#include "support/errors.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dalmure::files {

namespace {

// Closes the descriptor on every path out of a call.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the error close gives (delayed write errors show up here).
    int release() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

// Flags of every descriptor opened on something that might not be a regular file: no wait for
// a FIFO's other end, no controlling terminal, nothing inherited by programs we start.
constexpr int kSafeOpen = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Whatever is opened for writing is opened where it is, never through a link.
int openAt(int dir, const char* name, int flags, mode_t mode = 0) {
    const bool writes = (flags & (O_WRONLY | O_RDWR | O_CREAT)) != 0;
    int fd;
    do {
        fd = ::openat(dir, name, writes ? flags | O_NOFOLLOW : flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Something other than a regular file (or a real folder) where one was expected.
[[noreturn]] void refuse(const std::string& native) {
    errors::fromErrno(EACCES, native);
}

void writeFully(int fd, std::string_view bytes, const std::string& native) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            errors::fromErrno(errno, native);
        }
        if (n == 0)
            errors::fromErrno(ENOSPC, native);
        done += static_cast<std::size_t>(n);
    }
}

void closeOrThrow(Fd& fd, const std::string& native) {
    if (fd.release() != 0 && errno != EINTR)
        errors::fromErrno(errno, native);
}

// Reads the rest of a descriptor opened on a regular file.
std::string readRest(int fd, const std::string& native) {
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            errors::fromErrno(errno, native);
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool isRegular(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

Str join(const Str& folder, const Str& name) {
    if (folder.empty())
        return name;
    if (folder.back() == u'/')
        return folder + name;
    return folder + u'/' + name;
}

// Opens the sub-folder name of dir, never through a link, creating it 0700 when nothing of
// that name exists. native names it in errors.
int openSubFolder(int dir, const std::string& name, const std::string& native) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (name.empty())
        errors::fromErrno(ENOENT, native);
    int fd = openAt(dir, name.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        // Created here, or by someone else at the same moment: either way, open what is there.
        if (::mkdirat(dir, name.c_str(), 0700) != 0 && errno != EEXIST)
            errors::fromErrno(errno, native);
        fd = openAt(dir, name.c_str(), kFlags);
    }
    if (fd < 0)
        errors::fromErrno(errno, native);
    return fd;
}

// The names replace() writes beside a file before renaming them over it.
std::string pendingCopyPrefix(std::string_view name) {
    std::string prefix = ".";
    prefix += name;
    prefix += '.';
    return prefix;
}
constexpr std::string_view kPendingCopySuffix = ".tmp";

// 64 bits for a name of our own; the clock and a counter when the kernel has none to give.
std::uint64_t randomBits() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits))
        return bits;
    static std::uint64_t counter = 0;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ULL + ++counter;
}

} // namespace

std::string toNative(const Str& path) {
    return toUtf8(path);
}

Str findNoCase(const Str& folder, const Str& name) {
    // The exact name first: one stat, the usual case. Otherwise one pass over the folder. When
    // several names differ only in case (possible here, not on the host's file system), the
    // smallest in code-unit order wins, so that the answer does not depend on directory order.
    // A folder that cannot be listed matches nothing; opening the path then reports the error.
    const Str exact = join(folder, name);
    struct stat st {};
    if (::lstat(toNative(exact).c_str(), &st) == 0)
        return exact;

    DIR* dir = ::opendir(toNative(folder.empty() ? Str(u".") : folder).c_str());
    if (dir == nullptr)
        return exact;
    Str best;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const Str candidate = fromUtf8(entry->d_name);
        if (equalNoCase(candidate, name) && (!found || candidate < best)) {
            best = candidate;
            found = true;
        }
    }
    ::closedir(dir);
    return found ? join(folder, best) : exact;
}

bool exists(const Str& path) {
    struct stat st {};
    const std::string native = toNative(path);
    return ::stat(native.c_str(), &st) == 0 || ::lstat(native.c_str(), &st) == 0;
}

bool isRegularFile(const Str& path) {
    struct stat st {};
    return ::stat(toNative(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string readAll(const Str& path) {
    const std::string native = toNative(path);
    // A look first, so that a device is not even opened; the descriptor is checked again,
    // since the name may have changed in between.
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        refuse(native);
    Fd fd(openAt(AT_FDCWD, native.c_str(), O_RDONLY | kSafeOpen));
    if (fd.get() < 0)
        errors::fromErrno(errno, native);
    if (!isRegular(fd.get()))
        refuse(native);
    return readRest(fd.get(), native);
}

// --- Folder -------------------------------------------------------------------------------

Folder Folder::open(const Str& path) {
    const std::string native = toNative(path);
    const int fd =
        native.empty() ? -1 : openAt(AT_FDCWD, native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        errors::fromErrno(native.empty() ? ENOENT : errno, native);
    return Folder(fd, native);
}

Folder Folder::openLast(const Str& path) {
    std::string native = toNative(path);
    std::string trimmed = native;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (trimmed == "/")
        return open(path);
    const std::size_t slash = trimmed.rfind('/');
    const std::string parentPath = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : trimmed.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    Fd parent(openAt(AT_FDCWD, parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0)
        errors::fromErrno(errno, trimmed.empty() ? native : trimmed);
    return Folder(openSubFolder(parent.get(), leaf, trimmed), trimmed);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

Folder::~Folder() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string Folder::child(std::string_view name) const {
    std::string p = path_;
    if (p.empty() || p.back() != '/')
        p += '/';
    p += name;
    return p;
}

Folder Folder::sub(std::string_view name) const {
    const std::string native = child(name);
    return Folder(openSubFolder(fd_, std::string(name), native), native);
}

Folder::Kind Folder::kind(std::string_view name) const {
    struct stat st {};
    if (::fstatat(fd_, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Other;
    if (S_ISREG(st.st_mode))
        return Kind::Regular;
    return S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Other;
}

void Folder::append(std::string_view name, std::string_view bytes) const {
    const std::string native = child(name);
    const Kind before = kind(name);
    if (before != Kind::Regular && before != Kind::Missing)
        refuse(native);
    Fd fd(openAt(fd_, std::string(name).c_str(),
                 O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | kSafeOpen, 0600));
    if (fd.get() < 0)
        errors::fromErrno(errno, native);
    if (!isRegular(fd.get()))
        refuse(native);
    // One write(2) on an O_APPEND descriptor: the kernel places the whole buffer at the end of
    // the file in one step, so lines appended by several processes at once never interleave
    // and none is lost. Only a short write (a disk filling up mid-line) needs a second call.
    ssize_t n;
    do {
        n = ::write(fd.get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        errors::fromErrno(errno, native);
    if (static_cast<std::size_t>(n) < bytes.size())
        writeFully(fd.get(), bytes.substr(static_cast<std::size_t>(n)), native);
    closeOrThrow(fd, native);
}

Folder::Replacement Folder::replacement(std::string_view name) const {
    return Replacement(*this, name);
}

Folder::Replacement::Replacement(const Folder& folder, std::string_view name)
    : folder_(&folder), target_(name), native_(folder.child(name)) {
    // The mode (and, where we may, the owner) of the file being replaced carries over to the
    // new one; a new file is the user's alone.
    struct stat old {};
    if (::fstatat(folder.fd_, target_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(old.st_mode))
            refuse(native_);
        mode_ = old.st_mode & 0777;
        keepOwner_ = old.st_uid != ::geteuid() || old.st_gid != ::getegid();
        uid_ = old.st_uid;
        gid_ = old.st_gid;
    } else if (errno != ENOENT) {
        errors::fromErrno(errno, native_);
    }
    for (int attempt = 0; fd_ < 0 && attempt < 64; ++attempt) {
        char unique[48];
        std::snprintf(unique, sizeof unique, "%ld.%016llx", static_cast<long>(::getpid()),
                      static_cast<unsigned long long>(randomBits()));
        copy_ = pendingCopyPrefix(name) + unique + std::string(kPendingCopySuffix);
        fd_ = openAt(folder.fd_, copy_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST)
            errors::fromErrno(errno, native_);
    }
    if (fd_ < 0)
        errors::fromErrno(EEXIST, native_);
}

Folder::Replacement::Replacement(Replacement&& other) noexcept
    : folder_(other.folder_), target_(std::move(other.target_)), copy_(std::move(other.copy_)),
      native_(std::move(other.native_)), fd_(other.fd_), mode_(other.mode_),
      keepOwner_(other.keepOwner_), uid_(other.uid_), gid_(other.gid_) {
    other.fd_ = -1;
    other.copy_.clear();
}

Folder::Replacement::~Replacement() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!copy_.empty()) // not committed: nothing of the attempt stays
        ::unlinkat(folder_->fd_, copy_.c_str(), 0);
}

void Folder::Replacement::write(std::string_view bytes) {
    writeFully(fd_, bytes, native_);
}

void Folder::Replacement::commit() {
    if (::fchmod(fd_, static_cast<mode_t>(mode_)) != 0)
        errors::fromErrno(errno, native_);
    if (keepOwner_)
        (void)::fchown(fd_, static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)); // where we may
    int rc;
    do {
        rc = ::fsync(fd_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno != EINVAL)
        errors::fromErrno(errno, native_);
    Fd fd(fd_);
    fd_ = -1;
    closeOrThrow(fd, native_);
    if (::renameat(folder_->fd_, copy_.c_str(), folder_->fd_, target_.c_str()) != 0)
        errors::fromErrno(errno, native_);
    copy_.clear();
    // The rename itself reaches the disk with the folder.
    (void)::fsync(folder_->fd_);
    folder_->removeStaleCopies(target_);
}

void Folder::replace(std::string_view name, std::string_view bytes) const {
    Replacement file = replacement(name);
    file.write(bytes);
    file.commit();
}

void Folder::removeStaleCopies(std::string_view name) const {
    // Copies left by a process that ended between writing one and renaming it (killed, or the
    // machine stopped). A copy whose process still runs is its writer's business.
    const int listing = ::dup(fd_);
    if (listing < 0)
        return;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    ::rewinddir(dir);
    const std::string prefix = pendingCopyPrefix(name);
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view n = entry->d_name;
        if (!n.starts_with(prefix) || !n.ends_with(kPendingCopySuffix))
            continue;
        long pid = 0;
        std::size_t i = prefix.size();
        while (i < n.size() && n[i] >= '0' && n[i] <= '9' && pid < 1L << 40)
            pid = pid * 10 + (n[i++] - '0');
        if (i == prefix.size() || i >= n.size() || n[i] != '.' || pid == self)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(fd_, entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string Folder::read(std::string_view name) const {
    const std::string native = child(name);
    const Kind before = kind(name);
    if (before != Kind::Regular && before != Kind::Missing)
        refuse(native);
    Fd fd(openAt(fd_, std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | kSafeOpen));
    if (fd.get() < 0)
        errors::fromErrno(errno, native);
    if (!isRegular(fd.get()))
        refuse(native);
    return readRest(fd.get(), native);
}

} // namespace dalmure::files
