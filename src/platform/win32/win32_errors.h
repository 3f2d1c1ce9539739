// How Win32 error codes (GetLastError) become the program's error numbers.
#pragma once

#include <cstdint>

namespace mabrel::platform::win32 {

int errorNumberFor(std::uint32_t win32Error);

// Throws PlatformError for the calling thread's last error.
[[noreturn]] void throwLastError();
[[noreturn]] void throwError(std::uint32_t win32Error);
// The same for a read: a denied read says it was the read that was denied.
[[noreturn]] void throwReadError(std::uint32_t win32Error);

}  // namespace mabrel::platform::win32
