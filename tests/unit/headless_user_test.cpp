// The in-memory platform seen from the control: the order in which the simulated user's actions
// arrive, the editor's typing and focus rules, refusals, and what the services report.
#include "control/design.h"
#include "platform/headless/headless_platform.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace dalmure::headless {
namespace {

using platform::ButtonId;
using platform::MenuItemId;

// Writes down every notification and happening as a short line; optional hooks let a test act
// like a handler of the control.
class Recorder : public platform::Notifications, public HappeningSink {
  public:
    explicit Recorder(HeadlessPlatform& p) : p_(p) {}

    std::vector<std::string> log;
    std::function<void(std::int16_t&)> onKeyPress;
    std::function<void()> onMouseUp;
    std::function<void()> onGotFocus;

    void gridClick() override { log.push_back("click " + cell()); }
    void gridDblClick() override { log.push_back("dblclick " + cell()); }
    void gridKeyPress(std::int16_t& k) override { log.push_back("gridkey " + std::to_string(k)); }
    void gridLeaveCell() override { log.push_back("leave " + cell()); }
    void gridScroll() override { log.push_back("scroll " + std::to_string(p_.grid().topRow())); }
    void gridMouseMove(int, int, double, double) override { log.push_back("gridmove"); }
    void gridMouseUp(int button, int, double, double) override {
        log.push_back("mouseup " + std::to_string(button));
        if (onMouseUp) {
            onMouseUp();
        }
    }
    void editorChange() override { log.push_back("change " + toUtf8(p_.editor().text())); }
    void editorGotFocus() override {
        log.push_back("got");
        if (onGotFocus) {
            onGotFocus();
        }
    }
    void editorLostFocus() override { log.push_back("lost"); }
    void editorKeyDown(std::int16_t& k, int shift) override {
        log.push_back("down " + std::to_string(k) + (shift ? "+shift" : ""));
    }
    void editorKeyPress(std::int16_t& k) override {
        log.push_back("press " + std::to_string(k));
        if (onKeyPress) {
            onKeyPress(k);
        }
    }
    void editorKeyUp(std::int16_t& k, int) override { log.push_back("up " + std::to_string(k)); }
    void buttonClick(ButtonId b) override {
        log.push_back("button " + std::string(platform::buttonName(b)));
    }
    void buttonMouseMove(ButtonId b) override {
        log.push_back("hover " + std::string(platform::buttonName(b)));
    }
    void menuClick(MenuItemId m) override {
        log.push_back("menuclick " + std::string(platform::menuItemName(m)));
    }
    void surfaceMouseMove(int, int, double, double) override { log.push_back("surfacemove"); }
    void surfaceEnterFocus() override { log.push_back("enterfocus"); }
    void surfaceResize() override {
        log.push_back("resize " + std::to_string(p_.surface().width()) + "x" +
                      std::to_string(p_.surface().height()));
    }
    void ambientChanged(const Str& name) override { log.push_back("ambient " + toUtf8(name)); }

    void prompt(const Str& title, const Str& message, const Str& def, const Str& answer) override {
        log.push_back("prompt " + toUtf8(title) + "|" + toUtf8(message) + "|" + toUtf8(def) + "|" +
                      toUtf8(answer));
    }
    void messageBox(const Str& title, const Str& message) override {
        log.push_back("msgbox " + toUtf8(title) + "|" + toUtf8(message));
    }
    void menu(const std::vector<MenuItemState>& items, std::optional<MenuItemId> chosen) override {
        std::string line = "menu";
        for (const auto& it : items) {
            line += " " + std::string(platform::menuItemName(it.id)) + (it.enabled ? "" : "-d") +
                    (it.visible ? "" : "-h");
        }
        line += " chosen=" + (chosen ? std::string(platform::menuItemName(*chosen)) : "null");
        log.push_back(line);
    }
    void launch(const Str& program, const Str& params) override {
        log.push_back("launch " + toUtf8(program) + "|" + toUtf8(params));
    }
    void navigate(const Str& path) override { log.push_back("navigate " + toUtf8(path)); }
    void printSize(std::int16_t size) override {
        log.push_back("printsize " + std::to_string(size));
    }
    void pointer(int pointer) override { log.push_back("pointer " + std::to_string(pointer)); }

