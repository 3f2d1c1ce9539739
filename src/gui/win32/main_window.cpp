#include "gui/win32/main_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "gui/win32/control_ids.h"
#include "gui/win32/refresh_picture.h"
#include "gui/win32/resource_ids.h"
#include "gui/win32/win32_interaction.h"

namespace mabrel::win32gui {

namespace {

// Outer size below which the window does not go, in twips.
constexpr int kMinOuterWidth = 5745;
constexpr int kMinOuterHeight = 3660;
constexpr int kIconSize = 16;
// Pictures kept in the list's image list before it is built afresh.
constexpr std::size_t kMaxKeptPictures = 4096;

constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// What a list's cell and a header's item add to their text on either side
// together, at 96 dots per inch, and the grid line.
constexpr int kCellPadding = 12;
constexpr int kGridLine = 1;
// Typed text of any length the comment file holds (an edit box's own limit
// is 32,767 characters).
constexpr LPARAM kNoTextLimit = 0x7FFFFFFE;

bool sameColumns(const std::vector<ColumnHeader>& a, const std::vector<ColumnHeader>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].width != b[i].width || a[i].alignment != b[i].alignment) return false;
    }
    return true;
}

// The modifier bits of a mouse event: 1 Shift, 2 Ctrl, 4 Alt.
int shiftBits() {
    return (::GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (::GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (::GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

// A 16 x 16 icon of a picture (straight alpha, as icons keep it).
HICON iconOf(const IconImage& picture) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = picture.width;
    header.bV5Height = -picture.height;  // top-down, as the pixels are
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP color = ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                       nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (color == nullptr) return nullptr;
    std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(std::uint32_t));
    HBITMAP mask = ::CreateBitmap(picture.width, picture.height, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(color);
    ::DeleteObject(mask);
    return icon;
}

int alignmentFormat(Alignment a) {
    switch (a) {
    case Alignment::Right: return LVCFMT_RIGHT;
    case Alignment::Center: return LVCFMT_CENTER;
    case Alignment::Left: break;
    }
    return LVCFMT_LEFT;
}

// The tree's window style for the model's style number: 4 and up draw tree
// lines, 2, 3, 6 and 7 plus/minus buttons (pictures are not drawn: the
// nodes have none).
DWORD treeStyleBits(int style) {
    DWORD bits = 0;
    if (style >= 4) bits |= TVS_HASLINES;
    if (style == 2 || style == 3 || style == 6 || style == 7) bits |= TVS_HASBUTTONS;
    return bits;
}

}  // namespace

// --- Creation ----------------------------------------------------------------

MainWindow::MainWindow(frm_mabrel94& model, Win32Interaction& ui) : m_(model), ui_(ui) {
    ui_.setWindowStateHandler([this](WindowState s) {
        create();
        applyWindowState(s);
    });
    ui_.setEndProgramHandler([this] { endProgram(); });
}

void MainWindow::create() {
    if (window_ != nullptr) return;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 0));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ids::kMainWindowClass;
    ::RegisterClassExW(&wc);

    window_ = ::CreateWindowExW(0, ids::kMainWindowClass, widen(m_.caption).c_str(), kMainStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    ui_.setOwner(window_);
    ui_.setRenderHandler([this] {
        // Before a message box in mid-operation: the box stands over what was
        // loaded so far, not over a previous folder's rows.
        if (!built_ || ended_) return;
        render();
        ::UpdateWindow(window_);
    });
    ui_.setStatusHandler([this](const std::string& text) {
        if (!built_ || ended_) return;
        const std::wstring status = widen(text);
        ::SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(status.c_str()));
    });

    // The design size, centred on the screen, until start-up maximises it.
    dpi_ = dpiOf(window_);
    const gui::TwipScale scale = scaleFor(dpi_);
    const SIZE outer = outerSize(kMainStyle, 0, scale.toPxX(m_.clientWidth), scale.toPxY(m_.clientHeight), dpi_);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& work = info.rcWork;
    ::SetWindowPos(window_, nullptr, work.left + ((work.right - work.left) - outer.cx) / 2,
                   work.top + ((work.bottom - work.top) - outer.cy) / 2, outer.cx, outer.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    dpi_ = dpiOf(window_);
    build();
    render();
}

MainWindow::~MainWindow() {
    ui_.setWindowStateHandler({});
    ui_.setEndProgramHandler({});
    ui_.setRenderHandler({});
    ui_.setStatusHandler({});
    ui_.setOwner(nullptr);
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    if (images_ != nullptr) ::ImageList_Destroy(images_);
    if (refreshPicture_ != nullptr) ::ImageList_Destroy(refreshPicture_);
}

void MainWindow::build() {
    // Created in tab order, which the tab key follows; "終 了" comes first.
    struct Design {
        int tabIndex;
        HWND* window;
        const wchar_t* className;
        DWORD style;
        DWORD exStyle;
        Geometry geometry;
        int id;
        FontKind font;
    };
    std::vector<Design> designs{
        {m_.cmdExit.tabIndex, &cmdExit_, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, m_.cmdExit.geometry,
         ids::cmdExit, FontKind::Normal},
        {m_.cmdUpdate.tabIndex, &cmdUpdate_, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0,
         m_.cmdUpdate.geometry, ids::cmdUpdate, FontKind::BoldPicture},
        {m_.txtFolderComment.tabIndex, &txtFolderComment_, L"Edit", ES_AUTOHSCROLL | WS_TABSTOP,
         WS_EX_CLIENTEDGE, m_.txtFolderComment.geometry, ids::txtFolderComment, FontKind::Comment},
        {m_.lblStatus.tabIndex, &lblStatus_, L"Static", SS_LEFT | SS_NOPREFIX, 0, m_.lblStatus.geometry,
         ids::lblStatus, FontKind::Normal},
        {m_.lvwFiles.tabIndex, &lvwFiles_, WC_LISTVIEWW,
         LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP, WS_EX_CLIENTEDGE,
         m_.lvwFiles.geometry, ids::lvwFiles, FontKind::Normal},
        {m_.StatusBar1.tabIndex, &statusBar_, STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
         m_.StatusBar1.geometry, ids::StatusBar1, FontKind::Normal},
        {m_.tvwFolders.tabIndex, &tvwFolders_, WC_TREEVIEWW, TVS_HASLINES | TVS_SHOWSELALWAYS | WS_TABSTOP,
         WS_EX_CLIENTEDGE, m_.tvwFolders.geometry, ids::tvwFolders, FontKind::Normal},
        {m_.lblFolderList.tabIndex, &lblFolderList_, L"Static", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0,
         m_.lblFolderList.geometry, ids::lblFolderList, FontKind::Normal},
        {m_.Label3.tabIndex, &label3_, L"Static", SS_LEFT | SS_NOPREFIX, 0, m_.Label3.geometry, ids::Label3,
         FontKind::Normal},
        {m_.cmdHelp.tabIndex, &cmdHelp_, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, m_.cmdHelp.geometry,
         ids::cmdHelp, FontKind::Normal},
        {m_.cmdOption.tabIndex, &cmdOption_, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, m_.cmdOption.geometry,
         ids::cmdOption, FontKind::Normal},
    };
    std::stable_sort(designs.begin(), designs.end(),
                     [](const Design& a, const Design& b) { return a.tabIndex < b.tabIndex; });
    for (const Design& d : designs) {
        *d.window = layout_.add(window_, d.className, L"", d.style | WS_VISIBLE, d.exStyle, d.geometry, d.id, d.font,
                                dpi_);
    }

    ::SendMessageW(lvwFiles_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, LVS_EX_DOUBLEBUFFER);
    listHeader_ = reinterpret_cast<HWND>(::SendMessageW(lvwFiles_, LVM_GETHEADER, 0, 0));
    ::SendMessageW(txtFolderComment_, EM_SETLIMITTEXT, 0, kNoTextLimit);
    images_ = ::ImageList_Create(kIconSize, kIconSize, ILC_COLOR32 | ILC_MASK, 64, 64);
    updateRefreshPicture();

    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    const auto addTip = [this](HWND control, const wchar_t* text) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t*>(text);
        ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };
    addTip(cmdUpdate_, L"最新の状態に更新");
    addTip(lblFolderList_, L"クリックでドライブやフォルダーを選ぶ");

    built_ = true;
    ::SetFocus(cmdExit_);
}

