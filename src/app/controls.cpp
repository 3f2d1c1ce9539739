#include "app/controls.h"

#include <algorithm>
#include <numeric>

#include "util/text.h"

namespace mabrel {

int TreeView::add(int parent, std::string key, std::string text) {
    nodes_.push_back(TreeNode{std::move(key), std::move(text), parent});
    ++revision_;
    return count();
}

void TreeView::clear() {
    nodes_.clear();
    ++revision_;
    selectedNode = 0;
    rootExpanded = false;
}

void ListView::sort() {
    if (sortKey < 0 || sortKey >= static_cast<int>(std::tuple_size_v<decltype(ListItem::cells)>)) return;
    const auto column = static_cast<std::size_t>(sortKey);
    // Fold each text once, not once per comparison.
    std::vector<std::string> folded;
    folded.reserve(rows.size());
    for (const auto& row : rows) folded.push_back(util::foldCase(row.cells[column]));

    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool descending = sortOrder == 1;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return descending ? folded[b] < folded[a] : folded[a] < folded[b];
    });

    std::vector<ListItem> sortedRows;
    sortedRows.reserve(rows.size());
    int newSelected = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (static_cast<int>(order[i]) == selectedItem) newSelected = static_cast<int>(i);
        sortedRows.push_back(std::move(rows[order[i]]));
    }
    rows = std::move(sortedRows);
    selectedItem = newSelected;
    ++revision;
}

void ListView::sortNow() {
    sorted = true;
    sort();
}

int ListView::selectedCount() const {
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const ListItem& r) { return r.selected; }));
}

void ListView::clearRows() {
    rows.clear();
    selectedItem = -1;
    ++revision;
}

}  // namespace mabrel
