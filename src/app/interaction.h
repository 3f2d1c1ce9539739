// The one way the windows reach the person. The Qt front end implements it;
// tests script it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mabrel {

class frm_rclick;
class frm_option;
class frm_drive;
class frm_compare;

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// A small picture, 32-bit ARGB pixels row by row.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A picture shared by every image that shows it; never changed once made.
using SharedIcon = std::shared_ptr<const IconImage>;

struct ShellRequest {
    std::string owner;       // the owner window ("frm_mabrel94")
    std::string operation;   // "open"
    std::string file;        // drive form
    // When not empty, the file's name as its own bytes (not UTF-8): `file`
    // is the folder's path followed by it, and only the folder's part is a
    // path to map onto the machine.
    std::string ownName;
    std::string parameters;
    std::string directory;
    int showCommand = 0;     // 3: shown maximised
};

// Two files for the machine's compare tool, the older on the left.
struct CompareToolRequest {
    std::string older;  // drive form
    std::string newer;
    std::string olderTitle;
    std::string newerTitle;
};

class Interaction {
public:
    virtual ~Interaction() = default;

    // OK button only, no icon, the application's title.
    virtual void messageBox(const std::string& text) = 0;
    // はい and いいえ, no icon, the application's title; true for はい. A front
    // end that cannot ask answers いいえ.
    virtual bool askYesNo(const std::string& text) {
        (void)text;
        return false;
    }
    // The typed text, or nothing for Cancel.
    virtual std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    // Shows the window modally, owned by the main window; returns once it is
    // closed, however it was closed.
    virtual void showModal(frm_rclick& window) = 0;
    virtual void showModal(frm_option& window) = 0;
    virtual void showModal(frm_drive& window) = 0;
    // The compare window: Form_Load, then hidden until the model asks to be
    // visible, shown until it unloads (or closed at once if it unloads first).
    virtual void showModal(frm_compare& window) = 0;

    virtual void setWindowState(WindowState state) = 0;
    // Ends the program at once, without the main window's unload steps.
    virtual void endProgram() = 0;
    virtual void setWaitCursor(bool on) = 0;
    virtual void shellExecute(const ShellRequest& request) = 0;
    // Hands the files to the compare tool installed here, which only reads
    // them. False when none is installed.
    virtual bool openInCompareTool(const CompareToolRequest& request) = 0;
    // The compare tools openInCompareTool looks for here, as a person names them.
    virtual std::string compareToolNames() = 0;
    // The file's associated icon at 16 x 16, or null. Files of one type may
    // get the same picture.
    virtual SharedIcon iconFor(const std::string& path) = 0;
    // Drive type code of a root such as "C:\".
    virtual unsigned driveType(const std::string& root) = 0;

    // A copy that may take long (open, restore) reports here how much of the
    // named file it has copied; a front end shows a progress window once a
    // copy has run for half a second. False: the person cancelled, and the
    // copy stops as a failed one would, leaving nothing behind.
    virtual bool copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) {
        (void)fileName, (void)copied, (void)total;
        return true;
    }
    // The copy has ended, however it ended: any progress window closes.
    virtual void copyProgressEnd() {}

    // A folder load reports here, with the status bar's text, how far it has
    // got: once before it reads, then as it reads. A front end shows the
    // window with its controls as the load has left them so far (an empty
    // list) and that text, keeps it painted, and takes no input until the
    // load ends. False: the program is to end, and the load stops as a
    // failed one would.
    virtual bool loadProgress(const std::string& statusText) {
        (void)statusText;
        return true;
    }
    // The load has ended, however it ended.
    virtual void loadProgressEnd() {}
};

}  // namespace mabrel