void MainWindow::updateRefreshPicture() {
    if (refreshPictureDpi_ == dpi_ && refreshPicture_ != nullptr) return;
    // Through an image list, which keeps the picture's transparency: the
    // button's own face shows around it, whatever the theme draws.
    HBITMAP picture = makeRefreshPicture(dpi_);
    if (picture == nullptr) return;
    BITMAP size{};
    ::GetObjectW(picture, sizeof size, &size);
    HIMAGELIST list = ::ImageList_Create(size.bmWidth, size.bmHeight, ILC_COLOR32, 1, 0);
    ::ImageList_Add(list, picture, nullptr);
    ::DeleteObject(picture);
    BUTTON_IMAGELIST image{};
    image.himl = list;
    image.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
    ::SendMessageW(cmdUpdate_, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
    ::InvalidateRect(cmdUpdate_, nullptr, TRUE);
    if (refreshPicture_ != nullptr) ::ImageList_Destroy(refreshPicture_);
    refreshPicture_ = list;
    refreshPictureDpi_ = dpi_;
}

bool MainWindow::start() {
    ++busy_;
    const bool started = m_.Form_Load();
    --busy_;
    // A second instance ends having made no window at all.
    if (!started) return false;
    create();
    render();
    ::SetFocus(cmdExit_);
    // The focus frame shows from the start, not only once a key is used.
    ::SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (pendingClose_ && ui_.modalDepth() == 0) {
        pendingClose_ = false;
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    return true;
}

// --- Running handlers ----------------------------------------------------------

template <typename F>
void MainWindow::run(F&& handler) {
    pullSelection();
    ++busy_;
    handler();
    --busy_;
    if (!ended_) render();
    if (busy_ == 0 && pendingClose_ && ui_.modalDepth() == 0) {
        pendingClose_ = false;
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
}

bool MainWindow::takesEvents() const { return !ended_ && busy_ == 0 && ui_.modalDepth() == 0; }

void MainWindow::post(Event event, LPARAM argument) {
    ::PostMessageW(window_, kDeferredEvent, static_cast<WPARAM>(event), argument);
}

void MainWindow::onDeferred(Event event, LPARAM argument) {
    if (event == Event::ColumnSized) {
        const auto width = static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETCOLUMNWIDTH, argument, 0));
        if (!ended_ && argument < static_cast<LPARAM>(shownColumns_.size())) {
            personWidths_[static_cast<int>(argument)] = width;
        }
        return;
    }
    if (!takesEvents()) return;
    switch (event) {
    case Event::NodeClick: run([&] { m_.tvwFolders_NodeClick(static_cast<int>(argument)); }); break;
    case Event::DblClick: run([&] { m_.lvwFiles_DblClick(); }); break;
    case Event::MouseUp: {
        // Button, shift bits, and the position in twips packed together.
        const int button = static_cast<int>(argument & 0xF);
        const int shift = static_cast<int>((argument >> 4) & 0xF);
        const int x = static_cast<int>((argument >> 8) & 0xFFFFFF);
        const int y = static_cast<int>((argument >> 32) & 0xFFFFFF);
        run([&] { m_.lvwFiles_MouseUp(button, shift, x, y); });
        break;
    }
    case Event::ColumnClick: run([&] { m_.lvwFiles_ColumnClick(static_cast<int>(argument)); }); break;
    case Event::FolderListClick: run([&] { m_.lblFolderList_Click(); }); break;
    case Event::ButtonClick:
        switch (argument) {
        case ids::cmdUpdate: run([this] { m_.cmdUpdate_Click(); }); break;
        case ids::cmdExit: run([this] { m_.cmdExit_Click(); }); break;
        case ids::cmdHelp: run([this] { m_.cmdHelp_Click(); }); break;
        case ids::cmdOption: run([this] { m_.cmdOption_Click(); }); break;
        default: break;
        }
        break;
    case Event::Activate:
        if (shownState_ != WindowState::Minimized) run([&] { m_.Form_Activate(); });
        break;
    case Event::Compare: run([this] { m_.fun_aCompare(); }); break;
    case Event::ColumnSized: break;
    }
}

// The position travels packed into the message's LPARAM (64 bits).
static_assert(sizeof(LPARAM) >= 8, "a 64-bit build");

void MainWindow::mouseUp(int button) {
    // Where the pointer was, in the list's twips.
    const DWORD at = ::GetMessagePos();
    POINT p{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ScreenToClient(lvwFiles_, &p);
    const gui::TwipScale scale = scaleFor(dpi_);
    const LPARAM x = std::clamp(scale.fromPxX(p.x), 0, 0xFFFFFF);
    const LPARAM y = std::clamp(scale.fromPxY(p.y), 0, 0xFFFFFF);
    post(Event::MouseUp, static_cast<LPARAM>(button) | (static_cast<LPARAM>(shiftBits()) << 4) | (x << 8) | (y << 32));
}

void MainWindow::selectFocusedRow() {
    const auto focused =
        static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused < 0 || (::SendMessageW(lvwFiles_, LVM_GETITEMSTATE, static_cast<WPARAM>(focused), LVIS_SELECTED) &
                        LVIS_SELECTED)) {
        return;
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = 0;
    ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED;
    ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&state));
    ::SendMessageW(lvwFiles_, LVM_SETSELECTIONMARK, 0, focused);
}

