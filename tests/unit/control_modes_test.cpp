// The background colour's conversion and the container's ambient and focus notifications.
#include "platform/design.h"
#include "support/errors.h"
#include "test_support.h"

namespace dalmure::test {
namespace {

using platform::ButtonId;

class ControlModes : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    DalmurePrivate& c() { return h.c(); }
};

TEST_F(ControlModes, BackColorRoundsHalfToEvenAndOverflowsBeyond32Bits) {
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
    EXPECT_EQ(h.grid().backColor(), 0xFFFFFF); // the grid keeps its own white
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlModes, AmbientBackColorRepaintsEveryButtonOnly) {
    h.platform->surface().setBackColor(0x00AA00);
    h.platform->userAmbient(u"Font");
    EXPECT_EQ(h.button(ButtonId::View).buttonColor(), design::kButtonColor);
    h.platform->userAmbient(u"BackColor");
    for (ButtonId id : platform::kAllButtons)
        EXPECT_EQ(h.button(id).buttonColor(), 0x00AA00);
    EXPECT_EQ(c().BackColor(), 0); // the property is not touched
}

TEST_F(ControlModes, EnterFocusGivesTheEditorTheFocusAndIgnoresFailures) {
    h.platform->userFocus(); // hidden editor: no focus, nothing logged
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
