// The backup store: a directory "_mabre-l94" inside each folder, holding
// read-only copies named base + "_" + timestamp + extension, the timestamp
// being the source file's modification time.
#pragma once

#include <memory>
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

// The backup directory of the folder open as `folder`, opened from it and
// never through a link (75, in words); made first when missing and `create`
// (missing otherwise: 76).
std::unique_ptr<platform::Directory> openBackupDirectory(platform::Directory& folder, bool create);

// Takes a backup copy of the current version of file `fileName` of `folder`
// unless a copy of that version exists (which is then marked as taken now),
// opening the backup directory into
// `backupDir` (made when missing) unless it is open already. Returns the
// copy's path when it made one. A copy of that name is accepted only when
// it is a file of its own holding the file's content; anything else there
// (a link, the file itself or another name of it, other content: another
// version saved in the same second, or planted) fails with 58, saying which
// copy and what to do. Other errors: PlatformError (53 for a missing source;
// 70 for a file that keeps changing while it is copied; 18 when `progress`
// cancelled it). A copy takes its name only once it is complete.
std::optional<std::string> takeBackupCopy(platform::Directory& folder, std::unique_ptr<platform::Directory>& backupDir,
                                          const std::string& fileName, const platform::CopyProgress& progress = {});

}  // namespace mabrel::backup
