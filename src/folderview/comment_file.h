// The comment file "_mabre.l94" of a folder: line 1 the folder comment, then
// one record per commented row, row key "," comment, every line ended by
// CR LF. What the reader and the writer of the main window share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/controls.h"

namespace mabrel::folderview {

struct CommentRecord {
    std::string key;
    std::string comment;
};

// A record line read back as the save writes it. The key is the text before
// the last ",": comments never hold a comma, file names may. The comment
// follows the reading rules of a field: leading blanks skipped; a field that
// begins with a double quote runs to the next one, the quotes no part of it
// and the rest dropped. A line without "," holds no record.
std::optional<CommentRecord> parseCommentRecord(const std::string& line);

// The same line read by the field rules alone, as other writers of the file
// may have meant it: two fields separated by ",", each with its leading
// blanks skipped, a field in double quotes running to the closing quote (it
// may hold ",") and the rest up to the next "," dropped.
std::optional<CommentRecord> parseCommentFields(const std::string& line);

// The record line the save writes for a row.
std::string formatCommentRecord(const std::string& key, const std::string& comment);

// Row key -> indexes into the list's rows, in the order they were added. A
// file row and a kept copy can share a key (another version saved within the
// same second); each keeps its own comment. The keys are the rows' own key
// cells, not copies, so a row is added once it is in the list.
class RowIndex {
public:
    explicit RowIndex(const ListView& list) : list_(list) {}
    void reserve(std::size_t n);
    // Adds the list's row `row` under the key in its key column.
    void add(std::size_t row);
    // The first row of the key, or nothing.
    std::optional<std::size_t> first(const std::string& key) const;
    // The row after `row` with the same key, or nothing.
    std::optional<std::size_t> next(std::size_t row) const;

private:
    // 8 bytes: an index of 200,000 rows is 4 MB.
    struct Slot {
        std::uint32_t check = 0;  // the hash's upper half
        std::uint32_t row = 0;    // first row of the key + 1; 0: empty
    };
    static std::uint32_t checkOf(std::size_t hash) { return static_cast<std::uint32_t>(std::uint64_t{hash} >> 32); }
    void grow();
    const std::string& keyOf(std::size_t row) const;

    const ListView& list_;
    std::vector<Slot> slots_;  // open addressing, a power of two long
    std::size_t used_ = 0;
    std::vector<std::uint32_t> next_;  // by row: the next row of its key + 1; 0: none
};

// Puts the stored comments (the file's lines) onto the list: line 1 into
// folderComment, each record's comment onto the row of its key; records of
// one key go to that key's rows in order. With onlyEmpty, texts already
// there win over the stored ones. Returns the
// record lines that found no row and that keepUnmatched(key) asks to keep.
std::vector<std::string> applyStoredComments(const std::vector<std::string>& lines, ListView& list,
                                             const RowIndex& rowByKey, TextBox& folderComment, bool onlyEmpty,
                                             const std::function<bool(const std::string&)>& keepUnmatched);

// A text as one line of the file: a line break would start a record of its own.
std::string onOneLine(std::string text);

}  // namespace mabrel::folderview
