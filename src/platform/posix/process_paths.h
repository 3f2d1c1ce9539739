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
// is put into drive form by `toDrivePath`.
std::string joinCommandLine(const std::vector<std::string>& arguments,
                            const std::function<std::string(const std::string&)>& toDrivePath);

}  // namespace mabrel::platform::posix
