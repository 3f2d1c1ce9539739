#include "gui/win32/compare_window.h"

#include <algorithm>

#include "gui/shared/compare_colours.h"
#include "gui/win32/control_ids.h"
#include "gui/win32/win32_interaction.h"

namespace mabrel::win32gui {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTickMs = 40;

COLORREF colourRef(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void fill(HDC dc, const RECT& r, std::uint32_t rgb) {
    HBRUSH brush = ::CreateSolidBrush(colourRef(rgb));
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

bool isTextColumn(int column) { return column == 1 || column == 3; }
bool isNewerColumn(int column) { return column >= 2; }

bool isInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

void registerClass(HINSTANCE instance, WNDPROC proc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = ids::kCompareWindowClass;
    registered = ::RegisterClassExW(&wc) != 0;
}

}  // namespace

CompareWindow::CompareWindow(Win32Interaction& ui, frm_compare& model) : ui_(ui), model_(model) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerClass(instance, windowProc);
    HWND owner = ui_.owner();
    dpi_ = dpiOf(owner);
    const gui::TwipScale scale = scaleFor(dpi_);
    const SIZE outer = outerSize(kStyle, 0, scale.toPxX(model_.clientWidth), scale.toPxY(model_.clientHeight), dpi_);
    // Centred on the main window's monitor.
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    const int x = area.left + std::max(0, static_cast<int>((area.right - area.left) - outer.cx) / 2);
    const int y = area.top + std::max(0, static_cast<int>((area.bottom - area.top) - outer.cy) / 2);
    window_ = ::CreateWindowExW(0, ids::kCompareWindowClass, widen(model_.caption).c_str(), kStyle, x, y, outer.cx,
                                outer.cy, owner, nullptr, instance, this);

    const auto add = [&](const wchar_t* cls, const Control& c, DWORD style, int id, FontKind font, DWORD ex = 0) {
        HWND h = layout_.add(window_, cls, widen(c.caption), style | WS_VISIBLE, ex, c.geometry, id, font, dpi_);
        return h;
    };
    older_ = add(L"Static", model_.lblOlder, SS_LEFT | SS_NOPREFIX, ids::compareOlder, FontKind::Normal);
    newer_ = add(L"Static", model_.lblNewer, SS_LEFT | SS_NOPREFIX, ids::compareNewer, FontKind::Normal);
    list_ = add(WC_LISTVIEWW, model_.grdRows,
                LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | WS_TABSTOP,
                ids::compareRows, FontKind::Lines, WS_EX_CLIENTEDGE);
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                   LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNW c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        c.fmt = isTextColumn(column) ? LVCFMT_LEFT : LVCFMT_RIGHT;
        c.cx = 60;
        c.iSubItem = column;
        ::SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
    }
    status_ = add(L"Static", model_.lblStatus, SS_LEFT | SS_NOPREFIX, ids::compareStatus, FontKind::Normal);
    progress_ = add(PROGRESS_CLASSW, model_.prgProgress, 0, ids::compareProgress, FontKind::Normal);
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, 1000);
    next_ = add(L"Button", model_.cmdNext, BS_PUSHBUTTON | WS_TABSTOP, ids::compareNext, FontKind::Normal);
    previous_ = add(L"Button", model_.cmdPrevious, BS_PUSHBUTTON | WS_TABSTOP, ids::comparePrevious, FontKind::Normal);
    close_ = add(L"Button", model_.cmdClose, BS_PUSHBUTTON | WS_TABSTOP, ids::compareClose, FontKind::Normal);
    started_ = ::GetTickCount64();
    render();
}

