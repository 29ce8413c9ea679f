// The in-memory platform seen from the control: refusals and the popup menu's choice. The editor's
// typing and focus rules are proven on every platform by the conformance tests.
#include "notification_log.h"
#include "platform/design.h"
#include "platform/headless/headless_platform.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dalmure::headless {
namespace {

using platform::ButtonId;
using platform::MenuItemId;

// The notifications, and the popup menu the platform shows, as short lines.
class Recorder : public test::NotificationLog, public HappeningSink {
  public:
    using NotificationLog::NotificationLog;

    void menu(const std::vector<MenuItemState>& items, std::optional<MenuItemId> chosen) override {
        std::string line = "menu";
        for (const auto& it : items) {
            line += " " + std::string(platform::menuItemName(it.id)) + (it.enabled ? "" : "-d") +
                    (it.visible ? "" : "-h");
        }
        line += " chosen=" + (chosen ? std::string(platform::menuItemName(*chosen)) : "null");
        log.push_back(line);
    }
    void prompt(const Str&, const Str&, const Str&, const Str&) override {}
    void messageBox(const Str&, const Str&) override {}
    void launch(const Str&, const Str&) override {}
    void navigate(const Str&) override {}
    void printSize(std::int16_t) override {}
    void pointer(int) override {}
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

using test::Log;

// Clicks, double clicks and scrolls out of range and a hidden button are refused on every
// platform (the conformance tests); the in-memory platform's own refusals are here.
TEST_F(HeadlessUserTest, RefusedActionsChangeNothing) {
    openEditor(u"kept");
    EXPECT_FALSE(p.userRightClick(5, 1, std::nullopt));
    EXPECT_FALSE(p.userRightClick(0, 1, std::string("mnuPopupNothing")));
    EXPECT_FALSE(p.userHover("CWButton9"));
    p.button(ButtonId::Delete).setVisible(false);
    EXPECT_FALSE(p.userHover("CWButton1"));
    // A button inside a hidden frame is not shown either; the play button stands outside it.
    p.frame(platform::FrameId::Frame3).setVisible(false);
    EXPECT_FALSE(p.userButton(ButtonId::View));
    EXPECT_TRUE(p.buttonShown(ButtonId::Play));
    EXPECT_TRUE(rec.log.empty());
    EXPECT_TRUE(p.editor().hasFocus());
    EXPECT_EQ(p.grid().topRow(), 0);
}

TEST_F(HeadlessUserTest, RightClickChoosesAnEnabledVisibleItemInsideThePopup) {
    openEditor();
    rec.onMouseUp = [&] {
        p.menu().setEnabled(MenuItemId::Delete, false);
        p.menu().setVisible(MenuItemId::Play, false);
        p.menu().popup(true);
        rec.log.push_back("popup returned");
    };
    EXPECT_TRUE(p.userRightClick(1, 1, std::string("mnuPopupRenommer")));
    EXPECT_EQ(rec.log, (Log{"lost", "mouseup 2",
                            "menu mnuPopupJouer-h mnuPopupRenommer mnuPopupSupprimer-d s1 "
                            "mnuPopupImprimer s2 mnuPopupDalmure chosen=mnuPopupRenommer",
                            "menuclick mnuPopupRenommer", "popup returned"}));
    EXPECT_EQ(p.grid().row(), 0); // a right click does not move the current cell
    // Disabled, hidden and separators cannot be chosen.
    for (const char* name : {"mnuPopupSupprimer", "mnuPopupJouer", "s1"}) {
        rec.log.clear();
        EXPECT_TRUE(p.userRightClick(0, 0, std::string(name)));
        ASSERT_EQ(rec.log.size(), 3u) << name; // mouse-up, menu, popup returned
        EXPECT_NE(rec.log[1].find("chosen=null"), std::string::npos) << name;
    }
    // A choice is forgotten when the menu did not open.
    rec.onMouseUp = nullptr;
    EXPECT_TRUE(p.userRightClick(0, 0, std::string("mnuPopupImprimer")));
    rec.log.clear();
    p.menu().popup(true);
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_NE(rec.log[0].find("chosen=null"), std::string::npos);
}

} // namespace
} // namespace dalmure::headless
