#include <gtest/gtest.h>

#include <tuple>

#include "settings/frm_option.h"
#include "settings/settings_file.h"

namespace mabrel {
namespace {

TEST(OptionsWindow, OpensOnTheStateOkNormalisesTheTypedListsAndStoresTheChosenModes) {
    ProcessState state;
    state.exceptionExtList1 = state.exceptionExtList2 = settings::kDefaultExtList;
    state.p_dialogResult = 3;
    frm_option w(state);
    w.Form_Load();
    EXPECT_EQ(state.p_dialogResult, 0);
    EXPECT_EQ(w.option1Selected, frm_option::kExcludeListed);
    EXPECT_EQ(w.Text1.text, settings::kDefaultExtList);
    w.Option1_Click(frm_option::kOnlyListed);
    w.Text1.text = "txt, doc";
    w.Text2.text = "";
    w.Command1_Click();
    EXPECT_TRUE(w.unloaded);
    // An emptied box lists nothing, no default.
    EXPECT_EQ(std::make_tuple(state.p_dialogResult, state.exceptionExtList1Mode, state.exceptionExtList1,
                              state.exceptionExtList2Mode, state.exceptionExtList2),
              std::make_tuple(1, std::int16_t{1}, std::string(".txtdoc."), std::int16_t{0}, std::string(".")));
    EXPECT_EQ(frm_option::normaliseList("txt.doc"), ".txt.doc.");
    EXPECT_EQ(frm_option::normaliseList(".TXT."), ".TXT.");
}

// Cancel is the main window's options test's.
TEST(OptionsWindow, AnyModeButOneShowsTheUpperOptionAndOkStoresItAsOne) {
    ProcessState state;
    state.exceptionExtList1Mode = 2;
    state.exceptionExtList2Mode = -1;
    frm_option w(state);
    w.Form_Load();
    EXPECT_EQ(w.option1Selected, frm_option::kOnlyListed);
    EXPECT_EQ(w.option2Selected, frm_option::kOnlyListed);
    w.Command1_Click();
    EXPECT_EQ(std::make_pair(state.exceptionExtList1Mode, state.exceptionExtList2Mode),
              std::make_pair(std::int16_t{1}, std::int16_t{1}));
}

}  // namespace
}  // namespace mabrel
