// The comment file "_mabre.l94" of a folder: line 1 the folder comment, then
// one record per commented row, row key "," comment, every line ended by
// CR LF. What the reader and the writer of the main window share.
#pragma once

#include <cstddef>
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
// same second); each keeps its own comment.
class RowIndex {
public:
    void reserve(std::size_t n) { first_.reserve(n); }
    void add(const std::string& key, std::size_t row);
    // The first row of the key, or nothing.
    std::optional<std::size_t> first(const std::string& key) const;
    // The row after `row` with the same key, or nothing.
    std::optional<std::size_t> next(std::size_t row) const;

private:
    std::unordered_map<std::string, std::size_t> first_;
    std::unordered_map<std::size_t, std::size_t> next_;
    std::unordered_map<std::string, std::size_t> last_;  // only for keys with more than one row
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
