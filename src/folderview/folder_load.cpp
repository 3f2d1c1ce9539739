// The folder view load: the caption, the folder tree, the file list with the
// folder's files and its backup copies, the comments, the counts. It also
// removes the backup copies that hold exactly the version the file still has.
#include <cstdint>
#include <exception>
#include <memory>
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
constexpr std::uint32_t kBackupListMask = platform::attr::ReadOnly | platform::attr::System | platform::attr::Archive |
                                          platform::attr::Directory | platform::attr::Unreadable;
// Hidden and system entries too, to tell the backup directory and what could
// not be read; only what a Windows listing with the directory bit would give
// is shown.
constexpr std::uint32_t kFolderListMask =
    platform::attr::Directory | platform::attr::Hidden | platform::attr::System | platform::attr::Unreadable;

// "_mabre" in any letter case, without a lowered copy of every name.
bool holdsMabre(const std::string& name) {
    constexpr char kMark[] = "mabre";
    for (std::size_t at = name.find('_'); at != std::string::npos && at + 6 <= name.size();
         at = name.find('_', at + 1)) {
        std::size_t i = 0;
        // | 0x20 lowers an ASCII letter; only 'M' and 'm' give 'm', and so on.
        while (i < 5 && (name[at + 1 + i] | 0x20) == kMark[i]) ++i;
        if (i == 5) return true;
    }
    return false;
}

// Reads a backup copy's name into a source name and a timestamp; false when
// the name is not one the store writes (base "_" timestamp extension, the
// timestamp the last 19 characters before the last "."): such a file is left
// alone and not listed. Read in place: a load reads one name a row.
bool readBackupNameInto(const std::string& fileName, std::string& sourceName, std::string& timestamp) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t stemEnd = dot == std::string::npos ? fileName.size() : dot;
    std::size_t start = stemEnd;
    for (std::size_t chars = 0; chars < kTimestampChars; ++chars) {
        if (start == 0) return false;
        do {
            --start;
        } while (start > 0 && (static_cast<unsigned char>(fileName[start]) & 0xC0) == 0x80);
    }
    if (start == 0 || fileName[start - 1] != '_') return false;
    sourceName.assign(fileName, 0, start - 1).append(fileName, stemEnd);
    timestamp.assign(fileName, start, stemEnd - start);
    return true;
}

// name "_" timestamp, written over `key`.
void makeRowKey(const std::string& name, const std::string& timestamp, std::string& key) {
    key.reserve(name.size() + 1 + timestamp.size());
    key.assign(name).append(1, '_').append(timestamp);
}

// The file name part of a row key (name "_" timestamp).
std::string nameOfKey(const std::string& key) {
    const std::size_t length = util::charLength(key);
    if (length <= kTimestampChars + 1) return {};
    return util::leftChars(key, length - kTimestampChars - 1);
}

