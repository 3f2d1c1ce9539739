#include "backup/frm_rclick.h"

namespace mabrel {

frm_rclick::frm_rclick(ProcessState& state) : caption(" mabrel9-iv メニュー"), state_(state) {
    // Stacked 600 twips apart; the tab order starts at "キャンセル" so that
    // Enter on opening cancels.
    struct Design {
        const char* caption;
        int top;
        int tabIndex;
    };
    static constexpr std::array<Design, 5> designs{{
        {"キャンセル", 1890, 0},
        {"コメント", 90, 2},
        {"復 活", 690, 3},
        {"削 除", 1290, 1},
        {"比 較", 2490, 4},
    }};
    for (std::size_t i = 0; i < Command1.size(); ++i) {
        Command1[i].caption = designs[i].caption;
        Command1[i].geometry = {90, designs[i].top, 2115, 510};
        Command1[i].tabIndex = designs[i].tabIndex;
    }
}

void frm_rclick::Form_Load() { state_.p_dialogResult = 0; }

void frm_rclick::Command1_Click(int index) {
    if (unloaded || index < 0 || index >= static_cast<int>(Command1.size())) return;
    const Control& button = Command1[static_cast<std::size_t>(index)];
    if (!button.enabled || !button.visible) return;
    state_.p_dialogResult = index;
    unloaded = true;
}

}  // namespace mabrel
