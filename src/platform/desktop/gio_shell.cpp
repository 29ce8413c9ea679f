// The desktop shell over GIO and POSIX process creation.
#include "platform/desktop/gio_shell.h"

#include <gio/gio.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure::platform {
namespace {

std::string native(const Str& path) {
    return toUtf8(path);
}

bool endsWithNoCase(const std::string& text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// The content type the desktop files the path under. HTML pages are recognised by their name,
// so that the answer does not depend on the shared MIME database being installed.
std::string contentTypeOf(const std::string& path) {
    if (endsWithNoCase(path, ".html") || endsWithNoCase(path, ".htm"))
        return "text/html";
    gboolean uncertain = FALSE;
    gchar* guessed = g_content_type_guess(path.c_str(), nullptr, 0, &uncertain);
    if (guessed == nullptr)
        return {};
    gchar* mime = g_content_type_get_mime_type(guessed);
    std::string result = mime != nullptr ? mime : guessed;
    g_free(mime);
    g_free(guessed);
    return result;
}

// The full path of a program: a name without "/" is looked up in PATH; empty when not found or
// not executable.
std::string resolveProgram(const std::string& program) {
    if (program.empty())
        return {};
    gchar* found = g_find_program_in_path(program.c_str());
    if (found == nullptr)
        return {};
    std::string result = found;
    g_free(found);
    return result;
}

void writeErrno(int fd, int err) {
    ssize_t written;
    do {
        written = ::write(fd, &err, sizeof err);
    } while (written < 0 && errno == EINTR);
}

// Makes fd the given standard descriptor, kept open across exec.
void redirect(int fd, int standard) {
    if (fd == standard)
        ::fcntl(fd, F_SETFD, 0);
    else
        ::dup2(fd, standard);
}

} // namespace

DesktopShell::DesktopShell(std::optional<Str> htmlProgram) : htmlProgram_(std::move(htmlProgram)) {}

int DesktopShell::findExecutable(const Str& file, const Str& directory, Str& programBuffer) {
    Str full = file;
    if (!file.empty() && file.front() != u'/' && !directory.empty())
        full = directory + u"/" + file;
    struct stat st {};
    if (full.empty() || ::stat(native(full).c_str(), &st) != 0)
        return kFileNotFound;

    if (htmlProgram_) {
        if (htmlProgram_->empty())
            return kNoAssociation;
        programBuffer = *htmlProgram_;
        return kOk;
    }

    const std::string type = contentTypeOf(native(full));
    if (type.empty())
        return kNoAssociation;
    GAppInfo* app = g_app_info_get_default_for_type(type.c_str(), FALSE);
    if (app == nullptr)
        return kNoAssociation;
    const char* executable = g_app_info_get_executable(app);
    const std::string path = resolveProgram(executable != nullptr ? executable : "");
    g_object_unref(app);
    if (path.empty())
        return kNoAssociation;
    programBuffer = fromUtf8(path);
    return kOk;
}

int DesktopShell::shellExecute(const Str& operation, const Str& program,
                               const std::vector<Str>& arguments, const Str& directory,
                               int showMode) {
    (void)operation;
    (void)showMode;
    const std::string path = resolveProgram(native(program));
    if (path.empty())
        return kFileNotFound;

    // Everything the children need is prepared here: between fork and exec only
    // async-signal-safe calls are made.
    std::vector<std::string> args{path};
    for (const Str& argument : arguments)
        args.push_back(native(argument));
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string dir = native(directory);

    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0)
        return kFileNotFound;
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        ::close(devNull);
        return kFileNotFound;
    }

    // Double fork: the middle child starts a new session, forks the program and ends at once, so
    // the program is adopted by init and never becomes our zombie. The program reports a failed
    // exec through the status pipe, which closes silently when exec succeeds.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            for (int sig = 1; sig < NSIG; ++sig)
                ::sigaction(sig, &dfl, nullptr);
            redirect(devNull, STDIN_FILENO);
            redirect(devNull, STDOUT_FILENO);
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
                writeErrno(status[1], errno);
                ::_exit(127);
            }
            ::execv(path.c_str(), argv.data());
            writeErrno(status[1], errno);
            ::_exit(127);
        }
        if (child < 0)
            writeErrno(status[1], errno);
        ::_exit(0);
    }
    ::close(status[1]);
    ::close(devNull);
    if (middle < 0) {
        ::close(status[0]);
        return kFileNotFound;
    }
    int ignored = 0;
    while (::waitpid(middle, &ignored, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    return got == 0 ? kOk : kFileNotFound;
}

} // namespace dalmure::platform
