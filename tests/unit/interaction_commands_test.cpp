// The command buttons: delete request, play, rename, the entry-style pair and the tooltips they
// announce.
#include "test_support.h"

#include <gtest/gtest.h>

namespace dalmure {
namespace {

using platform::ButtonId;
using test::s;
using test::u;

class PromptRecorder : public headless::HappeningSink {
  public:
    struct Prompt {
        std::string title, message, defaultText;
    };
    std::vector<Prompt> prompts;
    int messages = 0;
    std::vector<std::string> navigated;

    void prompt(const Str& title, const Str& message, const Str& defaultText, const Str&) override {
        prompts.push_back({s(title), s(message), s(defaultText)});
    }
    void messageBox(const Str&, const Str&) override { ++messages; }
    void menu(const std::vector<headless::MenuItemState>&,
              std::optional<platform::MenuItemId>) override {}
    void launch(const Str&, const Str&) override {}
    void navigate(const Str& path) override { navigated.push_back(s(path)); }
    void printSize(std::int16_t) override {}
    void pointer(int) override {}
};

class Commands : public test::ControlTest {
  protected:
    void SetUp() override {
        startSized();
        h.platform->setHappeningSink(&recorder);
    }
    void addThree() {
        h.add({{"09:00:00", "opening"}, {"09:10:00", "witness"}, {"09:20:00", "closing"}});
        h.events.names.clear();
    }
    Dalmure& c() { return h.c(); }
    std::vector<std::string>& events() { return h.events.names; }
    PromptRecorder recorder;
};

TEST_F(Commands, DeleteAsksTheHostOnlyForASelectedAnnotation) {
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton1)); // the empty list
    addThree();
    DalmureTestAccess::setSelected(c(), -1);
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton1)); // nothing selected
    EXPECT_TRUE(events().empty());

    // The host agrees and deletes: the annotation asked for goes.
    ASSERT_TRUE(h.platform->userClick(2, 1));
    h.events.onDeleteRequest = [&](std::int16_t& index) {
        std::int32_t wide = index;
        c().AnnoDelete(wide);
    };
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton1));
    EXPECT_EQ(events(), (std::vector<std::string>{"AnnoDeleteRequest(1)"}));
    ASSERT_EQ(c().AnnoCount(), 2);
    EXPECT_EQ(s(c().AnnoDesc(0)), "opening");
    EXPECT_EQ(s(c().AnnoDesc(1)), "closing");

    // The index is the selection itself: what the host stores there becomes the selection.
    h.events.onDeleteRequest = [](std::int16_t& index) { index = 0; };
    ASSERT_TRUE(h.platform->userClick(2, 0));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton1));
    EXPECT_EQ(c().Selected(), 0);

    // After the list was emptied the stale selection asks nothing.
    c().ClearAll();
    events().clear();
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton1));
    EXPECT_TRUE(events().empty());
}

TEST_F(Commands, PlayRaisesDblClickForTheSelectedAnnotation) {
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton3));
    EXPECT_TRUE(events().empty());
    addThree();
    ASSERT_TRUE(h.platform->userClick(3, 0));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton3));
    EXPECT_EQ(events(), (std::vector<std::string>{"DblClick()"}));
    EXPECT_EQ(c().Selected(), 1);
}

