#include <gtest/gtest.h>

#include "app/controls.h"

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

TEST(TreeNodes, AreNumberedFromOneAndClearedWithTheirSelection) {
    TreeView tree;
    EXPECT_EQ(tree.add(0, "d_C:\\Docs\\", "C:\\Docs\\"), 1);
    EXPECT_EQ(tree.add(1, "f_sub", "sub"), 2);
    EXPECT_EQ(tree.node(2).parent, 1);
    tree.selectedNode = 1;
    tree.rootExpanded = true;
    tree.clear();
    EXPECT_EQ(tree.count(), 0);
    EXPECT_EQ(tree.selectedNode, 0);
    EXPECT_FALSE(tree.rootExpanded);
}

}  // namespace
}  // namespace mabrel
