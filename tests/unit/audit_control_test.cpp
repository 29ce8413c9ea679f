// The host calling the control back from inside the AnnoModified that a list change raises when
// it commits typed notes first: the list change goes on with the list as the host left it.
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;

// A host whose AnnoModified handler runs one call back into the control.
class CallingBackHost : public DalmureEvents {
  public:
    std::vector<std::string> names;
    std::function<void()> onModified;
    void AnnoModified(std::int16_t AnnoIndex) override {
        names.push_back("AnnoModified(" + std::to_string(AnnoIndex) + ")");
        if (onModified) {
            auto once = std::move(onModified);
            onModified = nullptr;
            once();
        }
    }
};

class HostCallsBack : public ControlTest {
  protected:
    void SetUp() override {
        startSized();
        c().setEventSink(&host);
        h.add({{"10:00", "a"}, {"11:00", "b"}, {"12:00", "c"}});
    }
    Dalmure& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
    // Types notes into annotation k's editor, so that the next list change commits them.
    void typeInto(std::int32_t k, const Str& text) {
        ASSERT_TRUE(h.platform->userClick(2 * k + 1, 1));
        ASSERT_GT(h.platform->userType(text), 0);
        host.names.clear();
    }
    CallingBackHost host;
};

TEST_F(HostCallsBack, AddAfterTheHostClearedTheListFillsThePlaceholder) {
    typeInto(1, u"notes");
    host.onModified = [&] { c().ClearAll(); };
    c().AnnoAdd(u"09:00", u"z");
    EXPECT_EQ(host.names, (std::vector<std::string>{"AnnoModified(1)"}));
    EXPECT_EQ(h.times(), (std::vector<std::string>{"09:00"}));
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().Selected(), 0);
    // The order is still kept for later additions.
    c().AnnoAdd(u"08:00", u"y");
    c().AnnoAdd(u"08:30", u"x");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"08:00", "08:30", "09:00"}));
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(HostCallsBack, AddAfterTheHostAddedInsertsBothInOrder) {
    typeInto(0, u"notes");
    host.onModified = [&] { c().AnnoAdd(u"11:30", u"host"); };
    c().AnnoAdd(u"10:30", u"user");
    EXPECT_EQ(host.names, (std::vector<std::string>{"AnnoModified(0)"})); // committed once
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:00", "10:30", "11:00", "11:30", "12:00"}));
    EXPECT_EQ(h.cell(1, 1), "notes");
    EXPECT_EQ(c().Selected(), 1);
    c().AnnoAdd(u"11:15", u"later");
    EXPECT_EQ(c().AnnoDesc(3), u"later");
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(HostCallsBack, DeleteAfterTheHostClearedTheListEmptiesIt) {
    typeInto(2, u"notes");
    host.onModified = [&] { c().ClearAll(); };
    std::int32_t index = 2;
    c().AnnoDelete(index);
    EXPECT_EQ(index, 2); // the two-row branch leaves the caller's variable alone
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 0);
    EXPECT_FALSE(h.editor().visible());
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(HostCallsBack, DeleteRemovesTheSelectionAsTheHostLeftIt) {
    typeInto(0, u"notes");
    // The host's handler deletes the annotation itself: the outer delete then removes the
    // annotation its click selected next.
    host.onModified = [&] {
        std::int32_t inner = 0;
        c().AnnoDelete(inner);
    };
    std::int32_t index = 0;
    c().AnnoDelete(index);
    EXPECT_EQ(host.names, (std::vector<std::string>{"AnnoModified(0)"}));
    EXPECT_EQ(h.times(), (std::vector<std::string>{"12:00"}));
    c().AnnoAdd(u"11:00", u"again");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"11:00", "12:00"}));
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(HostCallsBack, ClearAfterTheHostAddedLeavesTheEmptyList) {
    typeInto(1, u"notes");
    host.onModified = [&] { c().AnnoAdd(u"13:00", u"d"); };
    c().ClearAll();
    EXPECT_EQ(host.names, (std::vector<std::string>{"AnnoModified(1)"}));
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 0);
    EXPECT_FALSE(h.editor().visible());
    EXPECT_EQ(Access::timeOrderBreaks(c()), 0);
}

} // namespace
} // namespace dalmure::test
