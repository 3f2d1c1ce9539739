// Moving between folders: down into a sub-folder or up to the parent through
// the folder tree, and to any drive or typed folder through the drive chooser.
// The folder being left is recorded (settings file) and its comments saved
// before p_driveAndPath changes.
#include <string>

#include "app/frm_mabrel94.h"
#include "drives/frm_drive.h"
#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel {

namespace {

std::string withTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

// Byte offset of the character at 1-based position `position`.
std::size_t offsetOfChar(const std::string& s, std::size_t position) {
    return util::leftChars(s, position - 1).size();
}

// Whether the folder whose parent is `parent` (as computed from the folder's
// own path) was a drive root or a network share.
bool wasTopFolder(const std::string& parent) {
    const std::size_t first = parent.find('\\', offsetOfChar(parent, 3));
    if (parent.rfind("\\\\", 0) == 0) {
        return first == std::string::npos || parent.find('\\', first + 1) == std::string::npos;
    }
    return first == std::string::npos;
}

// The drive chooser's answer; empty when nothing was chosen. A folder typed
// in the machine's own form (/home/me on Linux) is mapped as the command
// line maps it.
std::string chooseFolder(ProcessState& state, Interaction& ui, platform::Process& process,
                         const std::string& rootNodeText) {
    frm_drive window(state, ui, rootNodeText);
    ui.showModal(window);
    return state.p_chosenPath.empty() ? std::string() : process.typedPath(state.p_chosenPath);
}

// A typed folder spelled as the disk stores it, where letter case is all that
// differs; anything else stays as typed.
std::string storedSpelling(platform::FileSystem& fs, const std::string& chosen) {
    const std::string typed = withTrailingSeparator(chosen);
    const std::string found = withTrailingSeparator(bas_basic::normaliseLongName(fs, typed));
    return util::toLowerAscii(found) == util::toLowerAscii(typed) ? found : typed;
}

}  // namespace

void frm_mabrel94::tvwFolders_NodeClick(int nodeIndex) {
    if (nodeIndex < 1 || nodeIndex > tvwFolders.count()) return;
    const TreeNode node = tvwFolders.node(nodeIndex);

    writeSettingsFile();
    // Typed comments that could not be stored keep the folder shown.
    if (!saveCommentFile()) return;

    if (nodeIndex == 1) {
        // Up: the parent of the folder shown.
        const std::string text = node.text;
        const std::string withoutLast = util::leftChars(text, util::charLength(text) - 1);
        state_.p_driveAndPath = bas_basic::splitName(withoutLast, "\\", 1).left;
        if (wasTopFolder(state_.p_driveAndPath)) {
            const std::string chosen = chooseFolder(state_, ui_, process_, text);
            state_.p_driveAndPath = chosen.empty() ? text : storedSpelling(fs_, chosen);
        }
    } else {
        const int parent = node.parent >= 1 && node.parent <= tvwFolders.count() ? node.parent : 1;
        state_.p_driveAndPath = tvwFolders.node(parent).text + node.text + "\\";
    }
    fun_Load();
}

void frm_mabrel94::lblFolderList_Click() {
    const std::string rootText = tvwFolders.count() > 0 ? tvwFolders.node(1).text : state_.p_driveAndPath;
    const std::string chosen = chooseFolder(state_, ui_, process_, rootText);
    if (chosen.empty()) return;

    writeSettingsFile();
    if (!saveCommentFile()) return;
    state_.p_driveAndPath = storedSpelling(fs_, chosen);
    fun_Load();
}

}  // namespace mabrel
