// The monthly log: line format to the byte, month folders, GetLogPath and containment.
#include "platform/ids.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure {
namespace {

namespace fs = std::filesystem;

class FakeClock : public platform::Clock {
  public:
    platform::LocalTime t{2026, 3, 4, 14, 5, 9, 37};
    double seconds = 14 * 3600 + 5 * 60 + 9.37;
    mutable int calls = 0;
    platform::LocalTime now() const override {
        ++calls;
        return t;
    }
    double secondsSinceMidnight() const override { return seconds; }
};

class FakeScreen : public platform::Screen {
  public:
    int pointer = 99;
    std::vector<int> history;
    void setMousePointer(int p) override {
        pointer = p;
        history.push_back(p);
    }
    int mousePointer() const override { return pointer; }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SupportLog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "dalmure-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        app_ = templ;
    }
    void TearDown() override { fs::remove_all(app_); }
    Str app() const { return fromUtf8(app_.string()); }
    fs::path logFile(const char* month = "2026-03") const {
        return app_ / "Log" / month / "Dalmure.Log";
    }

    fs::path app_;
    FakeClock clock_;
    FakeScreen screen_;
};

TEST_F(SupportLog, WritesTheDocumentedLinesByteForByte) {
    Log log(app(), clock_, screen_);
    log.WriteLog(13, u"Description text", u"errDalmure_AnnoCount");
    log.WriteLog(0, u"Fichier pvData.html absent.", u"errDalmure_CWButton2_Click");
    log.WriteLog(-2147217865, u"Say \"hi\" : now", u"lbl");
    log.WriteLog(3265, u"é € Ł", u"errDalmure_ChargeLangue");
    EXPECT_EQ(slurp(logFile()),
              "\"2026-03-04 14:05:09.37 : 13 : Description text : errDalmure_AnnoCount\"\r\n"
              "\"2026-03-04 14:05:09.37 :  : Fichier pvData.html absent. : "
              "errDalmure_CWButton2_Click\"\r\n"
              "\"2026-03-04 14:05:09.37 : -2147217865 : Say \"hi\" : now : lbl\"\r\n"
              "\"2026-03-04 14:05:09.37 : 3265 : \xE9 \x80 ? : errDalmure_ChargeLangue\"\r\n");
    EXPECT_EQ(log.formatLine(-2147483647 - 1, u"d", u"l"),
              u"\"2026-03-04 14:05:09.37 : -2147483648 : d : l\"");
}