void MainWindow::menuKey() {
    selectFocusedRow();
    // The centre of the focused row, in the list's twips; the list's corner
    // when no row has the focus.
    const auto focused =
        static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (focused < 0 || !::SendMessageW(lvwFiles_, LVM_GETITEMRECT, static_cast<WPARAM>(focused),
                                       reinterpret_cast<LPARAM>(&row))) {
        row = RECT{};
    }
    const gui::TwipScale scale = scaleFor(dpi_);
    const LPARAM x = std::clamp(scale.fromPxX((row.left + row.right) / 2), 0, 0xFFFFFF);
    const LPARAM y = std::clamp(scale.fromPxY((row.top + row.bottom) / 2), 0, 0xFFFFFF);
    post(Event::MouseUp, static_cast<LPARAM>(kRightButton) | (static_cast<LPARAM>(shiftBits()) << 4) | (x << 8) |
                             (y << 32));
}

void MainWindow::clickSelectedNode() {
    const auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tvwFolders_, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) return;
    TVITEMW tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (::SendMessageW(tvwFolders_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) post(Event::NodeClick, tv.lParam);
}

// --- Rendering ---------------------------------------------------------------------

void MainWindow::render() {
    if (!built_) return;
    rendering_ = true;
    setWindowTextIfChanged(window_, m_.caption);
    const auto showButton = [](HWND b, const Control& c) {
        setWindowTextIfChanged(b, c.caption);
        ::EnableWindow(b, c.enabled);
        ::ShowWindow(b, c.visible ? SW_SHOWNA : SW_HIDE);
    };
    showButton(cmdUpdate_, m_.cmdUpdate);
    showButton(cmdExit_, m_.cmdExit);
    showButton(cmdHelp_, m_.cmdHelp);
    showButton(cmdOption_, m_.cmdOption);
    setWindowTextIfChanged(lblFolderList_, m_.lblFolderList.caption);
    setWindowTextIfChanged(lblStatus_, m_.lblStatus.caption);
    setWindowTextIfChanged(label3_, m_.Label3.caption);
    setWindowTextIfChanged(txtFolderComment_, m_.txtFolderComment.text);
    const std::wstring status = widen(m_.StatusBar1.panelText);
    std::wstring shown(static_cast<std::size_t>(LOWORD(::SendMessageW(statusBar_, SB_GETTEXTLENGTHW, 0, 0))), L'\0');
    ::SendMessageW(statusBar_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(shown.data()));
    if (shown != status) ::SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(status.c_str()));
    // While a load fills the tree and the list they show as it emptied them.
    if (!ui_.loading()) {
        renderTree();
        renderList(false);
    }
    renderGeometry();
    rendering_ = false;
}

