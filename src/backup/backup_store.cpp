#include "backup/backup_store.h"

#include <random>

#include "platform/errors.h"
#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel::backup {

namespace {

// Read-only, system and archive: finds every copy but hidden files.
constexpr std::uint32_t kExistenceMask = platform::attr::ReadOnly | platform::attr::System | platform::attr::Archive;

// A name in the backup directory that the folder view never lists (it holds
// "_mabre"), for a copy that is still being written.
std::string temporaryName() {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string name = "~_mabre-tmp-";
    auto value = generator();
    for (int i = 0; i < 16; ++i, value >>= 4) name += digits[value & 0xF];
    return name;
}

void removeQuietly(platform::FileSystem& fs, const std::string& path) {
    try {
        fs.setAttributes(path, platform::attr::Archive);
    } catch (const platform::PlatformError&) {
    }
    try {
        fs.deleteFile(path);
    } catch (const platform::PlatformError&) {
    }
}

// Copies source to target by way of a temporary name, so that the target's
// name only ever stands for a complete, read-only copy.
void copyIntoPlace(platform::FileSystem& fs, const std::string& source, const std::string& directory,
                   const std::string& target) {
    const std::string temporary = directory + "\\" + temporaryName();
    try {
        fs.copyFile(source, temporary);
        fs.setAttributes(temporary, kBackupCopyAttributes);
        fs.rename(temporary, target);
    } catch (...) {
        removeQuietly(fs, temporary);
        throw;
    }
}

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

void takeBackupCopy(platform::FileSystem& fs, const std::string& driveAndPath, const std::string& fileName) {
    const std::string source = driveAndPath + fileName;
    const std::string timestamp = util::formatTimestamp(fs.modificationTime(source));
    const std::string directory = backupDirectoryPath(driveAndPath);
    const std::string target = directory + "\\" + backupCopyName(fileName, timestamp);

    bool directoryCreated = false;
    while (true) {
        try {
            // A copy of this version exists: it is never taken again.
            if (fs.find(target, kExistenceMask)) return;
            copyIntoPlace(fs, source, directory, target);
            return;
        } catch (const platform::PlatformError& e) {
            if (e.number() != platform::err::PathNotFound || directoryCreated) throw;
            fs.createDirectory(directory);
            directoryCreated = true;
        }
    }
}

}  // namespace mabrel::backup
