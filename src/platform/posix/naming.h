// Naming a complete file without replacing another, on every file system:
// by a hard link where there are hard links; where there are none (exFAT,
// FAT, most SMB clients) by a rename that refuses an existing name
// (renameat2 RENAME_NOREPLACE); where the file system has not even that, by
// a rename made only after the name was found free, while holding a lock on
// the folder that every instance of the program on this machine takes for
// the same step. The file is complete before any of these: no name ever
// stands for half a file.
#pragma once

#include <string>

namespace mabrel::platform::posix {

enum class Naming { Linked, Moved };

// Gives the file `from` of the folder `dirFd` the name `to` as well (Linked:
// `from` stays) or instead (Moved: `from` is gone). Fails with EEXIST when
// `to` is taken, else with the errno of the call that failed; returns
// whether it linked or moved in `how`. Close the file first: some network
// file systems refuse to rename an open file.
int nameWithoutReplacing(int dirFd, const std::string& from, const std::string& to, Naming& how);

// Whether the errno of a failed link says the file system has no hard links.
bool noHardLinks(int e);

}  // namespace mabrel::platform::posix

namespace mabrel::platform::posix {

// Whether the file system of the folder `dirFd` takes `name`: at most 255
// UTF-16 units (what NTFS, FAT, exFAT and SMB keep), and no more bytes than
// it says it takes; a FUSE driver that says 255 counts characters.
bool nameFits(int dirFd, const std::string& name);

}  // namespace mabrel::platform::posix
