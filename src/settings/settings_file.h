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

// Base name + ".ini": the file's name in the executable's folder.
std::string settingsFileName(const std::string& baseName);

// Fills lastPath and the filters from the file `fileName` of `folder`,
// applying defaults; true when the file was read to its end. `unreadable`,
// when given, tells whether a file is there that could not be read: its
// settings are not known, so it must not be written over. Never throws.
bool readSettings(platform::Directory& folder, const platform::Codec& codec, const std::string& fileName,
                  ProcessState& state, bool* unreadable = nullptr);

// Writes all eight lines from the state unless the file holds them already
// (the time of the last access aside); true on success. A file there that
// cannot be read is not written. Never throws.
bool writeSettings(platform::Directory& folder, const platform::Codec& codec, const std::string& fileName,
                   const ProcessState& state, const std::string& baseName, const platform::LocalTime& now);

}  // namespace mabrel::settings
