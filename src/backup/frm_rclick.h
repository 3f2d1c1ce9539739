// The context menu of the file list: a small modal window with five buttons.
// The main window creates a fresh one for every right click, makes buttons
// 1 and 2 available or not, shows it, and reads the pressed button's index
// back from ProcessState::p_dialogResult (0 when nothing was chosen).
#pragma once

#include <array>
#include <string>

#include "app/controls.h"
#include "app/process_state.h"

namespace mabrel {

class frm_rclick {
public:
    // Indexes into Command1.
    static constexpr int kCancel = 0;
    static constexpr int kComment = 1;
    static constexpr int kRestore = 2;
    static constexpr int kDelete = 3;
    static constexpr int kCompare = 4;

    explicit frm_rclick(ProcessState& state);

    std::string caption;      // " mabrel9-iv メニュー"
    int clientWidth = 2295;   // twips; fixed size, no minimise or maximise box
    int clientHeight = 3090;
    // 0 "キャンセル", 1 "コメント", 2 "復 活", 3 "削 除", 4 "比 較" (below
    // the others); tab order starts at 0.
    std::array<Control, 5> Command1;

    // Set when the window asks to be closed; the front end then closes it.
    bool unloaded = false;

    // Resets p_dialogResult to 0, so that closing by the title bar means "nothing".
    void Form_Load();
    // Reports the button's index and closes. Ignored for an unavailable button
    // or an index outside 0 to 4.
    void Command1_Click(int index);

private:
    ProcessState& state_;
};

}  // namespace mabrel
