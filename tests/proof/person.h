// What the scripted person does in the main window's model: finds a row and
// right-clicks a selection, pressing a button of the menu.
#pragma once

#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "app/window_fixture.h"
#include "backup/frm_rclick.h"

namespace mabrel::test::proof {

// The row of `name`: a file row, or a backup row (of the version `stamp`
// when given); -1 for none.
inline int rowOf(const frm_mabrel94& w, const std::string& name, bool backup, const std::string& stamp = "") {
    for (std::size_t i = 0; i < w.lvwFiles.rows.size(); ++i) {
        const auto& c = w.lvwFiles.rows[i].cells;
        if (c[0] == name && (c[3] == "*") == backup && (stamp.empty() || c[1] == stamp)) return static_cast<int>(i);
    }
    return -1;
}

// Right-click with these rows selected (missing rows are left out), pressing `button`.
inline void menu(frm_mabrel94& w, ScriptedInteraction& ui, const std::vector<int>& rows, int button) {
    for (auto& r : w.lvwFiles.rows) r.selected = false;
    w.lvwFiles.selectedItem = -1;
    for (int r : rows) {
        if (r < 0) continue;
        w.lvwFiles.rows[static_cast<std::size_t>(r)].selected = true;
        if (w.lvwFiles.selectedItem < 0) w.lvwFiles.selectedItem = r;
    }
    ui.rclickScripts.push_back([button](frm_rclick& m) { m.Command1_Click(button); });
    w.lvwFiles_MouseUp(kRightButton, 0, 1, 1);
}

}  // namespace mabrel::test::proof
