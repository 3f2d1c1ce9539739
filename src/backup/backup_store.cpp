#include "backup/backup_store.h"

#include "platform/errors.h"
#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel::backup {

namespace {

// Read-only, system and archive: finds every copy but hidden files.
constexpr std::uint32_t kExistenceMask = platform::attr::ReadOnly | platform::attr::System | platform::attr::Archive;
constexpr std::uint32_t kAnyEntry = platform::attr::Hidden | platform::attr::System | platform::attr::Directory;

}  // namespace

std::string backupDirectoryPath(const std::string& driveAndPath) { return driveAndPath + kBackupDirName; }

std::string backupCopyName(const std::string& sourceName, const std::string& timestamp) {
    const auto parts = bas_basic::splitName(sourceName, ".", 0);
    return parts.left + "_" + timestamp + parts.right;
}

BackupName readBackupName(const std::string& fileName) {
    const auto parts = bas_basic::splitName(fileName, ".", 0);
    const std::size_t stemLength = util::charLength(parts.left);
    if (stemLength < 20) throw platform::PlatformError(platform::err::InvalidArgument);
    return {util::leftChars(parts.left, stemLength - 20) + parts.right, util::rightChars(parts.left, 19)};
}

std::string backupCopyPathOfRow(const std::string& driveAndPath, const std::string& rowText,
                                const std::string& rowTimestamp) {
    return backupDirectoryPath(driveAndPath) + "\\" + backupCopyName(rowText, rowTimestamp);
}

std::unique_ptr<platform::Directory> openBackupDirectory(platform::Directory& folder, bool create) {
    try {
        return folder.openFolder(kBackupDirName, create);
    } catch (const platform::PlatformError& e) {
        // A folder missing is a path not found, never a file not found.
        if (e.number() == platform::err::FileNotFound) throw platform::PlatformError(platform::err::PathNotFound);
        throw;
    }
}

namespace {

// The name of the copy of this version is taken by something that cannot
// stand for it: said so the person knows which file and what to do.
platform::PlatformError nameTaken(const std::string& fileName, const std::string& copyName) {
    return platform::PlatformError(
        platform::err::FileAlreadyExists,
        std::string("「") + kBackupDirName + "」フォルダーの「" + copyName + "」は、「" + fileName +
            "」の今の版のコピーではありません（中身が違うか、リンクか、別の名前も持つファイルです）。"
            "今の版のコピーを取れないため、何もしていません。そのファイルを別の場所へ移すか名前を変えてから、やり直してください。");
}

}  // namespace

std::optional<std::string> takeBackupCopy(platform::Directory& folder, std::unique_ptr<platform::Directory>& backupDir,
                                          const std::string& fileName, const platform::CopyProgress& progress) {
    const auto file = folder.find(fileName, kAnyEntry);
    if (!file || (file->attributes & platform::attr::Directory)) {
        throw platform::PlatformError(platform::err::FileNotFound);
    }
    const std::string copyName = backupCopyName(fileName, util::formatTimestamp(file->modified));
    if (!backupDir) backupDir = openBackupDirectory(folder, true);

    if (const auto existing = backupDir->find(copyName, kExistenceMask)) {
        // A copy of this version is never taken again; but only a file of
        // its own with the file's content stands for it.
        if (!(existing->attributes & platform::attr::ReparsePoint) &&
            backupDir->holdsCopyOf(copyName, folder, fileName, progress)) {
            // Taken again: its age starts anew, so that no load removes it
            // while the edit about to follow is not yet saved. Where it
            // cannot be marked (a medium nobody may change), nobody can
            // remove it either.
            try {
                backupDir->markTaken(copyName);
            } catch (const platform::PlatformError&) {
            }
            return std::nullopt;
        }
        throw nameTaken(fileName, copyName);
    }
    try {
        backupDir->createCopy(folder, fileName, copyName, kBackupCopyAttributes, progress);
    } catch (const platform::PlatformError& e) {
        // Taken meanwhile, or by an entry the test above does not see.
        if (e.number() == platform::err::FileAlreadyExists) throw nameTaken(fileName, copyName);
        throw;
    }
    return backupDir->path() + copyName;
}

}  // namespace mabrel::backup
