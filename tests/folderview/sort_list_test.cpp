// Sorting the file list by its column headers, on folders loaded from disk.
#include <gtest/gtest.h>

#include "folderview/folder_view_fixture.h"

namespace mabrel::test {
namespace {

using Strings = std::vector<std::string>;

class SortList : public FolderViewTest {
protected:
    void click(int position) { window().lvwFiles_ColumnClick(position); }
    int order() { return window().lvwFiles.sortOrder; }
};

TEST_F(SortList, EachColumnOrdersByItsValueThenByNameAndASecondClickReverses) {
    file("b.txt", std::string(100, 'x'), 2001, 1, 1, 0, 0, 0);
    file("a.txt", std::string(9, 'x'), 2001, 1, 1, 0, 0, 0);
    file("C.txt", std::string(10, 'x'), 2001, 1, 1, 0, 0, 0);
    backupCopy("b_2000-07-15 09-05-03.txt", std::string(10, 'x'));
    backupCopy("a_1999-07-15 09-05-03.txt", "old");
    load();
    EXPECT_EQ(column(0), (Strings{"a.txt", "a.txt", "b.txt", "b.txt", "C.txt"}));  // without regard to case
    const struct {
        int click;
        int order;
        Strings names;
    } clicks[] = {
        {1, 1, {"C.txt", "b.txt", "b.txt", "a.txt", "a.txt"}},  // the first name click reverses
        {3, 0, {"a.txt", "a.txt", "b.txt", "C.txt", "b.txt"}},  // サイズ: 3, 9, 10, 10, 100
        {3, 1, {"b.txt", "C.txt", "b.txt", "a.txt", "a.txt"}},
        {2, 0, {"a.txt", "b.txt", "a.txt", "b.txt", "C.txt"}},  // 更新日
        {1, 0, {"a.txt", "a.txt", "b.txt", "b.txt", "C.txt"}},
    };
    for (const auto& c : clicks) {
        click(c.click);
        EXPECT_EQ(std::make_pair(order(), column(0)), std::make_pair(c.order, c.names)) << c.click;
    }
    click(3);
    EXPECT_EQ(column(5)[4], "         100_b.txt");
    EXPECT_EQ(window().lastSortColumn, 2);

    // The backup column groups the backup rows.
    click(4);
    const Strings bu = column(3);
    EXPECT_EQ(bu[0], bu[1]);
    EXPECT_EQ(bu[2], bu[4]);
    EXPECT_NE(bu[1], bu[2]);

    // The hidden key column writes no keys of its own; out of range neither.
    const Strings keys = column(5);
    for (const int position : {6, 0}) {
        window().fun_SortList(position - 1, false);
        EXPECT_EQ(window().lastSortColumn, position - 1);
        EXPECT_EQ(column(5), keys);
    }
}

TEST_F(SortList, AnEmptyListTakesTheColumnAndASizeTooLongKeepsItsLastTwelveDigits) {
    load();
    window().lvwFiles.sorted = false;
    click(2);
    click(2);
    EXPECT_EQ(window().lastSortColumn, 1);
    EXPECT_TRUE(window().lvwFiles.sorted);
    EXPECT_EQ(order(), 1);
    auto& list = window().lvwFiles;
    list.rows.resize(2);
    list.rows[0].cells = {"big.bin", "", "98765432109876", "", "", ""};
    list.rows[1].cells = {"small.bin", "", "5", "", "", ""};
    window().fun_SortList(2, false);
    EXPECT_EQ(column(5), (Strings{"           5_small.bin", "765432109876_big.bin"}));
}

}  // namespace
}  // namespace mabrel::test
