// Where a path in the program's form (C:\Docs\a.txt) lies on this machine.
#pragma once

#include <optional>
#include <string>

#include "platform/filesystem.h"

namespace mabrel::gui {

// The machine's own path for a program path, or nothing when its drive or
// share has no root here. On Windows the two forms are the same.
std::optional<std::string> nativePathFor(platform::FileSystem& fs, const std::string& programPath);

}  // namespace mabrel::gui
