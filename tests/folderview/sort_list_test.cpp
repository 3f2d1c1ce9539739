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

TEST_F(SortList, SizesOrderByValueAndASecondClickReverses) {
    file("nine.txt", std::string(9, 'x'));
    file("hundred.txt", std::string(100, 'x'));
    file("ten.txt", std::string(10, 'x'));
    file("also-ten.txt", std::string(10, 'x'));
    load();

    click(3);  // サイズ
    EXPECT_EQ(column(2), (Strings{"9", "10", "10", "100"}));
    // Equal sizes order by name.
    EXPECT_EQ(column(0), (Strings{"nine.txt", "also-ten.txt", "ten.txt", "hundred.txt"}));
    EXPECT_EQ(column(5)[0], "           9_nine.txt");
    EXPECT_EQ(column(5)[3], "         100_hundred.txt");
    EXPECT_EQ(window().lastSortColumn, 2);

    click(3);
    EXPECT_EQ(order(), 1);
    EXPECT_EQ(column(0), (Strings{"hundred.txt", "ten.txt", "also-ten.txt", "nine.txt"}));
}

TEST_F(SortList, TheBackupColumnGroupsBackupRowsAndTimesOrderByName) {
    file("b.txt", "new", 2001, 1, 1, 0, 0, 0);
    file("a.txt", "new", 2001, 1, 1, 0, 0, 0);
    backupCopy("b_2000-07-15 09-05-03.txt", "old");
    backupCopy("a_1999-07-15 09-05-03.txt", "old");
    load();

    click(4);  // BU
    // Which group comes first is the list's own comparison of "*" and "_".
    const Strings bu = column(3);
    EXPECT_EQ(bu[0], bu[1]);
    EXPECT_EQ(bu[2], bu[3]);
    EXPECT_NE(bu[0], bu[2]);
    EXPECT_EQ(column(0), (Strings{"a.txt", "b.txt", "a.txt", "b.txt"}));

    click(2);  // 更新日
    EXPECT_EQ(order(), 0);
    EXPECT_EQ(column(1), (Strings{"1999-07-15 09-05-03", "2000-07-15 09-05-03", "2001-01-01 00-00-00",
                                  "2001-01-01 00-00-00"}));
    EXPECT_EQ(column(0), (Strings{"a.txt", "b.txt", "a.txt", "b.txt"}));
    EXPECT_EQ(column(5)[2], "2001-01-01 00-00-00_a.txt");

    // Another column first, then the name: ascending; the name again: descending.
    click(1);
    EXPECT_EQ(order(), 0);
    EXPECT_EQ(column(5), (Strings{"a.txt_1999-07-15 09-05-03", "a.txt_2001-01-01 00-00-00",
                                  "b.txt_2000-07-15 09-05-03", "b.txt_2001-01-01 00-00-00"}));
    click(1);
    EXPECT_EQ(order(), 1);
    EXPECT_EQ(column(0), (Strings{"b.txt", "b.txt", "a.txt", "a.txt"}));
}

TEST_F(SortList, TheFirstNameClickReversesTheListAndTheHiddenKeyColumnWritesNoKeys) {
    file("a.txt", "1");
    file("B.txt", "22");
    load();
    EXPECT_EQ(column(0), (Strings{"a.txt", "B.txt"}));  // without regard to case
    click(1);
    EXPECT_EQ(order(), 1);
    EXPECT_EQ(column(0), (Strings{"B.txt", "a.txt"}));

    click(3);
    const Strings sizeKeys = column(5);
    click(6);  // key
    EXPECT_EQ(order(), 0);
    EXPECT_EQ(window().lastSortColumn, 5);
    EXPECT_EQ(column(5), sizeKeys);
    click(6);
    EXPECT_EQ(order(), 1);
    EXPECT_EQ(column(0), (Strings{"B.txt", "a.txt"}));

    // Out of range in the other direction: the same.
    window().fun_SortList(-1, false);
    EXPECT_EQ(window().lastSortColumn, -1);
    EXPECT_EQ(order(), 0);
    EXPECT_EQ(column(5), sizeKeys);
    EXPECT_EQ(column(0), (Strings{"a.txt", "B.txt"}));
}

TEST_F(SortList, AnEmptyListStillTakesTheDirectionAndTheColumn) {
    load();
    window().lvwFiles.sortKey = 0;
    window().lvwFiles.sorted = false;
    click(2);
    EXPECT_EQ(window().lastSortColumn, 1);
    EXPECT_EQ(window().lvwFiles.sortKey, 5);
    EXPECT_TRUE(window().lvwFiles.sorted);
    click(2);
    EXPECT_EQ(order(), 1);
    window().fun_SortList(1, true);
    EXPECT_EQ(order(), 0);
}

TEST_F(SortList, ASizeLongerThanTheFieldKeepsItsLastTwelveDigits) {
    auto& list = window().lvwFiles;
    ListItem big;
    big.cells = {"big.bin", "2000-01-01 00-00-00", "98765432109876", "", "", ""};
    ListItem small;
    small.cells = {"small.bin", "2000-01-01 00-00-00", "5", "", "", ""};
    list.rows = {big, small};
    window().fun_SortList(2, false);
    EXPECT_EQ(column(5), (Strings{"           5_small.bin", "765432109876_big.bin"}));
}

}  // namespace
}  // namespace mabrel::test