  private:
    std::string cell() const {
        return std::to_string(p_.grid().row()) + "," + std::to_string(p_.grid().col());
    }
    HeadlessPlatform& p_;
};

class HeadlessUserTest : public ::testing::Test {
  protected:
    HeadlessUserTest() {
        p.setNotifications(&rec);
        p.setHappeningSink(&rec);
        p.frame(platform::FrameId::Frame3).setVisible(true); // as start-up leaves it
    }

    // The editor shown and focused, as the control leaves it when it opens it.
    void openEditor(const Str& text = u"") {
        p.editor().setText(text);
        p.editor().setVisible(true);
        p.editor().setFocus();
        p.editor().setSelStart(static_cast<std::int32_t>(text.size()));
        rec.log.clear();
    }

    HeadlessPlatform p;
    Recorder rec{p};
};

using Log = std::vector<std::string>;

// --- Clicks and the current cell -------------------------------------------------------------

TEST_F(HeadlessUserTest, ClickTakesTheFocusThenLeavesTheCellThenClicks) {
    openEditor();
    EXPECT_TRUE(p.userClick(1, 1));
    EXPECT_EQ(rec.log, (Log{"lost", "leave 0,0", "click 1,1"}));
    EXPECT_FALSE(p.editor().hasFocus());
    rec.log.clear();
    // On the current cell: no cell-leave, no focus change.
    EXPECT_TRUE(p.userDblClick(1, 1));
    EXPECT_EQ(rec.log, (Log{"click 1,1", "dblclick 1,1"}));
}

TEST_F(HeadlessUserTest, MovingTheCurrentCellFromCodeRaisesNothing) {
    p.grid().setRow(1);
    p.grid().setCol(1);
    EXPECT_TRUE(rec.log.empty());
}

TEST_F(HeadlessUserTest, RefusedActionsChangeNothing) {
    openEditor(u"kept");
    EXPECT_FALSE(p.userClick(2, 0)); // beyond the last row
    EXPECT_FALSE(p.userClick(0, 2)); // no third column
    EXPECT_FALSE(p.userDblClick(-1, 0));
    EXPECT_FALSE(p.userRightClick(5, 1, std::nullopt));
    EXPECT_FALSE(p.userRightClick(0, 1, std::string("mnuPopupNothing")));
    EXPECT_FALSE(p.userScroll(2));
    EXPECT_FALSE(p.userHover("CWButton9"));
    p.button(ButtonId::CWButton1).setVisible(false);
    EXPECT_FALSE(p.userButton(ButtonId::CWButton1));
    EXPECT_FALSE(p.userHover("CWButton1"));
    EXPECT_TRUE(rec.log.empty());
    EXPECT_TRUE(p.editor().hasFocus());
    EXPECT_EQ(p.grid().topRow(), 0);
}

TEST_F(HeadlessUserTest, AButtonIsShownOnlyWhenItsFrameIsShown) {
    HeadlessPlatform fresh;
    // As designed Frame3 is hidden until start-up shows it; the play button stands outside it.
    EXPECT_FALSE(fresh.frame(platform::FrameId::Frame3).visible());
    EXPECT_FALSE(fresh.buttonShown(ButtonId::CWButton1));
    EXPECT_FALSE(fresh.buttonShown(ButtonId::CWButton6_1));
    EXPECT_TRUE(fresh.buttonShown(ButtonId::CWButton3));
    EXPECT_FALSE(fresh.userButton(ButtonId::CWButton2));
    fresh.frame(platform::FrameId::Frame3).setVisible(true);
    EXPECT_TRUE(fresh.buttonShown(ButtonId::CWButton2));
    fresh.button(ButtonId::CWButton2).setVisible(false);
    EXPECT_FALSE(fresh.buttonShown(ButtonId::CWButton2));
}

TEST_F(HeadlessUserTest, ButtonAndKeyPressTakeTheEditorsFocusFirst) {
    openEditor();
    EXPECT_TRUE(p.userButton(ButtonId::CWButton4));
    EXPECT_EQ(rec.log, (Log{"lost", "button CWButton4"}));
    openEditor();
    p.userKeyPress(13);
    EXPECT_EQ(rec.log, (Log{"lost", "gridkey 13"}));
    openEditor();
    p.userBlur();
    p.userBlur(); // nothing more to lose
    EXPECT_EQ(rec.log, (Log{"lost"}));
}

TEST_F(HeadlessUserTest, HoverScrollResizeAmbientAndFocusReachTheControl) {
    for (int i = 0; i < 3; ++i) {
        p.grid().addItem(u"x", 0);
    }
    EXPECT_TRUE(p.userHover("CWButton5"));
    EXPECT_TRUE(p.userHover("grid"));
    EXPECT_TRUE(p.userHover("surface"));
    EXPECT_TRUE(p.userScroll(std::nullopt)); // one row further down
    EXPECT_TRUE(p.userScroll(1));            // the same top row: still reported
    EXPECT_TRUE(p.userScroll(4));
    p.userResize(1000, 1200);
    p.userAmbient(u"BackColor");
    p.userFocus();
    EXPECT_EQ(rec.log, (Log{"hover CWButton5", "gridmove", "surfacemove", "scroll 1", "scroll 1",
                            "scroll 4", "resize 1000x1200", "ambient BackColor", "enterfocus"}));
}

// --- The popup menu ---------------------------------------------------------------------------

TEST_F(HeadlessUserTest, RightClickChoosesAnEnabledVisibleItemInsideThePopup) {
    openEditor();
    rec.onMouseUp = [&] {
        p.menu().setEnabled(MenuItemId::Supprimer, false);
        p.menu().setVisible(MenuItemId::Jouer, false);
        p.menu().popup(true);
        rec.log.push_back("popup returned");
    };
    EXPECT_TRUE(p.userRightClick(1, 1, std::string("mnuPopupRenommer")));
    EXPECT_EQ(rec.log, (Log{"lost", "mouseup 2",
                            "menu mnuPopupJouer-h mnuPopupRenommer mnuPopupSupprimer-d s1 "
                            "mnuPopupImprimer s2 mnuPopupDalmure chosen=mnuPopupRenommer",
                            "menuclick mnuPopupRenommer", "popup returned"}));
    EXPECT_EQ(p.grid().row(), 0); // a right click does not move the current cell
    EXPECT_EQ(p.menuPopups(), 1);

    for (const char* name : {"mnuPopupSupprimer", "mnuPopupJouer", "s1"}) {
        rec.log.clear();
        EXPECT_TRUE(p.userRightClick(0, 0, std::string(name)));
        ASSERT_EQ(rec.log.size(), 3u) << name; // mouse-up, menu, popup returned
        EXPECT_NE(rec.log[1].find("chosen=null"), std::string::npos) << name;
    }
}

TEST_F(HeadlessUserTest, AChoiceIsForgottenWhenTheMenuDidNotOpen) {
    EXPECT_TRUE(p.userRightClick(0, 0, std::string("mnuPopupImprimer")));
    rec.log.clear();
    p.menu().popup(true); // opened later by other means: nothing chosen
    EXPECT_EQ(rec.log.size(), 1u);
    EXPECT_NE(rec.log[0].find("chosen=null"), std::string::npos);
    EXPECT_EQ(p.menu().caption(MenuItemId::Dalmure), design::menuCaption(MenuItemId::Dalmure));
}

// --- Typing into the editor -------------------------------------------------------------------

TEST_F(HeadlessUserTest, TypingSendsKeysInOrderAndInsertsAtTheCaret) {
    openEditor(u"ad");
    p.editor().setSelStart(1);
    EXPECT_EQ(p.userType(u"Bc"), 2);
    EXPECT_EQ(rec.log, (Log{"down 66+shift", "press 66", "change aBd", "up 66", "down 67",
                            "press 99", "change aBcd", "up 67"}));
    EXPECT_EQ(p.editor().text(), u"aBcd");
    EXPECT_EQ(p.editor().selStart(), 3);
}

TEST_F(HeadlessUserTest, EnterInsertsCrLfAndBackspaceRemovesItAsOne) {
    openEditor(u"ab");
    EXPECT_EQ(p.userType(u"\rc"), 2);
    EXPECT_EQ(p.editor().text(), u"ab\r\nc");
    EXPECT_EQ(p.editor().selStart(), 5);
    EXPECT_EQ(rec.log[0], "down 13");
    EXPECT_EQ(rec.log[1], "press 13");
    EXPECT_EQ(p.userType(u"\b\b"), 2);
    EXPECT_EQ(p.editor().text(), u"ab");
    EXPECT_EQ(p.editor().selStart(), 2);
    // A lone CR or LF goes one character at a time.
    p.editor().setText(u"a\nb");
    p.editor().setSelStart(2);
    p.userType(u"\b");
    EXPECT_EQ(p.editor().text(), u"ab");
    // At the start of the text Backspace removes nothing and raises no change.
    p.editor().setSelStart(0);
    rec.log.clear();
    p.userType(u"\b");
    EXPECT_EQ(rec.log, (Log{"down 8", "press 8", "up 8"}));
}

TEST_F(HeadlessUserTest, HandlersDiscardOrReplaceKeysAndReadOnlyTypesNothing) {
    openEditor();
    rec.onKeyPress = [](std::int16_t& k) {
        if (k == '+') {
            k = 0;
        } else if (k == '\'') {
            k = '`';
        }
    };
    EXPECT_EQ(p.userType(u"a+'\x1b"), 4);
    EXPECT_EQ(p.editor().text(), u"a`"); // Esc types nothing either
    p.editor().setReadOnly(true);
    rec.log.clear();
    EXPECT_EQ(p.userType(u"xy"), 2); // delivered, not inserted
    EXPECT_EQ(p.editor().text(), u"a`");
    EXPECT_EQ(rec.log, (Log{"down 88", "press 120", "up 88", "down 89", "press 121", "up 89"}));
}

TEST_F(HeadlessUserTest, TypingStopsWhenTheEditorIsHiddenOrLosesTheFocus) {
    openEditor();
    rec.onKeyPress = [&](std::int16_t& k) {
        if (k == 27) {
            p.editor().setVisible(false);
            k = 0;
        }
    };
    EXPECT_EQ(p.userType(u"ab\x1b"
                         u"cd"),
              3);
    EXPECT_EQ(p.editor().text(), u"ab");
    // Hiding did not take the focus, but nothing can be typed into a hidden editor.
    EXPECT_TRUE(p.editor().hasFocus());
    EXPECT_EQ(p.userType(u"z"), 0);
    p.editor().setVisible(true);
    p.userBlur();
    EXPECT_EQ(p.userType(u"z"), 0);
    EXPECT_EQ(p.editor().text(), u"ab");
}

// --- The editor's own rules -------------------------------------------------------------------

TEST_F(HeadlessUserTest, SettingTextFromCodeRaisesChangeOnlyWhenItDiffersAndResetsTheCaret) {
    openEditor(u"abc");
    EXPECT_EQ(p.editor().selStart(), 3);
    p.editor().setText(u"abc");
    EXPECT_TRUE(rec.log.empty());
    EXPECT_EQ(p.editor().selStart(), 0);
    p.editor().setText(u"xyz");
    EXPECT_EQ(rec.log, (Log{"change xyz"}));
    p.editor().setSelStart(99);
    EXPECT_EQ(p.editor().selStart(), 3);
}

TEST_F(HeadlessUserTest, FocusIsGainedEveryTimeAndRefusedWhenHidden) {
    p.editor().setVisible(true);
    p.editor().setFocus();
    p.editor().setFocus();
    EXPECT_EQ(rec.log, (Log{"got", "got"}));
    // Prompts and message boxes leave the focus where it is.
    p.dialogs().inputBox(u"m", u"t", u"");
    p.dialogs().messageBox(u"m", u"t");
    EXPECT_TRUE(p.editor().hasFocus());
    p.editor().setVisible(false);
    EXPECT_TRUE(p.editor().hasFocus());
    try {
        p.editor().setFocus();
        FAIL() << "a hidden editor took the focus";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), errors::kInvalidProcedureCall);
    }
    p.editor().setVisible(true);
    p.frame(platform::FrameId::Frame3).setVisible(false);
    EXPECT_THROW(p.editor().setFocus(), ControlError);
}

