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
    // Where the settings file is kept: beside the executable unless the
    // machine has a folder for each user's settings.
    virtual std::string settingsFolder() { return executableFolder(); }
    // Where the program's own files (its help page) are: beside the
    // executable unless it is installed apart from them.
    virtual std::string dataFolder() { return executableFolder(); }
    // Everything after the program name, as one text.
    virtual std::string commandLine() = 0;
    // The current directory, in drive form.
    virtual std::string currentDirectory() = 0;
    // A folder path a person typed, in drive form as the command line takes
    // it (a path of the machine's own form mapped); other text unchanged.
    virtual std::string typedPath(const std::string& text) { return text; }
    virtual LocalTime now() = 0;
    // The same clock in seconds since 1970 UTC: what the age of a kept copy
    // is measured by.
    virtual std::int64_t utcNow() = 0;
};

}  // namespace mabrel::platform
