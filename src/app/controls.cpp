#include "app/controls.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
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
        // Full-width Latin capitals begin EF BC.
        if (static_cast<unsigned char>(c) == 0xEF && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0xBC) {
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
    std::vector<std::string_view> keys(rows.size());
    std::vector<std::uint32_t> toFold;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& text = rows[i].cells[column];
        keys[i] = text;
        if (needsFolding(text)) toFold.push_back(static_cast<std::uint32_t>(i));
    }
    std::vector<std::string> folded;
    folded.reserve(toFold.size());  // the views below stay valid
    for (const std::uint32_t i : toFold) {
        folded.push_back(util::foldCase(rows[i].cells[column]));
        keys[i] = folded.back();
    }

    // Sorted by the eight bytes after the prefix all texts share, then by
    // the rest where those are equal, then by position (so that rows with
    // equal texts keep their order): most comparisons touch no text at all.
    std::size_t common = keys.empty() ? 0 : keys[0].size();
    for (const auto& key : keys) {
        std::size_t n = 0;
        while (n < common && n < key.size() && key[n] == keys[0][n]) ++n;
        common = n;
    }
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t row;
    };
    std::vector<Entry> order(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::uint64_t prefix = 0;
        for (std::size_t b = 0; b < 8; ++b) {
            const std::size_t at = common + b;
            // Texts hold no NUL, so a text that ends sorts before its longer ones.
            prefix = (prefix << 8) | (at < keys[i].size() ? static_cast<unsigned char>(keys[i][at]) : 0u);
        }
        order[i] = {prefix, static_cast<std::uint32_t>(i)};
    }
    // A radix sort on those bytes (stable: rows keep their order), then the
    // runs that share them by the rest of their texts.
    std::vector<Entry> buffer(order.size());
    for (int shift = 0; shift < 64 && !order.empty(); shift += 8) {
        std::array<std::size_t, 257> count{};
        for (const Entry& e : order) ++count[((e.prefix >> shift) & 0xFF) + 1];
        if (count[((order[0].prefix >> shift) & 0xFF) + 1] == order.size()) continue;  // one value only
        for (std::size_t b = 0; b < 256; ++b) count[b + 1] += count[b];
        for (const Entry& e : order) buffer[count[(e.prefix >> shift) & 0xFF]++] = e;
        order.swap(buffer);
    }
    const bool descending = sortOrder == 1;
    if (descending) std::reverse(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && order[j].prefix == order[i].prefix) ++j;
        if (j - i > 1) {
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j),
                      [&](const Entry& a, const Entry& b) {
                          const std::size_t from =
                              std::min(common + 8, std::min(keys[a.row].size(), keys[b.row].size()));
                          const int c = keys[a.row].substr(from).compare(keys[b.row].substr(from));
                          if (c != 0) return descending ? c > 0 : c < 0;
                          return a.row < b.row;
                      });
        }
        i = j;
    }

    // The rows moved into their places along the permutation's cycles: no
    // second vector of rows.
    int newSelected = -1;
    std::vector<bool> placed(rows.size());
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (static_cast<int>(order[start].row) == selectedItem) newSelected = static_cast<int>(start);
        if (placed[start] || order[start].row == start) continue;
        ListItem held = std::move(rows[start]);
        std::size_t at = start;
        while (order[at].row != start) {
            rows[at] = std::move(rows[order[at].row]);
            placed[at] = true;
            at = order[at].row;
        }
        rows[at] = std::move(held);
        placed[at] = true;
    }
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

Images::value_type Images::at(std::size_t position) const {
    if (position >= size()) throw std::out_of_range("no such image");
    return (*this)[position];
}

std::string Images::key(std::size_t position) const {
    const Entry& e = entries_[position];
    const std::size_t from = position == 0 ? 0 : entries_[position - 1].nameEnd;
    return folders_[e.folder] + names_.substr(from, e.nameEnd - from);
}

void Images::add(const std::string& path, SharedIcon picture) {
    // The key "i" + path, read where it stands: no key made for each image.
    const std::size_t slash = path.rfind('\\');
    const std::size_t nameFrom = slash == std::string::npos ? 0 : slash + 1;
    const auto isFolder = [&](const std::string& held) {
        return held.size() == nameFrom + 1 && held[0] == 'i' && held.compare(1, nameFrom, path, 0, nameFrom) == 0;
    };
    // The images of one load come from one or two folders, in turn.
    std::size_t f = folders_.size();
    while (f > 0 && !isFolder(folders_[f - 1])) --f;
    if (f == 0) {
        folders_.push_back("i" + path.substr(0, nameFrom));
        f = folders_.size();
    }
    append(f - 1, std::string_view(path).substr(nameFrom), std::move(picture));
}

void Images::push_back(const value_type& image) {
    // The whole key as the name, under a folder of no text.
    std::size_t f = folders_.size();
    while (f > 0 && !folders_[f - 1].empty()) --f;
    if (f == 0) {
        folders_.emplace_back();
        f = folders_.size();
    }
    append(f - 1, image.first, image.second);
}

void Images::append(std::size_t folder, std::string_view name, SharedIcon picture) {
    const auto [at, made] = pictureIndex_.try_emplace(picture.get(), static_cast<std::uint32_t>(pictures_.size()));
    if (made) pictures_.push_back(std::move(picture));
    names_.append(name);
    entries_.push_back({at->second, static_cast<std::uint32_t>(folder), static_cast<std::uint32_t>(names_.size())});
}

void Images::reserve(std::size_t images, std::size_t nameBytes) {
    entries_.reserve(images);
    names_.reserve(nameBytes);
}

void Images::clear() {
    entries_ = {};
    names_ = {};
    folders_.clear();
    pictures_.clear();
    pictureIndex_.clear();
}

void ListView::clearRows() {
    rows.clear();
    ownNames.clear();
    selectedItem = -1;
    ++revision;
}

}  // namespace mabrel
