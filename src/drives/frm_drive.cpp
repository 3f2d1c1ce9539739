#include "drives/frm_drive.h"

namespace mabrel {

namespace {

bool selectable(const Control& c) { return c.enabled && c.visible; }

}  // namespace

frm_drive::frm_drive(ProcessState& state, Interaction& ui, const std::string& rootNodeText)
    : caption(" ドライブリスト"), state_(state), ui_(ui), rootNodeText_(rootNodeText) {
    Text1.text = "Text1";
    Text1.geometry = {1020, 4470, 4155, 345};
    Text1.tabIndex = 0;

    Command1.caption = "Ｏ Ｋ";
    Command1.geometry = {810, 4950, 1815, 510};
    Command1.tabIndex = 1;
    Command2.caption = "キャンセル";
    // Escape is キャンセル, whatever drive button was clicked before.
    Command2.cancel = true;
    Command2.geometry = {2700, 4950, 1815, 510};
    Command2.tabIndex = 2;

    Option1[kOtherPath].caption = "その他";
    Option1[kOtherPath].geometry = {90, 4500, 885, 285};
    Option1[kOtherPath].tabIndex = 3;
    // A to M in the left column, N to Z in the right one.
    for (int i = 1; i <= kDriveCount; ++i) {
        Control& c = Option1[static_cast<std::size_t>(i)];
        c.caption = "Option1";
        c.geometry = i <= 13 ? Geometry{90, 90 + 330 * (i - 1), 2500, 285}
                             : Geometry{2670, 90 + 330 * (i - 14), 2500, 285};
        c.tabIndex = 3 + i;
    }
}

std::string frm_drive::driveLabel(unsigned typeCode) {
    switch (typeCode) {
    case 2: return "REMOVABLE (FDD)";
    case 3: return "HDD";
    case 4: return "NETWORK";
    case 5: return "CD-ROM";
    case 6: return "RAMDISK";
    default: return "N/A";
    }
}

void frm_drive::fun_ListDrives() {
    for (int i = 1; i <= kDriveCount; ++i) {
        std::string root{static_cast<char>(64 + i), ':', '\\'};
        std::string label = driveLabel(ui_.driveType(root));
        Control& c = Option1[static_cast<std::size_t>(i)];
        c.caption = root + " (" + label + ")";
        c.enabled = label != "N/A";
    }
}

void frm_drive::Form_Load() {
    fun_ListDrives();
    Text1.text = rootNodeText_;
    Text1_Change();
}

void frm_drive::Option1_Click(int index) {
    if (unloaded || index < 0 || index > kDriveCount) return;
    const Control& button = Option1[static_cast<std::size_t>(index)];
    if (!selectable(button)) return;
    option1Selected = index;
    if (index != kOtherPath) state_.p_chosenPath = button.caption.substr(0, 3);
}

void frm_drive::Text1_Change() { Option1_Click(kOtherPath); }

void frm_drive::Command1_Click() {
    if (unloaded) return;
    if (option1Selected == kOtherPath) {
        // A "\" byte can only be the separator itself in UTF-8 text.
        std::string path = Text1.text;
        if (path.empty() || path.back() != '\\') path.push_back('\\');
        state_.p_chosenPath = path;
    }
    unloaded = true;
}

void frm_drive::Command2_Click() {
    if (unloaded) return;
    state_.p_chosenPath.clear();
    unloaded = true;
}

}  // namespace mabrel