CompareWindow::~CompareWindow() {
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

void CompareWindow::run() {
    Win32Interaction::ModalScope scope(ui_);
    HWND owner = ui_.owner();
    const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    ::SetTimer(window_, kTimer, kTickMs, nullptr);
    bool shown = false;
    MSG msg;
    while (!model_.unloaded) {
        if (!shown && model_.visible) {
            // Hidden until now: a file that is no text never shows a window.
            ::ShowWindow(window_, SW_SHOW);
            ::SetFocus(list_);
            shown = true;
        }
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            closeByPerson();
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        // While nothing shows, the person's input goes nowhere.
        if (!shown && isInput(msg.message)) continue;
        if (preTranslate(msg)) continue;
        if (shown && ::IsDialogMessageW(window_, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::KillTimer(window_, kTimer);
    // The owner is enabled before this window goes, so that it becomes the
    // active window again.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    ::ShowWindow(window_, SW_HIDE);
}

bool CompareWindow::preTranslate(const MSG& msg) {
    if (msg.hwnd != window_ && !::IsChild(window_, msg.hwnd)) return false;
    if (msg.message == WM_SYSKEYDOWN && (msg.wParam == VK_DOWN || msg.wParam == VK_UP)) {
        if (msg.wParam == VK_DOWN) {
            model_.cmdNext_Click();
        } else {
            model_.cmdPrevious_Click();
        }
        render();
        return true;
    }
    if (msg.message != WM_KEYDOWN) return false;
    if (msg.wParam == VK_ESCAPE) {
        closeByPerson();
        return true;
    }
    if (msg.wParam == VK_RETURN) {
        HWND focus = ::GetFocus();
        if (isPushButton(focus) && ::IsWindowEnabled(focus)) ::SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

void CompareWindow::closeByPerson() {
    model_.Form_Unload();
    model_.unloaded = true;
}

void CompareWindow::tick() {
    const auto elapsed = static_cast<int>(std::min<ULONGLONG>(::GetTickCount64() - started_, 0x7FFFFFFF));
    if (model_.Timer_Tick(elapsed)) render();
}

void CompareWindow::render() {
    setWindowTextIfChanged(older_, model_.lblOlder.caption);
    setWindowTextIfChanged(newer_, model_.lblNewer.caption);
    setWindowTextIfChanged(status_, model_.lblStatus.caption);
    ::ShowWindow(progress_, model_.prgProgress.visible ? SW_SHOWNA : SW_HIDE);
    // A marquee while the comparison cannot tell how far it is.
    const LONG_PTR style = ::GetWindowLongPtrW(progress_, GWL_STYLE);
    const bool busy = model_.progress < 0;
    if (busy != ((style & PBS_MARQUEE) != 0)) {
        ::SetWindowLongPtrW(progress_, GWL_STYLE, busy ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
        ::SendMessageW(progress_, PBM_SETMARQUEE, busy, 30);
    }
    if (!busy) ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(model_.progress), 0);
    ::EnableWindow(previous_, model_.cmdPrevious.enabled);
    ::EnableWindow(next_, model_.cmdNext.enabled);
    if (shown_ != model_.comparison()) {
        shown_ = model_.comparison();
        const auto rows = shown_ != nullptr ? shown_->rows.size() : 0;
        ::SendMessageW(list_, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
        fitColumns();
    }
    if (shownScrollRequests_ != model_.scrollRequests && model_.currentRow() >= 0) {
        shownScrollRequests_ = model_.scrollRequests;
        const auto row = static_cast<WPARAM>(model_.currentRow());
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        // A few rows around it in sight, not just the row at the edge.
        const auto last = shown_ != nullptr ? shown_->rows.size() - 1 : 0;
        ::SendMessageW(list_, LVM_ENSUREVISIBLE, std::min<WPARAM>(row + 5, last), FALSE);
        ::SendMessageW(list_, LVM_ENSUREVISIBLE, row >= 5 ? row - 5 : 0, FALSE);
        ::SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE);
    }
}

void CompareWindow::layOut() {
    for (const auto& [h, c] : {std::pair{older_, &model_.lblOlder}, std::pair{newer_, &model_.lblNewer},
                               std::pair{list_, &model_.grdRows}, std::pair{status_, &model_.lblStatus},
                               std::pair{progress_, &model_.prgProgress}, std::pair{previous_, &model_.cmdPrevious},
                               std::pair{next_, &model_.cmdNext}, std::pair{close_, &model_.cmdClose}}) {
        layout_.setGeometry(h, c->geometry);
    }
    layout_.apply(dpi_);
    fitColumns();
}

void CompareWindow::fitColumns() {
    // The line numbers as wide as the largest; each text half of the rest,
    // or as wide as the longest line, the list then scrolling sideways.
    HDC dc = ::GetDC(list_);
    const HGDIOBJ old = ::SelectObject(dc, designFont(FontKind::Lines, dpi_));
    const auto widthOf = [&](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    const std::size_t lines = shown_ ? std::max(shown_->older.lines.size(), shown_->newer.lines.size()) : 0;
    const int numbers = widthOf(std::wstring(std::to_wstring(lines).size(), L'9')) + 12;
    int longest = 0;
    if (shown_ != nullptr) {
        for (const backup::TextFile* f : {&shown_->older, &shown_->newer}) {
            longest = std::max(longest, widthOf(widen(std::string(f->longestLine()))));
        }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(list_, dc);
    RECT client{};
    ::GetClientRect(list_, &client);
    const int half = std::max(100, static_cast<int>(client.right - 2 * numbers - ::GetSystemMetrics(SM_CXVSCROLL)) / 2);
    const int text = std::max(half, longest + 40);
    const int widths[] = {numbers, text, numbers, text};
    for (int column = 0; column < 4; ++column) ::SendMessageW(list_, LVM_SETCOLUMNWIDTH, column, widths[column]);
}

LRESULT CompareWindow::customDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        drawCell(draw.nmcd.hdc, static_cast<int>(draw.nmcd.dwItemSpec), draw.iSubItem);
        return CDRF_SKIPDEFAULT;
    default: return CDRF_DODEFAULT;
    }
}

void CompareWindow::drawCell(HDC dc, int row, int column) {
    if (shown_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= shown_->rows.size()) return;
    const backup::CompareRow& r = shown_->rows[static_cast<std::size_t>(row)];
    const bool newer = isNewerColumn(column);
    const std::int32_t line = newer ? r.right : r.left;
    RECT cell{};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    if (!::SendMessageW(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell))) return;
    fill(dc, cell, gui::lineColour(r.kind, newer, line >= 0));
    const HGDIOBJ oldFont = ::SelectObject(dc, designFont(FontKind::Lines, dpi_));
    ::SetBkMode(dc, TRANSPARENT);
    RECT area = cell;
    area.left += 4;
    area.right -= 2;
    if (!isTextColumn(column)) {
        if (line >= 0) {
            ::SetTextColor(dc, colourRef(gui::kLineNumber));
            const std::wstring number = std::to_wstring(line + 1);
            ::DrawTextW(dc, number.c_str(), static_cast<int>(number.size()), &area,
                        DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    } else if (line >= 0) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        int x = area.left;
        for (const backup::Run& run : shown_->runs(static_cast<std::size_t>(row), newer)) {
            const std::wstring text = widen(run.text);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            if (run.changed && r.kind == backup::RowKind::Changed) {
                fill(dc, RECT{x, cell.top + 1, x + size.cx, cell.bottom - 1}, gui::characterColour(newer));
            }
            RECT at{x, area.top, std::min<LONG>(x + size.cx + 1, area.right), area.bottom};
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &at,
                        DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
            x += size.cx;
            if (x > area.right) break;
        }
    }
    // The current row framed, its colours kept; the sides parted by a line.
    const bool selected = ::SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
    if (selected || column == 2) {
        HPEN pen = ::CreatePen(PS_SOLID, 1, selected ? ::GetSysColor(COLOR_HIGHLIGHT) : colourRef(gui::kLineNumber));
        const HGDIOBJ oldPen = ::SelectObject(dc, pen);
        if (selected) {
            ::MoveToEx(dc, cell.left, cell.top, nullptr);
            ::LineTo(dc, cell.right, cell.top);
            ::MoveToEx(dc, cell.left, cell.bottom - 1, nullptr);
            ::LineTo(dc, cell.right, cell.bottom - 1);
        }
        ::SelectObject(dc, oldPen);
        ::DeleteObject(pen);
        if (column == 2) {
            HPEN side = ::CreatePen(PS_SOLID, 1, colourRef(gui::kLineNumber));
            const HGDIOBJ before = ::SelectObject(dc, side);
            ::MoveToEx(dc, cell.left, cell.top, nullptr);
            ::LineTo(dc, cell.left, cell.bottom);
            ::SelectObject(dc, before);
            ::DeleteObject(side);
        }
    }
    ::SelectObject(dc, oldFont);
}

LRESULT CALLBACK CompareWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CompareWindow*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<CompareWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CompareWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimer) tick();
        return 0;
    case WM_COMMAND: {
        if (lParam == 0 || HIWORD(wParam) != BN_CLICKED) return 0;
        const auto control = reinterpret_cast<HWND>(lParam);
        if (control == next_) model_.cmdNext_Click();
        if (control == previous_) model_.cmdPrevious_Click();
        if (control == close_) model_.cmdClose_Click();
        render();
        return 0;
    }
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (header.hwndFrom != list_) return 0;
        if (header.code == NM_CUSTOMDRAW) return customDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
        if (header.code == LVN_GETDISPINFOW && shown_ != nullptr) {
            auto& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0 || item.iItem < 0 ||
                static_cast<std::size_t>(item.iItem) >= shown_->rows.size()) {
                return 0;
            }
            const backup::CompareRow& r = shown_->rows[static_cast<std::size_t>(item.iItem)];
            const bool newer = isNewerColumn(item.iSubItem);
            const std::int32_t line = newer ? r.right : r.left;
            cellText_.clear();
            if (line >= 0 && !isTextColumn(item.iSubItem)) cellText_ = std::to_wstring(line + 1);
            if (line >= 0 && isTextColumn(item.iSubItem)) {
                for (const backup::Run& run : shown_->runs(static_cast<std::size_t>(item.iItem), newer)) {
                    cellText_ += widen(run.text);
                }
            }
            const std::size_t n = std::min(cellText_.size(), static_cast<std::size_t>(item.cchTextMax - 1));
            cellText_.copy(item.pszText, n);
            item.pszText[n] = L'\0';
        }
        return 0;
    }
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            const gui::TwipScale scale = scaleFor(dpi_);
            model_.clientWidth = scale.fromPxX(LOWORD(lParam));
            model_.clientHeight = scale.fromPxY(HIWORD(lParam));
            model_.Form_Resize();
            layOut();
        }
        return 0;
    case WM_GETMINMAXINFO: {
        const gui::TwipScale scale = scaleFor(dpi_);
        const SIZE least = outerSize(kStyle, 0, scale.toPxX(6000), scale.toPxY(3000), dpi_);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = POINT{least.cx, least.cy};
        return 0;
    }
    case WM_CLOSE:
        closeByPerson();
        return 0;
    default:
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace mabrel::win32gui
