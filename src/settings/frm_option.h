// The options window: edits the display filter and the open filter held in
// ProcessState. OK writes normalised lists (".ext.ext.") and the modes back
// and sets p_dialogResult to 1; Cancel and the title bar change nothing.
#pragma once

#include <array>
#include <string>

#include "app/controls.h"
#include "app/process_state.h"

namespace mabrel {

class frm_option {
public:
    // Option button indexes: the upper one means mode 1 (only listed files),
    // the lower one mode 0 (listed files excluded).
    static constexpr int kOnlyListed = 0;
    static constexpr int kExcludeListed = 1;

    explicit frm_option(ProcessState& state);

    std::string caption;      // " オプション"
    int clientWidth = 4680;   // twips
    int clientHeight = 3720;

    Control Frame1;           // display filter
    // Inside Frame1; geometry relative to the frame.
    std::array<Control, 2> Option1;
    int option1Selected = -1;  // -1 until Form_Load
    TextBox Text1;            // on the window, over the lower part of Frame1

    Control Frame2;           // open filter
    std::array<Control, 2> Option2;  // inside Frame2, relative geometry
    int option2Selected = -1;
    TextBox Text2;

    Control Command1;         // "Ｏ Ｋ"
    Control Command2;         // "キャンセル"

    bool unloaded = false;

    void Form_Load();
    void Option1_Click(int index);
    void Option2_Click(int index);
    void Command1_Click();
    void Command2_Click();
    // Closing through the title bar: nothing changes.
    void Form_Unload();

    // A typed list in stored form: spaces and commas removed, "." ensured at
    // both ends ("" gives ".").
    static std::string normaliseList(const std::string& typed);

private:
    ProcessState& state_;
};

}  // namespace mabrel
