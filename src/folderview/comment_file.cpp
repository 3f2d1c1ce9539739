// The comment file: the record rules, and the save of the folder shown.
#include "folderview/comment_file.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/error_trap.h"
#include "app/frm_mabrel94.h"
#include "backup/backup_store.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "util/text.h"

namespace mabrel {

namespace folderview {

std::optional<CommentRecord> parseCommentRecord(const std::string& line) {
    const std::size_t comma = line.rfind(',');
    if (comma == std::string::npos) return std::nullopt;
    CommentRecord record;
    record.key.assign(line, 0, comma);
    std::size_t start = comma + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    if (start < line.size() && line[start] == '"') {
        const std::size_t close = line.find('"', start + 1);
        record.comment.assign(line, start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
    } else {
        record.comment.assign(line, start);
    }
    return record;
}

std::optional<CommentRecord> parseCommentFields(const std::string& line) {
    // One field from `pos`: blanks skipped, quoted or up to the next ",";
    // `more` tells whether a "," follows it.
    auto field = [&line](std::size_t& pos, bool& more) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        std::string text;
        std::size_t end;
        if (pos < line.size() && line[pos] == '"') {
            const std::size_t close = line.find('"', pos + 1);
            text = line.substr(pos + 1, close == std::string::npos ? std::string::npos : close - pos - 1);
            end = close == std::string::npos ? line.size() : close + 1;
        } else {
            const std::size_t comma = line.find(',', pos);
            text = line.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            end = pos + text.size();
        }
        const std::size_t comma = line.find(',', end);
        more = comma != std::string::npos;
        pos = more ? comma + 1 : line.size();
        return text;
    };
    std::size_t pos = 0;
    bool more = false;
    CommentRecord record;
    record.key = field(pos, more);
    if (!more) return std::nullopt;
    record.comment = field(pos, more);
    return record;
}

namespace {
constexpr std::size_t kRowKeyColumn = 5;
}  // namespace

const std::string& RowIndex::keyOf(std::size_t row) const { return list_.rows[row].cells[kRowKeyColumn]; }

void RowIndex::reserve(std::size_t n) {
    std::size_t size = 16;
    while (size < 2 * n) size *= 2;
    if (size > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(size, Slot{});
        for (const Slot& s : old) {
            if (s.row == 0) continue;
            std::size_t i = std::hash<std::string>{}(keyOf(s.row - 1)) & (slots_.size() - 1);
            while (slots_[i].row != 0) i = (i + 1) & (slots_.size() - 1);
            slots_[i] = s;
        }
    }
    next_.reserve(n);
}

void RowIndex::grow() { reserve(std::max<std::size_t>(used_ + 1, slots_.size())); }

void RowIndex::add(std::size_t row) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    if (next_.size() <= row) next_.resize(row + 1, 0);
    const std::string& key = keyOf(row);
    const std::size_t hash = std::hash<std::string>{}(key);
    std::size_t i = hash & (slots_.size() - 1);
    for (; slots_[i].row != 0; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i].check != checkOf(hash) || keyOf(slots_[i].row - 1) != key) continue;
        // Another row of this key: at the end of its rows.
        std::size_t last = slots_[i].row - 1;
        while (next_[last] != 0) last = next_[last] - 1;
        next_[last] = static_cast<std::uint32_t>(row + 1);
        return;
    }
    slots_[i] = Slot{checkOf(hash), static_cast<std::uint32_t>(row + 1)};
    ++used_;
}

std::optional<std::size_t> RowIndex::first(const std::string& key) const {
    if (slots_.empty()) return std::nullopt;
    const std::size_t hash = std::hash<std::string>{}(key);
    for (std::size_t i = hash & (slots_.size() - 1); slots_[i].row != 0; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i].check == checkOf(hash) && keyOf(slots_[i].row - 1) == key) return slots_[i].row - 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> RowIndex::next(std::size_t row) const {
    if (row >= next_.size() || next_[row] == 0) return std::nullopt;
    return next_[row] - 1;
}

std::string formatCommentRecord(const std::string& key, const std::string& comment) {
    return key + "," + comment;
}

