// The find bar on the in-memory platform: deletes, commits and Clear under a filter, F3 from notes.
#include "test_support.h"

namespace dalmure::test {
namespace {

using headless::FindKey;

class FindTest : public ControlTest {
  protected:
    void SetUp() override {
        startSized();
        h.add({{"10:00:00", "Ouverture"}, {"10:05:00", "T\xc3\xa9moin Roy"}});
        h.add(u("10:10:00"), u("Pièce P-3"), u("déposée par le témoin"));
        h.add({{"10:15:00", "Suspension"}});
    }
    // The times of the annotations shown.
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (std::int32_t r = 0; r + 1 < h.grid().rows(); r += 2) {
            EXPECT_EQ(h.grid().rowHidden(r), h.grid().rowHidden(r + 1));
            if (!h.grid().rowHidden(r))
                out.push_back(h.cell(r, 0));
        }
        return out;
    }
    void find(const std::string& query) {
        h.platform->userClick(1, 1);
        ASSERT_TRUE(h.platform->userFind());
        ASSERT_TRUE(h.platform->findBarFocused());
        h.platform->userType(u(query));
    }
};

TEST_F(FindTest, DeletesRenamesCommitsAndClearKeepTheFilterRight) {
    find("suspension");
    EXPECT_EQ(s(h.platform->findBarCount()), "1 sur 4");
    std::int32_t index = 1;
    h.c().AnnoDelete(index); // deletes the selected annotation (0)
    EXPECT_EQ(s(h.platform->findBarCount()), "1 sur 3");
    EXPECT_EQ(shown().back(), "10:15:00");
    // Notes committed on a shown annotation are matched anew (the one edited is shown anyway).
    ASSERT_TRUE(h.platform->userClick(5, 1));
    h.platform->userType(u(" fin"));
    h.platform->userClick(0, 0); // the notes are committed as another annotation is edited
    ASSERT_TRUE(h.platform->userFind());
    h.platform->userType(u("\b\b\b\b\b\b\b\b\b\bfin"));
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:05:00", "10:15:00"}));
    h.c().ClearAll();
    EXPECT_EQ(s(h.platform->findBarCount()), "0 sur 0");
}

// Committed when the match is another annotation, even with the current cell on it already.
TEST_F(FindTest, F3FromTheNotesKeepsWhatWasTyped) {
    find("témoin"); // annotations 1 and 2
    ASSERT_TRUE(h.platform->userClick(3, 1));
    h.platform->userType(u(" vu"));
    h.grid().setRow(5); // where a host read of annotation 2's notes leaves it
    h.grid().setCol(1);
    ASSERT_TRUE(h.platform->userFindKey(FindKey::F3));
    EXPECT_EQ(h.c().Selected(), 2);
    EXPECT_EQ(s(h.c().AnnoData(1)), " vu");

    ASSERT_TRUE(h.platform->userFind());
    h.platform->userType(u("\b\b\b\b\b\broy")); // annotation 1 alone
    ASSERT_TRUE(h.platform->userClick(3, 1));
    h.platform->userType(u(" bis"));
    for (const FindKey key : {FindKey::F3, FindKey::ShiftF3})
        ASSERT_TRUE(h.platform->userFindKey(key));
    EXPECT_EQ(s(h.editor().text()), " vu bis");
    h.platform->userClick(0, 0);
    EXPECT_EQ(s(h.c().AnnoData(1)), " vu bis");
}

} // namespace
} // namespace dalmure::test
