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
#include "platform/text.h"

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
// one key go to that key's rows in order (a file row before a kept copy of
// the same key). Returns the keys of the records that found no row.
//
// Rows whose records are keyed by their names' own bytes (names that are
// not UTF-8, and those that show alike) are found by the bytes of the
// stored lines first: `own` holds those lines (without line ends, the mark
// left out) and those rows by own key (own name "_" timestamp).
struct OwnKeys {
    std::vector<std::string> lines;
    std::unordered_map<std::string, std::vector<std::size_t>> rows;
};
std::vector<std::string> applyStoredComments(const std::vector<std::string>& lines, ListView& list,
                                             const RowIndex& rowByKey, TextBox& folderComment,
                                             const OwnKeys* own = nullptr);
// The rows of a list whose records are keyed by their names' own bytes (a
// file row before a copy's), by own key.
std::unordered_map<std::string, std::vector<std::size_t>> rowsByOwnKey(const ListView& list);

// A comment this instance changed since it read the file: the record of
// `key` numbered `ordinal` among the records of that key (0 the first) now
// holds `comment` (empty: none).
struct CommentChange {
    std::string key;
    std::size_t ordinal = 0;
    std::string comment;
    // The key is a name's own bytes, written as they are, not as text.
    bool ownBytes = false;
};

struct CommentChanges {
    std::optional<std::string> folder;  // the folder comment, when changed
    std::vector<CommentChange> records;
    bool empty() const { return !folder && records.empty(); }
};

// What the comment file is to hold: `stored` (nothing: there is no file)
// with `changes` applied and the records dropped whose key `keep` refuses;
// every other line as it is stored, byte for byte. Written in the file's own
// encoding: the ANSI code page where it can hold every line (lines it cannot
// read stay as their bytes), else UTF-8 behind a byte order mark; a file in
// UTF-8 stays so. Nothing when that is what is stored, or when there is no
// file and nothing to store.
std::optional<std::string> mergeComments(const platform::Codec& codec, const std::optional<std::string>& stored,
                                         const CommentChanges& changes,
                                         const std::function<bool(const std::string& key)>& keep);

// The comments as stored, by row (its key, and whether it is a copy's):
// a digest of each, so that a folder of millions of rows keeps little more.
class StoredComments {
public:
    void clear() { entries_.clear(); }
    // Adds the row's stored comment; call seal() once all are added.
    void add(const std::string& key, bool copy, const std::string& comment);
    void seal();
    // Whether the row's comment is stored as `comment`; nothing when none is
    // stored for it.
    std::optional<bool> holds(const std::string& key, bool copy, const std::string& comment) const;
    std::size_t size() const { return entries_.size(); }

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries_;  // row, comment
};

// The file name part of a row key (name "_" timestamp); empty when the key
// has no timestamp.
std::string nameOfKey(const std::string& key);

// A text as one line of the file: a line break would start a record of its own.
std::string onOneLine(std::string text);

}  // namespace mabrel::folderview
