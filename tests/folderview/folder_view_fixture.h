// A main window over a real temporary folder, loaded directly (without the
// start-up), and helpers to lay out backup copies and comment files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/window_fixture.h"
#include "support/fault_injection.h"

namespace mabrel::test {

class FolderViewTest : public WindowTest {
protected:
    FolderViewTest() : faulty(*nativeFs) { fs = &faulty; }

    // Loads the work folder (or a folder below it).
    void load(const std::string& relative = "") {
        state.p_driveAndPath = root + relative;
        window().fun_Load();
    }

    // A read-only backup copy in the work folder's backup directory, as the store writes it.
    std::filesystem::path backupCopy(const std::string& copyName, const std::string& bytes, int year = 2000,
                                     int month = 7, int day = 15, int hour = 9, int minute = 5, int second = 3) {
        auto p = file("_mabre-l94/" + copyName, bytes, year, month, day, hour, minute, second);
        nativeFs->openDirectory(root + "_mabre-l94")->setAttributes(copyName, 33);
        return p;
    }
    void writeCommentFile(const std::string& bytes) const { work.write("_mabre.l94", bytes); }
    bool backupExists(const std::string& copyName) const {
        return std::filesystem::exists(work.path() / "_mabre-l94" / copyName);
    }
    const std::vector<ListItem>& rows() { return window().lvwFiles.rows; }

    // Column `column` of every row, in list order.
    std::vector<std::string> column(std::size_t column) {
        std::vector<std::string> out;
        for (const auto& r : rows()) out.push_back(r.cells[column]);
        return out;
    }
    // "name|timestamp|size|BU|comment" of every row, in list order.
    std::vector<std::string> table() {
        std::vector<std::string> out;
        for (const auto& r : rows()) out.push_back(r.cells[0] + "|" + r.cells[1] + "|" + r.cells[2] + "|" + r.cells[3] + "|" + r.cells[4]);
        return out;
    }
    std::string status() { return window().StatusBar1.panelText; }

    platform::FaultInjectingFileSystem faulty;
};

inline std::string counts(int folders, int files, int backups) {
    return "サブフォルダ数：" + std::to_string(folders) + "、ファイル数：" + std::to_string(files) +
           "、バックアップファイル数：" + std::to_string(backups);
}

}  // namespace mabrel::test
