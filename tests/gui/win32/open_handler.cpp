// The application the tests register for their file type: it records the
// path the shell hands it, the show command it was started with, and what the
// backup folder beside that file held at that moment, then changes the file
// as an editor saving it would (with "later", the test saves it itself).
//   open_handler.exe FILE LOG [later]  (LOG, UTF-8: the path, "show N", the names)
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

void append(std::string& out, const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    out += bytes + "\n";
}

bool writeWhole(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    const HANDLE f = CreateFileW(path.c_str(), disposition == OPEN_EXISTING ? FILE_APPEND_DATA : GENERIC_WRITE, 0,
                                 nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(f);
    return ok && written == bytes.size();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    const std::wstring file = argv[1];
    const std::wstring log = argv[2];

    std::string record;
    append(record, file);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    append(record, L"show " + std::to_wstring((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1));
    const std::wstring folder = file.substr(0, file.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"_mabre-l94\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") append(record, name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

    // The change an editor makes; its modification time becomes now.
    if (argc < 4 || std::wstring(argv[3]) != L"later") writeWhole(file, " edited", OPEN_EXISTING);
    // Whole or not at all: the test waits for the log to appear.
    const std::wstring partial = log + L".part";
    if (!writeWhole(partial, record, CREATE_ALWAYS)) return 1;
    return MoveFileExW(partial.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
