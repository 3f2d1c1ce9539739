// The real executable in a process of its own: copied into a folder of its
// own (so that the settings file beside it is the test's), started on a
// folder, found by its main window, and its modal windows found as they come.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mabrel::win32gui::test {

// Polls until the condition holds; false after ms.
bool waitUntil(const std::function<bool()>& condition, DWORD ms = 10000);

// A path the build gives in host form (/work/...) as Wine's drive Z: shows it.
std::filesystem::path fromHost(const std::string& hostPath);

// Text in the ANSI code page the settings and comment files use, and back.
std::string ansi(const std::wstring& text);
std::wstring fromAnsi(const std::string& text);
// A path in the program's form, with a trailing "\".
std::wstring folderForm(const std::filesystem::path& folder);

class App {
public:
    App();
    ~App();
    // The program as the build made it, beside the help page the zip packs.
    static std::filesystem::path built();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Starts the program with the command-line text after its name; waits
    // until its main window shows a loaded folder. Fails the test otherwise.
    void start(const std::wstring& arguments);
    bool waitExit(DWORD ms = 20000) const;
    bool running() const;
    void terminate();

    HWND main() const { return main_; }
    HWND control(int id) const;
    DWORD pid() const { return info_.dwProcessId; }
    std::filesystem::path exe() const { return dir_.path() / "mabrel9-iv.exe"; }
    std::filesystem::path settingsFile() const { return dir_.path() / "mabrel9-iv.ini"; }

    // The next visible top-level window of this process of the class (the
    // modal windows, L"#32770" for the message box) that is not `previous`.
    HWND waitWindow(const std::wstring& windowClass, HWND previous = nullptr, DWORD ms = 10000) const;
    // True when no such window shows up within ms.
    bool noWindowFor(const std::wstring& windowClass, DWORD ms) const;

private:
    mabrel::test::TempDir dir_;
    PROCESS_INFORMATION info_{};
    HWND main_ = nullptr;
};

// What a message box shows.
struct MessageBoxView {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // IDs of the visible buttons
    bool icon = false;         // a visible icon
    HWND owner = nullptr;
};
MessageBoxView readMessageBox(HWND box);

// Clicks a button of a window of another process by its ID (BM_CLICK,
// posted so that a handler that opens another modal window cannot block the
// test). Fails the test when there is no such control or it is disabled.
void press(HWND window, int id);
// Waits until a window is gone (destroyed or hidden).
bool waitGone(HWND window, DWORD ms = 10000);

}  // namespace mabrel::win32gui::test
