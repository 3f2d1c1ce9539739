// The comment file: the record rules, and the save of the folder shown.
#include "folderview/comment_file.h"

#include <exception>
#include <vector>

#include "app/frm_mabrel94.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace mabrel {

namespace folderview {

std::optional<CommentRecord> parseCommentRecord(const std::string& line) {
    const std::size_t comma = line.rfind(',');
    if (comma == std::string::npos) return std::nullopt;
    CommentRecord record;
    record.key = line.substr(0, comma);
    const std::string rest = line.substr(comma + 1);
    std::size_t start = 0;
    while (start < rest.size() && (rest[start] == ' ' || rest[start] == '\t')) ++start;
    if (start < rest.size() && rest[start] == '"') {
        const std::size_t close = rest.find('"', start + 1);
        record.comment = rest.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
    } else {
        record.comment = rest.substr(start);
    }
    return record;
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
    for (std::size_t i = 1; i < lines.size(); ++i) {
        auto record = parseCommentRecord(lines[i]);
        if (!record) continue;
        const auto row = rowByKey.find(record->key);
        if (row == rowByKey.end()) {
            if (keepUnmatched(record->key)) kept.push_back(lines[i]);
            continue;
        }
        std::string& cell = list.rows[row->second].cells[4];
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

constexpr std::size_t kCommentColumn = 4;
constexpr std::size_t kKeyColumn = 5;

}  // namespace

void frm_mabrel94::saveCommentFile() {
    // The save reports nothing: the first failure ends it, and the stored
    // file is then left as it was (the write replaces it atomically).
    try {
        fun_SortList(0, true);
        const std::string path = state_.p_driveAndPath + kCommentFileName;

        if (!commentsRead_) {
            // The load did not get to the stored comments. They are read now,
            // onto the rows that have none, so that writing the list cannot
            // drop them; records of rows the load did not reach stay as well.
            std::vector<std::string> stored;
            try {
                stored = platform::readTextLines(fs_, codec_, path);
            } catch (const platform::PlatformError& e) {
                // No file: nothing to keep. Unreadable: not overwritten.
                if (e.number() != platform::err::FileNotFound) return;
            }
            folderview::RowIndex rowByKey;
            rowByKey.reserve(lvwFiles.rows.size());
            for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) rowByKey.emplace(lvwFiles.rows[i].cells[kKeyColumn], i);
            keptCommentRecords_ = folderview::applyStoredComments(stored, lvwFiles, rowByKey, txtFolderComment, true,
                                                                  [](const std::string&) { return true; });
            commentsRead_ = true;
        }

        std::vector<std::string> lines;
        lines.reserve(lvwFiles.rows.size() + keptCommentRecords_.size() + 1);
        lines.push_back(folderview::onOneLine(txtFolderComment.text));
        for (const auto& row : lvwFiles.rows) {
            const std::string& comment = row.cells[kCommentColumn];
            if (!comment.empty()) {
                lines.push_back(folderview::formatCommentRecord(row.cells[kKeyColumn], folderview::onOneLine(comment)));
            }
        }
        // Comments of versions the list does not show (hidden by the display filter).
        lines.insert(lines.end(), keptCommentRecords_.begin(), keptCommentRecords_.end());
        platform::writeTextLines(fs_, codec_, path, lines);
    } catch (const std::exception&) {
    }
}

}  // namespace mabrel
