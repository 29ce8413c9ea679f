// The files the control writes in the application folder (the minutes page, Log/, the month
// folder, Dalmure.Log) against what another program or bad luck may put in their place: links,
// links swapped in while the control writes, FIFOs and devices, modes, two writers at once, a
// full disk; and the files it reads there (a template, the INI file, the catalogue) against links
// and FIFOs swapped in while it starts. Everything that might hang or that changes the process
// runs in a child.
#include "test_support.h"
#include "tmpfs_mount.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <syslog.h>
#include <thread>
#include <unistd.h>

namespace dalmure::test {
namespace {

namespace fs = std::filesystem;
using platform::ButtonId;

const std::string kMonth = "Log/2026-03";
const std::string kLogFile = "Log/2026-03/Dalmure.Log";
const std::string kVictimText = "the victim's own text\n";

// A control in a fresh folder (or in `folder`) whose view command has a program to start
// (recorded only), with `annotations` annotations.
struct Clerk {
    ControlHarness h;
    RecordingHappenings rec;

    explicit Clerk(int annotations = 2, const std::string& folder = "") {
        headless::HeadlessOptions options;
        options.now = fixedNow();
        options.htmlProgram = u("/bin/true");
        h.platform = std::make_unique<headless::HeadlessPlatform>(options);
        if (folder.empty())
            h.start();
        else
            h.control = std::make_unique<DalmurePrivate>(*h.platform, u(folder));
        h.platform->setHappeningSink(&rec);
        for (int i = 0; i < annotations; ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", 9 + i / 3600, i / 60 % 60, i % 60);
            h.add(u(time), u("T\xC3\xA9moin " + std::to_string(i)), u("Note de la greffe"));
        }
    }
    void view() { DalmureTestAccess::buttonClick(h.c(), ButtonId::View); }
    void print() { DalmureTestAccess::buttonClick(h.c(), ButtonId::Print); }
    void log(const std::string& text) { h.c().writeLogLine(0, u(text), u("errDalmure_Test")); }
    std::string file(const std::string& name) const { return h.app.file(name); }
    std::string page() const { return h.app.readBytes("pvData.html"); }
    std::size_t launches() const { return rec.only("launch").size(); }
};

// What lstat says of a path: "missing", "file", "folder", "link <target>", "fifo", "device".
std::string whatIs(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        return "link " + fs::read_symlink(path, ec).string();
    }
    if (S_ISREG(st.st_mode))
        return "file";
    if (S_ISDIR(st.st_mode))
        return "folder";
    if (S_ISFIFO(st.st_mode))
        return "fifo";
    return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "device" : "other";
}

// A file's bytes; "folder []" for an empty folder, "folder [...]" for one with something in it.
std::string contentsOf(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return fs::is_empty(path, ec) ? "folder []" : "folder [...]";
    return readFile(path);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

// --- What may stand in a file's place --------------------------------------------------------

enum class Hostile { LinkToMissing, LinkToVictim, Fifo, Device };

const char* const kHostileNames[] = {"link to nothing", "link to a victim", "FIFO", "device"};

// What a link may lead to, outside the application folder: a folder or a file of its own.
void makeVictim(const std::string& victim, bool folder) {
    if (folder)
        fs::create_directory(victim);
    else
        writeFile(victim, kVictimText);
}

// Puts the hostile thing at place, the victim made ready. Returns "" or why it could not be made.
std::string plant(const std::string& place, bool placeIsFolder, Hostile kind,
                  const std::string& victim, const std::string& missing) {
    makeVictim(victim, placeIsFolder);
    switch (kind) {
    case Hostile::LinkToMissing:
        return ::symlink(missing.c_str(), place.c_str()) == 0 ? "" : "symlink failed";
    case Hostile::LinkToVictim:
        return ::symlink(victim.c_str(), place.c_str()) == 0 ? "" : "symlink failed";
    case Hostile::Fifo:
        return ::mkfifo(place.c_str(), 0600) == 0 ? "" : "mkfifo failed";
    case Hostile::Device:
        // The null device's numbers: harmless if it were ever written.
        return ::mknod(place.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0 ? "" : "SKIP";
    }
    return "?";
}

// One case in its child: the hostile thing at `place`, then a view and a log line. The
// control must neither hang nor write through it, and must say so where it can.
std::string hostileCase(const std::string& place, bool placeIsFolder, Hostile kind) {
    Clerk clerk;
    TempAppFolder outside;
    const std::string victim = outside.file("victim"), missing = outside.file("missing");
    if (place != "pvData.html")
        fs::create_directories(fs::path(clerk.file(place)).parent_path());
    const std::string planted = plant(clerk.file(place), placeIsFolder, kind, victim, missing);
    if (!planted.empty())
        return planted;
    const std::string before = whatIs(clerk.file(place));

    clerk.view();
    clerk.log("a line that must not land outside");
    clerk.print();

    std::string problems;
    if (whatIs(clerk.file(place)) != before)
        problems += "the " + place + " entry became " + whatIs(clerk.file(place)) + "; ";
    if (contentsOf(victim) != (placeIsFolder ? "folder []" : kVictimText))
        problems += "victim now " + contentsOf(victim) + "; ";
    if (whatIs(missing) != "missing")
        problems += "the link's target was created; ";
    if (place == "pvData.html") {
        // Refused with one log line; nothing started or loaded; the clerk told twice.
        const auto lines = clerk.h.app.logEntries("errDalmure_GenerateHTML");
        if (lines.size() != 2 || lines[0].number != "75")
            problems += "expected two GenerateHTML lines numbered 75, log has " +
                        std::to_string(clerk.h.app.logCount()) + " lines; ";
        if (clerk.launches() != 0 || !clerk.rec.only("navigate").empty())
            problems += "the page was opened or loaded; ";
        if (clerk.rec.messages.size() != 2)
            problems +=
                "the clerk got " + std::to_string(clerk.rec.messages.size()) + " messages; ";
    } else {
        // A template goes into the page: whatever stands in its place is refused, once a page.
        if (place.starts_with("pvTemplate") &&
            (clerk.page().find(kVictimText) != std::string::npos ||
             clerk.h.app.logEntries("errDalmure_SetDataVariables").size() != 2))
            problems += "the template was read or not refused once a page; ";
        // The page is not concerned: the view opened it, the print loaded it.
        if (clerk.launches() != 1 || clerk.rec.only("navigate").size() != 1)
            problems += "the page was not opened and loaded; ";
        if (!clerk.page().starts_with("<table border=\"0\">"))
            problems += "no page; ";
    }
    return problems.empty() ? "OK" : problems;
}

TEST(AppFolderFiles, NothingIsWrittenThroughALinkAFifoOrADeviceAndNothingHangs) {
    struct Place {
        std::string path;
        bool folder;
    };
    for (const Place& place : {Place{"pvData.html", false}, Place{"Log", true}, Place{kMonth, true},
                               Place{kLogFile, false}, Place{"pvTemplateFRA.html", false}}) {
        for (Hostile kind :
             {Hostile::LinkToMissing, Hostile::LinkToVictim, Hostile::Fifo, Hostile::Device}) {
            SCOPED_TRACE(place.path + ", " + kHostileNames[static_cast<int>(kind)]);
            const std::string result =
                inChild([&] { return hostileCase(place.path, place.folder, kind); }, 20);
            if (result == "SKIP")
                continue; // no device nodes here (not root)
            EXPECT_EQ(result, "OK");
        }
    }
}

// --- Links swapped in while the control writes ------------------------------------------------

// Keeps putting a link to the victim in place's stead, atomically, until told to stop: a folder
// is exchanged with the link (and back), a file is replaced by the link and then by a file
// again. Starts only once the first swap is made.
class LinkSwapper {
  public:
    LinkSwapper(const std::string& place, const std::string& victim, bool folder)
        : place_(place), dir_(fs::path(place).parent_path().string()) {
        thread_ = std::thread([this, victim, folder] {
            const std::string link = dir_ + "/.link", file = dir_ + "/.file";
            ::symlink(victim.c_str(), link.c_str());
            while (!stop_) {
                bool swapped;
                if (folder) {
                    swapped = ::renameat2(AT_FDCWD, place_.c_str(), AT_FDCWD, link.c_str(),
                                          RENAME_EXCHANGE) == 0;
                } else {
                    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
                    ::symlink(victim.c_str(), link.c_str());
                    swapped = ::rename(link.c_str(), place_.c_str()) == 0 &&
                              ::rename(file.c_str(), place_.c_str()) == 0;
                }
                if (swapped)
                    ++swaps_;
            }
            // Left as found: the real thing at place.
            if (folder && whatIs(place_).starts_with("link"))
                ::renameat2(AT_FDCWD, place_.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
            ::unlink(link.c_str());
        });
        while (swaps_ == 0)
            std::this_thread::yield();
    }
    ~LinkSwapper() { stop(); }
    long stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return swaps_;
    }
    long swaps() const { return swaps_; }

  private:
    std::string place_, dir_;
    std::atomic<bool> stop_{false};
    std::atomic<long> swaps_{0};
    std::thread thread_;
};

TEST(AppFolderFiles, ALinkSwappedInWhileTheControlWritesNeverReachesTheVictim) {
    struct Case {
        std::string place;
        bool folder;
        bool views; // the page is at stake: views; otherwise log lines
    };
    for (const Case& c : {Case{"pvData.html", false, true}, Case{"Log", true, false},
                          Case{kMonth, true, false}, Case{kLogFile, false, false}}) {
        SCOPED_TRACE(c.place);
        Clerk clerk;
        TempAppFolder outside;
        const std::string victim = outside.file("victim");
        makeVictim(victim, c.folder);
        clerk.view(); // the page exists
        clerk.log("the log exists");
        const std::string firstPage = clerk.page();

        // Writes go on until both sides have had their turns many times.
        int done = 0;
        LinkSwapper swapper(clerk.file(c.place), victim, c.folder);
        while (done < 150 || swapper.swaps() < 1000) {
            if (c.views)
                clerk.view();
            else
                clerk.log("line " + std::to_string(done));
            ++done;
        }
        swapper.stop();
        EXPECT_EQ(contentsOf(victim), c.folder ? "folder []" : kVictimText);
        // Once the link is gone, the control writes where it should: a whole page.
        if (!c.folder)
            fs::remove(clerk.file(c.place));
        clerk.view();
        EXPECT_EQ(clerk.page(), firstPage);
    }
}

// --- Modes ------------------------------------------------------------------------------------

TEST(AppFolderFiles, NewFilesAreTheUsersAloneAndAReplacedPageKeepsItsMode) {
    const std::string result = inChild([] {
        ::umask(0); // the modes must not depend on what the host's umask happens to let through
        std::string problems;
        Clerk clerk;
        clerk.view();
        clerk.log("first line");
        // Made by the control, then as the user chose: the page's across its replacement, the
        // log's and the folders' as they are.
        const struct {
            std::string name;
            mode_t made, chosen;
        } files[] = {{"pvData.html", 0600, 0640},
                     {"Log", 0700, 0750},
                     {kMonth, 0700, 0755},
                     {kLogFile, 0600, 0644}};
        for (const auto& f : files) {
            if (modeOf(clerk.file(f.name)) != f.made)
                problems += f.name + " made " + std::to_string(modeOf(clerk.file(f.name))) + "; ";
            ::chmod(clerk.file(f.name).c_str(), f.chosen);
        }
        clerk.h.add(u("11:00:00"), u("Ajout"), u(""));
        clerk.view();
        clerk.log("second line");
        for (const auto& f : files)
            if (modeOf(clerk.file(f.name)) != f.chosen)
                problems += f.name + " now " + std::to_string(modeOf(clerk.file(f.name))) + "; ";
        if (clerk.page().find("Ajout") == std::string::npos)
            problems += "the page was not replaced; ";
        return problems.empty() ? std::string("OK") : problems;
    });
    EXPECT_EQ(result, "OK");
}

// --- Copies left by a writer that never finished ---------------------------------------------

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
    clerk.view(); // the dead writer's copy goes
    // A view leaves nothing of its own behind.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(clerk.h.app.native()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{alive, other, "Recovery", "pvData.html"}));
}

// --- Two writers ------------------------------------------------------------------------------

TEST(AppFolderFiles, TwoProcessesViewingInOneFolderLeaveOneCasesWholePage) {
    // Two controls on one folder, two cases; each page is several hundred kilobytes.
    Clerk first(1500), second(3, first.h.app.native());
    first.h.c().NoDossier = u("500-01-000001-241");
    second.h.c().NoDossier = u("500-01-000002-241");
    second.view();
    const std::string pageB = first.page();
    first.view();
    const std::string pageA = first.page();
    ASSERT_NE(pageA, pageB);

    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            Clerk& clerk = w == 0 ? first : second;
            for (int i = 0; i < 40; ++i)
                clerk.view();
            ::_exit(clerk.launches() == 40 ? 0 : 1);
        }
    }
    // Read while they write: every page read is one case's, whole.
    auto running = [&] {
        int status;
        return ::waitpid(writers[0], &status, WNOHANG) == 0 ||
               ::waitpid(writers[1], &status, WNOHANG) == 0;
    };
    std::string stray;
    for (bool more = true; more && stray.empty();) {
        more = running();
        const std::string page = first.page();
        if (page != pageA && page != pageB)
            stray = page.substr(0, 200) + "... (" + std::to_string(page.size()) + " bytes)";
    }
    for (pid_t pid : writers)
        ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(stray, "");
    EXPECT_TRUE(first.page() == pageA || first.page() == pageB);
}

