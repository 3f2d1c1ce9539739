// The main window, without a toolkit: what its controls hold and its event
// handlers. The front end forwards the person's events to the handlers and
// renders the state; everything the window asks of the person goes through
// Interaction.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/controls.h"
#include "app/interaction.h"
#include "app/process_state.h"
#include "folderview/comment_file.h"
#include "platform/filesystem.h"
#include "platform/process.h"
#include "platform/text.h"

namespace mabrel {

inline constexpr char kAppTitle[] = "mabrel9-iv";
inline constexpr char kCommentFileName[] = "_mabre.l94";

// Mouse buttons as lvwFiles_MouseUp receives them.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;

class frm_mabrel94 {
public:
    frm_mabrel94(ProcessState& state, platform::FileSystem& fs, const platform::Codec& codec,
                 platform::Process& process, Interaction& ui);

    // --- What the window and its controls hold -------------------------
    std::string caption;
    Control cmdUpdate;   // shows a picture
    Control cmdExit;     // "終 了"
    Control cmdHelp;     // "操作説明"
    Control cmdOption;   // "設　　　定"
    Control lblFolderList;
    Control lblStatus;
    Control Label3;
    TextBox txtFolderComment;
    TreeView tvwFolders;
    ListView lvwFiles;
    StatusBar StatusBar1;
    ImageList ImageList1;

    // Outer size of the window and its client area, in twips. The front end
    // keeps these current; Form_Resize may change width and height (the
    // minimum size), which the front end then applies.
    int width = 0;
    int height = 0;
    int clientWidth = 5505;
    int clientHeight = 5175;
    // The state the window really has, as the front end last reported it. A
    // state asked for through setWindowState counts only once reported: a
    // window manager may refuse it, or pass through other states on its way.
    WindowState windowState = WindowState::Normal;

    // Set by the open action: the folder view is reloaded once the window
    // has really been minimised and is brought back.
    bool reloadOnRestore = false;
    int lastSortColumn = 0;

    // --- Events ----------------------------------------------------------
    // Start-up. False when another instance runs: the program must end at
    // once, having read and written nothing.
    bool Form_Load();
    // On every resize and change of windowState the front end reports.
    void Form_Resize();
    // The window has become the active window.
    void Form_Activate();
    void Form_Unload();
    void cmdUpdate_Click();
    void cmdExit_Click();
    void cmdHelp_Click();
    void cmdOption_Click();
    // nodeIndex: 1-based index into tvwFolders.
    void tvwFolders_NodeClick(int nodeIndex);
    void lblFolderList_Click();
    // columnPosition: 1-based position of the clicked header.
    void lvwFiles_ColumnClick(int columnPosition);
    void lvwFiles_DblClick();
    void lvwFiles_MouseUp(int button, int shift, int x, int y);

    // --- Procedures ------------------------------------------------------
    void fun_Load();
    void fun_SortList(int column, bool forceAscending);
    int fun_AddIcon(const std::string& path);
    // row: index into lvwFiles.rows.
    void fun_aOpen(int row);
    void fun_aResume(int row);
    void fun_aDelete(int row);
    void fun_aEditComment(int row);
    // Compares the selected rows: one backup row with its file as it is now,
    // or two rows with each other, the older on the left. The row menu's
    // "比 較" and Ctrl+D.
    void fun_aCompare();
    // Whether fun_aCompare takes the rows selected now.
    bool canCompare() const;
    void fun_rClick();
    // Writes the comment file of p_driveAndPath from the list and
    // txtFolderComment. False when it could not, and something typed is not
    // stored (the person is told): the caller must not replace the view.
    bool saveCommentFile();
    // Saves the comments and reloads; what could not be stored stays on screen.
    void saveAndReload();
    // Reloads without saving; comments typed and not yet stored stay on screen.
    void reloadKeepingTyped();
    bool hasUnsavedComments() const;
    // The settings file in the process's settings folder. Not written once a
    // read found it there but could not read it.
    bool readSettingsFile();
    bool writeSettingsFile();
    std::string helpPagePath();

    // Asks the front end for a window state; windowState follows when the
    // front end reports that the window has it.
    void setWindowState(WindowState state);

    ProcessState& state() { return state_; }
    Interaction& ui() { return ui_; }

private:
    void applyInitialGeometry();
    // What this instance changed of the stored comments.
    folderview::CommentChanges commentChanges() const;
    // The comments shown are now the stored ones.
    void rebaseComments();
    // The folder (drive form), made first with the folders above it where
    // they are missing.
    std::unique_ptr<platform::Directory> openFolderMaking(const std::string& path);
    // Selects the file row of `name`, if the list shows one.
    void selectFileRow(const std::string& name);
    // The reload that follows an open, once the window is back.
    void reloadAfterOpen();

    ProcessState& state_;
    platform::FileSystem& fs_;
    const platform::Codec& codec_;
    platform::Process& process_;
    Interaction& ui_;

    // The settings file is there but could not be read: never written over.
    bool settingsUnreadable_ = false;
    // The comments as the comment file held them when this instance last
    // read or wrote it, by row (key, and whether a copy's): what tells the
    // changes this instance made, the only ones a save writes.
    folderview::StoredComments storedComments_;
    std::string storedFolderComment_;
    // Changes typed on rows a reload no longer shows, for the next save.
    struct PendingComment {
        std::string key;
        bool copy = false;
        std::string comment;
    };
    std::vector<PendingComment> unshownChanges_;
    // Names of the entries of the folder and of its backup directory (the
    // source names of copies) that got no row: their records are kept.
    std::unordered_set<std::string> unshownNames_;
    // The last load did not see every entry: no record is dropped.
    bool listingIncomplete_ = true;
    // The comment file holds records of names no entry has any more.
    bool dropsPending_ = false;
    // True once the window was really minimised after the last open: only
    // then does its coming back reload.
    bool minimisedSinceOpen_ = false;
    // Pictures of another size than ImageList1's, fitted once per load:
    // picture given -> (that picture, kept alive; the fitted one).
    std::unordered_map<const IconImage*, std::pair<SharedIcon, SharedIcon>> fittedIcons_;
};

}  // namespace mabrel
