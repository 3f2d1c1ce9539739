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

// The lines of a side, each ended by CR LF as the clipboard's text has them.
std::wstring withCrLf(const std::string& lines) {
    std::wstring out;
    for (const wchar_t c : widen(lines)) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

// Long texts are measured and drawn in pieces: a 100 KB line is wider than
// one call measures (Wine stops near 16,000 pixels) or X draws (16-bit places).
constexpr std::size_t kPiece = 256;

std::size_t pieceEnd(const std::wstring& text, std::size_t from) {
    std::size_t end = std::min(text.size(), from + kPiece);
    if (end < text.size() && end > from && IS_HIGH_SURROGATE(text[end - 1])) ++end;
    return end;
}

int pieceWidth(HDC dc, const wchar_t* text, std::size_t n) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text, static_cast<int>(n), &size);
    return static_cast<int>(size.cx);
}

int textWidth(HDC dc, const std::wstring& text) {
    int width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = pieceEnd(text, at);
        width += pieceWidth(dc, text.data() + at, end - at);
        at = end;
    }
    return width;
}

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
    // Over the main window, or as the person last left a compare window.
    RECT main{};
    if (owner != nullptr) {
        ::GetWindowRect(owner, &main);
    } else {
        const SIZE outer = outerSize(kStyle, 0, scale.toPxX(model_.clientWidth), scale.toPxY(model_.clientHeight), dpi_);
        main = RECT{0, 0, outer.cx, outer.cy};
    }
    const ComparePlacement placed =
        comparePlacement({main.left, main.top, main.right - main.left, main.bottom - main.top});
    const int x = placed.left, y = placed.top;
    const SIZE outer{placed.width, placed.height};
    window_ = ::CreateWindowExW(0, ids::kCompareWindowClass, widen(model_.caption).c_str(), kStyle, x, y, outer.cx,
                                outer.cy, owner, nullptr, instance, this);

    const auto add = [&](const wchar_t* cls, const Control& c, DWORD style, int id, FontKind font, DWORD ex = 0) {
        HWND h = layout_.add(window_, cls, widen(c.caption), style | WS_VISIBLE, ex, c.geometry, id, font, dpi_);
        return h;
    };
    older_ = add(L"Static", model_.lblOlder, SS_LEFT | SS_NOPREFIX, ids::compareOlder, FontKind::Normal);
    newer_ = add(L"Static", model_.lblNewer, SS_LEFT | SS_NOPREFIX, ids::compareNewer, FontKind::Normal);
    for (const bool newerSide : {false, true}) {
        HWND list = add(WC_LISTVIEWW, newerSide ? model_.grdNewer : model_.grdOlder,
                        LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER | WS_TABSTOP,
                        newerSide ? ids::compareRows : ids::compareOlderRows, FontKind::Lines, WS_EX_CLIENTEDGE);
        ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                       LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        LVCOLUMNW c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        c.fmt = LVCFMT_LEFT;
        c.cx = 60;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
        (newerSide ? list_ : olderList_) = list;
        bars_[newerSide ? 1 : 0] = ::CreateWindowExW(0, L"ScrollBar", nullptr, WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 10, 10,
                                                     window_, nullptr, instance, nullptr);
    }
    strip_ = add(L"Static", model_.picChanges, SS_OWNERDRAW | SS_NOTIFY, ids::compareStrip, FontKind::Normal);
    ignoreWhitespace_ = add(L"Button", model_.chkIgnoreWhitespace, BS_AUTOCHECKBOX | WS_TABSTOP,
                            ids::compareIgnoreWhitespace, FontKind::Normal);
    ignoreLineEnds_ = add(L"Button", model_.chkIgnoreLineEnds, BS_AUTOCHECKBOX | WS_TABSTOP, ids::compareIgnoreLineEnds,
                          FontKind::Normal);
    find_ = add(L"Edit", Control{std::string(), model_.txtFind.geometry}, ES_AUTOHSCROLL | WS_TABSTOP, ids::compareFind, FontKind::Normal, WS_EX_CLIENTEDGE);
    ::SendMessageW(find_, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(widen(model_.txtFind.caption).c_str()));
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
            // Maximised over a maximised main window.
            ::ShowWindow(window_, ui_.owner() != nullptr && ::IsZoomed(ui_.owner()) ? SW_SHOWMAXIMIZED : SW_SHOW);
            layOut();
            scrollToPlace();
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
    RECT placed{};
    ::GetWindowRect(window_, &placed);
    rememberComparePlacement({placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top});
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
    const bool control = (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (control && msg.wParam == 'F') {
        ::SetFocus(find_);
        ::SendMessageW(find_, EM_SETSEL, 0, -1);
        return true;
    }
    if (msg.wParam == VK_F3 || (msg.wParam == VK_RETURN && msg.hwnd == find_)) {
        findNext();
        return true;
    }
    if (control && msg.wParam == 'C' && (msg.hwnd == list_ || msg.hwnd == olderList_)) {
        copySelection(msg.hwnd);
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
    syncVertical(nullptr);
}

void CompareWindow::syncVertical(HWND moved) {
    if (shown_ == nullptr || shown_->rows.empty()) return;
    const int olderTop = static_cast<int>(::SendMessageW(olderList_, LVM_GETTOPINDEX, 0, 0));
    const int newerTop = static_cast<int>(::SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
    if (olderTop == newerTop) {
        lastTop_ = newerTop;
        return;
    }
    // The list the person moved leads; the other follows it.
    if (moved == nullptr) moved = newerTop != lastTop_ ? list_ : olderList_;
    HWND other = moved == list_ ? olderList_ : list_;
    const int top = moved == list_ ? newerTop : olderTop;
    const int otherTop = moved == list_ ? olderTop : newerTop;
    RECT item{};
    item.left = LVIR_BOUNDS;
    ::SendMessageW(other, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(other, LVM_SCROLL, 0, static_cast<LPARAM>((top - otherTop) * (item.bottom - item.top)));
    lastTop_ = top;
}

void CompareWindow::findNext() {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(find_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(find_, text.data(), static_cast<int>(text.size()))));
    if (!model_.find(narrow(text))) ::MessageBeep(MB_OK);
    render();
}

void CompareWindow::copySelection(HWND list) {
    std::string lines;
    for (int row = -1; (row = static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                                LVNI_SELECTED))) >= 0;) {
        lines += model_.copyText(row, row, list == list_);
    }
    if (lines.empty() || !::OpenClipboard(window_)) return;
    const std::wstring text = withCrLf(lines);
    ::EmptyClipboard();
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        auto* at = static_cast<wchar_t*>(::GlobalLock(memory));
        std::copy(text.begin(), text.end(), at);
        at[text.size()] = L'\0';
        ::GlobalUnlock(memory);
        if (!::SetClipboardData(CF_UNICODETEXT, memory)) ::GlobalFree(memory);
    }
    ::CloseClipboard();
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
    ::SendMessageW(ignoreWhitespace_, BM_SETCHECK, model_.options.ignoreWhitespace ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(ignoreLineEnds_, BM_SETCHECK, model_.options.ignoreLineEnds ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(ignoreWhitespace_, model_.chkIgnoreWhitespace.enabled);
    ::EnableWindow(ignoreLineEnds_, model_.chkIgnoreLineEnds.enabled);
    setWindowTextIfChanged(window_, model_.caption);
    if (shown_ != model_.comparison()) {
        shown_ = model_.comparison();
        const auto rows = shown_ != nullptr ? shown_->rows.size() : 0;
        for (HWND list : {olderList_, list_}) ::SendMessageW(list, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
        fitColumns();
    }
    scrollToPlace();
    ::InvalidateRect(strip_, nullptr, FALSE);
}

void CompareWindow::scrollToPlace() {
    if (shownScrollRequests_ == model_.scrollRequests || model_.place.row < 0 || shown_ == nullptr) return;
    if (!::IsWindowVisible(window_)) return;  // again once shown, when the lists have their sizes
    shownScrollRequests_ = model_.scrollRequests;
    const frm_compare::Place& p = model_.place;
    const auto row = static_cast<WPARAM>(p.row);
    for (HWND list : {olderList_, list_}) {
        LVITEMW clear{};
        clear.stateMask = LVIS_SELECTED;
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        // A few rows around it in sight, not just the row at the edge.
        const auto last = shown_->rows.size() - 1;
        ::SendMessageW(list, LVM_ENSUREVISIBLE, std::min<WPARAM>(row + 5, last), FALSE);
        ::SendMessageW(list, LVM_ENSUREVISIBLE, row >= 5 ? row - 5 : 0, FALSE);
        ::SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    }
    // The piece sideways in view, a third of the way in, on its side: the
    // text before it measured as drawn.
    HWND list = p.newerSide ? list_ : olderList_;
    std::wstring shown;
    for (const backup::Run& run : shown_->runs(row, p.newerSide)) shown += widen(run.text);
    HDC dc = ::GetDC(list);
    const HGDIOBJ old = ::SelectObject(dc, designFont(FontKind::Lines, dpi_));
    const int x = numbersWidth_ + 4 + textWidth(dc, shown.substr(0, static_cast<std::size_t>(p.column)));
    const int width = textWidth(dc, shown.substr(static_cast<std::size_t>(p.column), static_cast<std::size_t>(std::max(p.length, 1))));
    ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    RECT client{};
    ::GetClientRect(list, &client);
    const int side = p.newerSide ? 1 : 0;
    const int scrolled = offset_[side];
    if (x < scrolled + numbersWidth_ || x + width > scrolled + client.right) {
        setOffset(side, x - numbersWidth_ - static_cast<int>(client.right - numbersWidth_) / 3);
    }
    lastTop_ = static_cast<int>(::SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
}

void CompareWindow::layOut() {
    for (const auto& [h, c] : {std::pair{older_, &model_.lblOlder}, std::pair{newer_, &model_.lblNewer},
                               std::pair{olderList_, &model_.grdOlder}, std::pair{list_, &model_.grdNewer},
                               std::pair{strip_, &model_.picChanges}, std::pair{find_, &model_.txtFind},
                               std::pair{ignoreWhitespace_, &model_.chkIgnoreWhitespace},
                               std::pair{ignoreLineEnds_, &model_.chkIgnoreLineEnds}, std::pair{status_, &model_.lblStatus},
                               std::pair{progress_, &model_.prgProgress}, std::pair{previous_, &model_.cmdPrevious},
                               std::pair{next_, &model_.cmdNext}, std::pair{close_, &model_.cmdClose}}) {
        layout_.setGeometry(h, c->geometry);
    }
    layout_.apply(dpi_);
    // Each list's scrollbar along its foot, inside its place.
    const int barHeight = ::GetSystemMetrics(SM_CYHSCROLL);
    for (int side = 0; side < 2; ++side) {
        HWND list = side == 1 ? list_ : olderList_;
        RECT r{};
        ::GetWindowRect(list, &r);
        ::MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&r), 2);
        const int height = std::max(0, static_cast<int>(r.bottom - r.top) - barHeight);
        ::SetWindowPos(list, nullptr, r.left, r.top, r.right - r.left, height, SWP_NOZORDER | SWP_NOACTIVATE);
        ::SetWindowPos(bars_[side], nullptr, r.left, r.top + height, r.right - r.left, barHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    fitColumns();
}

void CompareWindow::setOffset(int side, int offset) {
    HWND list = side == 1 ? list_ : olderList_;
    RECT client{};
    ::GetClientRect(list, &client);
    const int page = std::max(1, static_cast<int>(client.right) - numbersWidth_);
    offset_[side] = std::clamp(offset, 0, std::max(0, contentWidth_[side] - page));
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = std::max(0, contentWidth_[side] - 1);
    info.nPage = static_cast<UINT>(page);
    info.nPos = offset_[side];
    ::SetScrollInfo(bars_[side], SB_CTL, &info, TRUE);
    ::InvalidateRect(list, nullptr, FALSE);
}

void CompareWindow::scrolled(HWND bar, int code) {
    const int side = bar == bars_[1] ? 1 : 0;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ::GetScrollInfo(bar, SB_CTL, &info);
    const int page = static_cast<int>(info.nPage);
    int to = offset_[side];
    switch (code) {
    case SB_LINELEFT: to -= 40; break;
    case SB_LINERIGHT: to += 40; break;
    case SB_PAGELEFT: to -= page; break;
    case SB_PAGERIGHT: to += page; break;
    case SB_LEFT: to = 0; break;
    case SB_RIGHT: to = contentWidth_[side]; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: to = info.nTrackPos; break;
    default: return;
    }
    setOffset(side, to);
}

void CompareWindow::fitColumns() {
    // The line numbers as wide as the largest; the text as wide as the
    // longest line of its side, at least the list: it then scrolls sideways.
    for (HWND list : {olderList_, list_}) {
        HDC dc = ::GetDC(list);
        const HGDIOBJ old = ::SelectObject(dc, designFont(FontKind::Lines, dpi_));
        const std::size_t lines = shown_ ? std::max(shown_->older.lines.size(), shown_->newer.lines.size()) : 0;
        numbersWidth_ = textWidth(dc, std::wstring(std::to_wstring(lines).size(), L'9')) + 10;
        int longest = 0;
        if (shown_ != nullptr) {
            const backup::TextFile& f = list == list_ ? shown_->newer : shown_->older;
            // Room besides for tabs laid out wider than measured.
            longest = textWidth(dc, widen(std::string(f.longestLine()))) + 16 * textWidth(dc, L"0");
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(list, dc);
        RECT client{};
        ::GetClientRect(list, &client);
        // Narrower than the list by a scrollbar's width: the list's own
        // sideways scrollbar never shows, whether or not the upright one does.
        ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, std::max(10, static_cast<int>(client.right) - ::GetSystemMetrics(SM_CXVSCROLL)));
        const int side = list == list_ ? 1 : 0;
        contentWidth_[side] = numbersWidth_ + 4 + longest + 40;
        setOffset(side, offset_[side]);
    }
}

LRESULT CompareWindow::customDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        drawRow(draw.nmcd.hdr.hwndFrom, draw.nmcd.hdc, static_cast<int>(draw.nmcd.dwItemSpec));
        return CDRF_SKIPDEFAULT;
    default: return CDRF_DODEFAULT;
    }
}

void CompareWindow::drawRow(HWND list, HDC dc, int row) {
    if (shown_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= shown_->rows.size()) return;
    const backup::CompareRow& r = shown_->rows[static_cast<std::size_t>(row)];
    const bool newer = list == list_;
    const std::int32_t line = newer ? r.right : r.left;
    RECT cell{};
    cell.left = LVIR_BOUNDS;
    if (!::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell))) return;
    RECT client{};
    ::GetClientRect(list, &client);
    cell.right = client.right;
    fill(dc, cell, gui::lineColour(r.kind, newer, line >= 0));
    const HGDIOBJ oldFont = ::SelectObject(dc, designFont(FontKind::Lines, dpi_));
    ::SetBkMode(dc, TRANSPARENT);
    if (line >= 0) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        int x = cell.left + numbersWidth_ + 4 - offset_[newer ? 1 : 0];
        for (const backup::Run& run : shown_->runs(static_cast<std::size_t>(row), newer)) {
            const std::wstring text = widen(run.text);
            const bool marked = run.changed && r.kind == backup::RowKind::Changed;
            // Only what is in view is drawn: lines may be 100 KB long.
            for (std::size_t from = 0; from < text.size() && x <= client.right;) {
                const std::size_t end = pieceEnd(text, from);
                const int width = pieceWidth(dc, text.data() + from, end - from);
                if (x + width >= numbersWidth_) {
                    if (marked) fill(dc, RECT{x, cell.top + 1, x + width, cell.bottom - 1}, gui::characterColour(newer));
                    RECT at{x, cell.top, x + width + 1, cell.bottom};
                    ::DrawTextW(dc, text.data() + from, static_cast<int>(end - from), &at,
                                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
                }
                x += width;
                from = end;
            }
            if (x > client.right) break;
        }
    }
    // The line number at the list's left edge, however far it is scrolled.
    RECT numbers{0, cell.top, numbersWidth_, cell.bottom};
    fill(dc, numbers, gui::kNoLine);
    if (line >= 0) {
        ::SetTextColor(dc, colourRef(gui::kLineNumber));
        const std::wstring number = std::to_wstring(line + 1);
        numbers.right -= 4;
        ::DrawTextW(dc, number.c_str(), static_cast<int>(number.size()), &numbers,
                    DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    // The current row framed, its colours kept.
    if (::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0) {
        HPEN pen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_HIGHLIGHT));
        const HGDIOBJ oldPen = ::SelectObject(dc, pen);
        ::MoveToEx(dc, 0, cell.top, nullptr);
        ::LineTo(dc, client.right, cell.top);
        ::MoveToEx(dc, 0, cell.bottom - 1, nullptr);
        ::LineTo(dc, client.right, cell.bottom - 1);
        ::SelectObject(dc, oldPen);
        ::DeleteObject(pen);
    }
    ::SelectObject(dc, oldFont);
}