std::vector<std::string> applyStoredComments(const std::vector<std::string>& lines, ListView& list,
                                             const RowIndex& rowByKey, TextBox& folderComment, const OwnKeys* own) {
    std::vector<std::string> unmatched;
    if (lines.empty()) return unmatched;
    folderComment.text = lines.front();
    // Rows that have had their record: a key's n-th record goes to its n-th row.
    std::vector<bool> taken(list.rows.size());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (own && i < own->lines.size()) {
            // By the bytes first: a name that is not UTF-8 as it was written.
            if (auto byBytes = parseCommentRecord(own->lines[i])) {
                if (const auto it = own->rows.find(byBytes->key); it != own->rows.end()) {
                    const auto row = std::find_if(it->second.begin(), it->second.end(),
                                                   [&](std::size_t r) { return !taken[r]; });
                    if (row == it->second.end()) {
                        unmatched.push_back(platform::utf8Lossy(byBytes->key));
                        continue;
                    }
                    taken[*row] = true;
                    const auto asText = parseCommentRecord(lines[i]);
                    list.rows[*row].cells[4] = asText ? asText->comment : platform::utf8Lossy(byBytes->comment);
                    continue;
                }
            }
        }
        // As this program writes it first; then by the field rules, for keys
        // with leading blanks and quoted fields.
        auto record = parseCommentRecord(lines[i]);
        if (!record || !rowByKey.first(record->key)) {
            if (auto fields = parseCommentFields(lines[i]); fields && rowByKey.first(fields->key)) record = fields;
        }
        if (!record) continue;
        std::optional<std::size_t> row = rowByKey.first(record->key);
        while (row && *row < taken.size() && taken[*row]) row = rowByKey.next(*row);
        if (!row || *row >= taken.size()) {
            unmatched.push_back(std::move(record->key));
            continue;
        }
        taken[*row] = true;
        list.rows[*row].cells[4] = std::move(record->comment);
    }
    return unmatched;
}

namespace {

// One line of a stored comment file.
struct StoredLine {
    std::string bytes;  // as stored, without its line end
    std::string text;   // as read; bytes that do not convert as U+FFFD
    bool readable = true;  // valid in the file's encoding: kept as text
    bool changed = false;  // text is new: written in the file's encoding
    bool removed = false;
    // A new record of a key of a name's own bytes: written as those bytes,
    // "," and the comment in the file's encoding.
    std::string ownKey;
    std::string ownComment;
};

bool isAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<StoredLine> storedLines(const platform::Codec& codec, const std::string& body,
                                    platform::TextEncoding encoding) {
    std::vector<StoredLine> lines;
    for (auto& bytes : platform::splitLines(body)) lines.push_back({std::move(bytes), {}, true, false, false, {}, {}});
    if (encoding != platform::TextEncoding::Ansi) {
        for (auto& line : lines) {
            line.readable = platform::isValidUtf8(line.bytes);
            line.text = line.readable ? line.bytes : platform::utf8Lossy(line.bytes);
        }
        return lines;
    }
    if (isAscii(body)) {
        for (auto& line : lines) line.text = line.bytes;
        return lines;
    }
    // The whole file at once, as it mostly converts; line by line where not.
    if (const auto whole = codec.fromAnsiStrict(body)) {
        auto texts = platform::splitLines(*whole);
        if (texts.size() == lines.size()) {
            for (std::size_t i = 0; i < lines.size(); ++i) lines[i].text = std::move(texts[i]);
            return lines;
        }
    }
    for (auto& line : lines) {
        const auto text = codec.fromAnsiStrict(line.bytes);
        line.readable = text.has_value();
        line.text = text ? *text : codec.fromAnsi(line.bytes);
    }
    return lines;
}

// The record a line holds, as this program writes it and by the field rules.
std::vector<CommentRecord> readingsOf(const std::string& text) {
    std::vector<CommentRecord> out;
    if (auto r = parseCommentRecord(text)) out.push_back(std::move(*r));
    if (auto f = parseCommentFields(text); f && (out.empty() || f->key != out.front().key)) {
        out.push_back(std::move(*f));
    }
    return out;
}

// The record of `key` a line holds, by either reading.
std::optional<CommentRecord> recordOf(const std::string& text, const std::string& key) {
    for (auto& r : readingsOf(text)) {
        if (r.key == key) return std::move(r);
    }
    return std::nullopt;
}

// The record of `key` a line holds: for a key of own bytes, read from the
// line's bytes.
std::optional<CommentRecord> recordOf(const StoredLine& line, const std::string& key, bool ownBytes) {
    if (!ownBytes) return recordOf(line.text, key);
    if (!line.ownKey.empty()) {
        if (line.ownKey != key) return std::nullopt;
        return CommentRecord{key, line.ownComment};
    }
    auto r = parseCommentRecord(line.bytes);
    if (!r || r->key != key) return std::nullopt;
    if (auto asText = parseCommentRecord(line.text)) r->comment = asText->comment;
    return r;
}

}  // namespace

