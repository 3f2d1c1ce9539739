#include "app/controls.h"

#include <algorithm>
#include <numeric>
#include <string_view>

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

namespace {

// Whether foldCase would change the text.
bool needsFolding(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= 'A' && c <= 'Z') return true;
        if (static_cast<unsigned char>(c) == 0xEF && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBC) {
            return true;
        }
    }
    return false;
}

}  // namespace

void ListView::sort() {
    if (sortKey < 0 || sortKey >= static_cast<int>(std::tuple_size_v<decltype(ListItem::cells)>)) return;
    const auto column = static_cast<std::size_t>(sortKey);
    // Each text folded once, not once per comparison, and only where folding
    // changes it.
    std::vector<std::string> folded(rows.size());
    std::vector<std::string_view> keys(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& text = rows[i].cells[column];
        if (needsFolding(text)) {
            folded[i] = util::foldCase(text);
            keys[i] = folded[i];
        } else {
            keys[i] = text;
        }
    }

    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool descending = sortOrder == 1;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return descending ? keys[b] < keys[a] : keys[a] < keys[b];
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
