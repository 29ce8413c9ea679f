// Random clicks, double and right clicks, scrolls, Esc and typing on a few dozen annotations,
// against an account of the notes each should hold and of the one a shown editor lies over.
#include "conformance.h"
#include "random_steps.h"

#include <random>

namespace dalmure::conformance {

template <class Kind> using TypingModel = PlatformTest<Kind>;
TYPED_TEST_SUITE(TypingModel, Platforms, PlatformNames);

TYPED_TEST(TypingModel, EveryCharacterReachesTheAnnotationItWasTypedFor) {
    constexpr int kAnnotations = 36;
    const unsigned seed = 20240316u;
    const int steps = test::randomSteps(this->isQt() ? 150 : 1500);
    DalmurePrivate& c = this->startControl();
    for (int i = 0; i < kAnnotations; ++i)
        c.AnnoAdd(timeAt(3600 + 60 * i), test::u("A" + std::to_string(i)));
    std::vector<std::string> notes(kAnnotations);
    int selected = kAnnotations - 1; // the last add selects and opens the editor
    bool shown = true;               // the editor is shown with the focus
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto& user = this->user();
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
        const int action = pick(100);
        const int row = pick(2 * kAnnotations);
        if (action < 36) {
            const int col = pick(2);
            ASSERT_TRUE(action < 20   ? user.userClick(row, col)
                        : action < 28 ? user.userDblClick(row, col)
                                      : user.userRightClick(row, col, std::nullopt));
            if (action >= 28) // the menu closed with nothing chosen: the focus comes back
                user.userFocus();
            selected = row / 2;
            shown = true;
        } else if (action < 46) {
            ASSERT_TRUE(user.userScroll(row)); // the user's scroll closes an editable editor
            shown = false;
        } else if (action < 52) {
            EXPECT_TRUE(!shown || user.userType(u"\x1b") == 1); // Esc typed on a shown editor
            shown = false;
        } else {
            Str text;
            for (int i = std::uniform_int_distribution<int>(1, 4)(rng); i > 0; --i) {
                const int k = std::uniform_int_distribution<int>(0, 26)(rng);
                text += k == 26 ? u'\b' : static_cast<char16_t>(u'a' + k);
            }
            // A hidden editor left the focus to the grid: a key reopens it on the last selected.
            EXPECT_EQ(user.userType(text), static_cast<int>(text.size()));
            shown = true;
            std::string& into = notes[static_cast<std::size_t>(selected)];
            for (char16_t ch : text) {
                if (ch != u'\b')
                    into += static_cast<char>(ch);
                else if (!into.empty())
                    into.pop_back();
            }
        }
        ASSERT_EQ(this->editor().visible(), shown);
        if (shown) {
            ASSERT_EQ(line(c.Selected(), user.rowUnderEditor().value_or(-1)),
                      line(selected, 2 * selected + 1));
        }
    }
    user.userBlur();
    for (int i = 0; i < kAnnotations; ++i)
        EXPECT_EQ(test::s(c.AnnoData(i)), notes[static_cast<std::size_t>(i)]) << "annotation " << i;
}

} // namespace dalmure::conformance