// --- A full disk ------------------------------------------------------------------------------

// In a mount namespace of its own: the application folder on a small tmpfs, and /dev/log a
// socket of ours, to see what reaches the system log.
std::string fullDiskCase(const std::string& mountPoint) {
    if (std::string why = ownMountNamespace(); !why.empty())
        return why;
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=16m,mode=0700") != 0 ||
        ::mount("tmpfs", "/dev", "tmpfs", 0, "size=64k,mode=0755") != 0)
        return "SKIP mount refused";
    const int sink = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/dev/log");
    if (sink < 0 || ::bind(sink, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return "SKIP no socket at /dev/log";
    ::closelog(); // a connection inherited from the parent would go to its system log

    std::string problems;
    const std::string app = mountPoint + "/audience", page = app + "/pvData.html";
    fs::create_directory(app);
    Clerk clerk(200, app);
    RecordingHappenings& rec = clerk.rec;
    clerk.view();
    const std::string previous = readFile(page);
    if (rec.only("launch").size() != 1 || previous.size() < 10000)
        return "the first view did not work";

    // The disk fills up; the list grows.
    {
        std::ofstream filler(mountPoint + "/filler", std::ios::binary);
        const std::string block(65536, 'x');
        while (filler.write(block.data(), block.size()))
            ;
    }
    clerk.h.c().AnnoAdd(u("11:00:00"), u("Suspension"));
    rec.seen.clear();
    clerk.view();
    clerk.print();
    if (readFile(page) != previous)
        problems += "the previous page did not stay; ";
    if (!rec.only("launch").empty() || !rec.only("navigate").empty())
        problems += "a browser was started or the print loaded; ";
    if (rec.only("msgbox").size() != 2)
        problems += "expected two message boxes; ";
    for (const auto& e : fs::directory_iterator(app))
        if (e.path().filename().string().starts_with(".pvData.html."))
            problems += "left behind: " + e.path().filename().string() + "; ";

    // The log is on the same disk: the lines went to the system log instead.
    std::string logged;
    char buf[2048];
    for (ssize_t n; (n = ::recv(sink, buf, sizeof buf, 0)) > 0;)
        logged += std::string(buf, static_cast<std::size_t>(n)) + "\n";
    const std::string expected =
        "Dalmure.Log not written (Disk full): \"2026-03-04 14:05:09.37 : 61 : Disk full : "
        "errDalmure_GenerateHTML\"";
    std::size_t found = 0;
    for (std::size_t at = 0; (at = logged.find(expected, at)) != std::string::npos; ++at)
        ++found;
    if (found != 2 || logged.find("<11>") == std::string::npos) // user.err
        problems += "system log received: [" + logged + "]; ";

    // Room again: the next view writes the new page.
    fs::remove(mountPoint + "/filler");
    rec.seen.clear();
    clerk.view();
    if (rec.only("launch").size() != 1 || readFile(page).find("Suspension") == std::string::npos)
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

// --- What the control reads -------------------------------------------------------------------

// Keeps swapping a FIFO and the real file in and out of names, atomically, until stopped: the
// real file comes back as a hard link to a copy kept beside it.
class FifoSwapper {
  public:
    FifoSwapper(const std::string& folder, std::vector<std::string> names) {
        // The paths are made before the thread starts: it never allocates, so that a fork taken
        // while it runs cannot inherit a held allocator lock.
        std::vector<std::pair<std::string, std::string>> places; // name, real copy
        for (const std::string& n : names) {
            places.emplace_back(folder + "/" + n, folder + "/.real." + n);
            fs::copy_file(places.back().first, places.back().second);
        }
        thread_ = std::thread(
            [this, places = std::move(places), fifo = folder + "/.fifo", file = folder + "/.file"] {
                while (!stop_) {
                    for (const auto& [place, real] : places) {
                        ::mkfifo(fifo.c_str(), 0600);
                        ::rename(fifo.c_str(), place.c_str());
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                        ::link(real.c_str(), file.c_str());
                        ::rename(file.c_str(), place.c_str());
                    }
                    ++swaps_;
                }
            });
        // Under way before any fork: a thread still starting holds the sanitizers' thread
        // registry, which a child forked then would wait for forever.
        while (swaps_ == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FifoSwapper() {
        stop_ = true;
        thread_.join();
    }
    long swaps() const { return swaps_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<long> swaps_{0};
    std::thread thread_;
};

// The catalogue and the INI file may be links to regular files, but a FIFO swapped in while the
// control starts is never waited for: every start ends, and the control takes annotations.
TEST(AppFolderFiles, AFifoSwappedInWhileTheControlStartsNeverHangsIt) {
    TempAppFolder app;
    app.copyCatalogue();
    app.writeIni("[Config]\nLangue=English\n[LNG]\nLNG1=English|Anglais\n");
    FifoSwapper swapper(app.native(), {"ORLngClient.MDB", "ORClient.ini"});
    for (int start = 0; start < 30; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        const std::string result = inChild(
            [&] {
                headless::HeadlessOptions options;
                options.now = fixedNow();
                headless::HeadlessPlatform platform(options);
                DalmurePrivate control(platform, app.path());
                control.AnnoAdd(u("10:00:00"), u("Ouverture"));
                return control.AnnoCount() == 1 ? "OK" : "no annotation";
            },
            20);
        EXPECT_EQ(result, "OK");
    }
    EXPECT_GT(swapper.swaps(), 0);
}

// Both kinds of file are read through links (deployments share them); a FIFO in their place
// reads as a missing file with one log line each.
TEST(AppFolderFiles, TheSharedFilesAreReadThroughLinksAndAFifoIsRefusedOnce) {
    TempAppFolder shared;
    shared.copyCatalogue();
    shared.writeIni("[Config]\nLangue=English\n[LNG]\nLNG1=English|Anglais\n");
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "links");
        const std::string result = inChild(
            [&] {
                ControlHarness h;
                for (const char* name : {"ORLngClient.MDB", "ORClient.INI"}) {
                    if (fifo)
                        ::mkfifo(h.app.file(name).c_str(), 0600);
                    else
                        fs::create_symlink(shared.file(name == std::string("ORClient.INI")
                                                           ? "ORClient.ini"
                                                           : name),
                                           h.app.file(name));
                }
                h.start();
                const Str column = h.c().privateState().strLangColumn;
                const auto lines = h.app.logEntries();
                if (!fifo)
                    return column == u"Anglais" && lines.empty() ? std::string("OK")
                                                                 : "links not read";
                return column == u"Francais" && lines.size() == 2
                           ? std::string("OK")
                           : std::to_string(lines.size()) + " log lines";
            },
            20);
        EXPECT_EQ(result, "OK");
    }
}

} // namespace
} // namespace dalmure::test
