#include "platform/ids.h"

#include <gtest/gtest.h>

namespace dalmure::platform {
namespace {

TEST(ChildNames, RoundTripEveryButtonAndMenuItem) {
    for (ButtonId id : kAllButtons) {
        ButtonId back{};
        ASSERT_TRUE(buttonFromName(buttonName(id), back));
        EXPECT_EQ(back, id);
    }
    for (MenuItemId id : kAllMenuItems) {
        MenuItemId back{};
        ASSERT_TRUE(menuItemFromName(menuItemName(id), back));
        EXPECT_EQ(back, id);
    }
    ButtonId unused{};
    EXPECT_FALSE(buttonFromName("CWButton7", unused));
}

} // namespace
} // namespace dalmure::platform
