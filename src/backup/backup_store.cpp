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

bool readBackupName(const std::string& fileName, std::string& sourceName, std::string& timestamp) {
    constexpr std::size_t kTimestampChars = 19;
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
    // Each made to measure: a load keeps both for every copy.
    std::string source(start - 1 + (fileName.size() - stemEnd), '\0');
    fileName.copy(source.data(), start - 1, 0);
    fileName.copy(source.data() + (start - 1), fileName.size() - stemEnd, stemEnd);
    sourceName = std::move(source);
    util::assignExact(timestamp, std::string_view(fileName).substr(start, stemEnd - start));
    return true;
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

// The copy's name, longer than the file's by its time, is more than the
// file system takes: said so, since the file's own name was fine.
platform::PlatformError nameTooLong(const std::string& copyName) {
    return platform::PlatformError(
        platform::err::NameTooLong,
        std::string("コピーの名前「") + copyName + "」が長すぎて、「" + kBackupDirName +
            "」フォルダーに置けません。コピーを取れないため、何もしていません。ファイルの名前を短くしてから、やり直してください。");
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

    std::optional<platform::DirEntry> existing;
    try {
        existing = backupDir->find(copyName, kExistenceMask);
    } catch (const platform::PlatformError& e) {
        if (e.number() == platform::err::NameTooLong) throw nameTooLong(copyName);
        throw;
    }
    if (existing) {
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
        if (e.number() == platform::err::NameTooLong) throw nameTooLong(copyName);
        throw;
    }
    return backupDir->path() + copyName;
}

}  // namespace mabrel::backup
