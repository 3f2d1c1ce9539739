// The real executable in a process and a folder of its own, started on a real
// folder with a Japanese name; its controls read through window messages, and
// synthetic input, as a person gives it.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/win32/control_ids.h"
#include "support/temp_dir.h"

namespace mabrel::win32gui::test {

namespace ids = mabrel::win32gui::ids;
namespace fs = std::filesystem;

inline bool waitUntil(const std::function<bool()>& condition, DWORD ms = 60000) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(25);
    }
    return true;
}

// A path the build gives in host form (/work/...) as Wine's drive Z: shows it.
inline fs::path fromHost(std::string p) {
    for (char& c : p) c = c == '/' ? '\\' : c;
    return fs::u8path(p.starts_with('\\') ? "Z:" + p : p);
}

// Text in the ANSI code page of the settings and comment files.
inline std::string ansi(const std::wstring& text) {
    const int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}
// A path in the program's form, with a trailing "\".
inline std::wstring folderForm(const fs::path& folder) {
    std::wstring s = folder.wstring();
    for (wchar_t& c : s) c = c == L'/' ? L'\\' : c;
    return s.ends_with(L'\\') ? s : s + L'\\';
}

inline void setRegistry(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
}

// A message that cannot hang the test: nullopt when the target did not answer.
inline std::optional<LRESULT> send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &result)) return std::nullopt;
    return static_cast<LRESULT>(result);
}
inline LRESULT sendOrFail(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
    const auto r = send(window, message, w, l);
    if (!r) ADD_FAILURE() << "window " << window << " did not answer message 0x" << std::hex << message;
    return r.value_or(0);
}