void MainWindow::renderGeometry() {
    layout_.setGeometry(cmdUpdate_, m_.cmdUpdate.geometry);
    layout_.setGeometry(cmdExit_, m_.cmdExit.geometry);
    layout_.setGeometry(cmdHelp_, m_.cmdHelp.geometry);
    layout_.setGeometry(cmdOption_, m_.cmdOption.geometry);
    layout_.setGeometry(lblFolderList_, m_.lblFolderList.geometry);
    layout_.setGeometry(lblStatus_, m_.lblStatus.geometry);
    layout_.setGeometry(label3_, m_.Label3.geometry);
    layout_.setGeometry(txtFolderComment_, m_.txtFolderComment.geometry);
    layout_.setGeometry(tvwFolders_, m_.tvwFolders.geometry);
    layout_.setGeometry(lvwFiles_, m_.lvwFiles.geometry);
    layout_.apply(dpi_);
    // Docked to the bottom, the full width, whatever rounding did above.
    const gui::TwipScale scale = scaleFor(dpi_);
    RECT client{};
    ::GetClientRect(window_, &client);
    const int barHeight = scale.toPxY(m_.StatusBar1.geometry.height);
    ::SetWindowPos(statusBar_, nullptr, 0, client.bottom - barHeight, client.right, barHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    int parts[1] = {std::max(0, scale.toPxX(m_.StatusBar1.panelWidth))};
    ::SendMessageW(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
}

void MainWindow::renderTree() {
    const TreeView& tree = m_.tvwFolders;
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(tvwFolders_, GWL_STYLE));
    const DWORD wanted = (style & ~static_cast<DWORD>(TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT)) |
                         treeStyleBits(tree.style);
    if (wanted != style) ::SetWindowLongPtrW(tvwFolders_, GWL_STYLE, static_cast<LONG_PTR>(wanted));

    if (tree.revision() != shownTreeRevision_) {
        ::SendMessageW(tvwFolders_, WM_SETREDRAW, FALSE, 0);
        ::SendMessageW(tvwFolders_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        treeItems_.assign(tree.nodes().size(), nullptr);
        // Children by name whatever order the folder listed them in, as a
        // person looks for them; each item keeps its node's number.
        std::vector<std::wstring> texts;
        texts.reserve(tree.nodes().size());
        std::vector<std::size_t> order(tree.nodes().size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
            texts.push_back(widen(tree.nodes()[i].text));
        }
        // By parent (a parent is numbered before its children), then by name.
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int pa = tree.nodes()[a].parent, pb = tree.nodes()[b].parent;
            if (pa != pb) return pa < pb;
            return ::CompareStringOrdinal(texts[a].c_str(), -1, texts[b].c_str(), -1, TRUE) == CSTR_LESS_THAN;
        });
        for (const std::size_t i : order) {
            const TreeNode& node = tree.nodes()[i];
            TVINSERTSTRUCTW insert{};
            insert.hParent = TVI_ROOT;
            if (node.parent > 0 && static_cast<std::size_t>(node.parent) <= treeItems_.size() &&
                treeItems_[static_cast<std::size_t>(node.parent - 1)] != nullptr) {
                insert.hParent = treeItems_[static_cast<std::size_t>(node.parent - 1)];
            }
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM;
            insert.item.pszText = texts[i].data();
            insert.item.lParam = static_cast<LPARAM>(i + 1);
            treeItems_[i] = reinterpret_cast<HTREEITEM>(
                ::SendMessageW(tvwFolders_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        }
        ::SendMessageW(tvwFolders_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(tvwFolders_, nullptr, TRUE);
        shownTreeRevision_ = tree.revision();
    }
    if (!treeItems_.empty() && treeItems_[0] != nullptr) {
        ::SendMessageW(tvwFolders_, TVM_EXPAND, tree.rootExpanded ? TVE_EXPAND : TVE_COLLAPSE,
                       reinterpret_cast<LPARAM>(treeItems_[0]));
    }
    HTREEITEM selected = nullptr;
    if (tree.selectedNode >= 1 && static_cast<std::size_t>(tree.selectedNode) <= treeItems_.size()) {
        selected = treeItems_[static_cast<std::size_t>(tree.selectedNode - 1)];
    }
    if (reinterpret_cast<HTREEITEM>(::SendMessageW(tvwFolders_, TVM_GETNEXTITEM, TVGN_CARET, 0)) != selected) {
        ::SendMessageW(tvwFolders_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(selected));
    }
}

void MainWindow::renderImages() {
    const auto& pictures = m_.ImageList1.images;
    if (imageIndexOf_.size() > kMaxKeptPictures) {
        ::ImageList_RemoveAll(images_);
        imageIndexOf_.clear();
    }
    shownImages_.assign(pictures.size(), -1);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const SharedIcon& picture = pictures.picture(i);
        if (!picture) continue;
        auto it = imageIndexOf_.find(picture.get());
        if (it == imageIndexOf_.end()) {
            int index = -1;
            if (picture->width == kIconSize && picture->height == kIconSize &&
                picture->pixels.size() == static_cast<std::size_t>(kIconSize * kIconSize)) {
                if (HICON icon = iconOf(*picture)) {
                    index = ::ImageList_AddIcon(images_, icon);
                    ::DestroyIcon(icon);
                }
            }
            it = imageIndexOf_.emplace(picture.get(), std::make_pair(picture, index)).first;
        }
        shownImages_[i] = it->second.second;
    }
}

void MainWindow::renderList(bool columnsAnyway) {
    const ListView& list = m_.lvwFiles;
    bool fit = false;
    // Columns: only when they changed, so that widths the person dragged stay.
    if (columnsAnyway || shownColumnsDpi_ != dpi_ || !sameColumns(shownColumns_, list.columns)) {
        fit = true;
        ::SendMessageW(lvwFiles_, WM_SETREDRAW, FALSE, 0);
        while (::SendMessageW(lvwFiles_, LVM_DELETECOLUMN, 0, 0)) {
        }
        const gui::TwipScale scale = scaleFor(dpi_);
        for (std::size_t i = 0; i < list.columns.size(); ++i) {
            std::wstring text = widen(list.columns[i].text);
            LVCOLUMNW column{};
            column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
            column.fmt = alignmentFormat(list.columns[i].alignment);
            column.cx = scale.toPxX(list.columns[i].width);
            column.pszText = text.data();
            column.iSubItem = static_cast<int>(i);
            ::SendMessageW(lvwFiles_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        }
        ::SendMessageW(lvwFiles_, WM_SETREDRAW, TRUE, 0);
        shownColumns_ = list.columns;
        shownColumnsDpi_ = dpi_;
    }

    ::SendMessageW(lvwFiles_, LVM_SETIMAGELIST, LVSIL_SMALL,
                   reinterpret_cast<LPARAM>(list.smallIconsAttached ? images_ : nullptr));
    // The extended styles the model holds, added to the list's own.
    const auto current = static_cast<DWORD>(::SendMessageW(lvwFiles_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    if ((current & list.extendedStyle) != list.extendedStyle) {
        ::SendMessageW(lvwFiles_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, current | list.extendedStyle);
    }

    if (list.revision != shownListRevision_ || list.rows.size() != shownRowCount_) {
        // Rows replaced or reordered: the list asks for them afresh, with the
        // selection they bring.
        renderImages();
        ::SendMessageW(lvwFiles_, LVM_SETITEMCOUNT, list.rows.size(), 0);
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = 0;
        ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            if (!list.rows[i].selected) continue;
            state.stateMask = LVIS_SELECTED;
            state.state = LVIS_SELECTED;
            ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
        }
        if (list.selectedItem >= 0 && static_cast<std::size_t>(list.selectedItem) < list.rows.size()) {
            state.stateMask = LVIS_FOCUSED;
            state.state = LVIS_FOCUSED;
            ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(list.selectedItem),
                           reinterpret_cast<LPARAM>(&state));
            ::SendMessageW(lvwFiles_, LVM_SETSELECTIONMARK, 0, list.selectedItem);
            ::SendMessageW(lvwFiles_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(list.selectedItem), FALSE);
        } else if (!list.rows.empty()) {
            ::SendMessageW(lvwFiles_, LVM_ENSUREVISIBLE, 0, FALSE);
        }
        ::InvalidateRect(lvwFiles_, nullptr, FALSE);
        shownListRevision_ = list.revision;
        shownRowCount_ = list.rows.size();
        selectionChanged_ = false;
        // After each load and sort.
        fit = true;
    } else {
        // A cell may have changed (a comment): what is visible is drawn again.
        ::InvalidateRect(lvwFiles_, nullptr, FALSE);
    }
    if (fit) fitColumns();
}

void MainWindow::fitColumns() {
    const ListView& list = m_.lvwFiles;
    const gui::TwipScale scale = scaleFor(dpi_);
    const int padding = MulDiv(kCellPadding, static_cast<int>(dpi_), 96) + kGridLine;
    HDC dc = ::GetDC(lvwFiles_);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(lvwFiles_, WM_GETFONT, 0, 0)));
    const auto count = static_cast<int>(::SendMessageW(listHeader_, HDM_GETITEMCOUNT, 0, 0));
    for (std::size_t i = 0; i < list.columns.size() && static_cast<int>(i) < count; ++i) {
        const int column = static_cast<int>(i);
        int width = scale.toPxX(list.columns[i].width);
        if (const auto kept = personWidths_.find(column); kept != personWidths_.end()) {
            width = kept->second;
        } else if (list.columns[i].fitsContent) {
            // The header in the header's font, the cells in the list's (the same one).
            const std::wstring header = widen(list.columns[i].text);
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, header.c_str(), static_cast<int>(header.size()), &extent);
            width = std::max({width, static_cast<int>(extent.cx) + padding, widestCell(i, dc) + padding});
        }
        if (::SendMessageW(lvwFiles_, LVM_GETCOLUMNWIDTH, i, 0) != width) {
            ::SendMessageW(lvwFiles_, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(width, 0));
        }
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(lvwFiles_, dc);
}

int MainWindow::widestCell(std::size_t column, HDC dc) const {
    // Plain ASCII texts (times, sizes, the backup mark) add up the advances
    // of their characters, so that a folder of many thousand rows is
    // measured at once; the widest is then measured whole.
    INT advance[128] = {};
    ::GetCharWidth32W(dc, 0, 127, advance);
    const auto extentOf = [dc](const std::string& text) {
        const std::wstring wide = widen(text);
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        return static_cast<int>(extent.cx);
    };
    int widest = 0;
    const std::string* widestText = nullptr;
    for (const ListItem& row : m_.lvwFiles.rows) {
        if (column >= row.cells.size()) continue;
        const std::string& text = row.cells[column];
        int width = 0;
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 128) {
                width = extentOf(text);
                break;
            }
            width += advance[u];
        }
        if (width > widest) {
            widest = width;
            widestText = &text;
        }
    }
    return widestText != nullptr ? std::max(widest, extentOf(*widestText)) : 0;
}

