// The parts of the POSIX process that are plain functions of their inputs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace mabrel::platform::posix {

// The file whose lock marks the running instance: in XDG_RUNTIME_DIR when it
// is set (and absolute), else /tmp/<name>-<uid>.lock. The name is reduced to
// characters that are safe in a file name.
std::string lockFilePath(const std::string& programName, const char* runtimeDir, unsigned uid);

// The arguments joined with spaces; an absolute POSIX path (or a file:// URI,
// as file managers pass them) has its ".", ".." and doubled "/" resolved and
// is put into drive form by `toDrivePath`. A first argument that is a
// relative POSIX path is taken from `currentDirectory` (native), as every
// program of the machine takes it; one in the program's own form (C:\x,
// \\server\share) stays as it is.
std::string joinCommandLine(const std::vector<std::string>& arguments, const std::string& currentDirectory,
                            const std::function<std::string(const std::string&)>& toDrivePath);

// A folder typed into the program (the drive chooser), ending in the "\" the
// program added: an absolute POSIX path, a file:// URI or a path from "~"
// (`home`, native) is put into drive form, without a trailing "\"; anything
// else stays as typed.
std::string typedFolderPath(const std::string& text, const std::string& home,
                            const std::function<std::string(const std::string&)>& toDrivePath);

// The folder of the settings file: $XDG_CONFIG_HOME/<program> when it is an
// absolute path, else <home>/.config/<program>; native.
std::string settingsFolderPath(const char* configHome, const std::string& home, const std::string& program);

}  // namespace mabrel::platform::posix
