// A right click selects the annotation under the mouse before its menu opens, so that the
// menu's commands act on the annotation the clerk sees under the mouse.
#include "conformance.h"

namespace dalmure::conformance {

template <class Kind> using ControlOnPlatform = PlatformTest<Kind>;
TYPED_TEST_SUITE(ControlOnPlatform, Platforms, PlatformNames);

TYPED_TEST(ControlOnPlatform, RightClickMenuActsOnTheAnnotationUnderTheMouse) {
    DalmurePrivate& c = this->startControl();
    ASSERT_TRUE(this->user().userRightClick(0, 1, std::nullopt)); // the empty list: no selection
    EXPECT_EQ(line(c.Selected(), this->happenings.only("menu").size(), this->editor().visible()),
              "-1 1 0");
    for (const char* desc : {"A", "B", "C"})
        c.AnnoAdd(test::u("09:00:00"), test::u(desc));
    ASSERT_TRUE(this->user().userClick(1, 1));
    ASSERT_EQ(this->user().userType(test::u("for A")), 5);
    // Rename, chosen on B's main row: the prompt offers B's description.
    this->events.names.clear();
    this->user().queueAnswer(test::u("B2"));
    ASSERT_TRUE(this->user().userRightClick(2, 1, std::string("mnuPopupRenommer")));
    ASSERT_EQ(this->happenings.prompts.size(), 1u);
    EXPECT_EQ(line(c.Selected(), this->happenings.prompts[0].defaultText), "1 B");
    EXPECT_EQ(this->events.names, (Log{"AnnoModified(0)", "AnnoModifiedDesc(1,B,B2)"}));
    EXPECT_EQ(line(test::s(c.AnnoDesc(0)), test::s(c.AnnoData(0))), "A for A");
    // Delete, chosen on C's notes row: the request names C; the editor is open on C's notes.
    this->events.names.clear();
    ASSERT_TRUE(this->user().userRightClick(5, 0, std::string("mnuPopupSupprimer")));
    EXPECT_EQ(this->events.names, Log{"AnnoDeleteRequest(2)"});
    EXPECT_EQ(this->user().rowUnderEditor(), 5);
    EXPECT_EQ(this->user().userType(test::u("for C")), 5);
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoData(2)), test::s(c.AnnoData(1))), "for C ");
    // A right click that chooses nothing still selects.
    ASSERT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    EXPECT_EQ(line(c.Selected(), test::s(this->editor().text())), "0 for A");
}

} // namespace dalmure::conformance
