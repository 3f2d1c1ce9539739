// The running process as the program sees it. Paths are in drive form.
#pragma once

#include <cstdint>
#include <string>

#include "platform/filesystem.h"

namespace mabrel::platform {

class Process {
public:
    virtual ~Process() = default;
    // True when no other instance of the program runs for this user; the
    // claim is held until the process ends.
    virtual bool claimSingleInstance(const std::string& programName) = 0;
    // The executable's folder, without a trailing "\" unless it is a drive root.
    virtual std::string executableFolder() = 0;
    // The executable's file name without its extension.
    virtual std::string executableBaseName() = 0;
    // Everything after the program name, as one text.
    virtual std::string commandLine() = 0;
    // The current directory, in drive form.
    virtual std::string currentDirectory() = 0;
    virtual LocalTime now() = 0;
    // The same clock in seconds since 1970 UTC: what the age of a kept copy
    // is measured by.
    virtual std::int64_t utcNow() = 0;
};

}  // namespace mabrel::platform
