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

void checkBackupDirectory(platform::FileSystem& fs, const std::string& driveAndPath) {
    const auto entry = fs.find(backupDirectoryPath(driveAndPath), kAnyEntry);
    if (entry && (entry->attributes & platform::attr::ReparsePoint)) {
        throw platform::PlatformError(platform::err::PathFileAccess);
    }
}

std::optional<std::string> takeBackupCopy(platform::FileSystem& fs, const std::string& driveAndPath,
                                          const std::string& fileName, const platform::CopyProgress& progress) {
    const std::string source = driveAndPath + fileName;
    const auto file = fs.find(source, kAnyEntry);
    if (!file || (file->attributes & platform::attr::Directory)) {
        throw platform::PlatformError(platform::err::FileNotFound);
    }
    const std::string timestamp = util::formatTimestamp(file->modified);
    const std::string directory = backupDirectoryPath(driveAndPath);
    const std::string target = directory + "\\" + backupCopyName(fileName, timestamp);
    checkBackupDirectory(fs, driveAndPath);

    bool directoryCreated = false;
    while (true) {
        try {
            if (const auto existing = fs.find(target, kExistenceMask)) {
                // A copy of this version exists: it is never taken again. A
                // link, or a copy of another size (another version saved in
                // the same second), cannot stand for this version.
                if ((existing->attributes & platform::attr::ReparsePoint) || existing->size != file->size) {
                    throw platform::PlatformError(platform::err::FileAlreadyExists);
                }
                // Taken again: its age starts anew, so that no load removes
                // it while the edit about to follow is not yet saved. Where it
                // cannot be marked (a medium nobody may change), nobody can
                // remove it either.
                try {
                    fs.markTaken(target);
                } catch (const platform::PlatformError&) {
                }
                return std::nullopt;
            }
            fs.createCopy(source, target, kBackupCopyAttributes, progress);
            return target;
        } catch (const platform::PlatformError& e) {
            if (e.number() != platform::err::PathNotFound || directoryCreated) throw;
            fs.createDirectory(directory);
            directoryCreated = true;
        }
    }
}

}  // namespace mabrel::backup
