// The files the control writes and reads in its folder against links, FIFOs and devices put or
// swapped in, modes, two writers, a full disk; what might hang or changes the process, in a child.
#include "test_support.h"
#include "tmpfs_mount.h"

#include <atomic>
#include <fcntl.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <syslog.h>
#include <thread>

namespace dalmure::test {
namespace {

namespace fs = std::filesystem;

const std::string kVictimText = "the victim's own text\n";

// A path's type as lstat gives it, with a link's target: what must not change under the control.
std::string whatIs(const std::string& path) {
    std::error_code ec;
    const int type = static_cast<int>(fs::symlink_status(path, ec).type());
    return "type " + std::to_string(type) + " " + fs::read_symlink(path, ec).string();
}

// A file's bytes; "folder []" for an empty folder, "folder [...]" for one with something in it.
std::string contentsOf(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return fs::is_empty(path, ec) ? "folder []" : "folder [...]";
    return readFile(path);
}

std::string modeOf(const std::string& path) {
    struct stat st {};
    char text[8] = "none";
    if (::lstat(path.c_str(), &st) == 0)
        std::snprintf(text, sizeof text, "%o", st.st_mode & 07777);
    return text;
}

// The places written: the page, the log's two folders (no extension) and the log.
bool isFolder(const std::string& place) {
    return !fs::path(place).has_extension();
}

// Puts a FIFO, a device (the null device's numbers: harmless if ever written) or a link at `at`.
bool plant(const std::string& kind, const std::string& at, const std::string& target) {
    if (kind == "FIFO")
        return ::mkfifo(at.c_str(), 0600) == 0;
    if (kind == "device")
        return ::mknod(at.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0;
    return ::symlink(target.c_str(), at.c_str()) == 0;
}

// A clerk and, outside its folder, what a link may lead to: an empty folder or a file of its own.
struct Target {
    Clerk clerk;
    TempAppFolder outside;
    const std::string victim = outside.file("victim"), missing = outside.file("missing");
    std::string whole;
    explicit Target(bool folder) {
        if (folder)
            fs::create_directory(victim);
        else
            writeFile(victim, kVictimText);
        whole = contentsOf(victim);
    }
};

// A view, a log line and a print with the hostile thing at place: no hang, nothing written through.
std::string hostileCase(const std::string& place, const std::string& kind) {
    Target t(isFolder(place));
    Clerk& clerk = t.clerk;
    const std::string at = clerk.file(place);
    fs::create_directories(fs::path(at).parent_path());
    if (!plant(kind, at, kind == "link to nothing" ? t.missing : t.victim))
        return kind == "device" ? "SKIP" : "cannot plant " + kind;
    const std::string before = whatIs(at);
    clerk.view();
    clerk.log("a line that must not land outside");
    clerk.print();

    std::string problems;
    if (whatIs(at) != before || contentsOf(t.victim) != t.whole || fs::exists(t.missing))
        problems += "written through: " + whatIs(at) + ", " + contentsOf(t.victim) + "; ";
    const bool page = place == "pvData.html";
    // The page refused: two log lines, nothing opened or loaded, the clerk told twice.
    if (page) {
        const auto refused = clerk.h.app.logEntries("errDalmure_GenerateHTML");
        if (refused.size() != 2 || refused[0].number != "75" || clerk.rec.messages.size() != 2)
            problems += "not refused as expected: " + logged(clerk.h.app) + "; ";
    }
    if (clerk.launches() != (page ? 0u : 1u) || clerk.loads() != (page ? 0u : 1u))
        problems += std::to_string(clerk.launches()) + " opened and loaded; ";
    if (!page && !clerk.page().starts_with("<table border=\"0\">"))
        problems += "no page; ";
    // A template goes into the page: whatever stands in its place is refused, once a page.
    if (place.starts_with("pvTemplate") &&
        (clerk.page().find(kVictimText) != std::string::npos ||
         clerk.h.app.logEntries("errDalmure_SetDataVariables").size() != 2))
        problems += "the template was read or not refused once a page; ";
    return problems.empty() ? "OK" : problems;
}

TEST(AppFolderFiles, NothingIsWrittenThroughALinkAFifoOrADeviceAndNothingHangs) {
    for (const std::string place :
         {"pvData.html", "Log", "Log/2026-03", "Log/2026-03/Dalmure.Log", "pvTemplateFRA.html"}) {
        for (const char* kind : {"link to nothing", "link to a victim", "FIFO", "device"}) {
            SCOPED_TRACE(place + ", " + kind);
            const std::string result = inChild([&] { return hostileCase(place, kind); }, 20);
            EXPECT_EQ(result == "SKIP" ? "OK" : result, "OK"); // no device nodes when not root
        }
    }
}

// Runs swap in a thread until stopped, then undo; returns once one swap was made. Under way before
// any fork: a starting thread holds the sanitizers' registry a child awaits. A swap allocates
// nothing, so no fork inherits a held allocator lock.
std::jthread swapping(
    std::atomic<long>& swaps, std::function<bool()> swap, std::function<void()> undo = [] {}) {
    std::jthread swapper([&swaps, swap, undo](std::stop_token stop) {
        while (!stop.stop_requested())
            swaps += swap();
        undo();
    });
    while (swaps == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return swapper;
}

TEST(AppFolderFiles, ALinkSwappedInWhileTheControlWritesNeverReachesTheVictim) {
    for (const std::string place :
         {"pvData.html", "Log", "Log/2026-03", "Log/2026-03/Dalmure.Log"}) {
        SCOPED_TRACE(place);
        const bool folder = isFolder(place);
        Target t(folder);
        Clerk& clerk = t.clerk;
        clerk.view();
        clerk.log("the log exists");
        const std::string firstPage = clerk.page(), at = clerk.file(place);
        const std::string link = at + ".link", file = at + ".file";
        ::symlink(t.victim.c_str(), link.c_str());
        const auto exchange = [&] {
            return ::renameat2(AT_FDCWD, at.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0;
        };
        std::atomic<long> swaps = 0;
        {
            const std::jthread swapper = swapping(
                swaps,
                [&] {
                    if (folder)
                        return exchange();
                    // The link and the file each stand there for about one call.
                    const bool linked = ::rename(link.c_str(), at.c_str()) == 0;
                    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
                    const bool back = ::rename(file.c_str(), at.c_str()) == 0;
                    ::symlink(t.victim.c_str(), link.c_str());
                    return linked && back;
                },
                [&] {
                    if (folder && fs::is_symlink(fs::symlink_status(at)))
                        exchange();
                    ::unlink(link.c_str());
                });
            // Writes go on until both sides have had their turns many times.
            for (int done = 0; done < 150 || swaps < 1000; ++done) {
                if (place == "pvData.html")
                    clerk.view();
                else
                    clerk.log("line " + std::to_string(done));
            }
        }
        EXPECT_EQ(contentsOf(t.victim), t.whole);
        // Once the link is gone, the control writes where it should: a whole page.
        if (!folder)
            fs::remove(at);
        clerk.view();
        EXPECT_EQ(clerk.page(), firstPage);
    }
}

TEST(AppFolderFiles, NewFilesAreTheUsersAloneAndAReplacedPageKeepsItsMode) {
    const std::string result = inChild([] {
        ::umask(0); // the modes must not depend on what the host's umask happens to let through
        Clerk clerk;
        clerk.view();
        clerk.log("first line");
        // Made by the control, then as the user chose: kept across the page's replacement.
        const std::pair<std::string, mode_t> files[] = {{"pvData.html", 0640},
                                                        {"Log", 0750},
                                                        {"Log/2026-03", 0755},
                                                        {"Log/2026-03/Dalmure.Log", 0644}};
        std::string modes;
        for (const auto& [name, chosen] : files) {
            modes += modeOf(clerk.file(name)) + " ";
            ::chmod(clerk.file(name).c_str(), chosen);
        }
        clerk.h.add(u("11:00:00"), u("Ajout"), u(""));
        clerk.view();
        clerk.log("second line");
        for (const auto& [name, chosen] : files)
            modes += modeOf(clerk.file(name)) + " ";
        return modes + (clerk.page().find("Ajout") != std::string::npos ? "replaced" : "kept");
    });
    EXPECT_EQ(result, "600 700 700 600 640 750 755 644 replaced");
}

TEST(AppFolderFiles, CopiesLeftByAWriterThatDiedAreRemovedByTheNextView) {
    Clerk clerk;
    // A writer that ended before renaming its copy, and one that is still at work.
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = ".pvData.html." + std::to_string(gone) + ".00112233aabbccdd.tmp";
    const std::string alive = ".pvData.html." + std::to_string(::getppid()) + ".0123.tmp";
    const std::string other = ".notes." + std::to_string(gone) + ".0123.tmp";
    for (const std::string& name : {dead, alive, other})
        clerk.h.app.writeBytes(name, "half a page");
    clerk.view();
    // The dead writer's copy is gone, and a view leaves nothing of its own behind.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(clerk.h.app.native()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{alive, other, "Recovery", "pvData.html"}));
}

TEST(AppFolderFiles, TwoProcessesViewingInOneFolderLeaveOneCasesWholePage) {
    Clerk first(1500), second(3, first.h.app.native());
    first.h.c().NoDossier = u("500-01-000001-241");
    second.h.c().NoDossier = u("500-01-000002-241");
    second.view();
    const std::string pageB = first.page();
    first.view();
    const std::string pageA = first.page();
    ASSERT_NE(pageA, pageB);

    // Read while they write: every page read is one case's, whole.
    std::string stray;
    const auto write = [&](int w) {
        Clerk& clerk = w == 0 ? first : second;
        clerk.rec.seen.clear();
        for (int i = 0; i < 40; ++i)
            clerk.view();
        return clerk.launches() == 40;
    };
    EXPECT_TRUE(inChildren(2, write, [&] {
        const std::string page = first.page();
        if (stray.empty() && page != pageA && page != pageB)
            stray = page.substr(0, 200) + "... (" + std::to_string(page.size()) + " bytes)";
    }));
    EXPECT_EQ(stray, "");
    EXPECT_TRUE(first.page() == pageA || first.page() == pageB);
}

// In a mount namespace of its own: the folder on a small tmpfs, /dev/log a socket of ours.
std::string fullDiskCase(const std::string& mountPoint) {
    if (std::string why = ownMountNamespace(); !why.empty())
        return why;
    const TmpfsMount disk(mountPoint, "size=16m,mode=0700", false);
    const TmpfsMount dev("/dev", "size=64k,mode=0755", false);
    if (!disk.mounted() || !dev.mounted())
        return "SKIP mount refused";
    const int sink = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{AF_UNIX, "/dev/log"};
    if (sink < 0 || ::bind(sink, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return "SKIP no socket at /dev/log";
    ::closelog(); // a connection inherited from the parent would go to its system log

    const std::string app = mountPoint + "/audience", page = app + "/pvData.html";
    fs::create_directory(app);
    Clerk clerk(200, app);
    clerk.view();
    const std::string previous = readFile(page);
    if (clerk.launches() != 1 || previous.size() < 10000)
        return "the first view did not work";

    {
        std::ofstream filler(mountPoint + "/filler", std::ios::binary);
        const std::string block(65536, 'x');
        while (filler.write(block.data(), block.size()))
            ;
    }
    clerk.h.c().AnnoAdd(u("11:00:00"), u("Suspension"));
    clerk.rec.seen.clear();
    clerk.view();
    clerk.print();
    std::string problems;
    if (readFile(page) != previous)
        problems += "the previous page did not stay; ";
    if (clerk.launches() + clerk.loads() != 0 || clerk.rec.only("msgbox").size() != 2)
        problems += "expected two message boxes and nothing opened or loaded; ";
    for (const auto& e : fs::directory_iterator(app))
        if (e.path().filename().string().starts_with(".pvData.html."))
            problems += "left behind: " + e.path().filename().string() + "; ";

    // The log is on the same disk: the lines went to the system log instead, as user.err (<11>).
    std::string received;
    char buf[2048];
    for (ssize_t n; (n = ::recv(sink, buf, sizeof buf, 0)) > 0;)
        received += std::string(buf, static_cast<std::size_t>(n)) + "\n";
    const std::string line = "Dalmure.Log not written (Disk full): \"2026-03-04 14:05:09.37 : 61 "
                             ": Disk full : errDalmure_GenerateHTML\"";
    std::size_t found = 0;
    for (std::size_t at = 0; (at = received.find(line, at)) != std::string::npos; ++at)
        ++found;
    if (found != 2 || received.find("<11>") == std::string::npos)
        problems += "system log received: [" + received + "]; ";

    fs::remove(mountPoint + "/filler");
    clerk.rec.seen.clear();
    clerk.view();
    if (clerk.launches() != 1 || readFile(page).find("Suspension") == std::string::npos)
        problems += "no new page once there was room; ";
    return problems.empty() ? "OK" : problems;
}

TEST(AppFolderFiles, AFullDiskKeepsThePreviousPageTellsTheClerkAndLogsToTheSystem) {
    TempAppFolder mountPoint;
    const std::string result = inChild([&] { return fullDiskCase(mountPoint.native()); }, 60);
    if (result.starts_with("SKIP"))
        GTEST_SKIP() << result;
    EXPECT_EQ(result, "OK");
}

// Deployments share the catalogue and INI file through links; a FIFO is no file and never awaited.
TEST(AppFolderFiles, TheSharedFilesAreReadThroughLinksAndAFifoNeverHangsAStart) {
    TempAppFolder shared;
    shared.copyCatalogue();
    shared.writeIni("[Config]\nLangue=English\n[LNG]\nLNG1=English|Anglais\n", "ORClient.INI");
    for (const std::string kind : {"link", "FIFO"}) {
        SCOPED_TRACE(kind);
        const std::string result = inChild(
            [&] {
                ControlHarness h;
                for (const std::string name : {"ORLngClient.MDB", "ORClient.INI"})
                    plant(kind, h.app.file(name), shared.file(name));
                h.start();
                std::string seen = s(h.c().privateState().strLangColumn);
                for (const LogEntry& e : h.app.logEntries())
                    seen += ", " + e.label + " " + e.number;
                return seen;
            },
            20);
        EXPECT_EQ(result, kind == "FIFO" ? "Francais, errDalmure_UserControl_Initialize 75, "
                                           "errDalmure_ChargeLangue 75"
                                         : "Anglais");
    }
    // FIFOs swapped in for the files, and the files back (links to copies), while controls start.
    std::vector<std::pair<std::string, std::string>> places; // name, real copy
    for (const std::string n : {"ORLngClient.MDB", "ORClient.INI"}) {
        places.emplace_back(shared.file(n), shared.file(".real." + n));
        fs::copy_file(places.back().first, places.back().second);
    }
    const std::string fifo = shared.file(".fifo"), file = shared.file(".file");
    std::atomic<long> swaps = 0;
    const std::jthread swapper = swapping(swaps, [&] {
        for (const auto& [place, real] : places) {
            ::mkfifo(fifo.c_str(), 0600);
            ::rename(fifo.c_str(), place.c_str());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            ::link(real.c_str(), file.c_str());
            ::rename(file.c_str(), place.c_str());
        }
        return true;
    });
    const auto annotations = [&] {
        return std::to_string(startDoomedSession(shared.native()).control.AnnoCount());
    };
    for (int start = 0; start < 30; ++start)
        EXPECT_EQ(inChild(annotations, 20), "1") << "start " << start;
}

} // namespace
} // namespace dalmure::test
