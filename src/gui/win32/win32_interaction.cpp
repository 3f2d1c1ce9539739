#include "gui/win32/win32_interaction.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "app/frm_mabrel94.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/win32/compare_window.h"
#include "gui/win32/control_ids.h"
#include "gui/win32/dialogs.h"
#include "settings/frm_option.h"

namespace mabrel::win32gui {

namespace {

constexpr int kIconSize = 16;
// A copy shows its progress once it has run this long; until then it looks
// at the queue this often.
constexpr std::uint64_t kProgressDelayMs = 500;
constexpr std::uint64_t kPumpMs = 50;

// The file's name extension in lower case ("" for none).
std::wstring extensionOf(const std::wstring& path) {
    const std::size_t nameStart = path.find_last_of(L"\\/");
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart)) return {};
    std::wstring extension = path.substr(dot);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
    return extension;
}

// Kinds of file whose icon is in the file itself, not in its type.
bool iconInFile(const std::wstring& extension) {
    for (const wchar_t* own : {L".exe", L".ico", L".cur", L".ani", L".scr", L".lnk"}) {
        if (extension == own) return true;
    }
    return false;
}

// The icon drawn at 16 x 16 on black and on white: what differs between the
// two is the transparency, what is left the colour.
SharedIcon render16(HICON icon) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kIconSize;
    info.bmiHeader.biHeight = -kIconSize;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    std::uint32_t* onBlack = nullptr;
    std::uint32_t* onWhite = nullptr;
    HBITMAP black = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&onBlack), nullptr, 0);
    HBITMAP white = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&onWhite), nullptr, 0);
    SharedIcon result;
    if (black != nullptr && white != nullptr) {
        const std::size_t count = kIconSize * kIconSize;
        std::fill(onBlack, onBlack + count, 0x00000000u);
        std::fill(onWhite, onWhite + count, 0x00FFFFFFu);
        HGDIOBJ old = ::SelectObject(dc, black);
        ::DrawIconEx(dc, 0, 0, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        ::SelectObject(dc, white);
        ::DrawIconEx(dc, 0, 0, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        ::SelectObject(dc, old);
        ::GdiFlush();

        IconImage image;
        image.width = kIconSize;
        image.height = kIconSize;
        image.pixels.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            int alpha = 0;
            std::uint32_t colour = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int b = static_cast<int>((onBlack[i] >> shift) & 0xFF);
                const int w = static_cast<int>((onWhite[i] >> shift) & 0xFF);
                alpha = std::max(alpha, 255 - std::clamp(w - b, 0, 255));
            }
            if (alpha > 0) {
                for (int shift = 0; shift < 24; shift += 8) {
                    const int b = static_cast<int>((onBlack[i] >> shift) & 0xFF);
                    colour |= static_cast<std::uint32_t>(std::min(255, b * 255 / alpha)) << shift;
                }
            }
            image.pixels[i] = (static_cast<std::uint32_t>(alpha) << 24) | colour;
        }
        result = std::make_shared<const IconImage>(std::move(image));
    }
    if (black != nullptr) ::DeleteObject(black);
    if (white != nullptr) ::DeleteObject(white);
    ::DeleteDC(dc);
    return result;
}

// The WinMerge its installer registered: for the user, then for the machine
// (64-bit, then 32-bit); empty when there is none.
std::wstring registeredWinMerge() {
    struct Place {
        HKEY root;
        REGSAM view;
    };
    for (const Place place : {Place{HKEY_CURRENT_USER, 0}, Place{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
                              Place{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}}) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(place.root, L"Software\\Thingamahoochie\\WinMerge", 0, KEY_QUERY_VALUE | place.view, &key) !=
            ERROR_SUCCESS) {
            continue;
        }
        wchar_t value[MAX_PATH * 2] = {};
        DWORD size = sizeof value - sizeof(wchar_t);
        DWORD type = 0;
        const LONG read =
            ::RegQueryValueExW(key, L"Executable", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        ::RegCloseKey(key);
        if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        std::wstring path = value;
        if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
        if (!path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return {};
}

// One argument of a command line, as CommandLineToArgvW reads it back.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

// The small windows, message and input boxes the main window owns (not its
// tooltips).
BOOL CALLBACK closeIfOwned(HWND window, LPARAM ownerParam) {
    const auto owner = reinterpret_cast<HWND>(ownerParam);
    if (window == owner || !::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != owner) return TRUE;
    if (hasClass(window, ids::kModalWindowClass) || hasClass(window, L"#32770")) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

bool isInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// The pointer as the window under it wants it.
void restoreCursor() {
    POINT at{};
    ::GetCursorPos(&at);
    HWND under = ::WindowFromPoint(at);
    if (under != nullptr && ::GetWindowThreadProcessId(under, nullptr) == ::GetCurrentThreadId()) {
        const auto hit = static_cast<WORD>(::SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)));
        ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
    } else {
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    }
}

}  // namespace