void addColumns(ListView& list) {
    // The time (down to the second, which tells same-day versions apart), the
    // size and the backup mark are never cut.
    list.columns = {
        {"ファイル名", 2000, Alignment::Left},    {"更新日", 1600, Alignment::Center, true},
        {"サイズ", 700, Alignment::Right, true},  {"BU", 200, Alignment::Center, true},
        {"コメント", 10000, Alignment::Left},     {"key", 0, Alignment::Left},
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
    commentsEdited_ = false;
    storedFolderComment_.clear();

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
            folderview::RowIndex rowByKey(lvwFiles);
            // Files the display filter leaves out, and entries the listing
            // could not read: the comments of their versions are kept for the
            // next save. All are kept when a listing did not come through.
            std::unordered_set<std::string> filteredNames;
            bool listingIncomplete = false;
            std::optional<platform::DirEntry> backupDirEntry;
            // Whether the listing showed a comment file: only then is one
            // that cannot be opened more than missing.
            bool commentFileListed = false;
            // What a copy must match to hold the version its file still has.
            struct FileVersion {
                std::int64_t size;
                std::int64_t utcSeconds;
                bool link;
            };
            std::vector<FileVersion> versions;

            // Everything below happens in the folder opened here, and in the
            // backup directory opened from it: nothing swapped in meanwhile
            // leads elsewhere.
            const auto dir = [&] {
                try {
                    return fs_.openDirectory(folder);
                } catch (const platform::PlatformError& e) {
                    // The folder itself missing is no missing comment file.
                    if (e.number() == platform::err::FileNotFound) throw platform::PlatformError(platform::err::PathNotFound);
                    throw;
                }
            }();
            // What interrupted writes left here (silently: a clean-up).
            try {
                dir->removeStaleTemporaries();
            } catch (const platform::PlatformError&) {
            }

            // `path` serves every row.
            std::string path;
            auto entries = dir->list(kFolderListMask);
            // Every folder lists itself as ".": without it nothing was listed.
            listingIncomplete = entries.empty() || entries.front().name != ".";
            for (const auto& entry : entries) {
                if (entry.name == backup::kBackupDirName) backupDirEntry = entry;
                if (entry.name == kCommentFileName) commentFileListed = true;
            }

            // The backup directory is read before any row is made, so that
            // the rows are made in one piece of memory; a failure there still
            // ends the load after the file rows, as it would read after them.
            const std::string backupDir = backup::backupDirectoryPath(folder);
            // As the folder listed it. A backup directory that is a link leads
            // somewhere else: nothing there is the program's to list or remove.
            if (backupDirEntry && (backupDirEntry->attributes & platform::attr::Unreadable)) listingIncomplete = true;
            const bool backupDirUsable = backupDirEntry && (backupDirEntry->attributes & platform::attr::Directory) &&
                                         !(backupDirEntry->attributes & platform::attr::ReparsePoint);
            std::unique_ptr<platform::Directory> backupFolder;
            std::vector<platform::DirEntry> copies;
            std::exception_ptr backupFailure;
            try {
                if (backupDirUsable) {
                    try {
                        backupFolder = backup::openBackupDirectory(*dir, false);
                    } catch (const platform::PlatformError& e) {
                        // Made a link since the listing: nothing of it is shown.
                        if (e.number() != platform::err::PathFileAccess) throw;
                        listingIncomplete = true;
                    }
                }
                if (backupFolder) {
                    try {
                        backupFolder->removeStaleTemporaries();
                    } catch (const platform::PlatformError&) {
                    }
                    copies = backupFolder->list(kBackupListMask);
                    if (copies.empty() || copies.front().name != ".") listingIncomplete = true;
                }
            } catch (...) {
                backupFailure = std::current_exception();
            }

            const std::size_t rowsAtMost = entries.size() + copies.size();
            rows.reserve(rowsAtMost);
            ImageList1.images.reserve(rowsAtMost);
            rowByKey.reserve(rowsAtMost);
            versions.reserve(entries.size());
            for (auto& entry : entries) {
                std::string& name = entry.name;
                if (holdsMabre(name)) continue;
                if (entry.attributes & platform::attr::Unreadable) {
                    filteredNames.insert(name);
                    continue;
                }
                if (!platform::matchesMask(entry.attributes, platform::attr::Directory)) continue;  // hidden, system
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
                ListItem item;
                item.smallIcon = fun_AddIcon(path.assign(folder).append(name));
                util::formatTimestamp(entry.modified, item.cells[1]);
                item.cells[2] = std::to_string(entry.size);
                makeRowKey(name, item.cells[1], item.cells[kKeyColumn]);
                item.cells[0] = std::move(name);
                rows.push_back(std::move(item));
                rowByKey.add(rows.size() - 1);
                versions.push_back({entry.size, entry.utcSeconds, (entry.attributes & platform::attr::ReparsePoint) != 0});
                ++fileCount;
            }
            entries = {};
            const std::size_t fileRows = rows.size();
            if (backupFailure) std::rethrow_exception(backupFailure);

            std::vector<std::string> redundant;
            if (backupFolder) {
                const std::string backupPrefix = backupDir + "\\";
                for (auto& entry : copies) {
                    // Each name goes once it is read: the rows take its room.
                    const std::string name = std::move(entry.name);
                    if (entry.attributes & platform::attr::Directory) continue;
                    ++backupCount;
                    if (holdsMabre(name)) continue;
                    if (entry.attributes & platform::attr::ReparsePoint) continue;  // not a copy of ours
                    ListItem item;
                    auto& [sourceName, timestamp, size, bu, comment, key] = item.cells;
                    if (!readBackupNameInto(name, sourceName, timestamp)) continue;
                    if (entry.attributes & platform::attr::Unreadable) {
                        filteredNames.insert(sourceName);
                        continue;
                    }
                    makeRowKey(sourceName, timestamp, key);
                    const auto match = rowByKey.first(key);
                    // The same name, time (to the second in UTC, which tells
                    // the two versions of the repeated hour apart) and size as
                    // the file: a copy of the version the file still has.
                    if (match && *match < fileRows) {
                        const FileVersion& file = versions[*match];
                        if (!file.link && file.size == entry.size && file.utcSeconds == entry.utcSeconds) {
                            // A copy this run took stays until a later run: the
                            // person may still be about to change the file.
                            if (!copiesTakenThisRun_.contains(path.assign(backupPrefix).append(name))) {
                                redundant.push_back(name);
                            }
                            --backupCount;
                            continue;
                        }
                    }
                    item.smallIcon = fun_AddIcon(path.assign(backupPrefix).append(name));
                    size = std::to_string(entry.size);
                    bu = "*";
                    rows.push_back(std::move(item));
                    rowByKey.add(rows.size() - 1);
                }
            }
            copies = {};
            versions = {};

            // A redundant copy that cannot be removed (a read-only share, say)
            // stays as it is, read-only, without a message.
            for (const auto& name : redundant) {
                try {
                    backupFolder->deleteCopy(name);
                } catch (const platform::PlatformError&) {
                }
            }

            std::vector<std::string> lines;
            try {
                lines = platform::readTextLines(*dir, codec_, kCommentFileName);
            } catch (const platform::PlatformError& e) {
                // Only a comment file that is not there means nothing is
                // stored; a failed read of one that is must not.
                if (e.number() == platform::err::FileNotFound && !commentFileListed && !listingIncomplete) {
                    commentsRead_ = true;
                }
                throw;
            }
            if (lines.empty()) throw platform::PlatformError(platform::err::InputPastEnd);
            keptCommentRecords_ = folderview::applyStoredComments(
                lines, lvwFiles, rowByKey, txtFolderComment, false, [&](const std::string& key) {
                    return listingIncomplete || filteredNames.contains(nameOfKey(key));
                });
            commentsRead_ = true;
            storedFolderComment_ = txtFolderComment.text;
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
