#include <gtest/gtest.h>

#include "drives/frm_drive.h"
#include "support/scripted_interaction.h"

namespace mabrel {
namespace {

struct DriveChooser : ::testing::Test {
    frm_drive& open() {
        windows.push_back(std::make_unique<frm_drive>(state, ui, "C:\\Docs\\"));
        windows.back()->Form_Load();
        return *windows.back();
    }
    ProcessState state;
    test::ScriptedInteraction ui;
    std::vector<std::unique_ptr<frm_drive>> windows;
};

TEST_F(DriveChooser, LabelsEachLetterByItsTypeAndOnlyRealDrivesCanBeChosen) {
    ui.driveTypes = {{'A', 2}, {'C', 3}, {'D', 5}, {'E', 4}, {'F', 6}, {'G', 7}, {'H', 0}};
    frm_drive& w = open();
    std::vector<std::string> captions;
    int available = 0;
    for (std::size_t i = 1; i <= 26; ++i) {
        captions.push_back(w.Option1[i].caption);
        available += w.Option1[i].enabled ? 1 : 0;
    }
    captions.erase(captions.begin() + 8, captions.end() - 1);  // A to H, and Z
    EXPECT_EQ(captions, (std::vector<std::string>{"A:\\ (REMOVABLE (FDD))", "B:\\ (N/A)", "C:\\ (HDD)", "D:\\ (CD-ROM)",
                                                  "E:\\ (NETWORK)", "F:\\ (RAMDISK)", "G:\\ (N/A)", "H:\\ (N/A)", "Z:\\ (N/A)"}));
    EXPECT_EQ(available, 5);  // codes above 6 are unknown
    w.Option1_Click(2);  // an unavailable drive cannot be chosen
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    EXPECT_EQ(state.p_chosenPath, "");
}

// Typed paths and Cancel are the navigation test's; OK on a clicked drive the front end's.
TEST_F(DriveChooser, AClickedDriveAnswersAtOnceUntilTypingChoosesTheTypedPathAgain) {
    frm_drive& w = open();
    w.Option1_Click(3);
    EXPECT_EQ(state.p_chosenPath, "C:\\");
    EXPECT_FALSE(w.unloaded);  // a window closed otherwise keeps it
    w.Text1.text = "C:\\work";
    w.Text1_Change();
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    w.Command1_Click();
    EXPECT_EQ(state.p_chosenPath, "C:\\work\\");
}

}  // namespace
}  // namespace mabrel
