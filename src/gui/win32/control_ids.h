// The control identifiers of every window the Windows front end shows; its
// tests find the controls by them (GetDlgItem) from another process.
#pragma once

namespace mabrel::win32gui::ids {

// Window classes.
inline constexpr wchar_t kMainWindowClass[] = L"mabrel9-iv.frm_mabrel94";
inline constexpr wchar_t kModalWindowClass[] = L"mabrel9-iv.modal";
inline constexpr wchar_t kCompareWindowClass[] = L"mabrel9-iv.compare";

// frm_mabrel94
inline constexpr int cmdUpdate = 100;
inline constexpr int cmdExit = 101;
inline constexpr int cmdHelp = 102;
inline constexpr int cmdOption = 103;
inline constexpr int lblFolderList = 104;
inline constexpr int lblStatus = 105;
inline constexpr int Label3 = 106;
inline constexpr int txtFolderComment = 107;
inline constexpr int tvwFolders = 108;
inline constexpr int lvwFiles = 109;
inline constexpr int StatusBar1 = 110;

// frm_rclick: Command1(i) is rclickCommand1 + i.
inline constexpr int rclickCommand1 = 200;

// frm_option: Option1(i) and Option2(i) are optionOption1 + i and optionOption2 + i.
inline constexpr int optionFrame1 = 300;
inline constexpr int optionOption1 = 301;
inline constexpr int optionText1 = 303;
inline constexpr int optionFrame2 = 304;
inline constexpr int optionOption2 = 305;
inline constexpr int optionText2 = 307;
inline constexpr int optionCommand1 = 308;
inline constexpr int optionCommand2 = 309;

// frm_drive: Option1(i), i from 0 ("その他") to 26 (Z:), is driveOption1 + i.
inline constexpr int driveText1 = 400;
inline constexpr int driveCommand1 = 401;
inline constexpr int driveCommand2 = 402;
inline constexpr int driveOption1 = 410;

// The input box.
inline constexpr int inputPrompt = 500;
inline constexpr int inputText = 501;
inline constexpr int inputOk = 502;
inline constexpr int inputCancel = 503;

// The compare window.
inline constexpr int compareOlder = 700;
inline constexpr int compareNewer = 701;
inline constexpr int compareRows = 702;
inline constexpr int compareStatus = 703;
inline constexpr int compareProgress = 704;
inline constexpr int comparePrevious = 705;
inline constexpr int compareNext = 706;
inline constexpr int compareClose = 707;
inline constexpr int compareOlderRows = 708;  // compareRows: the newer side's
inline constexpr int compareStrip = 709;
inline constexpr int compareIgnoreWhitespace = 710;
inline constexpr int compareIgnoreLineEnds = 711;
inline constexpr int compareFind = 712;

// The copy progress window (long copies).
inline constexpr int progressName = 600;
inline constexpr int progressBar = 601;
inline constexpr int progressText = 602;
inline constexpr int progressCancel = 603;

}  // namespace mabrel::win32gui::ids
