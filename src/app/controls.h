// What the controls of the windows hold, without a toolkit: texts, rows,
// selection, geometry in twips. The front end renders these and reports the
// person's changes back into them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/interaction.h"

namespace mabrel {

// Twips: 1440 to the inch.
struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Geometry&, const Geometry&) = default;
};

// A button, label, option button or frame.
struct Control {
    std::string caption;
    Geometry geometry;
    int tabIndex = 0;
    bool enabled = true;
    bool visible = true;
    // A button that Escape presses.
    bool cancel = false;
};

struct TextBox {
    std::string text;
    Geometry geometry;
    int tabIndex = 0;
};

struct TreeNode {
    std::string key;
    std::string text;
    int parent = 0;  // 1-based index of the parent node; 0 for a root
};

class TreeView {
public:
    Geometry geometry;
    int tabIndex = 0;
    int style = 0;             // 4: tree lines and text
    bool rootExpanded = false;
    int selectedNode = 0;      // 1-based; 0 for none

    // Nodes are numbered from 1 in order of addition.
    const std::vector<TreeNode>& nodes() const { return nodes_; }
    const TreeNode& node(int index) const { return nodes_.at(static_cast<std::size_t>(index - 1)); }
    int count() const { return static_cast<int>(nodes_.size()); }
    int add(int parent, std::string key, std::string text);
    void clear();
    // Changes with every add and clear, so that a front end knows when to
    // read the nodes again.
    std::uint64_t revision() const { return revision_; }

private:
    std::vector<TreeNode> nodes_;
    std::uint64_t revision_ = 0;
};

enum class Alignment { Left, Right, Center };

struct ColumnHeader {
    std::string text;
    int width = 0;  // twips; the least the column gets when it fits its content
    Alignment alignment = Alignment::Left;
    // Widened by the front end to its widest cell and its header after each
    // load, unless the person has set the width by hand.
    bool fitsContent = false;
};

// Cell 0 is the item text, cells 1 to 5 the sub-items.
struct ListItem {
    std::array<std::string, 6> cells;
    int smallIcon = 0;  // index into the small-icon image list; 0 for none
    // 0: the item text is the name of the row's file as it is stored. Else
    // 1 + the index in ListView::ownNames of the name's own bytes, which the
    // item text shows decoded (a name from a Windows archive).
    std::uint32_t ownName = 0;
    bool selected = false;
};

// Extended list styles.
inline constexpr std::uint32_t LVS_EX_GRIDLINES = 0x1;
inline constexpr std::uint32_t LVS_EX_FULLROWSELECT = 0x20;

class ListView {
public:
    Geometry geometry;
    int tabIndex = 0;
    std::vector<ColumnHeader> columns;
    std::vector<ListItem> rows;
    // Changes whenever the rows are replaced or reordered (clearRows, sort),
    // so that a front end knows when to read them all again; edits of cells
    // and selected flags leave it.
    std::uint64_t revision = 0;
    int selectedItem = -1;  // index into rows of the SelectedItem; -1 for none
    int sortKey = 0;        // zero-based column the list sorts by
    bool sorted = false;
    int sortOrder = 0;      // 0 ascending, 1 descending
    std::uint32_t extendedStyle = 0;
    bool smallIconsAttached = false;
    // The names of rows whose item text shows them decoded, as their own bytes.
    std::vector<std::string> ownNames;

    // The name of the row's file (or of the file a copy was taken of), as
    // its own bytes: what every operation on it uses.
    const std::string& nameOf(const ListItem& row) const {
        return row.ownName == 0 ? row.cells[0] : ownNames[row.ownName - 1];
    }

    // Orders the rows by the text of column sortKey in sortOrder, comparing
    // without regard to letter case (as the Windows list does); rows with
    // equal texts keep their order. The selected item stays the same row.
    void sort();
    // Sets sorting on and sorts at once.
    void sortNow();
    int selectedCount() const;
    void clearRows();
};

// The images of an image list: 1-based index = position + 1, each with its
// key, "i" + the path it was made for. Every image has its own index and
// key; images of files of one type share one picture, held once, and the
// paths are kept as their folder (held once) and their name, so that the
// images of 200,000 rows cost little more than their names.
class Images {
public:
    using value_type = std::pair<std::string, SharedIcon>;

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The key and the picture of the image at `position` (0-based).
    value_type operator[](std::size_t position) const { return {key(position), picture(position)}; }
    value_type at(std::size_t position) const;
    std::string key(std::size_t position) const;
    const SharedIcon& picture(std::size_t position) const { return pictures_[entries_[position].picture]; }

    // Adds the image made for `path` (the key is "i" + path).
    void add(const std::string& path, SharedIcon picture);
    // Adds an image by its key.
    void push_back(const value_type& image);
    // Room for this many images whose names take this many bytes together.
    void reserve(std::size_t images, std::size_t nameBytes);
    void clear();

private:
    struct Entry {
        std::uint32_t picture;  // into pictures_
        std::uint32_t folder;   // into folders_
        std::uint32_t nameEnd;  // in names_; the name begins where the one before ends
    };
    void append(std::size_t folder, std::string_view name, SharedIcon picture);

    std::vector<Entry> entries_;
    std::string names_;
    std::vector<std::string> folders_;  // the key up to the name: "i" + folder
    std::vector<SharedIcon> pictures_;
    std::unordered_map<const IconImage*, std::uint32_t> pictureIndex_;
};

struct ImageList {
    int imageWidth = 16;
    int imageHeight = 16;
    Images images;
};

struct StatusBar {
    std::string panelText;
    int panelWidth = 0;  // twips
    Geometry geometry;
    int tabIndex = 0;
};

}  // namespace mabrel
