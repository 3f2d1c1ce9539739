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

// A record line read back. The key is the text before the last ",": comments
// never hold a comma, file names may. The comment follows the reading rules
// of a field: leading blanks skipped; a field that begins with a double
// quote runs to the next one, the quotes no part of it and the rest dropped.
// A line without "," holds no record.
std::optional<CommentRecord> parseCommentRecord(const std::string& line);

// The record line the save writes for a row.
std::string formatCommentRecord(const std::string& key, const std::string& comment);

// Row key -> index into the list's rows.
using RowIndex = std::unordered_map<std::string, std::size_t>;

// Puts the stored comments (the file's lines) onto the list: line 1 into
// folderComment, each record's comment onto the row of its key. With
// onlyEmpty, texts already there win over the stored ones. Returns the
// record lines that found no row and that keepUnmatched(key) asks to keep.
std::vector<std::string> applyStoredComments(const std::vector<std::string>& lines, ListView& list,
                                             const RowIndex& rowByKey, TextBox& folderComment, bool onlyEmpty,
                                             const std::function<bool(const std::string&)>& keepUnmatched);

// A text as one line of the file: a line break would start a record of its own.
std::string onOneLine(std::string text);

}  // namespace mabrel::folderview
