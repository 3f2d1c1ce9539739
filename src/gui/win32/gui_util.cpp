#include "gui/win32/gui_util.h"

#include <cmath>
#include <map>
#include <utility>

namespace mabrel::win32gui {

namespace {

// Windows 10 1607 and later; looked up so that the program still starts on
// older systems, where every monitor has the system's resolution.
template <typename F>
F user32Function(const char* name) {
    static HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

UINT systemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int CALLBACK faceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool faceExists(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, faceFound, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

std::wstring chooseFace() {
    // The face the windows were designed with (its Japanese and its English
    // name), one with its metrics (IPA P Gothic, as Wine on Linux may have),
    // then the faces Japanese Windows itself uses for its windows.
    for (const wchar_t* face : {L"ＭＳ Ｐゴシック", L"MS PGothic", L"IPA Pゴシック", L"IPAPGothic", L"Yu Gothic UI",
                                L"Meiryo UI", L"MS UI Gothic"}) {
        if (faceExists(face)) return face;
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        return metrics.lfMessageFont.lfFaceName;
    }
    return L"MS Shell Dlg 2";
}

std::wstring chooseFixedFace() {
    for (const wchar_t* face : {L"ＭＳ ゴシック", L"MS Gothic", L"IPAゴシック", L"IPAGothic", L"BIZ UDGothic"}) {
        if (faceExists(face)) return face;
    }
    return designFace();
}

}  // namespace

UINT dpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return dpi;
    }
    static const UINT fallback = systemDpi();
    return fallback;
}

SIZE outerSize(DWORD style, DWORD exStyle, int clientWidth, int clientHeight, UINT dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = user32Function<AdjustFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, clientWidth, clientHeight};
    if (adjustForDpi != nullptr) {
        adjustForDpi(&r, style, FALSE, exStyle, dpi);
    } else {
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

std::string windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return narrow(text);
}

void setWindowTextIfChanged(HWND window, const std::string& utf8) {
    if (windowText(window) != utf8) ::SetWindowTextW(window, widen(utf8).c_str());
}

std::wstring designFace() {
    static const std::wstring face = chooseFace();
    return face;
}

HFONT designFont(FontKind kind, UINT dpi) {
    static std::map<std::pair<FontKind, UINT>, HFONT> fonts;
    const auto key = std::make_pair(kind, dpi);
    if (auto it = fonts.find(key); it != fonts.end()) return it->second;
    const double points = kind == FontKind::Normal ? 9.0 : kind == FontKind::Lines ? 10.0 : 9.75;
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
    font.lfWeight = kind == FontKind::BoldPicture ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    static const std::wstring fixedFace = chooseFixedFace();
    (kind == FontKind::Lines ? fixedFace : designFace()).copy(font.lfFaceName, LF_FACESIZE - 1);
    HFONT made = ::CreateFontIndirectW(&font);
    fonts.emplace(key, made);
    return made;
}

HWND ControlLayout::add(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
                        DWORD exStyle, const Geometry& geometry, int id, FontKind font, UINT dpi) {
    const gui::PixelRect r = scaleFor(dpi).toPixels(geometry);
    HWND control = ::CreateWindowExW(exStyle, className, text.c_str(), style | WS_CHILD | WS_CLIPSIBLINGS, r.left,
                                     r.top, r.width, r.height, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                                     nullptr);
    if (control == nullptr) return nullptr;
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(designFont(font, dpi)), FALSE);
    controls_.push_back({control, geometry, font});
    return control;
}

void ControlLayout::setGeometry(HWND window, const Geometry& geometry) {
    for (Placed& p : controls_) {
        if (p.window == window) p.geometry = geometry;
    }
}

void ControlLayout::apply(UINT dpi) const {
    const gui::TwipScale scale = scaleFor(dpi);
    for (const Placed& p : controls_) {
        const gui::PixelRect r = scale.toPixels(p.geometry);
        ::SetWindowPos(p.window, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
        HFONT font = designFont(p.font, dpi);
        if (reinterpret_cast<HFONT>(::SendMessageW(p.window, WM_GETFONT, 0, 0)) != font) {
            ::SendMessageW(p.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }
}

bool hasClass(HWND control, const wchar_t* className) {
    wchar_t name[64] = {};
    if (::GetClassNameW(control, name, 64) == 0) return false;
    return ::lstrcmpiW(name, className) == 0;
}

bool isPushButton(HWND control) {
    if (control == nullptr || !hasClass(control, L"Button")) return false;
    const LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace mabrel::win32gui
