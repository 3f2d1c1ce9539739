#include <gtest/gtest.h>

#include <algorithm>

#include "app/controls.h"
#include "util/text.h"

namespace mabrel {
namespace {

ListItem row(const std::string& key, bool selected = false) {
    ListItem item;
    item.cells[0] = key;
    item.cells[5] = key;
    item.selected = selected;
    return item;
}

std::vector<std::string> keys(const ListView& list) {
    std::vector<std::string> out;
    for (const auto& r : list.rows) out.push_back(r.cells[5]);
    return out;
}

TEST(ListSort, IgnoresLetterCaseKeepsEqualRowsInOrderAndTheSelectionFollowsItsRow) {
    ListView list;
    list.rows = {row("b.txt_1"), row("A.txt_2", true), row("a.txt_2"), row("C.txt_0")};
    list.selectedItem = 1;
    list.sortKey = 5;
    list.sortOrder = 0;
    list.sortNow();
    EXPECT_TRUE(list.sorted);
    EXPECT_EQ(keys(list), (std::vector<std::string>{"A.txt_2", "a.txt_2", "b.txt_1", "C.txt_0"}));
    EXPECT_EQ(list.selectedItem, 0);
    EXPECT_EQ(list.rows[0].cells[5], "A.txt_2");
    EXPECT_EQ(list.selectedCount(), 1);

    list.sortOrder = 1;
    list.sort();
    EXPECT_EQ(keys(list), (std::vector<std::string>{"C.txt_0", "b.txt_1", "A.txt_2", "a.txt_2"}));
    EXPECT_EQ(list.rows[static_cast<std::size_t>(list.selectedItem)].cells[5], "A.txt_2");

    list.clearRows();
    EXPECT_EQ(list.selectedItem, -1);
    list.sort();  // an empty list sorts without harm
    EXPECT_TRUE(list.rows.empty());
}

// Against a plain stable sort of the folded texts: texts that share long
// beginnings, end inside one another, tie, or hold full-width letters.
TEST(ListSort, OrdersAsAStableSortOfTheFoldedTextsInBothDirections) {
    std::vector<std::string> texts;
    for (const char* stem :
         {"document 1", "document 10", "Document 1", "document 1.txt", "ＡＢ", "ａｂ", "ab", "document"}) {
        for (const char* tail : {"", "_2000-01-01 00-00-00", "_1999-12-31 23-59-59", "x", "_2000-01-01 00-00-00"}) {
            texts.push_back(std::string("a shared beginning ") + stem + tail);
        }
    }
    for (int order = 0; order < 2; ++order) {
        ListView list;
        for (const auto& t : texts) list.rows.push_back(row(t));
        for (std::size_t i = 0; i < list.rows.size(); ++i) list.rows[i].cells[0] = std::to_string(i);
        list.sortKey = 5;
        list.sortOrder = order;
        list.sortNow();

        std::vector<std::size_t> expected(texts.size());
        for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
        std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
            const std::string fa = util::foldCase(texts[a]), fb = util::foldCase(texts[b]);
            return order == 1 ? fb < fa : fa < fb;
        });
        std::vector<std::string> got, want;
        for (const auto& r : list.rows) got.push_back(r.cells[0]);
        for (std::size_t i : expected) want.push_back(std::to_string(i));
        EXPECT_EQ(got, want) << "order " << order;
    }
}

}  // namespace
}  // namespace mabrel