void MainWindow::pullSelection() {
    // What the person selected, into the rows' selected flags and the
    // SelectedItem: the focused row when it is selected, else the first
    // selected row.
    if (!selectionChanged_) return;
    selectionChanged_ = false;
    ListView& list = m_.lvwFiles;
    if (list.revision != shownListRevision_ || list.rows.size() != shownRowCount_) return;
    for (ListItem& row : list.rows) row.selected = false;
    int first = -1;
    for (auto i = static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         i >= 0 && static_cast<std::size_t>(i) < list.rows.size();
         i = static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) {
        list.rows[static_cast<std::size_t>(i)].selected = true;
        if (first < 0) first = i;
    }
    const auto focused =
        static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    list.selectedItem = focused >= 0 && static_cast<std::size_t>(focused) < list.rows.size() &&
                                list.rows[static_cast<std::size_t>(focused)].selected
                            ? focused
                            : first;
}

// --- Size, state and closing ---------------------------------------------------

void MainWindow::applyWindowState(WindowState state) {
    switch (state) {
    case WindowState::Minimized: ::ShowWindow(window_, SW_MINIMIZE); break;
    case WindowState::Maximized:
        ::ShowWindow(window_, SW_SHOWMAXIMIZED);
        // Painted before a long first load keeps the program busy.
        ::UpdateWindow(window_);
        break;
    case WindowState::Normal: ::ShowWindow(window_, SW_RESTORE); break;
    }
}

