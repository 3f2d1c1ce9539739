// The compare tool the tests register as WinMerge: it writes down the
// arguments it was started with, one a line (UTF-8), into the file that
// MABREL_COMPARE_LOG names, whole or not at all.
#include <windows.h>

#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t log[MAX_PATH * 2] = {};
    if (GetEnvironmentVariableW(L"MABREL_COMPARE_LOG", log, MAX_PATH * 2) == 0) return 2;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    std::string record;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const int n = WideCharToMultiByte(CP_UTF8, 0, a.data(), static_cast<int>(a.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, a.data(), static_cast<int>(a.size()), bytes.data(), n, nullptr, nullptr);
        record += bytes + "\n";
    }
    const std::wstring partial = std::wstring(log) + L".part";
    const HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(f, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(f);
    return MoveFileExW(partial.c_str(), log, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