TEST_F(Commands, RenameWritesTheCleanedAnswerAndTellsTheHost) {
    addThree();
    ASSERT_TRUE(h.platform->userClick(2, 0));
    h.platform->userType(u("typed"));
    events().clear();

    // Unchanged answer: written again, the event carries equal texts.
    h.platform->queueAnswer(u("witness"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    ASSERT_EQ(recorder.prompts.size(), 1u);
    EXPECT_EQ(recorder.prompts[0].title, "Orvane");
    EXPECT_EQ(recorder.prompts[0].message, "");
    EXPECT_EQ(recorder.prompts[0].defaultText, "witness");
    // The button took the focus first, committing the typed notes.
    EXPECT_EQ(events(),
              (std::vector<std::string>{"AnnoModified(1)", "AnnoModifiedDesc(1,witness,witness)"}));

    // Not trimmed, cleaned, cut at 100 without a message.
    h.platform->queueAnswer(u(" l'expert & co "));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(s(c().AnnoDesc(1)), " l`expert  co ");
    h.platform->queueAnswer(u(std::string(101, 'r')));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(s(c().AnnoDesc(1)), std::string(100, 'r'));
    EXPECT_EQ(recorder.messages, 0);

    // The selection, highlight and editor are left alone; the current cell is the description.
    EXPECT_EQ(c().Selected(), 1);
    EXPECT_EQ(h.grid().row(), 2);
    EXPECT_EQ(h.grid().col(), 1);
    EXPECT_EQ(h.grid().cellBackColorAt(3, 1), h.grid().backColorFixed());
    EXPECT_EQ(s(c().AnnoData(1)), "typed");
}

TEST_F(Commands, RenameThatEndsEmptyChangesNothing) {
    addThree();
    ASSERT_TRUE(h.platform->userClick(4, 1));
    h.platform->queueAnswer(u("&&+|\\"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    h.platform->queueCancel();
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(recorder.prompts.size(), 2u);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(s(c().AnnoDesc(2)), "closing");

    // Nothing selected, or the empty list: no prompt at all.
    DalmureTestAccess::setSelected(c(), -1);
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    c().ClearAll();
    DalmureTestAccess::setSelected(c(), 0);
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(recorder.prompts.size(), 2u);
}

TEST_F(Commands, HostCancelPutsTheOldDescriptionBack) {
    addThree();
    ASSERT_TRUE(h.platform->userClick(0, 0));

    h.events.onModifiedDesc = [](std::int16_t&, Str&, Str&, bool& cancel) { cancel = true; };
    h.platform->queueAnswer(u("renamed"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(s(c().AnnoDesc(0)), "opening");

    // The host's own OldDesc is what goes back; NewDesc changes alone do nothing.
    h.events.onModifiedDesc = [](std::int16_t&, Str& oldDesc, Str&, bool& cancel) {
        oldDesc = u("host's choice");
        cancel = true;
    };
    h.platform->queueAnswer(u("renamed"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(s(c().AnnoDesc(0)), "host's choice");

    h.events.onModifiedDesc = [](std::int16_t&, Str& oldDesc, Str& newDesc, bool&) {
        oldDesc = u("ignored");
        newDesc = u("ignored");
    };
    h.platform->queueAnswer(u("final"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(s(c().AnnoDesc(0)), "final");

    // The index is the selection itself.
    h.events.onModifiedDesc = [](std::int16_t& index, Str&, Str&, bool&) { index = 2; };
    h.platform->queueAnswer(u("again"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_EQ(c().Selected(), 2);
    EXPECT_EQ(s(c().AnnoDesc(0)), "again");
}

TEST_F(Commands, RenameOfAnIndexPast16BitRowsIsLogged) {
    addThree();
    DalmureTestAccess::setSelected(c(), 16384);
    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton4));
    EXPECT_TRUE(recorder.prompts.empty());
    EXPECT_TRUE(events().empty());
    const auto lines = h.app.logEntries("errDalmure_CWButton4_Click");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, "6");
}

TEST_F(Commands, StyleButtonsToggleTheEntryStyle) {
    platform::CommandButton& one = h.button(ButtonId::CWButton6_0);
    platform::CommandButton& two = h.button(ButtonId::CWButton6_1);
    // Start from item 0 shown, whatever start-up chose.
    if (!h.platform->buttonShown(ButtonId::CWButton6_0)) {
        ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton6_1));
    }
    ASSERT_TRUE(one.visible());

    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton6_0));
    EXPECT_EQ(c().PVStyle, 2);
    EXPECT_TRUE(two.visible());
    EXPECT_FALSE(one.visible());

    ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton6_1));
    EXPECT_EQ(c().PVStyle, 1);
    EXPECT_TRUE(one.visible());
    EXPECT_FALSE(two.visible());

    c().LockPVStyle = true;
    c().PVStyle = 2;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(h.platform->userButton(ButtonId::CWButton6_0));
        EXPECT_EQ(c().PVStyle, 1);
        EXPECT_TRUE(one.visible());
        EXPECT_FALSE(two.visible());
    }
    // Setting the style from the host leaves the buttons as they are.
    c().LockPVStyle = false;
    c().PVStyle = 2;
    EXPECT_TRUE(one.visible());
    EXPECT_FALSE(two.visible());
}

TEST_F(Commands, ButtonsAnnounceTheirTooltipOncePerChange) {
    auto tip = [&](ButtonId id) { return s(h.button(id).toolTipText()); };
    ASSERT_NE(tip(ButtonId::CWButton1), tip(ButtonId::CWButton3));

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(h.platform->userHover("CWButton1"));
    ASSERT_TRUE(h.platform->userHover("CWButton3"));
    ASSERT_TRUE(h.platform->userHover("CWButton3"));
    ASSERT_TRUE(h.platform->userHover("grid"));
    ASSERT_TRUE(h.platform->userHover("CWButton3"));
    EXPECT_EQ(events(), (std::vector<std::string>{
                            "ToolTipChanged(" + tip(ButtonId::CWButton1) + ")",
                            "ToolTipChanged(" + tip(ButtonId::CWButton3) + ")", "ToolTipChanged()",
                            "ToolTipChanged(" + tip(ButtonId::CWButton3) + ")"}));

    // Every button announces, the style pair and print included.
    events().clear();
    const std::string style =
        h.platform->buttonShown(ButtonId::CWButton6_0) ? "CWButton6(0)" : "CWButton6(1)";
    for (const std::string& b :
         std::vector<std::string>{"CWButton2", "CWButton4", "CWButton5", style})
        ASSERT_TRUE(h.platform->userHover(b));
    EXPECT_EQ(events().size(), 4u);
    EXPECT_EQ(s(c().privateState().strLastToolTip),
              tip(h.platform->buttonShown(ButtonId::CWButton6_0) ? ButtonId::CWButton6_0
                                                                 : ButtonId::CWButton6_1));

    // The argument is the control's own field: the host's text stays, and the next move over
    // the same button announces again.
    events().clear();
    h.events.onToolTip = [](Str& text) { text = u("host text"); };
    ASSERT_TRUE(h.platform->userHover("CWButton1"));
    EXPECT_EQ(s(c().privateState().strLastToolTip), "host text");
    ASSERT_TRUE(h.platform->userHover("CWButton1"));
    EXPECT_EQ(events().size(), 2u);
}

TEST_F(Commands, PrintFromTheMenuStillWorksWithoutTheMinutesButtons) {
    h.app.copyTemplates();
    addThree();
    ASSERT_TRUE(h.platform->userClick(0, 0));
    bool on = true;
    c().NoPV(on);
    EXPECT_FALSE(h.platform->buttonShown(ButtonId::CWButton5));
    ASSERT_TRUE(h.platform->userRightClick(0, 0, std::string("mnuPopupImprimer")));
    EXPECT_EQ(recorder.navigated.size(), 1u);
}

} // namespace
} // namespace dalmure
