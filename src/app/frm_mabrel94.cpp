// The main window: start-up, its four buttons, shutdown, the layout that
// follows the window's size, and the file list's mouse gestures.
#include "app/frm_mabrel94.h"

#include <algorithm>
#include <exception>

#include "app/error_trap.h"
#include "app/startup.h"
#include "settings/frm_option.h"
#include "settings/settings_file.h"
#include "util/bas_basic.h"

namespace mabrel {

namespace {

// Twips.
constexpr int kMinOuterWidth = 5745;
constexpr int kMinOuterHeight = 3660;
constexpr int kStatusBarHeight = 270;
constexpr int kMargin = 80;
// The window's frame around the design client area of 5505 x 5175 until the
// front end reports the real size.
constexpr int kDesignFrameWidth = 240;
constexpr int kDesignFrameHeight = 510;

void place(Control& c, int left, int top, int width, int height, int tabIndex) {
    c.geometry = {left, top, width, height};
    c.tabIndex = tabIndex;
}

}  // namespace

frm_mabrel94::frm_mabrel94(ProcessState& state, platform::FileSystem& fs, const platform::Codec& codec,
                           platform::Process& process, Interaction& ui)
    : state_(state), fs_(fs), codec_(codec), process_(process), ui_(ui) {
    caption = kAppTitle;
    applyInitialGeometry();
}

void frm_mabrel94::applyInitialGeometry() {
    clientWidth = 5505;
    clientHeight = 5175;
    width = clientWidth + kDesignFrameWidth;
    height = clientHeight + kDesignFrameHeight;

    place(cmdUpdate, 90, 90, 2940, 825, 1);
    cmdUpdate.caption.clear();  // shows a picture
    place(cmdExit, 3090, 90, 1070, 825, 0);
    cmdExit.caption = "終 了";
    place(cmdHelp, 4200, 90, 1070, 375, 10);
    cmdHelp.caption = "操作説明";
    place(cmdOption, 4200, 540, 1070, 375, 11);
    cmdOption.caption = "設　　　定";
    place(lblFolderList, 90, 1080, 2295, 225, 8);
    lblFolderList.caption = "フォルダーリスト";
    place(lblStatus, 2520, 1080, 2745, 225, 3);
    lblStatus.caption = "フォルダーコメント";
    txtFolderComment.geometry = {2490, 1320, 2790, 285};
    txtFolderComment.tabIndex = 2;
    tvwFolders.geometry = {60, 1305, 2325, 3435};
    tvwFolders.tabIndex = 7;
    place(Label3, 2520, 1770, 2745, 225, 9);
    Label3.caption = "ファイルリスト";
    lvwFiles.geometry = {2490, 2010, 2790, 1980};
    lvwFiles.tabIndex = 4;
    StatusBar1.geometry = {0, clientHeight - kStatusBarHeight, clientWidth, kStatusBarHeight};
    StatusBar1.tabIndex = 5;
}

// --- Start-up and shutdown ----------------------------------------------

bool frm_mabrel94::Form_Load() {
    if (!process_.claimSingleInstance("mabrel9-iv")) return false;

    setWindowState(WindowState::Maximized);
    readSettingsFile();
    const std::string remembered = state_.p_driveAndPath;

    // The folder choice asks the process for its command line and current
    // directory; a failure there must not keep the window from coming up.
    std::string fileNamed;
    runTrapped(ui_, "Form_Load", [&] {
        auto start = app::chooseStartFolder(fs_, remembered, process_.commandLine(), process_.currentDirectory());
        state_.p_driveAndPath = std::move(start.folder);
        fileNamed = std::move(start.file);
    });
    fun_Load();
    // Started on a file ("Open with" on a file): its folder, with its row
    // selected.
    if (!fileNamed.empty()) selectFileRow(fileNamed);
    return true;
}

void frm_mabrel94::selectFileRow(const std::string& name) {
    for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) {
        const auto& cells = lvwFiles.rows[i].cells;
        if ((cells[0] != name && lvwFiles.nameOf(lvwFiles.rows[i]) != name) || !cells[3].empty()) continue;
        for (auto& row : lvwFiles.rows) row.selected = false;
        lvwFiles.rows[i].selected = true;
        lvwFiles.selectedItem = static_cast<int>(i);
        return;
    }
}

void frm_mabrel94::Form_Unload() {
    writeSettingsFile();
    saveCommentFile();
}

void frm_mabrel94::cmdUpdate_Click() { saveAndReload(); }

void frm_mabrel94::cmdExit_Click() {
    writeSettingsFile();
    // Comments that could not be stored are not left behind unasked; the
    // person may still end (a read-only folder would keep the program open
    // for good).
    if (!saveCommentFile() && !ui_.askYesNo("入力したコメントは保存されていません。このまま終了しますか？")) return;
    ui_.endProgram();
}

void frm_mabrel94::cmdHelp_Click() {
    // The shell's answer is not looked at: a missing page is not reported.
    ShellRequest request;
    request.owner = "frm_mabrel94";
    request.operation = "open";
    request.file = helpPagePath();
    request.showCommand = 3;
    ui_.shellExecute(request);
}

void frm_mabrel94::cmdOption_Click() {
    // A result left by the context menu must not read as OK if the options
    // window is closed before its load ran.
    state_.p_dialogResult = 0;
    frm_option window(state_);
    ui_.showModal(window);
    if (state_.p_dialogResult > 0) reloadKeepingTyped();
}

// --- Settings file ---------------------------------------------------------

