#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "platform/memory.h"

namespace mabrel::platform {

namespace {

constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

void advise(std::uintptr_t from, std::uintptr_t to) {
#ifdef MADV_HUGEPAGE
    from = (from + kLargePage - 1) & ~(kLargePage - 1);
    to &= ~(kLargePage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)from;
    (void)to;
#endif
}

}  // namespace

void preferLargePages(const void* data, std::size_t bytes) {
    const auto from = reinterpret_cast<std::uintptr_t>(data);
    advise(from, from + bytes);
}

void preferLargePagesForSmallPieces() {
    static std::mutex mutex;
    static std::uintptr_t heapFrom = 0;
    static std::uintptr_t advisedTo = 0;
    const std::lock_guard lock(mutex);
    if (heapFrom == 0) {
        // The heap grows by large steps, so that most of each step is still
        // untouched when it is advised; pieces up to the largest the
        // allocator allows come from the heap rather than from mappings of
        // their own, which would be new pages at every load.
        ::mallopt(M_TOP_PAD, 64 << 20);
        ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
        heapFrom = advisedTo = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    }
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    if (end <= advisedTo) return;
    // From the large page the last call ended in, which may have been cut
    // short; nothing below the heap.
    advise(std::max(heapFrom, advisedTo & ~(kLargePage - 1)), end);
    advisedTo = end;
}

}  // namespace mabrel::platform
