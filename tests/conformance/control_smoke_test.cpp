// A control started on each platform: the add of an annotation selects it and opens the editor
// over its notes, and typed notes reach the annotation when the editor loses the focus.
#include "conformance.h"

namespace dalmure::conformance {

template <class Kind> using ControlOnPlatform = PlatformTest<Kind>;
TYPED_TEST_SUITE(ControlOnPlatform, Platforms, PlatformNames);

TYPED_TEST(ControlOnPlatform, TypedNotesReachTheAnnotationAtFocusLoss) {
    Dalmure& c = this->startControl();
    c.AnnoAdd(test::u("10:00:00"), test::u("A"));
    EXPECT_EQ(c.Selected(), 0);
    EXPECT_TRUE(this->editor().visible());
    EXPECT_TRUE(this->editor().hasFocus());
    EXPECT_EQ(this->user().userType(test::u("notes")), 5);
    this->user().userBlur();
    EXPECT_EQ(test::s(c.AnnoData(0)), "notes");
    EXPECT_EQ(this->events.names.back(), "AnnoModified(0)");
}

} // namespace dalmure::conformance