bool frm_mabrel94::readSettingsFile() {
    // A file that is there but cannot be read (or no folder to read it in)
    // holds settings not known here: it is not written over.
    settingsUnreadable_ = true;
    try {
        const std::string name = settings::settingsFileName(process_.executableBaseName());
        std::unique_ptr<platform::Directory> folder;
        try {
            folder = fs_.openDirectory(process_.settingsFolder());
            try {
                // What an interrupted settings write left beside the file.
                folder->removeStaleTemporaries();
            } catch (const std::exception&) {
            }
        } catch (const platform::PlatformError& e) {
            // Not made yet: the first write makes it.
            if (e.number() != platform::err::PathNotFound && e.number() != platform::err::FileNotFound) throw;
        }
        // Kept apart from the executable, where a program installed for
        // everyone cannot write: the file an earlier copy kept beside itself
        // is read until the program has written its own.
        if (process_.settingsFolder() != process_.executableFolder() &&
            (!folder || !folder->find(name, platform::attr::Hidden | platform::attr::System))) {
            const auto beside = fs_.openDirectory(process_.executableFolder());
            settingsUnreadable_ = false;  // nothing of the program's own to write over
            return settings::readSettings(*beside, codec_, name, state_);
        }
        if (!folder) return false;
        return settings::readSettings(*folder, codec_, name, state_, &settingsUnreadable_);
    } catch (const std::exception&) {
        // The reader reports nothing; the state keeps its defaults.
        return false;
    }
}

bool frm_mabrel94::writeSettingsFile() {
    if (settingsUnreadable_) return false;
    try {
        const auto folder = openFolderMaking(process_.settingsFolder());
        const bool written = settings::writeSettings(*folder, codec_, settings::settingsFileName(process_.executableBaseName()),
                                                     state_, process_.executableBaseName(), process_.now());
        try {
            // What a write cut short here left beside the file.
            folder->removeStaleTemporaries();
        } catch (const std::exception&) {
        }
        return written;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<platform::Directory> frm_mabrel94::openFolderMaking(const std::string& path) {
    try {
        return fs_.openDirectory(path);
    } catch (const platform::PlatformError& e) {
        // The settings folder of a new account may not exist yet, nor the
        // folder above it.
        std::string folder = path;
        while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
        const std::size_t slash = folder.find_last_of('\\');
        if ((e.number() != platform::err::PathNotFound && e.number() != platform::err::FileNotFound) ||
            slash == std::string::npos || slash < 2 || slash + 1 == folder.size()) {
            throw;
        }
        const std::string parent = slash == 2 ? folder.substr(0, 3) : folder.substr(0, slash);
        return openFolderMaking(parent)->openFolder(folder.substr(slash + 1), true);
    }
}

std::string frm_mabrel94::helpPagePath() {
    return bas_basic::joinPath(process_.dataFolder(), process_.executableBaseName() + ".html");
}

// --- Window state and layout -------------------------------------------------

void frm_mabrel94::setWindowState(WindowState newState) { ui_.setWindowState(newState); }

void frm_mabrel94::Form_Resize() {
    if (windowState == WindowState::Minimized) {
        // reloadOnRestore stays set; the window may now come back to reload.
        if (reloadOnRestore) minimisedSinceOpen_ = true;
        return;
    }

    // Minimum outer size. The client area follows the outer size by the same
    // amount, so the layout below already sees the enforced size.
    if (width <= kMinOuterWidth) {
        const int frame = std::max(0, width - clientWidth);
        width = kMinOuterWidth;
        clientWidth = kMinOuterWidth - frame;
    }
    if (height <= kMinOuterHeight) {
        const int frame = std::max(0, height - clientHeight);
        height = kMinOuterHeight;
        clientHeight = kMinOuterHeight - frame;
    }

    const int W = clientWidth;
    const int T = clientHeight - kStatusBarHeight;
    auto positive = [](int v) { return std::max(0, v); };

    StatusBar1.geometry = {0, T, W, kStatusBarHeight};
    StatusBar1.panelWidth = W;
    cmdHelp.geometry.left = W - cmdHelp.geometry.width - kMargin;
    cmdOption.geometry.left = cmdHelp.geometry.left;
    cmdExit.geometry.left = cmdHelp.geometry.left - cmdExit.geometry.width - kMargin;
    cmdUpdate.geometry.width = positive(cmdExit.geometry.left - cmdUpdate.geometry.left - kMargin);
    txtFolderComment.geometry.width = positive(W - txtFolderComment.geometry.left - kMargin);
    tvwFolders.geometry.height = positive(T - tvwFolders.geometry.top - kMargin);
    lvwFiles.geometry.width = positive(W - lvwFiles.geometry.left - kMargin);
    lvwFiles.geometry.height = positive(T - lvwFiles.geometry.top - kMargin);

    // A normal or maximised state on the way to the task bar (some window
    // managers pass through one) is not the window coming back: the file
    // just opened has not been edited yet.
    if (reloadOnRestore && minimisedSinceOpen_) reloadAfterOpen();
}

void frm_mabrel94::Form_Activate() {
    // Some window managers activate a window brought back from the task bar
    // before they report its new state.
    if (reloadOnRestore && minimisedSinceOpen_) reloadAfterOpen();
}

void frm_mabrel94::reloadAfterOpen() {
    reloadOnRestore = false;
    minimisedSinceOpen_ = false;
    saveAndReload();
}

// --- File list gestures ------------------------------------------------------

void frm_mabrel94::lvwFiles_DblClick() {
    // Without a selected row there is nothing to open.
    const int row = lvwFiles.selectedItem;
    if (row < 0 || row >= static_cast<int>(lvwFiles.rows.size())) return;
    fun_aOpen(row);
}

void frm_mabrel94::lvwFiles_MouseUp(int button, int /*shift*/, int /*x*/, int /*y*/) {
    if (button == kRightButton) fun_rClick();
}

}  // namespace mabrel
