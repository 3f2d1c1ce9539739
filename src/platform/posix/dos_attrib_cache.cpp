#include "platform/posix/dos_attrib_cache.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>

#include "platform/memory.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/syscalls.h"

namespace mabrel::platform::posix {

namespace {

// Folders whose values are kept: the one shown and its backup directory,
// and the two before.
constexpr std::size_t kFoldersKept = 4;
// How long after a change a value is read again at every listing.
constexpr std::int64_t kSettleSeconds = 2;

}  // namespace

DosAttribCache::Listing::Listing(DosAttribCache& cache, int dirFd, const struct stat& folder, const std::string& path)
    : cache_(cache), dirFd_(dirFd), path_(path), device_(folder.st_dev), folderInode_(folder.st_ino),
      startedAt_(std::time(nullptr)) {
    for (auto it = cache_.folders_.begin(); it != cache_.folders_.end(); ++it) {
        if (it->device == device_ && it->inode == folderInode_) {
            previous_ = std::move(it->values);
            cache_.folders_.erase(it);
            break;
        }
    }
}

DosAttribCache::Listing::~Listing() {
    cache_.folders_.push_front(Folder{device_, folderInode_, std::move(read_)});
    if (cache_.folders_.size() > kFoldersKept) cache_.folders_.pop_back();
}

ssize_t DosAttribCache::Listing::get(const char* name, char* buffer, std::size_t size) {
#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
    // getxattrat (Linux 6.13): relative to the open folder, no path walked;
    // not where a test has put its own getxattr in the table.
    static std::atomic<bool> unavailable{false};
    if (!unavailable.load(std::memory_order_relaxed) && sys().getxattr == realSyscalls().getxattr) {
        struct {
            std::uint64_t value;
            std::uint32_t size;
            std::uint32_t flags;
        } args{reinterpret_cast<std::uintptr_t>(buffer), static_cast<std::uint32_t>(size), 0};
        const long n = ::syscall(464, dirFd_, name, 0, kDosAttribName, &args, sizeof args);
        // Older kernels know no such call; a sandbox may forbid it.
        if (n >= 0 || (errno != ENOSYS && errno != EPERM)) return n;
        unavailable.store(true, std::memory_order_relaxed);
    }
#endif
    const std::string full = (path_ == "/" ? "" : path_) + "/" + name;
    return sys().getxattr(full.c_str(), kDosAttribName, buffer, size);
}

void DosAttribCache::Listing::expect(std::size_t entries) {
    read_.reserve(entries);
    preferLargePages(read_.data(), entries * sizeof(Value));
    read_.assign(entries, Value{0, 0, kNothing, 0});
}

// The value the last listing kept for the entry numbered `index` now, whose
// inode is `inode`: first where the cursor expects it, then by inode.
const DosAttribCache::Value* DosAttribCache::Listing::known(std::size_t index, ino_t inode, Cursor& cursor) {
    const std::size_t guess = index + static_cast<std::size_t>(cursor.shift);
    if (guess < previous_.size() && previous_[guess].inode == inode) return &previous_[guess];
    std::call_once(byInodeMade_, [&] {
        byInode_.reserve(previous_.size());
        for (std::uint32_t i = 0; i < previous_.size(); ++i) {
            if (previous_[i].changeNanoseconds != kNothing) byInode_.push_back(i);
        }
        std::sort(byInode_.begin(), byInode_.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return previous_[a].inode < previous_[b].inode; });
    });
    const auto at = std::lower_bound(byInode_.begin(), byInode_.end(), inode,
                                     [&](std::uint32_t i, ino_t value) { return previous_[i].inode < value; });
    if (at == byInode_.end() || previous_[*at].inode != inode) return nullptr;
    // The entries after it are likely to follow it as they did.
    cursor.shift = static_cast<std::ptrdiff_t>(*at) - static_cast<std::ptrdiff_t>(index);
    return &previous_[*at];
}

std::optional<std::uint32_t> DosAttribCache::Listing::read(std::size_t index, const char* name,
                                                           const struct stat& st, Cursor& cursor) {
    const bool here = st.st_dev == device_;
    const auto nanoseconds = static_cast<std::uint32_t>(st.st_ctim.tv_nsec);
    if (here && !previous_.empty()) {
        const Value* value = known(index, st.st_ino, cursor);
        if (value && value->changeSeconds == st.st_ctim.tv_sec &&
            (value->changeNanoseconds & ~kStored) == nanoseconds) {
            read_[index] = *value;
            if (value->changeNanoseconds & kStored) return value->stored;
            return std::nullopt;
        }
    }
    if (noAttributes_.load(std::memory_order_relaxed)) return std::nullopt;

    char buffer[256];
    const ssize_t n = get(name, buffer, sizeof buffer);
    const int error = n < 0 ? errno : 0;
    std::optional<std::uint32_t> value;
    if (n >= 0) value = decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
    if (!here) return value;
    if (error == ENOTSUP) {
        // The file system keeps none: asked no more in this listing.
        noAttributes_.store(true, std::memory_order_relaxed);
        return value;
    }
    // Kept once it has settled, and only when the answer is sure: a value,
    // or none stored.
    if ((n >= 0 || error == ENODATA) && startedAt_ - st.st_ctim.tv_sec > kSettleSeconds) {
        read_[index] = Value{st.st_ino, static_cast<std::int64_t>(st.st_ctim.tv_sec),
                             nanoseconds | (value ? kStored : 0u), value.value_or(0)};
    }
    return value;
}

}  // namespace mabrel::platform::posix
