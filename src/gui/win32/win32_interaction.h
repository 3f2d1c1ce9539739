// The person's side of the windows on Windows: message and input boxes, the
// three small windows as modal windows owned by the main window, the main
// window's state, the wait cursor, the shell and the files' associated icons.
#pragma once

#include "gui/win32/gui_util.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "app/interaction.h"
#include "platform/filesystem.h"

namespace mabrel::win32gui {

class ProgressWindow;

class Win32Interaction : public Interaction {
public:
    explicit Win32Interaction(platform::FileSystem& fs);
    ~Win32Interaction() override;

    // The main window: owner of every small window and message box.
    void setOwner(HWND owner) { owner_ = owner; }
    HWND owner() const { return owner_; }
    void setWindowStateHandler(std::function<void(WindowState)> handler) { windowStateHandler_ = std::move(handler); }
    void setEndProgramHandler(std::function<void()> handler) { endProgramHandler_ = std::move(handler); }
    // Shows the model's state in the main window, before a message box.
    void setRenderHandler(std::function<void()> handler) { renderHandler_ = std::move(handler); }
    // Shows a text in the main window's status bar alone, while a load fills
    // the rest.
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
    // WinMerge where its installer registered it (for the user or the
    // machine), both sides read-only.
    bool openInCompareTool(const CompareToolRequest& request) override;
    std::string compareToolNames() override { return "WinMerge"; }
    // ExtractAssociatedIconW drawn at 16 x 16. Files of one extension share
    // the picture, but for the kinds whose icon is in the file itself.
    SharedIcon iconFor(const std::string& path) override;
    unsigned driveType(const std::string& root) override;
    bool copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) override;
    void copyProgressEnd() override;
    // From its first report to its end a load shows the main window as the
    // load has left it (rendered once), then the status text alone; the main
    // window is painted and takes no input.
    bool loadProgress(const std::string& statusText) override;
    void loadProgressEnd() override;
    bool loading() const { return loadStartedAt_ != 0; }
    // Stops the load under way at its next report (the program is to end).
    void cancelLoad() { loadCancelled_ = loading(); }

    bool waitCursorShown() const { return waitCursorShown_ || copyStartedAt_ != 0; }
    // How many windows that keep the main window from taking input are open
    // (small windows, message and input boxes, the copy progress).
    int modalDepth() const { return modalDepth_; }
    // Closes every window the main window owns as through its title bar.
    void closeOwnedWindows();
    // Handles what waits in the queue while a copy runs, dropping the
    // person's input but to the progress window. False once the program is
    // to end.
    bool pumpDuringCopy();

    // Counts a modal window while it is open.
    class ModalScope {
    public:
        explicit ModalScope(Win32Interaction& ui) : ui_(ui) { ++ui_.modalDepth_; }
        ~ModalScope() { --ui_.modalDepth_; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        Win32Interaction& ui_;
    };

private:
    platform::FileSystem& fs_;
    HWND owner_ = nullptr;
    std::function<void(WindowState)> windowStateHandler_;
    std::function<void()> endProgramHandler_;
    std::function<void()> renderHandler_;
    std::function<void(const std::string&)> statusHandler_;
    bool waitCursorShown_ = false;
    int modalDepth_ = 0;
    // Pictures by lower-case extension; null: no icon.
    std::unordered_map<std::wstring, SharedIcon> iconsByExtension_;
    void beginCopy();
    // The copy under way: when it began (0: none) and when it last handled
    // the queue; whether it disabled the main window and where the focus
    // was then; its window once shown.
    std::uint64_t copyStartedAt_ = 0;
    std::uint64_t copyPumpedAt_ = 0;
    bool copyDisabledOwner_ = false;
    bool copyEnding_ = false;
    HWND focusBeforeCopy_ = nullptr;
    std::unique_ptr<ProgressWindow> progress_;
    std::unique_ptr<ModalScope> copyScope_;
    // The load under way: when it began (0: none) and last handled the queue.
    std::uint64_t loadStartedAt_ = 0;
    std::uint64_t loadPumpedAt_ = 0;
    bool loadCancelled_ = false;
    bool loadDisabledOwner_ = false;
};

}  // namespace mabrel::win32gui
