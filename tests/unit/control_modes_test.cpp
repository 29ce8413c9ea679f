// The modes that withdraw commands, the background colour, the refresh switch and the
// container's focus and ambient notifications.
#include "control/design.h"
#include "support/errors.h"
#include "test_support.h"

#include <map>

namespace dalmure::test {
namespace {

using platform::ButtonId;

class ControlModes : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    Dalmure& c() { return h.c(); }
    std::int32_t left(ButtonId id) { return h.button(id).left(); }
    bool shown(ButtonId id) { return h.platform->buttonShown(id); }
    std::map<ButtonId, std::int32_t> lefts() {
        std::map<ButtonId, std::int32_t> out;
        for (ButtonId id : platform::kAllButtons)
            out[id] = left(id);
        return out;
    }
};

TEST_F(ControlModes, NoPlayMovesTheOtherButtonsOnEveryAssignment) {
    const auto before = lefts();
    bool on = true, off = false;
    c().NoPlay(on);
    EXPECT_TRUE(c().NoPlay());
    EXPECT_FALSE(shown(ButtonId::CWButton3));
    for (ButtonId id : platform::kAllButtons) {
        const std::int32_t expected =
            id == ButtonId::CWButton3 ? before.at(id) : before.at(id) - 840;
        EXPECT_EQ(left(id), expected) << platform::buttonName(id);
    }
    c().NoPlay(on); // relative: twice moves twice
    EXPECT_EQ(left(ButtonId::CWButton1), before.at(ButtonId::CWButton1) - 1680);
    c().NoPlay(off);
    c().NoPlay(off);
    EXPECT_EQ(lefts(), before);
    EXPECT_TRUE(shown(ButtonId::CWButton3));
    EXPECT_FALSE(c().NoPlay());
}

TEST_F(ControlModes, NoPVPutsDeleteInPlaceOfViewAndBackRightOfPrint) {
    bool on = true, off = false;
    c().NoPV(on);
    EXPECT_TRUE(c().NoPV());
    EXPECT_EQ(left(ButtonId::CWButton1), design::buttonLeft(ButtonId::CWButton2));
    EXPECT_EQ(left(ButtonId::CWButton6_0), left(ButtonId::CWButton1) + 840);
    EXPECT_EQ(left(ButtonId::CWButton6_1), left(ButtonId::CWButton1) + 840);
    EXPECT_FALSE(shown(ButtonId::CWButton2));
    EXPECT_FALSE(shown(ButtonId::CWButton5));
    EXPECT_TRUE(shown(ButtonId::CWButton1));

    c().NoPV(off);
    EXPECT_EQ(left(ButtonId::CWButton1), left(ButtonId::CWButton5) + 840);
    EXPECT_EQ(left(ButtonId::CWButton6_0), left(ButtonId::CWButton1) + 840);
    EXPECT_TRUE(shown(ButtonId::CWButton2));
    EXPECT_TRUE(shown(ButtonId::CWButton5));
    // With the design positions this is where every button started.
    for (ButtonId id : platform::kAllButtons)
        EXPECT_EQ(left(id), design::buttonLeft(id));
}

TEST_F(ControlModes, NoModifHidesDeleteAndRenameWithoutMovingAnything) {
    const auto before = lefts();
    bool on = true, off = false;
    c().NoModif(on);
    EXPECT_TRUE(c().NoModif());
    EXPECT_FALSE(shown(ButtonId::CWButton1));
    EXPECT_FALSE(shown(ButtonId::CWButton4));
    EXPECT_TRUE(shown(ButtonId::CWButton2));
    EXPECT_EQ(lefts(), before);
    c().NoModif(off);
    EXPECT_TRUE(shown(ButtonId::CWButton1));
    EXPECT_TRUE(shown(ButtonId::CWButton4));
}

TEST_F(ControlModes, BackColorLetSetAndGet) {
    EXPECT_EQ(c().BackColor(), 0);
    EXPECT_EQ(h.platform->surface().backColor(), design::kSurfaceBackColor);

    c().SetBackColor(0x0000FF);
    EXPECT_EQ(c().BackColor(), 0x0000FF);
    EXPECT_EQ(h.platform->surface().backColor(), design::kSurfaceBackColor);
    EXPECT_EQ(h.button(ButtonId::CWButton1).buttonColor(), design::kButtonColor);

    c().LetBackColor(0x123456);
    EXPECT_EQ(c().BackColor(), 0x123456);
    EXPECT_EQ(h.platform->surface().backColor(), 0x123456);
    for (ButtonId id : platform::kAllButtons)
        EXPECT_EQ(h.button(id).buttonColor(), 0x123456);
    EXPECT_EQ(h.platform->propertiesChanged(), std::vector<Str>{u"BackColor"});
    // The grid keeps its own white.
    EXPECT_EQ(h.grid().backColor(), 0xFFFFFF);

    // Conversion rounds half to even; outside 32 bits the host gets the overflow.
    c().LetBackColor(2.5);
    EXPECT_EQ(c().BackColor(), 2);
    c().LetBackColor(-2147483648.0);
    EXPECT_EQ(c().BackColor(), INT32_MIN);
    try {
        c().LetBackColor(2147483648.0);
        ADD_FAILURE() << "no overflow";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), errors::kOverflow);
    }
    EXPECT_EQ(c().BackColor(), INT32_MIN);
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlModes, AmbientBackColorRepaintsEveryButtonOnly) {
    h.platform->surface().setBackColor(0x00AA00);
    h.platform->userAmbient(u"Font");
    EXPECT_EQ(h.button(ButtonId::CWButton2).buttonColor(), design::kButtonColor);
    h.platform->userAmbient(u"BackColor");
    for (ButtonId id : platform::kAllButtons)
        EXPECT_EQ(h.button(id).buttonColor(), 0x00AA00);
    EXPECT_EQ(c().BackColor(), 0); // the property is not touched
}

TEST_F(ControlModes, EnterFocusGivesTheEditorTheFocusAndIgnoresFailures) {
    // Hidden editor: the focus cannot be given; nothing is logged.
    ASSERT_FALSE(h.editor().visible());
    h.platform->userFocus();
    EXPECT_FALSE(h.editor().hasFocus());
    EXPECT_EQ(h.app.logCount(), 0u);

    c().AnnoAdd(u"10:00", u"a");
    h.platform->userBlur();
    ASSERT_FALSE(h.editor().hasFocus());
    h.platform->userFocus();
    EXPECT_TRUE(h.editor().hasFocus());
}

} // namespace
} // namespace dalmure::test
