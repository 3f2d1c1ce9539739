// The mount table, read again only when it has changed: /proc/self/mounts
// reports a change through poll(); a plain file (tests feed one) is read
// again when its size, time or inode changes. So media mounted while the
// program runs show up as drives, and paths on them cost no more than paths
// on C:.
#pragma once

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/posix/path_map.h"

namespace mabrel::platform::posix {

class MountTable {
public:
    explicit MountTable(std::string path) : path_(std::move(path)) {}
    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

    // The table as it is now.
    const MountTable& now() {
        refresh();
        return *this;
    }
    const std::vector<MountEntry>& entries() const { return entries_; }
    const std::vector<Drive>& drives() const { return drives_; }

private:
    void refresh();
    void take(const std::string& text);

    std::string path_;
    int pollFd_ = -1;  // kept open where poll() reports changes
    bool read_ = false;
    struct stat fileStat_ {};
    bool fileThere_ = false;
    std::vector<MountEntry> entries_;
    std::vector<Drive> drives_;
};

}  // namespace mabrel::platform::posix
