// A control started on each platform: a right click selects the annotation under the mouse
// before its menu opens, so that the menu's commands act on the annotation the clerk sees under
// the mouse. Where typed notes land is proven by the typing model (typing_model_test.cpp).
#include "conformance.h"

namespace dalmure::conformance {

template <class Kind> using ControlOnPlatform = PlatformTest<Kind>;
TYPED_TEST_SUITE(ControlOnPlatform, Platforms, PlatformNames);

TYPED_TEST(ControlOnPlatform, RightClickMenuActsOnTheAnnotationUnderTheMouse) {
    DalmurePrivate& c = this->startControl();
    c.AnnoAdd(test::u("09:00:00"), test::u("A"));
    c.AnnoAdd(test::u("09:10:00"), test::u("B"));
    c.AnnoAdd(test::u("09:20:00"), test::u("C"));
    ASSERT_TRUE(this->user().userClick(1, 1));
    ASSERT_EQ(this->user().userType(test::u("for A")), 5);

    // Rename, chosen on B's main row: the prompt offers B's description.
    this->events.names.clear();
    this->user().queueAnswer(test::u("B2"));
    ASSERT_TRUE(this->user().userRightClick(2, 1, std::string("mnuPopupRenommer")));
    EXPECT_EQ(c.Selected(), 1);
    ASSERT_EQ(this->happenings.prompts.size(), 1u);
    EXPECT_EQ(this->happenings.prompts[0].defaultText, "B");
    EXPECT_EQ(this->events.names,
              (std::vector<std::string>{"AnnoModified(0)", "AnnoModifiedDesc(1,B,B2)"}));
    EXPECT_EQ(test::s(c.AnnoDesc(0)), "A");
    EXPECT_EQ(test::s(c.AnnoData(0)), "for A");

    // Delete, chosen on C's notes row: the request names C; the editor is open on C's notes.
    this->events.names.clear();
    ASSERT_TRUE(this->user().userRightClick(5, 0, std::string("mnuPopupSupprimer")));
    EXPECT_EQ(this->events.names, std::vector<std::string>{"AnnoDeleteRequest(2)"});
    EXPECT_TRUE(this->editor().visible());
    EXPECT_EQ(this->user().rowUnderEditor(), 5);
    EXPECT_EQ(this->user().userType(test::u("for C")), 5);
    this->user().userBlur();
    EXPECT_EQ(test::s(c.AnnoData(2)), "for C");
    EXPECT_EQ(test::s(c.AnnoData(1)), "");

    // A right click that chooses nothing still selects.
    ASSERT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    EXPECT_EQ(c.Selected(), 0);
    EXPECT_EQ(test::s(this->editor().text()), "for A");
}

TYPED_TEST(ControlOnPlatform, RightClickOnTheEmptyListSelectsNothing) {
    DalmurePrivate& c = this->startControl();
    ASSERT_TRUE(this->user().userRightClick(0, 1, std::nullopt));
    EXPECT_EQ(c.Selected(), -1);
    EXPECT_EQ(this->happenings.only("menu").size(), 1u);
    EXPECT_FALSE(this->editor().visible());
}

} // namespace dalmure::conformance