// Memory in the process that owns a window, for the messages whose lParam
// points at a structure the control reads and writes in its own address space.
class RemoteBuffer {
public:
    static constexpr std::size_t kText = 256, kTextChars = 2048;  // a structure's text goes after it
    static constexpr std::size_t kSize = kText + kTextChars * sizeof(wchar_t);
    explicit RemoteBuffer(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid);
        if (process_) remote_ = VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!remote_) throw std::runtime_error("no memory in the process of a window");
    }
    ~RemoteBuffer() {
        VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* at(std::size_t offset) const { return static_cast<char*>(remote_) + offset; }
    LPARAM lparam(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
    void write(const void* data, std::size_t n, std::size_t offset = 0) const {
        if (offset + n > kSize || !WriteProcessMemory(process_, at(offset), data, n, nullptr)) throw std::runtime_error("write");
    }
    void read(void* out, std::size_t n, std::size_t offset = 0) const {
        if (offset + n > kSize || !ReadProcessMemory(process_, at(offset), out, n, nullptr)) throw std::runtime_error("read");
    }

private:
    HANDLE process_ = nullptr;
    void* remote_ = nullptr;
};

// WM_GETTEXT: a control's text (a status bar's first part).
inline std::wstring textOf(HWND window) {
    std::vector<wchar_t> buf(RemoteBuffer::kTextChars);
    const auto n = send(window, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    return std::wstring(buf.data(), static_cast<std::size_t>(n.value_or(0)));
}
// As typing leaves it: an edit box reports the change.
inline void setText(HWND window, const std::wstring& text) {
    sendOrFail(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
inline RECT screenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}
inline RECT rectInParent(HWND child) {
    RECT r = screenRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}
inline SIZE clientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}
inline COLORREF pixelAt(POINT at) {  // what the screen shows there
    const HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return c;
}
inline POINT centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
inline bool isChecked(HWND button) { return send(button, BM_GETCHECK).value_or(0) == BST_CHECKED; }
inline HWND focusOf(HWND window) {  // in the thread that owns the window
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}
inline std::wstring classOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}
// A control by its ID among all descendants.
inline HWND findControl(HWND root, int id) {
    std::pair<int, HWND> search{id, nullptr};
    EnumChildWindows(root, [](HWND w, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<std::pair<int, HWND>*>(data);
        if (GetDlgCtrlID(w) == s->first) s->second = w;
        return s->second == nullptr;
    }, reinterpret_cast<LPARAM>(&search));
    return search.second;
}
using Cells = std::array<std::wstring, 6>;

class ListView {
public:
    explicit ListView(HWND list) : list_(list), buffer_(list) {}
    HWND hwnd() const { return list_; }
    int count() const { return static_cast<int>(sendOrFail(list_, LVM_GETITEMCOUNT)); }
    int width(int column) const { return static_cast<int>(sendOrFail(list_, LVM_GETCOLUMNWIDTH, column)); }
    std::wstring text(int item, int column) const {
        LVITEMW it{};
        it.iSubItem = column;
        it.pszText = reinterpret_cast<LPWSTR>(buffer_.lparam(RemoteBuffer::kText));
        it.cchTextMax = RemoteBuffer::kTextChars;
        buffer_.write(&it, sizeof it);
        std::wstring text(static_cast<std::size_t>(sendOrFail(list_, LVM_GETITEMTEXTW, item, buffer_.lparam())), L'\0');
        buffer_.read(text.data(), text.size() * sizeof(wchar_t), RemoteBuffer::kText);
        return text;
    }
    bool selected(int item) const { return sendOrFail(list_, LVM_GETITEMSTATE, item, LVIS_SELECTED) != 0; }
    std::vector<Cells> rows() const {
        std::vector<Cells> out(static_cast<std::size_t>(count()));
        for (std::size_t i = 0; i < out.size(); ++i) {
            for (std::size_t c = 0; c < 6; ++c) out[i][c] = text(static_cast<int>(i), static_cast<int>(c));
        }
        return out;
    }
    // Screen rectangles of a row (LVIR_BOUNDS, LVIR_ICON, ...) and of a header.
    RECT itemRect(int item, int part = LVIR_BOUNDS) const {
        RECT r{part, 0, 0, 0};
        buffer_.write(&r, sizeof r);
        sendOrFail(list_, LVM_GETITEMRECT, item, buffer_.lparam());
        buffer_.read(&r, sizeof r);
        MapWindowPoints(list_, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    RECT headerRect(int column) const {
        const HWND header = reinterpret_cast<HWND>(sendOrFail(list_, LVM_GETHEADER));
        RECT r{};
        sendOrFail(header, HDM_GETITEMRECT, column, buffer_.lparam());
        buffer_.read(&r, sizeof r);
        MapWindowPoints(header, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // How wide a text is in the list's font, without a cell's margins.
    int stringWidth(const std::wstring& text) const {
        buffer_.write(text.c_str(), (text.size() + 1) * sizeof(wchar_t), RemoteBuffer::kText);
        return static_cast<int>(sendOrFail(list_, LVM_GETSTRINGWIDTHW, 0, buffer_.lparam(RemoteBuffer::kText)));
    }
    // The first row whose cells match (empty strings match anything), or -1.
    int find(const std::wstring& name, const std::wstring& modified = {}, const std::wstring& bu = {}) const {
        for (int i = 0, n = count(); i < n; ++i) {
            if (text(i, 0) == name && (modified.empty() || text(i, 1) == modified) && (bu.empty() || text(i, 3) == bu)) return i;
        }
        return -1;
    }

private:
    HWND list_;
    RemoteBuffer buffer_;
};

// Input through the pointer and the keyboard: the window under the pointer,
// of whatever process, gets the messages a real click makes.
inline void sendInput(DWORD type, DWORD flags, WORD key = 0) {
    INPUT in{};
    in.type = type;
    if (type == INPUT_MOUSE) in.mi.dwFlags = flags;
    if (type == INPUT_KEYBOARD) in.ki = KEYBDINPUT{key, 0, flags, 0, 0};
    SendInput(1, &in, sizeof in);
}
// Two clicks at one place are one double-click unless the double-click time
// lies between them: separate clicks wait it out, as a person's do.
inline ULONGLONG lastClick = 0;
inline void moveTo(POINT p, bool waitOutDoubleClick = true) {
    const ULONGLONG ready = lastClick + GetDoubleClickTime() + 50, now = GetTickCount64();
    if (waitOutDoubleClick && now < ready) Sleep(static_cast<DWORD>(ready - now));
    SetCursorPos(p.x, p.y);
    Sleep(30);  // the pointer's move reaches the window before the button does
}
// A click (times 2: a double-click) of the left button, or of the right one given MOUSEEVENTF_RIGHTDOWN.
inline void click(POINT screen, int times = 1, WORD modifier = 0, DWORD down = MOUSEEVENTF_LEFTDOWN) {
    moveTo(screen);
    if (modifier != 0) sendInput(INPUT_KEYBOARD, 0, modifier);
    for (int i = 0; i < times; ++i) {
        Sleep(i > 0 ? 40 : 0);
        sendInput(INPUT_MOUSE, down);
        Sleep(20);
        sendInput(INPUT_MOUSE, down << 1);  // the button's UP flag
    }
    if (modifier != 0) sendInput(INPUT_KEYBOARD, KEYEVENTF_KEYUP, modifier);
    lastClick = GetTickCount64();
    Sleep(50);
}
inline void drag(POINT from, POINT to) {
    moveTo(from);
    sendInput(INPUT_MOUSE, MOUSEEVENTF_LEFTDOWN);
    Sleep(50);
    for (int step = 1; step <= 4; ++step) moveTo(POINT{from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4}, false);
    sendInput(INPUT_MOUSE, MOUSEEVENTF_LEFTUP);
    lastClick = GetTickCount64();
    Sleep(50);
}
// A key, with a modifier (VK_SHIFT, VK_CONTROL, VK_MENU) held or none.
inline void pressKey(WORD virtualKey, WORD modifier = 0) {
    if (modifier != 0) sendInput(INPUT_KEYBOARD, 0, modifier);
    sendInput(INPUT_KEYBOARD, 0, virtualKey);
    sendInput(INPUT_KEYBOARD, KEYEVENTF_KEYUP, virtualKey);
    if (modifier != 0) sendInput(INPUT_KEYBOARD, KEYEVENTF_KEYUP, modifier);
    Sleep(50);
}

// Clicks a button of another process's window by its ID (posted, so that a
// handler that opens a modal window cannot block the test).
inline void press(HWND window, int id) {
    const HWND button = findControl(window, id);
    ASSERT_TRUE(button) << "no control " << id;
    ASSERT_TRUE(IsWindowEnabled(button)) << "control " << id << " is disabled";
    PostMessageW(button, BM_CLICK, 0, 0);
}
inline bool waitGone(HWND window, DWORD ms = 60000) {
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
}

// The text a message box shows (its static text's ID is 0xFFFF).
inline std::wstring messageText(HWND box) { return textOf(GetDlgItem(box, 0xFFFF)); }

// The program as the build made it, beside the help page the zip packs.
inline fs::path builtProgram() { return fromHost(MABREL_WIN32_EXECUTABLE); }

class FrontEndTest : public ::testing::Test {
protected:
    FrontEndTest() : folder(work.mkdir("資料 フォルダ")) {
        fs::copy_file(builtProgram(), exe(), fs::copy_options::overwrite_existing);
        SetEnvironmentVariableW(L"MABREL_RECORD", record.wstring().c_str());
        // Rectangles in the pixels the program lays out in: per-monitor aware as it is, Windows scales nothing.
        SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
    ~FrontEndTest() override {
        if (running() && TerminateProcess(info_.hProcess, 1)) WaitForSingleObject(info_.hProcess, 10000);
        if (info_.hProcess) CloseHandle(info_.hProcess);
        if (info_.hThread) CloseHandle(info_.hThread);
    }

    // The program started with the text after its name.
    PROCESS_INFORMATION launch(const std::wstring& arguments) const {
        std::wstring commandLine = L"\"" + exe().wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe().wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            programDir.path().wstring().c_str(), &startup, &info)) {
            ADD_FAILURE() << "cannot start " << exe() << ", error " << GetLastError();
        }
        return info;
    }
    // Starts it and waits until its main window shows a loaded folder. Fails the test otherwise.
    void start(const std::wstring& arguments) {
        info_ = launch(arguments);
        ASSERT_TRUE(info_.hProcess);
        const bool shown = waitUntil([&] { return (main_ = waitWindow(ids::kMainWindowClass, nullptr, 0)) || !running(); });
        ASSERT_TRUE(shown && main_) << "no main window appeared" << (running() ? "" : "; the program ended");
        ASSERT_TRUE(waitUntil([&] { return !textOf(control(ids::StatusBar1)).empty(); })) << "no folder loaded: no counts";
        WaitForInputIdle(info_.hProcess, 5000);
    }
    bool running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    bool waitExit(DWORD ms = 20000) const { return !info_.hProcess || WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0; }
    HWND main() const { return main_; }
    HWND control(int id) const {
        const HWND c = findControl(main_, id);
        EXPECT_TRUE(c) << "the main window has no control " << id;
        return c;
    }
    fs::path exe() const { return programDir.path() / "mabrel9-iv.exe"; }
    fs::path settingsFile() const { return programDir.path() / "mabrel9-iv.ini"; }
    // The first visible top-level window of the program of the class (L"#32770":
    // a message box) in z-order that is not `previous`, or null after ms.
    HWND waitWindow(const std::wstring& windowClass, HWND previous = nullptr, DWORD ms = 10000) const {
        HWND found = nullptr;
        waitUntil([&] {
            for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == info_.dwProcessId && w != previous && IsWindowVisible(w) && classOf(w) == windowClass) found = w;
            }
            return found != nullptr;
        }, ms);
        return found;
    }

    // A file of the folder with its modification time (local time).
    fs::path file(const std::wstring& name, const std::string& bytes, int year = 2024, int month = 1, int day = 1,
                  int hour = 0, int minute = 0, int second = 0) const {
        const fs::path p = folder / name;
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
        mabrel::test::setModificationTime(p, year, month, day, hour, minute, second);
        return p;
    }
    // A copy in "_mabre-l94", read-only, with the time in its name, as the program leaves them.
    void backup(const std::wstring& name, const std::string& bytes) const {
        fs::create_directories(backupDir());
        const fs::path p = backupDir() / name;
        std::ofstream(p, std::ios::binary) << bytes;
        int t[6] = {};
        std::swscanf(name.c_str() + name.find_last_of(L'_') + 1, L"%4d-%2d-%2d %2d-%2d-%2d", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5]);
        mabrel::test::setModificationTime(p, t[0], t[1], t[2], t[3], t[4], t[5]);
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    }
    // The comment file, lines in the ANSI code page ended by CR LF.
    void comments(const std::vector<std::wstring>& lines) const {
        std::ofstream out(folder / L"_mabre.l94", std::ios::binary);
        for (const auto& line : lines) out << ansi(line) << "\r\n";
    }
    fs::path backupDir() const { return folder / L"_mabre-l94"; }
    // What the recorder wrote (recorder.cpp): its show command and arguments, a line each.
    std::wstring recorded() const {
        const std::string bytes = mabrel::test::readBytes(record);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }
    void start() { start(L"\"" + folder.wstring() + L"\""); }
    // The main window's caption: the folder it shows, in capitals.
    static std::wstring captionFor(const fs::path& shown) {
        std::wstring caption = L" " + folderForm(shown);
        CharUpperW(caption.data());
        return caption;
    }
    ListView list() const { return ListView(control(ids::lvwFiles)); }
    std::vector<std::wstring> names() const {  // column 1, in list order
        std::vector<std::wstring> out;
        for (const auto& row : list().rows()) out.push_back(row[0]);
        return out;
    }
    // A click on the first row, Ctrl+clicks on the others.
    void selectRows(const std::vector<int>& rows) const {
        const ListView l = list();
        for (std::size_t i = 0; i < rows.size(); ++i) click(centre(l.itemRect(rows[i], LVIR_LABEL)), 1, static_cast<WORD>(i ? VK_CONTROL : 0));
        waitUntil([&] { return sendOrFail(l.hwnd(), LVM_GETSELECTEDCOUNT) == static_cast<LRESULT>(rows.size()); });
    }
    // Right button over a row: the context menu.
    HWND contextMenu(int row) const {
        click(centre(list().itemRect(row, LVIR_LABEL)), 1, 0, MOUSEEVENTF_RIGHTDOWN);
        return waitWindow(ids::kModalWindowClass);
    }

    mabrel::test::TempDir work, programDir;  // the program apart: the settings file beside it is the test's
    fs::path folder;  // in the program's form (C:\...)
    const fs::path record = work.path() / "record.log";
    PROCESS_INFORMATION info_{};
    HWND main_ = nullptr;
};

}  // namespace mabrel::win32gui::test