void MainWindow::reportSize() {
    const gui::TwipScale scale = scaleFor(dpi_);
    RECT outer{};
    RECT client{};
    ::GetWindowRect(window_, &outer);
    ::GetClientRect(window_, &client);
    m_.width = scale.fromPxX(outer.right - outer.left);
    m_.height = scale.fromPxY(outer.bottom - outer.top);
    m_.clientWidth = scale.fromPxX(client.right);
    m_.clientHeight = scale.fromPxY(client.bottom);
}

void MainWindow::handleResize() {
    if (applyingSize_ || !built_ || ended_) return;
    m_.windowState = shownState_;
    if (shownState_ != WindowState::Minimized) reportSize();
    // The focused row, in view before, stays in view as the list changes
    // size (a window manager may shrink a window it has just maximised).
    const auto focused =
        static_cast<int>(::SendMessageW(lvwFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    RECT row{};
    row.left = LVIR_BOUNDS;
    RECT list{};
    ::GetClientRect(lvwFiles_, &list);
    const bool keepInView = focused >= 0 &&
                            ::SendMessageW(lvwFiles_, LVM_GETITEMRECT, static_cast<WPARAM>(focused),
                                           reinterpret_cast<LPARAM>(&row)) &&
                            row.bottom > list.top && row.top < list.bottom;
    const std::uint64_t rowsBefore = m_.lvwFiles.revision;
    run([this] { m_.Form_Resize(); });
    if (keepInView && !ended_ && m_.lvwFiles.revision == rowsBefore) {
        ::SendMessageW(lvwFiles_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(focused), FALSE);
    }
    if (m_.windowState != WindowState::Normal || ::IsZoomed(window_) || ::IsIconic(window_)) return;
    // The minimum size the layout asked for.
    const gui::TwipScale scale = scaleFor(dpi_);
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int wantedWidth = std::max(width, scale.toPxX(m_.width));
    const int wantedHeight = std::max(height, scale.toPxY(m_.height));
    if (wantedWidth != width || wantedHeight != height) {
        applyingSize_ = true;
        ::SetWindowPos(window_, nullptr, 0, 0, wantedWidth, wantedHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        applyingSize_ = false;
        renderGeometry();
    }
}

void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
    for (auto& [column, width] : personWidths_) width = MulDiv(width, static_cast<int>(dpi), static_cast<int>(dpi_));
    dpi_ = dpi;
    updateRefreshPicture();
    layout_.apply(dpi_);
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    rendering_ = true;
    renderList(true);
    rendering_ = false;
    handleResize();
}

void MainWindow::endProgram() {
    // The exit button has written everything: the program ends without the
    // unload steps.
    ended_ = true;
    ::ShowWindow(window_, SW_HIDE);
    ::PostQuitMessage(0);
}

void MainWindow::unloadOnce() {
    if (unloaded_) return;
    unloaded_ = true;
    m_.Form_Unload();
}

// --- Messages ------------------------------------------------------------------

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<MainWindow*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (!built_) break;
        shownState_ = wParam == SIZE_MINIMIZED   ? WindowState::Minimized
                      : wParam == SIZE_MAXIMIZED ? WindowState::Maximized
                                                 : WindowState::Normal;
        // Coming back from the task bar lays out again (and reloads after an open).
        handleResize();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        const gui::TwipScale scale = scaleFor(dpi_);
        info->ptMinTrackSize.x = scale.toPxX(kMinOuterWidth);
        info->ptMinTrackSize.y = scale.toPxY(kMinOuterHeight);
        return 0;
    }
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus != nullptr && ::IsChild(window_, focus)) focusBeforeDeactivation_ = focus;
            return 0;
        }
        if (HIWORD(wParam) == 0) {
            ::SetFocus(focusBeforeDeactivation_ != nullptr ? focusBeforeDeactivation_ : cmdExit_);
            post(Event::Activate);
        }
        return 0;
    case WM_SETFOCUS:
        ::SetFocus(focusBeforeDeactivation_ != nullptr ? focusBeforeDeactivation_ : cmdExit_);
        return 0;
    case WM_SETCURSOR:
        if (ui_.waitCursorShown()) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (reinterpret_cast<HWND>(wParam) == lblFolderList_) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        if (lParam != 0) onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return onNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case kDeferredEvent:
        onDeferred(static_cast<Event>(wParam), lParam);
        return 0;
    case WM_CLOSE:
        if (ended_) return 0;
        if (busy_ > 0 || ui_.modalDepth() > 0) {
            // A small window, message box or input box first, as through its
            // title bar, or a load stopped; the handler then finishes before
            // the main window closes.
            pendingClose_ = true;
            ui_.closeOwnedWindows();
            ui_.cancelLoad();
            return 0;
        }
        ended_ = true;
        unloadOnce();
        ::ShowWindow(window_, SW_HIDE);
        ::PostQuitMessage(0);
        return 0;
    case WM_QUERYENDSESSION:
        // The session may end without another message reaching the program.
        unloadOnce();
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            unloadOnce();
            ended_ = true;
            ::ExitProcess(0);
        }
        // Log-off cancelled: the program goes on, and unloads again when it ends.
        unloaded_ = false;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::onCommand(int id, int code) {
    if (id == ids::txtFolderComment) {
        if (code == EN_CHANGE && !rendering_) m_.txtFolderComment.text = windowText(txtFolderComment_);
        return;
    }
    if (id == ids::lblFolderList) {
        if (code == STN_CLICKED) post(Event::FolderListClick);
        return;
    }
    // Run once the button has finished with its click, so that a click sent
    // by another program returns before a small window opens.
    if (code == BN_CLICKED && takesEvents()) post(Event::ButtonClick, id);
}

