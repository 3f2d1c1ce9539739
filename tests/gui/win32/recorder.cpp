// Registered as the application for a file type and as WinMerge: writes its
// show command and arguments, a line each (UTF-16), to MABREL_RECORD, whole.
#include <windows.h>

#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t log[MAX_PATH * 2] = {};
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (GetEnvironmentVariableW(L"MABREL_RECORD", log, MAX_PATH * 2) == 0 || !argv) return 2;
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::wstring record = L"show " + std::to_wstring((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1) + L"\n";
    for (int i = 1; i < argc; ++i) record += std::wstring(argv[i]) + L"\n";

    const std::wstring partial = std::wstring(log) + L".part";
    const HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(record.size() * sizeof(wchar_t));
    const bool whole = f != INVALID_HANDLE_VALUE && WriteFile(f, record.data(), size, &written, nullptr) && written == size;
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return whole && MoveFileExW(partial.c_str(), log, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
