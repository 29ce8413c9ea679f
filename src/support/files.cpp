// File-system helpers over POSIX calls. Every failure becomes the host language's file error
// (errors::fromErrno); descriptors never outlive the call that opened them.
#include "support/files.h"

#include "support/errors.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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

int openOrThrow(const std::string& native, int flags) {
    int fd;
    do {
        fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        errors::fromErrno(errno, native);
    return fd;
}

void writeFully(int fd, const std::string& bytes, const std::string& native) {
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

Str join(const Str& folder, const Str& name) {
    if (folder.empty())
        return name;
    if (folder.back() == u'/')
        return folder + name;
    return folder + u'/' + name;
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

void createFolder(const Str& path) {
    const std::string native = toNative(path);
    if (::mkdir(native.c_str(), 0777) != 0)
        errors::fromErrno(errno, native);
}

void removeFile(const Str& path) {
    const std::string native = toNative(path);
    if (::unlink(native.c_str()) != 0)
        errors::fromErrno(errno, native);
}

std::string readAll(const Str& path) {
    const std::string native = toNative(path);
    Fd fd(openOrThrow(native, O_RDONLY));
    struct stat st {};
    std::string bytes;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
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

void writeAll(const Str& path, const std::string& bytes) {
    const std::string native = toNative(path);
    Fd fd(openOrThrow(native, O_WRONLY | O_CREAT | O_TRUNC));
    writeFully(fd.get(), bytes, native);
    closeOrThrow(fd, native);
}

void appendAll(const Str& path, const std::string& bytes) {
    // One write(2) on an O_APPEND descriptor: the kernel places the whole buffer at the end of
    // the file in one step, so lines appended by several processes at once never interleave
    // and none is lost. Only a short write (a disk filling up mid-line) needs a second call.
    const std::string native = toNative(path);
    Fd fd(openOrThrow(native, O_WRONLY | O_CREAT | O_APPEND));
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

} // namespace dalmure::files
