// The person's side of the windows, with Qt widgets: message and input boxes,
// the three small windows as modal dialogs, the main window's state, the
// wait cursor, the desktop's shell and file-type icons.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <unordered_map>

#include "app/interaction.h"
#include "platform/filesystem.h"


namespace mabrel::gui {

class ProgressDialog;

class QtInteraction : public Interaction {
public:
    // Opens a local file with the desktop's associated application; true when
    // the desktop took the request.
    using ShellOpener = std::function<bool(const QUrl&)>;

    // fs: for drive types and for where program paths lie on this machine.
    explicit QtInteraction(platform::FileSystem& fs);
    ~QtInteraction() override;

    // The main window: owner of every dialog and message box.
    void setOwner(QWidget* owner) { owner_ = owner; }
    QWidget* owner() const { return owner_; }
    // QDesktopServices unless replaced (tests record instead).
    void setShellOpener(ShellOpener opener) { shellOpener_ = std::move(opener); }
    // How the main window applies a window state and ends the program.
    void setWindowStateHandler(std::function<void(WindowState)> handler) { windowStateHandler_ = std::move(handler); }
    void setEndProgramHandler(std::function<void()> handler) { endProgramHandler_ = std::move(handler); }
    // How the main window shows what a handler has done so far: a message
    // box in mid-handler must not stand over a view of something else.
    void setRenderHandler(std::function<void()> handler) { renderHandler_ = std::move(handler); }
    // How the main window shows the status bar's text alone, while a load
    // fills the rest.
    void setStatusHandler(std::function<void(const std::string&)> handler) { statusHandler_ = std::move(handler); }

    void messageBox(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void showModal(frm_rclick& window) override;
    void showModal(frm_option& window) override;
    void showModal(frm_drive& window) override;
    void showModal(frm_compare& window) override;
    void setWindowState(WindowState state) override;
    void endProgram() override;
    void setWaitCursor(bool on) override;
    void shellExecute(const ShellRequest& request) override;
    // Meld, else Kompare, as found on PATH; started on its own, without a shell.
    bool openInCompareTool(const CompareToolRequest& request) override;
    std::string compareToolNames() override { return "Meld、Kompare"; }
    // By the extension of the name alone, looked up once per extension; files
    // of one type share one picture.
    SharedIcon iconFor(const std::string& path) override;
    unsigned driveType(const std::string& root) override;
    // From its first report to its end a copy keeps the windows painted,
    // drops the person's input to every window but the progress window, and
    // shows the busy cursor; after half a second it shows the progress window.
    bool copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) override;
    void copyProgressEnd() override;
    // From its first report to its end a load shows the window as the load
    // has left it (rendered once), then the status text alone; it keeps the
    // windows painted and drops the person's input.
    bool loadProgress(const std::string& statusText) override;
    void loadProgressEnd() override;

    // True while a wait cursor set here is showing.
    bool waitCursorShown() const { return waitCursorShown_; }
    // A copy is under way: from its first progress report to its end.
    bool copying() const { return copy_ != nullptr; }
    // Cancels the copy under way, as キャンセル does.
    void cancelCopy();
    // The progress window while one shows.
    ProgressDialog* progressWindow() const;
    // A load is under way: from its first progress report to its end.
    bool loading() const { return load_ != nullptr; }
    // Stops the load under way at its next report (the program is to end).
    void cancelLoad();

private:
    platform::FileSystem& fs_;
    QPointer<QWidget> owner_;
    ShellOpener shellOpener_;
    std::function<void(WindowState)> windowStateHandler_;
    std::function<void()> endProgramHandler_;
    std::function<void()> renderHandler_;
    std::function<void(const std::string&)> statusHandler_;
    bool waitCursorShown_ = false;
    struct Copy;
    std::unique_ptr<Copy> copy_;
    struct Load;
    std::unique_ptr<Load> load_;
    void endCopy();
    SharedIcon iconOfType(const std::string& extension);
    // Pictures by extension (as spelled: globs such as *.C and *.c name
    // different types), and by file type, so that extensions of one type
    // (.jpg, .jpeg) share one picture. Null: no icon.
    std::unordered_map<std::string, SharedIcon> iconsByExtension_;
    std::unordered_map<std::string, SharedIcon> iconsByType_;
};

// The theme icon for files: the desktop's own theme, or one of the themes
// installed with the program when the desktop names none.
void chooseIconTheme();

}  // namespace mabrel::gui
