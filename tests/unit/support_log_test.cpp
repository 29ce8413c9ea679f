// The monthly log: line format to the byte, month folders, GetLogPath and containment.
#include "platform/ids.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/log.h"
#include "support_rig.h"

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

using test::slurp;

class SupportLog : public test::SupportTest {
  protected:
    Str app() const { return fromUtf8(app_.string()); }
    fs::path logFile(const char* month = "2026-03") const {
        return app_ / "Log" / month / "Dalmure.Log";
    }
};

TEST_F(SupportLog, WritesTheDocumentedLinesByteForByte) {
    Log log(app(), clock_, pointerBack());
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

TEST_F(SupportLog, ALineBreakInsideAFieldIsABlankSoNoLineCanBeForged) {
    Log log(app(), clock_, pointerBack());
    const Str forged = u"\"2026-03-04 14:05:09.37 : 0 : forged : errDalmure_AnnoAdd\"";
    const struct {
        Str description, label;
        std::string written;
    } cases[] = {
        {u"cr\rlf\ncrlf\r\nlfcr\n\r", u"l", "cr lf crlf  lfcr   : l"},
        {u"dossier\r\n" + forged, u"errDalmure_AnnoAdd",
         "dossier  \"2026-03-04 14:05:09.37 : 0 : forged : errDalmure_AnnoAdd\" : "
         "errDalmure_AnnoAdd"},
        {u"d", u"lab\nel\r", "d : lab el "},
    };
    std::string expected;
    for (const auto& c : cases) {
        log.WriteLog(0, c.description, c.label);
        expected += "\"2026-03-04 14:05:09.37 :  : " + c.written + "\"\r\n";
    }
    EXPECT_EQ(slurp(logFile()), expected);
}

TEST_F(SupportLog, HundredthsComeFromTheSecondsClockRoundedAndNeverReach100) {
    Log log(app(), clock_, pointerBack());
    const std::pair<double, Str> rows[] = {{50709.0, u"00"},    {50709.004, u"00"},
                                           {50709.006, u"01"},  {50709.994, u"99"},
                                           {50709.9951, u"99"}, {86399.9999, u"99"}};
    for (const auto& [seconds, hundredths] : rows) {
        SCOPED_TRACE(seconds);
        clock_.seconds = seconds;
        EXPECT_EQ(log.formatLine(1, u"d", u"l").substr(21, 2), hundredths);
    }
    clock_.t = {999, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(log.formatLine(1, u"d", u"l").substr(0, 21), u"\"0999-01-02 03:04:05.");
}

TEST_F(SupportLog, ResetsThePointerAndAppendsToOneFolderPerMonth) {
    Log log(app(), clock_, pointerBack());
    screen_.pointer = platform::kPointerBusy;
    log.WriteLog(1, u"first", u"a");
    EXPECT_EQ(screen_.pointer, platform::kPointerDefault);
    clock_.t.month = 4;
    log.WriteLog(2, u"second", u"b");
    clock_.t.month = 3;
    log.WriteLog(3, u"third", u"c");
    EXPECT_EQ(slurp(logFile()), "\"2026-03-04 14:05:09.37 : 1 : first : a\"\r\n"
                                "\"2026-03-04 14:05:09.37 : 3 : third : c\"\r\n");
    EXPECT_EQ(slurp(logFile("2026-04")), "\"2026-04-04 14:05:09.37 : 2 : second : b\"\r\n");
}

TEST_F(SupportLog, GetLogPathAddsTheSlashOrReportsAMissingParent) {
    Log log(app(), clock_, pointerBack());
    const Str original = fromUtf8((app_ / "MyLogs").string());
    Str path = original;
    EXPECT_EQ(log.GetLogPath(path), original + u"/2026-03/");
    EXPECT_EQ(path, original + u"/");
    EXPECT_TRUE(fs::is_directory(app_ / "MyLogs" / "2026-03"));
    EXPECT_EQ(log.GetLogPath(path), original + u"/2026-03/"); // no second slash
    EXPECT_FALSE(fs::exists(logFile()));                      // success writes nothing

    const Str missing = fromUtf8((app_ / "missing" / "Logs").string());
    path = missing;
    EXPECT_EQ(log.GetLogPath(path), missing);
    EXPECT_EQ(path, missing); // the failure came before the slash was added
    EXPECT_EQ(slurp(logFile()),
              "\"2026-03-04 14:05:09.37 : 76 : Path not found : errDalmure_GetLogPath\"\r\n");
}

TEST_F(SupportLog, AnUnwritableLogLosesTheLineWithoutLoopingOrThrowing) {
    // An application "folder" that is a regular file: nothing can be created under it, even
    // for root.
    std::ofstream(app_ / "plainfile") << "x";
    Log log(fromUtf8((app_ / "plainfile").string()), clock_, pointerBack());
    log.writeTrapped(5, u"lost", u"errDalmure_AnnoAdd");
    EXPECT_LT(clock_.calls, 20); // bounded: a few attempts, no recursion
    EXPECT_THROW(log.WriteLog(5, u"lost", u"x"), ControlError);
    const Str under = fromUtf8((app_ / "plainfile" / "Logs").string());
    Str p = under;
    EXPECT_EQ(log.GetLogPath(p), under);
}

TEST_F(SupportLog, TwoProcessesAppendingNeverLoseOrInterleaveLines) {
    constexpr int kLines = 10000;
    Log log(app(), clock_, pointerBack());
    log.WriteLog(0, u"start", u"t"); // folders exist before the race
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kLines; ++i)
                log.WriteLog(i, Str(1, u"AB"[c]) + u" " + Str(40, u"ab"[c]), u"errDalmure_Race");
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream all(slurp(logFile()));
    const std::regex shape("\"2026-03-04 14:05:09\\.37 : (\\d*) : (A a{40}|B b{40}) : "
                           "errDalmure_Race\"\r");
    std::set<std::string> seen;
    std::string line;
    std::getline(all, line); // the "start" line
    while (std::getline(all, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_TRUE(seen.insert(m[2].str().substr(0, 1) + m[1].str()).second) << line;
    }
    EXPECT_EQ(seen.size(), 2u * kLines);
}

} // namespace
} // namespace dalmure