TEST_F(SupportLog, HundredthsComeFromTheSecondsClockRoundedAndNeverReach100) {
    Log log(app(), clock_, screen_);
    auto hundredths = [&](double seconds) {
        clock_.seconds = seconds;
        const Str line = log.formatLine(1, u"d", u"l");
        return line.substr(21, 2);
    };
    EXPECT_EQ(hundredths(50709.37), u"37");
    EXPECT_EQ(hundredths(50709.0), u"00");
    EXPECT_EQ(hundredths(50709.004), u"00");
    EXPECT_EQ(hundredths(50709.006), u"01");
    EXPECT_EQ(hundredths(50709.994), u"99");
    EXPECT_EQ(hundredths(50709.9951), u"99"); // would round to 100: stays in the second shown
    EXPECT_EQ(hundredths(86399.9999), u"99");
    EXPECT_EQ(hundredths(0.5), u"50");
    clock_.t = {999, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(log.formatLine(1, u"d", u"l").substr(0, 21), u"\"0999-01-02 03:04:05.");
}

TEST_F(SupportLog, ResetsThePointerAndAppendsToOneFolderPerMonth) {
    Log log(app(), clock_, screen_);
    screen_.pointer = platform::kPointerBusy;
    log.WriteLog(1, u"first", u"a");
    EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
    clock_.t.month = 4;
    log.WriteLog(2, u"second", u"b");
    clock_.t.month = 3;
    log.WriteLog(3, u"third", u"c");
    const std::string march = slurp(logFile());
    EXPECT_NE(march.find("first"), std::string::npos);
    EXPECT_NE(march.find("third"), std::string::npos);
    EXPECT_EQ(march.find("second"), std::string::npos);
    EXPECT_NE(slurp(logFile("2026-04")).find("\"2026-04-04 14:05:09.37 : 2 : second : b\"\r\n"),
              std::string::npos);
}

TEST_F(SupportLog, GetLogPathAddsTheSlashAndCreatesTheMonthFolder) {
    Log log(app(), clock_, screen_);
    Str path = fromUtf8((app_ / "MyLogs").string());
    const Str original = path;
    EXPECT_EQ(log.GetLogPath(path), original + u"/2026-03/");
    EXPECT_EQ(path, original + u"/");
    EXPECT_TRUE(fs::is_directory(app_ / "MyLogs" / "2026-03"));
    Str again = path;
    EXPECT_EQ(log.GetLogPath(again), original + u"/2026-03/");
    EXPECT_EQ(again, path);
    EXPECT_FALSE(fs::exists(logFile())); // success writes nothing
}

TEST_F(SupportLog, GetLogPathWithAMissingParentReportsAndReturnsThePathAsGiven) {
    Log log(app(), clock_, screen_);
    Str path = fromUtf8((app_ / "missing" / "Logs").string());
    const Str original = path;
    EXPECT_EQ(log.GetLogPath(path), original);
    EXPECT_EQ(path, original); // the failure came before the slash was added
    EXPECT_FALSE(fs::exists(app_ / "missing"));
    EXPECT_EQ(slurp(logFile()),
              "\"2026-03-04 14:05:09.37 : 76 : Path not found : errDalmure_GetLogPath\"\r\n");
}

TEST_F(SupportLog, AnUnwritableLogLosesTheLineWithoutLoopingOrThrowing) {
    // An application "folder" that is a regular file: nothing can be created under it, even
    // for root.
    std::ofstream(app_ / "plainfile") << "x";
    Log log(fromUtf8((app_ / "plainfile").string()), clock_, screen_);
    log.writeTrapped(5, u"lost", u"errDalmure_AnnoAdd");
    EXPECT_LT(clock_.calls, 20); // bounded: a few attempts, no recursion
    EXPECT_THROW(log.WriteLog(5, u"lost", u"x"), ControlError);
    Str p = fromUtf8((app_ / "plainfile" / "Logs").string());
    EXPECT_EQ(log.GetLogPath(p), fromUtf8((app_ / "plainfile" / "Logs").string()));

    Log proc(u"/proc/dalmure-no-such-dir", clock_, screen_);
    proc.writeTrapped(1, u"x", u"y");
    EXPECT_THROW(proc.WriteLog(1, u"x", u"y"), ControlError);
}

TEST_F(SupportLog, DiskFullAndAppendErrorsAreFileErrors) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    try {
        files::appendAll(u"/dev/full", "line\r\n");
        ADD_FAILURE() << "no error";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), 61);
        EXPECT_EQ(e.description(), u"Disk full");
    }
    try {
        files::appendAll(fromUtf8((app_ / "nope" / "x.log").string()), "x");
        ADD_FAILURE() << "no error";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), 76);
    }
}

TEST_F(SupportLog, TwoProcessesAppendingNeverLoseOrInterleaveLines) {
    constexpr int kLines = 10000;
    Log log(app(), clock_, screen_);
    log.WriteLog(0, u"start", u"t"); // folders exist before the race
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            const Str tag = c == 0 ? Str(u"A") : Str(u"B");
            for (int i = 0; i < kLines; ++i)
                log.WriteLog(i, tag + u" " + decimal(i) + u" " + Str(40, c == 0 ? u'a' : u'b'),
                             u"errDalmure_Race");
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string all = slurp(logFile());
    const std::regex shape(
        "\"2026-03-04 14:05:09\\.37 : (\\d*) : ([AB]) (\\d+) (a{40}|b{40}) : errDalmure_Race\"");
    std::set<int> seen[2];
    std::size_t pos = all.find("\r\n") + 2; // after the "start" line
    int lines = 0;
    while (pos < all.size()) {
        const std::size_t end = all.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = all.substr(pos, end - pos);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        const int who = m[2] == "A" ? 0 : 1;
        EXPECT_EQ(m[4].str()[0], who == 0 ? 'a' : 'b');
        seen[who].insert(std::stoi(m[3]));
        ++lines;
        pos = end + 2;
    }
    EXPECT_EQ(lines, 2 * kLines);
    EXPECT_EQ(seen[0].size(), static_cast<std::size_t>(kLines));
    EXPECT_EQ(seen[1].size(), static_cast<std::size_t>(kLines));
}

} // namespace
} // namespace dalmure
