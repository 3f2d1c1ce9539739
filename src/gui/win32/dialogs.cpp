#include "gui/win32/dialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/shared/title_bar.h"
#include "gui/win32/control_ids.h"
#include "gui/win32/win32_interaction.h"
#include "settings/frm_option.h"

namespace mabrel::win32gui {

namespace {

// Without WS_CLIPCHILDREN: the window paints its background under the frames,
// which draw only their edges.
constexpr DWORD kModalStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kModalExStyle = WS_EX_DLGMODALFRAME;

void registerModalClass(HINSTANCE instance, WNDPROC proc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ids::kModalWindowClass;
    registered = ::RegisterClassExW(&wc) != 0;
}

// The controls in the order the tab key visits them (lowest index first).
template <typename T>
std::vector<T> inTabOrder(std::vector<std::pair<int, T>> items) {
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<T> out;
    for (auto& item : items) out.push_back(std::move(item.second));
    return out;
}

// The least client width at which the caption reads in full in the title
// bar: Windows draws it in the caption font beside the close button, window
// managers (under Wine) as title_bar.h says.
int captionWidth(const std::wstring& caption, UINT dpi) {
    using SystemParametersForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = reinterpret_cast<SystemParametersForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    bool scaled = forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi);
    if (!scaled && !::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        metrics.lfCaptionFont = LOGFONTW{};
        designFace().copy(metrics.lfCaptionFont.lfFaceName, LF_FACESIZE - 1);
    }
    LOGFONTW font = metrics.lfCaptionFont;
    if (!scaled) font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), 96);
    font.lfWeight = FW_BOLD;
    const LONG least = -std::lround(gui::kTitleBarPoints * dpi / 72.0);
    if (font.lfHeight > least) font.lfHeight = least;
    HFONT made = ::CreateFontIndirectW(&font);
    HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, made);
    SIZE text{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(made);
    return gui::titleBarWidth(text.cx, text.cy, dpi / 96.0);
}

std::wstring withDigitGroups(std::uint64_t n) {
    std::wstring digits = std::to_wstring(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), L",");
    return digits;
}

}  // namespace

// --- ModalWindow --------------------------------------------------------------

ModalWindow::ModalWindow(Win32Interaction& ui, const std::string& caption, int clientWidth, int clientHeight)
    : ui_(ui), caption_(widen(caption)), clientWidth_(clientWidth), clientHeight_(clientHeight) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerModalClass(instance, windowProc);
    HWND owner = ui_.owner();
    dpi_ = dpiOf(owner);

    // Centred on the main window, or on its monitor's work area while the
    // main window is not to be seen.
    const gui::TwipScale scale = scaleFor(dpi_);
    const SIZE outer = outerSize(kModalStyle, kModalExStyle, clientWidthPx(), scale.toPxY(clientHeight_), dpi_);
    RECT around{};
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &around);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &info);
        around = info.rcWork;
    }
    const int x = around.left + ((around.right - around.left) - outer.cx) / 2;
    const int y = around.top + ((around.bottom - around.top) - outer.cy) / 2;

    window_ = ::CreateWindowExW(kModalExStyle, ids::kModalWindowClass, caption_.c_str(), kModalStyle, x, y,
                                outer.cx, outer.cy, owner, nullptr, instance, this);
    // A window placed on another monitor than the main window's takes its
    // resolution from there.
    const UINT actual = dpiOf(window_);
    if (actual != dpi_) {
        dpi_ = actual;
        resizeToClient();
    }
}