std::optional<std::string> mergeComments(const platform::Codec& codec, const std::optional<std::string>& stored,
                                         const CommentChanges& changes,
                                         const std::function<bool(const std::string& key)>& keep) {
    platform::TextEncoding encoding = platform::TextEncoding::Ansi;
    std::vector<StoredLine> lines;
    if (stored) {
        encoding = platform::textEncoding(*stored);
        lines = storedLines(codec, encoding == platform::TextEncoding::Utf8WithMark ? stored->substr(3) : *stored,
                            encoding);
    }
    bool modified = false;
    auto setText = [&modified](StoredLine& line, std::string text) {
        if (line.readable && !line.removed && line.text == text) return;
        line.text = std::move(text);
        line.readable = true;
        line.changed = true;
        line.removed = false;
        modified = true;
    };
    if (lines.empty()) lines.push_back({});  // a file of no bytes has not even the folder line
    if (changes.folder) setText(lines.front(), onOneLine(*changes.folder));

    // The records of the keys changed, in the order they are stored: keys
    // of text by either reading of a line, keys of own bytes by its bytes.
    std::unordered_map<std::string, std::vector<std::size_t>> byKey;
    std::unordered_map<std::string, std::vector<std::size_t>> byOwnKey;
    for (const auto& c : changes.records) (c.ownBytes ? byOwnKey : byKey).emplace(c.key, std::vector<std::size_t>{});
    for (std::size_t i = 1; i < lines.size() && !(byKey.empty() && byOwnKey.empty()); ++i) {
        if (!byOwnKey.empty()) {
            if (const auto r = parseCommentRecord(lines[i].bytes)) {
                if (auto it = byOwnKey.find(r->key); it != byOwnKey.end()) {
                    it->second.push_back(i);
                    continue;
                }
            }
        }
        for (const auto& r : readingsOf(lines[i].text)) {
            if (auto it = byKey.find(r.key); it != byKey.end()) {
                it->second.push_back(i);
                break;
            }
        }
    }
    // Sets a line to the record of `key`.
    auto setRecord = [&](StoredLine& line, const std::string& key, const std::string& comment, bool ownBytes) {
        if (!ownBytes) return setText(line, formatCommentRecord(key, comment));
        line.ownKey = key;
        line.ownComment = comment;
        line.text = formatCommentRecord(platform::utf8Lossy(key), comment);
        line.readable = true;
        line.changed = true;
        line.removed = false;
        modified = true;
    };
    std::vector<const CommentChange*> ordered;
    for (const auto& c : changes.records) ordered.push_back(&c);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const CommentChange* x, const CommentChange* y) { return x->ordinal < y->ordinal; });
    for (const CommentChange* c : ordered) {
        auto& at = (c->ownBytes ? byOwnKey : byKey)[c->key];
        const std::string comment = onOneLine(c->comment);
        if (c->ordinal < at.size()) {
            const auto record = recordOf(lines[at[c->ordinal]], c->key, c->ownBytes);
            if (record && record->comment == comment) continue;
            setRecord(lines[at[c->ordinal]], c->key, comment, c->ownBytes);
            continue;
        }
        if (comment.empty()) continue;
        // Records without a comment keep the earlier rows of the key apart.
        while (at.size() <= c->ordinal) {
            lines.push_back({});
            setRecord(lines.back(), c->key, at.size() == c->ordinal ? comment : "", c->ownBytes);
            at.push_back(lines.size() - 1);
        }
    }
    // A key's last records without a comment keep nothing apart.
    for (const bool ownBytes : {false, true}) {
        for (auto& [key, at] : ownBytes ? byOwnKey : byKey) {
            for (auto i = at.rbegin(); i != at.rend(); ++i) {
                const auto record = recordOf(lines[*i], key, ownBytes);
                if (!record || !record->comment.empty()) break;
                lines[*i].removed = true;
                modified = true;
            }
        }
    }
    // Records of versions no entry of the folder has a name for any more. A
    // line that cannot be read is kept as it is.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        StoredLine& line = lines[i];
        if (line.removed || line.changed || !line.readable) continue;
        const auto readings = readingsOf(line.text);
        if (readings.empty()) continue;
        if (std::none_of(readings.begin(), readings.end(), [&](const CommentRecord& r) { return keep(r.key); })) {
            line.removed = true;
            modified = true;
        }
    }
    if (!modified) return std::nullopt;

    // One encoding for the whole file. A record of a key of own bytes has
    // those bytes, its comment in the file's encoding.
    auto inUtf8 = [](const StoredLine& line) {
        if (!line.ownKey.empty()) return line.ownKey + "," + line.ownComment;
        return line.readable ? line.text : line.bytes;
    };
    std::string out;
    if (encoding == platform::TextEncoding::Ansi) {
        std::vector<std::string> ansi(lines.size());
        bool fits = true;
        for (std::size_t i = 0; i < lines.size() && fits; ++i) {
            const StoredLine& line = lines[i];
            if (!line.changed || line.removed) continue;
            if (auto a = codec.toAnsi(line.ownKey.empty() ? line.text : line.ownComment)) {
                ansi[i] = line.ownKey.empty() ? std::move(*a) : line.ownKey + "," + *a;
            } else {
                fits = false;
            }
        }
        for (std::size_t i = 0; i < lines.size() && fits; ++i) {
            if (lines[i].removed) continue;
            out += lines[i].changed ? ansi[i] : lines[i].bytes;
            out += "\r\n";
        }
        // What the code page cannot hold, or what would read back as UTF-8.
        if (!fits || platform::textEncoding(out) != platform::TextEncoding::Ansi) {
            out = platform::kByteOrderMark;
            for (const auto& line : lines) {
                if (line.removed) continue;
                out += inUtf8(line);
                out += "\r\n";
            }
        }
    } else {
        for (const auto& line : lines) {
            if (line.removed) continue;
            out += line.changed ? inUtf8(line) : line.bytes;
            out += "\r\n";
        }
        // Without its mark, a file must still read as UTF-8.
        if (encoding == platform::TextEncoding::Utf8WithMark ||
            (platform::textEncoding(out) != platform::TextEncoding::Utf8 && !isAscii(out))) {
            out.insert(0, platform::kByteOrderMark);
        }
    }
    if (!stored && out == "\r\n") return std::nullopt;
    if (stored && out == *stored) return std::nullopt;
    return out;
}