// --- Metrics and services ---------------------------------------------------------------------

TEST_F(HeadlessUserTest, TextIsMeasuredByItsLongestLineAndItsLineCount) {
    auto& s = p.surface();
    EXPECT_DOUBLE_EQ(s.textWidth(u""), 0.0);
    EXPECT_DOUBLE_EQ(s.textHeight(u""), 200.0); // an empty text is one line of 25 x 8
    EXPECT_DOUBLE_EQ(s.textWidth(u" 00:00:00 "), 800.0);
    EXPECT_DOUBLE_EQ(s.textWidth(u"ab\r\ncde\rf\ng"), 240.0);
    EXPECT_DOUBLE_EQ(s.textHeight(u"ab\r\ncde\rf\ng"), 800.0);
    EXPECT_DOUBLE_EQ(s.textHeight(u"ab\r\n"), 400.0);
    s.setFontSize(12);
    EXPECT_DOUBLE_EQ(s.textWidth(u"A"), 120.0);
    EXPECT_DOUBLE_EQ(s.textHeight(u"A"), 300.0);
}

TEST_F(HeadlessUserTest, PromptsAnswerFromTheQueueAndAreReported) {
    p.queueAnswer(u"first");
    p.queueCancel();
    EXPECT_EQ(p.dialogs().inputBox(u"Msg", u"Title", u"def"), u"first");
    EXPECT_EQ(p.dialogs().inputBox(u"Msg", u"Title", u""), u"");
    EXPECT_EQ(p.dialogs().inputBox(u"Msg", u"Title", u"x"), u""); // nothing queued: cancelled
    p.dialogs().messageBox(u"Body", u"Head");
    EXPECT_EQ(rec.log, (Log{"prompt Title|Msg|def|first", "prompt Title|Msg||",
                            "prompt Title|Msg|x|", "msgbox Head|Body"}));
}

