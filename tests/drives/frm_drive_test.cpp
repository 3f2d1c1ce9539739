#include <gtest/gtest.h>

#include "drives/frm_drive.h"
#include "support/scripted_interaction.h"

namespace mabrel {
namespace {

struct DriveChooser : ::testing::Test {
    ProcessState state;
    test::ScriptedInteraction ui;
};

TEST_F(DriveChooser, LabelsEachLetterByItsTypeAndOnlyRealDrivesCanBeChosen) {
    ui.driveTypes = {{'A', 2}, {'C', 3}, {'D', 5}, {'E', 4}, {'F', 6}, {'G', 7}, {'H', 0}};
    frm_drive w(state, ui, "C:\\Docs\\");
    w.Form_Load();

    EXPECT_EQ(w.caption, " ドライブリスト");
    EXPECT_EQ(w.Option1[1].caption, "A:\\ (REMOVABLE (FDD))");
    EXPECT_EQ(w.Option1[2].caption, "B:\\ (N/A)");
    EXPECT_EQ(w.Option1[3].caption, "C:\\ (HDD)");
    EXPECT_EQ(w.Option1[4].caption, "D:\\ (CD-ROM)");
    EXPECT_EQ(w.Option1[5].caption, "E:\\ (NETWORK)");
    EXPECT_EQ(w.Option1[6].caption, "F:\\ (RAMDISK)");
    EXPECT_EQ(w.Option1[7].caption, "G:\\ (N/A)");  // codes above 6 are unknown
    EXPECT_EQ(w.Option1[8].caption, "H:\\ (N/A)");
    EXPECT_EQ(w.Option1[26].caption, "Z:\\ (N/A)");
    int available = 0;
    for (int i = 1; i <= 26; ++i) available += w.Option1[static_cast<std::size_t>(i)].enabled ? 1 : 0;
    EXPECT_EQ(available, 5);
    EXPECT_EQ(ui.driveTypeQueries.size(), 26u);

    // Two columns of thirteen, A to M on the left.
    EXPECT_EQ(w.Option1[1].geometry, (Geometry{90, 90, 2500, 285}));
    EXPECT_EQ(w.Option1[13].geometry, (Geometry{90, 90 + 330 * 12, 2500, 285}));
    EXPECT_EQ(w.Option1[14].geometry, (Geometry{2670, 90, 2500, 285}));

    // An unavailable drive cannot be chosen.
    w.Option1_Click(2);
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    EXPECT_EQ(state.p_chosenPath, "");
}

TEST_F(DriveChooser, OpensOnTheCurrentFolderAndOkReturnsTheTypedPathWithItsBackslash) {
    frm_drive w(state, ui, "C:\\Docs\\");
    w.Form_Load();
    EXPECT_EQ(w.Text1.text, "C:\\Docs\\");
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    w.Command1_Click();
    EXPECT_TRUE(w.unloaded);
    EXPECT_EQ(state.p_chosenPath, "C:\\Docs\\");

    for (const auto& [typed, chosen] : std::vector<std::pair<std::string, std::string>>{
             {"D:", "D:\\"}, {"C:\\temp", "C:\\temp\\"}, {"C:\\temp\\", "C:\\temp\\"}, {"", "\\"}}) {
        frm_drive again(state, ui, "C:\\Docs\\");
        again.Form_Load();
        again.Text1.text = typed;
        again.Text1_Change();
        again.Command1_Click();
        EXPECT_EQ(state.p_chosenPath, chosen) << typed;
    }
}

TEST_F(DriveChooser, ADriveClickAnswersAtOnceUntilTypingOrCancelTakesItBack) {
    frm_drive w(state, ui, "C:\\Docs\\");
    w.Form_Load();
    w.Option1_Click(3);
    EXPECT_EQ(state.p_chosenPath, "C:\\");
    EXPECT_FALSE(w.unloaded);

    // Typing selects "その他" again: OK returns the text, not the drive.
    w.Text1.text = "C:\\work";
    w.Text1_Change();
    EXPECT_EQ(w.option1Selected, frm_drive::kOtherPath);
    w.Command1_Click();
    EXPECT_EQ(state.p_chosenPath, "C:\\work\\");

    frm_drive drive(state, ui, "C:\\Docs\\");
    drive.Form_Load();
    drive.Option1_Click(3);
    drive.Command1_Click();
    EXPECT_EQ(state.p_chosenPath, "C:\\");

    // A window closed other than by its buttons keeps the clicked drive.
    ui.driveTypes['D'] = 5;
    frm_drive closed(state, ui, "C:\\Docs\\");
    closed.Form_Load();
    closed.Option1_Click(4);
    EXPECT_EQ(state.p_chosenPath, "D:\\");

    frm_drive cancel(state, ui, "C:\\Docs\\");
    cancel.Form_Load();
    cancel.Option1_Click(3);
    cancel.Command2_Click();
    EXPECT_TRUE(cancel.unloaded);
    EXPECT_EQ(state.p_chosenPath, "");
}

}  // namespace
}  // namespace mabrel