Win32Interaction::Win32Interaction(platform::FileSystem& fs) : fs_(fs) {}

Win32Interaction::~Win32Interaction() = default;

void Win32Interaction::messageBox(const std::string& text) {
    loadProgressEnd();  // the box must take the person's answer
    if (renderHandler_) renderHandler_();
    ModalScope scope(*this);
    ::MessageBoxW(owner_, widen(text).c_str(), widen(kAppTitle).c_str(), MB_OK);
}

bool Win32Interaction::askYesNo(const std::string& text) {
    loadProgressEnd();
    if (renderHandler_) renderHandler_();
    ModalScope scope(*this);
    // いいえ first: nothing is lost by a key pressed unthinking.
    return ::MessageBoxW(owner_, widen(text).c_str(), widen(kAppTitle).c_str(), MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::string> Win32Interaction::inputBox(const std::string& prompt, const std::string& title,
                                                      const std::string& defaultText) {
    InputBoxWindow box(*this, prompt, title, defaultText);
    box.runModal();
    return box.answer();
}

void Win32Interaction::showModal(frm_rclick& window) {
    window.Form_Load();
    RClickWindow shown(*this, window);
    if (!window.unloaded) shown.runModal();
    window.unloaded = true;
}

void Win32Interaction::showModal(frm_option& window) {
    window.Form_Load();
    OptionWindow shown(*this, window);
    if (!window.unloaded) shown.runModal();
    window.unloaded = true;
}

void Win32Interaction::showModal(frm_drive& window) {
    window.Form_Load();
    DriveWindow shown(*this, window);
    if (!window.unloaded) shown.runModal();
    window.unloaded = true;
}

void Win32Interaction::showModal(frm_compare& window) {
    window.Form_Load();
    CompareWindow shown(*this, window);
    shown.run();
    window.unloaded = true;
}

void Win32Interaction::setWindowState(WindowState state) {
    if (windowStateHandler_) windowStateHandler_(state);
}

void Win32Interaction::endProgram() {
    if (endProgramHandler_) {
        endProgramHandler_();
    } else {
        ::PostQuitMessage(0);
    }
}

void Win32Interaction::setWaitCursor(bool on) {
    if (on == waitCursorShown_) return;
    waitCursorShown_ = on;
    if (on) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return;
    }
    if (copyStartedAt_ == 0) restoreCursor();
}

void Win32Interaction::shellExecute(const ShellRequest& request) {
    // Only "open" exists. The file goes to the shell as it is, never through
    // a command line a shell would read; the answer is not looked at, as
    // nothing is reported for a failed open.
    if (request.operation != "open" || request.file.empty()) return;
    const std::wstring file = widen(request.file);
    const std::wstring parameters = widen(request.parameters);
    const std::wstring directory = widen(request.directory);
    ::ShellExecuteW(owner_, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                    directory.empty() ? nullptr : directory.c_str(), request.showCommand);
}

bool Win32Interaction::openInCompareTool(const CompareToolRequest& request) {
    const std::wstring program = registeredWinMerge();
    if (program.empty()) return false;
    // Closed by Escape, kept out of its recent files, both sides read-only.
    std::wstring commandLine = quoted(program) + L" /e /u /wl /wr /dl " + quoted(widen(request.olderTitle)) + L" /dr " +
                               quoted(widen(request.newerTitle)) + L" " + quoted(widen(request.older)) + L" " +
                               quoted(widen(request.newer));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

SharedIcon Win32Interaction::iconFor(const std::string& path) {
    const std::wstring wide = widen(path);
    const std::wstring extension = extensionOf(wide);
    const bool shared = !iconInFile(extension);
    if (shared) {
        if (auto it = iconsByExtension_.find(extension); it != iconsByExtension_.end()) return it->second;
    }
    // The call may write the path of the file the icon came from into the
    // buffer: room for the longest path there is.
    std::vector<wchar_t> buffer(std::max<std::size_t>(wide.size() + 1, 32768), L'\0');
    std::copy(wide.begin(), wide.end(), buffer.begin());
    WORD index = 0;
    SharedIcon picture;
    HICON icon = ::ExtractAssociatedIconW(::GetModuleHandleW(nullptr), buffer.data(), &index);
    if (icon == nullptr) {
        // Wine finds no icon this way for a file that is not a program: the
        // shell's icon for the file then.
        SHFILEINFOW info{};
        if (::SHGetFileInfoW(wide.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON)) icon = info.hIcon;
    }
    if (icon != nullptr) {
        picture = render16(icon);
        ::DestroyIcon(icon);
    }
    if (shared) iconsByExtension_.emplace(extension, picture);
    return picture;
}

unsigned Win32Interaction::driveType(const std::string& root) {
    try {
        return fs_.driveType(root);
    } catch (const std::exception&) {
        return 0;  // not determinable
    }
}

void Win32Interaction::beginCopy() {
    // From the first report on, the main window takes no input: what the
    // person does there meanwhile is dropped, not run once the copy is over.
    copyStartedAt_ = std::max<std::uint64_t>(::GetTickCount64(), 1);
    copyPumpedAt_ = copyStartedAt_;
    copyScope_ = std::make_unique<ModalScope>(*this);
    focusBeforeCopy_ = ::GetFocus();
    copyDisabledOwner_ = owner_ != nullptr && ::IsWindowEnabled(owner_);
    if (copyDisabledOwner_) ::EnableWindow(owner_, FALSE);
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

bool Win32Interaction::copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) {
    if (copyEnding_) return false;
    if (copyStartedAt_ == 0) beginCopy();
    const std::uint64_t now = ::GetTickCount64();
    if (!progress_ && now - copyStartedAt_ >= kProgressDelayMs) {
        progress_ = std::make_unique<ProgressWindow>(*this);
        progress_->show();
        ::UpdateWindow(progress_->window());
    }
    // A short copy shows nothing.
    if (progress_) return progress_->update(fileName, copied, total);
    if (now - copyPumpedAt_ < kPumpMs) return true;
    copyPumpedAt_ = now;
    return pumpDuringCopy();
}

bool Win32Interaction::pumpDuringCopy() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The program is to end: the copy ends as a cancelled one.
            copyEnding_ = true;
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        // The person's input goes to the progress window only.
        if (isInput(msg.message) &&
            !(progress_ && (msg.hwnd == progress_->window() || ::IsChild(progress_->window(), msg.hwnd)))) {
            continue;
        }
        if (progress_ && progress_->handleDialogMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

void Win32Interaction::copyProgressEnd() {
    if (copyStartedAt_ == 0) return;
    // Input made during the copy that is still on its way is dropped too.
    if (!copyEnding_) pumpDuringCopy();
    // The main window is enabled before the progress window goes, so that it
    // becomes the active window again.
    if (copyDisabledOwner_ && owner_ != nullptr) ::EnableWindow(owner_, TRUE);
    progress_.reset();
    if (owner_ != nullptr && ::GetActiveWindow() == owner_ && ::GetFocus() == nullptr &&
        focusBeforeCopy_ != nullptr && ::IsChild(owner_, focusBeforeCopy_)) {
        ::SetFocus(focusBeforeCopy_);
    }
    copyScope_.reset();
    copyStartedAt_ = 0;
    copyDisabledOwner_ = false;
    copyEnding_ = false;
    focusBeforeCopy_ = nullptr;
    if (!waitCursorShown_) restoreCursor();
}

bool Win32Interaction::loadProgress(const std::string& statusText) {
    const std::uint64_t now = ::GetTickCount64();
    if (loadStartedAt_ == 0) {
        // The window as the load has left it so far (controls, an empty
        // list), painted before the load takes it over.
        if (renderHandler_) renderHandler_();
        loadStartedAt_ = std::max<std::uint64_t>(now, 1);
        loadPumpedAt_ = 0;
        loadCancelled_ = false;
        loadDisabledOwner_ = owner_ != nullptr && ::IsWindowEnabled(owner_);
        if (loadDisabledOwner_) ::EnableWindow(owner_, FALSE);
    } else if (statusHandler_) {
        statusHandler_(statusText);
    }
    if (now - loadPumpedAt_ >= kPumpMs) {
        loadPumpedAt_ = now;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The program is to end: the load stops.
                loadCancelled_ = true;
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (isInput(msg.message)) continue;  // dropped, as during a copy
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return !loadCancelled_;
}

void Win32Interaction::loadProgressEnd() {
    if (loadStartedAt_ == 0) return;
    if (loadDisabledOwner_ && owner_ != nullptr) ::EnableWindow(owner_, TRUE);
    loadStartedAt_ = 0;
    loadDisabledOwner_ = false;
}

void Win32Interaction::closeOwnedWindows() {
    if (owner_ != nullptr) ::EnumThreadWindows(::GetCurrentThreadId(), closeIfOwned, reinterpret_cast<LPARAM>(owner_));
}

}  // namespace mabrel::win32gui
