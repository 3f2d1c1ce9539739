// How POSIX error codes become the program's error numbers.
#pragma once

#include <string>

#include "platform/errors.h"

namespace mabrel::platform::posix {

// The program's error number for errno `e`. ENOENT and ENOTDIR are decided
// by `native`: file not found (53) when its folder exists, path not found
// (76) when not.
int errorNumberFor(int e, const std::string& native);

// Throws PlatformError for errno `e` met on `native`.
[[noreturn]] void throwErrno(int e, const std::string& native);

}  // namespace mabrel::platform::posix
