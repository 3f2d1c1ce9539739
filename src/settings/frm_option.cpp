#include "settings/frm_option.h"

#include "util/bas_basic.h"

namespace mabrel {

namespace {

Control makeControl(std::string caption, Geometry geometry, int tabIndex) {
    Control c;
    c.caption = std::move(caption);
    c.geometry = geometry;
    c.tabIndex = tabIndex;
    return c;
}

bool selectable(const Control& c) { return c.enabled && c.visible; }

}  // namespace

frm_option::frm_option(ProcessState& state) : caption(" オプション"), state_(state) {
    Frame1 = makeControl("「表示する」ファイルの設定", {90, 90, 4485, 1335}, 0);
    Option1[kOnlyListed] = makeControl("下記の拡張子のファイルだけを表示する。", {90, 300, 3735, 255}, 1);
    Option1[kExcludeListed] = makeControl("下記の拡張子のファイルは表示しない。", {90, 570, 3735, 255}, 2);
    Text1.geometry = {180, 990, 4305, 330};
    Text1.tabIndex = 3;

    Frame2 = makeControl("「開く」ファイルの設定", {90, 1590, 4485, 1335}, 4);
    Option2[kOnlyListed] = makeControl("下記の拡張子のファイルだけを開く。", {90, 300, 3735, 255}, 5);
    Option2[kExcludeListed] = makeControl("下記の拡張子のファイルは開かない。", {90, 570, 3735, 255}, 6);
    Text2.geometry = {180, 2490, 4305, 330};
    Text2.tabIndex = 7;

    Command1 = makeControl("Ｏ Ｋ", {450, 3090, 1815, 510}, 8);
    Command2 = makeControl("キャンセル", {2370, 3090, 1815, 510}, 9);
}

void frm_option::Form_Load() {
    state_.p_dialogResult = 0;
    // Only the value 1 means "only listed"; anything else read from a
    // hand-edited file still shows as the upper choice, as 0 does not.
    option1Selected = state_.exceptionExtList1Mode == 0 ? kExcludeListed : kOnlyListed;
    Text1.text = state_.exceptionExtList1;
    option2Selected = state_.exceptionExtList2Mode == 0 ? kExcludeListed : kOnlyListed;
    Text2.text = state_.exceptionExtList2;
}

void frm_option::Option1_Click(int index) {
    if (index < 0 || index >= static_cast<int>(Option1.size())) return;
    if (!selectable(Option1[static_cast<std::size_t>(index)])) return;
    option1Selected = index;
}

void frm_option::Option2_Click(int index) {
    if (index < 0 || index >= static_cast<int>(Option2.size())) return;
    if (!selectable(Option2[static_cast<std::size_t>(index)])) return;
    option2Selected = index;
}

std::string frm_option::normaliseList(const std::string& typed) {
    std::string list = bas_basic::removeChars(typed, " ,");
    if (list.empty() || list.front() != '.') list.insert(list.begin(), '.');
    if (list.back() != '.') list.push_back('.');
    return list;
}

void frm_option::Command1_Click() {
    if (unloaded) return;
    state_.p_dialogResult = 1;
    state_.exceptionExtList1Mode = option1Selected == kOnlyListed ? 1 : 0;
    state_.exceptionExtList1 = normaliseList(Text1.text);
    state_.exceptionExtList2Mode = option2Selected == kOnlyListed ? 1 : 0;
    state_.exceptionExtList2 = normaliseList(Text2.text);
    unloaded = true;
}

void frm_option::Command2_Click() { unloaded = true; }

void frm_option::Form_Unload() { unloaded = true; }

}  // namespace mabrel