TEST_F(HeadlessUserTest, ShellAnswersTheConfiguredProgramForExistingFiles) {
    const auto dir = std::filesystem::temp_directory_path() / "headless_shell_test";
    std::filesystem::create_directories(dir);
    const auto page = dir / "pvData.html";
    std::ofstream(page) << "<html></html>";
    const Str pageStr = fromUtf8(page.string());
    const Str program = fromUtf8((dir / "browser").string());
    std::ofstream(dir / "browser") << "#!/bin/sh\n";

    HeadlessPlatform none;
    Str buffer = u"unchanged";
    EXPECT_EQ(none.shell().findExecutable(pageStr, u"", buffer), 31);
    EXPECT_EQ(buffer, u"unchanged");
    EXPECT_EQ(none.shell().findExecutable(pageStr + u".missing", u"", buffer), 2);

    HeadlessPlatform with(HeadlessOptions{std::nullopt, program});
    Recorder r(with);
    with.setHappeningSink(&r);
    EXPECT_GT(with.shell().findExecutable(pageStr, u"", buffer), 32);
    EXPECT_EQ(buffer, program);
    EXPECT_GT(with.shell().shellExecute(u"open", program, u"\"" + pageStr + u"\"", u"", 1), 32);
    EXPECT_LE(with.shell().shellExecute(u"open", u"iexplore.exe", u"x", u"", 1), 32);
    EXPECT_EQ(r.log, (Log{"launch " + toUtf8(program) + "|\"" + page.string() + "\"",
                          "launch iexplore.exe|x"}));

    HeadlessPlatform empty(HeadlessOptions{std::nullopt, Str()});
    EXPECT_EQ(empty.shell().findExecutable(pageStr, u"", buffer), 31);
    std::filesystem::remove_all(dir);
}

