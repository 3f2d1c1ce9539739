// The settings file: executable base name + ".ini" beside the executable,
// eight lines "key,value" in a fixed order.
#pragma once

#include <string>

#include "app/process_state.h"
#include "platform/filesystem.h"
#include "platform/text.h"

namespace mabrel::settings {

inline constexpr char kDefaultExtList[] = ".bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.";

struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The program's own version, written to line 2.
Version programVersion();

// Executable folder joined with base name + ".ini".
std::string settingsFilePath(const std::string& executableFolder, const std::string& baseName);

// Fills lastPath and the filters from the file, applying defaults; true when
// the file was read to its end. Never throws.
bool readSettings(platform::FileSystem& fs, const platform::Codec& codec, const std::string& path,
                  ProcessState& state);

// Writes all eight lines from the state unless the file holds them already
// (the time of the last access aside); true on success. A file there that
// cannot be read is not written. Never throws.
bool writeSettings(platform::FileSystem& fs, const platform::Codec& codec, const std::string& path,
                   const ProcessState& state, const std::string& baseName, const platform::LocalTime& now);

}  // namespace mabrel::settings
