// The desktop shell: detached starts, and the view command against a real XDG association. GIO
// reads the XDG folders once a process: each such case runs in an exit test of its own.
#include "platform/desktop/gio_shell.h"
#include "test_support.h"

#include <sys/stat.h>
#include <thread>

namespace dalmure::test {
namespace {

using platform::DesktopShell;
namespace fs = std::filesystem;

// A script that writes its argument count and arguments into `record`, once `gate` exists.
void writeRecorder(const std::string& path, const std::string& record,
                   const std::string& gate = "") {
    std::string script = "#!/bin/sh\n";
    if (!gate.empty())
        script += "i=0; while [ ! -e '" + gate +
                  "' ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\n";
    script += "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done;"
              " readlink /proc/$$/fd/0; pwd; } > '" +
              record + ".tmp' && mv '" + record + ".tmp' '" + record + "'\n";
    writeFile(path, script);
    ::chmod(path.c_str(), 0755);
}

// The record's lines once it appears (empty after 10 s).
std::vector<std::string> waitForRecord(const std::string& record) {
    for (int i = 0; i < 500 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::vector<std::string> lines;
    std::istringstream text(readFile(record));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

TEST(OutputDesktopShellTest, ProgramsStartDetachedWithTheirArgumentsAndNoZombie) {
    TempAppFolder dir;
    fs::create_directory(dir.file("with blank"));
    const std::string script = dir.file("with blank/rec.sh"), record = dir.file("record");
    writeRecorder(script, record, dir.file("gate"));

    // Each argument arrives whole: quotes, blanks and options are no command line to split.
    const std::vector<std::string> arguments{dir.file("a b/pvData.html"), "x\" --new-window \"y",
                                             "\\\"", "", "--help"};
    std::vector<Str> given(arguments.size());
    std::ranges::transform(arguments, given.begin(), u);
    DesktopShell shell;
    EXPECT_EQ(shell.shellExecute(u("open"), u(script), given, u(dir.file("with blank")), 1),
              DesktopShell::kOk);
    // The call returned while the program still waits for its gate: nobody waited for it.
    EXPECT_FALSE(fs::exists(record));
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);

    dir.writeBytes("gate", "");
    const auto lines = waitForRecord(record);
    std::vector<std::string> expected{std::to_string(arguments.size())};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    expected.insert(expected.end(), {"/dev/null", dir.file("with blank")});
    EXPECT_EQ(lines, expected);

    // Not found, not executable, a folder: 2, nothing started.
    dir.writeBytes("plain", "#!/bin/sh\n");
    for (const std::string& bad : {std::string("dalmure-no-such-program"), dir.file("missing"),
                                   dir.file("plain"), dir.native()})
        EXPECT_EQ(shell.shellExecute(u("open"), u(bad), {u("x")}, {}, 1),
                  DesktopShell::kFileNotFound)
            << bad;
}

// The headless platform with the real desktop shell in place of the in-memory one.
class DesktopShellPlatform : public platform::Platform {
  public:
    DesktopShellPlatform(headless::HeadlessPlatform& inner, DesktopShell& shell) : in_(inner) {
        platform::Components parts = inner.components();
        parts.shell = &shell;
        setComponents(parts);
    }
    void setNotifications(platform::Notifications* sink) override { in_.setNotifications(sink); }

  private:
    headless::HeadlessPlatform& in_;
};

// The view command in a folder named `folder`, with a recording browser associated with text/html
// or, if not `associate`, a recording x-www-browser first in PATH. "OK" or what went wrong.
std::string viewThroughTheDesktop(bool associate, const std::string& folder) {
    TempAppFolder root;
    const std::string data = root.file("data"), config = root.file("config");
    for (const std::string& dir :
         {data + "/applications", config, root.file("sys"), root.file("bin"), root.file(folder)})
        fs::create_directories(dir);
    const std::string record = root.file("record"),
                      browser =
                          root.file(associate ? "bin/recording-browser" : "bin/x-www-browser");
    writeRecorder(browser, record);
    if (associate) {
        root.writeBytes("data/applications/dalmure-recorder.desktop",
                        "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + browser +
                            " %f\nMimeType=text/html;\n");
        root.writeBytes("config/mimeapps.list",
                        "[Default Applications]\ntext/html=dalmure-recorder.desktop\n");
    }
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_DATA_DIRS", root.file("sys").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", root.file("sys").c_str(), 1);
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (root.file("bin") + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");

    const std::string appFolder = root.file(folder), page = appFolder + "/pvData.html";
    DesktopShell shell;
    headless::HeadlessOptions options;
    options.now = fixedNow();
    headless::HeadlessPlatform inner(options);
    DesktopShellPlatform platform(inner, shell);
    DalmurePrivate control(platform, u(appFolder));
    control.AnnoAdd(u("10:00:00"), u("Ouverture"));
    DalmureTestAccess::buttonClick(control, platform::ButtonId::View);

    std::string problems;
    if (associate) {
        Str buffer;
        const int found = shell.findExecutable(u(page), {}, buffer);
        if (found != DesktopShell::kOk || s(buffer) != browser)
            problems += "lookup gave " + std::to_string(found) + " " + s(buffer) + "; ";
    }
    const auto lines = waitForRecord(record);
    if (lines.size() < 2 || lines[0] != "1" || lines[1] != page)
        problems += std::to_string(lines.size()) + " lines recorded, not the page alone; ";
    // The fallback browser is noted in the log (Windows-1252), and only that one.
    const std::string log = readFile(appFolder + "/Log/2026-03/Dalmure.Log");
    if ((log.find("Pas de Browser par d\xE9"
                  "faut, on d\xE9marre iExplorer") == std::string::npos) != associate)
        problems += "log: [" + log + "]; ";
    return problems.empty() ? "OK" : problems;
}

// Whatever the folder's name holds, the browser receives the page's path as its one argument.
TEST(OutputDesktopShellTest, ViewOpensThePageWithTheHtmlProgramOrTheFallbackBrowser) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<bool, const char*> cases[] = {{true, "mes audiences"},
                                                  {false, "mes audiences"},
                                                  {true, "a\" --new-window \"x"},
                                                  {false, "b' ; `id` $HOME \\\" -x"},
                                                  {true, "%f %u 'q' \"\""}};
    for (const auto& [associate, folder] : cases) {
        SCOPED_TRACE(std::string(associate ? "association, " : "no association, ") + folder);
        EXPECT_EXIT(
            {
                const std::string result = viewThroughTheDesktop(associate, folder);
                std::fprintf(stderr, "view: %s\n", result.c_str());
                ::_exit(result == "OK" ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "view: OK");
    }
}

} // namespace
} // namespace dalmure::test
