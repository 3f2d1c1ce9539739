// The choice of the first folder shown: the command line, then the
// remembered folder, then the current directory.
#pragma once

#include <string>

#include "platform/filesystem.h"

namespace mabrel::app {

// rememberedFolder: the lastPath read from the settings (possibly empty).
// Returns the folder to show, ending in "\".
std::string chooseStartFolder(platform::FileSystem& fs, const std::string& rememberedFolder,
                              const std::string& commandLine, const std::string& currentDirectory);

}  // namespace mabrel::app
