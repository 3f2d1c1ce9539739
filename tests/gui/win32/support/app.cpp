#include "support/app.h"

#include <gtest/gtest.h>

#include "gui/win32/control_ids.h"
#include "support/controls.h"

namespace mabrel::win32gui::test {

namespace fs = std::filesystem;

bool waitUntil(const std::function<bool()>& condition, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(25);
    }
    return true;
}

fs::path fromHost(const std::string& hostPath) {
    std::string p = hostPath;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    if (!p.empty() && p.front() == '\\') p = "Z:" + p;
    return fs::u8path(p);
}

std::string ansi(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring fromAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring folderForm(const fs::path& folder) {
    std::wstring s = folder.wstring();
    for (wchar_t& c : s) {
        if (c == L'/') c = L'\\';
    }
    if (s.empty() || s.back() != L'\\') s += L'\\';
    return s;
}

App::App() { fs::copy_file(built(), exe(), fs::copy_options::overwrite_existing); }

fs::path App::built() { return fromHost(MABREL_WIN32_EXECUTABLE); }

App::~App() {
    terminate();
    if (info_.hProcess) CloseHandle(info_.hProcess);
    if (info_.hThread) CloseHandle(info_.hThread);
}

void App::start(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe().wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const std::wstring cwd = dir_.path().wstring();
    ASSERT_TRUE(CreateProcessW(exe().wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               cwd.c_str(), &startup, &info_))
        << "cannot start " << exe() << ", error " << GetLastError();
    const bool shown = waitUntil([&] {
        const auto windows = topLevelWindows(pid(), ids::kMainWindowClass);
        main_ = windows.empty() ? nullptr : windows.front();
        return main_ != nullptr || !running();
    }, 30000);
    ASSERT_TRUE(shown && main_) << "no main window (class mabrel9-iv.frm_mabrel94) appeared"
                                << (running() ? "" : "; the program ended");
    // Loaded once the status bar shows the counts.
    ASSERT_TRUE(waitUntil([&] { return !statusText(control(ids::StatusBar1)).empty(); }))
        << "the status bar shows nothing: no folder was loaded";
    WaitForInputIdle(info_.hProcess, 5000);
}

bool App::running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool App::waitExit(DWORD ms) const { return !info_.hProcess || WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0; }

void App::terminate() {
    if (running()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 10000);
    }
}

HWND App::control(int id) const {
    const HWND c = findControl(main_, id);
    EXPECT_TRUE(c) << "the main window has no control " << id;
    return c;
}

HWND App::waitWindow(const std::wstring& windowClass, HWND previous, DWORD ms) const {
    HWND found = nullptr;
    waitUntil([&] {
        for (HWND w : topLevelWindows(pid(), windowClass)) {
            if (w != previous) {
                found = w;
                return true;
            }
        }
        return false;
    }, ms);
    return found;
}

bool App::noWindowFor(const std::wstring& windowClass, DWORD ms) const {
    return !waitUntil([&] { return !topLevelWindows(pid(), windowClass).empty(); }, ms);
}

MessageBoxView readMessageBox(HWND box) {
    MessageBoxView view;
    view.caption = textOf(box);
    view.owner = GetWindow(box, GW_OWNER);
    for (HWND b : visibleChildren(box, L"Button")) view.buttons.push_back(GetDlgCtrlID(b));
    for (HWND s : visibleChildren(box, L"Static")) {
        const LONG style = GetWindowLongW(s, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            // The box keeps its icon control and leaves it empty.
            view.icon = view.icon || send(s, STM_GETICON).value_or(0) != 0;
        } else {
            const std::wstring t = textOf(s);
            if (!t.empty()) view.text += t;
        }
    }
    return view;
}

void press(HWND window, int id) {
    const HWND button = findControl(window, id);
    ASSERT_TRUE(button) << "no control " << id << " in the window of class " << testing::PrintToString(classOf(window));
    ASSERT_TRUE(IsWindowEnabled(button)) << "control " << id << " is disabled";
    PostMessageW(button, BM_CLICK, 0, 0);
}

bool waitGone(HWND window, DWORD ms) {
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
}

}  // namespace mabrel::win32gui::test
