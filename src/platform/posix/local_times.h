// Local times of file times for one listing. The C library's conversion
// costs about as much as the listing's stat of the entry, so for an hour of
// file times met more than once the zone's offset is checked at both ends
// of the hour (the offset changes at most once within an hour) and, when it
// is the same there and explains the library's answers, the date and time
// are worked out from it. Every other time is converted by the library.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform::posix {

class LocalTimes {
public:
    LocalTime of(std::time_t t);

private:
    enum class State : std::uint8_t { Empty, SeenOnce, Even, Uneven };
    struct Hour {
        std::int64_t index = 0;
        long offset = 0;  // seconds east of UTC, where Even
        State state = State::Empty;
    };
    Hour& slot(std::int64_t index);

    std::vector<Hour> hours_;  // open addressing, a power of two long
    std::size_t used_ = 0;
};

// The library's conversion; InvalidArgument where it fails.
LocalTime libraryLocalTime(std::time_t t);

}  // namespace mabrel::platform::posix
