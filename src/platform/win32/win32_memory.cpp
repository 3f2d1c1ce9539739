#include "platform/memory.h"

namespace mabrel::platform {

// Windows gives large pages only to accounts that hold the right to lock
// memory: the load takes the pages it is given.
void preferLargePages(const void*, std::size_t) {}
void preferLargePagesForSmallPieces() {}

}  // namespace mabrel::platform
