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

TEST_F(DriveChooser, OkReturnsTheTypedPathWithItsBackslashOrTheClickedDriveCancelNothing) {
    EXPECT_EQ(open().Text1.text, "C:\\Docs\\");
    windows.back()->Command1_Click();
    EXPECT_TRUE(windows.back()->unloaded);
    EXPECT_EQ(state.p_chosenPath, "C:\\Docs\\");
    for (const auto& [typed, chosen] : std::vector<std::pair<std::string, std::string>>{
             {"D:", "D:\\"}, {"C:\\temp", "C:\\temp\\"}, {"C:\\temp\\", "C:\\temp\\"}, {"", "\\"}}) {
        frm_drive& w = open();
        w.Text1.text = typed;
        w.Text1_Change();
        w.Command1_Click();
        EXPECT_EQ(state.p_chosenPath, chosen) << typed;
    }

    // A drive click answers at once (a window closed otherwise keeps it)...
    frm_drive& w = open();
    w.Option1_Click(3);
    EXPECT_EQ(state.p_chosenPath, "C:\\");
    EXPECT_FALSE(w.unloaded);
    // ...until typing selects "その他" again: OK returns the text, not the drive.
    w.Text1.text = "C:\\work";
    w.Text1_Change();
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    w.Command1_Click();
    EXPECT_EQ(state.p_chosenPath, "C:\\work\\");

    open().Option1_Click(3);
    windows.back()->Command2_Click();
    EXPECT_EQ(std::make_pair(windows.back()->unloaded, state.p_chosenPath), std::make_pair(true, std::string()));
}

}  // namespace
}  // namespace mabrel