ModalWindow::~ModalWindow() {
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

HWND ModalWindow::addControl(const wchar_t* className, const std::string& text, DWORD style,
                             const Geometry& geometry, int id, DWORD exStyle) {
    return layout_.add(window_, className, widen(text), style | WS_VISIBLE, exStyle, geometry, id, FontKind::Normal,
                       dpi_);
}

HWND ModalWindow::addButton(const Control& c, int id, DWORD style) {
    HWND button = addControl(L"Button", c.caption, style, c.geometry, id);
    if (c.cancel) cancelButton_ = button;
    ::EnableWindow(button, c.enabled);
    if (!c.visible) ::ShowWindow(button, SW_HIDE);
    return button;
}

HWND ModalWindow::addEdit(const TextBox& t, int id, DWORD style) {
    rendering_ = true;
    HWND edit = addControl(L"Edit", t.text, style | ES_AUTOHSCROLL | WS_TABSTOP, t.geometry, id, WS_EX_CLIENTEDGE);
    rendering_ = false;
    return edit;
}

int ModalWindow::clientWidthPx() const {
    return std::max(scaleFor(dpi_).toPxX(clientWidth_), captionWidth(caption_, dpi_));
}

void ModalWindow::resizeToClient() {
    const gui::TwipScale scale = scaleFor(dpi_);
    const SIZE outer = outerSize(kModalStyle, kModalExStyle, clientWidthPx(), scale.toPxY(clientHeight_), dpi_);
    ::SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout_.apply(dpi_);
}

void ModalWindow::show() {
    ::ShowWindow(window_, SW_SHOW);
    // The first control in tab order that can take the focus.
    for (HWND c = ::GetWindow(window_, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        const LONG_PTR style = ::GetWindowLongPtrW(c, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && ::IsWindowEnabled(c)) {
            ::SetFocus(c);
            if (hasClass(c, L"Edit")) ::SendMessageW(c, EM_SETSEL, 0, -1);
            return;
        }
    }
    ::SetFocus(window_);
}

void ModalWindow::runModal() {
    Win32Interaction::ModalScope scope(ui_);
    HWND owner = ui_.owner();
    // Nested in another modal window, the main window is already disabled.
    const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    show();
    MSG msg;
    while (!finished_) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: close as through the title bar and let
            // the outer loop see the quit too.
            onClosedByPerson();
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (preTranslate(msg)) continue;
        if (::IsDialogMessageW(window_, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // The owner is enabled before this window goes, so that it becomes the
    // active window again.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    ::ShowWindow(window_, SW_HIDE);
}

bool ModalWindow::handleDialogMessage(MSG& msg) {
    return preTranslate(msg) || ::IsDialogMessageW(window_, &msg);
}

bool ModalWindow::preTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    if (msg.hwnd != window_ && !::IsChild(window_, msg.hwnd)) return false;
    if (msg.wParam == VK_RETURN) {
        onEnter(::GetFocus());
        return true;
    }
    if (msg.wParam == VK_ESCAPE) {
        if (cancelButton_ != nullptr && ::IsWindowEnabled(cancelButton_)) {
            ::SendMessageW(cancelButton_, BM_CLICK, 0, 0);
            return true;
        }
        if (!finished_) onClosedByPerson();
        finish();
        return true;
    }
    return false;
}

void ModalWindow::onEnter(HWND focus) {
    // The focused button, never a window default.
    if (isPushButton(focus) && ::IsWindowEnabled(focus) && ::IsChild(window_, focus)) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void ModalWindow::finish() {
    finished_ = true;
    // Wakes the loop should nothing else be waiting.
    if (window_ != nullptr) ::PostMessageW(window_, WM_NULL, 0, 0);
}

LRESULT CALLBACK ModalWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<ModalWindow*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<ModalWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT ModalWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0 && !finished_) onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_CLOSE:
        if (!finished_) onClosedByPerson();
        finish();
        return 0;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        resizeToClient();
        return 0;
    }
    default:
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

// --- Context menu ---------------------------------------------------------------

RClickWindow::RClickWindow(Win32Interaction& ui, frm_rclick& model)
    : ModalWindow(ui, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    std::vector<std::pair<int, int>> order;
    for (int i = 0; i < static_cast<int>(model_.Command1.size()); ++i) {
        order.emplace_back(model_.Command1[static_cast<std::size_t>(i)].tabIndex, i);
    }
    // "キャンセル" first in tab order: Enter on opening cancels.
    for (int i : inTabOrder(order)) {
        addButton(model_.Command1[static_cast<std::size_t>(i)], ids::rclickCommand1 + i,
                  BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP);
    }
}

void RClickWindow::onCommand(int id, int code, HWND) {
    const int index = id - ids::rclickCommand1;
    if (code != BN_CLICKED || index < 0 || index >= static_cast<int>(model_.Command1.size())) return;
    model_.Command1_Click(index);
    if (model_.unloaded) finish();
}

void RClickWindow::onClosedByPerson() {
    // No unload handler: p_dialogResult keeps the 0 of its load.
    model_.unloaded = true;
}

// --- Options ---------------------------------------------------------------------

OptionWindow::OptionWindow(Win32Interaction& ui, frm_option& model)
    : ModalWindow(ui, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    // Option buttons sit inside their frames: placed relative to them.
    const auto inFrame = [](const Control& frame, Control option) {
        option.geometry.left += frame.geometry.left;
        option.geometry.top += frame.geometry.top;
        return option;
    };
    // The tab order of the design: each frame's options, its list, the buttons.
    for (int i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::size_t>(i);
        option1_[idx] = addButton(inFrame(model_.Frame1, model_.Option1[idx]), ids::optionOption1 + i,
                                  BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0));
    }
    text1_ = addEdit(model_.Text1, ids::optionText1, WS_GROUP);
    for (int i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::size_t>(i);
        option2_[idx] = addButton(inFrame(model_.Frame2, model_.Option2[idx]), ids::optionOption2 + i,
                                  BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0));
    }
    text2_ = addEdit(model_.Text2, ids::optionText2, WS_GROUP);
    addButton(model_.Command1, ids::optionCommand1, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP);
    addButton(model_.Command2, ids::optionCommand2, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP);
    // The frames last, under everything in them.
    addButton(model_.Frame1, ids::optionFrame1, BS_GROUPBOX | WS_GROUP);
    addButton(model_.Frame2, ids::optionFrame2, BS_GROUPBOX | WS_GROUP);
    render();
}

