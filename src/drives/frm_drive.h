// The drive chooser: 26 drive buttons labelled with their drive type, an
// "その他" button with a text box for any folder. The answer goes into
// ProcessState::p_chosenPath: a drive root as soon as its button is clicked,
// the typed text (with a trailing "\") on OK, "" on Cancel. Closing it any
// other way leaves p_chosenPath as it is.
#pragma once

#include <array>
#include <string>

#include "app/controls.h"
#include "app/interaction.h"
#include "app/process_state.h"

namespace mabrel {

class frm_drive {
public:
    static constexpr int kOtherPath = 0;  // Option1(0) "その他"; 1 to 26 are A to Z
    static constexpr int kDriveCount = 26;

    // rootNodeText: the text of the main window's root tree node (the folder shown).
    frm_drive(ProcessState& state, Interaction& ui, const std::string& rootNodeText);

    std::string caption;      // " ドライブリスト"
    int clientWidth = 5280;   // twips
    int clientHeight = 5550;

    TextBox Text1;            // typed path, first in tab order
    Control Command1;         // "Ｏ Ｋ"
    Control Command2;         // "キャンセル"
    // One option group; captions of 1 to 26 are set at load ("C:\ (HDD)").
    std::array<Control, kDriveCount + 1> Option1;
    int option1Selected = -1;  // -1 until Form_Load

    bool unloaded = false;

    void Form_Load();
    // Captions and availability of the drive buttons from the drive types.
    void fun_ListDrives();
    // Index 1 to 26 stores that drive's root in p_chosenPath at once. Ignored
    // for an unavailable button or an index outside 0 to 26.
    void Option1_Click(int index);
    // Any change of Text1 selects "その他".
    void Text1_Change();
    void Command1_Click();
    void Command2_Click();

    // "HDD", "CD-ROM", ... or "N/A" for a drive type code.
    static std::string driveLabel(unsigned typeCode);

private:
    ProcessState& state_;
    Interaction& ui_;
    std::string rootNodeText_;
};

}  // namespace mabrel