void CompareWindow::drawStrip(const DRAWITEMSTRUCT& item) {
    const RECT& area = item.rcItem;
    fill(item.hDC, area, gui::kNoLine);
    const int h = static_cast<int>(area.bottom - area.top);
    const int areaTop = static_cast<int>(area.top);
    for (const auto& m : model_.stripMarks()) {
        const int top = areaTop + static_cast<int>(m.from * h);
        const int bottom = std::max(top + 2, areaTop + static_cast<int>(m.to * h));
        const std::uint32_t rgb = m.kind == backup::RowKind::Removed ? gui::kRemovedCharacters
                                  : m.kind == backup::RowKind::Added ? gui::kAddedCharacters
                                                                     : gui::kChangedStrip;
        fill(item.hDC, RECT{area.left + 1, top, area.right - 1, bottom}, rgb);
    }
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
        const auto control = reinterpret_cast<HWND>(lParam);
        if (control != nullptr && control == strip_ && HIWORD(wParam) == STN_CLICKED) {
            const DWORD at = ::GetMessagePos();
            POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
            ::ScreenToClient(strip_, &p);
            RECT r{};
            ::GetClientRect(strip_, &r);
            model_.picChanges_Click(r.bottom > 0 ? static_cast<double>(p.y) / r.bottom : 0);
            render();
            return 0;
        }
        if (lParam == 0 || HIWORD(wParam) != BN_CLICKED) return 0;
        if (control == next_) model_.cmdNext_Click();
        if (control == previous_) model_.cmdPrevious_Click();
        if (control == close_) model_.cmdClose_Click();
        if (control == ignoreWhitespace_) model_.chkIgnoreWhitespace_Click();
        if (control == ignoreLineEnds_) model_.chkIgnoreLineEnds_Click();
        render();
        return 0;
    }
    case WM_HSCROLL:
        if (lParam != 0) scrolled(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.hwndItem == strip_) drawStrip(item);
        return TRUE;
    }
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (header.hwndFrom != list_ && header.hwndFrom != olderList_) return 0;
        if (header.code == NM_CUSTOMDRAW) return customDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
        if (header.code == NM_CLICK) {
            const int row = reinterpret_cast<NMITEMACTIVATE&>(header).iItem;
            if (row >= 0) {
                model_.grdRows_Click(row);
                render();
            }
            return 0;
        }
        if (header.code == LVN_ENDSCROLL) {
            syncVertical(header.hwndFrom);
            return 0;
        }
        if (header.code == LVN_GETDISPINFOW && shown_ != nullptr) {
            auto& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0 || item.iItem < 0 ||
                static_cast<std::size_t>(item.iItem) >= shown_->rows.size()) {
                return 0;
            }
            const backup::CompareRow& r = shown_->rows[static_cast<std::size_t>(item.iItem)];
            const bool newer = header.hwndFrom == list_;
            const std::int32_t line = newer ? r.right : r.left;
            cellText_.clear();
            if (line >= 0) {
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
