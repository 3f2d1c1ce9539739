// The running process on Windows.
#pragma once

#include <map>
#include <string>

#include "platform/process.h"

namespace mabrel::platform::win32 {

class Win32Process : public Process {
public:
    Win32Process() = default;
    ~Win32Process() override;
    Win32Process(const Win32Process&) = delete;
    Win32Process& operator=(const Win32Process&) = delete;

    // A named mutex in the session's namespace, held until this object goes.
    bool claimSingleInstance(const std::string& programName) override;
    std::string executableFolder() override;
    std::string executableBaseName() override;
    std::string commandLine() override;
    std::string currentDirectory() override;
    LocalTime now() override;
    std::int64_t utcNow() override;

private:
    std::map<std::string, void*> mutexes_;
};

// The text of a Windows command line after the program name (which is
// quoted or ends at the first blank), leading blanks removed; the rest is
// left exactly as given.
std::wstring textAfterProgramName(const std::wstring& commandLine);

// The kernel object name for a program's single-instance mutex.
std::wstring instanceMutexName(const std::string& programName);

}  // namespace mabrel::platform::win32
