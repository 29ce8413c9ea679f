// Randomized sessions of a clerk on a list of a few dozen annotations: clicks, double clicks,
// right clicks, scrolls, Esc and typing in random order. The test keeps its own account of the
// annotation each typed character belongs to and, at the end, finds every character in the notes
// of the annotation it was typed for. Whenever the editor is shown it must lie over the notes
// of the annotation the account says it holds.
#include "conformance.h"
#include "random_steps.h"

#include <random>

namespace dalmure::conformance {

namespace {

struct Account {
    std::vector<std::string> notes; // what each annotation should hold
    int selected = -1;              // the annotation the editor holds
    bool shown = false;             // the editor is shown with the focus
};

} // namespace

template <class Kind> class TypingModel : public PlatformTest<Kind> {
  protected:
    static constexpr int kAnnotations = 36;

    void run(unsigned seed, int steps) {
        DalmurePrivate& c = this->startControl();
        for (int i = 0; i < kAnnotations; ++i)
            c.AnnoAdd(timeAt(3600 + 60 * i), test::u("A" + std::to_string(i)));
        Account a;
        a.notes.assign(kAnnotations, std::string());
        a.selected = kAnnotations - 1; // the last add selects and opens the editor
        a.shown = true;

        std::mt19937 rng(seed);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        const int rows = 2 * kAnnotations;
        for (int step = 0; step < steps; ++step) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
            const int action = pick(100);
            const int row = pick(rows);
            if (action < 20) {
                ASSERT_TRUE(this->user().userClick(row, pick(2)));
                a.selected = row / 2, a.shown = true;
            } else if (action < 28) {
                ASSERT_TRUE(this->user().userDblClick(row, pick(2)));
                a.selected = row / 2, a.shown = true;
            } else if (action < 36) {
                // A right click selects, its menu closes with nothing chosen, and the container
                // gives the control the focus back.
                ASSERT_TRUE(this->user().userRightClick(row, pick(2), std::nullopt));
                this->user().userFocus();
                a.selected = row / 2, a.shown = true;
            } else if (action < 46) {
                // The user's scroll closes an editable editor.
                ASSERT_TRUE(this->user().userScroll(row));
                a.shown = false;
            } else if (action < 52) {
                if (a.shown) {
                    EXPECT_EQ(this->user().userType(u"\x1b"), 1);
                    a.shown = false;
                }
            } else {
                type(a, rng);
            }
            ASSERT_EQ(this->editor().visible(), a.shown);
            if (a.shown) {
                ASSERT_EQ(c.Selected(), a.selected);
                ASSERT_EQ(this->user().rowUnderEditor(), 2 * a.selected + 1);
            }
        }
        this->user().userBlur();
        for (int i = 0; i < kAnnotations; ++i)
            EXPECT_EQ(test::s(c.AnnoData(i)), a.notes[i]) << "annotation " << i;
    }

    void type(Account& a, std::mt19937& rng) {
        const int length = std::uniform_int_distribution<int>(1, 4)(rng);
        Str text;
        for (int i = 0; i < length; ++i) {
            const int k = std::uniform_int_distribution<int>(0, 26)(rng);
            text += k == 26 ? u'\b' : static_cast<char16_t>(u'a' + k);
        }
        const int delivered = this->user().userType(text);
        // A hidden editor gave the focus to the grid: the first character opens the editor on
        // the annotation the grid's current cell is in, which is the one last selected.
        EXPECT_EQ(delivered, length);
        a.shown = true;
        std::string& notes = a.notes[static_cast<std::size_t>(a.selected)];
        for (char16_t ch : text) {
            if (ch == u'\b') {
                if (!notes.empty())
                    notes.pop_back();
            } else {
                notes += static_cast<char>(ch);
            }
        }
    }
};
TYPED_TEST_SUITE(TypingModel, Platforms, PlatformNames);

TYPED_TEST(TypingModel, EveryCharacterReachesTheAnnotationItWasTypedFor) {
    this->run(20240316u, test::randomSteps(this->isQt() ? 150 : 1500));
}

} // namespace dalmure::conformance
