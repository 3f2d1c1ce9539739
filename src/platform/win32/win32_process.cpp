#include "platform/win32/win32_process.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>

#include "platform/native.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_filesystem.h"

namespace mabrel::platform::win32 {

namespace {

std::wstring modulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return L"C:\\mabrel9-iv.exe";
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);  // cut short: ask again with more room
    }
}

}  // namespace

std::wstring textAfterProgramName(const std::wstring& line) {
    std::size_t i = 0;
    if (!line.empty() && line[0] == L'"') {
        const auto close = line.find(L'"', 1);
        i = close == std::wstring::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
    }
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    return line.substr(i);
}

std::wstring instanceMutexName(const std::string& programName) {
    // "\" separates kernel object namespaces; it cannot be part of the name.
    std::wstring name = widen(programName.empty() ? std::string("mabrel9-iv") : programName);
    for (auto& c : name) {
        if (c == L'\\') c = L'_';
    }
    return L"Local\\" + name + L".single-instance";
}

Win32Process::~Win32Process() {
    for (auto& [name, handle] : mutexes_) ::CloseHandle(static_cast<HANDLE>(handle));
}

bool Win32Process::claimSingleInstance(const std::string& programName) {
    if (mutexes_.count(programName)) return true;  // this process holds it already
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, instanceMutexName(programName).c_str());
    if (mutex == nullptr) {
        // Another program owns an object of that name (another type), or it
        // cannot be made at all: better to run than to refuse.
        return true;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return false;
    }
    mutexes_[programName] = mutex;
    return true;
}

std::string Win32Process::executableFolder() {
    const std::wstring path = modulePath();
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return narrow(path);
    std::wstring folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive root keeps its "\"
    return narrow(folder);
}

std::string Win32Process::executableBaseName() {
    const std::wstring path = modulePath();
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return narrow(name);
}

std::string Win32Process::commandLine() {
    const wchar_t* line = ::GetCommandLineW();
    return narrow(textAfterProgramName(line ? line : L""));
}

std::string Win32Process::currentDirectory() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return "C:\\";
    std::wstring buffer(needed, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(needed, buffer.data());
    if (n == 0 || n >= needed) return "C:\\";
    buffer.resize(n);
    return narrow(buffer);
}

LocalTime Win32Process::now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::int64_t Win32Process::utcNow() {
    FILETIME t{};
    ::GetSystemTimeAsFileTime(&t);
    const auto ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ull) - 11644473600ll;
}

}  // namespace mabrel::platform::win32

namespace mabrel::platform {

std::unique_ptr<FileSystem> makeNativeFileSystem() { return std::make_unique<win32::Win32FileSystem>(); }

// Windows keeps the command line whole; argv would have lost its quoting.
std::unique_ptr<Process> makeNativeProcess(int, char**) { return std::make_unique<win32::Win32Process>(); }

}  // namespace mabrel::platform
