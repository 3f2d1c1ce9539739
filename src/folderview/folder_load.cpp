// The folder view load: the caption, the folder tree, the file list with the
// folder's files and its backup copies, the comments, the counts. It also
// removes the backup copies that hold exactly the version the file still has.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/error_trap.h"
#include "app/frm_mabrel94.h"
#include "backup/backup_store.h"
#include "folderview/comment_file.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "settings/ext_filter.h"
#include "util/text.h"

namespace mabrel {

namespace {

constexpr std::size_t kSizeColumn = 2;
constexpr std::size_t kKeyColumn = 5;
constexpr std::size_t kTimestampChars = 19;

// What the backup store keeps is read-only; hidden files and folders there
// are none of the program's.
constexpr std::uint32_t kBackupListMask = platform::attr::ReadOnly | platform::attr::System | platform::attr::Archive;

bool holdsMabre(const std::string& name) { return util::toLowerAscii(name).find("_mabre") != std::string::npos; }

// The source and timestamp of a backup copy's name, or nothing when the name
// is not one the store writes (too short, or not base "_" timestamp
// extension): such a file is left alone and not listed.
std::optional<backup::BackupName> backupNameOf(const std::string& fileName) {
    try {
        auto parsed = backup::readBackupName(fileName);
        if (backup::backupCopyName(parsed.sourceName, parsed.timestamp) != fileName) return std::nullopt;
        return parsed;
    } catch (const platform::PlatformError&) {
        return std::nullopt;
    }
}

// The file name part of a row key (name "_" timestamp).
std::string nameOfKey(const std::string& key) {
    const std::size_t length = util::charLength(key);
    if (length <= kTimestampChars + 1) return {};
    return util::leftChars(key, length - kTimestampChars - 1);
}

void addColumns(ListView& list) {
    list.columns = {
        {"ファイル名", 2000, Alignment::Left}, {"更新日", 1600, Alignment::Center}, {"サイズ", 700, Alignment::Right},
        {"BU", 200, Alignment::Center},       {"コメント", 10000, Alignment::Left}, {"key", 0, Alignment::Left},
    };
}

}  // namespace

void frm_mabrel94::fun_Load() {
    const std::string folder = state_.p_driveAndPath;

    StatusBar1.panelText.clear();
    caption = " " + util::toUpperAscii(folder);
    txtFolderComment.text.clear();
    keptCommentRecords_.clear();
    commentsRead_ = false;

    try {
        tvwFolders.clear();
        tvwFolders.style = 4;
    } catch (const std::exception&) {
    }

    int subFolderCount = 0;
    int fileCount = 0;
    int backupCount = 0;

    // The first failure ends the step it happens in; the finishing steps
    // below run in any case. A missing file is not worth a message.
    runTrapped(ui_, "fun_Load", [&] {
        try {
            lvwFiles.smallIconsAttached = false;
            fun_AddIcon("");
            lvwFiles.clearRows();
            lvwFiles.columns.clear();
            lvwFiles.smallIconsAttached = true;
            addColumns(lvwFiles);

            ui_.setWaitCursor(true);
            tvwFolders.add(0, "d_" + folder, folder);

            auto& rows = lvwFiles.rows;
            folderview::RowIndex rowByKey;
            // Files the display filter leaves out: the comments of their
            // versions are kept for the next save.
            std::unordered_set<std::string> filteredNames;

            for (const auto& entry : fs_.list(folder, platform::attr::Directory)) {
                const std::string& name = entry.name;
                if (holdsMabre(name)) continue;
                if (entry.attributes & platform::attr::Directory) {
                    if (name.starts_with('.')) continue;  // also "." and ".."
                    tvwFolders.add(1, "f_" + name, name);
                    ++subFolderCount;
                    continue;
                }
                if (!settings::filterAllows(state_.exceptionExtList1Mode, state_.exceptionExtList1, name)) {
                    filteredNames.insert(name);
                    continue;
                }
                const std::string path = folder + name;
                ListItem item;
                item.cells[kSizeColumn] = std::to_string(fs_.fileSize(path));
                const std::string timestamp = util::formatTimestamp(fs_.modificationTime(path));
                item.smallIcon = fun_AddIcon(path);
                item.cells[0] = name;
                item.cells[1] = timestamp;
                item.cells[kKeyColumn] = name + "_" + timestamp;
                rowByKey.emplace(item.cells[kKeyColumn], rows.size());
                rows.push_back(std::move(item));
                ++fileCount;
            }
            const std::size_t fileRows = rows.size();

            const std::string backupDir = backup::backupDirectoryPath(folder);
            std::vector<std::string> redundant;
            for (const auto& entry : fs_.list(backupDir + "\\", kBackupListMask)) {
                ++backupCount;
                if (holdsMabre(entry.name)) continue;
                const auto parsed = backupNameOf(entry.name);
                if (!parsed) continue;
                const std::string path = backupDir + "\\" + entry.name;
                const std::string size = std::to_string(fs_.fileSize(path));
                std::string key = parsed->sourceName + "_" + parsed->timestamp;
                const auto match = rowByKey.find(key);
                // The same name and time as the file, and the same size: a
                // copy of the version the file still has. A copy that
                // differs in size holds another version and stays.
                if (match != rowByKey.end() && match->second < fileRows &&
                    rows[match->second].cells[kSizeColumn] == size) {
                    redundant.push_back(entry.name);
                    continue;
                }
                ListItem item;
                item.smallIcon = fun_AddIcon(path);
                item.cells = {parsed->sourceName, parsed->timestamp, size, "*", "", std::move(key)};
                rowByKey.emplace(item.cells[kKeyColumn], rows.size());
                rows.push_back(std::move(item));
            }

            for (const auto& name : redundant) {
                const std::string path = backupDir + "\\" + name;
                fs_.setAttributes(path, platform::attr::Archive);
                fs_.deleteFile(path);
                --backupCount;
            }

            std::vector<std::string> lines;
            try {
                lines = platform::readTextLines(fs_, codec_, folder + kCommentFileName);
            } catch (const platform::PlatformError& e) {
                // No comment file: there is nothing stored to lose.
                if (e.number() == platform::err::FileNotFound) commentsRead_ = true;
                throw;
            }
            if (lines.empty()) throw platform::PlatformError(platform::err::InputPastEnd);
            keptCommentRecords_ = folderview::applyStoredComments(
                lines, lvwFiles, rowByKey, txtFolderComment, false,
                [&](const std::string& key) { return filteredNames.contains(nameOfKey(key)); });
            commentsRead_ = true;
        } catch (const platform::PlatformError& e) {
            if (e.number() == platform::err::FileNotFound) return;
            throw;
        }
    });

    runTrapped(ui_, "fun_Load", [&] {
        ui_.setWaitCursor(false);
        if (tvwFolders.count() > 0) {
            tvwFolders.rootExpanded = true;
            tvwFolders.selectedNode = 1;
        }
        lvwFiles.sortKey = static_cast<int>(kKeyColumn);
        lvwFiles.sortNow();
        lvwFiles.extendedStyle |= LVS_EX_FULLROWSELECT;
        lvwFiles.extendedStyle |= LVS_EX_GRIDLINES;
        StatusBar1.panelText = "サブフォルダ数：" + std::to_string(subFolderCount) + "、ファイル数：" +
                               std::to_string(fileCount) + "、バックアップファイル数：" + std::to_string(backupCount);
    });
}

}  // namespace mabrel