std::string onOneLine(std::string text) {
    for (auto& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

}  // namespace folderview

namespace {

constexpr char kNotSaved[] = "（コメントは保存されていません。）";
constexpr std::size_t kTimestampColumn = 1;
constexpr std::size_t kBackupMarkColumn = 3;
constexpr std::size_t kCommentColumn = 4;
constexpr std::size_t kTimestampChars = 19;
// Any entry of a folder, whatever its attributes.
constexpr std::uint32_t kAnyEntry = platform::attr::Directory | platform::attr::Hidden | platform::attr::System;

bool isCopyRow(const ListItem& row) { return !row.cells[kBackupMarkColumn].empty(); }

// The row key of the name's own bytes, whatever the key column holds after a
// sort by another column.
std::string rowKeyOf(const ListView& list, const ListItem& row) {
    return list.nameOf(row) + "_" + row.cells[kTimestampColumn];
}

// The shown keys of rows whose names are not UTF-8: their records, and those
// of the rows that show alike, are keyed by the names' own bytes.
std::unordered_set<std::string> keysShownForOwnNames(const ListView& list) {
    std::unordered_set<std::string> keys;
    if (list.ownNames.empty()) return keys;
    for (const auto& row : list.rows) {
        if (row.ownName != 0) keys.insert(row.cells[0] + "_" + row.cells[kTimestampColumn]);
    }
    return keys;
}

// A row as the stored comments know it: its key, and whether it is a copy's.
std::string commentId(const std::string& key, bool copy) {
    std::string id = key;
    id += '\0';
    id += copy ? 'c' : 'f';
    return id;
}

std::uint64_t digestOf(const std::string& text) {
    // FNV-1a, 64 bits: the same on every machine.
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

}  // namespace

void folderview::StoredComments::add(const std::string& key, bool copy, const std::string& comment) {
    entries_.emplace_back(digestOf(commentId(key, copy)), digestOf(comment));
}

void folderview::StoredComments::seal() { std::sort(entries_.begin(), entries_.end()); }

std::optional<bool> folderview::StoredComments::holds(const std::string& key, bool copy,
                                                      const std::string& comment) const {
    const std::uint64_t row = digestOf(commentId(key, copy));
    const auto at =
        std::lower_bound(entries_.begin(), entries_.end(), std::pair<std::uint64_t, std::uint64_t>{row, 0});
    if (at == entries_.end() || at->first != row) return std::nullopt;
    return at->second == digestOf(comment);
}

std::unordered_map<std::string, std::vector<std::size_t>> folderview::rowsByOwnKey(const ListView& list) {
    std::unordered_map<std::string, std::vector<std::size_t>> rows;
    const auto shown = keysShownForOwnNames(list);
    if (shown.empty()) return rows;
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        const ListItem& row = list.rows[i];
        if (row.ownName != 0 || shown.contains(row.cells[0] + "_" + row.cells[kTimestampColumn])) {
            rows[rowKeyOf(list, row)].push_back(i);
        }
    }
    return rows;
}

std::string folderview::nameOfKey(const std::string& key) {
    const std::size_t length = util::charLength(key);
    if (length <= kTimestampChars + 1 || util::rightChars(key, kTimestampChars + 1).front() != '_') return {};
    return util::leftChars(key, length - kTimestampChars - 1);
}

void frm_mabrel94::rebaseComments() {
    storedComments_.clear();
    for (const auto& row : lvwFiles.rows) {
        const std::string& comment = row.cells[kCommentColumn];
        if (!comment.empty()) storedComments_.add(rowKeyOf(lvwFiles, row), isCopyRow(row), comment);
    }
    storedComments_.seal();
    storedFolderComment_ = txtFolderComment.text;
    unshownChanges_.clear();
    dropsPending_ = false;
}

folderview::CommentChanges frm_mabrel94::commentChanges() const {
    folderview::CommentChanges out;
    if (txtFolderComment.text != storedFolderComment_) out.folder = txtFolderComment.text;
    std::vector<PendingComment> changed;
    std::size_t stillStored = 0;
    for (const auto& row : lvwFiles.rows) {
        const std::string& comment = row.cells[kCommentColumn];
        if (comment.empty()) continue;
        std::string key = rowKeyOf(lvwFiles, row);
        if (const auto same = storedComments_.holds(key, isCopyRow(row), comment)) {
            ++stillStored;
            if (*same) continue;
        }
        changed.push_back({std::move(key), isCopyRow(row), comment});
    }
    if (stillStored < storedComments_.size()) {
        // Comments emptied.
        for (const auto& row : lvwFiles.rows) {
            if (!row.cells[kCommentColumn].empty()) continue;
            std::string key = rowKeyOf(lvwFiles, row);
            if (storedComments_.holds(key, isCopyRow(row), {})) {
                changed.push_back({std::move(key), isCopyRow(row), {}});
            }
        }
    }
    changed.insert(changed.end(), unshownChanges_.begin(), unshownChanges_.end());

    // A kept copy's record follows the file row's of the same key.
    std::unordered_set<std::string> copyKeys;
    for (const auto& c : changed) {
        if (c.copy) copyKeys.insert(c.key);
    }
    std::unordered_set<std::string> withFileRow;
    if (!copyKeys.empty()) {
        for (const auto& row : lvwFiles.rows) {
            if (isCopyRow(row)) continue;
            std::string key = rowKeyOf(lvwFiles, row);
            if (copyKeys.contains(key)) withFileRow.insert(std::move(key));
        }
    }
    // Keys of own bytes: names that are not UTF-8, and those that show alike.
    const auto shownForOwn = keysShownForOwnNames(lvwFiles);
    for (auto& c : changed) {
        const std::size_t ordinal = c.copy && withFileRow.contains(c.key) ? 1 : 0;
        const bool ownBytes = !shownForOwn.empty() && (!platform::isValidUtf8(c.key) || shownForOwn.contains(c.key));
        out.records.push_back({std::move(c.key), ordinal, std::move(c.comment), ownBytes});
    }
    return out;
}

bool frm_mabrel94::hasUnsavedComments() const { return !commentChanges().empty(); }

bool frm_mabrel94::saveCommentFile() {
    // The first failure ends the save, and the stored file is then left as it
    // was (the write replaces it atomically). It is told only when something
    // the person typed is not stored: then nothing may quietly replace it.
    try {
        fun_SortList(0, true);
        // Only what this instance changed is written, over what is stored
        // now (another instance may have saved since): nothing changed,
        // nothing written.
        const auto changes = commentChanges();
        if (changes.empty() && !dropsPending_) return true;
        const auto folder = fs_.openDirectory(state_.p_driveAndPath);

        // A record stays while an entry of its name is in the folder or its
        // backup directory: those listed, and those made since.
        std::unordered_set<std::string> names;
        bool namesKnown = false;
        std::unique_ptr<platform::Directory> backupDir;
        bool backupDirOpened = false;
        const auto keep = [&](const std::string& key) {
            if (listingIncomplete_) return true;
            const std::string name = folderview::nameOfKey(key);
            if (name.empty()) return true;
            if (!namesKnown) {
                for (const auto& row : lvwFiles.rows) {
                    names.insert(row.cells[0]);
                    if (row.ownName != 0) names.insert(lvwFiles.nameOf(row));
                }
                names.insert(unshownNames_.begin(), unshownNames_.end());
                namesKnown = true;
            }
            if (names.contains(name)) return true;
            try {
                if (folder->find(name, kAnyEntry)) return true;
                if (!backupDirOpened) {
                    backupDirOpened = true;
                    try {
                        backupDir = backup::openBackupDirectory(*folder, false);
                    } catch (const platform::PlatformError& e) {
                        if (e.number() != platform::err::PathNotFound) throw;
                    }
                }
                const std::string timestamp = util::rightChars(key, kTimestampChars);
                return backupDir && backupDir->find(backup::backupCopyName(name, timestamp), kAnyEntry).has_value();
            } catch (const platform::PlatformError&) {
                return true;
            }
        };
        folder->updateFile(kCommentFileName, [&](const std::optional<std::string>& stored) {
            return folderview::mergeComments(codec_, stored, changes, keep);
        });
        rebaseComments();
        return true;
    } catch (const platform::PlatformError& e) {
        if (!hasUnsavedComments()) return true;
        ui_.messageBox(errorMessage("saveCommentFile", e.number(), e.description() + kNotSaved));
    } catch (const std::exception& e) {
        if (!hasUnsavedComments()) return true;
        ui_.messageBox(errorMessage("saveCommentFile", 51, std::string("内部エラーです。") + e.what() + kNotSaved));
    }
    return false;
}

void frm_mabrel94::saveAndReload() {
    if (saveCommentFile()) {
        fun_Load();
    } else {
        reloadKeepingTyped();
    }
}

void frm_mabrel94::reloadKeepingTyped() {
    const auto changes = commentChanges();
    if (changes.empty()) {
        fun_Load();
        return;
    }
    // Not stored: what the person typed stays on screen through the reload,
    // and what no row shows any more goes with the next save.
    std::vector<PendingComment> typed;
    for (const auto& row : lvwFiles.rows) {
        const std::string key = rowKeyOf(lvwFiles, row);
        const std::string& comment = row.cells[kCommentColumn];
        const auto same = storedComments_.holds(key, isCopyRow(row), comment);
        if (same ? !*same : !comment.empty()) {
            typed.push_back({key, isCopyRow(row), comment});
        }
    }
    typed.insert(typed.end(), unshownChanges_.begin(), unshownChanges_.end());
    fun_Load();
    if (changes.folder) txtFolderComment.text = *changes.folder;
    std::unordered_map<std::string, std::size_t> rowById;
    for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) {
        rowById.emplace(commentId(rowKeyOf(lvwFiles, lvwFiles.rows[i]), isCopyRow(lvwFiles.rows[i])), i);
    }
    for (auto& t : typed) {
        if (const auto it = rowById.find(commentId(t.key, t.copy)); it != rowById.end()) {
            lvwFiles.rows[it->second].cells[kCommentColumn] = std::move(t.comment);
        } else {
            unshownChanges_.push_back(std::move(t));
        }
    }
}

}  // namespace mabrel
