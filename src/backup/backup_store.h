// The backup store: a directory "_mabre-l94" inside each folder, holding
// read-only copies named base + "_" + timestamp + extension, the timestamp
// being the source file's modification time.
#pragma once

#include <optional>
#include <string>

#include "platform/filesystem.h"

namespace mabrel::backup {

inline constexpr char kBackupDirName[] = "_mabre-l94";
// Read-only plus archive.
inline constexpr std::uint32_t kBackupCopyAttributes = 33;

// driveAndPath + "_mabre-l94" (no trailing "\").
std::string backupDirectoryPath(const std::string& driveAndPath);

// base + "_" + timestamp + extension, split at the last ".".
std::string backupCopyName(const std::string& sourceName, const std::string& timestamp);

struct BackupName {
    std::string sourceName;
    std::string timestamp;
};

// Reads a copy's name back. A stem shorter than 20 characters cannot be read:
// PlatformError(5).
BackupName readBackupName(const std::string& fileName);

// The copy's path for a list row: backup directory + "\" + base of rowText +
// "_" + rowTimestamp + extension of rowText.
std::string backupCopyPathOfRow(const std::string& driveAndPath, const std::string& rowText,
                                const std::string& rowTimestamp);

// Fails with 75 when the backup directory of `driveAndPath` is a link:
// nothing of the program's is written or removed through one.
void checkBackupDirectory(platform::FileSystem& fs, const std::string& driveAndPath);

// Takes a backup copy of the current version of file `fileName` of folder
// `driveAndPath` unless a copy of that version exists, which is then marked
// as taken now. Creates the backup directory once when it is missing.
// Returns the copy's path when it made one. Errors: PlatformError (53 for a missing source; 58 when the copy's
// name is taken by a link or by a copy of another size, that is another
// version saved in the same second: that version cannot be secured; 18 when
// `progress` cancelled it). A copy takes its name only once it is complete.
std::optional<std::string> takeBackupCopy(platform::FileSystem& fs, const std::string& driveAndPath,
                                          const std::string& fileName, const platform::CopyProgress& progress = {});

}  // namespace mabrel::backup