LRESULT MainWindow::onNotify(const NMHDR& header) {
    if (header.hwndFrom == lvwFiles_) {
        switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header))->item;
            const ListView& list = m_.lvwFiles;
            if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= list.rows.size() ||
                static_cast<std::size_t>(item.iItem) >= shownRowCount_) {
                return 0;
            }
            const ListItem& row = list.rows[static_cast<std::size_t>(item.iItem)];
            if ((item.mask & LVIF_TEXT) && item.pszText != nullptr && item.cchTextMax > 0) {
                const auto column = static_cast<std::size_t>(item.iSubItem);
                cellText_ = column < row.cells.size() ? widen(row.cells[column]) : std::wstring();
                const std::size_t n = std::min(cellText_.size(), static_cast<std::size_t>(item.cchTextMax - 1));
                cellText_.copy(item.pszText, n);
                item.pszText[n] = L'\0';
            }
            if (item.mask & LVIF_IMAGE) {
                const int index = row.smallIcon;
                item.iImage = index >= 1 && static_cast<std::size_t>(index) <= shownImages_.size()
                                  ? shownImages_[static_cast<std::size_t>(index - 1)]
                                  : I_IMAGENONE;
            }
            return 0;
        }
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED:
            if (!rendering_) selectionChanged_ = true;
            return 0;
        case LVN_COLUMNCLICK:
            if (takesEvents()) post(Event::ColumnClick, reinterpret_cast<const NMLISTVIEW&>(header).iSubItem + 1);
            return 0;
        case NM_DBLCLK:
            if (takesEvents()) post(Event::DblClick);
            return 0;
        case NM_RCLICK:
            if (takesEvents()) mouseUp(kRightButton);
            return 0;
        case NM_CLICK:
            if (takesEvents()) mouseUp(kLeftButton);
            return 0;
        default:
            return 0;
        }
    }
    if (header.hwndFrom == listHeader_ && listHeader_ != nullptr) {
        // A width set outside a render is the person's (a divider dragged or
        // double-clicked): it stays for the rest of the run. Read once the
        // header has set it (not every list passes each of these on).
        switch (header.code) {
        case HDN_ENDTRACKW:
        case HDN_ENDTRACKA:
        case HDN_DIVIDERDBLCLICKW:
        case HDN_DIVIDERDBLCLICKA:
        case HDN_ITEMCHANGEDW:
        case HDN_ITEMCHANGEDA:
            if (!rendering_ && reinterpret_cast<const NMHEADERW&>(header).iItem >= 0) {
                post(Event::ColumnSized, reinterpret_cast<const NMHEADERW&>(header).iItem);
            }
            break;
        default: break;
        }
        return 0;
    }
    if (header.hwndFrom == tvwFolders_) {
        switch (header.code) {
        case TVN_ITEMEXPANDINGW:
            // The root stays open: no collapsing by double click or key.
            return rendering_ ? FALSE : TRUE;
        case NM_CLICK: {
            if (!takesEvents()) return 0;
            const DWORD at = ::GetMessagePos();
            TVHITTESTINFO hit{};
            hit.pt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
            ::ScreenToClient(tvwFolders_, &hit.pt);
            const auto item =
                reinterpret_cast<HTREEITEM>(::SendMessageW(tvwFolders_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
            if (item == nullptr || !(hit.flags & TVHT_ONITEM)) return 0;
            TVITEMW tv{};
            tv.mask = TVIF_PARAM;
            tv.hItem = item;
            if (::SendMessageW(tvwFolders_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) {
                post(Event::NodeClick, tv.lParam);
            }
            return 0;
        }
        default:
            return 0;
        }
    }
    return 0;
}

bool MainWindow::preTranslate(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_KEYUP &&
        msg.message != WM_SYSKEYUP) {
        return false;
    }
    if (msg.hwnd != window_ && !::IsChild(window_, msg.hwnd)) return false;
    if (!takesEvents()) return false;
    HWND focus = ::GetFocus();
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    const bool contextKey = msg.wParam == VK_APPS || (msg.wParam == VK_F10 && shift && !ctrl && !alt);
    if (focus == lvwFiles_ && contextKey) {
        if (down) menuKey();
        return true;
    }
    if (!down) return false;
    switch (msg.wParam) {
    case VK_F5:
        if (ctrl || alt || shift) return false;
        run([this] { m_.cmdUpdate_Click(); });
        return true;
    case VK_RETURN:
        if (focus == lvwFiles_) {
            selectFocusedRow();
            post(Event::DblClick);
        } else if (focus == tvwFolders_) {
            clickSelectedNode();
        } else if (isPushButton(focus) && ::IsWindowEnabled(focus)) {
            ::SendMessageW(focus, BM_CLICK, 0, 0);
        }
        return true;
    case VK_SPACE:
        if (focus != tvwFolders_) return false;
        clickSelectedNode();
        return true;
    case VK_BACK:
        if (focus == txtFolderComment_) return false;
        post(Event::NodeClick, 1);
        return true;
    case VK_UP:
        if (!alt) return false;
        post(Event::NodeClick, 1);
        // Passed on all the same: the window learns that Alt was not pressed
        // alone, which would open its system menu when released.
        return false;
    case 'D':
        // Compares the selected rows.
        if (!ctrl || alt || shift) return false;
        post(Event::Compare);
        return true;
    case 'A':
        if (!ctrl || alt) return false;
        if (focus == lvwFiles_) {
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED;
            state.state = LVIS_SELECTED;
            ::SendMessageW(lvwFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
            return true;
        }
        if (focus == txtFolderComment_) {
            ::SendMessageW(txtFolderComment_, EM_SETSEL, 0, -1);
            return true;
        }
        return false;
    default:
        return false;
    }
}

}  // namespace mabrel::win32gui
