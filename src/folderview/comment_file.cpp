// The comment file: the record rules, and the save of the folder shown.
#include "folderview/comment_file.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/error_trap.h"
#include "app/frm_mabrel94.h"
#include "platform/errors.h"
#include "platform/text.h"

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
                                             const RowIndex& rowByKey, TextBox& folderComment, bool onlyEmpty,
                                             const std::function<bool(const std::string&)>& keepUnmatched) {
    std::vector<std::string> kept;
    if (lines.empty()) return kept;
    if (!onlyEmpty || folderComment.text.empty()) folderComment.text = lines.front();
    // Rows that have had their record: a key's n-th record goes to its n-th row.
    std::vector<bool> taken(list.rows.size());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        // As this program writes it first; then by the field rules, for keys
        // with leading blanks and quoted fields.
        auto record = parseCommentRecord(lines[i]);
        if (!record || !rowByKey.first(record->key)) {
            if (auto fields = parseCommentFields(lines[i]); fields && rowByKey.first(fields->key)) record = fields;
        }
        if (!record) continue;
        std::optional<std::size_t> row = rowByKey.first(record->key);
        while (row && *row < taken.size() && taken[*row]) row = rowByKey.next(*row);
        if (row && *row < taken.size()) taken[*row] = true;
        if (!row) {
            if (keepUnmatched(record->key)) kept.push_back(lines[i]);
            continue;
        }
        std::string& cell = list.rows[*row].cells[4];
        if (!onlyEmpty || cell.empty()) cell = std::move(record->comment);
    }
    return kept;
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
constexpr std::size_t kBackupMarkColumn = 3;
constexpr std::size_t kCommentColumn = 4;
constexpr std::size_t kKeyColumn = 5;

}  // namespace

bool frm_mabrel94::hasUnsavedComments() const {
    return commentsEdited_ || txtFolderComment.text != storedFolderComment_;
}

bool frm_mabrel94::saveCommentFile() {
    // The first failure ends the save, and the stored file is then left as it
    // was (the write replaces it atomically). It is told only when something
    // the person typed is not stored: then nothing may quietly replace it.
    try {
        fun_SortList(0, true);
        const auto folder = fs_.openDirectory(state_.p_driveAndPath);

        if (!commentsRead_) {
            // The load did not get to the stored comments. They are read now,
            // onto the rows that have none, so that writing the list cannot
            // drop them; records of rows the load did not reach stay as well.
            std::vector<std::string> stored;
            try {
                stored = platform::readTextLines(*folder, codec_, kCommentFileName);
            } catch (const platform::PlatformError& e) {
                // No file: nothing to keep. Unreadable: not overwritten.
                if (e.number() != platform::err::FileNotFound ||
                    folder->find(kCommentFileName, platform::attr::Directory | platform::attr::Hidden | platform::attr::System)) {
                    throw;
                }
            }
            folderview::RowIndex rowByKey(lvwFiles);
            rowByKey.reserve(lvwFiles.rows.size());
            for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) rowByKey.add(i);
            keptCommentRecords_ = folderview::applyStoredComments(stored, lvwFiles, rowByKey, txtFolderComment, true,
                                                                  [](const std::string&) { return true; });
            commentsRead_ = true;
        }

        std::vector<std::string> lines;
        lines.reserve(lvwFiles.rows.size() + keptCommentRecords_.size() + 1);
        lines.push_back(folderview::onOneLine(txtFolderComment.text));
        const auto& rows = lvwFiles.rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // Rows of one key are written file row first, as the load adds
            // them, so that each gets its own comment back.
            std::size_t end = i + 1;
            while (end < rows.size() && rows[end].cells[kKeyColumn] == rows[i].cells[kKeyColumn]) ++end;
            for (int backupRows = 0; backupRows < 2; ++backupRows) {
                for (std::size_t k = i; k < end; ++k) {
                    if (rows[k].cells[kBackupMarkColumn].empty() == (backupRows == 1)) continue;
                    const std::string& comment = rows[k].cells[kCommentColumn];
                    if (!comment.empty()) {
                        lines.push_back(
                            folderview::formatCommentRecord(rows[k].cells[kKeyColumn], folderview::onOneLine(comment)));
                    }
                }
            }
            i = end - 1;
        }
        // Comments of versions the list does not show (hidden by the display filter).
        lines.insert(lines.end(), keptCommentRecords_.begin(), keptCommentRecords_.end());
        platform::writeTextLines(*folder, codec_, kCommentFileName, lines);
        commentsEdited_ = false;
        storedFolderComment_ = txtFolderComment.text;
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
    if (!hasUnsavedComments()) {
        fun_Load();
        return;
    }
    // Not stored: what the person typed stays on screen through the reload,
    // and what no row shows any more goes with the next save.
    const std::string folderText = txtFolderComment.text;
    std::vector<std::pair<std::string, std::string>> typed;
    for (const auto& row : lvwFiles.rows) {
        if (!row.cells[kCommentColumn].empty()) typed.emplace_back(row.cells[kKeyColumn], row.cells[kCommentColumn]);
    }
    fun_Load();
    txtFolderComment.text = folderText;
    folderview::RowIndex rowByKey(lvwFiles);
    rowByKey.reserve(lvwFiles.rows.size());
    for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) rowByKey.add(i);
    std::unordered_map<std::string, std::size_t> taken;
    for (auto& [key, comment] : typed) {
        std::optional<std::size_t> row = rowByKey.first(key);
        for (std::size_t n = taken[key]++; n > 0 && row; --n) row = rowByKey.next(*row);
        if (row) {
            lvwFiles.rows[*row].cells[kCommentColumn] = std::move(comment);
        } else {
            keptCommentRecords_.push_back(folderview::formatCommentRecord(key, comment));
        }
    }
    commentsEdited_ = true;
}

}  // namespace mabrel
