// The main window frm_mabrel94 with the Windows common controls: it renders
// the window model and forwards every event of the person to the model's
// handler, then renders again. It decides nothing itself.
#pragma once

#include "gui/win32/gui_util.h"

#include <commctrl.h>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/frm_mabrel94.h"

namespace mabrel::win32gui {

class Win32Interaction;

class MainWindow {
public:
    // The window itself is made when start-up first shows it.
    MainWindow(frm_mabrel94& model, Win32Interaction& ui);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Start-up: the model's Form_Load, which shows the window maximised.
    // False when another instance runs: nothing was shown.
    bool start();
    // True once the program is over (exit button, window closed).
    bool ended() const { return ended_; }
    HWND window() const { return window_; }

    // The main window's own keys, looked at before the dialog keys (Tab);
    // true when the key was handled.
    bool preTranslate(const MSG& msg);

private:
    // Events of the controls that run once the control has finished with
    // the message that raised them (their handlers may rebuild the control).
    enum class Event : WPARAM {
        NodeClick, DblClick, MouseUp, ColumnClick, FolderListClick, ButtonClick, Activate, ColumnSized, Compare
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onNotify(const NMHDR& header);
    void onCommand(int id, int code);
    void onDeferred(Event event, LPARAM argument);
    void post(Event event, LPARAM argument = 0);
    // Whether the person's events are taken now: not while a handler runs
    // or a small window is open, as on a disabled window.
    bool takesEvents() const;

    // Runs a handler of the model, then shows what it changed.
    template <typename F>
    void run(F&& handler);
    void render();

    void create();
    void build();
    void applyWindowState(WindowState state);
    void endProgram();
    void unloadOnce();
    void handleResize();
    void reportSize();
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void renderGeometry();
    void renderTree();
    void renderList(bool columnsAnyway);
    void renderImages();
    // Widens the columns that fit their content to their widest cell and
    // header; a width the person dragged stays as it is.
    void fitColumns();
    int widestCell(std::size_t column, HDC dc) const;
    void pullSelection();
    void mouseUp(int button);
    // As a click on it would: the focused row becomes the selection when it
    // is not selected.
    void selectFocusedRow();
    // The context-menu key: the right button released over the focused row.
    void menuKey();
    void clickSelectedNode();
    void updateRefreshPicture();

    frm_mabrel94& m_;
    Win32Interaction& ui_;
    HWND window_ = nullptr;
    UINT dpi_ = 96;
    ControlLayout layout_;

    bool built_ = false;
    bool ended_ = false;
    bool unloaded_ = false;
    // The window was asked to close while a handler ran or a small window
    // was open: it closes once they are done.
    bool pendingClose_ = false;
    bool rendering_ = false;
    bool applyingSize_ = false;
    bool selectionChanged_ = false;
    int busy_ = 0;
    // The state the window last reported (WM_SIZE).
    WindowState shownState_ = WindowState::Normal;
    HWND focusBeforeDeactivation_ = nullptr;

    HWND cmdUpdate_ = nullptr;
    HWND cmdExit_ = nullptr;
    HWND cmdHelp_ = nullptr;
    HWND cmdOption_ = nullptr;
    HWND lblFolderList_ = nullptr;
    HWND lblStatus_ = nullptr;
    HWND label3_ = nullptr;
    HWND txtFolderComment_ = nullptr;
    HWND tvwFolders_ = nullptr;
    HWND lvwFiles_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND listHeader_ = nullptr;
    HWND toolTip_ = nullptr;
    HIMAGELIST refreshPicture_ = nullptr;
    UINT refreshPictureDpi_ = 0;

    // The tree's items by node number - 1, as of the tree's revision shown.
    std::vector<HTREEITEM> treeItems_;
    std::uint64_t shownTreeRevision_ = ~std::uint64_t{0};
    // The list as shown: its revision and row count, its columns and the
    // resolution they were sized for.
    std::uint64_t shownListRevision_ = ~std::uint64_t{0};
    std::size_t shownRowCount_ = 0;
    std::vector<ColumnHeader> shownColumns_;
    UINT shownColumnsDpi_ = 0;
    // Widths the person dragged, by column, in pixels at dpi_; kept for the run.
    std::map<int, int> personWidths_;
    // The small icons: each picture once in the image list, by picture;
    // and the image list's index of each image of ImageList1.
    HIMAGELIST images_ = nullptr;
    std::unordered_map<const IconImage*, std::pair<SharedIcon, int>> imageIndexOf_;
    std::vector<int> shownImages_;
    // A cell's text handed to the list (it keeps only the pointer).
    std::wstring cellText_;
};

}  // namespace mabrel::win32gui
