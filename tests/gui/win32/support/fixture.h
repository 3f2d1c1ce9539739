// What the scenario tests share: a real folder under the Wine prefix's C:
// drive with a Japanese name, files with set times, read-only backup copies
// and a comment file written as the program writes them, and the program
// started on it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/win32/control_ids.h"
#include "support/app.h"
#include "support/controls.h"
#include "support/temp_dir.h"

namespace mabrel::win32gui::test {

namespace ids = mabrel::win32gui::ids;

class FrontEndTest : public ::testing::Test {
protected:
    FrontEndTest();

    // A file of the folder with its modification time (local time).
    std::filesystem::path file(const std::wstring& name, const std::string& bytes, int year, int month, int day,
                               int hour, int minute, int second) const;
    // A backup copy in "_mabre-l94", read-only and with the time of the
    // version in its name, as the program leaves them.
    std::filesystem::path backup(const std::wstring& name, const std::string& bytes) const;
    // The comment file, lines in the ANSI code page ended by CR LF.
    void comments(const std::vector<std::wstring>& lines) const;
    std::filesystem::path backupDir() const { return folder / L"_mabre-l94"; }
    std::filesystem::path commentFile() const { return folder / L"_mabre.l94"; }
    std::vector<std::wstring> backupNames() const;

    void start() { app.start(L"\"" + folder.wstring() + L"\""); }

    ListView list() const { return ListView(app.control(ids::lvwFiles)); }
    std::wstring status() const { return statusText(app.control(ids::StatusBar1)); }
    // Column 1 of every row, in list order.
    std::vector<std::wstring> names() const;
    // Waits until the list shows these rows (name, 更新日, BU) in this order,
    // or the other way round (the list's sort direction is its own).
    bool waitRows(const std::vector<std::array<std::wstring, 3>>& rows, DWORD ms = 10000) const;
    std::vector<std::array<std::wstring, 3>> shownRows() const;

    // Selects rows with the mouse: a click on the first, Ctrl+clicks on the others.
    void selectRows(const std::vector<int>& rows) const;
    // Right button up over a row: the context menu; returns the menu window.
    HWND contextMenu(int row) const;
    // The next message box of the program; fails the test when none comes.
    HWND messageBox(HWND previous = nullptr) const;

    // The resolution the program lays out at, and twips in its pixels.
    int dpi() const;
    int px(int twips) const;

    mabrel::test::TempDir work;
    std::filesystem::path folder;  // in the program's form (C:\...)
    App app;
};

}  // namespace mabrel::win32gui::test
