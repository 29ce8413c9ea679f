// Find over the annotations: folding, rows changing under a filter, the edited row, next match.
#include "temp_folder.h"
#include "writing/find.h"
#include "writing/letters.h"

#include <gtest/gtest.h>

#include <vector>

namespace dalmure::writing::test {
using dalmure::test::s, dalmure::test::u;
namespace {

struct Row {
    std::string time, description, notes;
};
using Rows = std::vector<std::size_t>;

Rows where(const FindIndex& index, bool (FindIndex::*is)(std::size_t) const) {
    Rows out;
    for (std::size_t i = 0; i < index.size(); ++i)
        if ((index.*is)(i))
            out.push_back(i);
    return out;
}

class Finding : public ::testing::Test {
  protected:
    void add(const Row& r) { index.append(fields(r)); }
    void insert(std::size_t at, const Row& r) { index.insert(at, fields(r)); }
    FindFields fields(const Row& r) {
        held.push_back({u(r.time), u(r.description), u(r.notes)});
        const auto& h = held.back();
        return {h[0], h[1], h[2]};
    }
    Rows shown(const std::string& query) {
        index.setQuery(u(query));
        return shown();
    }
    Rows shown() const { return where(index, &FindIndex::visible); }
    void hearing() {
        add({"09:30:00", "Ouverture de l'audience", ""});
        add({"09:42:10", "Témoin : Mme Gagnon", "Assermentation"});
        add({"10:05:00", "Pièce P-5", "Contre-interrogatoire du TÉMOIN"});
        add({"10:15:32", "Objection", "Œuvre écrite de la défense"});
        add({"11:00:00", "Pause", "Reprise à 11 h 15"});
    }
    std::vector<std::vector<Str>> held; // the texts outlive the views given to the index
    FindIndex index;
};

TEST_F(Finding, IgnoresCaseAndAccentsInEveryField) {
    hearing();
    const std::pair<const char*, Rows> cases[] = {
        {"temoin", {1, 2}},
        {"TÉMOIN", {1, 2}},
        {"témoin", {1, 2}},
        {"oeuvre", {3}},
        {"œuvre", {3}},
        {"OEUVRE", {3}},
        {"defense", {3}},
        {"10:", {2, 3}},
        {"10:15", {3}},
        {"p-5", {2}},
        {"p\u20135", {2}},        // an en dash typed
        {"l\u2019audience", {0}}, // a typographic apostrophe
        {"temoin gagnon", {1}},
        {"gagnon   TEMOIN", {1}}, // words in any order
        {"a 11", {4}},
        {"zzz", {}},
        {"", {0, 1, 2, 3, 4}},
        {"   ", {0, 1, 2, 3, 4}},
        {"00ouverture", {}},          // no match across two fields
        {"gagnonassermentation", {}}, // nor across the description and the notes
    };
    for (const auto& [query, rows] : cases) {
        EXPECT_EQ(shown(query), rows) << query;
        EXPECT_EQ(index.matchCount(), rows.size()) << query;
    }
}

TEST_F(Finding, DecomposedAccentsFoldLikeComposedOnes) {
    add({"09:00:00", "Te\u0301moin", ""}); // e + combining acute
    EXPECT_EQ(shown("témoin"), (Rows{0}));
    EXPECT_EQ(s(fold(u("Æsop STRAßE ﬁn"))), "aesop strasse fin");
}

TEST_F(Finding, TypingAndErasingNarrowsAndWidensCorrectly) {
    hearing();
    // One key at a time, then back: each state must equal a fresh search for it.
    const Str query = u("pièce p");
    for (std::size_t n = 1; n < 2 * query.size(); ++n) {
        const Str step = query.substr(0, n <= query.size() ? n : 2 * query.size() - n);
        FindIndex fresh;
        for (const auto& h : held)
            fresh.append({h[0], h[1], h[2]});
        fresh.setQuery(step);
        EXPECT_EQ(shown(s(step)), where(fresh, &FindIndex::matches)) << s(step);
    }
}

TEST_F(Finding, RowsAddedChangedOrRemovedWhileFilteringAreMatchedAlone) {
    hearing();
    EXPECT_EQ(shown("temoin"), (Rows{1, 2}));
    insert(1, {"09:35:00", "Autre témoin", ""});  // matches, in the middle
    insert(0, {"09:00:00", "Appel du rôle", ""}); // does not
    EXPECT_EQ(shown(), (Rows{2, 3, 4}));
    index.update(5, fields({"10:15:32", "Témoin réinterrogé", ""}));
    EXPECT_EQ(shown(), (Rows{2, 3, 4, 5}));
    index.remove(2);
    EXPECT_EQ(shown(), (Rows{2, 3, 4}));
    EXPECT_EQ(index.matchCount(), 3u);

    // Esc: no filter, every row shown again, then a new query sees all of them.
    EXPECT_EQ(shown("").size(), index.size());
    EXPECT_EQ(shown("pause"), (Rows{5}));
}

TEST_F(Finding, TheEditedRowStaysVisibleAndFollowsItsRow) {
    hearing();
    index.setPinned(4);
    EXPECT_EQ(shown("objection"), (Rows{3, 4}));
    EXPECT_EQ(index.matchCount(), 1u); // shown, but not counted as a match
    insert(0, {"09:00:00", "Appel", ""});
    EXPECT_EQ(index.pinned(), 5u);
    index.remove(2);
    EXPECT_EQ(index.pinned(), 4u);
    index.remove(4);
    EXPECT_FALSE(index.pinned());
    EXPECT_EQ(shown(), (Rows{3}));
}

TEST_F(Finding, NextMatchWrapsAroundAndCountsItsRank) {
    hearing();
    index.setQuery(u("temoin"));
    using Next = std::vector<std::optional<std::size_t>>;
    EXPECT_EQ((Next{index.next(std::nullopt), index.next(1), index.next(2), index.next(4)}),
              (Next{1, 2, 1, 1})); // wraps
    // Row 4 comes after the last match without being one.
    EXPECT_EQ((Rows{index.rank(1), index.rank(2), index.rank(4)}), (Rows{1, 2, 2}));
    index.setQuery(u("zzz"));
    EXPECT_FALSE(index.next(std::nullopt));
    index.clear();
    index.setQuery(u(""));
    EXPECT_FALSE(index.next(std::nullopt));
}

} // namespace
} // namespace dalmure::writing::test
