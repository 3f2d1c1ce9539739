// The folder view load: the caption, the folder tree, the file list with the
// folder's files and its backup copies, the comments, the counts. It also
// removes the backup copies that hold exactly the version the file still has
// once no edit can follow any more.
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
#include "platform/memory.h"
#include "platform/text.h"
#include "settings/ext_filter.h"
#include "util/text.h"

namespace mabrel {

namespace {

constexpr std::size_t kKeyColumn = 5;
// A copy of the version the file still has stays this long after it was last
// taken: the person may still be about to change the file (the program may
// have ended and started again, or another instance taken it).
constexpr std::int64_t kKeepTakenCopySeconds = 7 * 24 * 60 * 60;

// What the backup store keeps is read-only; hidden files and folders there
// are none of the program's.
constexpr std::uint32_t kBackupListMask = platform::attr::ReadOnly | platform::attr::System | platform::attr::Archive |
                                          platform::attr::Directory | platform::attr::Unreadable |
                                          platform::attr::UnshownName;
// Hidden and system entries too, to tell the backup directory and what could
// not be read; only what a Windows listing with the directory bit would give
// is shown.
constexpr std::uint32_t kFolderListMask = platform::attr::Directory | platform::attr::Hidden | platform::attr::System |
                                          platform::attr::Unreadable | platform::attr::UnshownName;

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

// name "_" timestamp, written over `key`.
void makeRowKey(const std::string& name, const std::string& timestamp, std::string& key) {
    // In the key's own room where it is large enough, else in one made to
    // measure (a string grown from empty would double its room).
    const std::size_t size = name.size() + 1 + timestamp.size();
    if (key.capacity() < size) {
        key = std::string(size, '_');
    } else {
        key.resize(size);
    }
    name.copy(key.data(), name.size());
    key[name.size()] = '_';
    timestamp.copy(key.data() + name.size() + 1, timestamp.size());
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
    storedComments_.clear();
    storedFolderComment_.clear();
    unshownChanges_.clear();
    unshownNames_.clear();
    listingIncomplete_ = true;
    dropsPending_ = false;

    try {
        tvwFolders.clear();
        tvwFolders.style = 4;
    } catch (const std::exception&) {
    }

    int subFolderCount = 0;
    int fileCount = 0;
    int backupCount = 0;
    // Entries whose names cannot be shown (a line break, a "\" in UTF-8; a
    // folder's name that is not UTF-8): told in the status bar.
    int unshownCount = 0;

    // The first failure ends the step it happens in; the finishing steps
    // below run in any case. A missing file is not worth a message.
    runTrapped(ui_, "fun_Load", [&] {
        // The person sees the window with its controls at once, and how far
        // the reading of a large folder has got; a message box, should one
        // follow, is no longer under the load.
        struct ProgressEnd {
            Interaction& ui;
            ~ProgressEnd() { ui.loadProgressEnd(); }
        } progressEnd{ui_};
        std::size_t entriesRead = 0;
        const platform::ListProgress reading = [&](std::size_t read) {
            StatusBar1.panelText = "フォルダーを読み込んでいます…　" + std::to_string(entriesRead + read) + " 件";
            return ui_.loadProgress(StatusBar1.panelText);
        };
        try {
            lvwFiles.smallIconsAttached = false;
            fun_AddIcon("");
            lvwFiles.clearRows();
            lvwFiles.columns.clear();
            lvwFiles.smallIconsAttached = true;
            addColumns(lvwFiles);

            ui_.setWaitCursor(true);
            tvwFolders.add(0, "d_" + folder, folder);
            if (!reading(0)) throw platform::PlatformError(platform::err::Cancelled);

            auto& rows = lvwFiles.rows;
            folderview::RowIndex rowByKey(lvwFiles);
            // Entries that get no row (hidden, filtered, unreadable, folders):
            // the comments of their names are kept by a save. All are kept
            // when a listing did not come through.
            std::unordered_set<std::string>& unshown = unshownNames_;
            bool listingIncomplete = false;
            std::optional<platform::DirEntry> backupDirEntry;
            // What a copy must match to hold the version its file still has.
            struct FileVersion {
                std::int64_t size;
                std::int64_t utcSeconds;
                std::uint32_t nanoseconds;
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
            auto entries = dir->list(kFolderListMask, reading);
            entriesRead = entries.size();
            // Every folder lists itself as ".": without it nothing was listed.
            listingIncomplete = entries.empty() || entries.front().name != ".";
            for (const auto& entry : entries) {
                if (entry.name == backup::kBackupDirName) backupDirEntry = entry;
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
                    copies = backupFolder->list(kBackupListMask, reading);
                    if (copies.empty() || copies.front().name != ".") listingIncomplete = true;
                }
            } catch (...) {
                backupFailure = std::current_exception();
            }

            const std::size_t rowsAtMost = entries.size() + copies.size();
            rows.reserve(rowsAtMost);
            // The images' names are the listed names (as the folder lists them).
            std::size_t nameBytes = 0;
            for (const auto& entry : entries) nameBytes += entry.name.size();
            for (const auto& entry : copies) nameBytes += entry.name.size();
            ImageList1.images.reserve(rowsAtMost, nameBytes);
            rowByKey.reserve(rowsAtMost);
            versions.reserve(entries.size());
            platform::preferLargePages(rows.data(), rowsAtMost * sizeof(ListItem));
            // The rows' texts, as they are made.
            const auto roomForTexts = [&] {
                if (rows.size() % 4096 == 0) platform::preferLargePagesForSmallPieces();
            };
            // A name of no row, under each reading of its bytes.
            const auto keepName = [&](const std::string& name) {
                unshown.insert(name);
                if (!platform::isValidUtf8(name)) unshown.insert(platform::displayName(codec_, name));
            };
            for (auto& entry : entries) {
                roomForTexts();
                std::string& name = entry.name;
                if (entry.attributes & platform::attr::UnshownName) {
                    keepName(name);
                    ++unshownCount;
                    continue;
                }
                if (holdsMabre(name) || (entry.attributes & platform::attr::Unreadable) ||
                    !platform::matchesMask(entry.attributes, platform::attr::Directory)) {  // hidden, system
                    keepName(name);
                    continue;
                }
                const bool utf8 = platform::isValidUtf8(name);
                if (entry.attributes & platform::attr::Directory) {
                    if (name != "." && name != "..") keepName(name);
                    if (name.starts_with('.')) continue;
                    // The way into a folder is its path: only a UTF-8 name is one.
                    if (!utf8) {
                        ++unshownCount;
                        continue;
                    }
                    tvwFolders.add(1, "f_" + name, name);
                    ++subFolderCount;
                    continue;
                }
                if (!settings::filterAllows(state_.exceptionExtList1Mode, state_.exceptionExtList1, name)) {
                    keepName(name);
                    continue;
                }
                ListItem item;
                if (!utf8) {
                    // Shown decoded; every operation goes by its own bytes.
                    lvwFiles.ownNames.push_back(name);
                    item.ownName = static_cast<std::uint32_t>(lvwFiles.ownNames.size());
                    name = platform::displayName(codec_, name);
                }
                item.smallIcon = fun_AddIcon(path.assign(folder).append(name));
                util::formatTimestamp(entry.modified, item.cells[1]);
                item.cells[2] = std::to_string(entry.size);
                makeRowKey(name, item.cells[1], item.cells[kKeyColumn]);
                item.cells[0] = std::move(name);
                rows.push_back(std::move(item));
                rowByKey.add(rows.size() - 1);
                versions.push_back({entry.size, entry.utcSeconds, entry.nanoseconds,
                                    (entry.attributes & platform::attr::ReparsePoint) != 0});
                ++fileCount;
            }
            entries = std::vector<platform::DirEntry>();  // `= {}` would keep the room
            const std::size_t fileRows = rows.size();
            if (backupFailure) std::rethrow_exception(backupFailure);

            std::vector<std::string> redundant;
            const std::int64_t now = process_.utcNow();
            // Whether a copy holds the file's bytes, where the times cannot
            // tell (whole seconds). One that cannot be compared counts as a
            // version of its own: listed, and kept.
            const auto holdsVersionOf = [&](const std::string& copy, const std::string& file, std::uint32_t nanoseconds) {
                if (nanoseconds != 0) return true;
                try {
                    return backupFolder->holdsCopyOf(copy, *dir, file);
                } catch (const platform::PlatformError&) {
                    return false;
                }
            };
            // Whether a copy was last taken before `limit`; not when that
            // cannot be told.
            const auto takenBefore = [&](const std::string& copy, std::int64_t limit) {
                try {
                    return backupFolder->takenTime(copy) < limit;
                } catch (const platform::PlatformError&) {
                    return false;
                }
            };
            if (backupFolder) {
                const std::string backupPrefix = backupDir + "\\";
                for (auto& entry : copies) {
                    roomForTexts();
                    if (entry.attributes & platform::attr::Directory) continue;
                    ++backupCount;
                    ListItem item;
                    auto& [sourceName, timestamp, size, bu, comment, key] = item.cells;
                    // The copy's own name in its path (for its image, and to
                    // remove it), before the name becomes the source name.
                    path.assign(backupPrefix).append(entry.name);
                    const bool ours = !holdsMabre(entry.name) &&
                                      !(entry.attributes & (platform::attr::ReparsePoint | platform::attr::Unreadable));
                    const bool parsed = backup::readBackupName(entry.name, sourceName, timestamp);
                    if (entry.attributes & platform::attr::UnshownName) {
                        if (parsed) keepName(sourceName);
                        --backupCount;
                        ++unshownCount;
                        continue;
                    }
                    if (!parsed) continue;
                    if (!ours) {
                        keepName(sourceName);
                        continue;
                    }
                    // The file's own name, and as it is shown.
                    std::string ownSource;
                    if (!platform::isValidUtf8(sourceName)) {
                        ownSource = sourceName;
                        sourceName = platform::displayName(codec_, ownSource);
                    }
                    const std::string& source = ownSource.empty() ? sourceName : ownSource;
                    // The listed name (in `path` now) is as long as the key: its
                    // room becomes the key's.
                    key = std::move(entry.name);
                    makeRowKey(sourceName, timestamp, key);
                    // The file row of this very name: names that show alike
                    // share a key.
                    auto match = rowByKey.first(key);
                    while (match && *match < fileRows && lvwFiles.nameOf(rows[*match]) != source) {
                        match = rowByKey.next(*match);
                    }
                    // The same name, size and time as the file (in UTC, which
                    // tells the two versions of the repeated hour apart, and
                    // as precise as the file system keeps it; where it keeps
                    // whole seconds, the same content too): a copy of the
                    // version the file still has. It gets no row, and is
                    // removed once it was taken long enough ago. Another
                    // copy of that name is a version of its own.
                    if (match && *match < fileRows) {
                        const FileVersion& file = versions[*match];
                        if (!file.link && file.size == entry.size && file.utcSeconds == entry.utcSeconds &&
                            file.nanoseconds == entry.nanoseconds &&
                            holdsVersionOf(path.substr(backupPrefix.size()), source, file.nanoseconds)) {
                            --backupCount;
                            std::string name = path.substr(backupPrefix.size());
                            if (takenBefore(name, now - kKeepTakenCopySeconds)) redundant.push_back(std::move(name));
                            continue;
                        }
                    }
                    if (!ownSource.empty()) {
                        lvwFiles.ownNames.push_back(ownSource);
                        item.ownName = static_cast<std::uint32_t>(lvwFiles.ownNames.size());
                        item.smallIcon = fun_AddIcon(backupPrefix + backup::backupCopyName(sourceName, timestamp));
                    } else {
                        item.smallIcon = fun_AddIcon(path);
                    }
                    size = std::to_string(entry.size);
                    bu = "*";
                    rows.push_back(std::move(item));
                    rowByKey.add(rows.size() - 1);
                }
            }
            copies = std::vector<platform::DirEntry>();
            versions = std::vector<FileVersion>();

            // A redundant copy that cannot be removed (a read-only share, say)
            // stays as it is, read-only, without a message.
            for (const auto& name : redundant) {
                try {
                    backupFolder->deleteCopy(name);
                } catch (const platform::PlatformError&) {
                }
            }

            listingIncomplete_ = listingIncomplete;
            const std::string stored = dir->readFile(kCommentFileName);
            platform::preferLargePagesForSmallPieces();
            const auto lines = platform::splitLines(platform::decodeText(codec_, stored));
            if (lines.empty()) throw platform::PlatformError(platform::err::InputPastEnd);
            // Records of names that are not UTF-8 are found by their bytes.
            std::optional<folderview::OwnKeys> own;
            if (!lvwFiles.ownNames.empty()) {
                own.emplace();
                const bool mark = platform::textEncoding(stored) == platform::TextEncoding::Utf8WithMark;
                own->lines = platform::splitLines(mark ? stored.substr(3) : stored);
                own->rows = folderview::rowsByOwnKey(lvwFiles);
            }
            const auto unmatched = folderview::applyStoredComments(lines, lvwFiles, rowByKey, txtFolderComment,
                                                                   own ? &*own : nullptr);
            rebaseComments();
            // Records of names no entry has any more go with the next save.
            if (!unmatched.empty() && !listingIncomplete) {
                std::unordered_set<std::string> gone;
                for (const auto& key : unmatched) gone.insert(folderview::nameOfKey(key));
                gone.erase(std::string());
                for (const auto& row : rows) {
                    gone.erase(row.cells[0]);
                    if (row.ownName != 0) gone.erase(lvwFiles.nameOf(row));
                }
                for (const auto& name : unshown) gone.erase(name);
                dropsPending_ = !gone.empty();
            }
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
        if (unshownCount > 0) StatusBar1.panelText += "、名前を表示できないもの：" + std::to_string(unshownCount);
    });
}

}  // namespace mabrel
