// Room for what a load fills. On some machines (virtual ones above all) the
// first touch of each small page costs about as much as a file's stat, so a
// load of a large folder would wait more on its own memory than on the
// folder; a large page is touched once for 512 small ones.
#pragma once

#include <cstddef>

namespace mabrel::platform {

// Asks for large pages for the buffer at `data`, `bytes` long, that is about
// to be filled; nothing where the machine gives none.
void preferLargePages(const void* data, std::size_t bytes);

// The same for the room the allocator holds for small pieces and has not
// handed out yet. Cheap when that room has not grown since the last call:
// called as a load goes on.
void preferLargePagesForSmallPieces();

}  // namespace mabrel::platform
