#include "support/controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

namespace mabrel::win32gui::test {

namespace {

constexpr std::size_t kTextChars = 2048;
// A structure at the start of the buffer, its text after it.
constexpr std::size_t kTextOffset = 256;
constexpr std::size_t kBufferSize = kTextOffset + kTextChars * sizeof(wchar_t);

}  // namespace

std::wstring textOf(HWND window) {
    std::vector<wchar_t> buf(kTextChars);
    const auto n = send(window, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    return n ? std::wstring(buf.data(), static_cast<std::size_t>(*n)) : std::wstring();
}

void setText(HWND window, const std::wstring& text) {
    sendOrFail(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

RECT screenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT rectInParent(HWND child) {
    RECT r = screenRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE clientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

POINT centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

bool isChecked(HWND button) { return send(button, BM_GETCHECK).value_or(0) == BST_CHECKED; }

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

ListView::ListView(HWND list) : list_(list), process_(list), buffer_(process_.get(), kBufferSize) {}

int ListView::count() const { return static_cast<int>(sendOrFail(list_, LVM_GETITEMCOUNT)); }

std::vector<ListColumn> ListView::columns() const {
    const HWND header = reinterpret_cast<HWND>(sendOrFail(list_, LVM_GETHEADER));
    const int n = static_cast<int>(sendOrFail(header, HDM_GETITEMCOUNT));
    std::vector<ListColumn> out;
    for (int i = 0; i < n; ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        c.pszText = reinterpret_cast<LPWSTR>(buffer_.address() + kTextOffset);
        c.cchTextMax = kTextChars;
        buffer_.write(&c, sizeof c);
        const wchar_t nul = 0;
        buffer_.write(&nul, sizeof nul, kTextOffset);
        if (!sendOrFail(list_, LVM_GETCOLUMNW, i, buffer_.lparam())) break;
        c = buffer_.readAs<LVCOLUMNW>();
        out.push_back(ListColumn{buffer_.readText(kTextOffset), c.cx, c.fmt & LVCFMT_JUSTIFYMASK});
    }
    return out;
}

std::wstring ListView::text(int item, int column) const {
    LVITEMW it{};
    it.iSubItem = column;
    it.pszText = reinterpret_cast<LPWSTR>(buffer_.address() + kTextOffset);
    it.cchTextMax = kTextChars;
    buffer_.write(&it, sizeof it);
    const auto n = static_cast<std::size_t>(sendOrFail(list_, LVM_GETITEMTEXTW, item, buffer_.lparam()));
    std::wstring s(n, L'\0');
    if (n) buffer_.read(s.data(), n * sizeof(wchar_t), kTextOffset);
    return s;
}

std::vector<ListRow> ListView::rows() const {
    std::vector<ListRow> out(static_cast<std::size_t>(count()));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int item = static_cast<int>(i);
        for (int c = 0; c < 6; ++c) out[i].cells[static_cast<std::size_t>(c)] = text(item, c);
        LVITEMW it{};
        it.mask = LVIF_IMAGE | LVIF_STATE;
        it.iItem = item;
        it.stateMask = LVIS_SELECTED;
        buffer_.write(&it, sizeof it);
        sendOrFail(list_, LVM_GETITEMW, 0, buffer_.lparam());
        it = buffer_.readAs<LVITEMW>();
        out[i].image = it.iImage;
        out[i].selected = (it.state & LVIS_SELECTED) != 0;
    }
    return out;
}

DWORD ListView::extendedStyle() const {
    return static_cast<DWORD>(sendOrFail(list_, LVM_GETEXTENDEDLISTVIEWSTYLE));
}

RECT ListView::itemRect(int item, int part) const {
    RECT r{};
    r.left = part;
    buffer_.write(&r, sizeof r);
    sendOrFail(list_, LVM_GETITEMRECT, item, buffer_.lparam());
    r = buffer_.readAs<RECT>();
    MapWindowPoints(list_, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT ListView::headerRect(int column) const {
    const HWND header = reinterpret_cast<HWND>(sendOrFail(list_, LVM_GETHEADER));
    RECT r{};
    buffer_.write(&r, sizeof r);
    sendOrFail(header, HDM_GETITEMRECT, column, buffer_.lparam());
    r = buffer_.readAs<RECT>();
    MapWindowPoints(header, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ListView::reveal(int column) const {
    RECT client{};
    GetClientRect(list_, &client);
    MapWindowPoints(list_, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    const RECT header = headerRect(column);
    int dx = 0;
    if (header.right > client.right) dx = header.right - client.right;
    if (header.left - dx < client.left) dx = header.left - client.left;
    if (dx != 0) sendOrFail(list_, LVM_SCROLL, static_cast<WPARAM>(dx), 0);
}

int ListView::stringWidth(const std::wstring& text) const {
    buffer_.write(text.c_str(), (text.size() + 1) * sizeof(wchar_t), kTextOffset);
    return static_cast<int>(sendOrFail(list_, LVM_GETSTRINGWIDTHW, 0,
                                       reinterpret_cast<LPARAM>(buffer_.address() + kTextOffset)));
}

int ListView::find(const std::wstring& name, const std::wstring& modified, const std::wstring& bu) const {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (text(i, 0) == name && (modified.empty() || text(i, 1) == modified) && (bu.empty() || text(i, 3) == bu)) {
            return i;
        }
    }
    return -1;
}

namespace {

TreeNode readNode(HWND tree, const RemoteBuffer& buffer, HTREEITEM item) {
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE;
    it.hItem = item;
    it.stateMask = TVIS_SELECTED | TVIS_EXPANDED;
    it.pszText = reinterpret_cast<LPWSTR>(buffer.address() + kTextOffset);
    it.cchTextMax = kTextChars;
    buffer.write(&it, sizeof it);
    sendOrFail(tree, TVM_GETITEMW, 0, buffer.lparam());
    it = buffer.readAs<TVITEMW>();
    TreeNode node;
    node.text = buffer.readText(kTextOffset);
    node.selected = (it.state & TVIS_SELECTED) != 0;
    node.expanded = (it.state & TVIS_EXPANDED) != 0;
    return node;
}

}  // namespace

TreeNode readTree(HWND tree) {
    ProcessHandle process(tree);
    RemoteBuffer buffer(process.get(), kBufferSize);
    const auto root = reinterpret_cast<HTREEITEM>(sendOrFail(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    if (!root) return {};
    TreeNode node = readNode(tree, buffer, root);
    auto child = reinterpret_cast<HTREEITEM>(
        sendOrFail(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
    while (child) {
        node.children.push_back(readNode(tree, buffer, child));
        child = reinterpret_cast<HTREEITEM>(
            sendOrFail(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
    }
    return node;
}

RECT rootTextRect(HWND tree) {
    ProcessHandle process(tree);
    RemoteBuffer buffer(process.get(), sizeof(RECT));
    RECT r{};
    const auto root = static_cast<std::uintptr_t>(sendOrFail(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    // The item goes in where the rectangle comes back.
    buffer.write(&root, sizeof root);
    if (root == 0 || !sendOrFail(tree, TVM_GETITEMRECT, TRUE, buffer.lparam())) return r;
    return buffer.readAs<RECT>();
}

std::wstring statusText(HWND statusBar, int part) {
    ProcessHandle process(statusBar);
    RemoteBuffer buffer(process.get(), kBufferSize);
    const WPARAM which = sendOrFail(statusBar, SB_ISSIMPLE) ? SB_SIMPLEID : static_cast<WPARAM>(part);
    const wchar_t nul = 0;
    buffer.write(&nul, sizeof nul);
    // SB_GETTEXTW writes without a size: ask for the length first.
    const auto length = LOWORD(sendOrFail(statusBar, SB_GETTEXTLENGTHW, which));
    if (length >= kTextChars) return L"<status text too long>";
    sendOrFail(statusBar, SB_GETTEXTW, which, buffer.lparam());
    return buffer.readText(0);
}

std::wstring classOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

namespace {

struct TopLevelSearch {
    DWORD pid;
    std::wstring windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TopLevelSearch*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && classOf(window) == search->windowClass) {
        search->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(DWORD pid, const std::wstring& windowClass) {
    TopLevelSearch search{pid, windowClass, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK matchId(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<IdSearch*>(data);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND findControl(HWND root, int id) {
    IdSearch search{id, nullptr};
    EnumChildWindows(root, matchId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> visibleChildren(HWND parent, const std::wstring& windowClass) {
    std::vector<HWND> out;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && _wcsicmp(classOf(child).c_str(), windowClass.c_str()) == 0) {
            out.push_back(child);
        }
    }
    return out;
}

}  // namespace mabrel::win32gui::test