TEST_F(HeadlessUserTest, PrinterBrowserAndPointerAreReportedEveryTime) {
    p.screen().setMousePointer(platform::kPointerBusy);
    p.screen().setMousePointer(platform::kPointerBusy);
    p.printer().setPrintSize(10);
    p.browser().navigate(u"/app/pvData.html");
    EXPECT_EQ(p.screen().mousePointer(), platform::kPointerBusy);
    EXPECT_EQ(p.printer().printSize(), 10);
    EXPECT_EQ(rec.log,
              (Log{"pointer 11", "pointer 11", "printsize 10", "navigate /app/pvData.html"}));
}

TEST_F(HeadlessUserTest, AFixedClockGivesConsistentSecondsSinceMidnight) {
    platform::LocalTime t;
    t.year = 2024;
    t.hour = 10;
    t.minute = 15;
    t.second = 32;
    t.hundredths = 25;
    p.setNow(t);
    EXPECT_EQ(p.clock().now().minute, 15);
    EXPECT_DOUBLE_EQ(p.clock().secondsSinceMidnight(), 36932.25);
    HeadlessPlatform real;
    const auto now = real.clock().now();
    EXPECT_GE(now.year, 2020);
    EXPECT_LT(real.clock().secondsSinceMidnight(), 86400.0);
}

TEST_F(HeadlessUserTest, PendingEventsRunTheHookAndPropertyChangesAreKept) {
    int runs = 0;
    p.setPendingEventsHook([&] { ++runs; });
    p.surface().yieldToPendingEvents();
    p.surface().yieldToPendingEvents();
    EXPECT_EQ(runs, 2);
    p.surface().propertyChanged(u"BackColor");
    EXPECT_EQ(p.propertiesChanged(), (std::vector<Str>{u"BackColor"}));
}

} // namespace
} // namespace dalmure::headless
