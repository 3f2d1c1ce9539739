#include <gtest/gtest.h>

#include <algorithm>

#include "app/controls.h"
#include "util/text.h"

namespace mabrel {
namespace {

// Against a plain stable sort of the folded texts: texts that share long
// beginnings, end inside one another, tie, or hold full-width letters; the
// selection follows its row.
TEST(ListSort, OrdersAsAStableSortOfTheFoldedTextsInBothDirections) {
    std::vector<std::string> texts;
    for (const char* stem : {"document 1", "document 10", "Document 1", "document 1.txt", "ＡＢ", "ａｂ", "ab", "document"}) {
        for (const char* tail : {"", "_2000-01-01 00-00-00", "_1999-12-31 23-59-59", "x", "_2000-01-01 00-00-00"}) {
            texts.push_back(std::string("a shared beginning ") + stem + tail);
        }
    }
    for (int order = 0; order < 2; ++order) {
        ListView list;
        std::vector<std::string> want;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            list.rows.emplace_back();
            list.rows.back().cells[0] = want.emplace_back(std::to_string(i));
            list.rows.back().cells[5] = texts[i];
        }
        list.rows[7].selected = true;
        list.selectedItem = 7;
        list.sortKey = 5;
        list.sortOrder = order;
        list.sortNow();
        std::stable_sort(want.begin(), want.end(), [&](const std::string& a, const std::string& b) {
            const std::string fa = util::foldCase(texts[std::stoul(a)]), fb = util::foldCase(texts[std::stoul(b)]);
            return order == 1 ? fb < fa : fa < fb;
        });
        std::vector<std::string> got;
        for (const auto& r : list.rows) got.push_back(r.cells[0]);
        EXPECT_EQ(got, want) << "order " << order;
        EXPECT_EQ(list.rows[static_cast<std::size_t>(list.selectedItem)].cells[0], "7");
        EXPECT_TRUE(list.rows[static_cast<std::size_t>(list.selectedItem)].selected);
    }
}

}  // namespace
}  // namespace mabrel
