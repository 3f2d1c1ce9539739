// The DOS attributes (user.DOSATTRIB) of the entries of the last folders
// listed, so that the next listing of a folder reads only those of the
// entries that changed: a folder is listed again after every action, and
// reading the extended attribute costs as much as the entry's stat.
//
// Setting an extended attribute changes the inode's change time, so an entry
// with the same inode and change time as when its value was read still has
// that value. A value read within a few seconds of its entry's change is not
// kept: a second change within one tick of the clock would leave the time as
// it was.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mabrel::platform::posix {

class DosAttribCache {
    // 24 bytes an entry: a folder of 100,000 files keeps 2.4 MB.
    struct Value {
        ino_t inode;
        std::int64_t changeSeconds;
        std::uint32_t changeNanoseconds;  // with kStored when a value is stored
        std::uint32_t stored;
    };
    static constexpr std::uint32_t kStored = 0x80000000u;
    // An entry with nothing kept; never a change time's nanoseconds.
    static constexpr std::uint32_t kNothing = 0x40000000u;

public:
    // One listing of the folder open as dirFd (whose stat is `folder`, whose
    // native path is `path`). Its entries are numbered in the folder's order
    // and may be read by several threads at once, each with a Cursor of its
    // own.
    class Listing {
    public:
        // Where a thread is in the folder's last listing, which a listing of
        // an unchanged folder repeats.
        struct Cursor {
            std::ptrdiff_t shift = 0;  // that listing's position of an entry less its number now
        };
        // The number of entries this listing reads; before the first read.
        void expect(std::size_t entries);
        // The value stored for the entry `name`, numbered `index`, whose stat
        // (of what a link points at) is `st`; nothing when none is stored,
        // or the file system keeps no extended attributes.
        std::optional<std::uint32_t> read(std::size_t index, const char* name, const struct stat& st, Cursor& cursor);
        // Hands the values read to the cache for the folder's next listing.
        ~Listing();
        Listing(const Listing&) = delete;
        Listing& operator=(const Listing&) = delete;

    private:
        friend class DosAttribCache;
        Listing(DosAttribCache& cache, int dirFd, const struct stat& folder, const std::string& path);
        ssize_t get(const char* name, char* buffer, std::size_t size);
        const Value* known(std::size_t index, ino_t inode, Cursor& cursor);

        DosAttribCache& cache_;
        int dirFd_;
        const std::string& path_;
        dev_t device_;
        ino_t folderInode_;
        // The folder's last listing, by entry number (kNothing where nothing
        // was kept), and its positions by inode, made at the first miss.
        std::vector<Value> previous_;
        std::vector<std::uint32_t> byInode_;
        std::once_flag byInodeMade_;
        // By entry number, what this listing keeps.
        std::vector<Value> read_;
        std::time_t startedAt_;
        std::atomic<bool> noAttributes_{false};
    };

    Listing begin(int dirFd, const struct stat& folder, const std::string& path) {
        return Listing(*this, dirFd, folder, path);
    }

private:
    struct Folder {
        dev_t device;
        ino_t inode;
        std::vector<Value> values;  // by entry number
    };
    // The most recently listed first.
    std::list<Folder> folders_;
};

}  // namespace mabrel::platform::posix
