// The choice of the first folder shown: the command line, then the
// remembered folder, then the current directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::app {

struct StartFolder {
    std::string folder;  // ends in "\"
    // The file the path named, to be selected once the folder is shown; empty
    // when the path named a folder.
    std::string file;
    friend bool operator==(const StartFolder&, const StartFolder&) = default;
};

// rememberedFolder: the lastPath read from the settings (possibly empty).
StartFolder chooseStartFolder(platform::FileSystem& fs, const std::string& rememberedFolder,
                              const std::string& commandLine, const std::string& currentDirectory);

// The text the program prints on the terminal, starting no window, for a
// command line of one --help or --version; nothing for any other.
std::optional<std::string> terminalAnswer(const std::vector<std::string>& arguments);

}  // namespace mabrel::app