void OptionWindow::render() {
    rendering_ = true;
    for (int i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::size_t>(i);
        ::SendMessageW(option1_[idx], BM_SETCHECK, model_.option1Selected == i ? BST_CHECKED : BST_UNCHECKED, 0);
        ::SendMessageW(option2_[idx], BM_SETCHECK, model_.option2Selected == i ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    setWindowTextIfChanged(text1_, model_.Text1.text);
    setWindowTextIfChanged(text2_, model_.Text2.text);
    rendering_ = false;
}

void OptionWindow::onCommand(int id, int code, HWND control) {
    if (rendering_) return;
    if (code == EN_CHANGE) {
        if (id == ids::optionText1) model_.Text1.text = windowText(control);
        if (id == ids::optionText2) model_.Text2.text = windowText(control);
        return;
    }
    if (code != BN_CLICKED) return;
    if (id == ids::optionOption1 || id == ids::optionOption1 + 1) {
        model_.Option1_Click(id - ids::optionOption1);
    } else if (id == ids::optionOption2 || id == ids::optionOption2 + 1) {
        model_.Option2_Click(id - ids::optionOption2);
    } else if (id == ids::optionCommand1) {
        model_.Command1_Click();
    } else if (id == ids::optionCommand2) {
        model_.Command2_Click();
    }
    if (model_.unloaded) {
        finish();
    } else {
        render();
    }
}

void OptionWindow::onClosedByPerson() {
    model_.Form_Unload();
    model_.unloaded = true;
}

// --- Drive chooser ---------------------------------------------------------------

DriveWindow::DriveWindow(Win32Interaction& ui, frm_drive& model)
    : ModalWindow(ui, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    enum Kind { Text, Ok, Cancel, Option };
    std::vector<std::pair<int, std::pair<Kind, int>>> order{{model_.Text1.tabIndex, {Text, 0}},
                                                            {model_.Command1.tabIndex, {Ok, 0}},
                                                            {model_.Command2.tabIndex, {Cancel, 0}}};
    for (int i = 0; i <= frm_drive::kDriveCount; ++i) {
        order.push_back({model_.Option1[static_cast<std::size_t>(i)].tabIndex, {Option, i}});
    }
    bool groupStarted = false;
    for (const auto& [kind, index] : inTabOrder(order)) {
        switch (kind) {
        case Text: text1_ = addEdit(model_.Text1, ids::driveText1, WS_GROUP); break;
        case Ok: addButton(model_.Command1, ids::driveCommand1, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP); break;
        case Cancel: addButton(model_.Command2, ids::driveCommand2, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP); break;
        case Option:
            // One option group: the arrow keys move within it.
            options_[static_cast<std::size_t>(index)] =
                addButton(model_.Option1[static_cast<std::size_t>(index)], ids::driveOption1 + index,
                          BS_AUTORADIOBUTTON | (groupStarted ? 0 : WS_GROUP | WS_TABSTOP));
            groupStarted = true;
            break;
        }
    }
    render();
}

void DriveWindow::render() {
    rendering_ = true;
    for (int i = 0; i <= frm_drive::kDriveCount; ++i) {
        const Control& c = model_.Option1[static_cast<std::size_t>(i)];
        HWND r = options_[static_cast<std::size_t>(i)];
        setWindowTextIfChanged(r, c.caption);
        ::EnableWindow(r, c.enabled);
        ::ShowWindow(r, c.visible ? SW_SHOWNA : SW_HIDE);
        ::SendMessageW(r, BM_SETCHECK, model_.option1Selected == i ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    setWindowTextIfChanged(text1_, model_.Text1.text);
    rendering_ = false;
}

void DriveWindow::onCommand(int id, int code, HWND control) {
    if (rendering_) return;
    if (id == ids::driveText1) {
        if (code != EN_CHANGE) return;
        model_.Text1.text = windowText(control);
        model_.Text1_Change();
    } else if (code != BN_CLICKED) {
        return;
    } else if (id >= ids::driveOption1 && id <= ids::driveOption1 + frm_drive::kDriveCount) {
        model_.Option1_Click(id - ids::driveOption1);
    } else if (id == ids::driveCommand1) {
        model_.Command1_Click();
    } else if (id == ids::driveCommand2) {
        model_.Command2_Click();
    }
    if (model_.unloaded) {
        finish();
    } else {
        render();
    }
}

void DriveWindow::onClosedByPerson() {
    // No unload handler: p_chosenPath keeps whatever was clicked.
    model_.unloaded = true;
}

// --- Input box -------------------------------------------------------------------

namespace {
// Twips: the prompt on the left, the buttons on the right, the answer below.
constexpr int kInputWidth = 6000;
constexpr int kInputHeight = 1800;
}  // namespace

InputBoxWindow::InputBoxWindow(Win32Interaction& ui, const std::string& prompt, const std::string& title,
                               const std::string& defaultText)
    : ModalWindow(ui, title, kInputWidth, kInputHeight) {
    TextBox text;
    text.text = defaultText;
    text.geometry = {120, 1320, 5760, 330};
    text_ = addEdit(text, ids::inputText, WS_GROUP);
    // Any length the comment file holds, not the edit box's 32,767 characters.
    ::SendMessageW(text_, EM_SETLIMITTEXT, 0, 0x7FFFFFFE);
    addControl(L"Button", "OK", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, {4800, 120, 1080, 375}, ids::inputOk);
    addControl(L"Button", "キャンセル", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, {4800, 570, 1080, 375},
               ids::inputCancel);
    addControl(L"Static", prompt, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, {120, 120, 4560, 1080}, ids::inputPrompt);
}

void InputBoxWindow::onCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return;
    if (id == ids::inputOk) {
        answer_ = windowText(text_);
        finish();
    } else if (id == ids::inputCancel) {
        answer_.reset();
        finish();
    }
}

void InputBoxWindow::onClosedByPerson() { answer_.reset(); }

void InputBoxWindow::onEnter(HWND focus) {
    if (isPushButton(focus) && ::IsChild(window_, focus)) {
        ::SendMessageW(focus, BM_CLICK, 0, 0);
        return;
    }
    onCommand(ids::inputOk, BN_CLICKED, nullptr);
}

// --- Copy progress ---------------------------------------------------------------

namespace {
constexpr int kProgressWidth = 5400;
constexpr int kProgressHeight = 1890;
constexpr int kBarRange = 1000;
}  // namespace

ProgressWindow::ProgressWindow(Win32Interaction& ui)
    : ModalWindow(ui, " mabrel9-iv コピー中", kProgressWidth, kProgressHeight) {
    name_ = addControl(L"Static", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, {120, 120, 5160, 255},
                       ids::progressName);
    bar_ = addControl(PROGRESS_CLASSW, "", 0, {120, 450, 5160, 285}, ids::progressBar);
    ::SendMessageW(bar_, PBM_SETRANGE32, 0, kBarRange);
    text_ = addControl(L"Static", "", SS_LEFT | SS_NOPREFIX, {120, 840, 5160, 255}, ids::progressText);
    addControl(L"Button", "キャンセル", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, {3465, 1260, 1815, 510},
               ids::progressCancel);
}

bool ProgressWindow::update(const std::string& fileName, std::uint64_t copied, std::uint64_t total) {
    // Drawn at most twenty times a second, however small the pieces.
    const std::uint64_t now = ::GetTickCount64();
    if (lastDrawn_ == 0 || now - lastDrawn_ >= 50 || copied == total) {
        lastDrawn_ = now;
        setWindowTextIfChanged(name_, fileName);
        const std::wstring text = withDigitGroups(copied) + L" / " + withDigitGroups(total) + L" バイト";
        ::SetWindowTextW(text_, text.c_str());
        const int position = total == 0 ? kBarRange : static_cast<int>(copied * kBarRange / total);
        ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    if (!ui_.pumpDuringCopy()) cancelled_ = true;
    return !cancelled_;
}

void ProgressWindow::onCommand(int id, int code, HWND) {
    if (id == ids::progressCancel && code == BN_CLICKED) cancelled_ = true;
}

void ProgressWindow::onClosedByPerson() { cancelled_ = true; }

}  // namespace mabrel::win32gui
